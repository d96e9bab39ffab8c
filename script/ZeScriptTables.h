// The halves of the script table and the load-scene callback, shared by the
// runner and the function files.
#pragma once

#include <lua.hpp>

// The functions of set-up, the system, input, 2D drawing, text, files, the
// camera, images and joysticks; ends in {null, null}.
const luaL_Reg* zeScriptSystemFunctions();
// The functions of objects, surfaces, lights, camera effects, effects,
// emitters, music and scenes; ends in {null, null}.
const luaL_Reg* zeScriptContentFunctions();

// SetLoadSceneCallback: keeps a registry reference to argument 1 (any value;
// the one kept before is released) and has the scene loader call it with the
// percentage of objects built, on the state's main thread whichever coroutine
// set it. Errors of the callback are ignored and it never cancels a load.
int setLoadSceneCallback(lua_State* L);
