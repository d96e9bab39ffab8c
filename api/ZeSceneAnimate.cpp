// Scenes shown, hidden and animated at a time.
#include "api/ZeScenePrivate.h"

#include "api/ZeCameraEffectApi.h"
#include "api/ZeFxEmitterApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeObjectSurfaceApi.h"
#include "api/ZeSceneCalls.h"
#include "frame/ZeLog.h"
#include "render/IZeSceneNodeExt.h"

#include <cmath>

using namespace irr;

namespace
{
// A position far out of view for stashed objects.
const f32 STASH_Z = -1000000.0f;
// Below every influence a cube-map use can have.
const f32 NO_INFLUENCE = -10000000.0f;

f32 at(const SZeSceneDesc* d, s32 setting, f32 key)
{
	return zeSceneRenderSettingAt(d, setting, key);
}

// ---- Steps of an animation ----------------------------------------------------------------------
void animateCommandEffects(const SZeSceneSlot& slot, f32 key)
{
	const SZeSceneDesc* d = slot.desc;
	if (slot.extraMode || !d->hasCommands)
		return;
	SZeSceneCalls& calls = zeSceneCalls();
	for (int i = 0; i < d->effectCount; ++i)
	{
		const int id = slot.firstEffectId + i;
		if (!calls.effectExist(id))
			continue;
		SZeShaderDesc desc;
		zeSceneEffectShaderDescAt(&desc, d, i, key);
		calls.setEffectShaderParams(id, &desc, 0);
	}
}

// A switch changed since it was handed over (or was never handed over).
bool changed(int& cached, int value)
{
	if (cached == value)
		return false;
	cached = value;
	return true;
}

void animateProcessing(SZeSceneSlot& slot, f32 key)
{
	const SZeSceneDesc* d = slot.desc;
	SZeProcessingCache& cache = slot.cache;
	SZeSceneCalls& calls = zeSceneCalls();

	const int glow = zeSceneInt(d->glowEffect);
	if (changed(cache.glow, glow) || glow)
		calls.setGlowSettings(glow, zeSceneChannelAt(d->glowIntensity, key), zeSceneChannelAt(d->glowRadius, key));

	const int streak = zeSceneRenderSettingInt(d, EZRS_STREAK_ENABLE);
	if (changed(cache.streak, streak))
		calls.enableStreak(streak);
	if (streak)
	{
		const core::vector3df colorKey = zeSceneRenderSettingVectorAt(d, EZRS_STREAK_COLORKEY, key);
		const core::vector3df colorize = zeSceneRenderSettingVectorAt(d, EZRS_STREAK_COLORIZE, key);
		calls.setStreakParams(at(d, EZRS_STREAK_GLOWMIN, key), colorKey.X, colorKey.Y, colorKey.Z,
			at(d, EZRS_STREAK_COLORKEYMATCH, key), colorize.X, colorize.Y, colorize.Z,
			at(d, EZRS_STREAK_ATTENUATION, key), at(d, EZRS_STREAK_ANGLE, key), at(d, EZRS_STREAK_COMPOSE, key));
	}

	const int bloom = zeSceneRenderSettingInt(d, EZRS_BLOOM_ENABLE);
	if (changed(cache.bloom, bloom))
		calls.enableBloom(bloom);
	if (bloom)
		calls.setBloomParams(at(d, EZRS_BLOOM_SPECULARMIN, key), at(d, EZRS_BLOOM_COMPOSE, key));

	const int ssao = zeSceneRenderSettingInt(d, EZRS_SSAO_ENABLE);
	if (changed(cache.ssao, ssao))
		calls.enableAmbientOcclusion(ssao);
	if (ssao)
		calls.setAmbientOcclusionParams(at(d, EZRS_SSAO_DISTANCEREACH, key), at(d, EZRS_SSAO_MAXDEPTHDECLINE, key),
			at(d, EZRS_SSAO_DEPTHALIASINGEPSILON, key), at(d, EZRS_SSAO_OUTPUTMULTIPLIER, key));

	const int shadows = zeSceneRenderSettingInt(d, EZRS_SHADOW_ENABLE);
	if (changed(cache.shadows, shadows))
		calls.enableShadows(shadows);
	// An epsilon that is not a finite number is left out (reported when the
	// scene was built): the shadows keep the last one.
	const f32 epsilon = at(d, EZRS_SHADOW_EPSILON, key);
	if (shadows && std::isfinite(epsilon))
		calls.setShadowEpsilon(epsilon);

	int antialias[6];
	bool differs = false;
	for (int i = 0; i < 6; ++i)
	{
		antialias[i] = zeSceneRenderSettingInt(d, EZRS_AA_JITTER + i);
		differs = differs || antialias[i] != cache.antialias[i];
	}
	const f32 limit = at(d, EZRS_AA_VLIMIT_VAL, key);
	if (!differs && limit == cache.antialiasFloat)
		return;
	for (int i = 0; i < 6; ++i)
		cache.antialias[i] = antialias[i];
	cache.antialiasFloat = limit;
	calls.setAntialiasParams(antialias[0], antialias[1], antialias[2], antialias[3], antialias[4], antialias[5], limit);
}

void animateCamera(SZeSceneSlot& slot, f32 key)
{
	const SZeSceneDesc* d = slot.desc;
	if (d->cameraCount <= 0)
		return;
	const SZeSceneCamera& camera = d->cameras[static_cast<u32>(zeSceneRenderCameraAt(d, key))];
	const ZF_Node* const* k = camera.keys;
	slot.cameraPosition = zeSceneVectorAt(k[EZCK_POSITION], key);
	if (slot.extraMode)
		return;
	SZeSceneCalls& calls = zeSceneCalls();
	// A zoom of 0 or a camera without height keeps the field of view it had.
	const f32 zoom = zeSceneChannelAt(k[EZCK_ZOOM_FACTOR], key);
	if (zoom != 0.0f && camera.height != 0)
	{
		const f32 fov = 2.0f * std::atan(static_cast<f32>(camera.width) / (zoom * static_cast<f32>(camera.height))) *
			ZE_SCENE_DEGREES;
		if (fov > 0.0f && std::isfinite(fov))
			calls.setCameraFOV(fov);
	}
	SZeProcessingCache& cache = slot.cache;
	const int dof = camera.flags & 8 ? 1 : 0;
	if (changed(cache.dof, dof) || dof)
		calls.setCameraDOF(dof, zeSceneChannelAt(k[EZCK_FOCAL_DISTANCE], key), zeSceneChannelAt(k[EZCK_FSTOP], key));
	const int advanced = zeSceneRenderSettingInt(d, EZRS_DOF_ADVANCED_ENABLE);
	if (changed(cache.advancedDof, advanced) || advanced)
		calls.setCameraAdvancedDOF(advanced, at(d, EZRS_DOF_MINFOCUSDIST, key), at(d, EZRS_DOF_MAXFOCUSDIST, key),
			at(d, EZRS_DOF_FOCUSEDDIST, key), at(d, EZRS_DOF_RADIUSSCALE, key));
	if (camera.flags & 1)
		calls.setCameraStereo(1, zeSceneChannelAt(k[EZCK_SEPARATION], key), camera.usingConvergencePoint,
			zeSceneChannelAt(k[EZCK_CONVERGENCE_POINT], key));
	else
		calls.setCameraStereo(0, 0.0f, 0, 0.0f);
	const core::vector3df& p = slot.cameraPosition;
	calls.positionCamera(p.X, p.Y, p.Z);
	const core::vector3df r = zeSceneRotationAt(k[EZCK_ROTATION], key) * ZE_SCENE_DEGREES;
	calls.rotateCamera(r.X, r.Y, r.Z);
}

// A value the light API would refuse is left out: the light keeps the last
// value it took (the scene reported such values when it was built).
void animateLights(const SZeSceneSlot& slot, f32 key)
{
	if (slot.extraMode)
		return;
	for (int i = 0; i < slot.desc->lightCount; ++i)
	{
		const SZeSceneLight& light = slot.desc->lights[static_cast<u32>(i)];
		const int id = slot.firstLightId + i;
		if (!zeLightExist(id))
			continue;
		SZeSceneLightValues v;
		zeSceneLightValuesAt(v, light, key);
		if (v.sound[EZLV_POSITION])
			zePositionLight(id, v.position.X, v.position.Y, v.position.Z);
		if (v.sound[EZLV_ROTATION])
			zeRotateLight(id, v.rotation.X, v.rotation.Y, v.rotation.Z);
		if (v.sound[EZLV_COLOR])
		{
			zeColorLight(id, static_cast<int>(zeSceneColor(v.rawColor * v.intensity).color));
			zeSetLightRawColor(id, v.rawColor.X, v.rawColor.Y, v.rawColor.Z);
			zeSetLightIntensity(id, v.intensity);
		}
		if (v.sound[EZLV_CONE])
			zeSetSpotLight(id, v.inner, v.outer);
		if (light.falloff && v.sound[EZLV_RANGE])
			zeSetLightRange(id, v.range);
		if (v.sound[EZLV_DENSITY])
			zeSetLightVolumetricDensity(id, v.density);
		if (v.sound[EZLV_BASE])
			zeSetLightVolumetricBase(id, v.base);
	}
}

void animateEmitters(const SZeSceneSlot& slot, f32 key)
{
	for (int i = 0; i < slot.desc->emitterCount; ++i)
	{
		const SZeSceneEmitter& emitter = slot.desc->emitters[static_cast<u32>(i)];
		const ZF_Node* const* k = emitter.keys;
		const int id = slot.firstFxEmitterId + i;
		if (!zeFxEmitterExist(id))
			continue;
		const core::vector3df p = zeSceneVectorAt(k[EZEK_POSITION], key);
		const core::vector3df r = zeSceneRotationAt(k[EZEK_ROTATION], key) * ZE_SCENE_DEGREES;
		const core::vector3df velocity = zeSceneVectorAt(k[EZEK_VELOCITY], key);
		const core::vector3df gravity = zeSceneVectorAt(k[EZEK_GRAVITY], key);
		zePositionFxEmitter(id, p.X, p.Y, p.Z);
		zeRotateFxEmitter(id, r.X, r.Y, r.Z);
		zeSetFxEmitterVelocity(id, velocity.X, velocity.Y, velocity.Z);
		zeSetFxEmitterParentMotion(id, zeSceneChannelAt(k[EZEK_PARENT_MOTION], key));
		zeSetFxEmitterGravity(id, gravity.X, gravity.Y, gravity.Z);
		zeSetFxEmitterBirthRate(id, zeSceneChannelAt(k[EZEK_BIRTH_RATE], key));
		zeSetFxEmitterLifeTime(id, zeSceneChannelAt(k[EZEK_LIFE_TIME], key), zeSceneChannelAt(k[EZEK_LIFE_TIME_PM], key));
		zeSetFxEmitterExplosion(id, zeSceneChannelAt(k[EZEK_EXPLOSION], key));
		zeSetFxEmitterWeight(id, zeSceneChannelAt(k[EZEK_WEIGHT], key));
		zeSetFxEmitterResistance(id, zeSceneChannelAt(k[EZEK_RESISTANCE], key));
		zeSetFxEmitterVibration(id, zeSceneChannelAt(k[EZEK_VIBRATION], key));
		zeSetFxEmitterRandomVelocity(id, zeSceneChannelAt(k[EZEK_RANDOM_VELOCITY], key));
		zeSetFxEmitterCurlNoisePower(id, zeSceneChannelAt(k[EZEK_CURL_NOISE_POWER], key));
		zeSetFxEmitterCurlNoiseFrequency(id, zeSceneChannelAt(k[EZEK_CURL_NOISE_FREQUENCY], key));
		if (const SZeEffectRecord* effect = zeSceneEmitterEffect(emitter))
		{
			// Compiled when the emitter was built: the values alone change.
			SZeShaderDesc desc;
			zeSceneShaderDescAt(&desc, effect, key);
			zeSetFxEmitterShader(id, &desc, 0);
		}
	}
}

void resetEmitters(const SZeSceneSlot& slot)
{
	for (int i = 0; i < slot.desc->emitterCount; ++i)
		if (zeFxEmitterExist(slot.firstFxEmitterId + i))
			zeSceneCalls().resetFxEmitter(slot.firstFxEmitterId + i);
}

// Animation frames of every object, and the morph weights of every object
// with morph targets, as many as its morph mesh has.
void animateFramesAndMorphs(const SZeSceneSlot& slot, f32 key, f32 frame)
{
	SZeSceneCalls& calls = zeSceneCalls();
	std::vector<int> indices;
	std::vector<float> weights;
	for (int i = 0; i < slot.desc->objectCount; ++i)
	{
		const SZeSceneObject& object = slot.desc->objects[static_cast<u32>(i)];
		const int id = slot.firstObjectId + i;
		if (!zeObjectExist(id))
			continue;
		const int frames = calls.totalObjectFrames(id);
		if (frames > 1)
			calls.setObjectFrame(id, core::clamp(frame, 0.0f, static_cast<f32>(frames)));
		if (object.morphs.empty())
			continue;
		const int targets = core::min_(static_cast<int>(object.morphs.size()), calls.getObjectMorphCount(id));
		if (targets <= 0)
			continue;
		indices.clear();
		weights.clear();
		for (int m = 0; m < targets; ++m)
		{
			const f32 weight = zeSceneChannelAt(object.morphs[static_cast<u32>(m)].weight, key);
			if (weight == 0.0f)
				continue;
			indices.push_back(m + 1);
			weights.push_back(weight);
		}
		calls.setObjectMorph(id, static_cast<int>(indices.size()), indices.data(), weights.data());
	}
}

// Step 10 for one object: transform, cube map and surfaces.
void animateObject(const SZeSceneSlot& slot, int i, f32 key, std::vector<SZeSurfaceDesc>& surfaces)
{
	const SZeSceneObject& object = slot.desc->objects[static_cast<u32>(i)];
	const int id = slot.firstObjectId + i;
	if (!zeObjectExist(id))
		return;
	core::vector3df p = zeSceneVectorAt(object.position, key);
	if (slot.extraMode)
		p -= slot.cameraPosition;
	const core::vector3df r = zeSceneRotationAt(object.rotation, key) * ZE_SCENE_DEGREES;
	const core::vector3df s = zeSceneVectorAt(object.scale, key) * 100.0f;
	zePositionObject(id, p.X, p.Y, p.Z);
	zeRotateObject(id, r.X, r.Y, r.Z);
	zeScaleObject(id, s.X, s.Y, s.Z);
	const SZeSceneCubeMapUse* best = nullptr;
	f32 bestInfluence = NO_INFLUENCE;
	for (u32 u = 0; u < object.cubeMapUses.size(); ++u)
	{
		const SZeSceneCubeMapUse& use = object.cubeMapUses[u];
		if (use.cubeMap < 0 || !zeSceneCalls().cubeMapExist(slot.firstCubeMapId + use.cubeMap))
			continue;
		const f32 influence = zeSceneChannelAt(use.influence, key);
		if (influence > bestInfluence)
		{
			best = &use;
			bestInfluence = influence;
		}
	}
	if (best)
		zeSceneApplyCubeMapUse(slot, id, *best, key);
	if (object.mesh < 0)
		return;
	int count = zeSceneSurfacesAt(surfaces, slot.desc->meshes[static_cast<u32>(object.mesh)], key);
	// Surfaces past the object's materials were reported when it was built:
	// animating them would report it again every frame.
	if (IZeSceneNodeExt* ext = zeGetNodeExt(zeGetObjectNode(id)))
		count = core::min_(count, static_cast<int>(ext->getMaterialCount()));
	if (count > 0)
		zeUpdateObjectSurfaces(id, count, surfaces.data(), 0);
}

void animateObjects(const SZeSceneSlot& slot, f32 key)
{
	std::vector<SZeSurfaceDesc> surfaces;
	for (int i = 0; i < slot.desc->objectCount; ++i)
		animateObject(slot, i, key, surfaces);
}

void animateCameraShaders(SZeSceneSlot& slot, f32 key, f32 frame)
{
	if (slot.extraMode)
		return;
	SZeSceneCalls& calls = zeSceneCalls();
	for (int i = 0; i < zeSceneCameraShaderCount(slot); ++i)
	{
		const SZeScenePostProc& postProc = slot.desc->postProcs[static_cast<u32>(i)];
		const int id = slot.firstCameraShaderId + i;
		if (!calls.cameraEffectExist(id))
			continue;
		const int visible = zeScenePostProcVisible(postProc, frame) ? 1 : 0;
		if (visible != slot.shaderShown[i])
		{
			visible ? calls.showCameraEffect(id) : calls.hideCameraEffect(id);
			slot.shaderShown[i] = visible;
		}
		if (visible && postProc.hasEffect)
		{
			SZeShaderDesc desc;
			zeSceneShaderDescAt(&desc, &postProc.effect, key);
			calls.setCameraEffectShaderParams(id, &desc, 0);
		}
	}
}

void hideCameraShaders(SZeSceneSlot& slot)
{
	for (int i = 0; i < zeSceneCameraShaderCount(slot); ++i)
	{
		const int id = slot.firstCameraShaderId + i;
		if (zeSceneCalls().cameraEffectExist(id))
			zeSceneCalls().hideCameraEffect(id);
		slot.shaderShown[i] = 0;
	}
}

// Every existing item of a range gets `call`.
template <typename Exist, typename Call>
void forEach(int first, int count, Exist exist, Call call)
{
	for (int i = 0; i < count; ++i)
		if (exist(first + i))
			call(first + i);
}

void setEmittersVisible(const SZeSceneSlot& slot, bool visible)
{
	forEach(slot.firstFxEmitterId, slot.desc->emitterCount, zeFxEmitterExist, visible ? zeShowFxEmitter : zeHideFxEmitter);
}

// The slot of a scene ID, or null after "Invalid Scene ID %d" (2).
SZeSceneSlot* checkedSlot(int sceneId)
{
	SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	if (!slot)
		zeSetError(2, "Invalid Scene ID %d", sceneId);
	return slot;
}
} // namespace

// ---- Showing --------------------------------------------------------------------------------------
void zeSceneApplyRenderSettings(const SZeSceneSlot& slot)
{
	const SZeSceneDesc* d = slot.desc;
	SZeSceneCalls& calls = zeSceneCalls();
	calls.colorBackdrop(static_cast<int>(zeSceneBackdropColor(d).color));
	calls.setColorSpaceViewer(d->colorSpaceViewer);
	if (zeSceneRenderSettingInt(d, EZRS_CAMERARANGE_ENABLE))
		calls.setCameraRange(at(d, EZRS_CAMERARANGE_MIN, 0.0f), at(d, EZRS_CAMERARANGE_MAX, 0.0f));
}

void zeShowScene(int sceneId)
{
	SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	if (!slot)
		return;
	const SZeSceneDesc* d = slot->desc;
	forEach(slot->firstObjectId, d->objectCount, zeObjectExist, zeShowObject);
	if (!slot->extraMode)
		forEach(slot->firstLightId, d->lightCount, zeLightExist, zeShowLight);
	setEmittersVisible(*slot, true);
	if (slot->extraMode)
		return;
	zeSceneApplyRenderSettings(*slot);
	// Not a renderer another scene holds on the ID.
	if (d->hasCommands && slot->madeRenderer)
		zeSceneCalls().useRenderer(slot->rendererId);
}

void zeHideScene(int sceneId)
{
	SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	if (!slot)
		return;
	const SZeSceneDesc* d = slot->desc;
	forEach(slot->firstObjectId, d->objectCount, zeObjectExist, zeHideObject);
	if (!slot->extraMode)
		forEach(slot->firstLightId, d->lightCount, zeLightExist, zeHideLight);
	setEmittersVisible(*slot, false);
	hideCameraShaders(*slot);
	if (!slot->extraMode && d->hasCommands)
		zeSceneCalls().useDefaultRenderer();
	zeResetProcessingCache(slot->cache);
}

void zeStashScene(int sceneId)
{
	SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	if (!slot)
		return;
	forEach(slot->firstObjectId, slot->desc->objectCount, zeObjectExist,
		[](int id) { zePositionObject(id, 0.0f, 0.0f, STASH_Z); });
	setEmittersVisible(*slot, false);
	hideCameraShaders(*slot);
}

void zeShowSceneFxEmitters(int sceneId)
{
	if (SZeSceneSlot* slot = zeFindSceneSlot(sceneId))
		setEmittersVisible(*slot, true);
}

// ---- Animation ------------------------------------------------------------------------------------
void zeAnimateScene(int sceneId, int timeMs)
{
	SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	if (!slot)
		return;
	const SZeSceneDesc* d = slot->desc;
	zeSceneCalls().setSceneTime(sceneId, timeMs);
	const f32 key = zeSceneKeyIndex(d, timeMs);
	const f32 frame = zeSceneFrame(d, timeMs);
	animateCommandEffects(*slot, key);
	if (!slot->extraMode)
		animateProcessing(*slot, key);
	animateCamera(*slot, key);
	zeSceneCalls().colorAmbientLight(static_cast<int>(zeSceneAmbientAt(d, key).color));
	animateLights(*slot, key);
	animateEmitters(*slot, key);
	if (timeMs <= 0 && timeMs != slot->lastAnimTime)
		resetEmitters(*slot);
	animateFramesAndMorphs(*slot, key, frame);
	animateObjects(*slot, key);
	animateCameraShaders(*slot, key, frame);
	slot->lastAnimTime = timeMs;
}

void zeAnimateSceneObject(int sceneId, int timeMs, int objectId)
{
	SZeSceneSlot* slot = checkedSlot(sceneId);
	if (!slot)
		return;
	const long long index = static_cast<long long>(objectId) - slot->firstObjectId;
	if (index < 0 || index >= slot->desc->objectCount)
	{
		zeSetError(3, "Invalid Object ID %d", objectId);
		return;
	}
	const int i = static_cast<int>(index);
	const f32 key = zeSceneKeyIndex(slot->desc, timeMs);
	if (slot->extraMode)
		animateCamera(*slot, key);
	std::vector<SZeSurfaceDesc> surfaces;
	animateObject(*slot, i, key, surfaces);
}

void zeAnimateSceneProcessing(int sceneId, int timeMs)
{
	if (SZeSceneSlot* slot = checkedSlot(sceneId))
		animateProcessing(*slot, zeSceneKeyIndex(slot->desc, timeMs));
}

void zeAnimateSceneCameraShaders(int sceneId, int timeMs)
{
	if (SZeSceneSlot* slot = checkedSlot(sceneId))
		animateCameraShaders(*slot, zeSceneKeyIndex(slot->desc, timeMs), zeSceneFrame(slot->desc, timeMs));
}
