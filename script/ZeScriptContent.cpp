// The script functions of objects and their surfaces, lights, camera effects,
// effects, FxEmitters, music and scenes.
#include "script/ZeScriptBinding.h"
#include "script/ZeScriptTables.h"

#include "api/ZeCameraEffectApi.h"
#include "api/ZeEffectApi.h"
#include "api/ZeFxEmitterApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeMusic.h"
#include "api/ZeObjectApi.h"
#include "api/ZeObjectSurfaceApi.h"
#include "api/ZeScene.h"
#include "frame/ZeLog.h"

#include <algorithm>

using namespace zescript;

namespace
{
// ---- Objects ------------------------------------------------------------------------------
// The most morphs a script hands over at once.
const int MAX_SCRIPT_MORPHS = 60;

// SetObjectMorph(id, indices, weights), read from the first argument on.
int setObjectMorph(lua_State* L)
{
	checkSetup(L);
	const int id = checkInteger(L, 1);
	int indices[MAX_SCRIPT_MORPHS];
	int count = MAX_SCRIPT_MORPHS;
	readIntegerArray(L, 2, indices, &count);
	float weights[MAX_SCRIPT_MORPHS];
	int weightCount = MAX_SCRIPT_MORPHS;
	readNumberArray(L, 3, weights, &weightCount);
	if (count != weightCount)
	{
		lua_pushfstring(L, "the number of morphs(%d) is not equals to the number of weights(%d)", count, weightCount);
		luaL_argerror(L, 3, lua_tostring(L, -1));
	}
	zeSetObjectMorph(id, count, indices, weights);
	raisePendingError(L);
	return 0;
}

// GhostObjectOn(id) only checks that the object exists.
int ghostObjectOn(lua_State* L)
{
	checkSetup(L);
	zeCheckObject(checkInteger(L, 1));
	raisePendingError(L);
	return 0;
}

// SetAlphaMappingOn(id, value): the value is read and not used.
int setAlphaMappingOn(lua_State* L)
{
	checkSetup(L);
	checkNumber(L, 2);
	zeCheckObject(checkInteger(L, 1));
	raisePendingError(L);
	return 0;
}

// The rotation order of objects and lights stays as it is; the ID is read
// and not tested.
int rotationOrder(lua_State* L)
{
	checkSetup(L);
	checkInteger(L, 1);
	return 0;
}

// ---- Object surfaces ----------------------------------------------------------------------
// Set...(object, surface, parameter name, values...): the name is checked
// before every other argument, then the values from the last one back.
template <auto Fn, typename... Values>
int surfaceParam(lua_State* L)
{
	checkSetup(L);
	const int channel = zeFindSurfaceParam(checkString(L, 3));
	if (channel < 0)
		luaL_argerror(L, 3, "the parameter does not exist");
	Args<Values...> values;
	readLastToFirst<Values...>(L, values, 4, std::index_sequence_for<Values...>());
	const int surface = checkInteger(L, 2);
	const int object = checkInteger(L, 1);
	return callAndAnswer<Fn, None>(L, std::tuple_cat(std::make_tuple(object, surface, channel), values));
}

// ---- Effects ------------------------------------------------------------------------------
// The most values of one SetEffectConstantFloatN.
const int MAX_SCRIPT_FLOATS = 16;

// SetEffectConstantFloatN(id, name, values...): each value taken as a number
// without a check (anything else is 0).
int setEffectConstantFloatN(lua_State* L)
{
	checkSetup(L);
	const int count = std::max(0, lua_gettop(L) - 2);
	if (count > MAX_SCRIPT_FLOATS)
		luaL_argerror(L, -1, "too much floats parameters");
	float values[MAX_SCRIPT_FLOATS];
	for (int i = count - 1; i >= 0; --i)
		values[i] = static_cast<float>(lua_tonumberx(L, 3 + i, nullptr));
	const char* name = checkString(L, 2);
	const int id = checkInteger(L, 1);
	zeSetEffectConstantFloatN(id, name, values, count);
	raisePendingError(L);
	return 0;
}

// ---- Scenes -------------------------------------------------------------------------------
// LoadScene(file, scene, object, light, emitter, cube map, camera effect,
// renderer, effect, instance objects, sharing group), read from the first
// argument on; replaces what the scene ID holds, unless that scene is still
// loading (a load callback replacing its own scene).
int loadScene(lua_State* L)
{
	checkSetup(L);
	const char* file = checkString(L, 1);
	int ids[8];
	for (int i = 0; i < 8; ++i)
		ids[i] = checkInteger(L, 2 + i);
	const int instanceObjects = checkBoolean(L, 10);
	const char* shareGroup = checkString(L, 11);
	if (zeSceneLoading(ids[0]))
	{
		lua_pushfstring(L, "Scene ID %d is loading: it cannot be replaced before its load ends", ids[0]);
		return luaL_argerror(L, 2, lua_tostring(L, -1));
	}
	if (zeSceneExist(ids[0]))
		zeDeleteScene(ids[0]);
	if (zeLoadScene(file, ids[0], ids[1], ids[2], ids[3], ids[4], ids[5], ids[6], ids[7], instanceObjects, shareGroup,
			0) != 0)
	{
		// The loader's own reason stays behind this error.
		zeClearError();
		return luaL_error(L, "Failed to load scene '%s'", file);
	}
	raisePendingError(L);
	return 0;
}

// ---- The table ----------------------------------------------------------------------------
const luaL_Reg FUNCTIONS[] = {
	// Objects.
	{"LoadObject", replace<zeObjectExist, zeDeleteObject, 2, zeLoadObject, Str, Int>},
	{"InstanceObject", replace<zeObjectExist, zeDeleteObject, 1, zeInstanceObject, Int, Int>},
	{"CloneObject", replace<zeObjectExist, zeDeleteObject, 1, zeCloneObject, Int, Int>},
	{"ObjectExist", forward<zeObjectExist, RBool, Int>},
	{"ObjectVisible", forward<zeObjectVisible, RBool, Int>},
	{"ShowObject", forward<zeShowObject, None, Int>},
	{"HideObject", forward<zeHideObject, None, Int>},
	{"DeleteObject", forward<zeDeleteObject, None, Int>},
	{"PositionObject", forward<zePositionObject, None, Int, Num, Num, Num>},
	{"RotateObject", forward<zeRotateObject, None, Int, Num, Num, Num>},
	{"ScaleObject", forward<zeScaleObject, None, Int, Num, Num, Num>},
	{"TotalObjectFrames", forward<zeTotalObjectFrames, RInt, Int>},
	{"SetObjectFrame", forward<zeSetObjectFrame, None, Int, Num>},
	{"LockObjectOn", forward<zeLockObjectOn, None, Int>},
	{"LockObjectOff", forward<zeLockObjectOff, None, Int>},
	{"GetObjectRadius", forward<zeGetObjectRadius, RNum, Int>},
	{"SetObjectMorph", setObjectMorph},
	{"GetObjectMorphCount", forward<zeGetObjectMorphCount, RInt, Int>},
	{"GhostObjectOn", ghostObjectOn},
	{"SetAlphaMappingOn", setAlphaMappingOn},
	{"SetObjectRotationXYZ", rotationOrder},
	{"SetObjectRotationZYX", rotationOrder},
	{"SetObjectSurfaces", notImplemented},
	// Object surfaces.
	{"SetObjectSurfaceParamTex", surfaceParam<zeSetObjectSurfaceParamTex, Str>},
	{"SetObjectSurfaceParamTexImg", surfaceParam<zeSetObjectSurfaceParamTexImg, Int>},
	{"SetObjectSurfaceParamInt", surfaceParam<zeSetObjectSurfaceParamInt, Int>},
	{"SetObjectSurfaceParamFloat", surfaceParam<zeSetObjectSurfaceParamFloat, Num>},
	{"SetObjectSurfaceParamFloat3", surfaceParam<zeSetObjectSurfaceParamFloat3, Num, Num, Num>},
	{"SetObjectSurfaceEffect", forward<zeSetObjectSurfaceEffect, None, Int, Int, Int>},
	{"SetObjectSurfaceEffectTechnique", forward<zeSetObjectSurfaceEffectTechnique, None, Int, Int, Int>},
	{"UpdateObjectFromSurfaces", forward<zeUpdateObjectFromSurfaces, None, Int>},
	// Lights.
	{"MakeLight", forward<zeMakeLight, None, Int>},
	{"SetDirectionalLight", forward<zeSetDirectionalLight, None, Int, Num, Num, Num>},
	{"SetSpotLight", forward<zeSetSpotLight, None, Int, Num, Num>},
	{"SetPointLight", forward<zeSetPointLight, None, Int, Num, Num, Num>},
	{"LightExist", forward<zeLightExist, RBool, Int>},
	{"LightVisible", forward<zeLightVisible, RBool, Int>},
	{"SetLightRange", forward<zeSetLightRange, None, Int, Num>},
	{"ColorLight", forward<zeColorLight, None, Int, Colour>},
	{"SetLightRawColor", forward<zeSetLightRawColor, None, Int, Num, Num, Num>},
	{"SetLightIntensity", forward<zeSetLightIntensity, None, Int, Num>},
	{"ShowLight", forward<zeShowLight, None, Int>},
	{"HideLight", forward<zeHideLight, None, Int>},
	{"DeleteLight", forward<zeDeleteLight, None, Int>},
	{"PositionLight", forward<zePositionLight, None, Int, Num, Num, Num>},
	{"RotateLight", forward<zeRotateLight, None, Int, Num, Num, Num>},
	{"ColorAmbientLight", forward<zeColorAmbientLight, None, Colour>},
	{"ColorBackdrop", forward<zeColorBackdrop, None, Colour>},
	{"SetLightShadow", forward<zeSetLightShadow, None, Int, Bool>},
	{"ColorLightShadow", forward<zeColorLightShadow, None, Int, Colour>},
	{"SetShadowMapSize", forward<zeSetShadowMapSize, None, Int, Int>},
	{"SetShadowMapFuzz", forward<zeSetShadowMapFuzz, None, Int, Num>},
	{"SetLightRotationXYZ", rotationOrder},
	{"SetLightRotationZYX", rotationOrder},
	// Camera effects.
	{"MakeCameraEffect", replace<zeCameraEffectExist, zeDeleteCameraEffect, 1, zeMakeCameraEffect, Int, Int>},
	{"MakeCameraEffectFromFile",
		replace<zeCameraEffectExist, zeDeleteCameraEffect, 1, zeMakeCameraEffectFromFile, Int, Str>},
	{"CameraEffectExist", forward<zeCameraEffectExist, RBool, Int>},
	{"DeleteCameraEffect", forward<zeDeleteCameraEffect, None, Int>},
	{"ShowCameraEffect", forward<zeShowCameraEffect, None, Int>},
	{"HideCameraEffect", forward<zeHideCameraEffect, None, Int>},
	{"SetCameraEffectPriority", forward<zeSetCameraEffectPriority, None, Int, Int>},
	{"SetCameraEffectParameters", notImplemented},
	// Effects.
	{"LoadEffect", replace<zeEffectExist, zeDeleteEffect, 2, zeLoadEffect, Str, Int>},
	{"LoadEffectForObjectSurface",
		replace<zeEffectExist, zeDeleteEffect, 2, zeLoadEffectForObjectSurface, Str, Int, Int, Int>},
	{"LoadEffectForFxEmitter", replace<zeEffectExist, zeDeleteEffect, 2, zeLoadEffectForFxEmitter, Str, Int, Int>},
	{"EffectExist", forward<zeEffectExist, RBool, Int>},
	{"DeleteEffect", forward<zeDeleteEffect, None, Int>},
	{"SetEffectConstantBoolean", forward<zeSetEffectConstantBoolean, None, Int, Str, Bool>},
	{"SetEffectConstantInteger", forward<zeSetEffectConstantInteger, None, Int, Str, Int>},
	{"SetEffectConstantFloat", forward<zeSetEffectConstantFloat, None, Int, Str, Num>},
	{"SetEffectConstantFloatN", setEffectConstantFloatN},
	{"SetEffectTexture", forward<zeSetEffectTexture, None, Int, Str, Str>},
	{"SetEffectTextureImage", forward<zeSetEffectTextureImage, None, Int, Str, Int>},
	// FxEmitters.
	{"MakeFxEmitterBox", replace<zeFxEmitterExist, zeDeleteFxEmitter, 1, zeMakeFxEmitterBox, Int, Str, Num, Num, Num>},
	{"MakeFxEmitterSphere",
		replace<zeFxEmitterExist, zeDeleteFxEmitter, 1, zeMakeFxEmitterSphere, Int, Str, Num, Num, Num>},
	{"MakeFxEmitterMeshStatic", replace<zeFxEmitterExist, zeDeleteFxEmitter, 1, zeMakeFxEmitterMeshStatic, Int, Str, Int>},
	{"MakeFxEmitterMeshVertices",
		replace<zeFxEmitterExist, zeDeleteFxEmitter, 1, zeMakeFxEmitterMeshVertices, Int, Str, Int>},
	{"MakeFxEmitterMeshNormal", replace<zeFxEmitterExist, zeDeleteFxEmitter, 1, zeMakeFxEmitterMeshNormal, Int, Str, Int>},
	{"FxEmitterExist", forward<zeFxEmitterExist, RBool, Int>},
	{"ShowFxEmitter", forward<zeShowFxEmitter, None, Int>},
	{"HideFxEmitter", forward<zeHideFxEmitter, None, Int>},
	{"DeleteFxEmitter", forward<zeDeleteFxEmitter, None, Int>},
	{"PositionFxEmitter", forward<zePositionFxEmitter, None, Int, Num, Num, Num>},
	{"RotateFxEmitter", forward<zeRotateFxEmitter, None, Int, Num, Num, Num>},
	{"LockFxEmitterOn", forward<zeLockFxEmitterOn, None, Int>},
	{"LockFxEmitterOff", forward<zeLockFxEmitterOff, None, Int>},
	{"SetFxEmitterParticleSize", forward<zeSetFxEmitterParticleSize, None, Int, Num>},
	{"SetFxEmitterVelocity", forward<zeSetFxEmitterVelocity, None, Int, Num, Num, Num>},
	{"SetFxEmitterGravity", forward<zeSetFxEmitterGravity, None, Int, Num, Num, Num>},
	{"SetFxEmitterParentMotion", forward<zeSetFxEmitterParentMotion, None, Int, Num>},
	{"SetFxEmitterBirthRate", forward<zeSetFxEmitterBirthRate, None, Int, Num>},
	{"SetFxEmitterExplosion", forward<zeSetFxEmitterExplosion, None, Int, Num>},
	{"SetFxEmitterWeight", forward<zeSetFxEmitterWeight, None, Int, Num>},
	{"SetFxEmitterResistance", forward<zeSetFxEmitterResistance, None, Int, Num>},
	{"SetFxEmitterVibration", forward<zeSetFxEmitterVibration, None, Int, Num>},
	{"SetFxEmitterRotation", forward<zeSetFxEmitterRotation, None, Int, Num>},
	{"SetFxEmitterLifeTime", forward<zeSetFxEmitterLifeTime, None, Int, Num, NumOrZero>},
	{"SetFxEmitterParticleLimit", forward<zeSetFxEmitterParticleLimit, None, Int, Int>},
	{"SetFxEmitterBlendMode", forward<zeSetFxEmitterBlendMode, None, Int, Int>},
	{"SetFxEmitterColor", forward<zeSetFxEmitterColor, None, Int, Colour>},
	{"SetFxEmitterUseImageColor", forward<zeSetFxEmitterUseImageColor, None, Int>},
	{"SetFxEmitterEffect", forward<zeSetFxEmitterEffect, None, Int, Int>},
	{"SetFxEmitterEffectFromFile", forward<zeSetFxEmitterEffectFromFile, None, Int, Str>},
	{"SetFxEmitterDefaultEffect", forward<zeSetFxEmitterDefaultEffect, None, Int>},
	{"SetFxEmitterEffectTechnique", forward<zeSetFxEmitterEffectTechnique, None, Int, Int>},
	{"FxResetEmitter", forward<zeFxResetEmitter, None, Int>},
	{"FxResetEmitterEmittedCount", forward<zeFxResetEmitterEmittedCount, None, Int>},
	{"SetFxEmitterSizeGradient", notImplemented},
	{"SetFxEmitterColorGradient", notImplemented},
	{"SetFxEmitterEffectParameters", notImplemented},
	// Music.
	{"LoadMusic", replace<zeMusicExist, zeDeleteMusic, 2, zeLoadMusic, Str, Int>},
	{"MusicExist", forward<zeMusicExist, RBool, Int>},
	{"DeleteMusic", forward<zeDeleteMusic, None, Int>},
	{"PlayMusic", forward<zePlayMusic, None, Int>},
	{"StopMusic", forward<zeStopMusic, None, Int>},
	{"PauseMusic", forward<zePauseMusic, None, Int>},
	{"ResumeMusic", forward<zeResumeMusic, None, Int>},
	{"SetMusicPosition", forward<zeSetMusicPosition, None, Int, Int>},
	{"GetMusicPosition", forward<zeGetMusicPosition, RInt, Int>},
	{"SetMusicVolume", forward<zeSetMusicVolume, None, Int, Int>},
	{"MusicVolume", forward<zeMusicVolume, RInt, Int>},
	// Scenes.
	{"LoadScene", loadScene},
	{"SetLoadSceneCallback", setLoadSceneCallback},
	{"SceneExist", forward<zeSceneExist, RBool, Int>},
	{"DeleteScene", forward<zeDeleteScene, None, Int>},
	{"ShowScene", forward<zeShowScene, None, Int>},
	{"HideScene", forward<zeHideScene, None, Int>},
	{"SceneTotalObjects", forward<zeSceneTotalObjects, RInt, Int>},
	{"SceneTotalLights", forward<zeSceneTotalLights, RInt, Int>},
	{"SceneTotalFxEmitters", forward<zeSceneTotalFxEmitters, RInt, Int>},
	{"SceneTotalCubeMaps", forward<zeSceneTotalCubeMaps, RInt, Int>},
	{"SceneTotalCameraShaders", forward<zeSceneTotalCameraShaders, RInt, Int>},
	{"SceneTotalEffects", forward<zeSceneTotalEffects, RInt, Int>},
	{"AnimateScene", forward<zeAnimateScene, None, Int, Int>},
	{"AnimateSceneObject", forward<zeAnimateSceneObject, None, Int, Int, Int>},
	{"AnimateSceneProcessing", forward<zeAnimateSceneProcessing, None, Int, Int>},
	{"AnimateSceneCameraShaders", forward<zeAnimateSceneCameraShaders, None, Int, Int>},
	{"SceneAnimTimeEnd", forward<zeSceneAnimTimeEnd, RInt, Int>},
	{"SceneFps", forward<zeSceneFps, RInt, Int>},
	{"SceneFrameStart", forward<zeSceneFrameStart, RInt, Int>},
	{"PrepareSceneRender", forward<zePrepareSceneRender, None, Int>},
	{nullptr, nullptr},
};
} // namespace

const luaL_Reg* zeScriptContentFunctions()
{
	return FUNCTIONS;
}
