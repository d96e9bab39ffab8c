// The ".x" token stream (see ZeXMeshLexer.h).
#include "libext/ZeXMeshLexer.h"

#include <cfloat>
#include <charconv>
#include <cstring>

using namespace irr;

namespace ze
{
namespace xfile
{
namespace
{
// Binary tokens
enum
{
	BT_NAME = 1,
	BT_STRING = 2,
	BT_INTEGER = 3,
	BT_GUID = 5,
	BT_INTEGER_LIST = 6,
	BT_FLOAT_LIST = 7,
	BT_OBRACE = 10,
	BT_CBRACE = 11,
	BT_COMMA = 19,
	BT_SEMICOLON = 20,
	BT_TEMPLATE = 31
};

bool isDelimiter(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == '{' || c == '}' ||
	       c == ';' || c == ',' || c == '"' || c == '<' || c == '>' || c == '[' || c == ']' || c == '(' ||
	       c == ')' || c == '#' || c == '\0';
}
} // namespace

bool sameName(const std::string& a, const char* b)
{
	const std::size_t n = std::strlen(b);
	if (a.size() != n)
		return false;
	for (std::size_t i = 0; i < n; ++i)
	{
		char x = a[i], y = b[i];
		if (x >= 'A' && x <= 'Z')
			x = char(x - 'A' + 'a');
		if (y >= 'A' && y <= 'Z')
			y = char(y - 'A' + 'a');
		if (x != y)
			return false;
	}
	return true;
}

Lexer::Lexer(const unsigned char* data, std::size_t size, bool binary, bool doubles)
	: Data(data), Size(size), Binary(binary), Doubles(doubles)
{
}

bool Lexer::next(Token& t)
{
	if (Binary)
		nextBinary(t);
	else
		nextText(t);
	return t.Type != ETT_ERROR;
}

void Lexer::fail(Token& t, const char* reason)
{
	t.Type = ETT_ERROR;
	Error = reason;
}

bool Lexer::take(std::size_t n, const unsigned char** p)
{
	if (Size - Pos < n)
		return false;
	*p = Data + Pos;
	Pos += n;
	return true;
}

bool Lexer::takeU32(u32* v)
{
	const unsigned char* p;
	if (!take(4, &p))
		return false;
	*v = u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
	return true;
}

void Lexer::setFloat(Token& t, double d)
{
	if (!(d == d))
	{
		t.Type = ETT_FLOAT;
		t.Float = 0.f;
		t.IsIntegral = false;
		return;
	}
	if (d > FLT_MAX || d < -FLT_MAX)
		return fail(t, "number out of range");
	t.Type = ETT_FLOAT;
	t.Float = f32(d);
	t.IsIntegral = d >= 0.0 && d <= 4294967295.0 && double(u32(d)) == d;
	t.Int = t.IsIntegral ? u32(d) : 0;
}

void Lexer::nextBinary(Token& t)
{
	t.Text.clear();
	if (ListLeft > 0)
	{
		--ListLeft;
		if (!ListFloats)
		{
			if (!takeU32(&t.Int))
				return fail(t, "unexpected end of file");
			t.Type = ETT_INT;
			t.Float = f32(t.Int);
			t.IsIntegral = true;
			return;
		}
		const unsigned char* p;
		if (!take(Doubles ? 8 : 4, &p))
			return fail(t, "unexpected end of file");
		if (Doubles)
		{
			double d;
			std::memcpy(&d, p, 8);
			return setFloat(t, d);
		}
		f32 f;
		std::memcpy(&f, p, 4);
		return setFloat(t, f);
	}
	const unsigned char* p;
	if (Pos == Size)
	{
		t.Type = ETT_END;
		return;
	}
	if (!take(2, &p))
		return fail(t, "unexpected end of file");
	const u32 id = u32(p[0]) | u32(p[1]) << 8;
	u32 count = 0;
	switch (id)
	{
	case BT_NAME:
	case BT_STRING:
		if (!takeU32(&count) || !take(count, &p))
			return fail(t, "unexpected end of file");
		t.Type = id == BT_NAME ? ETT_NAME : ETT_STRING;
		t.Text.assign(reinterpret_cast<const char*>(p), count);
		if (id == BT_STRING && Size - Pos >= 4)
		{
			// The terminator is a separator token stored in a DWORD.
			const unsigned char* q = Data + Pos;
			const u32 end = u32(q[0]) | u32(q[1]) << 8 | u32(q[2]) << 16 | u32(q[3]) << 24;
			if (end == BT_COMMA || end == BT_SEMICOLON)
				Pos += 4;
		}
		return;
	case BT_INTEGER:
		if (!takeU32(&t.Int))
			return fail(t, "unexpected end of file");
		t.Type = ETT_INT;
		t.Float = f32(t.Int);
		t.IsIntegral = true;
		return;
	case BT_GUID:
		if (!take(16, &p))
			return fail(t, "unexpected end of file");
		t.Type = ETT_GUID;
		return;
	case BT_INTEGER_LIST:
	case BT_FLOAT_LIST:
	{
		if (!takeU32(&count))
			return fail(t, "unexpected end of file");
		const u64 bytes = u64(count) * (id == BT_INTEGER_LIST ? 4 : (Doubles ? 8 : 4));
		if (bytes > remaining())
			return fail(t, "list longer than the file");
		ListLeft = count;
		ListFloats = id == BT_FLOAT_LIST;
		t.Type = ETT_SEPARATOR;  // an empty list reads as nothing
		return;
	}
	case BT_OBRACE:
		t.Type = ETT_OBRACE;
		return;
	case BT_CBRACE:
		t.Type = ETT_CBRACE;
		return;
	case BT_COMMA:
	case BT_SEMICOLON:
		t.Type = ETT_SEPARATOR;
		return;
	case BT_TEMPLATE:
		t.Type = ETT_TEMPLATE;
		return;
	default:
		if ((id >= 12 && id <= 18) || (id >= 40 && id <= 52))
		{
			t.Type = ETT_OTHER;
			return;
		}
		return fail(t, "unknown binary token");
	}
}

void Lexer::nextText(Token& t)
{
	t.Text.clear();
	for (;;)
	{
		while (Pos < Size && (Data[Pos] == ' ' || Data[Pos] == '\t' || Data[Pos] == '\r' || Data[Pos] == '\n' ||
		                      Data[Pos] == '\f' || Data[Pos] == '\v'))
			++Pos;
		if (Pos < Size && (Data[Pos] == '#' || (Data[Pos] == '/' && Pos + 1 < Size && Data[Pos + 1] == '/')))
		{
			while (Pos < Size && Data[Pos] != '\n')
				++Pos;
			continue;
		}
		break;
	}
	if (Pos == Size)
	{
		t.Type = ETT_END;
		return;
	}
	const char c = char(Data[Pos]);
	switch (c)
	{
	case '{':
		++Pos;
		t.Type = ETT_OBRACE;
		return;
	case '}':
		++Pos;
		t.Type = ETT_CBRACE;
		return;
	case ';':
	case ',':
		++Pos;
		t.Type = ETT_SEPARATOR;
		return;
	case '[':
	case ']':
	case '(':
	case ')':
	case '>':
		++Pos;
		t.Type = ETT_OTHER;
		return;
	case '\0':
		return fail(t, "null byte in a text file");
	case '"':
	case '<':
	{
		const char close = c == '"' ? '"' : '>';
		const std::size_t start = ++Pos;
		while (Pos < Size && char(Data[Pos]) != close)
			++Pos;
		if (Pos == Size)
			return fail(t, c == '"' ? "unterminated string" : "unterminated GUID");
		t.Type = c == '"' ? ETT_STRING : ETT_GUID;
		t.Text.assign(reinterpret_cast<const char*>(Data) + start, Pos - start);
		++Pos;
		return;
	}
	default:
		break;
	}
	const std::size_t start = Pos;
	while (Pos < Size && !isDelimiter(char(Data[Pos])))
		++Pos;
	const char* first = reinterpret_cast<const char*>(Data) + start;
	const char* last = reinterpret_cast<const char*>(Data) + Pos;
	if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.')
	{
		const char* from = c == '+' ? first + 1 : first;
		bool integral = from < last;
		for (const char* q = from; q < last; ++q)
			integral = integral && *q >= '0' && *q <= '9';
		if (integral)
		{
			u32 v = 0;
			const std::from_chars_result r = std::from_chars(from, last, v);
			if (r.ec == std::errc() && r.ptr == last)
			{
				t.Type = ETT_INT;
				t.Int = v;
				t.Float = f32(v);
				t.IsIntegral = true;
				return;
			}
		}
		double d = 0.0;
		const std::from_chars_result r = std::from_chars(from, last, d);
		if (r.ptr == last && r.ec == std::errc::result_out_of_range)
			return fail(t, "number out of range");
		if (r.ec == std::errc() && r.ptr == last)
			return setFloat(t, d);
	}
	t.Type = ETT_NAME;
	t.Text.assign(first, last);
}
} // namespace xfile
} // namespace ze
