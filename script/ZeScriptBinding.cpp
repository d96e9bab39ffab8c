// The binding frame of the script table.
#include "script/ZeScriptBinding.h"

#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
// Rounds to the nearest integer, ties to even, whatever the floating-point
// environment's rounding mode.
double roundHalfEven(double value)
{
	const double below = std::floor(value);
	const double fraction = value - below;
	if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
		return below + 1.0;
	return below;
}

const double INT32_LOW = -2147483648.0;
const double INT32_HIGH = 2147483647.0;
const double UINT32_HIGH = 4294967295.0;

const char* INTEGER_RANGE = "integer out of the 32-bit range";

char g_joined[ZE_SCRIPT_TEXT_SIZE];
} // namespace

void checkSetup(lua_State* L)
{
	if (!zeIsSetup())
	{
		lua_Debug ar;
		const char* name = "?";
		if (lua_getstack(L, 0, &ar) && lua_getinfo(L, "n", &ar) && ar.name)
			name = ar.name;
		luaL_error(L, "calling '%s' without Setup first", name);
	}
	zeClearError();
}

void raisePendingError(lua_State* L)
{
	int number = -1;
	const char* text = zeGetError(&number);
	if (!text)
		return;
	lua_pushstring(L, text);
	zeClearError();
	luaL_argerror(L, number, lua_tostring(L, -1));
}

int checkInteger(lua_State* L, int arg)
{
	const double value = roundHalfEven(luaL_checknumber(L, arg));
	if (!(value >= INT32_LOW && value <= INT32_HIGH))
		luaL_argerror(L, arg, INTEGER_RANGE);
	return static_cast<int>(value);
}

int checkColour(lua_State* L, int arg)
{
	const double value = roundHalfEven(luaL_checknumber(L, arg));
	if (!(value >= INT32_LOW && value <= UINT32_HIGH))
		luaL_argerror(L, arg, "colour out of the 32-bit range");
	if (value < 0.0)
		return static_cast<int>(value);
	return static_cast<int>(static_cast<unsigned int>(value));
}

float checkNumber(lua_State* L, int arg)
{
	return static_cast<float>(luaL_checknumber(L, arg));
}

const char* checkString(lua_State* L, int arg)
{
	return luaL_checklstring(L, arg, nullptr);
}

int checkBoolean(lua_State* L, int arg)
{
	luaL_checktype(L, arg, LUA_TBOOLEAN);
	return lua_toboolean(L, arg) ? 1 : 0;
}

const char* joinArgsWithToString(lua_State* L, int first)
{
	g_joined[0] = 0;
	size_t length = 0;
	const int last = lua_gettop(L);
	lua_getglobal(L, "tostring");
	for (int arg = first; arg <= last; ++arg)
	{
		lua_pushvalue(L, -1);
		lua_pushvalue(L, arg);
		lua_call(L, 1, 1);
		size_t size = 0;
		const char* text = lua_type(L, -1) == LUA_TSTRING ? lua_tolstring(L, -1, &size) : nullptr;
		if (!text)
			luaL_error(L, "'tostring' must return a string to 'Text'");
		if (arg > first && length < sizeof(g_joined) - 1)
			g_joined[length++] = ' ';
		const size_t part = std::min(size, sizeof(g_joined) - 1 - length);
		std::memcpy(g_joined + length, text, part);
		length += part;
		g_joined[length] = 0;
		lua_pop(L, 1);
	}
	lua_pop(L, 1);
	return g_joined;
}

namespace
{
// The raw length of a table argument, checked against the capacity.
int tableLength(lua_State* L, int arg, int capacity)
{
	luaL_checktype(L, arg, LUA_TTABLE);
	const size_t length = lua_rawlen(L, arg);
	if (length > static_cast<size_t>(capacity))
	{
		lua_pushfstring(L, "Exceed buffer capacity %d>%d", static_cast<int>(std::min<size_t>(length, 0x7fffffff)),
			capacity);
		lua_error(L);
	}
	return static_cast<int>(length);
}

// Entry `index` of the table argument, pushed; raises unless it is a number
// or a string convertible to one.
lua_Number tableEntry(lua_State* L, int arg, int index)
{
	lua_rawgeti(L, arg, index);
	int isNumber = 0;
	const lua_Number value = lua_tonumberx(L, -1, &isNumber);
	if (!isNumber)
	{
		lua_pushfstring(L, "invalid entry #%d in array argument #%d (expected number, got %s)", index, arg,
			luaL_typename(L, -1));
		lua_error(L);
	}
	lua_pop(L, 1);
	return value;
}
} // namespace

void readNumberArray(lua_State* L, int arg, float* values, int* count)
{
	const int n = tableLength(L, arg, *count);
	for (int i = 1; i <= n; ++i)
		values[i - 1] = static_cast<float>(tableEntry(L, arg, i));
	*count = n;
}

void readIntegerArray(lua_State* L, int arg, int* values, int* count)
{
	const int n = tableLength(L, arg, *count);
	for (int i = 1; i <= n; ++i)
	{
		const double value = roundHalfEven(tableEntry(L, arg, i));
		if (!(value >= INT32_LOW && value <= INT32_HIGH))
		{
			lua_pushfstring(L, "invalid entry #%d in array argument #%d (%s)", i, arg, INTEGER_RANGE);
			lua_error(L);
		}
		values[i - 1] = static_cast<int>(value);
	}
	*count = n;
}

int notImplemented(lua_State* L)
{
	checkSetup(L);
	return luaL_argerror(L, -1, "the function is not implemented");
}
