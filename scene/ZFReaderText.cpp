// The text ZF reader: one group, value, array element or bracket per line,
// parsed over the NUL-terminated file; names and data are copied into the
// document's arena.
#include "scene/ZFPrivate.h"

#include "frame/ZeLog.h"

#include <charconv>
#include <cmath>

namespace
{
bool isBlank(char c)
{
	return c == ' ' || c == '\t';
}

const char* skipBlanks(const char* p, const char* end)
{
	while (p < end && isBlank(*p))
		++p;
	return p;
}

const char* tokenEnd(const char* p, const char* end)
{
	while (p < end && !isBlank(*p))
		++p;
	return p;
}

// Decimal digits after an optional sign, up to the first non-digit; the
// magnitude saturates at 2^32 - 1.
uint32_t readMagnitude(const char* p, const char* end, bool& negative)
{
	negative = false;
	if (p < end && (*p == '+' || *p == '-'))
		negative = *p++ == '-';
	uint64_t value = 0;
	while (p < end && *p >= '0' && *p <= '9')
	{
		value = value * 10 + static_cast<uint64_t>(*p++ - '0');
		if (value > 0xFFFFFFFFu)
			value = 0xFFFFFFFFu;
	}
	return static_cast<uint32_t>(value);
}

// A signed integer, clamped to the 32-bit range.
uint32_t readI4(const char* p, const char* end)
{
	bool negative;
	const uint32_t magnitude = readMagnitude(p, end, negative);
	int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
	value = value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value;
	return static_cast<uint32_t>(static_cast<int32_t>(value));
}

// An unsigned integer; a minus sign negates it modulo 2^32.
uint32_t readU4(const char* p, const char* end)
{
	bool negative;
	const uint32_t magnitude = readMagnitude(p, end, negative);
	return negative ? 0u - magnitude : magnitude;
}

bool isDigit(char c)
{
	return c >= '0' && c <= '9';
}

// Whether a decimal number that no single float holds lies beyond the largest
// one rather than below the smallest: its order of magnitude is at least 0.
bool isBeyondRange(const char* p, const char* end)
{
	int64_t leading = 0;      // integer digits from the first non-zero one
	int64_t fractionZeros = 0;  // zeros after the point before the first non-zero digit
	for (; p < end && isDigit(*p); ++p)
		leading += leading > 0 || *p != '0' ? 1 : 0;
	if (p < end && *p == '.')
	{
		for (++p; p < end && *p == '0' && leading == 0; ++p)
			++fractionZeros;
		while (p < end && isDigit(*p))
			++p;
	}
	int64_t exponent = 0;
	if (p < end && (*p == 'e' || *p == 'E'))
	{
		++p;
		bool negative = false;
		if (p < end && (*p == '+' || *p == '-'))
			negative = *p++ == '-';
		for (; p < end && isDigit(*p); ++p)
			exponent = exponent < 1000000000000 ? exponent * 10 + (*p - '0') : exponent;
		exponent = negative ? -exponent : exponent;
	}
	return (leading > 0 ? leading - 1 : -fractionZeros - 1) + exponent >= 0;
}

// A decimal float with optional sign, fraction and exponent, rounded once to
// the nearest single (ties to even): half a step or more beyond the largest
// single is infinite, less than half the smallest denormal is zero. A token
// without a number reads 0.
uint32_t readFP(const char* p, const char* end)
{
	bool negative = false;
	if (p < end && (*p == '+' || *p == '-'))
		negative = *p++ == '-';
	float value = 0.0f;
	if (p < end && *p != '+' && *p != '-')
	{
		const std::from_chars_result read = std::from_chars(p, end, value);
		if (read.ec == std::errc::result_out_of_range)
			value = isBeyondRange(p, read.ptr) ? HUGE_VALF : 0.0f;
	}
	if (negative)
		value = -value;
	uint32_t word;
	memcpy(&word, &value, 4);
	return word;
}

class TextReader
{
public:
	TextReader(ZF_TreeBuilder& builder, ZF_Document& document) : m_builder(builder), m_document(document) {}

	bool read(const char* text);

private:
	bool fail(const char* message);
	// Parses the value text [p, end) of a type: its count and copied data.
	bool readValueText(uint32_t type, const char* p, const char* end, uint32_t& count, const void*& data);
	bool readLine(const char* p, const char* end);
	// Counts the groups and the array still open at the end of the text, which
	// loads as it stands, and warns when there are any.
	void warnUnclosed();

	ZF_TreeBuilder& m_builder;
	ZF_Document& m_document;
	int m_line = 0;
	uint32_t m_arrayType = 0;         // of the open array
};

bool TextReader::readValueText(uint32_t type, const char* p, const char* end, uint32_t& count, const void*& data)
{
	if (type == ZF_STR)
	{
		p = skipBlanks(p, end);
		if (p < end && *p == '"')
			++p;
		const char* last = end;
		while (last > p && isBlank(last[-1]))
			--last;
		if (last > p && last[-1] == '"')
			end = last - 1;
		const char* copy = m_document.arena.copyText(p, static_cast<size_t>(end - p));
		count = static_cast<uint32_t>(end - p);
		data = copy;
		return copy != nullptr;
	}
	// Tokens are at least one character and one separator apart.
	const size_t most = static_cast<size_t>(end - p) / 2 + 1;
	uint32_t* words = static_cast<uint32_t*>(m_document.arena.alloc(most * 4));
	if (!words)
		return false;
	size_t n = 0;
	bool recordLength = false;  // the next FP_C token is a record's n
	for (p = skipBlanks(p, end); p < end; p = skipBlanks(p, end))
	{
		const char* e = tokenEnd(p, end);
		switch (type)
		{
		case ZF_I4:
			words[n++] = readI4(p, e);
			break;
		case ZF_U4:
			words[n++] = readU4(p, e);
			break;
		case ZF_FP:
			words[n++] = readFP(p, e);
			break;
		default:
			if (recordLength)
			{
				words[n++] = readU4(p, e);
				recordLength = false;
			}
			else if (e - p == 3 && (memcmp(p, "RUN", 3) == 0 || memcmp(p, "DAT", 3) == 0))
			{
				words[n++] = *p == 'R' ? 0 : 1;
				recordLength = true;
			}
			else
				words[n++] = readFP(p, e);
			break;
		}
		p = e;
	}
	m_document.arena.shrinkLast(words, n * 4);
	data = words;
	if (type != ZF_FP_C)
	{
		count = static_cast<uint32_t>(n);
		return true;
	}
	const int64_t floats = ZF_CheckChannel(words, n);
	if (floats < 0)
		return fail("line %d: invalid FP_C record\n");
	count = static_cast<uint32_t>(floats);
	return true;
}

bool TextReader::fail(const char* message)
{
	zeDebugPrintf(message, m_line);
	return false;
}

bool TextReader::readLine(const char* p, const char* end)
{
	if (m_builder.arrayOpen())
	{
		if (*p == ']')
			return m_builder.closeArray();
		uint32_t count = 0;
		const void* data = nullptr;
		return readValueText(m_arrayType, p, end, count, data) && m_builder.addElement(count, data);
	}
	if (*p == '}')
	{
		if (m_builder.depth() == 1)
			return fail("line %d: too many }\n");
		return m_builder.closeGroup();
	}
	const char* const first = p;
	const char* const firstEnd = tokenEnd(p, end);
	const char* const second = skipBlanks(firstEnd, end);
	const char* const secondEnd = tokenEnd(second, end);
	const char* const third = skipBlanks(secondEnd, end);
	if (second == end)
	{
		zeDebugPrintf("Line does not have enough token\n");
		return fail("line %d: Invalid line\n");
	}
	if (*first == '{')
	{
		if (m_builder.depth() == ZF_MAX_DEPTH)
		{
			zeDebugPrintf("line %d: nesting deeper than %d groups\n", m_line, ZF_MAX_DEPTH);
			return false;
		}
		const char* name = m_document.arena.copyText(second, static_cast<size_t>(secondEnd - second));
		return name && m_builder.openGroup(name);
	}
	if (third == end)
	{
		zeDebugPrintf("Line value does not have enough token\n");
		return fail("line %d: Invalid line\n");
	}
	static const char* const TYPES[] = { "I4", "U4", "FP", "STR", "FP_C" };
	const size_t typeLength = static_cast<size_t>(firstEnd - first);
	int type = -1;
	for (int t = 0; t < 5 && type < 0; ++t)
	{
		if (strlen(TYPES[t]) == typeLength && memcmp(TYPES[t], first, typeLength) == 0)
			type = t;
	}
	if (type < 0)
	{
		zeDebugPrintf("line %d: unknown value type %.*s\n", m_line, static_cast<int>(typeLength), first);
		return false;
	}
	const char* name = m_document.arena.copyText(second, static_cast<size_t>(secondEnd - second));
	if (!name)
		return false;
	if (*third == '[')
	{
		m_arrayType = static_cast<uint32_t>(type);
		return m_builder.openArray(m_arrayType, name) != nullptr;
	}
	uint32_t count = 0;
	const void* data = nullptr;
	return readValueText(static_cast<uint32_t>(type), third, end, count, data) &&
	       m_builder.addValue(static_cast<uint32_t>(type), name, count, data);
}

void TextReader::warnUnclosed()
{
	const int groups = m_builder.depth() - 1;
	const bool array = m_builder.arrayOpen();
	m_document.unclosed = groups + (array ? 1 : 0);
	if (m_document.unclosed > 0)
		zeLog(EZELL_WARN, "ZF_ReadText: Warning, the text ends at line %d with %d group(s)%s left open", m_line,
			groups, array ? " and an array" : "");
}

bool TextReader::read(const char* p)
{
	for (;;)
	{
		while (*p == '\n' || *p == '\r')
			++p;
		if (!*p)
		{
			warnUnclosed();
			return true;
		}
		++m_line;
		const char* end = p + strcspn(p, "\r\n");
		const char* start = skipBlanks(p, end);
		p = end;
		if (start == end || *start == '/' || *start == '#')
			continue;
		if (!readLine(start, end))
			return false;
	}
}
} // namespace

bool ZF_ReadText(ZF_TreeBuilder& builder, ZF_Document& document, const char* text)
{
	TextReader reader(builder, document);
	return reader.read(text);
}
