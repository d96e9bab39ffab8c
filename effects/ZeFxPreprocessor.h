// Internal to effect files: the C-style preprocessing of an effect file and
// the text helpers shared with the declaration parser.
#pragma once

#include "core/IZeGpuProgramming.h"

#include <irrlicht.h>

#include <cctype>
#include <string>
#include <vector>

namespace zefx
{
// An active "//ZELV_PP:" line: its file, line number and the text after the marker.
struct SDeclLine
{
	std::string File;
	irr::u32 Line;
	std::string Text;
};

// Runs #define, #undef, #if, #ifdef, #ifndef, #elif, #else, #endif, #include
// and #error over the text with the macros, and keeps the active declaration
// lines; "define" and "include" declarations act on the preprocessing too.
// false with "file:line: reason" in `error`. `work` (when given) receives
// what the #if expressions cost: the characters tokenized (their lines and the
// macro values) and the tokens expanded.
bool preprocess(const std::string& file, const std::string& text, const SZeMacro* macros, std::vector<SDeclLine>* lines,
	std::vector<std::string>* includes, std::string* error, size_t* work = nullptr);

// "file:line: text", or "file: text" for line 0.
inline std::string format(const std::string& file, irr::u32 line, const std::string& text)
{
	return line ? file + ":" + std::to_string(line) + ": " + text : file + ": " + text;
}

inline std::string trim(const std::string& s)
{
	size_t a = 0, b = s.size();
	while (a < b && std::isspace(static_cast<unsigned char>(s[a])))
		++a;
	while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1])))
		--b;
	return s.substr(a, b - a);
}

inline bool isIdentStart(char c)
{
	return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

inline bool isIdentChar(char c)
{
	return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

inline bool isIdentifier(const std::string& s)
{
	if (s.empty() || !isIdentStart(s[0]))
		return false;
	for (char c : s)
		if (!isIdentChar(c))
			return false;
	return true;
}

inline std::string lower(std::string s)
{
	for (char& c : s)
		c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
	return s;
}
} // namespace zefx
