#include "render/ZeRendererSteps.h"

#include "core/ZeGpuState.h"
#include "effects/SZeMaterialExt.h"
#include "libext/ZeMaterialExt.h"

using namespace irr;

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
	// An override's culling changes sides with the materials'.
	video::SOverrideMaterial turned;
	if (overrides)
	{
		turned = *overrides;
		const bool backCulling = turned.Material.BackfaceCulling;
		turned.Material.BackfaceCulling = turned.Material.FrontfaceCulling;
		turned.Material.FrontfaceCulling = backCulling;
		const u32 back = turned.EnableFlags & video::EMF_BACK_FACE_CULLING;
		const u32 front = turned.EnableFlags & video::EMF_FRONT_FACE_CULLING;
		turned.EnableFlags &= ~(video::EMF_BACK_FACE_CULLING | video::EMF_FRONT_FACE_CULLING);
		turned.EnableFlags |= (back ? video::EMF_FRONT_FACE_CULLING : 0) | (front ? video::EMF_BACK_FACE_CULLING : 0);
	}
	services->renderNodes(nodes, pass, nullptr, overrides ? &turned : nullptr, hideMask, showMask, nullptr);
	for (const SCulling& c : Culling)
	{
		c.Material->BackfaceCulling = c.Back;
		c.Material->FrontfaceCulling = c.Front;
	}
	zeSetRenderTargetFlip(flip);
	driver->setTransform(video::ETS_PROJECTION, projection);
}
