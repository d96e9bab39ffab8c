// The object viewer: one mesh file lit by one directional light, turned about
// the centre of its box with the mouse and the arrow keys, the camera moved
// with the wheel and Up/Down (the keys at a rate in time: 60 degrees and 1.5
// radii a second), its range following the object; an animation (when the
// mesh has frames) loops at 30 frames per second.
#pragma once

#include "frame/ZeCommandLine.h"

// Shows the file on the running engine until Escape, a window close or a
// termination signal, then logs where the object and camera ended: 0, or -1
// (after "Failed to load object %s") when the file cannot be loaded or has no
// triangle to draw.
int zeObjectViewer(const char* path);

// Sets the engine up from "zelv-setup.ini" in the program's folder (the command
// line's set-up values win, the set-up dialog is allowed), views the command
// line's file and ends the engine. The exit status: 0, or 1 on failure.
int zeRunObjectViewer(const SZeCommandLine& commandLine);
