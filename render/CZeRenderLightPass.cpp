#include "render/CZeRenderLightPass.h"

#include "core/ZeGpuState.h"
#include "render/IZeLightSceneNodeExt.h"

using namespace irr;

namespace
{
bool heldByVolumetricLight(const SZeShadowTexBind& binding)
{
	const IZeLightSceneNodeExt* ext = zeFindLightSceneNodeExt(binding.Light);
	return ext && ext->getParams().Volumetric;
}

s32 scanShadowBindings(const core::array<SZeShadowTexBind>& bindings, u32 size, bool passVolumetric)
{
	for (u32 i = 0; i < bindings.size(); ++i)
	{
		if (passVolumetric && heldByVolumetricLight(bindings[i]))
			continue;
		const bool last = i + 1 == bindings.size();
		const bool fits = bindings[i].ShadowMap && bindings[i].ShadowMap->getSize().Height == size;
		const bool nextTaller = !last && bindings[i + 1].ShadowMap && bindings[i + 1].ShadowMap->getSize().Height > size;
		if (last || fits || nextTaller)
			return static_cast<s32>(i);
	}
	return -1;
}
} // namespace

CZeRenderLightPass::CZeRenderLightPass(IrrlichtDevice* device) : Device(device)
{
}

bool CZeRenderLightPass::init(CZeRenderLightBuffer* lightBuffer, CZeRenderLightShadowMap* shadowMaps)
{
	LightBuffer = lightBuffer;
	ShadowMaps = shadowMaps;
	return true;
}

s32 CZeRenderLightPass::findShadowBinding(const core::array<SZeShadowTexBind>& bindings, u32 size)
{
	const s32 first = scanShadowBindings(bindings, size, true);
	return first >= 0 ? first : scanShadowBindings(bindings, size, false);
}

bool CZeRenderLightPass::render(video::ITexture* target, const core::array<scene::ISceneNode*>& lights,
	const core::array<scene::ISceneNode*>& nodes, core::array<SZeShadowTexBind>& bindings)
{
	video::IVideoDriver* driver = Device ? Device->getVideoDriver() : nullptr;
	if (!driver || !LightBuffer)
		return false;
	driver->setRenderTarget(target, true, false, video::SColor(0));
	zeSetRenderTargetFlip(target != nullptr);
	LightBuffer->beginFrame(Device->getSceneManager()->getActiveCamera());
	LightBuffer->resetStats();
	for (u32 i = 0; i < lights.size(); ++i)
		renderLight(target, lights[i], nodes, bindings);
	return true;
}

bool CZeRenderLightPass::renderLight(video::ITexture* target, scene::ISceneNode* node,
	const core::array<scene::ISceneNode*>& nodes, core::array<SZeShadowTexBind>& bindings)
{
	if (!node || node->getType() != scene::ESNT_LIGHT || !LightBuffer)
		return false;
	scene::ILightSceneNode* light = static_cast<scene::ILightSceneNode*>(node);
	const IZeLightSceneNodeExt* ext = zeFindLightSceneNodeExt(light);
	if (!ext)
		return false;
	const video::SColorf& colour = light->getLightData().DiffuseColor;
	if (colour.r == 0.0f && colour.g == 0.0f && colour.b == 0.0f)
		return false;

	video::ITexture* shadowMap = nullptr;
	core::matrix4 viewProjection;
	f32 shadowNear = 0.0f, shadowFar = 0.0f;
	if (light->getCastShadow() && light->getLightType() == video::ELT_SPOT && ShadowMaps)
	{
		const s32 index = findShadowBinding(bindings, ext->getParams().ShadowMapSize);
		if (index >= 0 &&
			ShadowMaps->render(bindings[index].ShadowMap, light, nodes, viewProjection, shadowNear, shadowFar))
		{
			bindings[index].Light = light;
			shadowMap = bindings[index].ShadowMap;
		}
	}
	return LightBuffer->renderLight(target, light, shadowMap, viewProjection, shadowNear, shadowFar);
}
