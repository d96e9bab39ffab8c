#include "render/CZeRenderLightShadowMap.h"

#include "core/ZeGpuState.h"
#include "frame/ZeLog.h"
#include "libext/ZeDrawPasses.h"
#include "render/ZeLightVolumes.h"

#include <cmath>

using namespace irr;

namespace
{
const f32 SHADOW_NEAR = 0.01f;
const f32 SHADOW_FAR = 5000.0f;
const f32 DIRECTIONAL_BOX = 30.0f;
// A direction whose horizontal part is below this (of a unit vector) counts
// as straight up or down, where (0, 1, 0) cannot be the up vector.
const f32 VERTICAL_TOLERANCE = 0.0001f;
} // namespace

// ---- The light's view and projection ---------------------------------------------------
void zeGetLightViewProjection(const scene::ILightSceneNode* light, core::matrix4& view, core::matrix4& projection,
	core::vector3df& position, f32& nearValue, f32& farValue)
{
	const video::SLight& data = light->getLightData();
	nearValue = SHADOW_NEAR;
	farValue = SHADOW_FAR;
	if (data.Type == video::ELT_SPOT && data.Radius < SHADOW_FAR)
		farValue = data.Radius;
	position = light->getAbsolutePosition();
	core::vector3df direction(0.0f, 0.0f, 1.0f);
	zeGetLightRotation(light).rotateVect(direction);
	core::vector3df eye = position;
	if (data.Type == video::ELT_DIRECTIONAL)
	{
		eye -= direction;
		projection.buildProjectionMatrixOrthoLH(DIRECTIONAL_BOX, DIRECTIONAL_BOX, nearValue, farValue);
		farValue = 1.0f;
	}
	else
		projection.buildProjectionMatrixPerspectiveFovLH(2.0f * data.OuterCone * core::DEGTORAD, 1.0f, nearValue,
			farValue);
	const core::vector3df target = eye + direction;
	const f32 length = direction.getLength();
	const bool vertical = std::fabs(direction.X) + std::fabs(direction.Z) <= VERTICAL_TOLERANCE * length;
	const core::vector3df up = vertical ? core::vector3df(0.0f, 0.0f, 1.0f) : core::vector3df(0.0f, 1.0f, 0.0f);
	view.buildCameraLookAtMatrixLH(eye, target, up);
}

// ---- Shadow map renderer -------------------------------------------------------------------
CZeRenderLightShadowMap::CZeRenderLightShadowMap(IrrlichtDevice* device) : Device(device)
{
}

CZeRenderLightShadowMap::~CZeRenderLightShadowMap()
{
	setEffect(nullptr);
}

bool CZeRenderLightShadowMap::init(IZeEffectManager* effects, const char* file)
{
	IZeEffect* effect = effects && file ? effects->createEffect(file, -1, nullptr, nullptr) : nullptr;
	if (!effect)
	{
		zeLog(EZELL_ERROR, "CZeRenderLightShadowMap failed to load %s", file ? file : "(null)");
		return false;
	}
	setEffect(effect);
	effect->drop();
	return true;
}

void CZeRenderLightShadowMap::setEffect(IZeEffect* effect)
{
	if (effect)
		effect->grab();
	if (DepthEffect)
		DepthEffect->drop();
	DepthEffect = effect;
}

bool CZeRenderLightShadowMap::render(video::ITexture* shadowMap, scene::ILightSceneNode* light,
	const core::array<scene::ISceneNode*>& nodes, core::matrix4& viewProjection, f32& nearValue, f32& farValue)
{
	video::IVideoDriver* driver = Device ? Device->getVideoDriver() : nullptr;
	if (!driver || !light)
		return false;
	core::matrix4 view, projection;
	core::vector3df position;
	zeGetLightViewProjection(light, view, projection, position, nearValue, farValue);
	scene::SViewFrustum frustum(projection * view);
	frustum.cameraPosition = position;
	frustum.recalculateBoundingBox();
	const core::aabbox3df& seen = frustum.getBoundingBox();

	bool anyCaster = false;
	for (u32 i = 0; i < nodes.size() && !anyCaster; ++i)
	{
		const IZeSceneNodeExt* ext = zeFindSceneNodeExt(nodes[i]);
		if (!ext || !ext->isCastShadow())
			continue;
		core::aabbox3df box = nodes[i]->getBoundingBox();
		nodes[i]->getAbsoluteTransformation().transformBoxEx(box);
		anyCaster = box.intersectsWithBox(seen);
	}
	if (!anyCaster)
		return false;

	const core::matrix4 savedView = driver->getTransform(video::ETS_VIEW);
	const core::matrix4 savedProjection = driver->getTransform(video::ETS_PROJECTION);
	driver->setTransform(video::ETS_VIEW, view);
	driver->setTransform(video::ETS_PROJECTION, projection);
	video::SOverrideMaterial& overrides = driver->getOverrideMaterial();
	const video::SOverrideMaterial savedOverrides = overrides;
	overrides.Material.Lighting = false;
	overrides.Material.ZBuffer = video::ECFN_LESSEQUAL;
	overrides.Material.ZWriteEnable = true;
	overrides.EnableFlags = video::EMF_LIGHTING | video::EMF_ZBUFFER | video::EMF_ZWRITE_ENABLE;
	overrides.EnablePasses = scene::ESNRP_SOLID;
	overrides.Enabled = true;

	driver->setRenderTarget(shadowMap, true, true, video::SColor(0xFFFFFFFFu));
	zeSetRenderTargetFlip(shadowMap != nullptr);
	// Casters draw their solid buffers, as the override material's pass says.
	const scene::E_SCENE_NODE_RENDER_PASS outerPass = ze::setCurrentRenderPass(scene::ESNRP_SOLID);
	for (u32 i = 0; i < nodes.size(); ++i)
	{
		IZeSceneNodeExt* ext = zeFindSceneNodeExt(nodes[i]);
		if (!ext || !ext->isCastShadow())
			continue;
		ext->saveEffects(Saved);
		// The materials as they were: the depth effect rewrites states that a
		// material without effect or surface would not get back from its extension.
		SavedMaterials.clear();
		for (u32 m = 0; m < nodes[i]->getMaterialCount(); ++m)
			SavedMaterials.push_back(nodes[i]->getMaterial(m));
		for (u32 m = 0; m < nodes[i]->getMaterialCount(); ++m)
		{
			const s32 technique = ext->getMaterialSpecialTechnique(m, EZEST_SHADOW);
			if (technique != -1)
				ext->setMaterialTechnique(m, technique);
			else
				ext->setMaterialEffect(m, DepthEffect, 0, 0);
		}
		nodes[i]->render();
		ext->restoreEffects(Saved);
		for (u32 m = 0; m < SavedMaterials.size() && m < nodes[i]->getMaterialCount(); ++m)
			nodes[i]->getMaterial(m) = SavedMaterials[m];
	}
	ze::setCurrentRenderPass(outerPass);
	Saved.clear();

	overrides = savedOverrides;
	driver->setTransform(video::ETS_VIEW, savedView);
	driver->setTransform(video::ETS_PROJECTION, savedProjection);
	viewProjection = projection * view;
	return true;
}
