// The engine calls through which demos load, play and capture themselves,
// gathered in one table so that tests can put recording fakes in their place.
// Every entry starts as the engine's own function; assigning a fresh
// SZeDemoCalls restores them all.
#pragma once

typedef int (*ZeDemoSceneCallback)(int percent, void* user);

struct SZeDemoCalls
{
	// Scenes.
	int (*loadScene)(const char* path, int sceneId, int firstObjectId, int firstLightId, int firstFxEmitterId,
		int firstCubeMapId, int firstCameraShaderId, int rendererId, int firstEffectId, int instanceObjects,
		const char* shareGroup, int extraMode);
	void (*deleteScene)(int sceneId);
	void (*setLoadSceneCallback)(ZeDemoSceneCallback callback, void* user);
	void (*setSceneLoadWarnings)(int flag);
	int (*sceneTotalObjects)(int sceneId);
	int (*sceneTotalLights)(int sceneId);
	int (*sceneTotalFxEmitters)(int sceneId);
	int (*sceneTotalCubeMaps)(int sceneId);
	int (*sceneTotalCameraShaders)(int sceneId);
	int (*sceneTotalEffects)(int sceneId);
	int (*sceneHasRenderer)(int sceneId);
	const char* (*getSceneAudio)(int sceneId);
	int (*getSceneAudioOffset)(int sceneId);
	void (*prepareSceneRender)(int sceneId);
	void (*showScene)(int sceneId);
	void (*hideScene)(int sceneId);
	void (*stashScene)(int sceneId);
	void (*showSceneFxEmitters)(int sceneId);
	void (*animateScene)(int sceneId, int timeMs);
	void (*renderSceneCubeMaps)(int sceneId, int timeMs);
	// Musics.
	int (*loadMusic)(const char* path, int id);
	int (*deleteMusic)(int id);
	int (*musicExist)(int id);
	int (*playMusic)(int id);
	int (*stopMusic)(int id);
	int (*getMusicPosition)(int id);
	// Camera effects.
	int (*makeCameraEffectFromFile)(int id, const char* file);
	int (*cameraEffectExist)(int id);
	void (*showCameraEffect)(int id);
	void (*hideCameraEffect)(int id);
	void (*deleteCameraEffect)(int id);
	// Faders, loading screen and camera.
	void (*fadeIn)(int time, int colour);
	void (*fadeOut)(int time, int colour);
	void (*stopFade)();
	void (*loadingScreenBegin)();
	void (*loadingScreenProgress)(int percent);
	void (*loadingScreenEnd)();
	void (*setCameraRange)(float nearValue, float farValue);
	// Window, frames and time.
	int (*run)();
	void (*sync)();
	unsigned int (*timer)();
	void (*sleep)(int ms);
	int (*escapeKeyEverPressed)();
	// The frame files of a capture, written in order, perhaps after the call
	// returns: the frame last presented, or (`repeat`) a copy of the file
	// named before. Non-zero when a file (this one or one before) failed.
	int (*writeFrame)(const char* fileName, int repeat);
	// Waits until every frame file is written: non-zero when one failed.
	int (*finishFrames)();
	// The clock of everything a frame moves by time (the device's virtual
	// timer: faders, effect time, animators, particles, last-frame times):
	// holds it at a time, or lets it run with the real time again.
	void (*holdFrameClock)(unsigned int timeMs);
	void (*releaseFrameClock)();
	// Seeds the random generators of particles and antialiasing jitter.
	void (*seedRandom)(unsigned int seed);

	SZeDemoCalls();
};

// The table the demo calls through.
SZeDemoCalls& zeDemoCalls();
