// What the scene files of the engine API share: the slots, and the builders
// that loading and reloading in place both use.
#pragma once

#include "api/ZeScene.h"
#include "scene/ZeSceneDesc.h"
#include "scene/ZeShaderDesc.h"

#include <irrlicht.h>

#include <climits>
#include <string>
#include <vector>

// The time of the last animation before the first one.
const int ZE_SCENE_NEVER_ANIMATED = INT_MIN;
// Degrees of a radian, as the engine API takes angles.
const float ZE_SCENE_DEGREES = 57.295776f;

// The last values the processing step handed over; -1 (and 0) make the next
// animation hand everything over again.
struct SZeProcessingCache
{
	int glow;
	int streak;
	int dof;
	int advancedDof;
	int bloom;
	int ssao;
	int shadows;
	int antialias[6];
	float antialiasFloat;
};

struct SZeSceneSlot
{
	int inUse;
	int extraMode;
	int firstObjectId;
	int firstLightId;
	int firstFxEmitterId;
	int firstCubeMapId;
	int firstCameraShaderId;
	int rendererId;
	int firstEffectId;
	SZeSceneDesc* desc;
	std::string shareGroup;
	int shaderShown[ZE_SCENE_MAX_CAMERA_SHADERS];
	SZeProcessingCache cache;
	int lastAnimTime;
	int frameStart;
	int reloaded;
	// 1 while the scene's command renderer holds the renderer ID.
	int madeRenderer;
	// 1 while zeLoadScene builds the scene: the slot is then neither deleted
	// nor reloaded (a progress callback would pull it out from under the load).
	int loading;
	// The scene camera's position at the last animation (extra mode places
	// objects relative to it).
	irr::core::vector3df cameraPosition;
};

// The slot of a scene ID in use, else null.
SZeSceneSlot* zeFindSceneSlot(int sceneId);
// The slot of an index 0 to 59, in use or not; null outside.
SZeSceneSlot* zeSceneSlotAt(int index);
// Whether the builders report items they cannot make.
bool zeSceneWarningsOn();
// The camera shaders a scene makes: its post processes, at most 20.
int zeSceneCameraShaderCount(const SZeSceneSlot& slot);

// Every switch handed over again at the next animation; the enables only.
void zeResetProcessingCache(SZeProcessingCache& cache);
void zeResetProcessingEnables(SZeProcessingCache& cache);

// ---- Builders (load and reload) ---------------------------------------------------------
// Cube map i, made again on its ID; reported when it cannot be made.
void zeSceneMakeCubeMap(const SZeSceneSlot& slot, int i);
// Object i on its ID: shared with an object of the same file in the sharing
// group when `search` (an instance with instanceObjects, else a clone), else
// loaded; its first cube map applied. 0, or -1 (reported with warnings on).
int zeSceneBuildObject(const SZeSceneSlot& slot, int i, bool search, int instanceObjects);
// Shadow casting, selection mask and vertex texture of object i.
void zeSceneApplyObjectSettings(const SZeSceneSlot& slot, int i);
// The surfaces of object i at key 0 with their effects compiled, and its
// materials rebuilt from them.
void zeSceneApplyObjectSurfaces(const SZeSceneSlot& slot, int i);
// Binds a cube-map use to object `id` (when its cube map exists) with its box at a key.
void zeSceneApplyCubeMapUse(const SZeSceneSlot& slot, int id, const SZeSceneCubeMapUse& use, float key);
// The surfaces of a mesh entry at a key, at most NOF_SURFACE_MAX; how many.
int zeSceneSurfacesAt(std::vector<SZeSurfaceDesc>& out, const SZeSceneMesh& mesh, float key);
// The groups of a light's keyed values that animation hands to the light API.
enum EZE_SCENE_LIGHT_VALUES
{
	EZLV_POSITION,
	EZLV_ROTATION,
	EZLV_COLOR,     // raw colour and intensity
	EZLV_CONE,      // inner and outer angles of a spot
	EZLV_RANGE,
	EZLV_DENSITY,   // volumetric density
	EZLV_BASE,      // volumetric base
	EZLV_COUNT
};
// A light's keyed values at a key as the light API takes them (angles in
// degrees; the range as zeSceneLightRangeAt gives it), and for each group
// whether the light setters take it. The cone of a light that is no spot and
// the volumetric values of one that is not volumetric are not read: 0, and
// not sound.
struct SZeSceneLightValues
{
	irr::core::vector3df position, rotation, rawColor;
	float intensity, inner, outer, range, density, base;
	bool sound[EZLV_COUNT];
};
void zeSceneLightValuesAt(SZeSceneLightValues& out, const SZeSceneLight& light, float key);
// Light i made again on its ID and built at key 0. Values the light API
// would refuse are left out, the new light keeping its own.
void zeSceneBuildLight(const SZeSceneSlot& slot, int i);
// Logs once, for each light of the scene and its shadow epsilon, a keyed value
// that the engine API would refuse at some key (building and animation leave
// such values out, so the light keeps the last value it took).
void zeSceneReportRefusedLightValues(const SZeSceneSlot& slot);
// Emitter i made on its ID: 0, or -1 (reported with warnings on).
int zeSceneBuildEmitter(const SZeSceneSlot& slot, int i);
// Its settings at key 0, its shader description compiled.
void zeSceneApplyEmitterSettings(const SZeSceneSlot& slot, int i);
// The parent of emitter i (nozzles 7, 8, 9).
void zeSceneSetEmitterParent(const SZeSceneSlot& slot, int i);
// Camera shader i compiled again on its ID (shown flag cleared): 0, or -1
// (logged at information level).
int zeSceneCompileCameraShader(SZeSceneSlot& slot, int i);
// Its shader description at key 0, with textures.
void zeSceneApplyCameraShaderDesc(const SZeSceneSlot& slot, int i);
// The render targets, effects and command renderer of the render commands;
// 0, or -1 (logged at warning level).
int zeSceneBuildRenderer(SZeSceneSlot& slot, int sceneId);
// Deletes the command renderer the scene made and the effects of the render
// commands of a description (the slot's, or the one a reload replaces).
void zeSceneDeleteRenderer(SZeSceneSlot& slot, const SZeSceneDesc* desc);

// ---- Showing and animation ------------------------------------------------------------------
// Backdrop, colour-space word and camera range of the scene.
void zeSceneApplyRenderSettings(const SZeSceneSlot& slot);
// Captures the cube maps over the animation: all of them when forced, else
// those not rendered; leaves the scene animated as it was.
void zeSceneCaptureOverAnimation(int sceneId, bool force);
