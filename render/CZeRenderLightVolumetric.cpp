#include "render/CZeRenderLightVolumetric.h"

#include "core/ZeGpuState.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"
#include "render/CZeRenderLightShadowMap.h"
#include "render/IZeLightSceneNodeExt.h"
#include "render/ZeLightVolumes.h"

#include <cmath>

using namespace irr;

namespace
{
const char* const QUALITY_MACROS[4] = {"QUALITY_1", "QUALITY_2", "QUALITY_3", "QUALITY_4"};
// The volumes stop growing with the radius here; the shaders still use the radius.
const f32 MAX_VOLUME_RADIUS = 1000.0f;
const f32 NO_INTENSITY_CLAMP = 1000000.0f;

// Whether the shaders can take the light's values: a radius that reaches, a
// finite density and, for a spot, a finite base. Anything else fills the
// whole screen with what is not a number.
bool drawable(const scene::ILightSceneNode* light, const SZeLightExtParams& params)
{
	if (!zeLightRadiusReaches(light->getLightData().Radius) || !std::isfinite(params.VolumetricDensity))
		return false;
	return light->getLightType() != video::ELT_SPOT || std::isfinite(params.VolumetricBase);
}

IZeEffect* load(IZeEffectManager* effects, const char* file, const SZeMacro* macros)
{
	return effects && file ? effects->createEffect(file, -1, macros, nullptr) : nullptr;
}
} // namespace

CZeRenderLightVolumetric::CZeRenderLightVolumetric(IrrlichtDevice* device) : Device(device)
{
	ze::setMaterialUserData(Quad.getMaterial(), &Record);
}

CZeRenderLightVolumetric::~CZeRenderLightVolumetric()
{
	releaseEffects();
	if (SphereMesh)
		SphereMesh->drop();
	if (ConeMesh)
		ConeMesh->drop();
}

void CZeRenderLightVolumetric::releaseEffects()
{
	for (IZeEffect** effect : {&PointEffect, &SpotEffect})
	{
		if (*effect)
			(*effect)->drop();
		*effect = nullptr;
	}
	for (IZeEffect*& effect : SpotVariants)
	{
		if (effect)
			effect->drop();
		effect = nullptr;
	}
}

bool CZeRenderLightVolumetric::init(IZeEffectManager* effects, const char* spotFile, const char* pointFile)
{
	if (!Device || SphereMesh || ConeMesh)
		return false;
	if (!zeCreateLightVolumes(Device->getSceneManager(), "CZeRenderLightVolumetric", &SphereMesh, &ConeMesh))
		return false;
	const char* pointName = pointFile ? pointFile : "(null)";
	const char* spotName = spotFile ? spotFile : "(null)";
	PointEffect = load(effects, pointFile, nullptr);
	if (!PointEffect)
	{
		zeLog(EZELL_ERROR, "CZeRenderLightVolumetric failed to load %s", pointName);
		return false;
	}
	SpotEffect = load(effects, spotFile, nullptr);
	if (!SpotEffect)
	{
		zeLog(EZELL_ERROR, "CZeRenderLightVolumetric failed to load %s (standard)", spotName);
		releaseEffects();
		return false;
	}
	for (u32 i = 0; i < SPOT_VARIANTS; ++i)
	{
		SZeMacro macros[4] = {};
		u32 count = 0;
		if (i % 3 != 0)
			macros[count++] = {"USE_SHADOW", ""};
		if (i % 3 != 1)
			macros[count++] = {"USE_PROJIMAGE", ""};
		macros[count++] = {QUALITY_MACROS[i / 3], ""};
		SpotVariants[i] = load(effects, spotFile, macros);
		if (!SpotVariants[i])
		{
			zeLog(EZELL_ERROR, "CZeRenderLightVolumetric failed to load %s (shadow and proj img)", spotName);
			releaseEffects();
			return false;
		}
	}
	video::SMaterial& quad = Quad.getMaterial();
	quad.ZWriteEnable = false;
	quad.ZBuffer = video::ECFN_ALWAYS;
	return true;
}

IZeEffect* CZeRenderLightVolumetric::getEffect(bool withShadow, bool withImage, u32 quality) const
{
	if (!withShadow && !withImage)
		return SpotEffect;
	const u32 level = quality <= 1 ? 0 : core::min_(quality - 1, 3u);
	return SpotVariants[3 * level + (withShadow ? (withImage ? 2 : 1) : 0)];
}

bool CZeRenderLightVolumetric::render(video::ITexture* target, const core::array<scene::ISceneNode*>& lights,
	const core::array<SZeShadowTexBind>& bindings)
{
	video::IVideoDriver* driver = Device ? Device->getVideoDriver() : nullptr;
	if (!driver)
		return false;
	driver->setRenderTarget(target, false, false);
	zeSetRenderTargetFlip(target != nullptr);
	for (u32 i = 0; i < lights.size(); ++i)
	{
		if (!lights[i] || lights[i]->getType() != scene::ESNT_LIGHT)
			continue;
		const IZeLightSceneNodeExt* ext = zeFindLightSceneNodeExt(lights[i]);
		if (ext && ext->getParams().Volumetric)
			renderLight(static_cast<scene::ILightSceneNode*>(lights[i]), bindings);
	}
	return true;
}

bool CZeRenderLightVolumetric::renderLight(scene::ILightSceneNode* light, const core::array<SZeShadowTexBind>& bindings)
{
	const IZeLightSceneNodeExt* ext = zeFindLightSceneNodeExt(light);
	if (!ext || !drawable(light, ext->getParams()))
		return false;
	switch (light->getLightType())
	{
	case video::ELT_POINT:
		return renderPoint(light, PointEffect);
	case video::ELT_SPOT:
	{
		const SZeLightExtParams& params = ext->getParams();
		video::ITexture* shadowMap = nullptr;
		video::ITexture* image = nullptr;
		if (params.VolumetricQuality > 0)
		{
			for (u32 i = 0; i < bindings.size() && !shadowMap; ++i)
				if (bindings[i].Light == light)
					shadowMap = bindings[i].ShadowMap;
			image = params.ProjectionImage;
		}
		return renderSpot(light, getEffect(shadowMap != nullptr, image != nullptr, params.VolumetricQuality), shadowMap,
			image);
	}
	default:
		return false;
	}
}

void CZeRenderLightVolumetric::setLightValues(const scene::ILightSceneNode* light, const SZeLightExtParams& params,
	IZeEffect* effect)
{
	const video::SLight& data = light->getLightData();
	effect->setFloatArrayByName("LightPosition", &data.Position.X, 3);
	f32 colour[3] = {data.DiffuseColor.r, data.DiffuseColor.g, data.DiffuseColor.b};
	if (params.VolumetricUseColor)
		for (u32 i = 0; i < 3; ++i)
			colour[i] *= params.VolumetricColor[i];
	effect->setFloatArrayByName("LightColor", colour, 3);
	effect->setFloatByName("LightRadius", data.Radius);
	effect->setFloatByName("LightPower", params.VolumetricDensity);
	effect->setFloatByName("IntensityClamp", params.ClampIntensity ? params.IntensityClamp : NO_INTENSITY_CLAMP);
}

bool CZeRenderLightVolumetric::renderPoint(scene::ILightSceneNode* light, IZeEffect* effect)
{
	const scene::ICameraSceneNode* camera = Device ? Device->getSceneManager()->getActiveCamera() : nullptr;
	const IZeLightSceneNodeExt* ext = zeFindLightSceneNodeExt(light);
	if (!camera || !effect || !ext)
		return false;
	const video::SLight& data = light->getLightData();
	const bool volume = camera->getFarValue() > 2.0f * data.Radius;
	core::matrix4 world;
	if (volume)
	{
		world.setTranslation(data.Position);
		world.setScale(ZE_LIGHT_VOLUME_SCALE * core::min_(data.Radius, MAX_VOLUME_RADIUS));
	}
	setLightValues(light, ext->getParams(), effect);
	prepareMaterial(effect, volume);
	draw(volume ? SphereMesh : nullptr, world, effect);
	return true;
}

bool CZeRenderLightVolumetric::renderSpot(scene::ILightSceneNode* light, IZeEffect* effect, video::ITexture* shadowMap,
	video::ITexture* image)
{
	const scene::ICameraSceneNode* camera = Device ? Device->getSceneManager()->getActiveCamera() : nullptr;
	const IZeLightSceneNodeExt* ext = zeFindLightSceneNodeExt(light);
	if (!camera || !effect || !ext)
		return false;
	const video::SLight& data = light->getLightData();
	const core::matrix4 frame = zeGetLightFrame(light);
	core::vector3df axis(0.0f, 0.0f, 1.0f);
	frame.rotateVect(axis);
	axis.normalize();

	// Whether the camera's near plane may reach into the cone widened as its volume.
	const f32 angle = zeLightVolumeConeAngle(data.OuterCone);
	const f32 cameraNear = camera->getNearValue();
	const core::vector3df fromLight = camera->getAbsolutePosition() - frame.getTranslation();
	const f32 along = fromLight.dotProduct(axis);
	const f32 aside = (fromLight - axis * along).getLength();
	const bool inside = cameraNear > aside - along * std::tan(angle) && along > -cameraNear;
	const bool volume = !inside && camera->getFarValue() > 2.0f * data.Radius;
	core::matrix4 world;
	if (volume)
	{
		const f32 length = ZE_LIGHT_VOLUME_SCALE * core::min_(data.Radius, MAX_VOLUME_RADIUS);
		const f32 base = std::tan(angle) * length;
		core::matrix4 scale;
		scale.setScale(core::vector3df(base, base, length));
		world = frame * scale;
	}

	setLightValues(light, ext->getParams(), effect);
	const f32 outer = data.OuterCone * core::DEGTORAD;
	const f32 tanOuter = std::tan(outer);
	effect->setFloatByName("LightTanThetaSqr", tanOuter * tanOuter);
	effect->setFloatByName("LightConeBase", ext->getParams().VolumetricBase);
	effect->setFloatByName("SoftEdgeRatio", outer > 0.0f ? (data.OuterCone - data.InnerCone) / data.OuterCone : 0.0f);
	core::matrix4 toCone;
	if (!frame.getInverse(toCone))
		toCone = frame;
	effect->setMatrixByName("invConeTransform", toCone.getTransposed());
	if (shadowMap || image)
	{
		core::matrix4 view, projection;
		core::vector3df position;
		f32 nearValue = 0.0f, farValue = 0.0f;
		zeGetLightViewProjection(light, view, projection, position, nearValue, farValue);
		effect->setMatrixByName("LightWorldViewProj", projection * view);
	}

	prepareMaterial(effect, volume);
	video::SMaterial& material = Quad.getMaterial();
	if (shadowMap)
		ze::setMaterialTexture(material, 1, shadowMap);
	if (image)
		ze::setMaterialTexture(material, shadowMap ? 2 : 1, image);
	draw(volume ? ConeMesh : nullptr, world, effect);
	ze::setMaterialTexture(material, 1, nullptr);
	ze::setMaterialTexture(material, 2, nullptr);
	return true;
}

void CZeRenderLightVolumetric::prepareMaterial(IZeEffect* effect, bool volume)
{
	video::SMaterial& material = Quad.getMaterial();
	effect->getPassMaterial(0, 0, material);
	material.ZWriteEnable = false;
	material.ZBuffer = video::ECFN_ALWAYS;
	// Inside a volume only its far side is in front of the camera.
	material.FrontfaceCulling = volume;
	material.BackfaceCulling = !volume;
	Record.Effect = effect;
	Record.Technique = 0;
	Record.Pass = 0;
	ze::setMaterialUserData(material, &Record);
}

void CZeRenderLightVolumetric::draw(scene::IMesh* volume, const core::matrix4& world, IZeEffect* effect)
{
	video::IVideoDriver* driver = Device->getVideoDriver();
	if (!volume)
	{
		effect->setMatrixByName("WorldViewProjection", core::IdentityMatrix);
		const core::matrix4 kept = driver->getTransform(video::ETS_WORLD);
		Quad.renderInCamera(driver);
		driver->setTransform(video::ETS_WORLD, kept);
		return;
	}
	driver->setTransform(video::ETS_WORLD, world);
	effect->setMatrixByName("WorldViewProjection",
		driver->getTransform(video::ETS_PROJECTION) * driver->getTransform(video::ETS_VIEW) * world);
	driver->setMaterial(Quad.getMaterial());
	driver->drawMeshBuffer(volume->getMeshBuffer(0));
}
