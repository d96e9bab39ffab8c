// The frame every function of the script table shares: the set-up guard,
// argument kinds and their read order, the pending engine error raised as an
// argument error, results, and the forwarders built from them.
//
// Lua raises errors with longjmp, which skips C++ destructors: a binding
// holds only trivially destructible values while it can raise.
//
// Index:
//   - Guard, pending error and the shared helpers
//   - Argument kinds
//   - Result kinds
//   - Forwarders
#pragma once

#include <lua.hpp>

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

// ---- Guard, pending error and the shared helpers ----------------------------------------
// Raises "calling '%s' without Setup first" (the calling function's name, "?"
// when it has none) unless the engine is set up. Forgets an engine error left
// pending by an earlier call that does not report them (Run, Sync), so that
// it is never blamed on this one.
void checkSetup(lua_State* L);
// Raises the pending engine error, cleared first, as the argument error of
// its argument number with its text; returns when there is none.
void raisePendingError(lua_State* L);

// Argument reads (Lua's standard argument error on a wrong type).
// A number rounded to the nearest integer (ties to even); outside the 32-bit
// range the argument error "integer out of the 32-bit range".
int checkInteger(lua_State* L, int arg);
// A colour 0xAARRGGBB: rounded as checkInteger, from -2^31 (taken as its two's
// complement) to 2^32 - 1, else "colour out of the 32-bit range".
int checkColour(lua_State* L, int arg);
float checkNumber(lua_State* L, int arg);
const char* checkString(lua_State* L, int arg);
// Strict: "boolean expected, got %s" for anything but a boolean; 1 or 0.
int checkBoolean(lua_State* L, int arg);

// The values from `first` to the last argument, each converted with the
// global "tostring" and joined by single blanks, in a static buffer of 1,024
// characters that the next call overwrites; a longer text is cut at 1,023.
// Raises "'tostring' must return a string to 'Text'" when tostring gives
// anything but a string.
const char* joinArgsWithToString(lua_State* L, int first);
const int ZE_SCRIPT_TEXT_SIZE = 1024;

// A table argument read into a caller's array: *count holds the capacity on
// entry and the entries read on return. Raises "Exceed buffer capacity %d>%d"
// for a longer table and "invalid entry #%d in array argument #%d (expected
// number, got %s)" for an entry that is no number (integers: also one outside
// the 32-bit range, "... (integer out of the 32-bit range)").
void readNumberArray(lua_State* L, int arg, float* values, int* count);
void readIntegerArray(lua_State* L, int arg, int* values, int* count);

// Passes the guard, then raises "the function is not implemented" as the
// argument error of argument -1; reads no arguments.
int notImplemented(lua_State* L);

namespace zescript
{
// ---- Argument kinds -----------------------------------------------------------------------
// Each kind reads one argument into its Type.
struct Int
{
	using Type = int;
	static int read(lua_State* L, int arg) { return checkInteger(L, arg); }
};
struct Colour
{
	using Type = int;
	static int read(lua_State* L, int arg) { return checkColour(L, arg); }
};
struct Num
{
	using Type = float;
	static float read(lua_State* L, int arg) { return checkNumber(L, arg); }
};
struct Str
{
	using Type = const char*;
	static const char* read(lua_State* L, int arg) { return checkString(L, arg); }
};
struct Bool
{
	using Type = int;
	static int read(lua_State* L, int arg) { return checkBoolean(L, arg); }
};
// Optional arguments, read only when the stack reaches their position.
struct BoolOrTrue
{
	using Type = int;
	static int read(lua_State* L, int arg) { return lua_gettop(L) >= arg ? checkBoolean(L, arg) : 1; }
};
struct BoolOrFalse
{
	using Type = int;
	static int read(lua_State* L, int arg) { return lua_gettop(L) >= arg ? checkBoolean(L, arg) : 0; }
};
struct NumOrZero
{
	using Type = float;
	static float read(lua_State* L, int arg) { return lua_gettop(L) >= arg ? checkNumber(L, arg) : 0.0f; }
};

// ---- Result kinds -------------------------------------------------------------------------
// Each kind pushes an engine answer and gives the number of results.
struct None
{
	template <typename T>
	static int push(lua_State*, T) { return 0; }
};
struct RBool
{
	static int push(lua_State* L, int value)
	{
		lua_pushboolean(L, value != 0);
		return 1;
	}
};
struct RInt
{
	template <typename T>
	static int push(lua_State* L, T value)
	{
		lua_pushinteger(L, static_cast<lua_Integer>(value));
		return 1;
	}
};
struct RNum
{
	static int push(lua_State* L, float value)
	{
		lua_pushnumber(L, static_cast<lua_Number>(value));
		return 1;
	}
};
// A null text is nil.
struct RStr
{
	static int push(lua_State* L, const char* value)
	{
		if (value)
			lua_pushstring(L, value);
		else
			lua_pushnil(L);
		return 1;
	}
};

// ---- Forwarders ---------------------------------------------------------------------------
template <typename... Kinds>
using Args = std::tuple<typename Kinds::Type...>;

// Reads the arguments from position `first` on into `args`, the last one
// first: element N - 1 - I for I = 0 .. N - 1.
template <typename... Kinds, std::size_t... I>
void readLastToFirst([[maybe_unused]] lua_State* L, Args<Kinds...>& args, [[maybe_unused]] int first,
	std::index_sequence<I...>)
{
	constexpr std::size_t N = sizeof...(Kinds);
	using KindList = std::tuple<Kinds...>;
	((std::get<N - 1 - I>(args) =
		 std::tuple_element_t<N - 1 - I, KindList>::read(L, first + static_cast<int>(N - 1 - I))),
		...);
}

// The same, the first one first.
template <typename... Kinds, std::size_t... I>
void readFirstToLast([[maybe_unused]] lua_State* L, Args<Kinds...>& args, std::index_sequence<I...>)
{
	using KindList = std::tuple<Kinds...>;
	((std::get<I>(args) = std::tuple_element_t<I, KindList>::read(L, static_cast<int>(I + 1))), ...);
}

// Calls the engine, raises its pending error, pushes its answer.
template <auto Fn, typename Result, typename Tuple>
int callAndAnswer(lua_State* L, const Tuple& args)
{
	if constexpr (std::is_void_v<decltype(std::apply(Fn, args))>)
	{
		std::apply(Fn, args);
		raisePendingError(L);
		return Result::push(L, 0);
	}
	else
	{
		const auto answer = std::apply(Fn, args);
		raisePendingError(L);
		return Result::push(L, answer);
	}
}

// The common shape: guard, arguments from the last to the first, one engine
// call, its pending error, its answer as Result.
template <auto Fn, typename Result, typename... Kinds>
int forward(lua_State* L)
{
	checkSetup(L);
	Args<Kinds...> args;
	readLastToFirst<Kinds...>(L, args, 1, std::index_sequence_for<Kinds...>());
	return callAndAnswer<Fn, Result>(L, args);
}

// Making or loading under an ID (argument IdArg): arguments from the first to
// the last, then what the ID holds is deleted, then the engine call.
template <auto Exist, auto Delete, int IdArg, auto Fn, typename... Kinds>
int replace(lua_State* L)
{
	checkSetup(L);
	Args<Kinds...> args;
	readFirstToLast<Kinds...>(L, args, std::index_sequence_for<Kinds...>());
	const int id = std::get<IdArg - 1>(args);
	if (Exist(id))
		Delete(id);
	return callAndAnswer<Fn, None>(L, args);
}
} // namespace zescript
