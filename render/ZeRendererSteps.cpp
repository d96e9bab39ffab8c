#include "render/ZeRendererSteps.h"

#include "core/IZeGpuProgramming.h"
#include "core/ZeGpuState.h"
#include "effects/SZeMaterialExt.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"

using namespace irr;

bool zeRendererMaterialEffect(const char* owner, const core::stringc& first, const core::stringc& second,
	core::stringc& effectFile, SZeMacro* macros, u32& macroCount, video::E_MATERIAL_TYPE materialType)
{
	if (!macros || macroCount < 2)
	{
		zeLog(EZELL_ERROR, "%s::getMaterialEffect not enough space for macros", owner);
		return false;
	}
	const bool transparent = materialType >= video::EMT_TRANSPARENT_ADD_COLOR &&
		materialType <= video::EMT_TRANSPARENT_VERTEX_ALPHA;
	effectFile = transparent ? second : first;
	macros[0] = SZeMacro{"USE_OUTDEPTH", nullptr};
	macros[1] = SZeMacro{nullptr, nullptr};
	macroCount = 1;
	return true;
}

bool zeRendererCameraCut(IZeManager* manager, video::IVideoDriver* driver, video::ITexture* target)
{
	if (target)
		return false;
	IZeRendererManager* renderers = manager->getRendererManager();
	IZeLastFrameInfo* info = renderers ? renderers->getLastFrameInfo() : nullptr;
	return info && info->isCameraCut(driver->getTransform(video::ETS_VIEW), 1.0f, 20.0f);
}

void zeRendererJitter(video::IVideoDriver* driver, const CZePostAntialias* antialias, u32 frame,
	const core::matrix4& projection)
{
	const core::dimension2d<u32> screen = driver->getScreenSize();
	core::matrix4 jitter;
	antialias->getJitterMatrix(jitter, frame, screen.Width, screen.Height);
	driver->setTransform(video::ETS_PROJECTION, jitter * projection);
}

bool zeIsLibraryNode(scene::ISceneNode* node)
{
	const u32 count = node ? node->getMaterialCount() : 0;
	for (u32 i = 0; i < count; ++i)
	{
		const SZeMaterialExt* record = static_cast<SZeMaterialExt*>(ze::getMaterialUserData(node->getMaterial(i)));
		if (record && record->Tag == ZE_MATERIAL_EXT_TAG && record->Effect)
			return false;
	}
	return count > 0;
}

void CZeLibraryNodeDraw::render(video::IVideoDriver* driver, IZeRenderServices* services,
	const core::array<scene::ISceneNode*>& nodes, scene::E_SCENE_NODE_RENDER_PASS pass,
	const video::SOverrideMaterial* overrides, u32 hideMask, u32 showMask)
{
	if (nodes.empty())
		return;
	// The library resets the front-face winding, so the faces each material
	// culls change sides for the draw instead; effects are not asked to turn
	// the picture again.
	const core::matrix4 projection = driver->getTransform(video::ETS_PROJECTION);
	core::matrix4 upsideDown;
	upsideDown.setScale(core::vector3df(1.0f, -1.0f, 1.0f));
	driver->setTransform(video::ETS_PROJECTION, upsideDown * projection);
	const bool flip = zeGetRenderTargetFlip();
	zeSetRenderTargetFlip(false);
	Culling.clear();
	for (u32 n = 0; n < nodes.size(); ++n)
		for (u32 i = 0; nodes[n] && i < nodes[n]->getMaterialCount(); ++i)
		{
			video::SMaterial& material = nodes[n]->getMaterial(i);
			Culling.push_back({&material, material.BackfaceCulling, material.FrontfaceCulling});
			material.BackfaceCulling = Culling.back().Front;
			material.FrontfaceCulling = Culling.back().Back;
		}
	services->renderNodes(nodes, pass, nullptr, overrides, hideMask, showMask, nullptr);
	for (const SCulling& c : Culling)
	{
		c.Material->BackfaceCulling = c.Back;
		c.Material->FrontfaceCulling = c.Front;
	}
	zeSetRenderTargetFlip(flip);
	driver->setTransform(video::ETS_PROJECTION, projection);
}

// ---- Debug thumbnails ------------------------------------------------------------------------
u32 zeDebugThumbnails(SZeDebugThumbnail out[7], video::ITexture* normal, video::ITexture* depth,
	video::ITexture* light, const core::array<SZeShadowTexBind>& bindings, video::ITexture* half1,
	video::ITexture* quarter0, video::ITexture* quarter1)
{
	u32 n = 0;
	out[n++] = {normal, 0, 0};
	out[n++] = {depth, 180, 0};
	out[n++] = {light, 360, 0};
	if (bindings.size() > 1)
		out[n++] = {bindings[1].ShadowMap, 540, 0};
	out[n++] = {half1, 0, 140};
	out[n++] = {quarter0, 0, 270};
	out[n++] = {quarter1, 0, 400};
	return n;
}

bool zeDrawDebugTexture(video::IVideoDriver* driver, video::ITexture* texture, s32 x, s32 y, s32 width, s32 height)
{
	if (!driver || !texture || dynamic_cast<ze::ITextureExt*>(texture))
		return false;
	// The library turns its render targets over when it draws them, and ours
	// hold their pictures top row first: the source rectangle turns them back.
	const core::dimension2d<u32> size = texture->getSize();
	const s32 tw = static_cast<s32>(size.Width), th = static_cast<s32>(size.Height);
	const core::rect<s32> source = texture->isRenderTarget() ? core::rect<s32>(0, th, tw, 0) :
		core::rect<s32>(0, 0, tw, th);
	driver->draw2DImage(texture, core::rect<s32>(x, y, x + width, y + height), source, nullptr, nullptr, false);
	return true;
}
