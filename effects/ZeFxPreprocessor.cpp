// Effect files: a minimal C preprocessor that keeps the active "//ZELV_PP:"
// lines.
#include "effects/ZeFxPreprocessor.h"

#include "core/ZeIfExpression.h"
#include "frame/ZeFile.h"

#include <deque>
#include <unordered_map>
#include <utility>

using namespace irr;
using namespace zefx;
using namespace ze;

namespace
{
const char* const MARKER = "//ZELV_PP:";
const int MAX_INCLUDE_DEPTH = 16;
const size_t MAX_INCLUDES = 256;  // files read for one effect

// ---- #if expressions ----------------------------------------------------------------
// Limits that keep hostile expressions from exhausting the stack or memory.
// The tokens that macros add are counted over the whole file with its
// includes, so that the work of all its #if lines together is bounded.
const size_t MAX_EXPANDED_TOKENS = 65536;
const int MAX_MACRO_NESTING = 256;

std::string exprMessage(EExprError error, const std::string& expr)
{
	switch (error)
	{
	case EE_EXPANSION:
		return "macros in #if expressions expand to more than " + std::to_string(MAX_EXPANDED_TOKENS) +
			" tokens in the file and its includes";
	case EE_MACRO_NESTING:
		return "macros in #if expression nest deeper than " + std::to_string(MAX_MACRO_NESTING) + " levels";
	default:
		return exprErrorMessage(error, expr);
	}
}

// A name of the macro table: defined or not, and the value's tokens once an
// expression has read them (read again only after a new definition).
struct SMacro
{
	bool Defined = false;
	bool FunctionLike = false;
	std::string Value;
	bool Read = false;
	EExprError ReadError = EE_NONE;
	std::vector<SExprToken> Tokens;
	bool Expanding = false;
};

// Every name the preprocessing meets, numbered when first met, so that an
// expansion finds a macro without comparing names.
class CZeMacroTable
{
public:
	CZeMacroTable() { id("defined"); }

	static constexpr u32 DEFINED = 0;  // "defined", numbered first

	u32 id(const std::string& name)
	{
		const auto found = Ids.emplace(name, static_cast<u32>(Macros.size()));
		if (found.second)
			Macros.emplace_back();
		return found.first->second;
	}
	SMacro& operator[](u32 id) { return Macros[id]; }
	void define(const std::string& name, const std::string& value, bool functionLike)
	{
		SMacro& m = Macros[id(name)];
		m = SMacro();
		m.Defined = true;
		m.FunctionLike = functionLike;
		m.Value = value;
	}
	void undefine(const std::string& name)
	{
		const auto found = Ids.find(name);
		if (found != Ids.end())
			Macros[found->second] = SMacro();
	}
	bool isDefined(const std::string& name) const
	{
		const auto found = Ids.find(name);
		return found != Ids.end() && Macros[found->second].Defined;
	}

private:
	std::unordered_map<std::string, u32> Ids;
	std::deque<SMacro> Macros;  // stable while an expansion reads them
};

EExprError tokenizeExpr(const std::string& text, CZeMacroTable& names, std::vector<SExprToken>* out)
{
	static const char* const ops[] = {"&&", "||", "==", "!=", "<=", ">=", "<<", ">>", "(", ")", "!", "~", "-", "+",
		"*", "/", "%", "<", ">", "&", "^", "|", "?", ":"};
	size_t i = 0;
	while (i < text.size())
	{
		const char c = text[i];
		if (std::isspace(static_cast<unsigned char>(c)))
		{
			++i;
			continue;
		}
		if (std::isdigit(static_cast<unsigned char>(c)))
		{
			long long v = 0;
			if (readExprNumber(text, i, &v))
				return EE_CONSTANT;
			out->push_back({SExprToken::NUMBER, "", v, 0});
			continue;
		}
		if (isIdentStart(c))
		{
			size_t j = i;
			while (j < text.size() && isIdentChar(text[j]))
				++j;
			out->push_back({SExprToken::IDENT, "", 0, names.id(text.substr(i, j - i))});
			i = j;
			continue;
		}
		bool found = false;
		for (const char* op : ops)
		{
			const size_t n = std::char_traits<char>::length(op);
			if (text.compare(i, n, op) == 0)
			{
				out->push_back({SExprToken::OP, op, 0, 0});
				i += n;
				found = true;
				break;
			}
		}
		if (!found)
			return EE_MALFORMED;
	}
	return EE_NONE;
}

// Replaces "defined X" by 0/1 and macros by their values; unknown names read
// 0. Every replacement spends the value's tokens from the file's budget, and
// macros within macros nest to a bound.
class CZeExprExpander
{
public:
	CZeExprExpander(CZeMacroTable& macros, size_t& spent, size_t& work) : Macros(macros), Spent(spent), Work(work) {}

	EExprError expand(const std::vector<SExprToken>& in, std::vector<SExprToken>* out, int depth = 0);

private:
	// A macro's value as tokens, read once per definition.
	EExprError read(SMacro& m)
	{
		if (!m.Read)
		{
			Work += m.Value.size();
			m.ReadError = tokenizeExpr(m.Value, Macros, &m.Tokens);
			if (m.Tokens.empty())
				m.Tokens.push_back({SExprToken::NUMBER, "", 0, 0});
			m.Read = true;
		}
		return m.ReadError;
	}

	CZeMacroTable& Macros;
	size_t& Spent;
	size_t& Work;
};

EExprError CZeExprExpander::expand(const std::vector<SExprToken>& in, std::vector<SExprToken>* out, int depth)
{
	if (depth > MAX_MACRO_NESTING)
		return EE_MACRO_NESTING;
	for (size_t i = 0; i < in.size(); ++i)
	{
		++Work;
		const SExprToken& t = in[i];
		if (t.Kind != SExprToken::IDENT)
		{
			out->push_back(t);
			continue;
		}
		if (t.Name == CZeMacroTable::DEFINED)
		{
			size_t j = i + 1;
			const bool paren = j < in.size() && in[j].Kind == SExprToken::OP && in[j].Text == "(";
			if (paren)
				++j;
			if (j >= in.size() || in[j].Kind != SExprToken::IDENT)
				return EE_MALFORMED;
			const bool defined = Macros[in[j].Name].Defined;
			if (paren && (j + 1 >= in.size() || in[j + 1].Text != ")"))
				return EE_MALFORMED;
			i = paren ? j + 1 : j;
			out->push_back({SExprToken::NUMBER, "", defined ? 1 : 0, 0});
			continue;
		}
		SMacro& m = Macros[t.Name];
		if (m.Defined && m.FunctionLike && i + 1 < in.size() && in[i + 1].Text == "(")
		{
			// Its arguments are skipped: a call reads 0.
			int nesting = 0;
			for (++i; i < in.size(); ++i)
			{
				++Work;
				nesting += in[i].Text == "(" ? 1 : in[i].Text == ")" ? -1 : 0;
				if (nesting == 0)
					break;
			}
		}
		if (!m.Defined || m.Expanding || m.FunctionLike)
		{
			out->push_back({SExprToken::NUMBER, "", 0, 0});
			continue;
		}
		EExprError error = read(m);
		if (!error)
		{
			Spent += m.Tokens.size();
			if (Spent > MAX_EXPANDED_TOKENS)
				error = EE_EXPANSION;
		}
		if (!error)
		{
			m.Expanding = true;
			error = expand(m.Tokens, out, depth + 1);
			m.Expanding = false;
		}
		if (error)
			return error;
	}
	return EE_NONE;
}

// ---- The preprocessor -----------------------------------------------------------------
struct SCondFrame
{
	ze::SIfBranch Branch;
	u32 Line;
};

class CZePreprocessor
{
public:
	explicit CZePreprocessor(const SZeMacro* macros)
	{
		for (const SZeMacro* m = macros; m && m->Name; ++m)
			Macros.define(m->Name, m->Definition ? m->Definition : "", false);
	}

	bool run(const std::string& file, const std::string& text, int depth);

	std::vector<SDeclLine> Lines;
	std::vector<std::string> Includes;
	std::string Error;
	CZeMacroTable Macros;
	size_t Expanded = 0;  // tokens the macros of #if expressions added, over the file and its includes
	size_t Work = 0;      // characters tokenized and tokens expanded for #if expressions

private:
	bool fail(const std::string& file, u32 line, const std::string& text)
	{
		Error = format(file, line, text);
		return false;
	}
	bool directive(const std::string& file, u32 line, const std::string& text, std::vector<SCondFrame>& stack,
		int depth);
	bool include(const std::string& from, u32 line, const std::string& name, int depth);
	bool evaluate(const std::string& file, u32 line, const std::string& expr, bool* result);
};

bool activeStack(const std::vector<SCondFrame>& stack)
{
	return stack.empty() || stack.back().Branch.Active;
}

// The line without its block comments (state carried across lines); a line
// comment is kept as it is.
std::string stripBlockComments(const std::string& line, bool* inBlock)
{
	std::string out;
	bool inString = false;
	for (size_t i = 0; i < line.size(); ++i)
	{
		const char c = line[i];
		if (*inBlock)
		{
			if (c == '*' && i + 1 < line.size() && line[i + 1] == '/')
			{
				*inBlock = false;
				++i;
				out += ' ';
			}
			continue;
		}
		if (inString)
		{
			out += c;
			if (c == '\\' && i + 1 < line.size())
				out += line[++i];
			else if (c == '"')
				inString = false;
			continue;
		}
		if (c == '"')
			inString = true;
		else if (c == '/' && i + 1 < line.size() && line[i + 1] == '/')
		{
			out += line.substr(i);
			break;
		}
		else if (c == '/' && i + 1 < line.size() && line[i + 1] == '*')
		{
			*inBlock = true;
			++i;
			continue;
		}
		out += c;
	}
	return out;
}

std::string cutLineComment(const std::string& s)
{
	bool inString = false;
	for (size_t i = 0; i + 1 < s.size(); ++i)
	{
		if (s[i] == '"')
			inString = !inString;
		else if (!inString && s[i] == '/' && s[i + 1] == '/')
			return s.substr(0, i);
	}
	return s;
}

bool CZePreprocessor::run(const std::string& file, const std::string& text, int depth)
{
	std::vector<SCondFrame> stack;
	bool inBlock = false;
	size_t pos = 0;
	u32 lineNo = 0;
	while (pos < text.size())
	{
		// One logical line: physical lines joined by a trailing backslash.
		const u32 first = ++lineNo;
		std::string line;
		for (;;)
		{
			size_t end = text.find('\n', pos);
			if (end == std::string::npos)
				end = text.size();
			std::string part = text.substr(pos, end - pos);
			pos = end < text.size() ? end + 1 : end;
			if (!part.empty() && part.back() == '\r')
				part.pop_back();
			if (!part.empty() && part.back() == '\\' && pos < text.size())
			{
				part.pop_back();
				line += part;
				++lineNo;
				continue;
			}
			line += part;
			break;
		}
		const std::string visible = trim(stripBlockComments(line, &inBlock));
		if (!visible.empty() && visible[0] == '#')
		{
			if (!directive(file, first, trim(cutLineComment(visible.substr(1))), stack, depth))
				return false;
			continue;
		}
		if (!activeStack(stack) || visible.compare(0, std::char_traits<char>::length(MARKER), MARKER) != 0)
			continue;
		const std::string decl = trim(visible.substr(std::char_traits<char>::length(MARKER)));
		Lines.push_back({file, first, decl});
		// "define" and "include" lines act on the preprocessing too.
		const size_t space = decl.find_first_of(" \t");
		const std::string keyword = lower(decl.substr(0, space));
		const std::string rest = space == std::string::npos ? "" : trim(decl.substr(space));
		if (keyword == "define")
		{
			const size_t s = rest.find_first_of(" \t");
			const std::string name = rest.substr(0, s);
			if (!isIdentifier(name))
				return fail(file, first, "define needs a macro name");
			Macros.define(name, s == std::string::npos ? "" : trim(rest.substr(s)), false);
		}
		else if (keyword == "include")
		{
			std::string name = rest;
			if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
				name = name.substr(1, name.size() - 2);
			if (name.empty() || name.find_first_of(" \t\"") != std::string::npos)
				return fail(file, first, "include needs one file name");
			if (!include(file, first, name, depth))
				return false;
		}
	}
	if (!stack.empty())
		return fail(file, stack.back().Line, "#if without #endif");
	return true;
}

bool CZePreprocessor::evaluate(const std::string& file, u32 line, const std::string& expr, bool* result)
{
	std::vector<SExprToken> tokens, expanded;
	long long value = 0;
	Work += expr.size();
	EExprError error = expr.empty() ? EE_MALFORMED : tokenizeExpr(expr, Macros, &tokens);
	if (!error)
		error = CZeExprExpander(Macros, Expanded, Work).expand(tokens, &expanded);
	if (!error)
		error = evaluateExpr(expanded, &value);
	if (error)
		return fail(file, line, exprMessage(error, expr));
	*result = value != 0;
	return true;
}

bool CZePreprocessor::directive(const std::string& file, u32 line, const std::string& text,
	std::vector<SCondFrame>& stack, int depth)
{
	size_t n = 0;
	while (n < text.size() && isIdentChar(text[n]))
		++n;
	const std::string name = text.substr(0, n);
	const std::string arg = trim(text.substr(n));
	const bool active = activeStack(stack);

	if (name == "if" || name == "ifdef" || name == "ifndef")
	{
		bool value = false;
		if (active)
		{
			if (name == "if")
			{
				if (!evaluate(file, line, arg, &value))
					return false;
			}
			else
			{
				if (!isIdentifier(arg))
					return fail(file, line, "#" + name + " needs a macro name");
				value = Macros.isDefined(arg) == (name == "ifdef");
			}
		}
		stack.push_back({ze::SIfBranch::open(active, value), line});
		return true;
	}
	if (name == "elif" || name == "else")
	{
		if (stack.empty() || stack.back().Branch.ElseSeen)
			return fail(file, line, "#" + name + " without #if");
		ze::SIfBranch& top = stack.back().Branch;
		bool value = false;
		if (name == "elif" && top.needsCondition() && !evaluate(file, line, arg, &value))
			return false;
		top.next(name == "else", value);
		return true;
	}
	if (name == "endif")
	{
		if (stack.empty())
			return fail(file, line, "#endif without #if");
		stack.pop_back();
		return true;
	}
	if (!active)
		return true;
	if (name == "define")
	{
		size_t m = 0;
		while (m < arg.size() && isIdentChar(arg[m]))
			++m;
		const std::string macro = arg.substr(0, m);
		if (!isIdentifier(macro))
			return fail(file, line, "#define needs a macro name");
		const bool functionLike = m < arg.size() && arg[m] == '(';
		Macros.define(macro, trim(arg.substr(m)), functionLike);
		return true;
	}
	if (name == "undef")
	{
		Macros.undefine(arg);
		return true;
	}
	if (name == "include")
	{
		if (arg.size() < 2 || !((arg.front() == '"' && arg.back() == '"') || (arg.front() == '<' && arg.back() == '>')))
			return fail(file, line, "#include needs a quoted file name");
		return include(file, line, arg.substr(1, arg.size() - 2), depth);
	}
	if (name == "error")
		return fail(file, line, "#error " + arg);
	return true;  // #pragma, #line and others do not change the declarations
}

bool CZePreprocessor::include(const std::string& from, u32 line, const std::string& name, int depth)
{
	if (depth >= MAX_INCLUDE_DEPTH)
		return fail(from, line, "includes nest too deep");
	if (Includes.size() >= MAX_INCLUDES)
		return fail(from, line, "includes read more than " + std::to_string(MAX_INCLUDES) + " files");
	std::string path = std::string(zeFileGetDirPart(from.c_str())) + name;
	if (!zeFileExist(path.c_str()))
		path = zeFindDataFile(name.c_str());
	long size = 0;
	char* data = zeReadFile(path.c_str(), &size);
	if (!data)
		return fail(from, line, "cannot open include file '" + name + "'");
	const std::string text(data, static_cast<size_t>(size));
	delete[] data;
	Includes.push_back(path);
	return run(path, text, depth + 1);
}

} // namespace

bool zefx::preprocess(const std::string& file, const std::string& text, const SZeMacro* macros,
	std::vector<SDeclLine>* lines, std::vector<std::string>* includes, std::string* error, size_t* work)
{
	CZePreprocessor pre(macros);
	const bool done = pre.run(file, text, 0);
	if (work)
		*work = pre.Work;
	if (!done)
	{
		*error = pre.Error;
		return false;
	}
	*lines = std::move(pre.Lines);
	*includes = std::move(pre.Includes);
	return true;
}
