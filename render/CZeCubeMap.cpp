#include "render/CZeCubeMap.h"

#include "core/IZeServices.h"
#include "core/ZeGpuState.h"
#include "frame/ZeLog.h"
#include "libext/ZeGL.h"

#include <cmath>

using namespace irr;

namespace
{
// Each map's textures get names of their own: "CubeMap<n>" and "CubeMap<n>LatLong".
u32 g_maps = 0;
} // namespace

CZeCubeMap::CZeCubeMap(video::IVideoDriver* driver, IZeManager* manager)
	: Driver(driver), Manager(manager), Position(0.f, 0.f, 0.f)
{
}

// The map holds a reference to each texture besides the one of the texture
// registry (cube) or the driver (lat-long).
CZeCubeMap::~CZeCubeMap()
{
	if (Cube)
	{
		const s32 others = Cube->getReferenceCount() - 1;
		if (others <= 1)
			ze::removeTexture(Cube);
		else
			zeEngineLog(EZELL_WARN, "Cannot remove texture of cubemap still references %d on it!\n", others);
		Cube->drop();
	}
	if (LatLong)
	{
		// The registry's note of the texture's GL name holds a reference of its own.
		ze::removeTexture(LatLong);
		const s32 others = LatLong->getReferenceCount() - 1;
		if (others == 1 && Driver)
			Driver->removeTexture(LatLong);
		else if (others > 1)
			zeEngineLog(EZELL_WARN, "Cannot remove texture of cubemap latlong still references %d on it!\n", others);
		LatLong->drop();
	}
}

u32 CZeCubeMap::getLatLongHeight(u32 size)
{
	u32 height = static_cast<u32>(std::sqrt(static_cast<f64>(size) * size / 2.0));
	height -= height % 32;
	return height < 2 ? 1 : height;
}

bool CZeCubeMap::create(u32 size, ze::ECOLOR_FORMAT format, bool withLatLong)
{
	if (Cube || LatLong)
	{
		zeEngineLog(EZELL_ERROR, "cubemap texture already created");
		return false;
	}
	const core::stringc name = core::stringc("CubeMap") + core::stringc(g_maps++);
	Cube = Driver ? ze::createTextureCUBE(Driver, name, size, format, true) : nullptr;
	if (!Cube)
	{
		zeEngineLog(EZELL_ERROR, "failed to create cubemap texture");
		return false;
	}
	if (IZeTextureManager* textures = Manager ? Manager->getTextureManager() : nullptr)
		textures->getRenderTexture(core::dimension2d<u32>(size, size), format);
	if (withLatLong)
	{
		const u32 height = getLatLongHeight(size);
		LatLong = ze::addRenderTargetTexture(Driver, core::dimension2d<u32>(2 * height, height), name + "LatLong",
			format);
		if (!LatLong)
		{
			zeEngineLog(EZELL_ERROR, "failed to create cubemap latlong texture");
			return false;
		}
		LatLong->grab();
	}
	HasLatLong = withLatLong ? 1 : 0;
	return true;
}

bool CZeCubeMap::render(IZeRenderer* renderer, const core::vector3df& position)
{
	Position = position;
	bool captured = false;
	IZeTextureManager* textures = Manager ? Manager->getTextureManager() : nullptr;
	IZeRenderServices* services = Manager ? Manager->getRenderServices() : nullptr;
	if (Cube && textures && services)
	{
		const core::dimension2d<u32> face = Cube->getSize();
		video::ITexture* work = textures->getRenderTexture(face, Cube->getFormat());
		captured = services->renderCubeMap(Cube, work, position, renderer);
		if (captured && HasLatLong && LatLong)
			services->cubeToLatLong(Cube, LatLong);
	}
	// A refused face leaves the cube partly old, partly new: not a capture.
	Rendered = captured ? 1 : 0;
	return captured;
}

void CZeCubeMap::clear()
{
	IZeRenderServices* services = Manager ? Manager->getRenderServices() : nullptr;
	if (Cube && services)
	{
		// Copies of a capture into the faces still pending could otherwise
		// land after the clear (seen with llvmpipe).
		glFinish();
		services->clearCubeMap(Cube);
	}
	if (LatLong && Driver)
	{
		Driver->setRenderTarget(LatLong, true, false, video::SColor(0, 0, 0, 0));
		Driver->setRenderTarget(nullptr, false, false);
		zeSetRenderTargetFlip(false);
	}
	Rendered = 0;
}

video::ITexture* CZeCubeMap::getTexture() const
{
	if (HasLatLong)
		return LatLong;
	return Cube;
}

void zeWriteVertexIndicesToColor(scene::IMesh* mesh)
{
	if (!mesh)
		return;
	u32 index = 0;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		const video::E_VERTEX_TYPE type = buffer->getVertexType();
		if (type != video::EVT_STANDARD && type != video::EVT_2TCOORDS && type != video::EVT_TANGENTS)
			continue;
		// Every kind begins with position, normal and colour.
		u8* vertices = static_cast<u8*>(buffer->getVertices());
		const u32 stride = video::getVertexPitchFromType(type);
		for (u32 i = 0; i < buffer->getVertexCount(); ++i, ++index)
			reinterpret_cast<video::S3DVertex*>(vertices + i * stride)->Color = video::SColor(index);
		buffer->setDirty(scene::EBT_VERTEX);
	}
}
