#include "players/ZeDemoCalls.h"

#include "api/ZeCameraEffectApi.h"
#include "api/ZeMusic.h"
#include "api/ZeScene.h"
#include "frame/ZeCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeInput.h"
#include "frame/ZeTime.h"
#include "frame/ZeWindow.h"
#include "players/ZeCaptureWriter.h"
#include "render/CZePostAntialias.h"
#include "scene/CZeFxEmitter.h"

#include <irrlicht.h>

namespace
{
// The timer held by holdFrameClock, which started it again on release. The
// library's timer counts its stops: each stop here is matched by one start.
irr::ITimer* g_heldTimer = nullptr;

irr::ITimer* deviceTimer()
{
	irr::IrrlichtDevice* device = zeGetContext()->device;
	return device ? device->getTimer() : nullptr;
}

void holdFrameClock(unsigned int timeMs)
{
	irr::ITimer* timer = deviceTimer();
	if (!timer)
		return;
	if (timer != g_heldTimer)
	{
		timer->stop();
		g_heldTimer = timer;
	}
	timer->setTime(timeMs);
}

void releaseFrameClock()
{
	irr::ITimer* timer = deviceTimer();
	if (timer && timer == g_heldTimer)
		timer->start();
	g_heldTimer = nullptr;
}

void seedRandom(unsigned int seed)
{
	zeParticleRandomSeed(seed);
	zeResetJitterRandom();
}
} // namespace

SZeDemoCalls::SZeDemoCalls()
	: loadScene(zeLoadScene), deleteScene(zeDeleteScene), setLoadSceneCallback(zeSetLoadSceneCallback),
	  setSceneLoadWarnings(zeSetSceneLoadWarnings), sceneTotalObjects(zeSceneTotalObjects),
	  sceneTotalLights(zeSceneTotalLights), sceneTotalFxEmitters(zeSceneTotalFxEmitters),
	  sceneTotalCubeMaps(zeSceneTotalCubeMaps), sceneTotalCameraShaders(zeSceneTotalCameraShaders),
	  sceneTotalEffects(zeSceneTotalEffects), sceneHasRenderer(zeSceneHasRenderer), getSceneAudio(zeGetSceneAudio),
	  getSceneAudioOffset(zeGetSceneAudioOffset), prepareSceneRender(zePrepareSceneRender), showScene(zeShowScene),
	  hideScene(zeHideScene), stashScene(zeStashScene), showSceneFxEmitters(zeShowSceneFxEmitters),
	  animateScene(zeAnimateScene), renderSceneCubeMaps(zeRenderSceneCubeMaps), loadMusic(zeLoadMusic),
	  deleteMusic(zeDeleteMusic), musicExist(zeMusicExist), playMusic(zePlayMusic), stopMusic(zeStopMusic),
	  getMusicPosition(zeGetMusicPosition), makeCameraEffectFromFile(zeMakeCameraEffectFromFile),
	  cameraEffectExist(zeCameraEffectExist), showCameraEffect(zeShowCameraEffect),
	  hideCameraEffect(zeHideCameraEffect), deleteCameraEffect(zeDeleteCameraEffect), fadeIn(zeFadeIn),
	  fadeOut(zeFadeOut), stopFade(zeStopFade), loadingScreenBegin(zeLoadingScreenBegin),
	  loadingScreenProgress(zeLoadingScreenProgress), loadingScreenEnd(zeLoadingScreenEnd),
	  setCameraRange(zeSetCameraRange), run(zeRun), sync(zeSync), timer(zeTimer), sleep(zeSleep),
	  escapeKeyEverPressed(zeEscapeKeyEverPressed), writeFrame(zeCaptureWriteFrame),
	  finishFrames(zeCaptureFinish), holdFrameClock(::holdFrameClock),
	  releaseFrameClock(::releaseFrameClock), seedRandom(::seedRandom)
{
}

SZeDemoCalls& zeDemoCalls()
{
	static SZeDemoCalls calls;
	return calls;
}
