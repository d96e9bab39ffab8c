#include "api/ZeSceneCalls.h"

#include "api/ZeCameraEffectApi.h"
#include "api/ZeCubeMapApi.h"
#include "api/ZeEffectApi.h"
#include "api/ZeFxEmitterApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "api/ZeRenderParamsApi.h"
#include "api/ZeSceneRenderer.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeCamera.h"

SZeSceneCalls::SZeSceneCalls()
	: setSceneTime(zeSetSceneTime), effectExist(zeEffectExist), setEffectShaderParams(zeSetEffectShaderParams),
	  setColorSpaceViewer(zeSetColorSpaceViewer), setGlowSettings(zeSetGlowSettings), enableStreak(zeEnableStreak),
	  setStreakParams(zeSetStreakParams), enableBloom(zeEnableBloom), setBloomParams(zeSetBloomParams),
	  enableAmbientOcclusion(zeEnableAmbientOcclusion), setAmbientOcclusionParams(zeSetAmbientOcclusionParams),
	  enableShadows(zeEnableShadows), setShadowEpsilon(zeSetShadowEpsilon), setAntialiasParams(zeSetAntialiasParams),
	  setCameraFOV(zeSetCameraFOV), setCameraDOF(zeSetCameraDOF), setCameraAdvancedDOF(zeSetCameraAdvancedDOF),
	  setCameraStereo(zeSetCameraStereo), positionCamera(zePositionCamera), rotateCamera(zeRotateCamera),
	  setCameraRange(zeSetCameraRange), colorBackdrop(zeColorBackdrop), colorAmbientLight(zeColorAmbientLight),
	  loadObject(zeLoadObject), loadObjectPointCloud(zeLoadObjectPointCloud), cloneObject(zeCloneObject),
	  instanceObject(zeInstanceObject), totalObjectFrames(zeTotalObjectFrames), setObjectFrame(zeSetObjectFrame),
	  getObjectMorphCount(zeGetObjectMorphCount), setObjectMorph(zeSetObjectMorph),
	  setObjectCubeMap(zeSetObjectCubeMap), enableObjectCubeMapBox(zeEnableObjectCubeMapBox),
	  setObjectCubeMapBox(zeSetObjectCubeMapBox), resetFxEmitter(zeFxResetEmitter),
	  setLightVolumetric(zeSetLightVolumetric), setLightVolumetricLimit(zeSetLightVolumetricLimit),
	  cameraEffectExist(zeCameraEffectExist), showCameraEffect(zeShowCameraEffect),
	  hideCameraEffect(zeHideCameraEffect), setCameraEffectShaderParams(zeSetCameraEffectShaderParams),
	  cubeMapExist(zeCubeMapExist), cubeMapUpdate(zeCubeMapUpdate), cubeMapIsRendered(zeCubeMapIsRendered),
	  renderCubeMap(zeRenderCubeMap), renderDummyFrame(zeRenderDummyFrame), useRenderer(zeUseRenderer),
	  useDefaultRenderer(zeUseDefaultRenderer)
{
}

SZeSceneCalls& zeSceneCalls()
{
	static SZeSceneCalls calls;
	return calls;
}
