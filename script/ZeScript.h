// Lua scripts that drive the engine: the runner and the global table "ze" of
// 256 functions (set-up, window, input, 2D drawing, text, files, camera,
// images, joysticks, objects, surfaces, lights, camera effects, effects,
// emitters, music and scenes).
#pragma once

#include "frame/ZeCommandLine.h"

struct lua_State;

// Runs a script from its own folder: the process's current directory becomes
// the script's folder and the script is loaded by its bare name, with the log
// silenced (threshold EZELL_NONE, no error boxes; neither is restored). Ends
// the engine afterwards if the script left it set up. The status of
// zeRunLuaScript.
int zeRunScript(const char* path, int fromMemory);

// Runs a script in a new Lua state with the standard libraries and "ze". In
// memory mode the file is read whole through the file layer (so packed data
// serves it) and runs as the chunk "mem"; otherwise Lua reads it from the
// plain file system. A load or run error prints its message and a newline on
// standard error. 0 when the script ran to its end, Lua's non-zero status
// when loading or running failed, -1 (after "cannot load %s") when the file
// cannot be read in memory mode.
int zeRunLuaScript(const char* name, int fromMemory);

// Registers the table of the engine's functions as the global "ze" and as
// the loaded module "ze". Closing the state unregisters a load-scene callback
// that the state set.
void openScriptLibrary(lua_State* L);

// The script run mode of the executable: runs the command line's script and
// gives the exit status, 0 when it ran to its end and 1 when it raised an
// error or could not be loaded.
int zeRunScriptMode(const SZeCommandLine& commandLine);
