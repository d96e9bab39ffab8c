// The IFF pieces of LightWave objects, shared by the LWOB rewriting and the
// LWO2 checking (ZeLwoUpgrade.h): bounded big-endian reading, chunks and
// subchunks, and writing them back.
//
// Index:
//   - Reading
//   - Writing
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ze
{
const size_t LWO_FORM_HEADER = 12;
const size_t LWO_CHUNK_HEADER = 8;
const size_t LWO_SUBCHUNK_HEADER = 6;
const unsigned MAX_LWO2_POLYGON_POINTS = 1023;  // 10 bits in an LWO2 polygon

// ---- Reading ----------------------------------------------------------------
// A bounded view of bytes; reads past the end give zeros and mark it short.
struct SZeIffReader
{
	const unsigned char* Data;
	size_t Size;
	size_t Pos = 0;
	bool Short = false;

	SZeIffReader(const unsigned char* data, size_t size) : Data(data), Size(size) {}
	size_t left() const { return Pos < Size ? Size - Pos : 0; }
	bool has(size_t n) const { return left() >= n; }
	uint32_t u(size_t bytes)
	{
		if (!has(bytes))
		{
			Short = true;
			Pos = Size;
			return 0;
		}
		uint32_t v = 0;
		for (size_t i = 0; i < bytes; ++i)
			v = (v << 8) | Data[Pos++];
		return v;
	}
	uint32_t u2() { return u(2); }
	uint32_t u4() { return u(4); }
	float f4()
	{
		const uint32_t bits = u4();
		float f;
		std::memcpy(&f, &bits, 4);
		return std::isfinite(f) ? f : 0.0f;
	}
	// A null-terminated string padded to even length; an unterminated one ends the data.
	std::string s0()
	{
		const size_t start = Pos;
		while (Pos < Size && Data[Pos])
			++Pos;
		std::string s(reinterpret_cast<const char*>(Data + start), Pos - start);
		Pos = Pos < Size ? Pos + 1 : Size;
		if ((Pos - start) % 2 && Pos < Size)
			++Pos;
		return s;
	}
	bool id(char out[5])
	{
		if (!has(4))
			return false;
		std::memcpy(out, Data + Pos, 4);
		out[4] = 0;
		Pos += 4;
		return true;
	}
};

// One chunk or subchunk: its id and its data, both within the container.
struct SZeIffPiece
{
	char Id[5];
	const unsigned char* Data;
	size_t Size;
};

// Splits bytes into chunks (32-bit sizes) or subchunks (16-bit sizes), each
// followed by a pad byte when its size is odd; a piece cut by the end is
// dropped, and `overrun` (when given) tells whether one was.
inline std::vector<SZeIffPiece> zeIffPieces(const unsigned char* data, size_t size, bool sub, bool* overrun = nullptr)
{
	std::vector<SZeIffPiece> out;
	SZeIffReader r(data, size);
	if (overrun)
		*overrun = false;
	for (;;)
	{
		SZeIffPiece p;
		if (!r.has(sub ? LWO_SUBCHUNK_HEADER : LWO_CHUNK_HEADER) || !r.id(p.Id))
			break;
		const size_t length = sub ? r.u2() : r.u4();
		if (!r.has(length))
		{
			if (overrun)
				*overrun = true;
			break;
		}
		p.Data = data + r.Pos;
		p.Size = length;
		out.push_back(p);
		r.Pos += length + (length % 2);
	}
	return out;
}

inline bool zeIffIs(const SZeIffPiece& p, const char* id)
{
	return std::memcmp(p.Id, id, 4) == 0;
}

// ---- Writing ----------------------------------------------------------------
struct SZeIffWriter
{
	std::string Out;

	SZeIffWriter& id(const char* fourCc)
	{
		Out.append(fourCc, 4);
		return *this;
	}
	SZeIffWriter& u2(uint32_t v)
	{
		Out += static_cast<char>((v >> 8) & 0xFF);
		Out += static_cast<char>(v & 0xFF);
		return *this;
	}
	SZeIffWriter& u4(uint32_t v) { return u2(v >> 16).u2(v & 0xFFFF); }
	SZeIffWriter& f4(float f)
	{
		uint32_t bits;
		std::memcpy(&bits, &f, 4);
		return u4(bits);
	}
	SZeIffWriter& vec(const float v[3]) { return f4(v[0]).f4(v[1]).f4(v[2]); }
	SZeIffWriter& vx(uint32_t index) { return index < 0xFF00 ? u2(index) : u4(index | 0xFF000000u); }
	SZeIffWriter& s0(const std::string& s)
	{
		Out += s;
		Out += '\0';
		if ((s.size() + 1) % 2)
			Out += '\0';
		return *this;
	}
	SZeIffWriter& chunk(const char* fourCc, const SZeIffWriter& body)
	{
		id(fourCc).u4(static_cast<uint32_t>(body.Out.size()));
		Out += body.Out;
		if (body.Out.size() % 2)
			Out += '\0';
		return *this;
	}
	SZeIffWriter& sub(const char* fourCc, const SZeIffWriter& body)
	{
		id(fourCc).u2(static_cast<uint32_t>(body.Out.size()));
		Out += body.Out;
		if (body.Out.size() % 2)
			Out += '\0';
		return *this;
	}
};

inline SZeIffWriter zeLwoLayer(uint32_t number)
{
	const float pivot[3] = {0.0f, 0.0f, 0.0f};
	SZeIffWriter w;
	w.u2(number).u2(0).vec(pivot).s0("");
	return w;
}

// The LWO2 form (one layer, its polygons, tags, clips and surfaces) of the
// chunks of an LWOB file; false when it has no polygon to draw.
bool zeRewriteLwob(const unsigned char* chunks, size_t size, std::string* out);
} // namespace ze
