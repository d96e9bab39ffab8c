// A loaded scene reloaded in place: the new description against the old one,
// kind by kind, rebuilding only what changed.
#include "api/ZeScenePrivate.h"

#include "api/ZeCameraEffectApi.h"
#include "api/ZeCubeMapApi.h"
#include "api/ZeFxEmitterApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeSceneCalls.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"

#include <cstring>

using namespace irr;

namespace
{
bool sameText(const char* a, const char* b)
{
	return std::strcmp(a ? a : "", b ? b : "") == 0;
}

bool sameVector(const ZF_Node* a, const ZF_Node* b)
{
	return zeSceneVectorAt(a, 0.0f) == zeSceneVectorAt(b, 0.0f);
}

bool sameFloat(const ZF_Node* a, const ZF_Node* b)
{
	return zeSceneChannelAt(a, 0.0f) == zeSceneChannelAt(b, 0.0f);
}

bool sameFloatList(const ZF_Node* a, const ZF_Node* b)
{
	u32 countA = 0;
	u32 countB = 0;
	const f32* listA = zeSceneFloatList(a, &countA);
	const f32* listB = zeSceneFloatList(b, &countB);
	return countA == countB && (countA == 0 || std::memcmp(listA, listB, countA * sizeof(f32)) == 0);
}

// A surface channel's number at key 0 (integers as they are).
f32 channelNumber(const SZeSceneChannel& channel)
{
	if (channel.kind == EZSVK_INT)
		return static_cast<f32>(zeSceneInt(channel.value));
	return channel.kind == EZSVK_FLOAT ? zeSceneChannelAt(channel.value, 0.0f) : 0.0f;
}

// What makes a surface need its mesh loaded again.
bool surfaceNeedsRebuild(const SZeSceneSurface& a, const SZeSceneSurface& b)
{
	if (a.hasEffect != b.hasEffect || (a.hasEffect && !sameText(a.effect.filename, b.effect.filename)))
		return true;
	for (int c = 0; c < EZSC_COUNT; ++c)
		if (!sameText(a.channels[c].imgFilename, b.channels[c].imgFilename))
			return true;
	for (int c : {EZSC_TRANSPARENCY, EZSC_TRANSLUCENCY})
		if ((channelNumber(a.channels[c]) != 0.0f) != (channelNumber(b.channels[c]) != 0.0f))
			return true;
	const SZeSceneChannel* ra = &a.channels[EZSC_REFLECTION_OPTIONS];
	const SZeSceneChannel* rb = &b.channels[EZSC_REFLECTION_OPTIONS];
	if ((channelNumber(*ra) > 1.0f) != (channelNumber(*rb) > 1.0f))
		return true;
	for (int c : {EZSC_RENDER_OUTLINES, EZSC_LINE_SIZE})
		if (channelNumber(a.channels[c]) != channelNumber(b.channels[c]))
			return true;
	return false;
}

const SZeSceneMesh* meshOf(const SZeSceneDesc* d, const SZeSceneObject& object)
{
	return object.mesh >= 0 ? &d->meshes[static_cast<u32>(object.mesh)] : nullptr;
}

bool sameCubeMapUses(const SZeSceneObject& a, const SZeSceneObject& b)
{
	if (a.cubeMapUses.size() != b.cubeMapUses.size())
		return false;
	for (u32 u = 0; u < a.cubeMapUses.size(); ++u)
	{
		const SZeSceneCubeMapUse& ua = a.cubeMapUses[u];
		const SZeSceneCubeMapUse& ub = b.cubeMapUses[u];
		if (ua.cubeMap != ub.cubeMap || !sameText(ua.cubeMapName, ub.cubeMapName) ||
			(ua.aabbPosition && ua.aabbScale) != (ub.aabbPosition && ub.aabbScale))
			return false;
	}
	return true;
}

bool meshChanged(const SZeSceneDesc* oldDesc, const SZeSceneDesc* newDesc, int i)
{
	const SZeSceneObject& a = oldDesc->objects[static_cast<u32>(i)];
	const SZeSceneObject& b = newDesc->objects[static_cast<u32>(i)];
	if (!sameText(a.filename, b.filename) || a.pointCloudCount != b.pointCloudCount || !sameCubeMapUses(a, b))
		return true;
	const SZeSceneMesh* ma = meshOf(oldDesc, a);
	const SZeSceneMesh* mb = meshOf(newDesc, b);
	const u32 countA = ma ? ma->surfaces.size() : 0;
	const u32 countB = mb ? mb->surfaces.size() : 0;
	if (countA != countB)
		return true;
	for (u32 s = 0; s < countA; ++s)
		if (surfaceNeedsRebuild(ma->surfaces[s], mb->surfaces[s]))
			return true;
	return false;
}

bool surfaceEffectsDiffer(const SZeSceneDesc* oldDesc, const SZeSceneDesc* newDesc, int i)
{
	const SZeSceneMesh* ma = meshOf(oldDesc, oldDesc->objects[static_cast<u32>(i)]);
	const SZeSceneMesh* mb = meshOf(newDesc, newDesc->objects[static_cast<u32>(i)]);
	if (!ma || !mb)
		return ma != mb;
	for (u32 s = 0; s < ma->surfaces.size() && s < mb->surfaces.size(); ++s)
		if (zeSceneEffectRecordsDiffer(zeSceneSurfaceEffect(ma->surfaces[s]), zeSceneSurfaceEffect(mb->surfaces[s])))
			return true;
	return false;
}

// ---- Kinds ----------------------------------------------------------------------------------------
// True when cube maps were made again.
bool reloadCubeMaps(const SZeSceneSlot& slot, const SZeSceneDesc* oldDesc)
{
	const SZeSceneDesc* d = slot.desc;
	bool same = oldDesc->cubeMapCount == d->cubeMapCount;
	for (int i = 0; same && i < d->cubeMapCount; ++i)
	{
		const char* a = oldDesc->cubeMaps[static_cast<u32>(i)].name;
		const char* b = d->cubeMaps[static_cast<u32>(i)].name;
		same = zeStricmp(a ? a : "", b ? b : "") == 0;
	}
	if (!same)
	{
		for (int i = 0; i < oldDesc->cubeMapCount; ++i)
			zeDeleteCubeMap(slot.firstCubeMapId + i);
		for (int i = 0; i < d->cubeMapCount; ++i)
			zeSceneMakeCubeMap(slot, i);
		return d->cubeMapCount > 0;
	}
	bool made = false;
	for (int i = 0; i < d->cubeMapCount; ++i)
	{
		const SZeSceneCubeMap& a = oldDesc->cubeMaps[static_cast<u32>(i)];
		const SZeSceneCubeMap& b = d->cubeMaps[static_cast<u32>(i)];
		if (a.textureSize == b.textureSize && a.useLatLong == b.useLatLong)
			continue;
		zeSceneMakeCubeMap(slot, i);
		made = true;
	}
	return made;
}

void rebuildObject(const SZeSceneSlot& slot, int i)
{
	if (zeSceneBuildObject(slot, i, false, 0) != 0)
		return;
	zeSceneApplyObjectSettings(slot, i);
	if (slot.extraMode)
		zeLockObjectOn(slot.firstObjectId + i);
}

// Fills `rebuilt` with the objects built again.
void reloadObjects(const SZeSceneSlot& slot, const SZeSceneDesc* oldDesc, std::vector<bool>& rebuilt)
{
	const SZeSceneDesc* d = slot.desc;
	rebuilt.assign(static_cast<size_t>(d->objectCount), false);
	bool same = oldDesc->colorSpace8BitFiles == d->colorSpace8BitFiles && oldDesc->objectCount == d->objectCount;
	for (int i = 0; same && i < d->objectCount; ++i)
		same = sameText(oldDesc->objects[static_cast<u32>(i)].xfilename, d->objects[static_cast<u32>(i)].xfilename);
	if (!same)
	{
		for (int i = 0; i < oldDesc->objectCount; ++i)
			zeDeleteObject(slot.firstObjectId + i);
		for (int i = 0; i < d->objectCount; ++i)
		{
			rebuildObject(slot, i);
			rebuilt[static_cast<size_t>(i)] = true;
		}
		return;
	}
	for (int i = 0; i < d->objectCount; ++i)
	{
		const SZeSceneObject& a = oldDesc->objects[static_cast<u32>(i)];
		const SZeSceneObject& b = d->objects[static_cast<u32>(i)];
		if (meshChanged(oldDesc, d, i))
		{
			rebuildObject(slot, i);
			rebuilt[static_cast<size_t>(i)] = true;
		}
		else if (a.shadowOpts != b.shadowOpts || a.selectionMask != b.selectionMask ||
			!sameText(a.vertexTextureName, b.vertexTextureName))
			zeSceneApplyObjectSettings(slot, i);
	}
}

void reloadRenderer(SZeSceneSlot& slot, int sceneId, const SZeSceneDesc* oldDesc)
{
	if (slot.extraMode || !zeSceneCommandListsDiffer(oldDesc, slot.desc))
		return;
	if (oldDesc->hasCommands)
		zeSceneDeleteRenderer(slot, oldDesc);
	if (slot.desc->hasCommands && zeSceneBuildRenderer(slot, sceneId) == 0)
		zeSceneCalls().useRenderer(slot.rendererId);
}

bool lightNeedsRebuild(const SZeSceneLight& a, const SZeSceneLight& b)
{
	return a.type != b.type || a.shadowType != b.shadowType || a.falloff != b.falloff || a.flags != b.flags ||
		!sameText(a.projImage, b.projImage) || a.volumetricFlags != b.volumetricFlags ||
		a.volumetricColorOn != b.volumetricColorOn || a.volumetricColor != b.volumetricColor;
}

void reloadLights(const SZeSceneSlot& slot, const SZeSceneDesc* oldDesc)
{
	const SZeSceneDesc* d = slot.desc;
	if (slot.extraMode)
		return;
	if (oldDesc->lightCount == d->lightCount)
	{
		for (int i = 0; i < d->lightCount; ++i)
			if (lightNeedsRebuild(oldDesc->lights[static_cast<u32>(i)], d->lights[static_cast<u32>(i)]))
				zeSceneBuildLight(slot, i);
		return;
	}
	for (int i = 0; i < oldDesc->lightCount; ++i)
		zeDeleteLight(slot.firstLightId + i);
	for (int i = 0; i < d->lightCount; ++i)
		zeSceneBuildLight(slot, i);
}

const char* effectFile(const SZeSceneEmitter& emitter)
{
	return emitter.hasEffect ? emitter.effect.filename : nullptr;
}

bool emitterNeedsRebuild(const SZeSceneEmitter& a, const SZeSceneEmitter& b)
{
	const ZF_Node* const* ka = a.keys;
	const ZF_Node* const* kb = b.keys;
	return a.type != b.type || zeSceneInt(ka[EZEK_NOZZLE]) != zeSceneInt(kb[EZEK_NOZZLE]) ||
		!sameText(zeSceneText(ka[EZEK_CLIP_FILENAME]), zeSceneText(kb[EZEK_CLIP_FILENAME])) ||
		!sameText(a.name, b.name) || !sameVector(ka[EZEK_GENERATOR_SIZE], kb[EZEK_GENERATOR_SIZE]) ||
		a.hasEffect != b.hasEffect || !sameText(effectFile(a), effectFile(b));
}

// The values the emitter settings take at key 0.
bool emitterSettingsDiffer(const SZeSceneEmitter& a, const SZeSceneEmitter& b)
{
	const ZF_Node* const* ka = a.keys;
	const ZF_Node* const* kb = b.keys;
	if (a.selectionMask != b.selectionMask)
		return true;
	for (int k : {EZEK_PARTICLE_LIMIT, EZEK_CLIP_ALPHA, EZEK_CLIP_FLAGS})
		if (zeSceneInt(ka[k]) != zeSceneInt(kb[k]))
			return true;
	for (int k : {EZEK_PARTICLE_SIZE, EZEK_LIFE_TIME, EZEK_LIFE_TIME_PM, EZEK_EXPLOSION, EZEK_CLIP_ROTATION})
		if (!sameFloat(ka[k], kb[k]))
			return true;
	return !sameVector(ka[EZEK_COLOR], kb[EZEK_COLOR]) ||
		!sameFloatList(ka[EZEK_GRADIENT_PARTICLE_SIZE], kb[EZEK_GRADIENT_PARTICLE_SIZE]) ||
		!sameFloatList(ka[EZEK_GRADIENT_COLOR], kb[EZEK_GRADIENT_COLOR]) ||
		zeSceneEffectRecordsDiffer(zeSceneEmitterEffect(a), zeSceneEmitterEffect(b));
}

void buildEmitter(const SZeSceneSlot& slot, int i)
{
	if (zeSceneBuildEmitter(slot, i) != 0)
		return;
	zeSceneApplyEmitterSettings(slot, i);
	if (slot.extraMode)
		zeLockFxEmitterOn(slot.firstFxEmitterId + i);
}

void reloadEmitters(const SZeSceneSlot& slot, const SZeSceneDesc* oldDesc)
{
	const SZeSceneDesc* d = slot.desc;
	bool rebuilt = oldDesc->emitterCount != d->emitterCount;
	if (rebuilt)
	{
		for (int i = 0; i < oldDesc->emitterCount; ++i)
			zeDeleteFxEmitter(slot.firstFxEmitterId + i);
		for (int i = 0; i < d->emitterCount; ++i)
			buildEmitter(slot, i);
	}
	else
		for (int i = 0; i < d->emitterCount; ++i)
		{
			const SZeSceneEmitter& a = oldDesc->emitters[static_cast<u32>(i)];
			const SZeSceneEmitter& b = d->emitters[static_cast<u32>(i)];
			if (emitterNeedsRebuild(a, b))
			{
				buildEmitter(slot, i);
				rebuilt = true;
			}
			else if (emitterSettingsDiffer(a, b))
				zeSceneApplyEmitterSettings(slot, i);
			if (zeFxEmitterExist(slot.firstFxEmitterId + i))
				zeFxResetEmitterEmittedCount(slot.firstFxEmitterId + i);
		}
	if (rebuilt)
		for (int i = 0; i < d->emitterCount; ++i)
			zeSceneSetEmitterParent(slot, i);
}

const char* postProcFile(const SZeScenePostProc& postProc)
{
	return postProc.hasEffect ? postProc.effect.filename : nullptr;
}

const char* postProcFlags(const SZeScenePostProc& postProc)
{
	return postProc.hasEffect ? postProc.effect.cflags : nullptr;
}

void reloadCameraShaders(SZeSceneSlot& slot, const SZeSceneDesc* oldDesc)
{
	const SZeSceneDesc* d = slot.desc;
	if (slot.extraMode)
		return;
	bool same = oldDesc->postProcCount == d->postProcCount;
	for (int i = 0; same && i < d->postProcCount; ++i)
		same = sameText(postProcFile(oldDesc->postProcs[static_cast<u32>(i)]), postProcFile(d->postProcs[static_cast<u32>(i)]));
	const int count = zeSceneCameraShaderCount(slot);
	if (!same)
	{
		const int oldCount = core::min_(oldDesc->postProcCount, ZE_SCENE_MAX_CAMERA_SHADERS);
		for (int i = 0; i < oldCount; ++i)
			zeDeleteCameraEffect(slot.firstCameraShaderId + i);
		for (int i = 0; i < count; ++i)
			if (zeSceneCompileCameraShader(slot, i) == 0)
				zeSceneApplyCameraShaderDesc(slot, i);
		return;
	}
	for (int i = 0; i < count; ++i)
	{
		const SZeScenePostProc& a = oldDesc->postProcs[static_cast<u32>(i)];
		const SZeScenePostProc& b = d->postProcs[static_cast<u32>(i)];
		if (!sameText(postProcFlags(a), postProcFlags(b)))
		{
			if (zeSceneCompileCameraShader(slot, i) == 0)
				zeSceneApplyCameraShaderDesc(slot, i);
		}
		else if (zeSceneEffectRecordsDiffer(zeScenePostProcEffect(a), zeScenePostProcEffect(b)) &&
			zeCameraEffectExist(slot.firstCameraShaderId + i))
			zeSceneApplyCameraShaderDesc(slot, i);
	}
}
} // namespace

int zeBuildScene(const char* path, int sceneId)
{
	SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	if (!slot)
		return -1;
	if (slot->loading)
	{
		zeSetError(2, "Scene ID %d is loading: it cannot be reloaded before its load ends", sceneId);
		return -1;
	}
	slot->reloaded = 1;
	SZeSceneDesc* newDesc = zeSceneDescLoad(path);
	if (!newDesc)
		return -1;
	// A text scene cut short is a file caught while it is written: the scene
	// stays as it is until the whole file comes.
	const int unclosed = ZF_GetUnclosed(newDesc->document);
	if (unclosed > 0)
	{
		zeLog(EZELL_WARN, "zeBuildScene: '%s' is not complete (%d group(s) or array left open), the scene is kept",
			path, unclosed);
		zeSceneDescFree(newDesc);
		return -1;
	}
	SZeSceneDesc* oldDesc = slot->desc;
	slot->desc = newDesc;
	slot->frameStart = newDesc->frameStart;
	if (!slot->extraMode)
		zeSceneApplyRenderSettings(*slot);
	{
		ze::CMaterialExtSweepBatch batch;
		const bool cubeMapsMade = reloadCubeMaps(*slot, oldDesc);
		std::vector<bool> rebuilt;
		reloadObjects(*slot, oldDesc, rebuilt);
		reloadRenderer(*slot, sceneId, oldDesc);
		for (int i = 0; i < newDesc->objectCount; ++i)
			if (rebuilt[static_cast<size_t>(i)] || surfaceEffectsDiffer(oldDesc, newDesc, i))
				zeSceneApplyObjectSurfaces(*slot, i);
		reloadLights(*slot, oldDesc);
		zeSceneReportRefusedLightValues(*slot);
		reloadEmitters(*slot, oldDesc);
		reloadCameraShaders(*slot, oldDesc);
		zeSceneDescFree(oldDesc);
		const bool animated = static_cast<long long>(newDesc->frameEnd) - newDesc->frameStart > 2;
		if (cubeMapsMade || animated)
			zeSceneCaptureOverAnimation(sceneId, animated);
	}
	return 0;
}
