// Scene slots: loading, deleting and the queries.
#include "api/ZeScenePrivate.h"

#include "api/ZeApiItems.h"
#include "api/ZeCameraEffectApi.h"
#include "api/ZeCubeMapApi.h"
#include "api/ZeEffectApi.h"
#include "api/ZeFxEmitterApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeSceneCalls.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"

#include <cstdio>

namespace
{
SZeSceneSlot g_slots[ZE_SCENE_SLOTS];
ZeLoadSceneCallback g_callback = nullptr;
void* g_callbackUser = nullptr;
int g_warnings = 0;
int g_loadsRunning = 0;

// Counts a load as running for its whole call and marks the slot it builds
// as loading until it returns.
class CLoadMark
{
public:
	CLoadMark() { ++g_loadsRunning; }
	~CLoadMark()
	{
		--g_loadsRunning;
		if (Slot)
			Slot->loading = 0;
	}
	CLoadMark(const CLoadMark&) = delete;
	CLoadMark& operator=(const CLoadMark&) = delete;
	void mark(SZeSceneSlot& slot)
	{
		Slot = &slot;
		slot.loading = 1;
	}

private:
	SZeSceneSlot* Slot = nullptr;
};

// True when the callback asks to cancel.
bool cancelled(int percent)
{
	return g_callback && g_callback(percent, g_callbackUser) != 0;
}

// Reports the IDs of a range that hold items already (which the scene's
// builders then replace).
void reportInUse(int sceneId, EZE_ID_TABLE kind, const char* name, int first, int count)
{
	for (int i = 0; i < count; ++i)
		if (zePeekApiItem(kind, first + i))
			zeLog(EZELL_WARN, "Scene ID %d: %s ID %d is already in use", sceneId, name, first + i);
}

void reportOverlaps(int sceneId, const SZeSceneSlot& slot)
{
	const SZeSceneDesc* d = slot.desc;
	reportInUse(sceneId, EZEIT_CUBE_MAP, "cube map", slot.firstCubeMapId, d->cubeMapCount);
	reportInUse(sceneId, EZEIT_OBJECT, "object", slot.firstObjectId, d->objectCount);
	reportInUse(sceneId, EZEIT_FX_EMITTER, "FxEmitter", slot.firstFxEmitterId, d->emitterCount);
	if (slot.extraMode)
		return;
	reportInUse(sceneId, EZEIT_LIGHT, "light", slot.firstLightId, d->lightCount);
	reportInUse(sceneId, EZEIT_CAMERA_EFFECT, "camera shader", slot.firstCameraShaderId,
		zeSceneCameraShaderCount(slot));
	if (d->hasCommands)
	{
		reportInUse(sceneId, EZEIT_EFFECT, "effect", slot.firstEffectId, d->effectCount);
		reportInUse(sceneId, EZEIT_RENDERER, "renderer", slot.rendererId, 1);
	}
}

// Everything but the objects, built in the order loading builds them.
void buildAfterObjects(int sceneId, SZeSceneSlot& slot)
{
	const SZeSceneDesc* d = slot.desc;
	if (!slot.extraMode && d->hasCommands && zeSceneBuildRenderer(slot, sceneId) == 0)
		zeSceneCalls().useRenderer(slot.rendererId);
	for (int i = 0; i < d->objectCount; ++i)
		zeSceneApplyObjectSurfaces(slot, i);
	if (!slot.extraMode)
		for (int i = 0; i < d->lightCount; ++i)
			zeSceneBuildLight(slot, i);
	zeSceneReportRefusedLightValues(slot);
	for (int i = 0; i < d->emitterCount; ++i)
	{
		if (zeSceneBuildEmitter(slot, i) != 0)
			continue;
		zeSceneApplyEmitterSettings(slot, i);
		if (slot.extraMode)
			zeLockFxEmitterOn(slot.firstFxEmitterId + i);
	}
	for (int i = 0; i < d->emitterCount; ++i)
		zeSceneSetEmitterParent(slot, i);
}

// The camera shaders. What the builders reported so far was logged; the
// pending error left is a camera shader past the 20th.
void buildCameraShaders(SZeSceneSlot& slot)
{
	zeClearError();
	if (slot.extraMode)
		return;
	for (int i = 0; i < slot.desc->postProcCount; ++i)
	{
		if (i >= ZE_SCENE_MAX_CAMERA_SHADERS)
		{
			zeSetError(7, "Camera shader i=%d > max %d camera shaders", i, ZE_SCENE_MAX_CAMERA_SHADERS);
			continue;
		}
		if (zeSceneCompileCameraShader(slot, i) == 0)
			zeSceneApplyCameraShaderDesc(slot, i);
		zeClearError();
	}
}
} // namespace

SZeSceneSlot* zeFindSceneSlot(int sceneId)
{
	SZeSceneSlot* slot = zeSceneSlotAt(sceneId);
	return slot && slot->inUse ? slot : nullptr;
}

SZeSceneSlot* zeSceneSlotAt(int index)
{
	return index >= 0 && index < ZE_SCENE_SLOTS ? &g_slots[index] : nullptr;
}

bool zeSceneWarningsOn()
{
	return g_warnings != 0;
}

int zeSceneCameraShaderCount(const SZeSceneSlot& slot)
{
	const int count = slot.desc ? slot.desc->postProcCount : 0;
	return count < ZE_SCENE_MAX_CAMERA_SHADERS ? count : ZE_SCENE_MAX_CAMERA_SHADERS;
}

void zeResetProcessingCache(SZeProcessingCache& cache)
{
	zeResetProcessingEnables(cache);
	for (int& value : cache.antialias)
		value = -1;
	cache.antialiasFloat = 0.0f;
}

void zeResetProcessingEnables(SZeProcessingCache& cache)
{
	cache.glow = cache.streak = cache.dof = cache.advancedDof = cache.bloom = cache.ssao = cache.shadows = -1;
}

// ---- Loading and deleting -------------------------------------------------------------------
int zeLoadScene(const char* path, int sceneId, int firstObjectId, int firstLightId, int firstFxEmitterId,
	int firstCubeMapId, int firstCameraShaderId, int rendererId, int firstEffectId, int instanceObjects,
	const char* shareGroup, int extraMode)
{
	CLoadMark mark;
	if (cancelled(0))
		return 1;
	SZeSceneSlot* found = zeSceneSlotAt(sceneId);
	if (!found)
	{
		zeSetError(2, "Invalid Scene ID %d", sceneId);
		return -1;
	}
	SZeSceneSlot& slot = *found;
	if (slot.inUse)
	{
		zeSetError(2, "Scene ID %d is already in use", sceneId);
		return -1;
	}
	slot = SZeSceneSlot();
	slot.extraMode = extraMode;
	slot.firstObjectId = firstObjectId;
	slot.firstLightId = firstLightId;
	slot.firstFxEmitterId = firstFxEmitterId;
	slot.firstCubeMapId = firstCubeMapId;
	slot.firstCameraShaderId = firstCameraShaderId;
	slot.rendererId = rendererId;
	slot.firstEffectId = firstEffectId;
	slot.desc = zeSceneDescLoad(path);
	if (!slot.desc)
	{
		zeSetError(1, "Failed to load scene file '%s'", path ? path : "");
		return -1;
	}
	slot.shareGroup = shareGroup ? shareGroup : "";
	slot.inUse = 1;
	mark.mark(slot);
	zeResetProcessingCache(slot.cache);
	slot.lastAnimTime = ZE_SCENE_NEVER_ANIMATED;
	const SZeSceneDesc* d = slot.desc;
	if (d->cameraCount <= 0)
		zeLog(EZELL_WARN | EZELF_MESSAGE_BOX, "There is no camera in the scene");
	slot.frameStart = d->frameStart;
	reportOverlaps(sceneId, slot);
	zeDeleteApiItemsAtShutdown();

	for (int i = 0; i < d->cubeMapCount; ++i)
		zeSceneMakeCubeMap(slot, i);
	for (int i = 0; i < d->objectCount; ++i)
	{
		if (cancelled(i * 100 / d->objectCount))
		{
			zeClearError();
			return 1;
		}
		if (zeSceneBuildObject(slot, i, true, instanceObjects) != 0)
			continue;
		const int id = firstObjectId + i;
		zeSceneApplyObjectSettings(slot, i);
		if (extraMode)
			zeLockObjectOn(id);
		zeHideObject(id);
	}
	buildAfterObjects(sceneId, slot);
	buildCameraShaders(slot);
	zeHideScene(sceneId);
	return 0;
}

void zeDeleteScene(int sceneId)
{
	SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	if (!slot)
		return;
	if (slot->loading)
	{
		zeSetError(1, "Scene ID %d is loading: it cannot be deleted before its load ends", sceneId);
		return;
	}
	const SZeSceneDesc* d = slot->desc;
	ze::CMaterialExtSweepBatch batch;
	for (int i = 0; i < d->cubeMapCount; ++i)
		zeDeleteCubeMap(slot->firstCubeMapId + i);
	for (int i = 0; i < d->objectCount; ++i)
		zeDeleteObject(slot->firstObjectId + i);
	if (!slot->extraMode)
		for (int i = 0; i < d->lightCount; ++i)
			zeDeleteLight(slot->firstLightId + i);
	for (int i = 0; i < d->emitterCount; ++i)
		zeDeleteFxEmitter(slot->firstFxEmitterId + i);
	if (!slot->extraMode)
	{
		for (int i = 0; i < zeSceneCameraShaderCount(*slot); ++i)
			zeDeleteCameraEffect(slot->firstCameraShaderId + i);
		if (d->hasCommands)
			zeSceneDeleteRenderer(*slot, d);
	}
	zeSceneDescFree(slot->desc);
	*slot = SZeSceneSlot();
}

void zeDeleteAllScenes()
{
	for (int i = 0; i < ZE_SCENE_SLOTS; ++i)
		zeDeleteScene(i);
}

int zeSceneExist(int sceneId)
{
	return zeFindSceneSlot(sceneId) ? 1 : 0;
}

int zeSceneLoading(int sceneId)
{
	const SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	return slot && slot->loading ? 1 : 0;
}

int zeSceneLoadsRunning()
{
	return g_loadsRunning;
}

void zeSetLoadSceneCallback(ZeLoadSceneCallback callback, void* user)
{
	g_callback = callback;
	g_callbackUser = callback ? user : nullptr;
}

void zeSetSceneLoadWarnings(int flag)
{
	g_warnings = flag;
}

// ---- Queries --------------------------------------------------------------------------------
namespace
{
// A count of a loaded scene's description, -1 for an invalid or free ID.
template <typename Count>
int count(int sceneId, Count read)
{
	const SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	return slot ? read(*slot->desc) : -1;
}

const SZeSceneDesc* sceneDesc(int sceneId)
{
	const SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	return slot ? slot->desc : nullptr;
}
} // namespace

int zeSceneTotalObjects(int sceneId)
{
	return count(sceneId, [](const SZeSceneDesc& d) { return d.objectCount; });
}

int zeSceneTotalLights(int sceneId)
{
	return count(sceneId, [](const SZeSceneDesc& d) { return d.lightCount; });
}

int zeSceneTotalFxEmitters(int sceneId)
{
	return count(sceneId, [](const SZeSceneDesc& d) { return d.emitterCount; });
}

int zeSceneTotalCubeMaps(int sceneId)
{
	return count(sceneId, [](const SZeSceneDesc& d) { return d.cubeMapCount; });
}

int zeSceneTotalCameraShaders(int sceneId)
{
	return count(sceneId, [](const SZeSceneDesc& d) { return d.postProcCount; });
}

int zeSceneTotalEffects(int sceneId)
{
	return count(sceneId, [](const SZeSceneDesc& d) { return d.hasCommands ? d.effectCount : 0; });
}

int zeSceneHasRenderer(int sceneId)
{
	const SZeSceneDesc* d = sceneDesc(sceneId);
	return d && d->hasCommands ? 1 : 0;
}

int zeSceneFrameStart(int sceneId)
{
	const SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	return slot ? slot->frameStart : 0;
}

int zeSceneFps(int sceneId)
{
	const SZeSceneDesc* d = sceneDesc(sceneId);
	return d ? zeSceneTruncate(d->framesPerSecond) : 0;
}

int zeSceneAnimTimeEnd(int sceneId)
{
	const SZeSceneDesc* d = sceneDesc(sceneId);
	const int fps = zeSceneFps(sceneId);
	if (!d || fps == 0)
		return 0;
	const long long frames = static_cast<long long>(d->frameEnd) - d->frameStart;
	const long long end = frames * 1000 / fps;
	return end > INT_MAX ? INT_MAX : end < INT_MIN ? INT_MIN : static_cast<int>(end);
}

const char* zeGetSceneAudio(int sceneId)
{
	const SZeSceneDesc* d = sceneDesc(sceneId);
	const char* audio = d ? zeSceneText(d->loadAudio) : nullptr;
	return audio && *audio ? audio : nullptr;
}

int zeGetSceneAudioOffset(int sceneId)
{
	const SZeSceneDesc* d = sceneDesc(sceneId);
	if (!d)
		return 0;
	const float start = zeSceneFrameSeconds(d, static_cast<float>(d->frameStart));
	return zeSceneTruncate((start - zeSceneFloat(d->audioStartTime)) * 1000.0f);
}
