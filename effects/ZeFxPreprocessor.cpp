// Effect files: a minimal C preprocessor that keeps the active "//ZELV_PP:"
// lines.
#include "effects/ZeFxPreprocessor.h"

#include "frame/ZeFile.h"

#include <cstdlib>
#include <map>
#include <set>
#include <utility>

using namespace irr;
using namespace zefx;

namespace
{
const char* const MARKER = "//ZELV_PP:";
const int MAX_INCLUDE_DEPTH = 16;

// ---- #if expressions ----------------------------------------------------------------
struct SMacro
{
	std::string Value;
	bool FunctionLike = false;
};
using MacroMap = std::map<std::string, SMacro>;

struct SExprToken
{
	enum EKind { NUMBER, IDENT, OP, END } Kind;
	std::string Text;
	long long Value = 0;
};

bool tokenizeExpr(const std::string& text, std::vector<SExprToken>* out)
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
			char* end = nullptr;
			const long long v = std::strtoll(text.c_str() + i, &end, 0);
			i = static_cast<size_t>(end - text.c_str());
			while (i < text.size() && (text[i] == 'u' || text[i] == 'U' || text[i] == 'l' || text[i] == 'L'))
				++i;
			out->push_back({SExprToken::NUMBER, "", v});
			continue;
		}
		if (isIdentStart(c))
		{
			size_t j = i;
			while (j < text.size() && isIdentChar(text[j]))
				++j;
			out->push_back({SExprToken::IDENT, text.substr(i, j - i), 0});
			i = j;
			continue;
		}
		bool found = false;
		for (const char* op : ops)
		{
			const size_t n = std::char_traits<char>::length(op);
			if (text.compare(i, n, op) == 0)
			{
				out->push_back({SExprToken::OP, op, 0});
				i += n;
				found = true;
				break;
			}
		}
		if (!found)
			return false;
	}
	return true;
}

// Replaces "defined X" by 0/1 and macros by their values; unknown names read 0.
bool expandExpr(const std::vector<SExprToken>& in, const MacroMap& macros, std::set<std::string>& active,
	std::vector<SExprToken>* out)
{
	for (size_t i = 0; i < in.size(); ++i)
	{
		const SExprToken& t = in[i];
		if (t.Kind != SExprToken::IDENT)
		{
			out->push_back(t);
			continue;
		}
		if (t.Text == "defined")
		{
			size_t j = i + 1;
			const bool paren = j < in.size() && in[j].Kind == SExprToken::OP && in[j].Text == "(";
			if (paren)
				++j;
			if (j >= in.size() || in[j].Kind != SExprToken::IDENT)
				return false;
			const bool defined = macros.count(in[j].Text) != 0;
			if (paren && (j + 1 >= in.size() || in[j + 1].Text != ")"))
				return false;
			i = paren ? j + 1 : j;
			out->push_back({SExprToken::NUMBER, "", defined ? 1 : 0});
			continue;
		}
		const auto m = macros.find(t.Text);
		if (m == macros.end() || active.count(t.Text))
		{
			out->push_back({SExprToken::NUMBER, "", 0});
			continue;
		}
		if (m->second.FunctionLike)
		{
			// Its arguments are skipped: a call reads 0.
			if (i + 1 < in.size() && in[i + 1].Text == "(")
			{
				int depth = 0;
				for (++i; i < in.size(); ++i)
				{
					depth += in[i].Text == "(" ? 1 : in[i].Text == ")" ? -1 : 0;
					if (depth == 0)
						break;
				}
			}
			out->push_back({SExprToken::NUMBER, "", 0});
			continue;
		}
		std::vector<SExprToken> value;
		if (!tokenizeExpr(m->second.Value, &value))
			return false;
		if (value.empty())
			value.push_back({SExprToken::NUMBER, "", 0});
		active.insert(t.Text);
		const bool ok = expandExpr(value, macros, active, out);
		active.erase(t.Text);
		if (!ok)
			return false;
	}
	return true;
}

class CZeExprParser
{
public:
	explicit CZeExprParser(const std::vector<SExprToken>& tokens) : Tokens(tokens) {}

	bool evaluate(long long* value)
	{
		Failed = false;
		*value = ternary();
		return !Failed && peek().Kind == SExprToken::END;
	}

private:
	const SExprToken& peek() const
	{
		static const SExprToken end = {SExprToken::END, "", 0};
		return Pos < Tokens.size() ? Tokens[Pos] : end;
	}
	bool accept(const char* op)
	{
		if (peek().Kind == SExprToken::OP && peek().Text == op)
		{
			++Pos;
			return true;
		}
		return false;
	}
	long long ternary()
	{
		const long long c = binary(0);
		if (!accept("?"))
			return c;
		const long long a = ternary();
		if (!accept(":"))
			Failed = true;
		const long long b = ternary();
		return c ? a : b;
	}
	// Binary operators by precedence level, loosest first.
	long long binary(int level)
	{
		static const std::vector<std::vector<std::string>> levels = {{"||"}, {"&&"}, {"|"}, {"^"}, {"&"},
			{"==", "!="}, {"<", ">", "<=", ">="}, {"<<", ">>"}, {"+", "-"}, {"*", "/", "%"}};
		if (level == static_cast<int>(levels.size()))
			return unary();
		long long left = binary(level + 1);
		for (;;)
		{
			std::string op;
			for (const std::string& candidate : levels[level])
				if (peek().Kind == SExprToken::OP && peek().Text == candidate)
					op = candidate;
			if (op.empty())
				return left;
			++Pos;
			const long long right = binary(level + 1);
			left = apply(op, left, right);
		}
	}
	long long apply(const std::string& op, long long a, long long b)
	{
		if ((op == "/" || op == "%") && b == 0)
		{
			Failed = true;
			return 0;
		}
		if (op == "||") return a || b;
		if (op == "&&") return a && b;
		if (op == "|") return a | b;
		if (op == "^") return a ^ b;
		if (op == "&") return a & b;
		if (op == "==") return a == b;
		if (op == "!=") return a != b;
		if (op == "<") return a < b;
		if (op == ">") return a > b;
		if (op == "<=") return a <= b;
		if (op == ">=") return a >= b;
		if (op == "<<") return a << (b & 63);
		if (op == ">>") return a >> (b & 63);
		if (op == "+") return a + b;
		if (op == "-") return a - b;
		if (op == "*") return a * b;
		if (op == "/") return a / b;
		return a % b;
	}
	long long unary()
	{
		if (accept("!"))
			return !unary();
		if (accept("~"))
			return ~unary();
		if (accept("-"))
			return -unary();
		if (accept("+"))
			return unary();
		if (accept("("))
		{
			const long long v = ternary();
			if (!accept(")"))
				Failed = true;
			return v;
		}
		if (peek().Kind == SExprToken::NUMBER)
			return Tokens[Pos++].Value;
		Failed = true;
		return 0;
	}

	const std::vector<SExprToken>& Tokens;
	size_t Pos = 0;
	bool Failed = false;
};

// ---- The preprocessor -----------------------------------------------------------------
struct SCondFrame
{
	bool ParentActive;
	bool Active;
	bool Taken;
	bool ElseSeen;
	u32 Line;
};

class CZePreprocessor
{
public:
	explicit CZePreprocessor(const SZeMacro* macros)
	{
		for (const SZeMacro* m = macros; m && m->Name; ++m)
			Macros[m->Name] = SMacro{m->Definition ? m->Definition : "", false};
	}

	bool run(const std::string& file, const std::string& text, int depth);

	std::vector<SDeclLine> Lines;
	std::vector<std::string> Includes;
	std::string Error;
	MacroMap Macros;

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
	return stack.empty() || stack.back().Active;
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
			Macros[name] = SMacro{s == std::string::npos ? "" : trim(rest.substr(s)), false};
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
	std::set<std::string> active;
	long long value = 0;
	if (!tokenizeExpr(expr, &tokens) || !expandExpr(tokens, Macros, active, &expanded))
		return fail(file, line, "malformed #if expression '" + expr + "'");
	CZeExprParser parser(expanded);
	if (expr.empty() || !parser.evaluate(&value))
		return fail(file, line, "malformed #if expression '" + expr + "'");
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
				value = (Macros.count(arg) != 0) == (name == "ifdef");
			}
		}
		stack.push_back({active, active && value, active && value, false, line});
		return true;
	}
	if (name == "elif" || name == "else")
	{
		if (stack.empty() || stack.back().ElseSeen)
			return fail(file, line, "#" + name + " without #if");
		SCondFrame& top = stack.back();
		bool value = name == "else";
		if (top.ParentActive && !top.Taken && name == "elif" && !evaluate(file, line, arg, &value))
			return false;
		top.Active = top.ParentActive && !top.Taken && value;
		top.Taken = top.Taken || top.Active;
		top.ElseSeen = name == "else";
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
		Macros[macro] = SMacro{trim(arg.substr(m)), functionLike};
		return true;
	}
	if (name == "undef")
	{
		Macros.erase(arg);
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
	std::vector<SDeclLine>* lines, std::vector<std::string>* includes, std::string* error)
{
	CZePreprocessor pre(macros);
	if (!pre.run(file, text, 0))
	{
		*error = pre.Error;
		return false;
	}
	*lines = std::move(pre.Lines);
	*includes = std::move(pre.Includes);
	return true;
}
