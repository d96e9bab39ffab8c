// Cube maps captured from a scene, and the preparation before a scene is
// first drawn.
#include "api/ZeScenePrivate.h"

#include "api/ZeFxEmitterApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeSceneCalls.h"

using namespace irr;

namespace
{
// The limit of a volumetric light released after a capture.
const f32 NO_VOLUMETRIC_LIMIT = 1000000.0f;

bool isVolumetric(const SZeSceneLight& light)
{
	return (light.flags & 32) != 0;
}

void setObjectsVisible(const SZeSceneSlot& slot, const core::array<s32>& objects, bool visible)
{
	for (u32 i = 0; i < objects.size(); ++i)
	{
		const int id = slot.firstObjectId + objects[i];
		if (zeObjectExist(id))
			visible ? zeShowObject(id) : zeHideObject(id);
	}
}

// Captures cube map c at the key of a time, with the objects and the
// volumetric lights its capture asks for, then shows every object and puts
// the lights back.
void capture(const SZeSceneSlot& slot, int c, int timeMs)
{
	const SZeSceneDesc* d = slot.desc;
	const SZeSceneCubeMap& cubeMap = d->cubeMaps[static_cast<u32>(c)];
	SZeSceneCalls& calls = zeSceneCalls();
	const f32 key = zeSceneKeyIndex(d, timeMs);
	const core::vector3df position = zeSceneVectorAt(cubeMap.position, key) + zeSceneVectorAt(cubeMap.cameraOffset, key);

	if (!cubeMap.showSet.empty())
	{
		for (int i = 0; i < d->objectCount; ++i)
			if (zeObjectExist(slot.firstObjectId + i))
				zeHideObject(slot.firstObjectId + i);
		setObjectsVisible(slot, cubeMap.showSet, true);
	}
	setObjectsVisible(slot, cubeMap.hideSet, false);
	if (cubeMap.hideObject && cubeMap.ownObject >= 0 && zeObjectExist(slot.firstObjectId + cubeMap.ownObject))
		zeHideObject(slot.firstObjectId + cubeMap.ownObject);
	std::vector<int> switched;
	for (int i = 0; i < d->lightCount; ++i)
	{
		const SZeSceneLight& light = d->lights[static_cast<u32>(i)];
		const int id = slot.firstLightId + i;
		if (!isVolumetric(light) || !zeLightExist(id))
			continue;
		if (cubeMap.showVolumetric == 0 || (cubeMap.showVolumetric == 1 && light.type != 1))
		{
			calls.setLightVolumetric(id, 0);
			switched.push_back(id);
		}
		if (cubeMap.clampVolumetric)
			calls.setLightVolumetricLimit(id, 1, cubeMap.clampVolumetricMax);
	}

	calls.renderCubeMap(slot.firstCubeMapId + c, position.X, position.Y, position.Z);

	for (int i = 0; i < d->objectCount; ++i)
		if (zeObjectExist(slot.firstObjectId + i))
			zeShowObject(slot.firstObjectId + i);
	for (int id : switched)
		calls.setLightVolumetric(id, 1);
	if (cubeMap.clampVolumetric)
		for (int i = 0; i < d->lightCount; ++i)
			if (isVolumetric(d->lights[static_cast<u32>(i)]) && zeLightExist(slot.firstLightId + i))
				calls.setLightVolumetricLimit(slot.firstLightId + i, 0, NO_VOLUMETRIC_LIMIT);
}

void setEmittersVisible(const SZeSceneSlot& slot, bool visible)
{
	for (int i = 0; i < slot.desc->emitterCount; ++i)
		if (zeFxEmitterExist(slot.firstFxEmitterId + i))
			visible ? zeShowFxEmitter(slot.firstFxEmitterId + i) : zeHideFxEmitter(slot.firstFxEmitterId + i);
}
} // namespace

void zeSceneCaptureOverAnimation(int sceneId, bool force)
{
	SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	if (!slot || slot->desc->cubeMapCount <= 0)
		return;
	const SZeSceneDesc* d = slot->desc;
	SZeSceneCalls& calls = zeSceneCalls();
	for (int c = 0; c < d->cubeMapCount; ++c)
		if (calls.cubeMapExist(slot->firstCubeMapId + c))
			calls.cubeMapUpdate(slot->firstCubeMapId + c);
	setEmittersVisible(*slot, false);
	const int lastTime = slot->lastAnimTime == ZE_SCENE_NEVER_ANIMATED ? 0 : slot->lastAnimTime;
	bool animated = false;
	int animatedTime = 0;
	// Twice, so that cube maps see each other's first capture.
	for (int pass = 0; pass < 2; ++pass)
		for (int c = 0; c < d->cubeMapCount; ++c)
		{
			const int id = slot->firstCubeMapId + c;
			if (!calls.cubeMapExist(id) || (!force && calls.cubeMapIsRendered(id)))
				continue;
			const int time = zeSceneCubeMapCaptureTime(d, d->cubeMaps[static_cast<u32>(c)]);
			if (!animated || time != animatedTime)
			{
				zeAnimateScene(sceneId, time);
				animated = true;
				animatedTime = time;
			}
			capture(*slot, c, time);
		}
	setEmittersVisible(*slot, true);
	zeAnimateScene(sceneId, lastTime);
}

void zePrepareSceneRender(int sceneId)
{
	SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	if (!slot)
		return;
	zeShowScene(sceneId);
	zeAnimateScene(sceneId, 0);
	zeSceneCalls().renderDummyFrame();
	zeSceneCaptureOverAnimation(sceneId, true);
	zeHideScene(sceneId);
	zeResetProcessingEnables(slot->cache);
}

void zeRenderSceneCubeMaps(int sceneId, int timeMs)
{
	SZeSceneSlot* slot = zeFindSceneSlot(sceneId);
	if (!slot)
		return;
	for (int c = 0; c < slot->desc->cubeMapCount; ++c)
		if (slot->desc->cubeMaps[static_cast<u32>(c)].renderType == 1 &&
			zeSceneCalls().cubeMapExist(slot->firstCubeMapId + c))
			capture(*slot, c, timeMs);
}
