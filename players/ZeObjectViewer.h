// The object viewer: one mesh file lit by one directional light, turned with
// the mouse and the arrow keys, the camera moved with the wheel and Up/Down,
// its animation (when it has frames) looping at 30 frames per second.
#pragma once

#include "frame/ZeCommandLine.h"

// Shows the file on the running engine until Escape, a window close or a
// termination signal: 0, or -1 (after "Failed to load object %s") when the
// file cannot be loaded.
int zeObjectViewer(const char* path);

// Sets the engine up from "zelv-setup.ini" in the program's folder (the command
// line's set-up values win, the set-up dialog is allowed), views the command
// line's file and ends the engine. The exit status: 0, or 1 on failure.
int zeRunObjectViewer(const SZeCommandLine& commandLine);
