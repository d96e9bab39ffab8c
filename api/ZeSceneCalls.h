// The engine API calls through which scenes show, animate and capture
// themselves, gathered in one table so that tests can put spies in their
// place. Every entry starts as the engine API's own function; assigning a
// fresh SZeSceneCalls restores them all.
#pragma once

struct SZeShaderDesc;

struct SZeSceneCalls
{
	// Scene time of the render commands, effects of the render commands.
	void (*setSceneTime)(int sceneId, int timeMs);
	int (*effectExist)(int id);
	void (*setEffectShaderParams)(int id, const SZeShaderDesc* desc, int withTextures);
	// Render and post-processing values.
	void (*setColorSpaceViewer)(int mode);
	void (*setGlowSettings)(int enable, float intensity, float radius);
	void (*enableStreak)(int on);
	void (*setStreakParams)(float glowMin, float keyR, float keyG, float keyB, float keyMatch, float colorizeR,
		float colorizeG, float colorizeB, float attenuation, float angle, float compose);
	void (*enableBloom)(int on);
	void (*setBloomParams)(float specularMin, float compose);
	void (*enableAmbientOcclusion)(int on);
	void (*setAmbientOcclusionParams)(float reach, float decline, float epsilon, float multiplier);
	void (*enableShadows)(int on);
	void (*setShadowEpsilon)(float epsilon);
	void (*setAntialiasParams)(int jitter, int location, int mode, int blending, int weight, int limitEnable,
		float limit);
	// Camera, backdrop and ambient light.
	void (*setCameraFOV)(float degrees);
	void (*setCameraDOF)(int mode, float focalDistance, float fStop);
	void (*setCameraAdvancedDOF)(int mode, float minFocus, float maxFocus, float focused, float radiusScale);
	void (*setCameraStereo)(int mode, float separation, int useConvergence, float convergence);
	void (*positionCamera)(float x, float y, float z);
	void (*rotateCamera)(float x, float y, float z);
	void (*setCameraRange)(float nearValue, float farValue);
	void (*colorBackdrop)(int colour);
	void (*colorAmbientLight)(int colour);
	// Objects.
	int (*loadObject)(const char* file, int id);
	int (*loadObjectPointCloud)(const char* file, int id, int pointCount);
	int (*cloneObject)(int newId, int sourceId);
	int (*instanceObject)(int newId, int sourceId);
	int (*totalObjectFrames)(int id);
	void (*setObjectFrame)(int id, float frame);
	int (*getObjectMorphCount)(int id);
	void (*setObjectMorph)(int id, int count, const int* indices, const float* weights);
	void (*setObjectCubeMap)(int id, int cubeMapId);
	void (*enableObjectCubeMapBox)(int id, int flag);
	void (*setObjectCubeMapBox)(int id, float x, float y, float z, float sx, float sy, float sz);
	// Emitters and lights.
	void (*resetFxEmitter)(int id);
	void (*setLightVolumetric)(int id, int on);
	void (*setLightVolumetricLimit)(int id, int on, float value);
	// Camera shaders.
	int (*cameraEffectExist)(int id);
	void (*showCameraEffect)(int id);
	void (*hideCameraEffect)(int id);
	void (*setCameraEffectShaderParams)(int id, const SZeShaderDesc* desc, int withTextures);
	// Cube maps, frames and renderers.
	int (*cubeMapExist)(int id);
	void (*cubeMapUpdate)(int id);
	int (*cubeMapIsRendered)(int id);
	int (*renderCubeMap)(int id, float x, float y, float z);
	int (*renderDummyFrame)();
	void (*useRenderer)(int id);
	void (*useDefaultRenderer)();

	SZeSceneCalls();
};

// The table the scenes call through.
SZeSceneCalls& zeSceneCalls();
