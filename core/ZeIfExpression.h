// The value of a preprocessor #if expression once its macros are expanded:
// C's integer arithmetic on 64-bit signed integers, checked. Shared by the
// effect files' preprocessing and the shader code's, so that both read the
// same conditions alike.
#pragma once

#include <irrlicht.h>

#include <string>
#include <vector>

namespace ze
{
// Parentheses, unary operators and ?: branches nest at most this deep (what
// C guarantees), so that no expression exhausts the stack.
const int MAX_EXPR_NESTING = 63;

struct SExprToken
{
	enum EKind { NUMBER, IDENT, OP, END } Kind;
	std::string Text;   // operators
	long long Value = 0;
	irr::u32 Name = 0;  // identifiers: the name's number in the caller's macro table
};

// Why an expression has no value.
enum EExprError
{
	EE_NONE = 0,
	EE_MALFORMED,
	EE_DIVISION_BY_ZERO,
	EE_OVERFLOW,
	EE_SHIFT,
	EE_CONSTANT,
	EE_NESTING,
	EE_EXPANSION,     // the caller's expansion budget is spent
	EE_MACRO_NESTING  // the caller's macros nest too deep
};

// The value of numbers and operators (identifiers are malformed): an
// overflow, a division by zero or a shift out of range is an error, except in
// operands that C leaves unevaluated (the other side of a decided && or ||,
// the branch ?: does not take), which read 0. With `used`, the expression
// may end before the tokens do: it receives how many tokens it took.
EExprError evaluateExpr(const std::vector<SExprToken>& tokens, long long* value, size_t* used = nullptr);

// An integer constant ("12", "0x1F", "017", with u and l suffixes) from
// `text` at `at`, which moves past it; EE_CONSTANT when it does not fit.
EExprError readExprNumber(const std::string& text, size_t& at, long long* value);

// The message of an error of the arithmetic or of the form of `expr`
// (EE_MALFORMED to EE_NESTING).
std::string exprErrorMessage(EExprError error, const std::string& expr);

// One open conditional (#if, #ifdef, #ifndef up to its #endif): whether the
// text around it is kept, whether its current branch is, whether one of its
// branches was kept and whether its #else came.
struct SIfBranch
{
	bool ParentActive = false;
	bool Active = false;
	bool Taken = false;
	bool ElseSeen = false;

	// The conditional opened in kept text or not, with its condition's value
	// (read only where the text around it is kept).
	static SIfBranch open(bool parentActive, bool value)
	{
		SIfBranch branch;
		branch.ParentActive = parentActive;
		branch.Active = branch.Taken = parentActive && value;
		return branch;
	}
	// Whether an #elif here has to read its condition.
	bool needsCondition() const { return ParentActive && !Taken; }
	// Moves on to an #elif of that value, or to the #else.
	void next(bool isElse, bool value)
	{
		Active = ParentActive && !Taken && (isElse || value);
		Taken = Taken || Active;
		ElseSeen = isElse;
	}
};
} // namespace ze
