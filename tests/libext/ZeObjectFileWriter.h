// Small writers of object files for the tests: LightWave objects (LWO2 and
// LWOB), BMP images. Every byte comes from here, so a test knows exactly what
// the file holds, including its hostile parts.
//
// Index:
//   - IFF bytes (big-endian numbers, padded strings, chunks and subchunks)
//   - LWO2 objects
//   - LWOB objects
//   - BMP images
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace zetest
{
// ---- IFF bytes ---------------------------------------------------------------------
struct IffBytes
{
	std::string Data;

	IffBytes& id(const char* fourCc)
	{
		Data.append(fourCc, 4);
		return *this;
	}
	IffBytes& u1(unsigned v)
	{
		Data += static_cast<char>(v & 0xFF);
		return *this;
	}
	IffBytes& u2(unsigned v) { return u1(v >> 8).u1(v); }
	IffBytes& u4(uint32_t v) { return u2(v >> 16).u2(v & 0xFFFF); }
	IffBytes& f4(float f)
	{
		uint32_t bits;
		std::memcpy(&bits, &f, 4);
		return u4(bits);
	}
	IffBytes& vec(float x, float y, float z) { return f4(x).f4(y).f4(z); }
	// A variable-length index: two bytes below 0xFF00, else four with 0xFF first.
	IffBytes& vx(uint32_t index) { return index < 0xFF00 ? u2(index) : u4(index | 0xFF000000u); }
	// A null-terminated string padded to an even length.
	IffBytes& s0(const std::string& s)
	{
		Data += s;
		Data += '\0';
		if ((s.size() + 1) % 2)
			Data += '\0';
		return *this;
	}
	IffBytes& raw(const std::string& bytes)
	{
		Data += bytes;
		return *this;
	}
	// A chunk: id, 32-bit size, data, a pad byte after odd data.
	IffBytes& chunk(const char* fourCc, const IffBytes& body)
	{
		id(fourCc).u4(static_cast<uint32_t>(body.Data.size())).raw(body.Data);
		if (body.Data.size() % 2)
			Data += '\0';
		return *this;
	}
	// A subchunk: id, 16-bit size (`size` overrides the true one when >= 0), data, pad.
	IffBytes& sub(const char* fourCc, const IffBytes& body, int size = -1)
	{
		id(fourCc).u2(size >= 0 ? static_cast<unsigned>(size) : static_cast<unsigned>(body.Data.size())).raw(body.Data);
		if (body.Data.size() % 2)
			Data += '\0';
		return *this;
	}
	// The whole file: "FORM", size, form type and the chunks.
	std::string form(const char* type) const
	{
		IffBytes file;
		file.id("FORM").u4(static_cast<uint32_t>(Data.size() + 4)).id(type).raw(Data);
		return file.Data;
	}
};

inline void writeFile(const std::string& path, const std::string& bytes)
{
	std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// ---- LWO2 objects ------------------------------------------------------------------
struct LwoPoint
{
	float X, Y, Z;
	float U, V;  // the "TXUV" map's value of the point
};

// One layer of points and quads or triangles (each polygon its point indices in
// LightWave's clockwise order), all on one surface of colour (r, g, b). A clip
// name makes the surface's colour an image mapped through the "TXUV" map; the
// clip's still-image name is stored with its padding byte when its length is even.
// Without a layer the points come before any "LAYR" chunk.
inline std::string lwo2(const std::vector<LwoPoint>& points, const std::vector<std::vector<unsigned>>& polygons,
	float r, float g, float b, const std::string& clipName = "", bool withLayer = true)
{
	IffBytes body;
	body.chunk("TAGS", IffBytes().s0("Skin"));
	if (withLayer)
		body.chunk("LAYR", IffBytes().u2(0).u2(0).vec(0, 0, 0).s0("Layer"));
	IffBytes pnts;
	for (const LwoPoint& p : points)
		pnts.vec(p.X, p.Y, p.Z);
	body.chunk("PNTS", pnts);
	IffBytes vmap;
	vmap.id("TXUV").u2(2).s0("UV");
	for (size_t i = 0; i < points.size(); ++i)
		vmap.vx(static_cast<uint32_t>(i)).f4(points[i].U).f4(points[i].V);
	body.chunk("VMAP", vmap);
	IffBytes pols;
	pols.id("FACE");
	for (const std::vector<unsigned>& polygon : polygons)
	{
		pols.u2(static_cast<unsigned>(polygon.size()));
		for (unsigned v : polygon)
			pols.vx(v);
	}
	body.chunk("POLS", pols);
	IffBytes ptag;
	ptag.id("SURF");
	for (size_t i = 0; i < polygons.size(); ++i)
		ptag.vx(static_cast<uint32_t>(i)).u2(0);
	body.chunk("PTAG", ptag);
	if (!clipName.empty())
		body.chunk("CLIP", IffBytes().u4(1).sub("STIL", IffBytes().s0(clipName)));

	IffBytes surf;
	surf.s0("Skin").s0("");
	surf.sub("COLR", IffBytes().vec(r, g, b).vx(0));
	surf.sub("DIFF", IffBytes().f4(1.0f).vx(0));
	if (!clipName.empty())
	{
		IffBytes imap;
		imap.s0("\x80");
		imap.sub("CHAN", IffBytes().id("COLR"));
		imap.sub("OPAC", IffBytes().u2(0).f4(1.0f).vx(0));
		imap.sub("ENAB", IffBytes().u2(1));
		IffBytes tmap;
		tmap.sub("CNTR", IffBytes().vec(0, 0, 0).vx(0));
		tmap.sub("SIZE", IffBytes().vec(1, 1, 1).vx(0));
		tmap.sub("ROTA", IffBytes().vec(0, 0, 0).vx(0));
		tmap.sub("CSYS", IffBytes().u2(0));
		IffBytes blok;
		blok.sub("IMAP", imap);
		blok.sub("TMAP", tmap);
		blok.sub("PROJ", IffBytes().u2(5));
		blok.sub("AXIS", IffBytes().u2(2));
		blok.sub("IMAG", IffBytes().vx(1));
		blok.sub("WRAP", IffBytes().u2(1).u2(1));
		blok.sub("VMAP", IffBytes().s0("UV"));
		surf.sub("BLOK", blok);
	}
	body.chunk("SURF", surf);
	return body.form("LWO2");
}

// The corners of a box from -1 to 1 (corner i has x > 0 for bit 1, y > 0 for
// bit 2, z > 0 for bit 4) with U = (x + 1) / 2 and V = (y + 1) / 2, and its six
// faces, each listed clockwise as seen from outside: (b - a) x (c - a) points out.
inline std::vector<LwoPoint> boxPoints()
{
	std::vector<LwoPoint> points;
	for (int i = 0; i < 8; ++i)
	{
		const float x = (i & 1) ? 1.0f : -1.0f, y = (i & 2) ? 1.0f : -1.0f, z = (i & 4) ? 1.0f : -1.0f;
		points.push_back({x, y, z, (x + 1) / 2, (y + 1) / 2});
	}
	return points;
}
inline std::vector<std::vector<unsigned>> boxFaces()
{
	return {{2, 3, 1, 0}, {7, 6, 4, 5}, {3, 7, 5, 1}, {6, 2, 0, 4}, {6, 7, 3, 2}, {0, 1, 5, 4}};
}

// ---- LWOB objects ------------------------------------------------------------------
// Points and polygons (clockwise) on surface 1, "Skin", of colour (r, g, b); the
// surface's subchunks after its colour and flags are `extra` as given.
inline std::string lwob(const std::vector<LwoPoint>& points, const std::vector<std::vector<unsigned>>& polygons,
	unsigned r, unsigned g, unsigned b, const IffBytes& extra = IffBytes())
{
	IffBytes body;
	IffBytes pnts;
	for (const LwoPoint& p : points)
		pnts.vec(p.X, p.Y, p.Z);
	body.chunk("PNTS", pnts);
	body.chunk("SRFS", IffBytes().s0("Skin"));
	IffBytes pols;
	for (const std::vector<unsigned>& polygon : polygons)
	{
		pols.u2(static_cast<unsigned>(polygon.size()));
		for (unsigned v : polygon)
			pols.u2(v);
		pols.u2(1);
	}
	body.chunk("POLS", pols);
	IffBytes surf;
	surf.s0("Skin");
	surf.sub("COLR", IffBytes().u1(r).u1(g).u1(b).u1(0));
	surf.sub("FLAG", IffBytes().u2(0));
	surf.sub("DIFF", IffBytes().u2(256));
	surf.raw(extra.Data);
	body.chunk("SURF", surf);
	return body.form("LWOB");
}

// ---- BMP images --------------------------------------------------------------------
// A 24-bit BMP of width x height whose pixel (x, y), counted from the top left,
// is colour(x, y) as 0xRRGGBB.
template <typename F>
std::string bmp(int width, int height, F colour)
{
	const int row = (width * 3 + 3) & ~3;
	const uint32_t pixels = static_cast<uint32_t>(row * height);
	std::string out;
	auto le = [&out](uint32_t v, int bytes) {
		for (int i = 0; i < bytes; ++i)
			out += static_cast<char>((v >> (8 * i)) & 0xFF);
	};
	out += "BM";
	le(54 + pixels, 4);
	le(0, 4);
	le(54, 4);
	le(40, 4);
	le(static_cast<uint32_t>(width), 4);
	le(static_cast<uint32_t>(height), 4);
	le(1, 2);
	le(24, 2);
	le(0, 4);
	le(pixels, 4);
	le(2835, 4);
	le(2835, 4);
	le(0, 4);
	le(0, 4);
	for (int y = height - 1; y >= 0; --y)
	{
		for (int x = 0; x < width; ++x)
		{
			const uint32_t c = colour(x, y);
			out += static_cast<char>(c & 0xFF);
			out += static_cast<char>((c >> 8) & 0xFF);
			out += static_cast<char>((c >> 16) & 0xFF);
		}
		out.append(static_cast<size_t>(row - width * 3), '\0');
	}
	return out;
}
} // namespace zetest
