// #if expressions: C's integer arithmetic on long long, checked.
#include "core/ZeIfExpression.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace ze
{
namespace
{
class CZeExprParser
{
public:
	explicit CZeExprParser(const std::vector<SExprToken>& tokens) : Tokens(tokens) {}

	EExprError evaluate(long long* value, size_t* used)
	{
		*value = ternary();
		if (used)
			*used = Pos;
		else if (!Error && peek().Kind != SExprToken::END)
			Error = EE_MALFORMED;
		return Error;
	}

private:
	// One more level of nesting for the scope of an operand.
	class CNested
	{
	public:
		explicit CNested(CZeExprParser& parser) : Parser(parser)
		{
			if (++Parser.Nesting > MAX_EXPR_NESTING && !Parser.Error)
				Parser.Error = EE_NESTING;
		}
		~CNested() { --Parser.Nesting; }
		CNested(const CNested&) = delete;
		CNested& operator=(const CNested&) = delete;
		bool tooDeep() const { return Parser.Error == EE_NESTING; }

	private:
		CZeExprParser& Parser;
	};

	// An operand evaluated only when `evaluated`.
	class CUnevaluated
	{
	public:
		CUnevaluated(CZeExprParser& parser, bool evaluated) : Parser(parser), Skips(!evaluated)
		{
			Parser.Skipping += Skips;
		}
		~CUnevaluated() { Parser.Skipping -= Skips; }
		CUnevaluated(const CUnevaluated&) = delete;
		CUnevaluated& operator=(const CUnevaluated&) = delete;

	private:
		CZeExprParser& Parser;
		int Skips;
	};

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
	// An arithmetic fault; none in unevaluated operands.
	long long fault(EExprError error)
	{
		if (!Skipping && !Error)
			Error = error;
		return 0;
	}
	long long nested(bool evaluated, long long (CZeExprParser::*operand)())
	{
		CNested level(*this);
		if (level.tooDeep())
			return 0;
		CUnevaluated scope(*this, evaluated);
		return (this->*operand)();
	}
	long long ternary()
	{
		const long long c = binary(0);
		if (Error || !accept("?"))
			return c;
		const long long a = nested(c != 0, &CZeExprParser::ternary);
		if (!Error && !accept(":"))
			Error = EE_MALFORMED;
		if (Error)
			return 0;
		const long long b = nested(c == 0, &CZeExprParser::ternary);
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
		while (!Error)
		{
			const std::string* op = nullptr;
			for (const std::string& candidate : levels[level])
				if (peek().Kind == SExprToken::OP && peek().Text == candidate)
					op = &candidate;
			if (!op)
				break;
			++Pos;
			const bool evaluated = *op == "&&" ? left != 0 : *op == "||" ? left == 0 : true;
			CUnevaluated scope(*this, evaluated);
			const long long right = binary(level + 1);
			left = apply(*op, left, right);
		}
		return left;
	}
	long long apply(const std::string& op, long long a, long long b)
	{
		long long r = 0;
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
		if (op == "<<" || op == ">>")
		{
			if (b < 0 || b > 63)
				return fault(EE_SHIFT);
			if (op == ">>")
				return a < 0 ? ~(~a >> b) : a >> b;
			if (b == 63)  // only 0 and -1 stay in range
				return a == 0 ? 0 : a == -1 ? std::numeric_limits<long long>::min() : fault(EE_OVERFLOW);
			return __builtin_mul_overflow(a, 1LL << b, &r) ? fault(EE_OVERFLOW) : r;
		}
		if (op == "+") return __builtin_add_overflow(a, b, &r) ? fault(EE_OVERFLOW) : r;
		if (op == "-") return __builtin_sub_overflow(a, b, &r) ? fault(EE_OVERFLOW) : r;
		if (op == "*") return __builtin_mul_overflow(a, b, &r) ? fault(EE_OVERFLOW) : r;
		if (b == 0)
			return fault(EE_DIVISION_BY_ZERO);
		if (b == -1)  // the smallest value divided by -1 does not fit; its remainder is 0
			return op == "/" ? (a == std::numeric_limits<long long>::min() ? fault(EE_OVERFLOW) : -a) : 0;
		return op == "/" ? a / b : a % b;
	}
	long long unary()
	{
		for (const char* op : {"!", "~", "-", "+"})
			if (accept(op))
			{
				const long long v = nested(true, &CZeExprParser::unary);
				if (*op == '!')
					return !v;
				if (*op == '~')
					return ~v;
				if (*op == '+')
					return v;
				return v == std::numeric_limits<long long>::min() ? fault(EE_OVERFLOW) : -v;
			}
		if (accept("("))
		{
			const long long v = nested(true, &CZeExprParser::ternary);
			if (!Error && !accept(")"))
				Error = EE_MALFORMED;
			return v;
		}
		if (peek().Kind == SExprToken::NUMBER)
			return Tokens[Pos++].Value;
		Error = EE_MALFORMED;
		return 0;
	}

	const std::vector<SExprToken>& Tokens;
	size_t Pos = 0;
	EExprError Error = EE_NONE;
	int Nesting = 0;
	int Skipping = 0;
};

} // namespace

EExprError evaluateExpr(const std::vector<SExprToken>& tokens, long long* value, size_t* used)
{
	return CZeExprParser(tokens).evaluate(value, used);
}

EExprError readExprNumber(const std::string& text, size_t& at, long long* value)
{
	char* end = nullptr;
	errno = 0;
	*value = std::strtoll(text.c_str() + at, &end, 0);
	if (errno == ERANGE)
		return EE_CONSTANT;
	at = static_cast<size_t>(end - text.c_str());
	while (at < text.size() && (text[at] == 'u' || text[at] == 'U' || text[at] == 'l' || text[at] == 'L'))
		++at;
	return EE_NONE;
}

std::string exprErrorMessage(EExprError error, const std::string& expr)
{
	switch (error)
	{
	case EE_DIVISION_BY_ZERO:
		return "division by zero in #if expression '" + expr + "'";
	case EE_OVERFLOW:
		return "integer overflow in #if expression '" + expr + "'";
	case EE_SHIFT:
		return "shift count out of range in #if expression '" + expr + "'";
	case EE_CONSTANT:
		return "integer constant out of range in #if expression '" + expr + "'";
	case EE_NESTING:
		return "#if expression nests deeper than " + std::to_string(MAX_EXPR_NESTING) + " levels";
	default:
		return "malformed #if expression '" + expr + "'";
	}
}
} // namespace ze
