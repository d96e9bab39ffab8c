// The script runner: a Lua state per script, the table "ze" and the load-scene
// callback.
#include "script/ZeScript.h"
#include "script/ZeScriptBinding.h"
#include "script/ZeScriptTables.h"

#include "api/ZeObjectApi.h"
#include "api/ZeScene.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "frame/ZeSignals.h"

#include <cstdio>

namespace
{
// ---- Load-scene callback ----------------------------------------------------------------
// The registry reference of the script's callback and the state holding it.
struct SLoadSceneCallback
{
	lua_State* state = nullptr;
	int ref = LUA_NOREF;
};
SLoadSceneCallback g_callback;

int onLoadSceneProgress(int percent, void* user)
{
	lua_State* L = static_cast<lua_State*>(user);
	if (L != g_callback.state || !lua_checkstack(L, 2))
		return 0;
	lua_rawgeti(L, LUA_REGISTRYINDEX, g_callback.ref);
	lua_pushinteger(L, percent);
	if (lua_pcall(L, 1, 0, 0) != LUA_OK)
		lua_pop(L, 1);
	return 0;
}

void releaseLoadSceneCallback()
{
	if (!g_callback.state)
		return;
	zeSetLoadSceneCallback(nullptr, nullptr);
	luaL_unref(g_callback.state, LUA_REGISTRYINDEX, g_callback.ref);
	g_callback = SLoadSceneCallback();
}

// The finaliser of a value that lives as long as the state: closing the
// state unregisters the callback it set.
int onStateClose(lua_State* L)
{
	if (g_callback.state == L)
		releaseLoadSceneCallback();
	return 0;
}

const char* STATE_GUARD_KEY = "zelv.scriptstate";

// ---- The table --------------------------------------------------------------------------
const int ZE_SCRIPT_FUNCTIONS = 256;

// Both halves in one array for a single registration.
const luaL_Reg* allFunctions()
{
	static luaL_Reg all[ZE_SCRIPT_FUNCTIONS + 1];
	if (!all[0].name)
	{
		int n = 0;
		for (const luaL_Reg* half : {zeScriptSystemFunctions(), zeScriptContentFunctions()})
			for (const luaL_Reg* f = half; f->name && n < ZE_SCRIPT_FUNCTIONS; ++f)
				all[n++] = *f;
		all[n] = {nullptr, nullptr};
	}
	return all;
}

int createScriptTable(lua_State* L)
{
	lua_createtable(L, 0, ZE_SCRIPT_FUNCTIONS);
	luaL_setfuncs(L, allFunctions(), 0);
	return 1;
}

// The error value's text on standard error, popped.
void printError(lua_State* L)
{
	const char* text = lua_tostring(L, -1);
	if (text)
		fprintf(stderr, "%s\n", text);
	else
		fprintf(stderr, "(error object is a %s value)\n", luaL_typename(L, -1));
	fflush(stderr);
	lua_pop(L, 1);
}
} // namespace

int setLoadSceneCallback(lua_State* L)
{
	checkSetup(L);
	lua_pushvalue(L, 1);
	const int ref = luaL_ref(L, LUA_REGISTRYINDEX);
	// The callback runs on the script's main thread: a coroutine that sets it
	// may be collected long before a load calls it, and the main thread lives
	// until the state closes, which releases the callback.
	lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_MAINTHREAD);
	lua_State* main = lua_tothread(L, -1);
	lua_pop(L, 1);
	releaseLoadSceneCallback();
	g_callback.state = main;
	g_callback.ref = ref;
	zeSetLoadSceneCallback(onLoadSceneProgress, main);
	return 0;
}

void openScriptLibrary(lua_State* L)
{
	luaL_requiref(L, "ze", createScriptTable, 1);
	lua_pop(L, 1);
	lua_newuserdata(L, 1);
	lua_createtable(L, 0, 1);
	lua_pushcfunction(L, onStateClose);
	lua_setfield(L, -2, "__gc");
	lua_setmetatable(L, -2);
	lua_setfield(L, LUA_REGISTRYINDEX, STATE_GUARD_KEY);
}

int zeRunLuaScript(const char* name, int fromMemory)
{
	lua_State* L = luaL_newstate();
	if (!L)
	{
		fprintf(stderr, "cannot create a Lua state for %s\n", name ? name : "");
		return -1;
	}
	luaL_openlibs(L);
	openScriptLibrary(L);
	char* buffer = nullptr;
	int status = 0;
	if (fromMemory)
	{
		long size = 0;
		buffer = name ? zeReadFile(name, &size) : nullptr;
		if (!buffer)
		{
			fprintf(stderr, "cannot load %s\n", name ? name : "");
			lua_close(L);
			return -1;
		}
		status = luaL_loadbufferx(L, buffer, static_cast<size_t>(size), "mem", nullptr);
	}
	else
		status = luaL_loadfilex(L, name, nullptr);
	if (status == LUA_OK)
		status = lua_pcall(L, 0, LUA_MULTRET, 0);
	if (status != LUA_OK)
		printError(L);
	lua_close(L);
	delete[] buffer;
	return status;
}

int zeRunScript(const char* path, int fromMemory)
{
	if (!path)
		return -1;
	zeSetCurrentDirectory(zeGetFileDirectory(path));
	const char* name = zeSkipPath(path);
	zeSetLogLevel(EZELL_NONE);
	zeDisableErrorBoxes();
	const int status = zeRunLuaScript(name, fromMemory);
	zeTerm();
	return status;
}

int zeRunScriptMode(const SZeCommandLine& commandLine)
{
	zeInstallSignalHandlers();
	zeInstallObjectApi();
	return zeRunScript(commandLine.file, 0) == 0 ? 0 : 1;
}
