// The ".x" token stream: text and binary files as one sequence of names,
// strings, numbers, GUIDs, braces and separators. Binary lists are handed out
// one value at a time; every length is checked against the bytes left.
#pragma once

#include <irrlicht.h>

#include <cstddef>
#include <string>

namespace ze
{
namespace xfile
{
enum ETokenType
{
	ETT_END,
	ETT_NAME,
	ETT_STRING,
	ETT_INT,
	ETT_FLOAT,
	ETT_GUID,
	ETT_OBRACE,
	ETT_CBRACE,
	ETT_SEPARATOR,
	ETT_TEMPLATE,
	ETT_OTHER,
	ETT_ERROR
};

struct Token
{
	ETokenType Type = ETT_END;
	std::string Text;  // names and strings
	irr::u32 Int = 0;
	irr::f32 Float = 0.f;
	bool IsIntegral = false;  // numbers: Int holds the value
};


// Case-insensitive comparison of an identifier with a template name.
bool sameName(const std::string& a, const char* b);

class Lexer
{
public:
	Lexer(const unsigned char* data, std::size_t size, bool binary, bool doubles);

	// Bytes not read yet.
	irr::u64 remaining() const { return Size - Pos; }
	// Whether the bytes left can hold this many more values: a value takes at
	// least 4 bytes in a binary file, and in a text file a character and a
	// separator (none after the last).
	bool canHold(irr::u64 values) const
	{
		return Binary ? values * 4 <= remaining() : values * 2 <= remaining() + 1;
	}
	const std::string& error() const { return Error; }

	// The next token; false (and ETT_ERROR) on damaged data.
	bool next(Token& t);

private:
	void fail(Token& t, const char* reason);
	bool take(std::size_t n, const unsigned char** p);
	bool takeU32(irr::u32* v);
	void setFloat(Token& t, double d);
	void nextBinary(Token& t);
	void nextText(Token& t);

	const unsigned char* Data;
	std::size_t Size;
	std::size_t Pos = 0;
	bool Binary;
	bool Doubles;
	irr::u32 ListLeft = 0;
	bool ListFloats = false;
	std::string Error;
};
} // namespace xfile
} // namespace ze
