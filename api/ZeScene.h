// Scenes: up to 60 loaded scene files kept in slots (IDs 0 to 59), each built
// through the engine API into consecutive IDs from the first IDs its loader
// gives (objects, lights, FxEmitters, cube maps, camera shaders, the effects
// of its render commands) and a renderer ID; shown, hidden, animated at a
// time in milliseconds, reloaded in place and prepared before they are first
// drawn. Functions taking a scene ID do nothing (or answer -1 or 0) for an
// invalid or free one unless they say otherwise.
//
// Index:
//   - Slots, loading and deleting
//   - Queries
//   - Showing and animation
//   - Preparation and cube maps
#pragma once

// Scene slots.
const int ZE_SCENE_SLOTS = 60;

// ---- Slots, loading and deleting ----------------------------------------------------
// The progress callback: a percentage and the user value; non-zero cancels.
typedef int (*ZeLoadSceneCallback)(int percent, void* user);

// Loads a scene file into a free slot and builds everything it describes;
// the scene starts hidden. 0 on success, 1 when the progress callback
// cancelled (what was built stays, the slot in use: zeDeleteScene cleans it),
// -1 with "Invalid Scene ID %d" (2), "Scene ID %d is already in use" (2) or
// "Failed to load scene file '%s'" (1). Objects of the same file in scenes of
// the same sharing group share their mesh: an instance with instanceObjects,
// else a clone. Extra mode (1) makes no lights, command renderer or camera
// shaders and locks objects and emitters to the camera. A camera shader past
// the 20th gives "Camera shader i=%d > max %d camera shaders" (7). IDs already
// in use by others are reported (kind and ID) and taken over. A successful
// load leaves no other pending error.
int zeLoadScene(const char* path, int sceneId, int firstObjectId, int firstLightId, int firstFxEmitterId,
	int firstCubeMapId, int firstCameraShaderId, int rendererId, int firstEffectId, int instanceObjects,
	const char* shareGroup, int extraMode);
// Deletes everything the scene made and frees the slot. A scene still loading
// (deleted from its own progress callback) stays, with "Scene ID %d is
// loading: it cannot be deleted before its load ends" (1).
void zeDeleteScene(int sceneId);
// Reloads the file into the slot of a loaded scene, keeping what did not
// change: 0, or -1 for an invalid or free ID or a file that cannot be read
// (a text document with groups or an array left open at its end counts as
// one not yet complete: the scene stays as it was), or with "Scene ID %d is
// loading: it cannot be reloaded before its load ends" (2) for a scene still
// loading.
int zeBuildScene(const char* path, int sceneId);
// Non-zero when the ID is a slot in use.
int zeSceneExist(int sceneId);
// Non-zero while zeLoadScene builds the scene of this ID.
int zeSceneLoading(int sceneId);
// The number of zeLoadScene calls running (a progress callback may load
// another scene), each counted from its first progress call to its return.
int zeSceneLoadsRunning();
// Stores the progress callback (null removes it) and its user value.
void zeSetLoadSceneCallback(ZeLoadSceneCallback callback, void* user);
// Non-zero makes the builders report items that cannot be made.
void zeSetSceneLoadWarnings(int flag);
// Deletes every scene (engine shutdown).
void zeDeleteAllScenes();

// ---- Queries (counts -1, others 0 for an invalid or free ID) --------------------------
int zeSceneTotalObjects(int sceneId);
int zeSceneTotalLights(int sceneId);
int zeSceneTotalFxEmitters(int sceneId);
int zeSceneTotalCubeMaps(int sceneId);
int zeSceneTotalCameraShaders(int sceneId);
// Effects of the render commands, 0 without them.
int zeSceneTotalEffects(int sceneId);
// 1 when the scene has a list of render commands.
int zeSceneHasRenderer(int sceneId);
int zeSceneFrameStart(int sceneId);
// Frames per second truncated to an integer.
int zeSceneFps(int sceneId);
// (frameEnd - frameStart) x 1000 / zeSceneFps, 0 when that is 0.
int zeSceneAnimTimeEnd(int sceneId);
// The music file of the scene, null when none.
const char* zeGetSceneAudio(int sceneId);
// (frameStart / framesPerSecond - audioStartTime) x 1000, truncated; the
// frame start counts as 0 s when the frame rate is 0.
int zeGetSceneAudioOffset(int sceneId);

// ---- Showing and animation ------------------------------------------------------------
// Shows objects, lights (not in extra mode) and emitters; outside extra mode
// applies the render settings and makes the scene's renderer current (when
// its render commands made one).
void zeShowScene(int sceneId);
// Hides objects, lights (not in extra mode), emitters and camera shaders;
// outside extra mode the default renderer becomes current again for a scene
// with render commands. The next animation hands over every switch again.
void zeHideScene(int sceneId);
// Puts every object far away and hides emitters and camera shaders.
void zeStashScene(int sceneId);
void zeShowSceneFxEmitters(int sceneId);
// Animates the whole scene at a time in milliseconds.
void zeAnimateScene(int sceneId, int timeMs);
// The camera position (for extra mode), then one object: "Invalid Scene ID
// %d" (2), "Invalid Object ID %d" (3) for an object outside the scene.
void zeAnimateSceneObject(int sceneId, int timeMs, int objectId);
// The render and post-processing values alone; "Invalid Scene ID %d" (2).
void zeAnimateSceneProcessing(int sceneId, int timeMs);
// The camera shaders alone; "Invalid Scene ID %d" (2).
void zeAnimateSceneCameraShaders(int sceneId, int timeMs);

// ---- Preparation and cube maps ---------------------------------------------------------
// Shows the scene, animates it at 0, draws one frame into
// "DummyRenderTarget", captures every cube map over the animation and hides
// it again.
void zePrepareSceneRender(int sceneId);
// Captures the cube maps rendered every frame ("renderType" 1) at a time.
void zeRenderSceneCubeMaps(int sceneId, int timeMs);
