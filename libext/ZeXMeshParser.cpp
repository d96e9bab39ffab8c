// The ".x" reader: data objects from the token stream of ZeXMeshLexer.h,
// read by the counts they declare, templates and unknown objects
// skipped by their braces.
#include "libext/ZeXMeshParser.h"

#include "libext/ZeXMeshLexer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unordered_map>

using namespace irr;

namespace ze
{
namespace xfile
{
namespace
{
const int MAX_FRAME_DEPTH = 128;

// Colours are 0..1 in the file. Values beyond either end are clamped: the
// conversion to 8-bit channels is only defined inside that range.
video::SColorf clampedColor(f32 r, f32 g, f32 b, f32 a)
{
	const auto unit = [](f32 v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); };
	return video::SColorf(unit(r), unit(g), unit(b), unit(a));
}

class Parser
{
public:
	Parser(Lexer& lexer, File& file) : Lex(lexer), Out(file) {}

	const std::string& error() const { return Error; }

	bool parseTopLevel()
	{
		Token t;
		for (;;)
		{
			if (!next(t))
				return false;
			switch (t.Type)
			{
			case ETT_END:
				return resolveMaterialRefs();
			case ETT_SEPARATOR:
				continue;
			case ETT_TEMPLATE:
				if (!skipObject())
					return false;
				continue;
			case ETT_NAME:
				break;
			case ETT_CBRACE:
				return fail("unbalanced braces");
			default:
				return fail("unexpected value outside a data object");
			}
			const std::string ident = t.Text;
			if (sameName(ident, "template"))
			{
				if (!skipObject())
					return false;
				continue;
			}
			bool ok = false;
			if (sameName(ident, "Frame"))
				ok = parseFrame(-1, 0);
			else if (sameName(ident, "Mesh"))
				ok = parseMesh(-1);
			else if (sameName(ident, "Material"))
			{
				Material m;
				ok = parseMaterial(m);
				Out.Materials.push_back(m);
			}
			else if (sameName(ident, "AnimationSet"))
				ok = parseAnimationSet();
			else if (sameName(ident, "AnimTicksPerSecond"))
				ok = parseTicks();
			else
				ok = skipObject();
			if (!ok)
				return false;
		}
	}

private:
	enum EMember
	{
		EM_END,
		EM_OBJECT,
		EM_REFERENCE
	};

	bool fail(const char* format, ...) __attribute__((format(printf, 2, 3)))
	{
		if (Error.empty())
		{
			char text[256];
			va_list args;
			va_start(args, format);
			std::vsnprintf(text, sizeof(text), format, args);
			va_end(args);
			Error = text;
		}
		return false;
	}

	bool next(Token& t)
	{
		if (!Lex.next(t))
			return fail("%s", Lex.error().c_str());
		return true;
	}

	// The next token that is not a separator.
	bool nextValue(Token& t)
	{
		do
		{
			if (!next(t))
				return false;
		} while (t.Type == ETT_SEPARATOR);
		if (t.Type == ETT_END)
			return fail("unexpected end of file");
		return true;
	}

	bool readU32(u32& v, const char* what)
	{
		Token t;
		if (!nextValue(t))
			return false;
		if ((t.Type != ETT_INT && t.Type != ETT_FLOAT) || !t.IsIntegral)
			return fail("expected an integer for %s", what);
		v = t.Int;
		return true;
	}

	bool readF32(f32& v, const char* what)
	{
		Token t;
		if (!nextValue(t))
			return false;
		if (t.Type != ETT_INT && t.Type != ETT_FLOAT)
			return fail("expected a number for %s", what);
		v = t.Float;
		return true;
	}

	bool readFloats(f32* v, u32 n, const char* what)
	{
		for (u32 i = 0; i < n; ++i)
			if (!readF32(v[i], what))
				return false;
		return true;
	}

	bool readString(std::string& s, const char* what)
	{
		Token t;
		if (!nextValue(t))
			return false;
		if (t.Type != ETT_STRING)
			return fail("expected a string for %s", what);
		s = t.Text;
		return true;
	}

	// A count of items of `values` values each, refused when the bytes left
	// cannot hold them: no count reserves more than the file can back.
	bool readCount(u32& n, u32 values, const char* what)
	{
		if (!readU32(n, what))
			return false;
		if (!Lex.canHold(u64(n) * values))
			return fail("%s %u exceeds the data in the file", what, n);
		return true;
	}

	bool readMatrix(core::matrix4& m, const char* what)
	{
		f32 v[16];
		if (!readFloats(v, 16, what))
			return false;
		m.setM(v);
		return true;
	}

	// After an object's identifier: its optional name and GUID, then '{'.
	bool openObject(std::string* name)
	{
		Token t;
		if (!nextValue(t))
			return false;
		if (t.Type == ETT_NAME)
		{
			if (name)
				*name = t.Text;
			if (!nextValue(t))
				return false;
		}
		if (t.Type == ETT_GUID && !nextValue(t))
			return false;
		if (t.Type != ETT_OBRACE)
			return fail("expected '{'");
		return true;
	}

	// After an identifier (or "template"): the rest of the object, unread.
	bool skipObject()
	{
		int depth = 0;
		Token t;
		for (;;)
		{
			if (!next(t))
				return false;
			if (t.Type == ETT_END)
				return fail("unexpected end of file");
			if (t.Type == ETT_OBRACE)
				++depth;
			else if (t.Type == ETT_CBRACE)
			{
				if (--depth == 0)
					return true;
				if (depth < 0)
					return fail("unbalanced braces");
			}
		}
	}

	// The next member of an object body: a nested object (its identifier in
	// `ident`), a reference ({ Name }, the name in `ident`) or the closing brace.
	// Stray values are passed over.
	bool nextMember(EMember& kind, std::string& ident)
	{
		Token t;
		for (;;)
		{
			if (!nextValue(t))
				return false;
			switch (t.Type)
			{
			case ETT_CBRACE:
				kind = EM_END;
				return true;
			case ETT_NAME:
				kind = EM_OBJECT;
				ident = t.Text;
				return true;
			case ETT_TEMPLATE:
				if (!skipObject())
					return false;
				continue;
			case ETT_OBRACE:
				ident.clear();
				for (;;)
				{
					if (!nextValue(t))
						return false;
					if (t.Type == ETT_CBRACE)
						break;
					if (t.Type == ETT_NAME && ident.empty())
						ident = t.Text;
					else if (t.Type != ETT_GUID)
						return fail("bad reference");
				}
				kind = EM_REFERENCE;
				return true;
			default:
				continue;
			}
		}
	}

	// Walks the members of an object body up to its closing brace: a reference
	// goes to onReference(name), a nested object to onObject(ident), which reads
	// or skips it and answers false on an error.
	template <class OnReference, class OnObject>
	bool forEachMember(OnReference onReference, OnObject onObject)
	{
		EMember kind = EMember();
		std::string ident;
		for (;;)
		{
			if (!nextMember(kind, ident))
				return false;
			if (kind == EM_END)
				return true;
			if (kind == EM_REFERENCE)
			{
				onReference(ident);
				continue;
			}
			if (!onObject(ident))
				return false;
		}
	}

	// The same with references passed over.
	template <class OnObject>
	bool forEachObject(OnObject onObject)
	{
		return forEachMember([](const std::string&) {}, onObject);
	}

	// Skips the members of an object body up to its closing brace.
	bool skipMembers()
	{
		return forEachObject([this](const std::string&) { return skipObject(); });
	}

	bool parseTicks()
	{
		if (!openObject(nullptr) || !readU32(Out.TicksPerSecond, "AnimTicksPerSecond"))
			return false;
		return skipMembers();
	}

	bool parseFrame(int parent, int depth)
	{
		if (depth >= MAX_FRAME_DEPTH)
			return fail("frames nested too deeply");
		Frame frame;
		frame.Parent = parent;
		if (!openObject(&frame.Name))
			return false;
		const int index = int(Out.Frames.size());
		Out.Frames.push_back(frame);
		return forEachMember(
			[&](const std::string&) {
				Out.Warnings.push_back("frame '" + Out.Frames[index].Name + "': mesh reference ignored");
			},
			[&](const std::string& ident) {
				if (sameName(ident, "FrameTransformMatrix"))
				{
					core::matrix4 m;
					const bool ok = openObject(nullptr) && readMatrix(m, "FrameTransformMatrix") && skipMembers();
					Out.Frames[index].Local = m;
					return ok;
				}
				if (sameName(ident, "Frame"))
					return parseFrame(index, depth + 1);
				if (sameName(ident, "Mesh"))
					return parseMesh(index);
				return skipObject();
			});
	}

	bool parseMesh(int frame)
	{
		Mesh mesh;
		mesh.Frame = frame;
		if (!openObject(&mesh.Name))
			return false;
		u32 vertexCount = 0, faceCount = 0;
		if (!readCount(vertexCount, 3, "vertex count"))
			return false;
		mesh.Positions.resize(vertexCount);
		for (u32 i = 0; i < vertexCount; ++i)
			if (!readFloats(&mesh.Positions[i].X, 3, "vertex"))
				return false;
		if (!readCount(faceCount, 1, "face count"))
			return false;
		mesh.FaceStart.reserve(u64(faceCount) + 1);
		for (u32 f = 0; f < faceCount; ++f)
		{
			u32 corners = 0;
			if (!readCount(corners, 1, "face size"))
				return false;
			for (u32 c = 0; c < corners; ++c)
			{
				u32 index = 0;
				if (!readU32(index, "face index"))
					return false;
				if (index >= vertexCount)
					return fail("face %u: vertex index %u out of range (%u vertices)", f, index, vertexCount);
				mesh.FaceIndices.push_back(index);
			}
			if (mesh.FaceIndices.size() > 0xFFFFFFFFu)
				return fail("too many face indices");
			mesh.FaceStart.push_back(u32(mesh.FaceIndices.size()));
		}
		const bool read = forEachObject([&](const std::string& ident) {
			if (sameName(ident, "MeshNormals"))
				return parseNormals(mesh);
			if (sameName(ident, "MeshTextureCoords"))
				return parseTexCoords(mesh);
			if (sameName(ident, "MeshVertexColors"))
				return parseColors(mesh);
			if (sameName(ident, "MeshMaterialList"))
				return parseMaterialList(mesh);
			if (sameName(ident, "SkinWeights"))
				return parseSkinWeights(mesh);
			if (sameName(ident, "MeshMaterialsUVs"))
				return parseMaterialsUVs(mesh);
			return skipObject();
		});
		if (!read)
			return false;
		Out.Meshes.push_back(std::move(mesh));
		return true;
	}

	bool parseNormals(Mesh& mesh)
	{
		if (!openObject(nullptr))
			return false;
		u32 count = 0, faceCount = 0;
		if (!readCount(count, 3, "normal count"))
			return false;
		mesh.Normals.resize(count);
		for (u32 i = 0; i < count; ++i)
			if (!readFloats(&mesh.Normals[i].X, 3, "normal"))
				return false;
		if (!readCount(faceCount, 1, "normal face count"))
			return false;
		if (faceCount != mesh.getFaceCount())
			return fail("%u normal faces for %u faces", faceCount, mesh.getFaceCount());
		mesh.CornerNormals.resize(mesh.FaceIndices.size());
		for (u32 f = 0; f < faceCount; ++f)
		{
			u32 corners = 0;
			if (!readU32(corners, "normal face size"))
				return false;
			if (corners != mesh.FaceStart[f + 1] - mesh.FaceStart[f])
				return fail("normal face %u has %u corners, face has %u", f, corners,
				            mesh.FaceStart[f + 1] - mesh.FaceStart[f]);
			for (u32 c = 0; c < corners; ++c)
			{
				u32 index = 0;
				if (!readU32(index, "normal index"))
					return false;
				if (index >= count)
					return fail("normal face %u: normal index %u out of range (%u normals)", f, index, count);
				mesh.CornerNormals[mesh.FaceStart[f] + c] = index;
			}
		}
		mesh.HasNormals = true;
		return skipMembers();
	}

	bool parseTexCoords(Mesh& mesh)
	{
		if (!openObject(nullptr))
			return false;
		u32 count = 0;
		if (!readCount(count, 2, "texture coordinate count"))
			return false;
		mesh.TexCoords.assign(mesh.Positions.size(), core::vector2df(0.f, 0.f));
		for (u32 i = 0; i < count; ++i)
		{
			f32 uv[2];
			if (!readFloats(uv, 2, "texture coordinates"))
				return false;
			if (i < mesh.TexCoords.size())
				mesh.TexCoords[i].set(uv[0], uv[1]);
		}
		if (count != mesh.Positions.size())
			Out.Warnings.push_back("mesh '" + mesh.Name + "': texture coordinate count differs from the vertex count");
		return skipMembers();
	}

	bool parseColors(Mesh& mesh)
	{
		if (!openObject(nullptr))
			return false;
		u32 count = 0;
		if (!readCount(count, 5, "vertex colour count"))
			return false;
		mesh.Colors.assign(mesh.Positions.size(), video::SColor(255, 255, 255, 255));
		for (u32 i = 0; i < count; ++i)
		{
			u32 index = 0;
			f32 c[4];
			if (!readU32(index, "vertex colour index") || !readFloats(c, 4, "vertex colour"))
				return false;
			if (index >= mesh.Positions.size())
				return fail("vertex colour %u: vertex index %u out of range", i, index);
			mesh.Colors[index] = clampedColor(c[0], c[1], c[2], c[3]).toSColor();
		}
		mesh.HasColors = true;
		return skipMembers();
	}

	bool parseMaterialList(Mesh& mesh)
	{
		if (!openObject(nullptr))
			return false;
		u32 materialCount = 0, indexCount = 0;
		if (!readCount(materialCount, 1, "material count") || !readCount(indexCount, 1, "face material count"))
			return false;
		const u32 faceCount = mesh.getFaceCount();
		mesh.FaceMaterials.assign(faceCount, 0);
		for (u32 i = 0; i < indexCount; ++i)
		{
			u32 m = 0;
			if (!readU32(m, "face material"))
				return false;
			if (m >= materialCount)
				return fail("face %u: material %u out of range (%u materials)", i, m, materialCount);
			if (i < faceCount)
				mesh.FaceMaterials[i] = m;
		}
		// A short list repeats its last entry.
		for (u32 i = indexCount; i < faceCount && indexCount > 0; ++i)
			mesh.FaceMaterials[i] = mesh.FaceMaterials[indexCount - 1];
		if (indexCount == 0 && faceCount > 0 && materialCount == 0)
			mesh.FaceMaterials.clear();
		const bool read = forEachMember(
			[&](const std::string& ref) {
				mesh.Materials.push_back(-1);
				mesh.MaterialRefs.push_back(ref);
			},
			[&](const std::string& ident) {
				if (!sameName(ident, "Material"))
					return skipObject();
				Material m;
				if (!parseMaterial(m))
					return false;
				mesh.Materials.push_back(int(Out.Materials.size()));
				mesh.MaterialRefs.push_back(std::string());
				Out.Materials.push_back(m);
				return true;
			});
		if (!read)
			return false;
		const u32 given = u32(mesh.Materials.size());
		if (given < materialCount)
		{
			// The faces of the missing materials share one default material.
			Out.Warnings.push_back("mesh '" + mesh.Name + "': fewer materials than declared");
			mesh.Materials.push_back(-1);
			mesh.MaterialRefs.emplace_back();
			for (u32& m : mesh.FaceMaterials)
				if (m > given)
					m = given;
		}
		return true;
	}

	bool parseMaterial(Material& m)
	{
		if (!openObject(&m.Name))
			return false;
		f32 v[11];
		if (!readFloats(v, 11, "material"))
			return false;
		m.FaceColor = clampedColor(v[0], v[1], v[2], v[3]);
		m.Power = v[4];
		m.Specular = clampedColor(v[5], v[6], v[7], 1.f);
		m.Emissive = clampedColor(v[8], v[9], v[10], 1.f);
		return forEachObject([&](const std::string& ident) {
			if (sameName(ident, "TextureFilename"))
				return openObject(nullptr) && readString(m.Texture, "texture file name") && skipMembers();
			return skipObject();
		});
	}

	bool parseSkinWeights(Mesh& mesh)
	{
		SkinWeights skin;
		u32 count = 0;
		if (!openObject(nullptr) || !readString(skin.Bone, "bone name") || !readCount(count, 2, "weight count"))
			return false;
		skin.Vertices.resize(count);
		skin.Weights.resize(count);
		for (u32 i = 0; i < count; ++i)
		{
			if (!readU32(skin.Vertices[i], "weight vertex"))
				return false;
			if (skin.Vertices[i] >= mesh.Positions.size())
				return fail("bone '%s': weight vertex %u out of range (%u vertices)", skin.Bone.c_str(),
				            skin.Vertices[i], u32(mesh.Positions.size()));
		}
		if (!readFloats(skin.Weights.data(), count, "weight") || !readMatrix(skin.Offset, "bone offset"))
			return false;
		mesh.Skins.push_back(std::move(skin));
		return skipMembers();
	}

	bool parseMaterialsUVs(Mesh& mesh)
	{
		u32 count = 0;
		if (!openObject(nullptr) || !readCount(count, 1, "MeshMaterialsUVs count"))
			return false;
		mesh.MaterialsUVs.resize(count);
		for (u32 i = 0; i < count; ++i)
			if (!readU32(mesh.MaterialsUVs[i], "MeshMaterialsUVs value"))
				return false;
		mesh.HasMaterialsUVs = true;
		return skipMembers();
	}

	bool parseAnimationSet()
	{
		if (!openObject(nullptr))
			return false;
		return forEachObject([&](const std::string& ident) {
			if (sameName(ident, "Animation"))
				return parseAnimation();
			if (sameName(ident, "AnimTicksPerSecond"))
				return parseTicks();
			return skipObject();
		});
	}

	bool parseAnimation()
	{
		if (!openObject(nullptr))
			return false;
		Animation animation;
		const bool read = forEachMember([&](const std::string& ref) { animation.FrameName = ref; },
			[&](const std::string& ident) {
				if (sameName(ident, "AnimationKey"))
					return parseAnimationKey(animation);
				return skipObject();
			});
		if (!read)
			return false;
		Out.Animations.push_back(std::move(animation));
		return true;
	}

	bool parseAnimationKey(Animation& animation)
	{
		KeySet set;
		u32 type = 0, count = 0;
		if (!openObject(nullptr) || !readU32(type, "key type"))
			return false;
		u32 expected = 0;
		switch (type)
		{
		case EKT_ROTATION:
			expected = 4;
			break;
		case EKT_SCALE:
		case EKT_POSITION:
			expected = 3;
			break;
		case EKT_MATRIX:
			expected = 16;
			break;
		default:
			break;
		}
		// Each key: its time, its value count and the values.
		if (!readCount(count, 2 + expected, "key count"))
			return false;
		set.Type = int(type);
		set.Width = expected;
		if (expected)
		{
			set.Times.resize(count);
			set.Values.resize(std::size_t(count) * expected);
		}
		for (u32 i = 0; i < count; ++i)
		{
			u32 time = 0, values = 0;
			if (!readU32(time, "key time") || !readCount(values, 1, "key value count"))
				return false;
			if (expected && values != expected)
				return fail("key of type %u has %u values, not %u", type, values, expected);
			for (u32 v = 0; v < values; ++v)
			{
				f32 value = 0;
				if (!readF32(value, "key value"))
					return false;
				if (expected)
					set.Values[std::size_t(i) * expected + v] = value;
			}
			if (expected)
				set.Times[i] = time;
		}
		if (expected)
			animation.KeySets.push_back(std::move(set));
		else
			Out.Warnings.push_back("animation keys of unknown type ignored");
		return skipMembers();
	}

	// Names to materials (the first of a name wins), looked up once per reference.
	bool resolveMaterialRefs()
	{
		std::unordered_map<std::string, int> byName;
		byName.reserve(Out.Materials.size());
		for (std::size_t m = 0; m < Out.Materials.size(); ++m)
			byName.emplace(Out.Materials[m].Name, int(m));
		for (Mesh& mesh : Out.Meshes)
			for (std::size_t i = 0; i < mesh.MaterialRefs.size(); ++i)
			{
				if (mesh.MaterialRefs[i].empty())
					continue;
				const auto found = byName.find(mesh.MaterialRefs[i]);
				if (found != byName.end())
					mesh.Materials[i] = found->second;
				else
					Out.Warnings.push_back("material '" + mesh.MaterialRefs[i] + "' not found");
			}
		return true;
	}

	Lexer& Lex;
	File& Out;
	std::string Error;
};
} // namespace

bool parseFile(const unsigned char* data, std::size_t size, File& file, std::string& error)
{
	if (size < 16 || std::memcmp(data, "xof ", 4) != 0)
		return error = "not a .x file", false;
	const char* format = reinterpret_cast<const char*>(data) + 8;
	const char* floatSize = reinterpret_cast<const char*>(data) + 12;
	bool binary = false;
	if (std::memcmp(format, "txt ", 4) == 0)
		binary = false;
	else if (std::memcmp(format, "bin ", 4) == 0)
		binary = true;
	else if (std::memcmp(format, "tzip", 4) == 0 || std::memcmp(format, "bzip", 4) == 0)
		return error = "compressed .x files are not supported", false;
	else
		return error = "unknown .x format", false;
	bool doubles = false;
	if (std::memcmp(floatSize, "0032", 4) == 0)
		doubles = false;
	else if (std::memcmp(floatSize, "0064", 4) == 0)
		doubles = true;
	else
		return error = "unknown float size", false;
	Lexer lexer(data + 16, size - 16, binary, doubles);
	Parser parser(lexer, file);
	if (!parser.parseTopLevel())
		return error = parser.error(), false;
	return true;
}
} // namespace xfile
} // namespace ze
