#include "render/CZePostEffect.h"

#include "core/ZeGpuState.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"

using namespace irr;

namespace
{
const f32 SIXTY_DEGREES = 1.0471976f;
} // namespace

// ---- Post effect -------------------------------------------------------------------
CZePostEffect::CZePostEffect()
{
	ze::setMaterialUserData(Quad.getMaterial(), &Record);
}

CZePostEffect::~CZePostEffect()
{
	if (Effect)
		Effect->drop();
}

bool CZePostEffect::load(IZeEffectManager* manager, const char* file, const SZeMacro* macros)
{
	IZeEffect* effect = manager && file ? manager->createEffect(file, -1, macros, nullptr) : nullptr;
	if (!effect)
	{
		zeLog(EZELL_ERROR, "CZePostEffect failed to load %s", file ? file : "(null)");
		return false;
	}
	setEffect(effect);
	effect->drop();
	return true;
}

void CZePostEffect::setEffect(IZeEffect* effect)
{
	if (effect)
		effect->grab();
	if (Effect)
		Effect->drop();
	Effect = effect;
	video::SMaterial& material = Quad.getMaterial();
	if (Effect)
		Effect->getPassMaterial(0, 0, material);
	Record.Effect = Effect;
	Record.Technique = 0;
	Record.Pass = 0;
	ze::setMaterialUserData(material, &Record);
}

bool CZePostEffect::drawQuad(video::IVideoDriver* driver)
{
	if (!driver || !Effect)
		return false;
	Quad.render(driver);
	return true;
}

bool CZePostEffect::render(video::IVideoDriver* driver, video::ITexture* target, video::ITexture* texture0,
	video::ITexture* texture1)
{
	if (!driver || !Effect)
		return false;
	driver->setRenderTarget(target, false, false);
	zeSetRenderTargetFlip(target != nullptr);
	return drawInto(driver, texture0, texture1);
}

bool CZePostEffect::renderCompose(video::IVideoDriver* driver, video::ITexture* target, video::ITexture* texture,
	f32 intensity)
{
	if (!driver || !Effect)
		return false;
	Effect->setFloatByName("Intensity", intensity);
	driver->setRenderTarget(target, false, false);
	zeSetRenderTargetFlip(target != nullptr);
	ze::setMaterialTexture(Quad.getMaterial(), 0, texture);
	return drawQuad(driver);
}

bool CZePostEffect::renderBlur(video::IVideoDriver* driver, video::ITexture* target, video::ITexture* texture,
	bool horizontal, f32 radius, f32 intensity)
{
	if (!Effect)
		return false;
	const f32 direction[2] = {horizontal ? 1.f : 0.f, horizontal ? 0.f : 1.f};
	Effect->setFloatArrayByName("Direction", direction, 2);
	Effect->setFloatByName("Radius", radius);
	return renderCompose(driver, target, texture, intensity);
}

bool CZePostEffect::drawInto(video::IVideoDriver* driver, video::ITexture* texture0, video::ITexture* texture1)
{
	video::SMaterial& material = Quad.getMaterial();
	ze::setMaterialTexture(material, 0, texture0);
	ze::setMaterialTexture(material, 1, texture1);
	return drawQuad(driver);
}

// ---- Aligned screen quad -------------------------------------------------------------
CZeScreenQuadAligned::CZeScreenQuadAligned()
{
	const video::SColor white(255, 255, 255, 255);
	Vertices[0] = video::S3DVertex(-1.f, 1.f, 0.f, 0.f, 0.f, 1.f, white, 0.f, 0.f);
	Vertices[1] = video::S3DVertex(1.f, 1.f, 0.f, 0.f, 0.f, 1.f, white, 1.f, 0.f);
	Vertices[2] = video::S3DVertex(1.f, -1.f, 0.f, 0.f, 0.f, 1.f, white, 1.f, 1.f);
	Vertices[3] = video::S3DVertex(-1.f, -1.f, 0.f, 0.f, 0.f, 1.f, white, 0.f, 1.f);
	const u16 indices[6] = {0, 1, 3, 1, 2, 3};
	for (u32 i = 0; i < 6; ++i)
		Indices[i] = indices[i];
	Material.Wireframe = false;
	Material.Lighting = false;
	Material.ZWriteEnable = false;
	Material.ZBuffer = video::ECFN_ALWAYS;
	Material.BackfaceCulling = false;
}

void CZeScreenQuadAligned::render(video::IVideoDriver* driver)
{
	if (!driver)
		return;
	driver->setMaterial(Material);
	driver->setTransform(video::ETS_WORLD, core::IdentityMatrix);
	driver->drawVertexPrimitiveList(Vertices, 4, Indices, 2, video::EVT_STANDARD, scene::EPT_TRIANGLES,
		video::EIT_16BIT);
}

// ---- Depth of field ------------------------------------------------------------------
bool SZePostDof::load(IZeEffectManager* manager, const char* artistFile, const char* physicalFile,
	const char* blurFile)
{
	return CocArtist.load(manager, artistFile, nullptr) && CocPhysical.load(manager, physicalFile, nullptr) &&
		Blur.load(manager, blurFile, nullptr);
}

bool SZePostDof::blur(video::IVideoDriver* driver, video::ITexture* output, video::ITexture* source,
	video::ITexture* work, video::ITexture* depth, f32 radiusScale)
{
	IZeEffect* effect = Blur.getEffect();
	if (!effect)
		return false;
	effect->setFloatByName("angle", 0.f);
	effect->setFloatByName("radiusScale", radiusScale);
	if (!Blur.render(driver, source, work, depth))
		return false;
	effect->setFloatByName("angle", SIXTY_DEGREES);
	return Blur.render(driver, output, source, depth);
}

bool SZePostDof::renderPhysical(video::IVideoDriver* driver, video::ITexture* output, video::ITexture* source,
	video::ITexture* depth, video::ITexture* work)
{
	return CocPhysical.render(driver, work, source, depth) && blur(driver, output, source, work, depth, 1.f);
}

bool SZePostDof::renderArtist(video::IVideoDriver* driver, video::ITexture* output, video::ITexture* source,
	video::ITexture* depth, video::ITexture* work, f32 radiusScale)
{
	return CocArtist.render(driver, work, source, depth) && blur(driver, output, source, work, depth, radiusScale);
}
