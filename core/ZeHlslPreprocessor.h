// Internal to the HLSL translator: the shader code's preprocessing, done
// before glslang reads the code so that its work is bounded. Conditionals are
// resolved here and every macro replacement is counted against one budget;
// glslang then reads the code with only the kept lines left, so it expands no
// more than was counted.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ze
{
// The tokens macros may add in the code of one stage, its #if lines and its
// includes together: each time a macro's name is replaced, every token of
// its replacement counts, at every level of macros within macros.
const size_t HLSL_MAX_EXPANDED_TOKENS = 65536;

// Reads an included file: `header` as the #include line writes it, `quoted`
// for "header" (else <header>), `from` the including file's name. Sets the
// name the file was read by and its text for the compiler; false when it
// cannot be read.
using HlslIncludeReader = std::function<bool(const std::string& header, bool quoted, const std::string& from,
	std::string& name, std::string& text)>;

struct SHlslInclude
{
	std::string Header;  // as the #include line writes it
	std::string Name;    // the file read
	std::string Text;    // for the compiler
};

// What the compiler reads: each text with its conditional directives and the
// lines they leave out made blank (every line keeps its number); the other
// directives of the kept lines stay.
struct SHlslText
{
	std::string Preamble;
	std::string Source;
	std::vector<SHlslInclude> Includes;  // in the order the compiler meets them
	size_t Expanded = 0;  // tokens the macros added
	size_t Work = 0;      // characters read and tokens taken through the expansion
};

// Preprocesses the preamble, then the source of `file`, with the includes
// they read. False with "file:line: reason" in `error`; the preamble's lines
// are named "macros".
bool preprocessHlsl(const std::string& file, const std::string& preamble, const std::string& source,
	const HlslIncludeReader& read, SHlslText& out, std::string& error);

// Finds and reads an included file through the file layer: "header"
// relative to the including file's folder first, then both forms through the
// data search. Sets its name and contents; false when none reads.
bool readHlslInclude(const std::string& header, bool quoted, const std::string& from, std::string& name,
	std::string& contents);
} // namespace ze
