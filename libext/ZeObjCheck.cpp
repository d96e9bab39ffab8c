// OBJ statements read the way the import library reads them, so that what it
// would count, and the indices it would take, are known before it runs.
#include "libext/ZeObjCheck.h"

#include <cstring>

namespace ze
{
namespace
{
const unsigned MAX_FACE_CORNERS = 1023;  // as many as a LightWave polygon
const size_t MAX_INDEX_DIGITS = 10;      // the digits of the largest 32-bit index
const long long MAX_INDEX = 2147483647LL;

bool lineEnd(char c)
{
	return c == '\n' || c == '\r' || c == '\0' || c == '\f';
}

bool blank(char c)
{
	return c == ' ' || c == '\t';
}

bool digit(char c)
{
	return c >= '0' && c <= '9';
}

// The library's test for a number among a vertex's values: a digit or a
// sign first, or "nan" or "inf" in any case.
bool numeric(const std::string& s, size_t at)
{
	const char c = s[at];
	if (digit(c) || c == '-' || c == '+')
		return true;
	if (s.size() - at < 3)
		return false;
	char word[4] = {};
	for (int i = 0; i < 3; ++i)
		word[i] = static_cast<char>(s[at + i] | 0x20);
	return std::strcmp(word, "nan") == 0 || std::strcmp(word, "inf") == 0;
}

class CObjChecker
{
public:
	bool check(const char* data, size_t size, std::string* refusal)
	{
		std::string line;
		size_t pos = 0;
		unsigned number = 1;
		while (pos < size)
		{
			const unsigned first = number;
			line.clear();
			// A backslash right before the line feed (or CR LF) joins the next line on.
			while (pos < size && !lineEnd(data[pos]))
			{
				if (data[pos] == '\\')
				{
					size_t next = pos + 1;
					if (next < size && data[next] == '\r')
						++next;
					if (next < size && data[next] == '\n')
					{
						pos = next + 1;
						++number;
						continue;
					}
				}
				line += data[pos++];
			}
			if (pos < size)
				number += data[pos++] == '\n' ? 1 : 0;
			if (!statement(line, first))
				break;
		}
		if (Why.empty() && Largest > Vertices)
			refuse(LargestLine, "vertex index " + LargestText + " names none of the file's " + std::to_string(Vertices) +
				" vertices");
		if (Why.empty())
			return true;
		if (refusal)
			*refusal = Why;
		return false;
	}

private:
	// False when the statement refuses the file.
	bool statement(const std::string& line, unsigned number)
	{
		if (line.empty())
			return true;
		const char kind = line[0];
		if (kind == 'v' && line.size() > 1 && blank(line[1]))
		{
			// A vertex for the library: 3 values, 4 (homogeneous) or 6 (with a colour).
			const size_t values = numbers(line);
			if (values == 3 || values == 4 || values == 6)
				++Vertices;
			return true;
		}
		if (kind == 'f' || kind == 'l' || kind == 'p')
			return indices(line, number, kind);
		return true;
	}

	static size_t numbers(const std::string& line)
	{
		size_t count = 0;
		size_t i = 1;
		for (;;)
		{
			while (i < line.size() && blank(line[i]))
				++i;
			if (i >= line.size())
				return count;
			count += numeric(line, i) ? 1 : 0;
			while (i < line.size() && !blank(line[i]))
				++i;
		}
	}

	// The corners of a face, line or point as the library walks them: "/"
	// moves to the next index of a corner, a blank to the next corner, and a
	// number is read as an integer and stepped over by the digits of its
	// value (so that "007" is three corners of vertex 7).
	bool indices(const std::string& line, unsigned number, char kind)
	{
		size_t i = 0;
		while (i < line.size() && !blank(line[i]))
			++i;
		unsigned slot = 0;
		unsigned corners = 0;
		while (i < line.size())
		{
			const char c = line[i];
			if (c == '/' || blank(c))
			{
				slot = c == '/' ? slot + 1 : 0;
				++i;
				continue;
			}
			// Read as the C library reads an integer: white space, a sign, digits.
			size_t at = i;
			while (at < line.size() && (line[at] == '\v' || blank(line[at])))
				++at;
			const size_t start = at;
			const bool negative = at < line.size() && line[at] == '-';
			if (at < line.size() && (line[at] == '-' || line[at] == '+'))
				++at;
			const size_t digits = at;
			long long value = 0;
			while (at < line.size() && digit(line[at]) && at - digits <= MAX_INDEX_DIGITS)
				value = value * 10 + (line[at++] - '0');
			const std::string text = line.substr(start, at - start);
			if (at - digits > MAX_INDEX_DIGITS)
				return refuse(number, "an index of more than 10 digits");
			// No number: the library refuses the face itself.
			if (at == digits)
				return true;
			if (negative)
				value = -value;
			if (slot == 0)
			{
				if (value == 0)
					return refuse(number, "vertex index 0 names no vertex");
				if (value > MAX_INDEX || value < -MAX_INDEX || -value > static_cast<long long>(Vertices))
				{
					if (value > 0)
						return refuse(number, "vertex index " + text + " names none of the file's " +
							std::to_string(Vertices) + " vertices");
					return refuse(number, "vertex index " + text + " names none of the " + std::to_string(Vertices) +
						" vertices before it");
				}
				if (value > Largest)
				{
					Largest = value;
					LargestLine = number;
					LargestText = text;
				}
				if (++corners > MAX_FACE_CORNERS && kind == 'f')
					return refuse(number, "a face of " + std::to_string(countCorners(line, i, corners)) +
						" corners, more than 1023");
			}
			// The library steps over the digits of the value and its minus sign.
			size_t step = 1;
			for (long long rest = value / 10; rest != 0; rest /= 10)
				++step;
			i += step + (value < 0 ? 1 : 0);
		}
		// The library counts no vertex for a line of one corner, then writes one.
		if (kind == 'l' && corners == 1)
			return refuse(number, "a line of one corner");
		return true;
	}

	// All the corners of a face found too large, counted on from one.
	size_t countCorners(const std::string& line, size_t from, unsigned counted)
	{
		size_t total = counted;
		bool inCorner = true;
		for (size_t i = from; i < line.size(); ++i)
		{
			if (blank(line[i]))
				inCorner = false;
			else if (!inCorner)
			{
				inCorner = true;
				++total;
			}
		}
		return total;
	}

	bool refuse(unsigned number, const std::string& why)
	{
		Why = "line " + std::to_string(number) + ": " + why;
		return false;
	}

	unsigned Vertices = 0;
	long long Largest = 0;
	unsigned LargestLine = 0;
	std::string LargestText;
	std::string Why;
};
} // namespace

bool zeCheckObj(const char* data, size_t size, std::string* refusal)
{
	if (!data)
		return true;
	return CObjChecker().check(data, size, refusal);
}
} // namespace ze
