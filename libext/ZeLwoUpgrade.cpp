// LWOB files rewritten as LWO2 files with a layer, and LWO2 files checked.
// The LWOB reading follows the LightWave 5 object format: "PNTS" (points),
// "SRFS" (surface names), "POLS" (polygons: vertex count, indices, 1-based
// surface, a negative surface announcing detail polygons), "SURF" (surface
// name and subchunks); everything else is left out.
#include "libext/ZeLwoUpgrade.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <vector>

namespace ze
{
namespace
{
const size_t FORM_HEADER = 12;
const size_t CHUNK_HEADER = 8;
const size_t SUBCHUNK_HEADER = 6;
const unsigned MAX_LWO2_POLYGON_POINTS = 1023;  // 10 bits in an LWO2 polygon
const unsigned LWOB_FLAG_SMOOTHING = 4;
const unsigned LWOB_FLAG_DOUBLE_SIDED = 256;
const float LWOB_SMOOTHING_ANGLE = 89.5f * 3.14159265f / 180.0f;

// ---- Reading ----------------------------------------------------------------
// A bounded view of bytes; reads past the end give zeros and mark it short.
struct Reader
{
	const unsigned char* Data;
	size_t Size;
	size_t Pos = 0;
	bool Short = false;

	Reader(const unsigned char* data, size_t size) : Data(data), Size(size) {}
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
struct Piece
{
	char Id[5];
	const unsigned char* Data;
	size_t Size;
};

// Splits bytes into chunks (32-bit sizes) or subchunks (16-bit sizes), each
// followed by a pad byte when its size is odd; a piece cut by the end is
// dropped, and `overrun` (when given) tells whether one was.
std::vector<Piece> pieces(const unsigned char* data, size_t size, bool sub, bool* overrun = nullptr)
{
	std::vector<Piece> out;
	Reader r(data, size);
	if (overrun)
		*overrun = false;
	for (;;)
	{
		Piece p;
		if (!r.has(sub ? SUBCHUNK_HEADER : CHUNK_HEADER) || !r.id(p.Id))
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

bool is(const Piece& p, const char* id)
{
	return std::memcmp(p.Id, id, 4) == 0;
}

// ---- Writing ----------------------------------------------------------------
struct Writer
{
	std::string Out;

	Writer& id(const char* fourCc)
	{
		Out.append(fourCc, 4);
		return *this;
	}
	Writer& u2(uint32_t v)
	{
		Out += static_cast<char>((v >> 8) & 0xFF);
		Out += static_cast<char>(v & 0xFF);
		return *this;
	}
	Writer& u4(uint32_t v) { return u2(v >> 16).u2(v & 0xFFFF); }
	Writer& f4(float f)
	{
		uint32_t bits;
		std::memcpy(&bits, &f, 4);
		return u4(bits);
	}
	Writer& vec(const float v[3]) { return f4(v[0]).f4(v[1]).f4(v[2]); }
	Writer& vx(uint32_t index) { return index < 0xFF00 ? u2(index) : u4(index | 0xFF000000u); }
	Writer& s0(const std::string& s)
	{
		Out += s;
		Out += '\0';
		if ((s.size() + 1) % 2)
			Out += '\0';
		return *this;
	}
	Writer& chunk(const char* fourCc, const Writer& body)
	{
		id(fourCc).u4(static_cast<uint32_t>(body.Out.size()));
		Out += body.Out;
		if (body.Out.size() % 2)
			Out += '\0';
		return *this;
	}
	Writer& sub(const char* fourCc, const Writer& body)
	{
		id(fourCc).u2(static_cast<uint32_t>(body.Out.size()));
		Out += body.Out;
		if (body.Out.size() % 2)
			Out += '\0';
		return *this;
	}
};

Writer layer(uint32_t number)
{
	const float pivot[3] = {0.0f, 0.0f, 0.0f};
	Writer w;
	w.u2(number).u2(0).vec(pivot).s0("");
	return w;
}

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

	void fromU2(const Piece& p)
	{
		Reader r(p.Data, p.Size);
		const uint32_t v = r.u2();
		if (!r.Short && !Float)
		{
			Value = static_cast<float>(v) / 256.0f;
			Set = true;
		}
	}
	void fromF4(const Piece& p)
	{
		Reader r(p.Data, p.Size);
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
	Writer convert(const Piece& chunk)
	{
		Reader r(chunk.Data, chunk.Size);
		const std::string name = r.s0();
		for (const Piece& p : pieces(chunk.Data + r.Pos, r.left(), true))
			take(p);
		finishTexture();

		Writer w;
		w.s0(name).s0("");
		if (HasColour)
			w.sub("COLR", Writer().vec(Colour).vx(0));
		const char* ids[] = {"LUMI", "DIFF", "SPEC", "REFL", "TRAN"};
		for (int i = 0; i < 5; ++i)
			if (Fractions[i].Set)
				w.sub(ids[i], Writer().f4(Fractions[i].Value).vx(0));
		if (Gloss > 0.0f)
			w.sub("GLOS", Writer().f4(glossiness(Gloss)).vx(0));
		if (HasSmoothing)
			w.sub("SMAN", Writer().f4(Smoothing));
		else if (Flags & LWOB_FLAG_SMOOTHING)
			w.sub("SMAN", Writer().f4(LWOB_SMOOTHING_ANGLE));
		if (Flags & LWOB_FLAG_DOUBLE_SIDED)
			w.sub("SIDE", Writer().u2(3));
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

	void take(const Piece& p)
	{
		Reader r(p.Data, p.Size);
		if (is(p, "COLR") && r.has(3))
		{
			for (float& c : Colour)
				c = static_cast<float>(r.u(1)) / 255.0f;
			HasColour = true;
		}
		else if (is(p, "FLAG") && r.has(2))
			Flags = r.u2();
		else if (is(p, "GLOS") && r.has(2))
			Gloss = static_cast<float>(r.u2());
		else if (is(p, "SMAN") && r.has(4))
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
			InColourMap = is(p, "CTEX") && imageProjection(r.s0(), &projection);
			Current = SImageMap();
			Current.Projection = projection;
		}
		else if (InColourMap)
			takeTexture(p, r);
	}

	bool fraction(const Piece& p)
	{
		const char* u2Ids[] = {"LUMI", "DIFF", "SPEC", "REFL", "TRAN"};
		const char* f4Ids[] = {"VLUM", "VDIF", "VSPC", "VRFL", "VTRN"};
		for (int i = 0; i < 5; ++i)
		{
			if (is(p, u2Ids[i]))
			{
				Fractions[i].fromU2(p);
				return true;
			}
			if (is(p, f4Ids[i]))
			{
				Fractions[i].fromF4(p);
				return true;
			}
		}
		return false;
	}

	void takeTexture(const Piece& p, Reader& r)
	{
		if (is(p, "TIMG"))
			Current.Image = r.s0();
		else if (is(p, "TFLG") && r.has(2))
		{
			const uint32_t flags = r.u2();
			Current.Axis = (flags & 1) ? 0 : ((flags & 4) ? 2 : 1);
		}
		else if (is(p, "TSIZ") && r.has(12))
			for (float& v : Current.Size)
				v = r.f4();
		else if (is(p, "TCTR") && r.has(12))
			for (float& v : Current.Centre)
				v = r.f4();
		else if (is(p, "TWRP") && r.has(4))
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

	Writer block(const SImageMap& map)
	{
		Clips->push_back(map.Image);
		const float zero[3] = {0.0f, 0.0f, 0.0f};
		Writer imap;
		imap.s0("\x80");
		imap.sub("CHAN", Writer().id("COLR"));
		imap.sub("OPAC", Writer().u2(0).f4(1.0f).vx(0));
		imap.sub("ENAB", Writer().u2(1));
		Writer tmap;
		tmap.sub("CNTR", Writer().vec(map.Centre).vx(0));
		tmap.sub("SIZE", Writer().vec(map.Size).vx(0));
		tmap.sub("ROTA", Writer().vec(zero).vx(0));
		tmap.sub("CSYS", Writer().u2(0));
		Writer blok;
		blok.sub("IMAP", imap);
		blok.sub("TMAP", tmap);
		blok.sub("PROJ", Writer().u2(map.Projection));
		blok.sub("AXIS", Writer().u2(map.Axis));
		blok.sub("IMAG", Writer().vx(static_cast<uint32_t>(Clips->size())));
		blok.sub("WRAP", Writer().u2(map.Wrap[0]).u2(map.Wrap[1]));
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

void readPolygons(const Piece& chunk, uint32_t pointCount, std::vector<SPolygon>* out)
{
	Reader r(chunk.Data, chunk.Size);
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

// The LWO2 form of an LWOB file; false when it has no polygon to draw.
bool rewriteLwob(const unsigned char* data, size_t size, std::string* out)
{
	std::vector<float> points;
	std::vector<std::string> names;
	std::vector<SPolygon> polygons;
	std::vector<Piece> surfaces;
	for (const Piece& p : pieces(data, size, false))
	{
		if (is(p, "PNTS"))
		{
			Reader r(p.Data, p.Size - p.Size % 12);
			while (r.has(4))
				points.push_back(r.f4());
		}
		else if (is(p, "SRFS"))
		{
			Reader r(p.Data, p.Size);
			while (r.has(1))
				names.push_back(r.s0());
		}
		else if (is(p, "POLS"))
			readPolygons(p, static_cast<uint32_t>(points.size() / 3), &polygons);
		else if (is(p, "SURF"))
			surfaces.push_back(p);
	}
	if (polygons.empty())
		return false;
	if (names.empty())
		names.push_back("Default");

	Writer body;
	Writer tags;
	for (const std::string& name : names)
		tags.s0(name);
	body.chunk("TAGS", tags);
	body.chunk("LAYR", layer(0));
	Writer pnts;
	for (float v : points)
		pnts.f4(v);
	body.chunk("PNTS", pnts);
	Writer pols;
	Writer ptag;
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
	Writer surfs;
	for (const Piece& p : surfaces)
		surfs.chunk("SURF", CSurfaceWriter(&clips).convert(p));
	for (size_t i = 0; i < clips.size(); ++i)
		body.chunk("CLIP", Writer().u4(static_cast<uint32_t>(i + 1)).sub("STIL", Writer().s0(clips[i])));
	body.Out += surfs.Out;

	Writer file;
	file.id("FORM").u4(static_cast<uint32_t>(body.Out.size() + 4)).id("LWO2");
	file.Out += body.Out;
	*out = file.Out;
	return true;
}

// ---- LWO2 files -------------------------------------------------------------
// Whether every subchunk of the bytes fits in them; with `nested`, also the
// subchunks inside those whose data holds subchunks of their own.
bool subchunksFit(const unsigned char* data, size_t size, bool nested)
{
	bool overrun = false;
	const std::vector<Piece> subs = pieces(data, size, true, &overrun);
	if (overrun)
		return false;
	if (!nested)
		return true;
	for (const Piece& p : subs)
	{
		Reader r(p.Data, p.Size);
		// A block's header (image map, procedural, gradient, shader) starts with its ordinal string.
		if (is(p, "IMAP") || is(p, "PROC") || is(p, "GRAD") || is(p, "SHDR"))
			r.s0();
		else if (!is(p, "TMAP") && !is(p, "BLOK"))
			continue;
		if (!subchunksFit(p.Data + r.Pos, r.left(), is(p, "BLOK")))
			return false;
	}
	return true;
}

// Steps over a null-terminated string and its padding as the import library
// does (it steps over two bytes after a string of even length and goes on
// reading from there); false when they do not fit in what is left.
bool skipString(Reader& r)
{
	const void* end = std::memchr(r.Data + r.Pos, 0, r.left());
	if (!end)
		return false;
	const size_t length = static_cast<size_t>(static_cast<const unsigned char*>(end) - (r.Data + r.Pos));
	const size_t used = length + (length % 2 ? 1 : 2);
	if (used > r.left())
		return false;
	r.Pos += used;
	return true;
}

// A variable-length index: two bytes, or four when the first is 0xFF.
bool readVx(Reader& r, uint32_t* index)
{
	if (!r.has(2))
		return false;
	if (r.Data[r.Pos] != 0xFF)
	{
		*index = r.u2();
		return true;
	}
	if (!r.has(4))
		return false;
	*index = r.u4() & 0x00FFFFFFu;
	return true;
}

// A layer's number and the layer that is its parent, as the rewritten file
// gives them to the import library.
struct SLayerPlan
{
	uint32_t Number = 0;
	long Parent = -1;  // index of the parent layer; -1 for none
};

// The chunks of an LWO2 file with every index and size checked: what the
// import library reads is only what it can read safely. The library builds
// its nodes from the layers' numbers and parents and gives up (leaking) when
// they do not form a tree, so every layer gets a number of its own and only
// parents that exist and close no loop; it mixes up the points of a layer with
// two points chunks, so each such chunk starts a layer of its own; and it loses
// the polygons of a layer with two polygon chunks, so only the first is kept.
class CLwo2Checker
{
public:
	// The checked chunks, or null with `*refusal` set when the import library
	// must not see the file.
	bool check(const unsigned char* data, size_t size, std::string* out, const char** refusal)
	{
		const std::vector<Piece> chunks = pieces(data, size, false);
		if (!planLayers(chunks))
		{
			*refusal = "more than 65535 layers";
			return false;
		}
		Writer w;
		for (const Piece& p : chunks)
			if (!take(p, w))
			{
				*refusal = "more than 65535 layers";
				return false;
			}
		if (!Drawable)
		{
			*refusal = "no polygons to draw";
			return false;
		}
		*out = w.Out;
		return true;
	}

private:
	static const uint32_t NO_LAYER = 0xFFFF;  // the import library's "no parent"

	// Numbers and parents of the file's "LAYR" chunks (those long enough to be
	// kept): a number repeated, or the one that means no layer, is replaced by
	// a free one; a parent is the first layer of its number, kept only when it
	// is another layer and closes no loop.
	bool planLayers(const std::vector<Piece>& chunks)
	{
		std::vector<uint32_t> parentNumbers;
		std::map<uint32_t, size_t> firstOf;
		for (const Piece& p : chunks)
		{
			if (!is(p, "LAYR"))
				continue;
			Reader r(p.Data, p.Size);
			if (!r.has(16))
				continue;
			SLayerPlan plan;
			const uint32_t number = r.u2();
			r.Pos += 14;
			r.s0();
			parentNumbers.push_back(r.has(2) ? r.u2() : NO_LAYER);
			if (number != NO_LAYER && firstOf.emplace(number, Layers.size()).second)
			{
				plan.Number = number;
				Used.insert(number);
			}
			else
				plan.Number = NO_LAYER;
			Layers.push_back(plan);
		}
		for (size_t i = 0; i < Layers.size(); ++i)
		{
			if (Layers[i].Number == NO_LAYER && !freeNumber(&Layers[i].Number))
				return false;
			const auto parent = firstOf.find(parentNumbers[i]);
			if (parentNumbers[i] != NO_LAYER && parent != firstOf.end() && parent->second != i)
				Layers[i].Parent = static_cast<long>(parent->second);
		}
		breakLoops();
		return true;
	}

	// Follows each layer's parents once; a walk that comes back to a layer on
	// its own path has found a loop, closed by the last link, which goes.
	void breakLoops()
	{
		std::vector<char> state(Layers.size(), 0);  // 0 not seen, 1 on the path, 2 done
		std::vector<size_t> path;
		for (size_t start = 0; start < Layers.size(); ++start)
		{
			path.clear();
			size_t at = start;
			while (state[at] == 0)
			{
				state[at] = 1;
				path.push_back(at);
				if (Layers[at].Parent < 0)
					break;
				at = static_cast<size_t>(Layers[at].Parent);
			}
			if (state[at] == 1 && Layers[path.back()].Parent >= 0)
				Layers[path.back()].Parent = -1;
			for (size_t i : path)
				state[i] = 2;
		}
	}

	bool freeNumber(uint32_t* number)
	{
		while (NextFree < NO_LAYER && Used.count(NextFree))
			++NextFree;
		if (NextFree >= NO_LAYER)
			return false;
		Used.insert(NextFree);
		*number = NextFree++;
		return true;
	}

	// A layer of the rewriting's own before points that have none.
	bool newLayer(Writer& out)
	{
		uint32_t number = 0;
		if (!freeNumber(&number))
			return false;
		out.chunk("LAYR", layer(number));
		startLayer();
		return true;
	}

	void startLayer()
	{
		LayerSeen = true;
		PointsSeen = false;
		PolygonsSeen = false;
		SkipPolygonData = false;
		Points = Polygons = 0;
	}

	// Writes what the library may read of a chunk; false when a layer is needed and no number is left.
	bool take(const Piece& p, Writer& out)
	{
		Reader r(p.Data, p.Size);
		if (is(p, "TAGS"))
		{
			Writer tags;
			Tags = 0;
			for (; r.has(1); ++Tags)
				tags.s0(r.s0());
			out.chunk("TAGS", tags);
		}
		else if (is(p, "LAYR"))
			addLayer(r, out);
		else if (is(p, "PNTS"))
		{
			// Points before any layer, or after the layer's own, belong to a layer of their own.
			if ((!LayerSeen || PointsSeen) && !newLayer(out))
				return false;
			PointsSeen = true;
			Points = static_cast<uint32_t>(p.Size / 12);
			Writer points;
			points.Out.assign(reinterpret_cast<const char*>(p.Data), Points * 12);
			out.chunk("PNTS", points);
		}
		else if (is(p, "POLS"))
		{
			// Polygons naming points not given yet, or a layer's second list, go with their tags and maps.
			SkipPolygonData = Points == 0 || PolygonsSeen;
			if (!SkipPolygonData)
				polygons(r, out);
		}
		else if (is(p, "PTAG"))
		{
			if (!SkipPolygonData)
				tags(r, out);
		}
		else if (is(p, "VMAD"))
		{
			if (!SkipPolygonData)
				map(p, out);
		}
		else if (is(p, "VMAP"))
			map(p, out);
		else if (is(p, "BBOX"))
		{
			if (p.Size >= 24)
				copy(p, out);
		}
		else if (is(p, "SURF"))
		{
			// The surface's name and its source's, each ended and padded inside the chunk.
			if (skipString(r) && skipString(r) && subchunksFit(p.Data + r.Pos, r.left(), true))
				copy(p, out);
		}
		else if (is(p, "CLIP") || is(p, "ENVL"))
		{
			uint32_t index = 0;
			const bool read = is(p, "CLIP") ? (r.u4(), !r.Short) : readVx(r, &index);
			if (read && subchunksFit(p.Data + r.Pos, r.left(), false))
				copy(p, out);
		}
		else
			copy(p, out);
		return true;
	}

	static void copy(const Piece& p, Writer& out)
	{
		Writer body;
		body.Out.assign(reinterpret_cast<const char*>(p.Data), p.Size);
		out.chunk(p.Id, body);
	}

	// Number, flags, pivot, name and the optional parent.
	void addLayer(Reader& r, Writer& out)
	{
		if (!r.has(16))
			return;
		r.u2();  // the number, replaced by the planned one
		const uint32_t flags = r.u2();
		float pivot[3];
		for (float& v : pivot)
			v = r.f4();
		const std::string name = r.s0();
		const SLayerPlan& plan = Layers[LayerIndex++];
		Writer w;
		w.u2(plan.Number).u2(flags).vec(pivot).s0(name);
		if (plan.Parent >= 0)
			w.u2(Layers[static_cast<size_t>(plan.Parent)].Number);
		out.chunk("LAYR", w);
		startLayer();
	}

	// Each polygon keeps its place: one cut by the chunk's end ends the list,
	// one with a missing point becomes a single point (which is not drawn).
	void polygons(Reader& r, Writer& out)
	{
		if (!r.has(4))
			return;
		char type[5];
		r.id(type);
		Writer w;
		w.id(type);
		Polygons = 0;
		std::vector<uint32_t> indices;
		while (r.has(2) && Points > 0)
		{
			const uint32_t head = r.u2();
			const uint32_t count = head & 0x3FF;
			indices.clear();
			bool valid = count > 0;
			uint32_t index = 0;
			for (uint32_t i = 0; i < count; ++i)
			{
				if (!readVx(r, &index))
					break;
				valid = valid && index < Points;
				indices.push_back(index);
			}
			if (indices.size() < count)
				break;
			if (!valid)
				indices.assign(1, 0);
			w.u2((head & 0xFC00) | static_cast<uint32_t>(indices.size()));
			for (uint32_t v : indices)
				w.vx(v);
			++Polygons;
		}
		out.chunk("POLS", w);
		PolygonsSeen = true;
		// Faces, patches, subdivision surfaces and bones make meshes; curves and metaballs do not.
		for (const char* kind : {"FACE", "PTCH", "SUBD", "BONE"})
			Drawable = Drawable || (Polygons > 0 && std::memcmp(type, kind, 4) == 0);
	}

	// Polygon tags of polygons that exist; surface tags that name a tag.
	void tags(Reader& r, Writer& out)
	{
		if (!r.has(4))
			return;
		char type[5];
		r.id(type);
		const bool surface = std::memcmp(type, "SURF", 4) == 0;
		Writer w;
		w.id(type);
		uint32_t polygon = 0;
		while (readVx(r, &polygon) && r.has(2))
		{
			const uint32_t tag = r.u2();
			if (polygon < Polygons && (!surface || tag < Tags))
				w.vx(polygon).u2(tag);
		}
		out.chunk("PTAG", w);
	}

	// Vertex maps ("VMAP": point, values) and discontinuous ones ("VMAD":
	// point, polygon, values): entries of points and polygons that exist.
	void map(const Piece& p, Writer& out)
	{
		const bool discontinuous = is(p, "VMAD");
		Reader r(p.Data, p.Size);
		if (!r.has(6))
			return;
		char type[5];
		r.id(type);
		const uint32_t dimension = r.u2();
		const std::string name = r.s0();
		Writer w;
		w.id(type).u2(dimension).s0(name);
		uint32_t point = 0, polygon = 0;
		while (readVx(r, &point) && (!discontinuous || readVx(r, &polygon)) && r.has(4 * static_cast<size_t>(dimension)))
		{
			const bool keep = point < Points && (!discontinuous || polygon < Polygons);
			if (keep)
			{
				w.vx(point);
				if (discontinuous)
					w.vx(polygon);
			}
			for (uint32_t i = 0; i < dimension; ++i)
			{
				const float v = r.f4();
				if (keep)
					w.f4(v);
			}
		}
		out.chunk(p.Id, w);
	}

	std::vector<SLayerPlan> Layers;
	size_t LayerIndex = 0;
	std::set<uint32_t> Used;
	uint32_t NextFree = 0;
	bool LayerSeen = false;
	bool PointsSeen = false;
	bool PolygonsSeen = false;
	bool SkipPolygonData = false;
	bool Drawable = false;
	uint32_t Points = 0;
	uint32_t Polygons = 0;
	uint32_t Tags = 0;
};
} // namespace

E_LWO_UPGRADE zeUpgradeLwo(const unsigned char* data, size_t size, std::string* out, const char** refusal)
{
	const char* ignored = nullptr;
	const char** why = refusal ? refusal : &ignored;
	if (!data || size < FORM_HEADER || std::memcmp(data, "FORM", 4) != 0)
		return ELU_NOT_LWO;
	Reader r(data + 4, 4);
	// The chunks end at the form's size or at the end of the data, whichever comes first.
	const size_t declared = r.u4();
	const size_t end = declared + 8 < size ? declared + 8 : size;
	const unsigned char* chunks = data + FORM_HEADER;
	const size_t chunkBytes = end > FORM_HEADER ? end - FORM_HEADER : 0;
	if (std::memcmp(data + 8, "LWOB", 4) == 0)
	{
		std::string rewritten;
		if (!rewriteLwob(chunks, chunkBytes, &rewritten))
		{
			*why = "no polygons to draw";
			return ELU_REFUSED;
		}
		if (out)
			*out = rewritten;
		return ELU_REWRITTEN;
	}
	if (std::memcmp(data + 8, "LWO2", 4) != 0)
		return ELU_NOT_LWO;
	std::string checked;
	if (!CLwo2Checker().check(chunks, chunkBytes, &checked, why))
		return ELU_REFUSED;
	Writer file;
	file.id("FORM").u4(static_cast<uint32_t>(checked.size() + 4)).id("LWO2");
	file.Out += checked;
	if (file.Out.size() == size && std::memcmp(file.Out.data(), data, size) == 0)
		return ELU_UNCHANGED;
	if (out)
		*out = file.Out;
	return ELU_REWRITTEN;
}
} // namespace ze
