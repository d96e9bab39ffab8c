// The engine's life around a player run from the command line.
#pragma once

#include "frame/ZeCommandLine.h"

// Sets the engine up as every player runs: termination signals end its loop,
// the object API answers the frame's hooks, and "zelv-setup.ini" in the
// program's folder is read (the command line's set-up values win, the set-up
// dialog is allowed); then runs `player` and ends the engine. The exit
// status: 0 when the player returned 0, else 1 (also when set-up fails).
int zeRunPlayer(const SZeCommandLine& commandLine, int (*player)(const SZeCommandLine& commandLine));
