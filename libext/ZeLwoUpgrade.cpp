// LWO2 files checked for the import library, LWOB files rewritten first
// (ZeLwoUpgradeLwob.cpp).
#include "libext/ZeLwoUpgrade.h"
#include "libext/ZeLwoUpgradeIff.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>
#include <vector>

namespace ze
{
namespace
{
// Pairs of nearby polygon corners that the import library's smoothing may
// compare in one layer: about three seconds of its work.
const uint64_t MAX_SMOOTHING_PAIRS = 1000000000ull;

// ---- LWO2 files -------------------------------------------------------------
// Whether every subchunk of the bytes fits in them; with `nested`, also the
// subchunks inside those whose data holds subchunks of their own.
bool subchunksFit(const unsigned char* data, size_t size, bool nested)
{
	bool overrun = false;
	const std::vector<SZeIffPiece> subs = zeIffPieces(data, size, true, &overrun);
	if (overrun)
		return false;
	if (!nested)
		return true;
	for (const SZeIffPiece& p : subs)
	{
		SZeIffReader r(p.Data, p.Size);
		// A block's header (image map, procedural, gradient, shader) starts with its ordinal string.
		if (zeIffIs(p, "IMAP") || zeIffIs(p, "PROC") || zeIffIs(p, "GRAD") || zeIffIs(p, "SHDR"))
			r.s0();
		else if (!zeIffIs(p, "TMAP") && !zeIffIs(p, "BLOK"))
			continue;
		if (!subchunksFit(p.Data + r.Pos, r.left(), zeIffIs(p, "BLOK")))
			return false;
	}
	return true;
}

// Steps over a null-terminated string and its padding as the import library
// does (it steps over two bytes after a string of even length and goes on
// reading from there); false when they do not fit in what is left.
bool skipString(SZeIffReader& r)
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
bool readVx(SZeIffReader& r, uint32_t* index)
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

// Whether a surface of the file smooths (an "SMAN" angle other than 0): the
// import library then smooths the normals of the polygons it draws.
bool smooths(const std::vector<SZeIffPiece>& chunks)
{
	for (const SZeIffPiece& p : chunks)
	{
		SZeIffReader r(p.Data, p.Size);
		if (!zeIffIs(p, "SURF") || !skipString(r) || !skipString(r))
			continue;
		for (const SZeIffPiece& sub : zeIffPieces(p.Data + r.Pos, r.left(), true))
			if (zeIffIs(sub, "SMAN") && SZeIffReader(sub.Data, sub.Size).f4() != 0.0f)
				return true;
	}
	return false;
}

// Smoothing compares each polygon corner with every corner within a
// ten-thousandth of the object's size of it. The corners in one cell of that
// size stand for those near each other; when the pairs among them pass
// MAX_SMOOTHING_PAIRS (seconds of the library's work), `why` says how many
// corners crowd at how few points. `uses` counts the corners at each point.
bool smoothable(const unsigned char* points, const std::vector<uint32_t>& uses, std::string* why)
{
	auto point = [points](size_t i, float p[3]) {
		SZeIffReader r(points + 12 * i, 12);
		for (int k = 0; k < 3; ++k)
			p[k] = r.f4();
	};
	float lo[3] = {HUGE_VALF, HUGE_VALF, HUGE_VALF}, hi[3] = {-HUGE_VALF, -HUGE_VALF, -HUGE_VALF};
	float p[3];
	for (size_t i = 0; i < uses.size(); ++i)
		if (uses[i])
		{
			point(i, p);
			for (int k = 0; k < 3; ++k)
			{
				lo[k] = std::min(lo[k], p[k]);
				hi[k] = std::max(hi[k], p[k]);
			}
		}
	if (lo[0] > hi[0])
		return true;
	double diagonal = 0.0;
	for (int k = 0; k < 3; ++k)
		diagonal += (double(hi[k]) - lo[k]) * (double(hi[k]) - lo[k]);
	const double cell = std::sqrt(diagonal) * 1e-4;
	std::unordered_map<uint64_t, uint64_t> corners;
	for (size_t i = 0; i < uses.size(); ++i)
		if (uses[i])
		{
			point(i, p);
			uint64_t key = 0;
			for (int k = 0; k < 3; ++k)
				key = (key << 21) | static_cast<uint64_t>(cell > 0.0 ? std::min((p[k] - lo[k]) / cell, 2097151.0) : 0.0);
			corners[key] += uses[i];
		}
	std::vector<uint64_t> counts;
	counts.reserve(corners.size());
	for (const auto& c : corners)
		counts.push_back(c.second);
	std::sort(counts.begin(), counts.end(), std::greater<uint64_t>());
	uint64_t pairs = 0, crowd = 0;
	for (size_t i = 0; i < counts.size(); ++i)
	{
		pairs += counts[i] * counts[i];
		crowd += counts[i];
		if (pairs > MAX_SMOOTHING_PAIRS)
		{
			*why = std::to_string(crowd) + " polygon corners at " + std::to_string(i + 1) + (i ? " points" : " point") +
				", too many to smooth";
			return false;
		}
	}
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
	// The checked chunks into `out`; false with `refusal` set when the import
	// library must not see the file.
	bool check(const unsigned char* data, size_t size, std::string* out, std::string* refusal)
	{
		const std::vector<SZeIffPiece> chunks = zeIffPieces(data, size, false);
		Smoothed = smooths(chunks);
		SZeIffWriter w;
		if (!planLayers(chunks))
			Why = "more than 65535 layers";
		for (size_t i = 0; i < chunks.size() && Why.empty(); ++i)
			take(chunks[i], w);
		if (Why.empty() && !Drawable)
			Why = "no polygons to draw";
		if (!Why.empty())
		{
			*refusal = Why;
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
	bool planLayers(const std::vector<SZeIffPiece>& chunks)
	{
		std::vector<uint32_t> parentNumbers;
		std::map<uint32_t, size_t> firstOf;
		for (const SZeIffPiece& p : chunks)
		{
			if (!zeIffIs(p, "LAYR"))
				continue;
			SZeIffReader r(p.Data, p.Size);
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
	bool newLayer(SZeIffWriter& out)
	{
		uint32_t number = 0;
		if (!freeNumber(&number))
		{
			Why = "more than 65535 layers";
			return false;
		}
		out.chunk("LAYR", zeLwoLayer(number));
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

	// Writes what the library may read of a chunk, or sets why the file is refused.
	void take(const SZeIffPiece& p, SZeIffWriter& out)
	{
		SZeIffReader r(p.Data, p.Size);
		if (zeIffIs(p, "TAGS"))
		{
			SZeIffWriter tags;
			Tags = 0;
			for (; r.has(1); ++Tags)
				tags.s0(r.s0());
			out.chunk("TAGS", tags);
		}
		else if (zeIffIs(p, "LAYR"))
			addLayer(r, out);
		else if (zeIffIs(p, "PNTS"))
		{
			// Points before any layer, or after the layer's own, belong to a layer of their own.
			if ((!LayerSeen || PointsSeen) && !newLayer(out))
				return;
			PointsSeen = true;
			Points = static_cast<uint32_t>(p.Size / 12);
			PointData = p.Data;
			SZeIffWriter points;
			points.Out.assign(reinterpret_cast<const char*>(p.Data), Points * 12);
			out.chunk("PNTS", points);
		}
		else if (zeIffIs(p, "POLS"))
		{
			// Polygons naming points not given yet, or a layer's second list, go with their tags and maps.
			SkipPolygonData = Points == 0 || PolygonsSeen;
			if (!SkipPolygonData)
				polygons(r, out);
		}
		else if (zeIffIs(p, "PTAG"))
		{
			if (!SkipPolygonData)
				tags(r, out);
		}
		else if (zeIffIs(p, "VMAD"))
		{
			if (!SkipPolygonData)
				map(p, out);
		}
		else if (zeIffIs(p, "VMAP"))
			map(p, out);
		else if (zeIffIs(p, "BBOX"))
		{
			if (p.Size >= 24)
				copy(p, out);
		}
		else if (zeIffIs(p, "SURF"))
		{
			// The surface's name and its source's, each ended and padded inside the chunk.
			if (skipString(r) && skipString(r) && subchunksFit(p.Data + r.Pos, r.left(), true))
				copy(p, out);
		}
		else if (zeIffIs(p, "CLIP") || zeIffIs(p, "ENVL"))
		{
			uint32_t index = 0;
			const bool read = zeIffIs(p, "CLIP") ? (r.u4(), !r.Short) : readVx(r, &index);
			if (read && subchunksFit(p.Data + r.Pos, r.left(), false))
				copy(p, out);
		}
		else
			copy(p, out);
	}

	static void copy(const SZeIffPiece& p, SZeIffWriter& out)
	{
		SZeIffWriter body;
		body.Out.assign(reinterpret_cast<const char*>(p.Data), p.Size);
		out.chunk(p.Id, body);
	}

	// Number, flags, pivot, name and the optional parent.
	void addLayer(SZeIffReader& r, SZeIffWriter& out)
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
		SZeIffWriter w;
		w.u2(plan.Number).u2(flags).vec(pivot).s0(name);
		if (plan.Parent >= 0)
			w.u2(Layers[static_cast<size_t>(plan.Parent)].Number);
		out.chunk("LAYR", w);
		startLayer();
	}

	// Each polygon keeps its place: one cut by the chunk's end ends the list,
	// one with a missing point becomes a single point (which is not drawn).
	void polygons(SZeIffReader& r, SZeIffWriter& out)
	{
		if (!r.has(4))
			return;
		char type[5];
		r.id(type);
		SZeIffWriter w;
		w.id(type);
		Polygons = 0;
		std::vector<uint32_t> uses(Points, 0);
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
			{
				w.vx(v);
				++uses[v];
			}
			++Polygons;
		}
		out.chunk("POLS", w);
		PolygonsSeen = true;
		// Faces, patches, subdivision surfaces and bones make meshes; curves and metaballs do not.
		bool drawn = false;
		for (const char* kind : {"FACE", "PTCH", "SUBD", "BONE"})
			drawn = drawn || (Polygons > 0 && std::memcmp(type, kind, 4) == 0);
		Drawable = Drawable || drawn;
		if (drawn && Smoothed)
			smoothable(PointData, uses, &Why);
	}

	// Polygon tags of polygons that exist; surface tags that name a tag.
	void tags(SZeIffReader& r, SZeIffWriter& out)
	{
		if (!r.has(4))
			return;
		char type[5];
		r.id(type);
		const bool surface = std::memcmp(type, "SURF", 4) == 0;
		SZeIffWriter w;
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
	void map(const SZeIffPiece& p, SZeIffWriter& out)
	{
		const bool discontinuous = zeIffIs(p, "VMAD");
		SZeIffReader r(p.Data, p.Size);
		if (!r.has(6))
			return;
		char type[5];
		r.id(type);
		const uint32_t dimension = r.u2();
		const std::string name = r.s0();
		SZeIffWriter w;
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
	bool Smoothed = false;
	const unsigned char* PointData = nullptr;
	uint32_t Points = 0;
	uint32_t Polygons = 0;
	uint32_t Tags = 0;
	std::string Why;
};
} // namespace

E_LWO_UPGRADE zeUpgradeLwo(const unsigned char* data, size_t size, std::string* out, std::string* refusal)
{
	std::string ignored;
	std::string* why = refusal ? refusal : &ignored;
	if (!data || size < LWO_FORM_HEADER || std::memcmp(data, "FORM", 4) != 0)
		return ELU_NOT_LWO;
	SZeIffReader r(data + 4, 4);
	// The chunks end at the form's size or at the end of the data, whichever comes first.
	const size_t declared = r.u4();
	const size_t end = declared + 8 < size ? declared + 8 : size;
	const unsigned char* chunks = data + LWO_FORM_HEADER;
	size_t chunkBytes = end > LWO_FORM_HEADER ? end - LWO_FORM_HEADER : 0;
	const bool lwob = std::memcmp(data + 8, "LWOB", 4) == 0;
	if (!lwob && std::memcmp(data + 8, "LWO2", 4) != 0)
		return ELU_NOT_LWO;
	// An LWOB file is checked in its LWO2 form.
	std::string rewritten;
	if (lwob)
	{
		if (!zeRewriteLwob(chunks, chunkBytes, &rewritten))
		{
			*why = "no polygons to draw";
			return ELU_REFUSED;
		}
		chunks = reinterpret_cast<const unsigned char*>(rewritten.data()) + LWO_FORM_HEADER;
		chunkBytes = rewritten.size() - LWO_FORM_HEADER;
	}
	std::string checked;
	if (!CLwo2Checker().check(chunks, chunkBytes, &checked, why))
		return ELU_REFUSED;
	SZeIffWriter file;
	file.id("FORM").u4(static_cast<uint32_t>(checked.size() + 4)).id("LWO2");
	file.Out += checked;
	if (!lwob && file.Out.size() == size && std::memcmp(file.Out.data(), data, size) == 0)
		return ELU_UNCHANGED;
	if (out)
		*out = file.Out;
	return ELU_REWRITTEN;
}
} // namespace ze
