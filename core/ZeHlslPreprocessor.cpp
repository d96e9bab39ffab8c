// The shader code's preprocessing before glslang: conditionals resolved and
// blanked, macro replacement counted against a budget.
#include "core/ZeHlslPreprocessor.h"

#include "core/ZeIfExpression.h"
#include "frame/ZeFile.h"

#include <irrlicht.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <unordered_map>
#include <utility>

namespace ze
{
namespace
{
using irr::u32;

const int MAX_INCLUDE_DEPTH = 16;
const size_t MAX_INCLUDES = 256;         // files read for one stage
const int MAX_ARGUMENT_NESTING = 256;    // calls within the arguments of calls
const size_t MAX_TOKEN_LENGTH = 1024;    // of tokens that # and ## make
const char* const PREAMBLE_NAME = "macros";
// What the compiler's #if reads for __VERSION__ and __FILE__ (whatever a
// macro of the name says).
const char* const COMPILER_VERSION = "500";
const char* const COMPILER_FILE = "0";

// ---- Tokens ---------------------------------------------------------------------
enum ETokenKind : irr::u8
{
	TK_IDENT,
	TK_NUMBER,
	TK_STRING,  // "..." and '...'
	TK_PUNCT
};

struct SToken
{
	u32 Text;         // its spelling's number
	ETokenKind Kind;
	bool Space;       // blank before it on its line
};

bool isIdentStart(char c)
{
	return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool isIdentChar(char c)
{
	return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool isDigit(char c)
{
	return c >= '0' && c <= '9';
}

// As for the compiler, a carriage return ends a line as a newline does (one
// line end with a newline after it); only newlines count lines.
bool isLineEnd(char c)
{
	return c == '\n' || c == '\r';
}

// The value of a character constant as the compiler's #if reads it: one
// character, or a backslash and one (C's letters for control characters; any
// other stands for itself, but no octal or hexadecimal escapes).
bool characterValue(const std::string& s, long long* value)
{
	static const char ESCAPES[] = "a\ab\bf\fn\nr\rt\tv\v";
	const bool escaped = s.size() == 4 && s[1] == '\\';
	if ((s.size() != 3 && !escaped) || s.front() != '\'' || s.back() != '\'')
		return false;
	const char c = s[s.size() - 2];
	if (static_cast<unsigned char>(c) >= 0x80 || (!escaped && (c == '\\' || c == '\''))
		|| (escaped && (isDigit(c) || c == 'x')))
		return false;
	*value = c;
	for (size_t i = 0; escaped && i + 1 < sizeof(ESCAPES); i += 2)
		if (ESCAPES[i] == c)
			*value = ESCAPES[i + 1];
	return true;
}

// The end of the token at `at` (not blank, not a comment, not a newline).
size_t scanToken(const std::string& s, size_t at, ETokenKind& kind)
{
	static const char* const PUNCTUATORS[] = { "<<=", ">>=", "...", "##", "<<", ">>", "<=", ">=", "==", "!=", "&&",
		"||", "++", "--", "->", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "::" };
	const size_t n = s.size();
	const char c = s[at];
	if (isIdentStart(c))
	{
		kind = TK_IDENT;
		while (++at < n && isIdentChar(s[at]))
			;
		return at;
	}
	if (isDigit(c) || (c == '.' && at + 1 < n && isDigit(s[at + 1])))
	{
		// A preprocessing number: "1.5e+3f", "0x1F", "2.xy" alike; as for the
		// compiler, "0x1E+1" is a number and a sum.
		kind = TK_NUMBER;
		const char* const exponents = c == '0' && at + 1 < n && (s[at + 1] == 'x' || s[at + 1] == 'X') ? "pP" : "eEpP";
		while (++at < n)
		{
			const char d = s[at];
			if (!isIdentChar(d) && d != '.' && !((d == '+' || d == '-') && std::strchr(exponents, s[at - 1])))
				break;
		}
		return at;
	}
	if (c == '"' || c == '\'')
	{
		kind = TK_STRING;
		++at;
		while (at < n && !isLineEnd(s[at]) && s[at] != c)
			at += s[at] == '\\' && at + 1 < n && !isLineEnd(s[at + 1]) ? 2 : 1;
		return at < n && s[at] == c ? at + 1 : at;
	}
	kind = TK_PUNCT;
	for (const char* p : PUNCTUATORS)
		if (s.compare(at, std::strlen(p), p) == 0)
			return at + std::strlen(p);
	return at + 1;
}

// Every spelling met, numbered once.
class CSpellings
{
public:
	u32 id(const std::string& text)
	{
		const auto found = Ids.emplace(text, static_cast<u32>(Texts.size()));
		if (found.second)
			Texts.push_back(&found.first->first);
		return found.first->second;
	}
	const std::string& text(u32 id) const { return *Texts[id]; }
	size_t size() const { return Texts.size(); }

private:
	std::unordered_map<std::string, u32> Ids;
	std::vector<const std::string*> Texts;  // the keys of Ids, which stay put
};

// ---- Files ------------------------------------------------------------------------
// A text with its backslash-newlines taken out, and where they were.
class CSplicedText
{
public:
	explicit CSplicedText(const std::string& original)
	{
		Text.reserve(original.size());
		for (size_t i = 0; i < original.size();)
		{
			const size_t splice = spliceAt(original, i);
			if (!splice)
			{
				Text += original[i++];
				continue;
			}
			i += splice;
			Cuts.emplace_back(Text.size(), i - Text.size());
		}
	}

	// The position in the original text of position `at`.
	size_t original(size_t at) const
	{
		const auto after = std::upper_bound(Cuts.begin(), Cuts.end(), at,
			[](size_t a, const std::pair<size_t, size_t>& cut) { return a < cut.first; });
		return at + (after == Cuts.begin() ? 0 : std::prev(after)->second);
	}

	std::string Text;

private:
	static size_t spliceAt(const std::string& s, size_t i)
	{
		if (s[i] != '\\' || i + 1 >= s.size() || !isLineEnd(s[i + 1]))
			return 0;
		return i + 2 < s.size() && s[i + 1] == '\r' && s[i + 2] == '\n' ? 3 : 2;
	}

	std::vector<std::pair<size_t, size_t>> Cuts;  // position in Text, characters taken out before it
};

// One line as the preprocessing sees it: physical lines joined by
// backslash-newlines and by block comments that go on past a line's end.
struct SLine
{
	size_t Begin = 0;  // in the spliced text
	size_t End = 0;    // past its newline
	std::vector<SToken> Tokens;
	std::vector<size_t> Ends;  // where each token ends
};

// An open #if; as for the compiler, it may end in another file than its own.
struct SCondition
{
	SIfBranch Branch;
	std::string Where;
};

// A file being read: its lines and the text handed on.
struct SFile
{
	SFile(std::string name, std::string text, int slot, int depth)
		: Name(std::move(name)), Original(std::move(text)), Spliced(Original), Slot(slot), Depth(depth)
	{
	}

	std::string Name;
	std::string Original;
	CSplicedText Spliced;
	int Slot;             // -2 the preamble, -1 the source, else an include's index
	int Depth;
	size_t Pos = 0;       // in the spliced text
	size_t Copied = 0;    // original characters handed on
	u32 Line = 1;         // physical line of the next line
	long long LineShift = 0;  // #line's number less the physical one
};

struct SMacro
{
	bool FunctionLike = false;
	std::vector<u32> Params;
	std::vector<SToken> Body;
};

class CExpansion;

// ---- The preprocessing ------------------------------------------------------------
class CPreprocessor
{
public:
	CPreprocessor(const HlslIncludeReader& read, SHlslText& out) : Read(read), Out(out)
	{
		Defined = Spellings.id("defined");
		LineMacro = Spellings.id("__LINE__");
		FileMacro = Spellings.id("__FILE__");
		VersionMacro = Spellings.id("__VERSION__");
		Open = Spellings.id("(");
		Close = Spellings.id(")");
		OpenBrace = Spellings.id("{");
		CloseBrace = Spellings.id("}");
		Comma = Spellings.id(",");
		Hash = Spellings.id("#");
		HashHash = Spellings.id("##");
	}

	bool run(const std::string& file, const std::string& preamble, const std::string& source);

	// The next token of the kept lines of code, reading lines (and acting on
	// their directives) as needed; false at the end or on failure.
	bool nextCode(SToken& t);
	// Spends n tokens of the budget; false (failed) past it.
	bool spend(size_t n);
	bool fail(const std::string& text)
	{
		if (Error.empty())
			Error = (Where.empty() ? "" : Where + ": ") + text;
		return false;
	}
	bool failed() const { return !Error.empty(); }

	const SMacro* macro(u32 name) const
	{
		const auto found = Macros.find(name);
		return found == Macros.end() ? nullptr : &found->second;
	}
	bool busy(u32 name) const { return name < Busy.size() && Busy[name]; }
	void setBusy(u32 name, bool on)
	{
		if (name >= Busy.size())
			Busy.resize(Spellings.size() + 1, 0);
		Busy[name] = on;
	}
	bool is(const SToken& t, u32 spelling) const { return t.Kind == TK_PUNCT && t.Text == spelling; }
	SToken lineNumber() { return { Spellings.id(std::to_string(CurrentLine)), TK_NUMBER, true }; }
	// The compiler's own value of __LINE__, __FILE__ or __VERSION__ in #if
	// lines, which no macro of the name changes; false for other tokens.
	bool builtin(SToken& t)
	{
		if (t.Kind != TK_IDENT || (t.Text != LineMacro && t.Text != FileMacro && t.Text != VersionMacro))
			return false;
		t = t.Text == LineMacro ? lineNumber()
			: SToken{ Spellings.id(t.Text == FileMacro ? COMPILER_FILE : COMPILER_VERSION), TK_NUMBER, true };
		return true;
	}

	CSpellings Spellings;
	u32 Defined, LineMacro, FileMacro, VersionMacro, Open, Close, OpenBrace, CloseBrace, Comma, Hash, HashHash;
	std::string Error;
	SHlslText& text() { return Out; }

private:
	bool readLine(SFile& f, SLine& line);
	void handOn(SFile& f, const SLine& line, bool blank);
	std::string& output(const SFile& f)
	{
		return f.Slot == -2 ? Out.Preamble : f.Slot == -1 ? Out.Source : Out.Includes[size_t(f.Slot)].Text;
	}
	bool readCode();
	bool directive(SFile& f, const SLine& line, bool active);
	bool define(const std::vector<SToken>& tokens);
	bool include(SFile& f, const SLine& line);
	EExprError evaluate(const std::vector<SToken>& tokens, size_t first, bool prefix, long long* value);
	bool condition(const SLine& line, bool* value);
	std::string lineText(const SLine& line, size_t token) const;

	const HlslIncludeReader& Read;
	SHlslText& Out;
	std::vector<std::unique_ptr<SFile>> Files;  // the file being read last
	std::vector<SCondition> Conditions;
	std::unordered_map<u32, SMacro> Macros;
	std::vector<char> Busy;      // by spelling: a macro being replaced
	std::vector<SToken> Code;    // the kept line of code being read
	size_t CodeAt = 0;
	std::string Where;           // "file:line" of the line being read
	long long CurrentLine = 0;   // its number as #line sets it
};

// Macro replacement over the kept lines of code, or over a list of tokens
// (an argument of a call, an #if line). Replacements are frames, read before
// what follows them; a macro is not replaced again while its frame is open.
// In a condition, `defined` and its operand stay as they are, also where
// macros make them, and the compiler's own macros read its values.
class CExpansion
{
public:
	CExpansion(CPreprocessor& pre, const std::vector<SToken>* list, int depth, bool condition)
		: Pre(pre), List(list), Depth(depth), Condition(condition)
	{
	}

	// The next token after replacement; false at the end or on failure.
	bool next(SToken& t);

private:
	struct SFrame
	{
		std::vector<SToken> Tokens;
		size_t At;
		u32 Macro;
		bool Owns;  // the macro is busy while the frame is open
	};

	bool raw(SToken& t);
	void push(std::vector<SToken> tokens, u32 macro, bool owns)
	{
		if (owns)
			Pre.setBusy(macro, true);
		Frames.push_back({ std::move(tokens), 0, macro, owns });
	}
	bool arguments(u32 name, const SMacro& m, std::vector<std::vector<SToken>>& args);
	bool expandArguments(const std::vector<std::vector<SToken>>& args, std::vector<std::vector<SToken>>& expanded);
	bool substitute(const SMacro& m, const std::vector<std::vector<SToken>>& args,
		const std::vector<std::vector<SToken>>& expanded, std::vector<SToken>& out);
	bool append(std::vector<SToken>& out, const std::vector<SToken>& tokens)
	{
		if (!Pre.spend(tokens.size()))
			return false;
		out.insert(out.end(), tokens.begin(), tokens.end());
		return true;
	}
	bool stringize(const std::vector<SToken>& arg, SToken& out);
	bool paste(const SToken& left, const SToken& right, SToken& out);

	CPreprocessor& Pre;
	const std::vector<SToken>* List;
	size_t ListAt = 0;
	int Depth;
	bool Condition;
	int AfterDefined = 0;  // 1 after `defined`, 2 after `defined (`
	std::vector<SFrame> Frames;
};

bool CExpansion::raw(SToken& t)
{
	while (!Frames.empty())
	{
		SFrame& f = Frames.back();
		if (f.At < f.Tokens.size())
		{
			t = f.Tokens[f.At++];
			++Pre.text().Work;
			return true;
		}
		if (f.Owns)
			Pre.setBusy(f.Macro, false);
		Frames.pop_back();
	}
	if (!List)
		return Pre.nextCode(t);
	if (ListAt >= List->size())
		return false;
	t = (*List)[ListAt++];
	++Pre.text().Work;
	return true;
}

bool CExpansion::next(SToken& t)
{
	for (;;)
	{
		if (!raw(t))
			return false;
		if (Condition)
		{
			const bool operand = AfterDefined && t.Kind == TK_IDENT;
			AfterDefined = t.Kind == TK_IDENT && t.Text == Pre.Defined && !operand ? 1
				: AfterDefined == 1 && Pre.is(t, Pre.Open) ? 2 : 0;
			if (operand || AfterDefined || Pre.builtin(t))
				return true;
		}
		if (t.Kind != TK_IDENT || Pre.busy(t.Text))
			return true;
		const SMacro* found = Pre.macro(t.Text);
		if (!found)
		{
			if (t.Text == Pre.LineMacro)
				t = Pre.lineNumber();
			return true;
		}
		// Lines read while a call's arguments are gathered may change the
		// definition: work on a copy.
		SMacro m = *found;
		std::vector<SToken> replaced;
		if (!m.FunctionLike)
		{
			if (!Pre.spend(m.Body.empty() ? 1 : 0) || !substitute(m, {}, {}, replaced))
				return false;
			push(std::move(replaced), t.Text, true);
			continue;
		}
		SToken open;
		if (!raw(open))
			return !Pre.failed();  // the name alone ends the text
		if (!Pre.is(open, Pre.Open))
		{
			push({ open }, 0, false);
			return true;
		}
		std::vector<std::vector<SToken>> args, expanded;
		if (!arguments(t.Text, m, args) || !Pre.spend(1) || !expandArguments(args, expanded)
			|| !substitute(m, args, expanded, replaced))
			return false;
		push(std::move(replaced), t.Text, true);
	}
}

bool CExpansion::arguments(u32 name, const SMacro& m, std::vector<std::vector<SToken>>& args)
{
	// As for the compiler, braces group an argument's commas as parentheses
	// do; a closing one that matches no opening one is a plain token.
	args.emplace_back();
	std::vector<u32> open;
	for (;;)
	{
		SToken a;
		if (!raw(a))
			return Pre.fail("unterminated call of macro '" + Pre.Spellings.text(name) + "'");
		if (Pre.is(a, Pre.Close) && open.empty())
			break;
		if (Pre.is(a, Pre.Comma) && open.empty())
		{
			args.emplace_back();
			continue;
		}
		if (Pre.is(a, Pre.Open) || Pre.is(a, Pre.OpenBrace))
			open.push_back(a.Text);
		else if (!open.empty() && ((Pre.is(a, Pre.Close) && open.back() == Pre.Open)
			|| (Pre.is(a, Pre.CloseBrace) && open.back() == Pre.OpenBrace)))
			open.pop_back();
		args.back().push_back(a);
	}
	if (m.Params.empty() && args.size() == 1 && args[0].empty())
		args.clear();
	if (args.size() != m.Params.size())
		return Pre.fail("macro '" + Pre.Spellings.text(name) + "' takes " + std::to_string(m.Params.size())
			+ " arguments, not " + std::to_string(args.size()));
	return true;
}

// As the compiler does, every argument is replaced whole before the call's
// replacement, used or not, and '##' joins replaced arguments.
bool CExpansion::expandArguments(const std::vector<std::vector<SToken>>& args,
	std::vector<std::vector<SToken>>& expanded)
{
	if (!args.empty() && Depth >= MAX_ARGUMENT_NESTING)
		return Pre.fail("macro calls nest deeper than " + std::to_string(MAX_ARGUMENT_NESTING) + " levels in arguments");
	for (const std::vector<SToken>& arg : args)
	{
		expanded.emplace_back();
		CExpansion argument(Pre, &arg, Depth + 1, Condition);
		SToken t;
		while (argument.next(t))
			expanded.back().push_back(t);
		if (Pre.failed())
			return false;
	}
	return true;
}

bool CExpansion::substitute(const SMacro& m, const std::vector<std::vector<SToken>>& args,
	const std::vector<std::vector<SToken>>& expanded, std::vector<SToken>& out)
{
	auto param = [&](const SToken& t) -> int {
		if (t.Kind != TK_IDENT)
			return -1;
		const auto found = std::find(m.Params.begin(), m.Params.end(), t.Text);
		return found == m.Params.end() ? -1 : int(found - m.Params.begin());
	};
	const std::vector<SToken>& body = m.Body;
	for (size_t i = 0; i < body.size(); ++i)
	{
		const SToken& b = body[i];
		const int p = param(b);
		const int nextParam = i + 1 < body.size() ? param(body[i + 1]) : -1;
		if (Pre.is(b, Pre.Hash) && nextParam >= 0)
		{
			SToken s;
			if (!stringize(args[size_t(nextParam)], s) || !append(out, { s }))
				return false;
			++i;
		}
		else if (Pre.is(b, Pre.HashHash) && !out.empty() && i + 1 < body.size())
		{
			const std::vector<SToken> right =
				nextParam >= 0 ? expanded[size_t(nextParam)] : std::vector<SToken>{ body[i + 1] };
			++i;
			if (right.empty())
				continue;
			SToken joined;
			if (!paste(out.back(), right[0], joined))
				return false;
			out.back() = joined;
			if (!append(out, std::vector<SToken>(right.begin() + 1, right.end())))
				return false;
		}
		else if (!append(out, p >= 0 ? expanded[size_t(p)] : std::vector<SToken>{ b }))
			return false;
	}
	return true;
}

bool CExpansion::stringize(const std::vector<SToken>& arg, SToken& out)
{
	std::string s = "\"";
	size_t i = 0;
	for (; i < arg.size() && s.size() <= MAX_TOKEN_LENGTH; ++i)
	{
		if (i && arg[i].Space)
			s += ' ';
		for (char c : Pre.Spellings.text(arg[i].Text))
			s += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
	}
	s += '"';
	if (!Pre.spend(i))
		return false;
	if (s.size() > MAX_TOKEN_LENGTH)
		return Pre.fail("'#' makes a string longer than " + std::to_string(MAX_TOKEN_LENGTH) + " characters");
	out = { Pre.Spellings.id(s), TK_STRING, true };
	return true;
}

bool CExpansion::paste(const SToken& left, const SToken& right, SToken& out)
{
	const std::string joined = Pre.Spellings.text(left.Text) + Pre.Spellings.text(right.Text);
	if (joined.size() > MAX_TOKEN_LENGTH)
		return Pre.fail("'##' makes a token longer than " + std::to_string(MAX_TOKEN_LENGTH) + " characters");
	ETokenKind kind;
	if (scanToken(joined, 0, kind) != joined.size())
		return Pre.fail("'##' does not make one token of '" + Pre.Spellings.text(left.Text) + "' and '"
			+ Pre.Spellings.text(right.Text) + "'");
	out = { Pre.Spellings.id(joined), kind, left.Space };
	return true;
}

// ---- Lines and directives -----------------------------------------------------------
bool CPreprocessor::readLine(SFile& f, SLine& line)
{
	const std::string& s = f.Spliced.Text;
	const size_t n = s.size();
	if (f.Pos >= n)
		return false;
	line.Begin = f.Pos;
	line.Tokens.clear();
	line.Ends.clear();
	size_t& at = f.Pos;
	bool space = false;
	while (at < n)
	{
		const char c = s[at];
		if (isLineEnd(c))
		{
			at += c == '\r' && at + 1 < n && s[at + 1] == '\n' ? 2 : 1;
			break;
		}
		if (c == ' ' || c == '\t' || c == '\v' || c == '\f')
		{
			++at;
			space = true;
			continue;
		}
		if (c == '/' && at + 1 < n && s[at + 1] == '*')
		{
			const size_t end = s.find("*/", at + 2);
			at = end == std::string::npos ? n : end + 2;
			space = true;
			continue;
		}
		if (c == '/' && at + 1 < n && s[at + 1] == '/')
		{
			at = std::min(s.find_first_of("\r\n", at), n);
			continue;
		}
		ETokenKind kind;
		const size_t end = scanToken(s, at, kind);
		line.Tokens.push_back({ Spellings.id(s.substr(at, end - at)), kind, space });
		line.Ends.push_back(end);
		at = end;
		space = false;
	}
	line.End = at;
	Out.Work += line.End - line.Begin;
	return true;
}

// Hands the line on as it is or blank (its line ends only).
void CPreprocessor::handOn(SFile& f, const SLine& line, bool blank)
{
	const size_t from = f.Copied, to = f.Spliced.original(line.End);
	const auto begin = f.Original.begin() + long(from), end = f.Original.begin() + long(to);
	std::string& out = output(f);
	if (blank)
		std::copy_if(begin, end, std::back_inserter(out), isLineEnd);
	else
		out.append(begin, end);
	f.Line += static_cast<u32>(std::count(begin, end, '\n'));
	f.Copied = to;
}

// The line's text from its token `token` on.
std::string CPreprocessor::lineText(const SLine& line, size_t token) const
{
	std::string text;
	for (size_t i = token; i < line.Tokens.size(); ++i)
		text += (i > token && line.Tokens[i].Space ? " " : "") + Spellings.text(line.Tokens[i].Text);
	return text;
}

bool CPreprocessor::readCode()
{
	while (!Files.empty())
	{
		SFile& f = *Files.back();
		SLine line;
		if (!readLine(f, line))
		{
			Files.pop_back();
			continue;
		}
		CurrentLine = f.Line + f.LineShift;
		Where = f.Name + ":" + std::to_string(f.Line);
		const bool active = Conditions.empty() || Conditions.back().Branch.Active;
		if (!line.Tokens.empty() && is(line.Tokens[0], Hash))
		{
			if (!directive(f, line, active))
				return false;
			continue;
		}
		handOn(f, line, !active);
		if (active && !line.Tokens.empty())
		{
			Code = std::move(line.Tokens);
			CodeAt = 0;
			return true;
		}
	}
	return false;
}

bool CPreprocessor::nextCode(SToken& t)
{
	while (CodeAt >= Code.size())
		if (failed() || !readCode())
			return false;
	t = Code[CodeAt++];
	++Out.Work;
	return true;
}

bool CPreprocessor::spend(size_t n)
{
	Out.Expanded += n;
	Out.Work += n;
	if (Out.Expanded > HLSL_MAX_EXPANDED_TOKENS)
		return fail("macros in the shader code expand to more than " + std::to_string(HLSL_MAX_EXPANDED_TOKENS)
			+ " tokens in the file and its includes");
	return true;
}

bool CPreprocessor::directive(SFile& f, const SLine& line, bool active)
{
	const std::vector<SToken>& tokens = line.Tokens;
	const std::string name = tokens.size() > 1 && tokens[1].Kind == TK_IDENT ? Spellings.text(tokens[1].Text) : "";
	const bool conditional = name == "if" || name == "ifdef" || name == "ifndef" || name == "elif" || name == "else"
		|| name == "endif";
	handOn(f, line, conditional || !active);
	std::vector<SCondition>& stack = Conditions;
	if (name == "if" || name == "ifdef" || name == "ifndef")
	{
		bool value = false;
		if (active && name == "if" && !condition(line, &value))
			return false;
		if (active && name != "if")
		{
			if (tokens.size() < 3 || tokens[2].Kind != TK_IDENT)
				return fail("#" + name + " needs a macro name");
			value = (Macros.count(tokens[2].Text) != 0) == (name == "ifdef");
		}
		stack.push_back({ SIfBranch::open(active, value), Where });
		return true;
	}
	if (name == "elif" || name == "else")
	{
		if (stack.empty() || stack.back().Branch.ElseSeen)
			return fail("#" + name + " without #if");
		SIfBranch& top = stack.back().Branch;
		bool value = false;
		if (name == "elif" && top.needsCondition() && !condition(line, &value))
			return false;
		top.next(name == "else", value);
		return true;
	}
	if (name == "endif")
	{
		if (stack.empty())
			return fail("#endif without #if");
		stack.pop_back();
		return true;
	}
	if (!active)
		return true;
	if (name == "define")
		return define(tokens);
	if (name == "undef")
	{
		if (tokens.size() < 3 || tokens[2].Kind != TK_IDENT)
			return fail("#undef needs a macro name");
		Macros.erase(tokens[2].Text);
		return true;
	}
	if (name == "include")
		return include(f, line);
	if (name == "line")
	{
		// The number of the next line, from the expression before the file
		// name; the compiler reports a line it cannot read.
		long long number = 0;
		const EExprError error = evaluate(tokens, 2, true, &number);
		if (error == EE_EXPANSION)
			return false;
		if (!error && number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max())
			f.LineShift = number - f.Line;
	}
	return true;  // #error, #pragma and others are the compiler's
}

bool CPreprocessor::define(const std::vector<SToken>& tokens)
{
	if (tokens.size() < 3 || tokens[2].Kind != TK_IDENT)
		return fail("#define needs a macro name");
	SMacro m;
	size_t at = 3;
	if (at < tokens.size() && is(tokens[at], Open) && !tokens[at].Space)
	{
		m.FunctionLike = true;
		++at;
		bool expectName = true;
		for (;; ++at)
		{
			if (at >= tokens.size())
				return fail("#define of '" + Spellings.text(tokens[2].Text) + "' has malformed parameters");
			const SToken& t = tokens[at];
			if (is(t, Close) && (!expectName || m.Params.empty()))
				break;
			if (expectName && t.Kind == TK_IDENT
				&& std::find(m.Params.begin(), m.Params.end(), t.Text) == m.Params.end())
				m.Params.push_back(t.Text);
			else if (expectName || !is(t, Comma))
				return fail("#define of '" + Spellings.text(tokens[2].Text) + "' has malformed parameters");
			expectName = !expectName;
		}
		++at;
	}
	// '##' may begin or end it: the compiler finds fault only where it is used.
	m.Body.assign(tokens.begin() + long(at), tokens.end());
	Macros[tokens[2].Text] = std::move(m);
	return true;
}

bool CPreprocessor::include(SFile& f, const SLine& line)
{
	// The name as written, from the line's text (blanks within it count).
	const std::string& s = f.Spliced.Text;
	size_t at = line.Ends[1];
	while (at < line.End && (s[at] == ' ' || s[at] == '\t'))
		++at;
	const char open = at < line.End ? s[at] : '\0';
	const size_t close = open == '"' ? s.find('"', at + 1) : open == '<' ? s.find('>', at + 1) : std::string::npos;
	if (close == std::string::npos || close >= line.End)
		return fail("#include needs a quoted file name");
	const std::string header = s.substr(at + 1, close - at - 1);
	if (f.Depth >= MAX_INCLUDE_DEPTH)
		return fail("includes nest too deep");
	if (Out.Includes.size() >= MAX_INCLUDES)
		return fail("includes read more than " + std::to_string(MAX_INCLUDES) + " files");
	std::string name, text;
	if (!Read(header, open == '"', f.Name, name, text))
		return fail("cannot open include file '" + header + "'");
	Out.Includes.push_back({ header, name, "" });
	Files.push_back(std::make_unique<SFile>(name, std::move(text), int(Out.Includes.size() - 1), f.Depth + 1));
	return true;
}

// The value of the expression in tokens[first..] once its macros are
// replaced; a `prefix` may end before the line does. EE_EXPANSION when the
// preprocessing failed (the reason in Error).
EExprError CPreprocessor::evaluate(const std::vector<SToken>& tokens, size_t first, bool prefix, long long* value)
{
	const std::vector<SToken> line(tokens.begin() + long(std::min(first, tokens.size())), tokens.end());
	std::vector<SToken> expanded;
	CExpansion expansion(*this, &line, 1, true);
	SToken t;
	while (expansion.next(t))
		expanded.push_back(t);
	if (failed())
		return EE_EXPANSION;
	// "defined NAME" and "defined ( NAME )", as the expansion left them.
	auto definedAt = [&](size_t i, size_t* end) -> int {
		const bool paren = i + 1 < expanded.size() && is(expanded[i + 1], Open);
		const size_t name = i + (paren ? 2 : 1);
		if (name >= expanded.size() || expanded[name].Kind != TK_IDENT
			|| (paren && (name + 1 >= expanded.size() || !is(expanded[name + 1], Close))))
			return -1;
		*end = name + (paren ? 2 : 1);
		return Macros.count(expanded[name].Text) ? 1 : 0;
	};
	std::vector<SExprToken> expression;
	EExprError error = EE_NONE;
	for (size_t i = 0; i < expanded.size(); ++i)
	{
		const SToken& e = expanded[i];
		const std::string& spelling = Spellings.text(e.Text);
		SExprToken x{ SExprToken::NUMBER, "", 0, 0 };
		EExprError bad = EE_NONE;
		size_t end = 0;
		if (e.Kind == TK_PUNCT)
		{
			x.Kind = SExprToken::OP;
			x.Text = spelling;
		}
		else if (e.Kind == TK_IDENT && e.Text == Defined)
		{
			x.Value = definedAt(i, &end);
			if (x.Value < 0)
				bad = EE_MALFORMED;
			else
				i = end - 1;
		}
		else if (e.Kind == TK_NUMBER)
		{
			bad = readExprNumber(spelling, end, &x.Value);
			if (!bad && end != spelling.size())
				bad = EE_MALFORMED;
		}
		else if (e.Kind == TK_STRING && !characterValue(spelling, &x.Value))
			bad = EE_MALFORMED;
		if (bad)
		{
			error = prefix ? EE_NONE : bad;  // a prefix ends before it
			break;
		}
		expression.push_back(x);
	}
	if (!error && expression.empty())
		error = EE_MALFORMED;
	size_t used = 0;
	return error ? error : evaluateExpr(expression, value, prefix ? &used : nullptr);
}

bool CPreprocessor::condition(const SLine& line, bool* value)
{
	long long result = 0;
	const EExprError error = evaluate(line.Tokens, 2, false, &result);
	if (error == EE_EXPANSION)
		return false;
	if (error)
		return fail(exprErrorMessage(error, lineText(line, 2)));
	*value = result != 0;
	return true;
}

bool CPreprocessor::run(const std::string& file, const std::string& preamble, const std::string& source)
{
	Files.push_back(std::make_unique<SFile>(file, source, -1, 0));
	Files.push_back(std::make_unique<SFile>(PREAMBLE_NAME, preamble, -2, 0));
	CExpansion code(*this, nullptr, 0, false);
	SToken t;
	while (code.next(t))
		;
	if (!failed() && !Conditions.empty())
	{
		Where = Conditions.back().Where;
		return fail("#if without #endif");
	}
	return !failed();
}
} // namespace

bool preprocessHlsl(const std::string& file, const std::string& preamble, const std::string& source,
	const HlslIncludeReader& read, SHlslText& out, std::string& error)
{
	out = SHlslText();
	CPreprocessor pre(read, out);
	if (pre.run(file, preamble, source))
		return true;
	error = pre.Error;
	return false;
}

bool readHlslInclude(const std::string& header, bool quoted, const std::string& from, std::string& name,
	std::string& contents)
{
	name = std::string(zeFileGetDirPart(from.c_str())) + header;
	if (!quoted || !zeFileExist(name.c_str()))
		name = zeFindDataFile(header.c_str());
	if (!zeFileExist(name.c_str()))
		return false;
	long size = 0;
	char* data = zeReadFile(name.c_str(), &size);
	if (!data)
		return false;
	contents.assign(data, static_cast<size_t>(size));
	delete[] data;
	return true;
}
} // namespace ze
