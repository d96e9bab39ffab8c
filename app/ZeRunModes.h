// The players and commands the executable dispatches to. A null entry is a
// mode whose code is not in this build.
#pragma once

#include "frame/ZeCommandLine.h"

// Exit status of a mode or command that this build does not have.
const int ZE_EXIT_NOT_BUILT = 3;

typedef int (*ZeRunFile)(const SZeCommandLine& commandLine);

struct SZeRunModes
{
	ZeRunFile demo;
	ZeRunFile scene;
	ZeRunFile object;
	ZeRunFile script;
	ZeRunFile packed;   // runs the packed data carried by the executable
	ZeRunFile binary;   // "-binary": a scene loaded and freed again
	ZeRunFile command;  // packing commands and "-extract"
};

// The program entry: command line, packed-data check, run mode. Returns the
// process exit status.
int zeMain(int argc, const char* const* argv, const SZeRunModes& modes);
