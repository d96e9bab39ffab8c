// LWOB files rewritten as LWO2 files with a layer. The LWOB reading follows
// the LightWave 5 object format: "PNTS" (points), "SRFS" (surface names),
// "POLS" (polygons: vertex count, indices, 1-based surface, a negative
// surface announcing detail polygons), "SURF" (surface name and subchunks);
// everything else is left out.
#include "libext/ZeLwoUpgradeIff.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ze
{
namespace
{
const unsigned LWOB_FLAG_SMOOTHING = 4;
const unsigned LWOB_FLAG_DOUBLE_SIDED = 256;
const float LWOB_SMOOTHING_ANGLE = 89.5f * 3.14159265f / 180.0f;

// ---- LWOB surfaces ----------------------------------------------------------
// An image map of the colour channel.
struct SImageMap
{
	unsigned Projection = 0;  // LWO2: 0 planar, 1 cylindrical, 2 spherical, 3 cubic
	unsigned Axis = 1;        // LWO2: 0 X, 1 Y, 2 Z
	float Size[3] = {1.0f, 1.0f, 1.0f};
	float Centre[3] = {0.0f, 0.0f, 0.0f};
	uint32_t Wrap[2] = {1, 1};
	std::string Image;
};

bool imageProjection(const std::string& type, unsigned* projection)
{
	static const char* const names[] = {"Planar Image Map", "Cylindrical Image Map", "Spherical Image Map",
		"Cubic Image Map"};
	for (unsigned i = 0; i < 4; ++i)
		if (type == names[i])
		{
			*projection = i;
			return true;
		}
	return false;
}

// A fraction stored as 256ths (U2) or as a float (the "V" form wins).
struct SFraction
{
	bool Set = false;
	bool Float = false;
	float Value = 0.0f;

	void fromU2(const SZeIffPiece& p)
	{
		SZeIffReader r(p.Data, p.Size);
		const uint32_t v = r.u2();
		if (!r.Short && !Float)
		{
			Value = static_cast<float>(v) / 256.0f;
			Set = true;
		}
	}
	void fromF4(const SZeIffPiece& p)
	{
		SZeIffReader r(p.Data, p.Size);
		const float v = r.f4();
		if (!r.Short)
		{
			Value = v;
			Set = Float = true;
		}
	}
};

class CSurfaceWriter
{
public:
	explicit CSurfaceWriter(std::vector<std::string>* clips) : Clips(clips) {}

	// The LWO2 "SURF" data of an LWOB "SURF" chunk.
	SZeIffWriter convert(const SZeIffPiece& chunk)
	{
		SZeIffReader r(chunk.Data, chunk.Size);
		const std::string name = r.s0();
		for (const SZeIffPiece& p : zeIffPieces(chunk.Data + r.Pos, r.left(), true))
			take(p);
		finishTexture();

		SZeIffWriter w;
		w.s0(name).s0("");
		if (HasColour)
			w.sub("COLR", SZeIffWriter().vec(Colour).vx(0));
		const char* ids[] = {"LUMI", "DIFF", "SPEC", "REFL", "TRAN"};
		for (int i = 0; i < 5; ++i)
			if (Fractions[i].Set)
				w.sub(ids[i], SZeIffWriter().f4(Fractions[i].Value).vx(0));
		if (Gloss > 0.0f)
			w.sub("GLOS", SZeIffWriter().f4(glossiness(Gloss)).vx(0));
		if (HasSmoothing)
			w.sub("SMAN", SZeIffWriter().f4(Smoothing));
		else if (Flags & LWOB_FLAG_SMOOTHING)
			w.sub("SMAN", SZeIffWriter().f4(LWOB_SMOOTHING_ANGLE));
		if (Flags & LWOB_FLAG_DOUBLE_SIDED)
			w.sub("SIDE", SZeIffWriter().u2(3));
		for (const SImageMap& map : Maps)
			w.sub("BLOK", block(map));
		return w;
	}

private:
	// LightWave 5 keeps the specular exponent (16 to 1024); LWO2 a fraction g
	// whose exponent is 2^(10g + 2).
	static float glossiness(float exponent)
	{
		const float g = (std::log2(exponent) - 2.0f) / 10.0f;
		return g < 0.0f ? 0.0f : (g > 1.0f ? 1.0f : g);
	}

	void take(const SZeIffPiece& p)
	{
		SZeIffReader r(p.Data, p.Size);
		if (zeIffIs(p, "COLR") && r.has(3))
		{
			for (float& c : Colour)
				c = static_cast<float>(r.u(1)) / 255.0f;
			HasColour = true;
		}
		else if (zeIffIs(p, "FLAG") && r.has(2))
			Flags = r.u2();
		else if (zeIffIs(p, "GLOS") && r.has(2))
			Gloss = static_cast<float>(r.u2());
		else if (zeIffIs(p, "SMAN") && r.has(4))
		{
			Smoothing = r.f4();
			HasSmoothing = true;
		}
		else if (fraction(p))
			return;
		else if (p.Id[1] == 'T' && p.Id[2] == 'E' && p.Id[3] == 'X')
		{
			finishTexture();
			unsigned projection = 0;
			InColourMap = zeIffIs(p, "CTEX") && imageProjection(r.s0(), &projection);
			Current = SImageMap();
			Current.Projection = projection;
		}
		else if (InColourMap)
			takeTexture(p, r);
	}

	bool fraction(const SZeIffPiece& p)
	{
		const char* u2Ids[] = {"LUMI", "DIFF", "SPEC", "REFL", "TRAN"};
		const char* f4Ids[] = {"VLUM", "VDIF", "VSPC", "VRFL", "VTRN"};
		for (int i = 0; i < 5; ++i)
		{
			if (zeIffIs(p, u2Ids[i]))
			{
				Fractions[i].fromU2(p);
				return true;
			}
			if (zeIffIs(p, f4Ids[i]))
			{
				Fractions[i].fromF4(p);
				return true;
			}
		}
		return false;
	}

	void takeTexture(const SZeIffPiece& p, SZeIffReader& r)
	{
		if (zeIffIs(p, "TIMG"))
			Current.Image = r.s0();
		else if (zeIffIs(p, "TFLG") && r.has(2))
		{
			const uint32_t flags = r.u2();
			Current.Axis = (flags & 1) ? 0 : ((flags & 4) ? 2 : 1);
		}
		else if (zeIffIs(p, "TSIZ") && r.has(12))
			for (float& v : Current.Size)
				v = r.f4();
		else if (zeIffIs(p, "TCTR") && r.has(12))
			for (float& v : Current.Centre)
				v = r.f4();
		else if (zeIffIs(p, "TWRP") && r.has(4))
		{
			Current.Wrap[0] = r.u2();
			Current.Wrap[1] = r.u2();
		}
	}

	void finishTexture()
	{
		if (InColourMap && !Current.Image.empty() && Current.Image != "(none)")
			Maps.push_back(Current);
		InColourMap = false;
	}

	SZeIffWriter block(const SImageMap& map)
	{
		Clips->push_back(map.Image);
		const float zero[3] = {0.0f, 0.0f, 0.0f};
		SZeIffWriter imap;
		imap.s0("\x80");
		imap.sub("CHAN", SZeIffWriter().id("COLR"));
		imap.sub("OPAC", SZeIffWriter().u2(0).f4(1.0f).vx(0));
		imap.sub("ENAB", SZeIffWriter().u2(1));
		SZeIffWriter tmap;
		tmap.sub("CNTR", SZeIffWriter().vec(map.Centre).vx(0));
		tmap.sub("SIZE", SZeIffWriter().vec(map.Size).vx(0));
		tmap.sub("ROTA", SZeIffWriter().vec(zero).vx(0));
		tmap.sub("CSYS", SZeIffWriter().u2(0));
		SZeIffWriter blok;
		blok.sub("IMAP", imap);
		blok.sub("TMAP", tmap);
		blok.sub("PROJ", SZeIffWriter().u2(map.Projection));
		blok.sub("AXIS", SZeIffWriter().u2(map.Axis));
		blok.sub("IMAG", SZeIffWriter().vx(static_cast<uint32_t>(Clips->size())));
		blok.sub("WRAP", SZeIffWriter().u2(map.Wrap[0]).u2(map.Wrap[1]));
		return blok;
	}

	std::vector<std::string>* Clips;
	float Colour[3] = {1.0f, 1.0f, 1.0f};
	bool HasColour = false;
	uint32_t Flags = 0;
	float Gloss = 0.0f;
	float Smoothing = 0.0f;
	bool HasSmoothing = false;
	SFraction Fractions[5];
	bool InColourMap = false;
	SImageMap Current;
	std::vector<SImageMap> Maps;
};

// ---- LWOB files -------------------------------------------------------------
struct SPolygon
{
	std::vector<uint32_t> Points;
	uint32_t Tag;
};

void readPolygons(const SZeIffPiece& chunk, uint32_t pointCount, std::vector<SPolygon>* out)
{
	SZeIffReader r(chunk.Data, chunk.Size);
	while (r.has(2))
	{
		const uint32_t count = r.u2();
		if (!r.has(2 * static_cast<size_t>(count) + 2))
			break;
		SPolygon polygon;
		bool valid = count > 0 && count <= MAX_LWO2_POLYGON_POINTS;
		for (uint32_t i = 0; i < count; ++i)
		{
			const uint32_t index = r.u2();
			valid = valid && index < pointCount;
			polygon.Points.push_back(index);
		}
		const int16_t surface = static_cast<int16_t>(r.u2());
		// A negative surface announces detail polygons: their count follows,
		// then they come as ordinary polygons.
		if (surface < 0)
			r.u2();
		polygon.Tag = static_cast<uint32_t>(surface < 0 ? -static_cast<int>(surface) : surface);
		if (valid)
			out->push_back(polygon);
	}
}
} // namespace

bool zeRewriteLwob(const unsigned char* data, size_t size, std::string* out)
{
	std::vector<float> points;
	std::vector<std::string> names;
	std::vector<SPolygon> polygons;
	std::vector<SZeIffPiece> surfaces;
	for (const SZeIffPiece& p : zeIffPieces(data, size, false))
	{
		if (zeIffIs(p, "PNTS"))
		{
			SZeIffReader r(p.Data, p.Size - p.Size % 12);
			while (r.has(4))
				points.push_back(r.f4());
		}
		else if (zeIffIs(p, "SRFS"))
		{
			SZeIffReader r(p.Data, p.Size);
			while (r.has(1))
				names.push_back(r.s0());
		}
		else if (zeIffIs(p, "POLS"))
			readPolygons(p, static_cast<uint32_t>(points.size() / 3), &polygons);
		else if (zeIffIs(p, "SURF"))
			surfaces.push_back(p);
	}
	if (polygons.empty())
		return false;
	if (names.empty())
		names.push_back("Default");

	SZeIffWriter body;
	SZeIffWriter tags;
	for (const std::string& name : names)
		tags.s0(name);
	body.chunk("TAGS", tags);
	body.chunk("LAYR", zeLwoLayer(0));
	SZeIffWriter pnts;
	for (float v : points)
		pnts.f4(v);
	body.chunk("PNTS", pnts);
	SZeIffWriter pols;
	SZeIffWriter ptag;
	pols.id("FACE");
	ptag.id("SURF");
	for (size_t i = 0; i < polygons.size(); ++i)
	{
		pols.u2(static_cast<uint32_t>(polygons[i].Points.size()));
		for (uint32_t index : polygons[i].Points)
			pols.vx(index);
		// Surfaces count from 1; one that names no surface takes the first.
		const uint32_t tag = polygons[i].Tag;
		ptag.vx(static_cast<uint32_t>(i)).u2(tag >= 1 && tag <= names.size() ? tag - 1 : 0);
	}
	body.chunk("POLS", pols);
	body.chunk("PTAG", ptag);

	std::vector<std::string> clips;
	SZeIffWriter surfs;
	for (const SZeIffPiece& p : surfaces)
		surfs.chunk("SURF", CSurfaceWriter(&clips).convert(p));
	for (size_t i = 0; i < clips.size(); ++i)
		body.chunk("CLIP", SZeIffWriter().u4(static_cast<uint32_t>(i + 1)).sub("STIL", SZeIffWriter().s0(clips[i])));
	body.Out += surfs.Out;

	SZeIffWriter file;
	file.id("FORM").u4(static_cast<uint32_t>(body.Out.size() + 4)).id("LWO2");
	file.Out += body.Out;
	*out = file.Out;
	return true;
}
} // namespace ze
