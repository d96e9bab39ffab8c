// The scene viewer: one scene file played in real time with its music,
// paused, stepped and looped with the keys, flown through in ride mode, with
// the frame, time and camera shown over it; the shaders are rebuilt when files
// in the engine's shader folders change and, when following the modeller
// ("-syncupdate"), the scene is rebuilt when its file is written again.
//
// Keys: Space pauses and runs (at the end it restarts), Enter toggles looping,
// Right/Left (not while riding) and +/- step the time (Shift: ten times as
// far), the right mouse button enters and leaves ride mode (arrow keys fly, a
// left-button drag turns; "1"/"2" slow down and speed up), F12 toggles the
// renderer's debug view, Escape ends.
#pragma once

#include "frame/ZeCommandLine.h"

// Scene slot, first object ID, music ID and file-watch ID of the viewer.
const int ZE_VIEWER_SCENE_ID = 1;
const int ZE_VIEWER_FIRST_OBJECT_ID = 1;
const int ZE_VIEWER_MUSIC_ID = 1;
const int ZE_VIEWER_SCENE_WATCH_ID = 0;

// Runs the viewer on the running engine until the device stops or Escape was
// pressed: 0, or -1 when the scene cannot be loaded ("Failed to load scene").
// In binary mode (EZEVF_BINARY) it only loads the scene and frees it again,
// asking for the file when `path` is null (-1 when none is chosen).
int zeSceneViewer(const char* path, const SZeViewerOptions* options);

// Sets the engine up as every player does, runs the viewer on the command
// line's file and options (also for "-binary") and ends the engine. The exit
// status: 0, or 1 on failure.
int zeRunSceneViewer(const SZeCommandLine& commandLine);
