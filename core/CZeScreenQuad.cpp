#include "core/CZeScreenQuad.h"

using namespace irr;

// Corners at z 0 from (-1, 1) to (1, -1); texture coordinates (0, 0) at the
// top left to (1, 1) at the bottom right, with no half-texel offset.
CZeScreenQuad::CZeScreenQuad(video::SColor colour, f32 normalZ)
{
	Vertices[0] = video::S3DVertex(-1.0f, 1.0f, 0.0f, 0.0f, 0.0f, normalZ, colour, 0.0f, 0.0f);
	Vertices[1] = video::S3DVertex(1.0f, 1.0f, 0.0f, 0.0f, 0.0f, normalZ, colour, 1.0f, 0.0f);
	Vertices[2] = video::S3DVertex(1.0f, -1.0f, 0.0f, 0.0f, 0.0f, normalZ, colour, 1.0f, 1.0f);
	Vertices[3] = video::S3DVertex(-1.0f, -1.0f, 0.0f, 0.0f, 0.0f, normalZ, colour, 0.0f, 1.0f);
	const u16 indices[6] = { 0, 1, 2, 0, 2, 3 };
	for (int i = 0; i < 6; ++i)
		Indices[i] = indices[i];
	Material.Lighting = false;
	Material.ZWriteEnable = false;
	Material.ZBuffer = video::ECFN_ALWAYS;
	Material.BackfaceCulling = false;
	Material.FrontfaceCulling = false;
}

void CZeScreenQuad::render(video::IVideoDriver* driver)
{
	if (!driver)
		return;
	const core::matrix4 world = driver->getTransform(video::ETS_WORLD);
	const core::matrix4 view = driver->getTransform(video::ETS_VIEW);
	const core::matrix4 projection = driver->getTransform(video::ETS_PROJECTION);
	driver->setTransform(video::ETS_VIEW, core::IdentityMatrix);
	driver->setTransform(video::ETS_PROJECTION, core::IdentityMatrix);
	renderInCamera(driver);
	driver->setTransform(video::ETS_WORLD, world);
	driver->setTransform(video::ETS_VIEW, view);
	driver->setTransform(video::ETS_PROJECTION, projection);
}

void CZeScreenQuad::renderInCamera(video::IVideoDriver* driver)
{
	if (!driver)
		return;
	driver->setTransform(video::ETS_WORLD, core::IdentityMatrix);
	driver->setMaterial(Material);
	driver->drawIndexedTriangleList(Vertices, 4, Indices, 2);
}
