// The ".x" loader against the library's own loader, on text and binary files
// written here; its own tables; and refusal of damaged files.
#include "frame/ZeLog.h"
#include "libext/ZeXMesh.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace irr;

// Every allocation through operator new is counted, so that a test can see the
// peak of what a load reserves. Sizes come from the allocator itself, which
// keeps this working beside sanitizers.
namespace
{
std::size_t gLiveBytes = 0;
std::size_t gPeakBytes = 0;

void* countedNew(std::size_t size)
{
	void* p = std::malloc(size ? size : 1);
	if (p)
	{
		gLiveBytes += malloc_usable_size(p);
		gPeakBytes = std::max(gPeakBytes, gLiveBytes);
	}
	return p;
}

void countedDelete(void* p)
{
	if (!p)
		return;
	gLiveBytes -= malloc_usable_size(p);
	std::free(p);
}

// The peak of live bytes above those live when it starts.
class PeakBytes
{
public:
	PeakBytes() : Start(gLiveBytes) { gPeakBytes = gLiveBytes; }
	std::size_t get() const { return gPeakBytes - Start; }

private:
	std::size_t Start;
};
} // namespace

void* operator new(std::size_t size)
{
	if (void* p = countedNew(size))
		return p;
	throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
	return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
	return countedNew(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
	return countedNew(size);
}
void operator delete(void* p) noexcept
{
	countedDelete(p);
}
void operator delete[](void* p) noexcept
{
	countedDelete(p);
}
void operator delete(void* p, std::size_t) noexcept
{
	countedDelete(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
	countedDelete(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
	countedDelete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
	countedDelete(p);
}

namespace
{
std::vector<std::string> gLines;
void captureLine(const char* line) { gLines.push_back(line); }

std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* format, ...)
{
	char text[256];
	va_list args;
	va_start(args, format);
	std::vsnprintf(text, sizeof(text), format, args);
	va_end(args);
	return text;
}

// Text ".x" to the binary form: names, strings, braces, GUIDs; runs of integers
// and of numbers with a '.' become integer and float lists. Wide: 64-bit floats,
// and strings ended by a 32-bit separator (the library's loader reads 16 bits).
std::string toBinary(const std::string& text, bool wide)
{
	std::string out = std::string("xof 0303bin ") + (wide ? "0064" : "0032");
	auto word = [&](unsigned v) { out.push_back(char(v & 0xFF)), out.push_back(char(v >> 8)); };
	auto dword = [&](unsigned v) { word(v & 0xFFFF), word(v >> 16); };
	std::vector<unsigned> ints;
	std::vector<double> floats;
	auto flush = [&] {
		if (!ints.empty())
		{
			word(6), dword(unsigned(ints.size()));
			for (unsigned v : ints)
				dword(v);
		}
		if (!floats.empty())
		{
			word(7), dword(unsigned(floats.size()));
			for (double d : floats)
			{
				char bytes[8];
				const float f = float(d);
				wide ? std::memcpy(bytes, &d, 8) : std::memcpy(bytes, &f, 4);
				out.append(bytes, wide ? 8 : 4);
			}
		}
		ints.clear(), floats.clear();
	};
	const char* keywords[] = { "WORD", "DWORD", "FLOAT", "DOUBLE", "CHAR", "UCHAR", "SWORD", "SDWORD",
	                           "VOID", "LPSTR", "UNICODE", "CSTRING", "array" };
	int templateDepth = -1, depth = 0;
	for (std::size_t i = text.find('\n') + 1; i < text.size();)
	{
		const char c = text[i];
		std::size_t end = i + 1;
		if (std::isspace(static_cast<unsigned char>(c)))
		{
			++i;
			continue;
		}
		if ((c >= '0' && c <= '9') || c == '-')
		{
			end = text.find_first_of(" \t\r\n;,{}", i);
			const std::string number = text.substr(i, end - i);
			if (number.find('.') == std::string::npos)
			{
				if (!floats.empty())
					flush();
				ints.push_back(unsigned(std::strtoul(number.c_str(), nullptr, 10)));
			}
			else
			{
				if (!ints.empty())
					flush();
				floats.push_back(std::strtod(number.c_str(), nullptr));
			}
			i = end;
			continue;
		}
		if (c != ';' && c != ',')
			flush();
		if (c == '{' || c == '}')
		{
			depth += c == '{' ? 1 : -1;
			word(c == '{' ? 10 : 11);
			if (depth == templateDepth)
				templateDepth = -1;
		}
		else if (c == ';' || c == ',' || c == '[' || c == ']')
		{
			if (templateDepth >= 0 && (flush(), true))
				word(c == ';' ? 20 : c == ',' ? 19 : c == '[' ? 14 : 15);
		}
		else if (c == '"')
		{
			end = text.find('"', i + 1) + 1;
			word(2), dword(unsigned(end - i - 2)), out.append(text, i + 1, end - i - 2);
			wide ? dword(20) : word(20);
		}
		else if (c == '<')
		{
			end = text.find('>', i) + 1;
			word(5), out.append(16, '\x5A');
		}
		else
		{
			end = text.find_first_of(" \t\r\n;,{}[]", i);
			const std::string name = text.substr(i, end - i);
			const auto k = std::find(std::begin(keywords), std::end(keywords), name);
			if (name == "template")
				word(31), templateDepth = depth;
			else if (templateDepth >= 0 && k != std::end(keywords))
				word(k == std::end(keywords) - 1 ? 52 : unsigned(40 + (k - std::begin(keywords))));
			else
				word(1), dword(unsigned(name.size())), out += name;
		}
		i = end;
	}
	flush();
	return out;
}

std::string fl(float v) { return fmt("%.6f", double(v)); }
std::string vec(const core::vector3df& v) { return fl(v.X) + ";" + fl(v.Y) + ";" + fl(v.Z) + ";"; }
std::string matrix(const core::matrix4& m)
{
	std::string s;
	for (int i = 0; i < 16; ++i)
		s += fl(m[i]) + (i < 15 ? "," : ";;");
	return s;
}

// A box of six quads (each its own four vertices), materials 0 and 1.
struct Box
{
	std::vector<core::vector3df> Positions;
	std::string Text;

	Box()
	{
		const core::vector3df axes[3] = { { 1, 0, 0 }, { 0, 1, 0 }, { 0, 0, 1 } };
		std::string verts, normals, faces, uvs, colors;
		for (u32 f = 0; f < 6; ++f)
		{
			const core::vector3df n = axes[f % 3] * (f < 3 ? 1.f : -1.f);
			const core::vector3df u = axes[(f + 1) % 3], v = axes[(f + 2) % 3] * (f < 3 ? 1.f : -1.f);
			const core::vector3df corners[4] = { n - u - v, n + u - v, n + u + v, n - u + v };
			faces += fmt("4;%u,%u,%u,%u;%s", f * 4, f * 4 + 1, f * 4 + 2, f * 4 + 3, f < 5 ? "," : ";");
			for (u32 c = 0; c < 4; ++c)
			{
				const u32 i = f * 4 + c;
				const char* sep = i < 23 ? ",\n" : ";\n";
				Positions.push_back(corners[c] * 0.5f + core::vector3df(0.25f, 0.f, 0.f));
				verts += vec(Positions.back()) + sep;
				normals += vec(n) + sep;
				uvs += fl(c == 1 || c == 2 ? 1.f : 0.f) + ";" + fl(c >= 2 ? 0.5f : 0.f + 0.125f * f) + ";" + sep;
				colors += fmt("%u;", i) + fl(f / 8.f) + ";" + fl(c / 4.f) + ";" + fl(0.5f) + ";" + fl(1.f - i / 32.f) + ";;" + sep;
			}
		}
		core::matrix4 place;
		place.setRotationDegrees(core::vector3df(0, 30, 0));
		place.setTranslation(core::vector3df(1, 2, 3));
		Text = "xof 0303txt 0032\n"
		       "template Unused { <11111111-2222-3333-4444-555555555555> DWORD count; array FLOAT v[count]; }\n"
		       "Material Blue { 0.0;0.0;1.0;0.5;; 4.0; 0.25;0.5;0.75;; 0.0;0.25;0.0;; }\n"
		       "Frame Box {\n FrameTransformMatrix { " + matrix(place) + " }\n"
		       " Mesh BoxMesh {\n24;\n" + verts + "6;\n" + faces + "\n"
		       "  MeshNormals { 24;\n" + normals + "6;\n" + faces + " }\n"
		       "  MeshTextureCoords { 24;\n" + uvs + " }\n"
		       "  MeshVertexColors { 24;\n" + colors + " }\n"
		       "  MeshMaterialList { 2; 6; 0,0,0,1,1,1;\n"
		       "   Material Red { 1.0;0.0;0.0;1.0;; 10.0; 0.5;0.5;0.5;; 0.0;0.0;0.25;; TextureFilename { \"maps/tex.bmp\"; } }\n"
		       "   { Blue }\n  }\n }\n}\n";
	}
};

// Two bones over a strip of four quads, with rotation, position, scale and
// matrix keys.
std::string skinnedText(bool ticks)
{
	std::string verts, faces;
	for (u32 i = 0; i < 10; ++i)
		verts += fl(i % 2 ? 0.5f : -0.5f) + ";" + fl(float(i / 2)) + ";" + fl(0.125f * i) + ";" + (i < 9 ? "," : ";");
	for (u32 q = 0; q < 4; ++q)
		faces += fmt("4;%u,%u,%u,%u;%s", q * 2, q * 2 + 1, q * 2 + 3, q * 2 + 2, q < 3 ? "," : ";");
	core::matrix4 root, child, turn;
	root.setTranslation(core::vector3df(0.25f, 0, 0));
	child.setTranslation(core::vector3df(0, 2, 0));
	turn.setRotationDegrees(core::vector3df(0, 90, 0));
	turn.setTranslation(core::vector3df(0.25f, 1, 0));
	core::matrix4 rootOffset, childOffset;
	root.getInverse(rootOffset);
	(root * child).getInverse(childOffset);
	return std::string("xof 0302txt 0064\n") + (ticks ? "AnimTicksPerSecond { 30; }\n" : "") +
	       "Frame Root {\n FrameTransformMatrix { " + matrix(root) + " }\n"
	       " Frame Child { FrameTransformMatrix { " + matrix(child) + " } }\n"
	       " Mesh Strip { 10; " + verts + " 4; " + faces + "\n"
	       "  MeshMaterialList { 1; 1; 0;; Material { 0.5;0.75;0.25;1.0;; 2.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }\n"
	       "  XSkinMeshHeader { 2; 4; 2; }\n"
	       "  SkinWeights { \"Root\"; 5; 0,1,2,3,4; 1.0,1.0,1.0,1.0,0.5; " + matrix(rootOffset) + " }\n"
	       "  SkinWeights { \"Child\"; 6; 4,5,6,7,8,9; 0.5,1.0,1.0,1.0,1.0,1.0; " + matrix(childOffset) + " }\n"
	       " }\n}\n"
	       "AnimationSet Walk {\n"
	       " Animation { {Child}\n"
	       "  AnimationKey { 0; 3; 0;4;1.0,0.0,0.0,0.0;;, 10;4;0.9238795,0.0,0.0,0.3826834;;, 40;4;0.7071068,0.0,0.7071068,0.0;;; }\n"
	       "  AnimationKey { 2; 3; 0;3;0.0,2.0,0.0;;, 20;3;0.5,2.0,0.0;;, 40;3;0.0,2.5,0.0;;; }\n"
	       "  AnimationKey { 1; 2; 0;3;1.0,1.0,1.0;;, 40;3;1.5,1.0,1.0;;; }\n"
	       " }\n"
	       " Animation { AnimationKey { 4; 2; 0;16;" + matrix(root) + ", 40;16;" + matrix(turn) + "; } { Root } }\n"
	       "}\n";
}

typedef std::array<float, 8> Corner;  // position, normal, UV

// Without normals and UVs in the file, the library's loader leaves them undefined.
bool gCompareNormalsAndUVs = true;

Corner corner(const scene::IMeshBuffer* b, u32 i)
{
	const core::vector3df &p = b->getPosition(i), &n = b->getNormal(i);
	const core::vector2df& t = b->getTCoords(i);
	if (!gCompareNormalsAndUVs)
		return { p.X, p.Y, p.Z, 0, 0, 0, 0, 0 };
	return { p.X, p.Y, p.Z, n.X, n.Y, n.Z, t.X, t.Y };
}

// Triangles with their corners, each started at its least corner (winding kept), sorted.
std::vector<std::array<Corner, 3>> triangles(const scene::IMeshBuffer* b)
{
	std::vector<std::array<Corner, 3>> out;
	for (u32 i = 0; i + 2 < b->getIndexCount(); i += 3)
	{
		std::array<Corner, 3> t = { corner(b, b->getIndices()[i]), corner(b, b->getIndices()[i + 1]),
		                            corner(b, b->getIndices()[i + 2]) };
		std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
		out.push_back(t);
	}
	std::sort(out.begin(), out.end());
	return out;
}

void expectSameMeshes(scene::IAnimatedMesh* ours, scene::IAnimatedMesh* theirs, bool normalsAndUVs = true)
{
	gCompareNormalsAndUVs = normalsAndUVs;
	ASSERT_TRUE(ours && theirs);
	ASSERT_EQ(ours->getMeshBufferCount(), theirs->getMeshBufferCount());
	for (u32 b = 0; b < ours->getMeshBufferCount(); ++b)
	{
		const scene::IMeshBuffer *x = ours->getMeshBuffer(b), *y = theirs->getMeshBuffer(b);
		const auto tx = triangles(x), ty = triangles(y);
		ASSERT_EQ(tx.size(), ty.size()) << "buffer " << b;
		for (std::size_t t = 0; t < tx.size(); ++t)
			for (u32 c = 0; c < 3; ++c)
				for (u32 k = 0; k < 8; ++k)
					ASSERT_NEAR(tx[t][c][k], ty[t][c][k], 1e-5f) << "buffer " << b << " triangle " << t;
		std::vector<std::pair<Corner, u32>> cx, cy;
		for (u32 i = 0; i < x->getVertexCount(); ++i)
			cx.push_back({ corner(x, i), static_cast<const video::S3DVertex*>(x->getVertices())[i].Color.color });
		for (u32 i = 0; i < y->getVertexCount(); ++i)
			cy.push_back({ corner(y, i), static_cast<const video::S3DVertex*>(y->getVertices())[i].Color.color });
		std::sort(cx.begin(), cx.end()), std::sort(cy.begin(), cy.end());
		EXPECT_EQ(cx, cy) << "vertex colours of buffer " << b;
		const video::SMaterial &mx = x->getMaterial(), &my = y->getMaterial();
		EXPECT_EQ(mx.DiffuseColor, my.DiffuseColor);
		EXPECT_EQ(mx.SpecularColor, my.SpecularColor);
		EXPECT_EQ(mx.EmissiveColor, my.EmissiveColor);
		EXPECT_EQ(mx.AmbientColor, my.AmbientColor);
		EXPECT_FLOAT_EQ(mx.Shininess, my.Shininess);
		// Placement of static meshes by their frame.
		EXPECT_TRUE(static_cast<const scene::SSkinMeshBuffer*>(x)->Transformation.equals(
		    static_cast<const scene::SSkinMeshBuffer*>(y)->Transformation, 1e-5f));
	}
}

// Every buffer's table has one entry per vertex, naming a file vertex at the same place.
void expectSourceTables(scene::IAnimatedMesh* mesh, const std::vector<core::vector3df>& filePositions)
{
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		const u32* table = ze::getOriginalVerticesIndices(buffer);
		ASSERT_TRUE(table || buffer->getVertexCount() == 0);
		const ze::SSkinMeshBufferExt* ext = dynamic_cast<const ze::SSkinMeshBufferExt*>(buffer);
		ASSERT_TRUE(ext);
		EXPECT_EQ(ext->OriginalVerticesIndices.size(), buffer->getVertexCount());
		for (u32 i = 0; i < buffer->getVertexCount(); ++i)
		{
			ASSERT_LT(table[i], filePositions.size());
			EXPECT_TRUE(buffer->getPosition(i).equals(filePositions[table[i]], 1e-5f)) << "buffer " << b << " vertex " << i;
		}
	}
}
} // namespace

class XMeshTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		Device = createDevice(video::EDT_NULL);
		ASSERT_TRUE(Device);
		Device->getLogger()->setLogLevel(ELL_NONE);
		Smgr = Device->getSceneManager();
		char folder[] = "/tmp/zexmeshXXXXXX";
		ASSERT_TRUE(mkdtemp(folder));
		Dir = folder;
		gLines.clear();
		zeSetLogSink(captureLine);
	}

	void TearDown() override
	{
		zeSetLogSink(nullptr);
		Device->drop();
		std::filesystem::remove_all(Dir);
	}

	std::string write(const std::string& name, const std::string& bytes)
	{
		const std::string path = Dir + "/" + name;
		std::filesystem::create_directories(std::filesystem::path(path).parent_path());
		std::ofstream(path, std::ios::binary) << bytes;
		return path;
	}

	// Our loader's mesh (dropped by the fixture), or null.
	scene::ISkinnedMesh* ours(const std::string& path)
	{
		scene::IMeshLoader* loader = ze::createXMeshLoader(Smgr);
		io::IReadFile* file = Device->getFileSystem()->createAndOpenFile(path.c_str());
		EXPECT_TRUE(file);
		scene::IAnimatedMesh* mesh = file ? loader->createMesh(file) : nullptr;
		if (file)
			file->drop();
		loader->drop();
		if (mesh)
		{
			EXPECT_EQ(mesh->getMeshType(), scene::EAMT_SKINNED);
			Owned.emplace_back(mesh, [](scene::IAnimatedMesh* m) { m->drop(); });
		}
		return static_cast<scene::ISkinnedMesh*>(mesh);
	}

	// The library's loader: ours is not registered on this device.
	scene::IAnimatedMesh* theirs(const std::string& path) { return Smgr->getMesh(path.c_str()); }

	size_t errorLines() const
	{
		return std::count_if(gLines.begin(), gLines.end(), [](const std::string& l) { return l.find("ERROR") != std::string::npos; });
	}

	IrrlichtDevice* Device = nullptr;
	scene::ISceneManager* Smgr = nullptr;
	std::string Dir;
	std::vector<std::unique_ptr<scene::IAnimatedMesh, void (*)(scene::IAnimatedMesh*)>> Owned;
};

// Static box: text, binary and 64-bit binary files agree with the library's
// loader in triangles, normals, UVs, colours and materials.
TEST_F(XMeshTest, StaticBoxMatchesLibraryLoader)
{
	const Box box;
	video::IImage* image = Device->getVideoDriver()->createImage(video::ECF_R8G8B8, core::dimension2du(2, 2));
	std::filesystem::create_directories(Dir + "/maps");
	ASSERT_TRUE(Device->getVideoDriver()->writeImageToFile(image, (Dir + "/maps/tex.bmp").c_str()));
	image->drop();
	const std::pair<const char*, std::string> files[] = { { "box.x", box.Text },
	                                                       { "boxbin.x", toBinary(box.Text, false) },
	                                                       { "boxbin64.x", toBinary(box.Text, true) } };
	for (const auto& f : files)
	{
		SCOPED_TRACE(f.first);
		const std::string path = write(f.first, f.second);
		scene::ISkinnedMesh* mesh = ours(path);
		ASSERT_TRUE(mesh);
		ASSERT_EQ(mesh->getMeshBufferCount(), 2u);
		if (std::strcmp(f.first, "boxbin64.x") != 0)
			expectSameMeshes(mesh, theirs(path));
		else
			expectSameMeshes(mesh, ours(Dir + "/box.x"));
		expectSourceTables(mesh, box.Positions);
		// The red material's texture, found beside the file.
		video::ITexture* texture = mesh->getMeshBuffer(0)->getMaterial().getTexture(0);
		ASSERT_TRUE(texture);
		EXPECT_EQ(std::string(texture->getName().getPath().c_str()), Dir + "/maps/tex.bmp");
		EXPECT_FALSE(mesh->getMeshBuffer(1)->getMaterial().getTexture(0));
		// The static mesh follows its frame.
		ASSERT_EQ(mesh->getJointCount(), 1u);
		EXPECT_EQ(mesh->getAllJoints()[0]->AttachedMeshes.size(), 2u);
	}
	EXPECT_EQ(errorLines(), 0u);
}

// Skinned strip: joints, bind matrices, frame count, speed and the skinned
// vertices at several frames agree with the library's loader.
TEST_F(XMeshTest, SkinnedAnimationMatchesLibraryLoader)
{
	for (bool binary : { false, true })
	{
		SCOPED_TRACE(binary ? "binary" : "text");
		const std::string text = skinnedText(false);
		const std::string path = write(binary ? "skinbin.x" : "skin.x", binary ? toBinary(text, false) : text);
		scene::ISkinnedMesh* mine = ours(path);
		scene::ISkinnedMesh* ref = static_cast<scene::ISkinnedMesh*>(theirs(path));
		ASSERT_TRUE(mine && ref);
		ASSERT_EQ(mine->getJointCount(), ref->getJointCount());
		for (u32 j = 0; j < ref->getJointCount(); ++j)
		{
			const s32 k = mine->getJointNumber(ref->getJointName(j));
			ASSERT_GE(k, 0);
			EXPECT_TRUE(mine->getAllJoints()[k]->LocalMatrix.equals(ref->getAllJoints()[j]->LocalMatrix, 1e-5f));
			EXPECT_TRUE(mine->getAllJoints()[k]->GlobalInversedMatrix.equals(ref->getAllJoints()[j]->GlobalInversedMatrix, 1e-5f));
		}
		EXPECT_EQ(mine->getFrameCount(), ref->getFrameCount());
		EXPECT_EQ(mine->getAnimationSpeed(), ref->getAnimationSpeed());
		expectSameMeshes(mine, ref, false);
		// The library's buffer vertices by file vertex, from their static places.
		std::vector<core::vector3df> file;
		for (u32 i = 0; i < 10; ++i)
			file.push_back(core::vector3df(i % 2 ? 0.5f : -0.5f, float(i / 2), 0.125f * i));
		expectSourceTables(mine, file);
		std::vector<u32> refSource;
		for (u32 i = 0; i < ref->getMeshBuffer(0)->getVertexCount(); ++i)
			refSource.push_back(u32(std::find(file.begin(), file.end(), ref->getMeshBuffer(0)->getPosition(i)) - file.begin()));
		for (f32 frame : { 0.f, 5.f, 10.f, 20.f, 25.f, f32(ref->getFrameCount()) })
		{
			mine->animateMesh(frame, 1.f), mine->skinMesh();
			ref->animateMesh(frame, 1.f), ref->skinMesh();
			std::vector<core::vector3df> expected(file.size()), got(file.size());
			const scene::IMeshBuffer *a = mine->getMeshBuffer(0), *b = ref->getMeshBuffer(0);
			for (u32 i = 0; i < b->getVertexCount(); ++i)
				expected.at(refSource[i]) = b->getPosition(i);
			for (u32 i = 0; i < a->getVertexCount(); ++i)
				got.at(ze::getOriginalVerticesIndices(a)[i]) = a->getPosition(i);
			for (u32 v = 0; v < file.size(); ++v)
				EXPECT_TRUE(got[v].equals(expected[v], 1e-4f)) << "frame " << frame << " vertex " << v << ": " << got[v].X
				                                               << " " << got[v].Y << " " << got[v].Z;
		}
	}
	// The file's ticks per second become the speed.
	EXPECT_EQ(ours(write("ticks.x", skinnedText(true)))->getAnimationSpeed(), 30.f);
}

// Once registered, the scene manager loads ".x" files with our loader; the
// library's buffers have no tables.
TEST_F(XMeshTest, RegisteredLoaderComesFirst)
{
	const std::string path = write("reg.x", Box().Text);
	scene::IMeshBuffer* library = theirs(path)->getMeshBuffer(0);
	EXPECT_FALSE(ze::getOriginalVerticesIndices(library));
	u32 a = 7, b = 7;
	EXPECT_FALSE(ze::getMeshMaterialsUVs(library, &a, &b));
	EXPECT_EQ(a + b, 0u);
	IrrlichtDevice* other = createDevice(video::EDT_NULL);
	other->getLogger()->setLogLevel(ELL_NONE);
	ze::registerMeshLoaders(other->getSceneManager());
	scene::IAnimatedMesh* mesh = other->getSceneManager()->getMesh(path.c_str());
	ASSERT_TRUE(mesh);
	for (u32 i = 0; i < mesh->getMeshBufferCount(); ++i)
		EXPECT_TRUE(dynamic_cast<ze::SSkinMeshBufferExt*>(mesh->getMeshBuffer(i)));
	other->drop();
}

// A vertex whose corners carry different normals is split; each copy keeps
// its face's normal and its file vertex. MeshMaterialsUVs values go to the
// buffers of their material.
TEST_F(XMeshTest, SplitVerticesAndMaterialsUVs)
{
	const std::vector<core::vector3df> positions = { { 0, 0, 0 }, { 1, 0, 0 }, { 1, 1, 0 }, { 0, 1, 0 }, { 0.5f, 2, 1 } };
	const std::string text = "xof 0303txt 0032\nMesh Fold { 5; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;, 0.5;2.0;1.0;;\n"
	                         " 3; 3;0,1,2;, 3;0,2,3;, 3;3,2,4;;\n"
	                         " MeshNormals { 3; 0.0;0.0;1.0;, 0.0;1.0;0.0;, 1.0;0.0;0.0;; 3; 3;0,0,0;, 3;1,1,1;, 3;2,2,2;; }\n"
	                         " MeshMaterialList { 3; 3; 2,0,2;; Material { 1.0;0.0;0.0;1.0;; 1.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }\n"
	                         "  Material { 0.0;1.0;0.0;1.0;; 1.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }\n"
	                         "  Material { 0.0;0.0;1.0;1.0;; 1.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }\n"
	                         " MeshMaterialsUVs { 6; 10,11,20,21,30,31; }\n}\n";
	const u32 faces[3][3] = { { 0, 1, 2 }, { 0, 2, 3 }, { 3, 2, 4 } };
	const core::vector3df normals[3] = { { 0, 0, 1 }, { 0, 1, 0 }, { 1, 0, 0 } };
	const u32 faceMaterial[3] = { 2, 0, 2 };
	const video::SColor diffuse[3] = { 0xFFFF0000, 0xFF00FF00, 0xFF0000FF };  // the materials' face colours
	const std::string path = write("fold.x", text);
	scene::ISkinnedMesh* mesh = ours(path);
	ASSERT_TRUE(mesh);
	// A buffer per material, in order, even for material 1 without faces.
	ASSERT_EQ(mesh->getMeshBufferCount(), theirs(path)->getMeshBufferCount());
	ASSERT_EQ(mesh->getMeshBufferCount(), 3u);
	expectSourceTables(mesh, positions);
	std::vector<std::array<u32, 4>> seen, expected;  // material, corners' file vertices
	u32 total = 0;
	for (u32 m = 0; m < 3; ++m)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(m);
		EXPECT_EQ(buffer->getMaterial().DiffuseColor, diffuse[m]);
		total += buffer->getVertexCount();
		u32 v0 = 0, v1 = 0;
		EXPECT_TRUE(ze::getMeshMaterialsUVs(buffer, &v0, &v1));
		EXPECT_EQ(v0, 10 * (m + 1));
		EXPECT_EQ(v1, 10 * (m + 1) + 1);
		const u32* source = ze::getOriginalVerticesIndices(buffer);
		for (u32 i = 0; i + 2 < buffer->getIndexCount(); i += 3)
		{
			const u16* t = buffer->getIndices() + i;
			seen.push_back({ m, source[t[0]], source[t[1]], source[t[2]] });
			const u32 f = u32(std::find_if(faces, faces + 3, [&](const u32* face) {
				                  return face[0] == source[t[0]] && face[1] == source[t[1]] && face[2] == source[t[2]];
			                  }) - faces);
			ASSERT_LT(f, 3u);
			for (u32 c = 0; c < 3; ++c)
				EXPECT_EQ(buffer->getNormal(t[c]), normals[f]);
		}
	}
	for (u32 f = 0; f < 3; ++f)
		expected.push_back({ faceMaterial[f], faces[f][0], faces[f][1], faces[f][2] });
	std::sort(seen.begin(), seen.end()), std::sort(expected.begin(), expected.end());
	EXPECT_EQ(seen, expected);
	// One vertex per distinct (material, file vertex, normal): vertex 2 twice in material 2.
	std::vector<std::array<u32, 3>> distinct;
	for (u32 f = 0; f < 3; ++f)
		for (u32 c = 0; c < 3; ++c)
			distinct.push_back({ faceMaterial[f], faces[f][c], f });
	std::sort(distinct.begin(), distinct.end());
	const std::size_t expectedVertices = std::unique(distinct.begin(), distinct.end()) - distinct.begin();
	EXPECT_EQ(total, expectedVertices);
	// Without the object, no values.
	const std::string plain = write("plain.x", "xof 0303txt 0032\nMesh { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; }\n");
	EXPECT_FALSE(ze::getMeshMaterialsUVs(ours(plain)->getMeshBuffer(0), nullptr, nullptr));
}

// More vertices than 16-bit indices reach: several buffers, every triangle kept.
TEST_F(XMeshTest, LargeMeshSplitsIntoBuffers)
{
	const u32 triangles = 25000;
	std::string text = fmt("xof 0303txt 0032\nMesh Big { %u;\n", triangles * 3);
	std::vector<core::vector3df> positions;
	for (u32 i = 0; i < triangles * 3; ++i)
	{
		positions.push_back(core::vector3df(f32(i % 3), f32(i / 3 % 500), f32(i / 1500)));
		text += vec(positions.back()) + (i + 1 < triangles * 3 ? "," : ";");
	}
	text += fmt("\n%u;\n", triangles);
	for (u32 t = 0; t < triangles; ++t)
		text += fmt("3;%u,%u,%u;%s", t * 3, t * 3 + 1, t * 3 + 2, t + 1 < triangles ? "," : ";\n}\n");
	scene::ISkinnedMesh* mesh = ours(write("big.x", text));
	ASSERT_TRUE(mesh);
	EXPECT_GT(mesh->getMeshBufferCount(), 1u);
	u32 indices = 0;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		EXPECT_LE(buffer->getVertexCount(), 65536u);
		for (u32 i = 0; i < buffer->getIndexCount(); ++i)
			ASSERT_LT(buffer->getIndices()[i], buffer->getVertexCount());
		indices += buffer->getIndexCount();
	}
	EXPECT_EQ(indices, triangles * 3);
	expectSourceTables(mesh, positions);
}

// Damaged files: null, one error line naming the file, no crash.
TEST_F(XMeshTest, DamagedFilesAreRefused)
{
	const std::string box = Box().Text, skin = skinnedText(true);
	const std::string head = "xof 0303txt 0032\n";
	const std::string tri = "3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;\n";
	std::string hugeList = toBinary(head + "Mesh { 3; 1.0; }", false);
	hugeList.replace(hugeList.find('\x07') + 2, 4, "\x00\x00\x00\x40", 4);
	const std::pair<const char*, std::string> cases[] = {
		{ "truncated text", box.substr(0, box.size() / 2) },
		{ "huge vertex count", head + "Mesh { 1000000000; 0.0;0.0;0.0;; 0;; }" },
		{ "face index out of range", head + "Mesh { " + tri + "1; 3;0,1,3;; }" },
		{ "bad material index", head + "Mesh { " + tri + "1; 3;0,1,2;; MeshMaterialList { 1; 1; 1;; Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } } }" },
		{ "unbalanced braces", head + "Mesh { " + tri + "1; 3;0,1,2;; } }" },
		{ "missing brace", head + "Frame A { Mesh { " + tri + "1; 3;0,1,2;; }" },
		{ "truncated binary", toBinary(box, false).substr(0, 700) },
		{ "binary list past the end", hugeList },
		{ "weight of a missing vertex", head + "Frame B { Mesh { " + tri + "1; 3;0,1,2;; SkinWeights { \"B\"; 1; 3; 1.0; " + matrix(core::matrix4()) + " } } }" },
		{ "normal index out of range", head + "Mesh { " + tri + "1; 3;0,1,2;; MeshNormals { 1; 0.0;0.0;1.0;; 1; 3;0,0,1;; } }" },
		{ "compressed", "xof 0303tzip0032" + std::string(32, 'x') },
		{ "not a number", head + "Mesh { x; }" },
	};
	int n = 0;
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.first);
		const std::string path = write(fmt("bad%d.x", n++), c.second);
		gLines.clear();
		EXPECT_FALSE(ours(path));
		ASSERT_EQ(errorLines(), 1u);
		EXPECT_NE(gLines.back().find("ZeXMesh: cannot load '" + path + "'"), std::string::npos) << gLines.back();
	}
	// A cut inside an object is refused (the text's open braces tell; in the
	// binary form, any cut in the last object); flipped bytes never break the tables.
	for (const bool binary : { false, true })
	{
		const std::string whole = binary ? toBinary(skin, false) : skin;
		for (std::size_t cut = 0; cut < whole.size(); cut += 1 + cut % 5)
		{
			const auto open = std::count(whole.begin(), whole.begin() + long(cut), '{');
			const long depth = long(open - std::count(whole.begin(), whole.begin() + long(cut), '}'));
			scene::ISkinnedMesh* mesh = ours(write("cut.x", whole.substr(0, cut)));
			if (binary ? cut > whole.find("AnimationSet") : depth > 0)
			{
				EXPECT_FALSE(mesh) << "cut at " << cut;
			}
			Owned.clear();
		}
		std::srand(7);
		for (int round = 0; round < 300; ++round)
		{
			std::string bytes = whole;
			for (int k = 0; k < 3; ++k)
				bytes[16 + std::size_t(std::rand()) % (bytes.size() - 16)] = char(std::rand());
			if (scene::ISkinnedMesh* mesh = ours(write("flip.x", bytes)))
				for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
				{
					const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
					ASSERT_TRUE(ze::getOriginalVerticesIndices(buffer) || buffer->getVertexCount() == 0);
					for (u32 i = 0; i < buffer->getIndexCount(); ++i)
						ASSERT_LT(buffer->getIndices()[i], buffer->getVertexCount());
				}
			Owned.clear();
		}
	}
}

// Colours are 0..1 in the file; values beyond either end (and huge ones) are
// clamped, never wrapped into other 8-bit values.
TEST_F(XMeshTest, ColoursOutsideZeroToOneAreClamped)
{
	const std::string text = "xof 0303txt 0032\nMesh { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;;\n"
	                         " MeshVertexColors { 3; 0;2.0;-0.5;1.0e30;0.5;;, 1;-1.0e30;1.5;0.25;7.0;;, 2;0.5;0.5;0.5;-3.0;;; }\n"
	                         " MeshMaterialList { 1; 1; 0;; Material { 1.5;-2.0;1.0e30;0.25;; 5.0; 3.0;-1.0;0.5;; -1.0e30;2.0;0.5;; } }\n}\n";
	for (const bool binary : { false, true })
	{
		SCOPED_TRACE(binary ? "binary" : "text");
		scene::ISkinnedMesh* mesh = ours(write(binary ? "coloursbin.x" : "colours.x", binary ? toBinary(text, false) : text));
		ASSERT_TRUE(mesh);
		ASSERT_EQ(mesh->getMeshBufferCount(), 1u);
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(0);
		const video::SMaterial& m = buffer->getMaterial();
		EXPECT_EQ(m.DiffuseColor, video::SColor(64, 255, 0, 255));
		EXPECT_EQ(m.SpecularColor, video::SColor(255, 255, 0, 128));
		EXPECT_EQ(m.EmissiveColor, video::SColor(255, 0, 255, 128));
		const video::SColor expected[3] = { { 128, 255, 0, 255 }, { 255, 0, 255, 64 }, { 0, 128, 128, 128 } };
		const u32* source = ze::getOriginalVerticesIndices(buffer);
		ASSERT_TRUE(source);
		ASSERT_EQ(buffer->getVertexCount(), 3u);
		for (u32 i = 0; i < 3; ++i)
			EXPECT_EQ(static_cast<const video::S3DVertex*>(buffer->getVertices())[i].Color, expected[source[i]])
			    << "file vertex " << source[i];
	}
}

// A count is never worth more memory than the bytes left in the file can
// hold: counts beyond them are refused with a message, and a material list
// that declares more materials than it gives makes no buffers for them.
TEST_F(XMeshTest, HostileCountsReserveNoMoreThanTheFileHolds)
{
	const std::size_t textSize = 64 * 1024;
	const std::string head = "xof 0303txt 0032\n";
	const std::string tri = "Mesh { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;;\n";
	const std::string keys = head + "Frame F { }\nAnimationSet { Animation { { F } AnimationKey { ";
	// Bytes left after the count: a top-level object of zeros fills the text
	// form up to 64 KB (the binary form holds them in twice the bytes).
	const auto padded = [&](const std::string& text) {
		std::string pad = "\nPad { ";
		while (text.size() + pad.size() + 6 < textSize)
			pad += "0,";
		pad += "0; }\n";
		return text + pad + std::string(textSize - text.size() - pad.size(), ' ');
	};
	const std::pair<std::string, const char*> cases[] = {
		{ keys + "0; 20000; } } }", "key count 20000 exceeds the data in the file" },
		{ keys + "4; 3000; } } }", "key count 3000 exceeds the data in the file" },
		{ keys + "0; 5000; } } }", "expected an integer for key time" },
		{ head + tri + " MeshMaterialList { 60000; 0;; }\n}", "material count 60000 exceeds the data in the file" },
		{ head + tri + " MeshMaterialList { 25000; 1; 24999;; }\n}", nullptr },
		{ head + "Frame F { " + tri + " SkinWeights { \"F\"; 30000; } } }", "weight count 30000 exceeds the data in the file" },
		{ head + "Mesh { 20000; }", "vertex count 20000 exceeds the data in the file" },
		{ head + tri + " MeshMaterialsUVs { 60000; }\n}", "MeshMaterialsUVs count 60000 exceeds the data in the file" },
	};
	int n = 0;
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.first.substr(head.size()));
		const std::string text = padded(c.first);
		ASSERT_EQ(text.size(), textSize);
		for (const bool binary : { false, true })
		{
			SCOPED_TRACE(binary ? "binary" : "text");
			const std::string bytes = binary ? toBinary(text, false) : text;
			const std::string path = write(fmt("hostile%d.x", n++), bytes);
			gLines.clear();
			const PeakBytes peak;
			scene::ISkinnedMesh* mesh = ours(path);
			// The file read whole, and tables no larger than what it holds.
			EXPECT_LT(peak.get(), 3 * bytes.size()) << peak.get() << " bytes for a file of " << bytes.size();
			if (c.second)
			{
				EXPECT_FALSE(mesh);
				ASSERT_EQ(errorLines(), 1u);
				EXPECT_NE(gLines.back().find(c.second), std::string::npos) << gLines.back();
			}
			else
			{
				ASSERT_TRUE(mesh);
				EXPECT_EQ(mesh->getMeshBufferCount(), 1u);
				EXPECT_EQ(std::count_if(gLines.begin(), gLines.end(), [](const std::string& l) {
					          return l.find("fewer materials than declared") != std::string::npos;
				          }),
				          1);
			}
			Owned.clear();
		}
	}
}
