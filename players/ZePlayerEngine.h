// What every player does around its run: the engine set up before it and
// ended after it.
#pragma once

#include "frame/ZeCommandLine.h"

typedef int (*ZePlayer)(const SZeCommandLine& commandLine);

// Installs the termination-signal handlers and the object API, sets the
// engine up from "zelv-setup.ini" in the program's folder (the command line's
// set-up values win, the set-up dialog is allowed), runs the player and ends
// the engine. The exit status: 0, or 1 when the set-up fails or the player
// returns non-zero.
int zeRunPlayerOnEngine(const SZeCommandLine& commandLine, ZePlayer player);
