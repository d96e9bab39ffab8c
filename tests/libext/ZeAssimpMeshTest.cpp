// The ".lwo" and ".obj" loader on files written here: LightWave files in both
// versions with the parts that other readers trip over (padded clip names,
// short surface subchunks, points before any layer), OBJ files with broken
// faces, damaged files of every length; the library's conventions checked
// against the file formats' own (handedness, winding, V direction), and a
// textured box drawn for real.
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "libext/CZeAssimpMeshLoader.h"
#include "libext/CZeMeshSceneNodes.h"
#include "libext/ZeLwoUpgrade.h"
#include "libext/ZeObjectFileWriter.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include "frame/ZeTestDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace irr;
using namespace zetest;

namespace
{
std::vector<std::string> gLines;
void captureLine(const char* line) { gLines.push_back(line); }

bool logged(const std::string& text)
{
	return std::any_of(gLines.begin(), gLines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

// Quadrants of the test image, as the image shows them (top left first).
const uint32_t TOP_LEFT = 0xFF0000, TOP_RIGHT = 0x00FF00, BOTTOM_LEFT = 0x0000FF, BOTTOM_RIGHT = 0xFFFF00;
std::string quadrantImage()
{
	return bmp(8, 8, [](int x, int y) { return y < 4 ? (x < 4 ? TOP_LEFT : TOP_RIGHT) : (x < 4 ? BOTTOM_LEFT : BOTTOM_RIGHT); });
}

// The box as an OBJ file: the same corners, faces and texture coordinates
// (OBJ's V runs up the image too), one material.
std::string objBox(const std::string& material)
{
	std::ostringstream out;
	out << "mtllib box.mtl\n";
	for (const LwoPoint& p : boxPoints())
		out << "v " << p.X << ' ' << p.Y << ' ' << p.Z << "\nvt " << p.U << ' ' << p.V << '\n';
	out << "usemtl " << material << '\n';
	for (const std::vector<unsigned>& face : boxFaces())
	{
		out << 'f';
		for (unsigned i : face)
			out << ' ' << i + 1 << '/' << i + 1;
		out << '\n';
	}
	return out.str();
}

// Every triangle of the mesh turns its front ((b - a) x (c - a), the
// library's clockwise front) away from the origin, the box's centre.
::testing::AssertionResult facesOutwards(const scene::IMesh* mesh)
{
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		const u16* indices = buffer->getIndices();
		for (u32 i = 0; i + 2 < buffer->getIndexCount(); i += 3)
		{
			const core::vector3df a = buffer->getPosition(indices[i]), bb = buffer->getPosition(indices[i + 1]),
								  c = buffer->getPosition(indices[i + 2]);
			if ((bb - a).crossProduct(c - a).dotProduct(a + bb + c) <= 0.0f)
				return ::testing::AssertionFailure() << "triangle " << i / 3 << " of buffer " << b << " faces inwards";
		}
	}
	return ::testing::AssertionSuccess();
}

u32 triangles(const scene::IMesh* mesh)
{
	u32 n = 0;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		n += mesh->getMeshBuffer(b)->getIndexCount() / 3;
	return n;
}

class AssimpMeshTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		Device = createDevice(video::EDT_NULL);
		ASSERT_TRUE(Device);
		Device->getLogger()->setLogLevel(ELL_NONE);
		Smgr = Device->getSceneManager();
		char folder[] = "/tmp/zeassimpXXXXXX";
		ASSERT_TRUE(mkdtemp(folder));
		Dir = folder;
		gLines.clear();
		zeSetLogSink(captureLine);
	}
	void TearDown() override
	{
		Owned.clear();
		zeSetLogSink(nullptr);
		Device->drop();
		std::filesystem::remove_all(Dir);
	}

	std::string write(const std::string& name, const std::string& bytes)
	{
		const std::string path = Dir + "/" + name;
		std::filesystem::create_directories(std::filesystem::path(path).parent_path());
		writeFile(path, bytes);
		return path;
	}

	// The loader's mesh (dropped by the fixture), or null.
	scene::IMesh* load(const std::string& path)
	{
		scene::IMeshLoader* loader = ze::createAssimpMeshLoader(Smgr);
		io::IReadFile* file = Device->getFileSystem()->createAndOpenFile(path.c_str());
		EXPECT_TRUE(file) << path;
		scene::IAnimatedMesh* mesh = file ? loader->createMesh(file) : nullptr;
		if (file)
			file->drop();
		loader->drop();
		if (!mesh)
			return nullptr;
		Owned.emplace_back(mesh, [](scene::IAnimatedMesh* m) { m->drop(); });
		EXPECT_EQ(mesh->getFrameCount(), 1u);
		return mesh->getMesh(0);
	}

	IrrlichtDevice* Device = nullptr;
	scene::ISceneManager* Smgr = nullptr;
	std::string Dir;
	std::vector<std::unique_ptr<scene::IAnimatedMesh, void (*)(scene::IAnimatedMesh*)>> Owned;
};
} // namespace

// ---- LightWave files ---------------------------------------------------------------------
// LWO2 with a still-image clip whose name carries its padding byte: the
// corners stay where LightWave put them, faces keep their fronts outside, the
// "TXUV" coordinates arrive once (not swapped twice) with V turned to run
// down the image, and the clip's image is the material's texture.
TEST_F(AssimpMeshTest, Lwo2BoxKeepsCornersFrontsCoordinatesAndClipImage)
{
	write("tex0.bmp", quadrantImage());
	const std::string box = write("box.lwo", lwo2(boxPoints(), boxFaces(), 1.0f, 1.0f, 1.0f, "tex0.bmp"));
	const scene::IMesh* mesh = load(box);
	ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
	ASSERT_EQ(mesh->getMeshBufferCount(), 1u);
	const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(0);
	// Flat faces: four corners of their own per face.
	EXPECT_EQ(buffer->getVertexCount(), 24u);
	EXPECT_EQ(triangles(mesh), 12u);
	EXPECT_TRUE(facesOutwards(mesh));
	for (u32 i = 0; i < buffer->getVertexCount(); ++i)
	{
		const core::vector3df p = buffer->getPosition(i);
		EXPECT_NEAR(std::fabs(p.X) + std::fabs(p.Y) + std::fabs(p.Z), 3.0f, 1e-5f) << "a corner of the box";
		const core::vector2df uv = buffer->getTCoords(i);
		EXPECT_NEAR(uv.X, (p.X + 1) / 2, 1e-5f) << i;
		EXPECT_NEAR(uv.Y, 1.0f - (p.Y + 1) / 2, 1e-5f) << i;
		EXPECT_NEAR(buffer->getNormal(i).getLength(), 1.0f, 1e-4f);
	}
	EXPECT_TRUE(mesh->getBoundingBox().MinEdge.equals(core::vector3df(-1, -1, -1)));
	const video::SMaterial& material = buffer->getMaterial();
	ASSERT_TRUE(material.getTexture(0));
	EXPECT_NE(core::stringc(material.getTexture(0)->getName().getPath()).find("tex0.bmp"), -1);
	EXPECT_EQ(material.DiffuseColor, video::SColor(255, 255, 255, 255));
	EXPECT_TRUE(material.BackfaceCulling);
}

// A texture projection LightWave does not have fails a check inside the
// import library, which would end the process: the check is logged and the
// box loads without the texture's mapping.
TEST_F(AssimpMeshTest, Lwo2WithAnUnknownProjectionStillLoads)
{
	write("tex0.bmp", quadrantImage());
	std::string bytes = lwo2(boxPoints(), boxFaces(), 1.0f, 1.0f, 1.0f, "tex0.bmp");
	const size_t proj = bytes.find("PROJ");
	ASSERT_NE(proj, std::string::npos);
	bytes[proj + 7] = 9;
	const scene::IMesh* mesh = load(write("proj.lwo", bytes));
	ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
	EXPECT_EQ(triangles(mesh), 12u);
	EXPECT_TRUE(logged("WARN : CZeAssimpMeshLoader: the import library's check 'false' failed at "));
}

// A point off the axes shows the handedness: LightWave and the library are
// both left-handed, so a LightWave point keeps its coordinates.
TEST_F(AssimpMeshTest, LightwavePointsKeepTheirCoordinatesInBothVersions)
{
	const std::vector<LwoPoint> points = {{1, 2, 3, 0, 0}, {1, 5, 3, 0, 1}, {4, 5, 3, 1, 1}};
	const std::vector<std::vector<unsigned>> triangle = {{0, 1, 2}};
	for (const std::string& bytes : {lwo2(points, triangle, 1, 0, 0), lwo2(points, triangle, 1, 0, 0, "", false),
			 lwob(points, triangle, 255, 0, 0)})
	{
		const scene::IMesh* mesh = load(write("tri.lwo", bytes));
		ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(0);
		ASSERT_EQ(buffer->getIndexCount(), 3u);
		const u16* index = buffer->getIndices();
		// The same triangle in the same turning order (any starting corner).
		u32 first = 0;
		while (first < 3 && !buffer->getPosition(index[first]).equals(core::vector3df(1, 2, 3)))
			++first;
		ASSERT_LT(first, 3u);
		EXPECT_TRUE(buffer->getPosition(index[(first + 1) % 3]).equals(core::vector3df(1, 5, 3)));
		EXPECT_TRUE(buffer->getPosition(index[(first + 2) % 3]).equals(core::vector3df(4, 5, 3)));
		// Clockwise seen from -Z: the normal points at -Z.
		EXPECT_TRUE(buffer->getNormal(0).equals(core::vector3df(0, 0, -1), 1e-4f)) << buffer->getNormal(0).Z;
		EXPECT_EQ(buffer->getMaterial().DiffuseColor, video::SColor(255, 255, 0, 0));
	}
}

// LWOB surfaces with subchunks shorter than their kind, unterminated names
// and texture subchunks of every sort: the box loads whole with its colour.
TEST_F(AssimpMeshTest, LwobSurfacesWithShortOrOddSubchunksStillLoad)
{
	write("Images/wood.bmp", quadrantImage());
	const std::vector<std::pair<const char*, IffBytes>> extras = {
		{"no extra", IffBytes()},
		{"alpha image of no bytes", IffBytes().sub("CTEX", IffBytes().s0("Planar Image Map")).sub("TALP", IffBytes(), 0)},
		{"alpha image unterminated", IffBytes().sub("CTEX", IffBytes().s0("Planar Image Map")).sub("TALP", IffBytes().raw("a"))},
		{"antialiasing of two bytes", IffBytes().sub("CTEX", IffBytes().s0("Planar Image Map")).sub("TAAS", IffBytes().u2(1))},
		{"short floats", IffBytes().sub("VDIF", IffBytes().u2(1)).sub("SMAN", IffBytes().u1(1)).sub("TSIZ", IffBytes().f4(1))},
		{"image name unterminated", IffBytes().sub("CTEX", IffBytes().s0("Planar Image Map")).sub("TIMG", IffBytes().raw("Images/w"))},
		{"size past the chunk", IffBytes().sub("TALP", IffBytes().u2(0), 400)},
		{"image map", IffBytes()
				.sub("CTEX", IffBytes().s0("Planar Image Map"))
				.sub("TIMG", IffBytes().s0("Images/wood.bmp"))
				.sub("TALP", IffBytes(), 0)
				.sub("TFLG", IffBytes().u2(4))
				.sub("TSIZ", IffBytes().vec(2, 2, 2))
				.sub("TCTR", IffBytes().vec(0, 0, 0))
				.sub("TAAS", IffBytes().u2(0))},
	};
	for (const auto& extra : extras)
	{
		SCOPED_TRACE(extra.first);
		const scene::IMesh* mesh = load(write("Objects/box.lwo", lwob(boxPoints(), boxFaces(), 255, 0, 0, extra.second)));
		ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
		ASSERT_EQ(mesh->getMeshBufferCount(), 1u);
		EXPECT_EQ(mesh->getMeshBuffer(0)->getVertexCount(), 24u);
		EXPECT_EQ(triangles(mesh), 12u);
		EXPECT_TRUE(facesOutwards(mesh));
		const video::SMaterial& material = mesh->getMeshBuffer(0)->getMaterial();
		if (std::string(extra.first) == "image map")
		{
			ASSERT_TRUE(material.getTexture(0)) << "the image beside the Objects folder";
			EXPECT_NE(core::stringc(material.getTexture(0)->getName().getPath()).find("Images/wood.bmp"), -1);
		}
		else
			EXPECT_EQ(material.DiffuseColor, video::SColor(255, 255, 0, 0));
	}
}

// Detail polygons (a negative surface, then their count) and polygons that
// name missing points or surfaces.
TEST_F(AssimpMeshTest, LwobDetailPolygonsAndBadIndices)
{
	IffBytes pnts;
	for (const LwoPoint& p : boxPoints())
		pnts.vec(p.X, p.Y, p.Z);
	IffBytes pols;
	const std::vector<std::vector<unsigned>> faces = boxFaces();
	// The front face carries the back face as its detail.
	pols.u2(4).u2(faces[0][0]).u2(faces[0][1]).u2(faces[0][2]).u2(faces[0][3]).u2(0xFFFF);  // surface -1
	pols.u2(1);
	pols.u2(4).u2(faces[1][0]).u2(faces[1][1]).u2(faces[1][2]).u2(faces[1][3]).u2(1);
	pols.u2(3).u2(0).u2(1).u2(99).u2(1);       // a missing point: left out
	pols.u2(4).u2(faces[2][0]).u2(faces[2][1]).u2(faces[2][2]).u2(faces[2][3]).u2(7);  // a missing surface
	pols.u2(5).u2(1);                          // cut short
	IffBytes body;
	body.chunk("PNTS", pnts).chunk("SRFS", IffBytes().s0("Skin")).chunk("POLS", pols);
	const scene::IMesh* mesh = load(write("detail.lwo", body.form("LWOB")));
	ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
	EXPECT_EQ(triangles(mesh), 6u);
	EXPECT_TRUE(facesOutwards(mesh));
}

// The rewriting itself: LWO2 files with a layer before their points pass
// untouched, others get one; sizes and indices that lie (the import library
// would read past its buffer) are left out; what is not LightWave is left alone.
TEST_F(AssimpMeshTest, LightwaveRewritingOnlyWhereNeeded)
{
	const std::vector<LwoPoint> points = boxPoints();
	std::string out = "untouched";
	const std::string layered = lwo2(points, boxFaces(), 1, 1, 1);
	EXPECT_EQ(ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(layered.data()), layered.size(), &out),
		ze::ELU_UNCHANGED);
	EXPECT_EQ(out, "untouched");
	const std::string bare = lwo2(points, boxFaces(), 1, 1, 1, "", false);
	EXPECT_EQ(ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(bare.data()), bare.size(), &out), ze::ELU_REWRITTEN);
	EXPECT_EQ(out.size(), bare.size() + 8 + 18);  // a "LAYR" chunk of 18 bytes
	EXPECT_EQ(out.find("LAYR") + 26, out.find("PNTS")) << "right before the points";
	// A subchunk inside a surface's block that claims more bytes than its
	// block holds: the surface is left out, the box loads with the default one.
	std::string overrun = lwo2(points, boxFaces(), 1, 0, 0, "tex0.bmp");
	const size_t imap = overrun.find("IMAP");
	ASSERT_NE(imap, std::string::npos);
	overrun[imap + 5] = static_cast<char>(208);
	EXPECT_EQ(ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(overrun.data()), overrun.size(), &out),
		ze::ELU_REWRITTEN);
	EXPECT_EQ(out.find("COLR"), std::string::npos) << "the surface's colour went with it";
	const scene::IMesh* mesh = load(write("overrun.lwo", overrun));
	ASSERT_TRUE(mesh);
	EXPECT_EQ(triangles(mesh), 12u);
	EXPECT_EQ(mesh->getMeshBuffer(0)->getMaterial().getTexture(0), nullptr);

	// Polygons that run past their chunk or name missing points; tags and
	// coordinates of polygons and points that do not exist.
	IffBytes pnts, pols, ptag, vmap;
	for (const LwoPoint& p : points)
		pnts.vec(p.X, p.Y, p.Z);
	pols.id("FACE").u2(4).u2(2).u2(3).u2(1).u2(0);  // the front face
	pols.u2(3).u2(0).u2(1).u2(40);                  // a missing point
	pols.u2(4).u2(7).u2(6).u2(4).u2(5);             // the back face
	pols.u2(500).u2(1).u2(2);                       // cut off by the end
	ptag.id("SURF").u2(0).u2(0).u2(2).u2(0).u2(9).u2(0).u2(1).u2(7);
	vmap.id("TXUV").u2(2).s0("UV").u2(0).f4(0).f4(0).u2(99).f4(1).f4(1).u2(3).f4(1);
	IffBytes body;
	body.chunk("TAGS", IffBytes().s0("Skin")).chunk("LAYR", IffBytes().u2(0).u2(0).vec(0, 0, 0).s0(""));
	body.chunk("PNTS", pnts).chunk("VMAP", vmap).chunk("POLS", pols).chunk("PTAG", ptag);
	const std::string lying = body.form("LWO2");
	ASSERT_EQ(ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(lying.data()), lying.size(), &out),
		ze::ELU_REWRITTEN);
	std::string again;
	EXPECT_EQ(ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(out.data()), out.size(), &again),
		ze::ELU_UNCHANGED) << "a checked file passes as it is";
	mesh = load(write("lying.lwo", lying));
	ASSERT_TRUE(mesh);
	EXPECT_EQ(triangles(mesh), 4u) << "the front and back faces";
	EXPECT_TRUE(facesOutwards(mesh));

	for (const std::string& other : {std::string("FORM\0\0\0\4ILBM", 12), std::string("v 1 2 3\n"), std::string()})
		EXPECT_EQ(ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(other.data()), other.size(), &out),
			ze::ELU_NOT_LWO);
}

// A file with nothing the import library can make a mesh of, or a form of
// another kind behind "FORM", never reaches the library (which leaks its
// half-built scene on the first and reads the others unchecked).
TEST_F(AssimpMeshTest, LightwaveFilesWithNothingToDrawOrOfAnotherKindAreRefused)
{
	IffBytes pnts;
	for (const LwoPoint& p : boxPoints())
		pnts.vec(p.X, p.Y, p.Z);
	const IffBytes layer = IffBytes().u2(0).u2(0).vec(0, 0, 0).s0("");
	IffBytes curve;
	curve.id("CURV").u2(3).u2(0).u2(1).u2(2);
	IffBytes misplaced;
	misplaced.id("FACE").u2(3).u2(0).u2(1).u2(2);
	const std::vector<std::pair<const char*, std::string>> nothing = {
		{"points only", IffBytes().chunk("TAGS", IffBytes().s0("Skin")).chunk("LAYR", layer).chunk("PNTS", pnts).form("LWO2")},
		{"curves only", IffBytes().chunk("LAYR", layer).chunk("PNTS", pnts).chunk("POLS", curve).form("LWO2")},
		{"polygons before the points", IffBytes().chunk("LAYR", layer).chunk("POLS", misplaced).chunk("PNTS", pnts).form("LWO2")},
		{"LWOB points only", IffBytes().chunk("PNTS", pnts).chunk("SRFS", IffBytes().s0("Skin")).form("LWOB")},
	};
	for (const auto& file : nothing)
	{
		SCOPED_TRACE(file.first);
		gLines.clear();
		const std::string path = write("nothing.lwo", file.second);
		EXPECT_EQ(load(path), nullptr);
		EXPECT_TRUE(logged("ERROR : CZeAssimpMeshLoader: refused '" + path + "': no polygons to draw"));
	}
	std::string modo = lwo2(boxPoints(), boxFaces(), 1, 1, 1);
	modo.replace(8, 4, "LXOB");
	std::string layered = lwob(boxPoints(), boxFaces(), 255, 0, 0);
	layered.replace(8, 4, "LWLO");
	for (const std::string& other : {modo, layered, std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n")})
	{
		SCOPED_TRACE(other.substr(0, 12));
		gLines.clear();
		const std::string path = write("other.lwo", other);
		EXPECT_EQ(load(path), nullptr);
		EXPECT_TRUE(logged("ERROR : CZeAssimpMeshLoader: refused '" + path + "': not a LightWave object (LWOB or LWO2)"));
	}
}

// One triangle per layer, layer i at x = 10 i; every layer's triangle loads
// where it was, whatever the layers' numbers and parents say.
namespace
{
std::string layeredTriangles(const std::vector<std::pair<unsigned, int>>& layers)
{
	IffBytes body;
	body.chunk("TAGS", IffBytes().s0("Skin"));
	for (size_t i = 0; i < layers.size(); ++i)
	{
		IffBytes layer;
		layer.u2(layers[i].first).u2(0).vec(0, 0, 0).s0("Layer");
		if (layers[i].second >= 0)
			layer.u2(static_cast<unsigned>(layers[i].second));
		const float x = 10.0f * static_cast<float>(i);
		IffBytes pols;
		pols.id("FACE").u2(3).u2(0).u2(1).u2(2);
		body.chunk("LAYR", layer)
			.chunk("PNTS", IffBytes().vec(x, 0, 0).vec(x, 1, 0).vec(x + 1, 1, 0))
			.chunk("POLS", pols)
			.chunk("PTAG", IffBytes().id("SURF").u2(0).u2(0));
	}
	IffBytes surf;
	surf.s0("Skin").s0("").sub("COLR", IffBytes().vec(1, 0, 0).vx(0));
	body.chunk("SURF", surf);
	return body.form("LWO2");
}
} // namespace

TEST_F(AssimpMeshTest, LightwaveLayersThatCannotFormATreeStillLoadEveryLayer)
{
	const int none = -1;
	const std::vector<std::pair<const char*, std::vector<std::pair<unsigned, int>>>> cases = {
		{"a tree", {{1, none}, {2, 1}, {3, 2}}},
		{"a child before its parent", {{2, 1}, {1, none}}},
		{"one number twice", {{1, none}, {1, none}}},
		{"parents of each other", {{1, 2}, {2, 1}}},
		{"its own parent", {{1, 1}}},
		{"a loop of three and one more", {{1, 3}, {2, 1}, {3, 2}, {4, none}}},
		{"the number that means no layer", {{0xFFFF, none}, {1, 0xFFFF}}},
		{"a missing parent", {{1, 7}}},
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.first);
		gLines.clear();
		const std::string bytes = layeredTriangles(c.second);
		const scene::IMesh* mesh = load(write("layers.lwo", bytes));
		ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
		EXPECT_EQ(triangles(mesh), c.second.size());
		for (size_t i = 0; i < c.second.size(); ++i)
		{
			bool found = false;
			for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
				for (u32 v = 0; v < mesh->getMeshBuffer(b)->getVertexCount(); ++v)
					found = found || mesh->getMeshBuffer(b)->getPosition(v).equals(core::vector3df(10.0f * i + 1, 1, 0));
			EXPECT_TRUE(found) << "the triangle of layer " << i;
		}
		std::string out, again;
		if (ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &out) == ze::ELU_REWRITTEN)
		{
			EXPECT_EQ(ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(out.data()), out.size(), &again),
				ze::ELU_UNCHANGED);
		}
	}
}

// Points chunks one after another in a layer (found by fuzzing: the import
// library then reads values it never set): each keeps its own polygons.
TEST_F(AssimpMeshTest, LightwavePointChunksOfOneLayerEachKeepTheirPolygons)
{
	IffBytes fan, quad, fanPolygons, quadPolygon, vmad;
	for (const core::vector3df& p : {core::vector3df(0, 0, 0), core::vector3df(1, 0, 0), core::vector3df(1, 1, 0),
			 core::vector3df(0, 1, 0.5f), core::vector3df(-1, 1, 0)})
		fan.vec(p.X, p.Y, p.Z);
	for (const core::vector3df& p : {core::vector3df(0, 0, 2), core::vector3df(0, 2, 2), core::vector3df(2, 0, 2),
			 core::vector3df(2, 2, 2)})
		quad.vec(p.X, p.Y, p.Z);
	fanPolygons.id("FACE").u2(3).u2(0).u2(1).u2(2).u2(3).u2(0).u2(2).u2(3).u2(3).u2(0).u2(3).u2(4);
	quadPolygon.id("FACE").u2(4).u2(0).u2(1).u2(3).u2(2);
	vmad.id("TXUV").u2(2).s0("Fan UV").u2(0).u2(0).f4(0).f4(0).u2(0).u2(1).f4(0.5f).f4(0.5f);
	for (bool withLayer : {false, true})
	{
		SCOPED_TRACE(withLayer ? "in a layer" : "before any layer");
		IffBytes body;
		if (withLayer)
			body.chunk("LAYR", IffBytes().u2(1).u2(0).vec(0, 0, 0).s0("Layer"));
		body.chunk("PNTS", fan).chunk("POLS", fanPolygons).chunk("VMAD", vmad).chunk("PNTS", quad).chunk("POLS", quadPolygon);
		const scene::IMesh* mesh = load(write("points.lwo", body.form("LWO2")));
		ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
		ASSERT_EQ(triangles(mesh), 5u);
		u32 fanTriangles = 0, quadTriangles = 0;
		for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		{
			const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
			for (u32 i = 0; i < buffer->getIndexCount(); i += 3)
			{
				u32 atTwo = 0;
				for (u32 k = 0; k < 3; ++k)
					atTwo += buffer->getPosition(buffer->getIndices()[i + k]).Z == 2.0f ? 1 : 0;
				fanTriangles += atTwo == 0 ? 1 : 0;
				quadTriangles += atTwo == 3 ? 1 : 0;
			}
		}
		EXPECT_EQ(fanTriangles, 3u);
		EXPECT_EQ(quadTriangles, 2u);
	}
}

// The import library loses the polygons of the first chunk when a layer has
// two: the first is kept with its tags, the later one left out.
TEST_F(AssimpMeshTest, LightwaveSecondPolygonChunkOfALayerIsLeftOut)
{
	IffBytes pnts, first, second, firstTags, secondTags;
	for (const core::vector3df& p : {core::vector3df(0, 0, 0), core::vector3df(0, 1, 0), core::vector3df(1, 1, 0),
			 core::vector3df(1, 0, 0)})
		pnts.vec(p.X, p.Y, p.Z);
	first.id("FACE").u2(3).u2(0).u2(1).u2(2).u2(3).u2(0).u2(2).u2(3).u2(3).u2(1).u2(2).u2(3);
	second.id("FACE").u2(3).u2(0).u2(1).u2(3);
	firstTags.id("SURF").u2(0).u2(0).u2(1).u2(0).u2(2).u2(0);
	secondTags.id("SURF").u2(0).u2(1);
	IffBytes red, green;
	red.s0("Red").s0("").sub("COLR", IffBytes().vec(1, 0, 0).vx(0));
	green.s0("Green").s0("").sub("COLR", IffBytes().vec(0, 1, 0).vx(0));
	IffBytes body;
	body.chunk("TAGS", IffBytes().s0("Red").s0("Green")).chunk("LAYR", IffBytes().u2(0).u2(0).vec(0, 0, 0).s0(""));
	body.chunk("PNTS", pnts).chunk("POLS", first).chunk("PTAG", firstTags).chunk("POLS", second).chunk("PTAG", secondTags);
	body.chunk("SURF", red).chunk("SURF", green);
	const scene::IMesh* mesh = load(write("twice.lwo", body.form("LWO2")));
	ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
	EXPECT_EQ(triangles(mesh), 3u);
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		EXPECT_EQ(mesh->getMeshBuffer(b)->getMaterial().DiffuseColor, video::SColor(255, 255, 0, 0));
}

// A surface whose name, or the name of the surface it derives from, does not
// end (with its pad byte) inside the chunk: the import library reads the
// second name from past the chunk, and on past its buffer (found by
// fuzzing). The surface is left out; the triangle loads.
TEST_F(AssimpMeshTest, LightwaveSurfaceNamesThatRunPastTheirChunkAreLeftOut)
{
	auto surfaces = [](const std::string& file) {
		int count = 0;
		for (size_t at = 12; at + 8 <= file.size();)
		{
			const size_t size = (size_t(u8(file[at + 4])) << 24) | (size_t(u8(file[at + 5])) << 16) |
				(size_t(u8(file[at + 6])) << 8) | u8(file[at + 7]);
			count += file.compare(at, 4, "SURF") == 0 ? 1 : 0;
			at += 8 + size + size % 2;
		}
		return count;
	};
	IffBytes pols;
	pols.id("FACE").u2(3).u2(0).u2(1).u2(2);
	const std::vector<std::pair<const char*, std::string>> names = {
		{"name without its end", "Default" + std::string(80, '\xea')},
		{"pad byte past the chunk", std::string("Skin\0", 5)},
		{"source without its end", std::string("Skin\0\0Base", 10)},
		{"both ended", std::string("Skin\0\0Base\0\0", 12)},
	};
	for (const auto& name : names)
	{
		SCOPED_TRACE(name.first);
		IffBytes body;
		body.chunk("TAGS", IffBytes().s0("Default")).chunk("LAYR", IffBytes().u2(0).u2(0).vec(0, 0, 0).s0(""));
		body.chunk("PNTS", IffBytes().vec(0, 0, 0).vec(0, 1, 0).vec(1, 1, 0)).chunk("POLS", pols);
		body.chunk("PTAG", IffBytes().id("SURF").u2(0).u2(0)).chunk("SURF", IffBytes().raw(name.second));
		const std::string bytes = body.form("LWO2");
		std::string out = bytes;
		ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &out);
		EXPECT_EQ(surfaces(out), std::string(name.first) == "both ended" ? 1 : 0);
		const scene::IMesh* mesh = load(write("names.lwo", bytes));
		ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
		EXPECT_EQ(triangles(mesh), 1u);
	}
}

// Smoothing compares every polygon corner near a point with every other one
// there: 20,000 triangles on the same three points take the import library
// seconds, 200,000 minutes. Such a file is refused when a surface smooths;
// the same triangles spread out, or not smoothed, load.
TEST_F(AssimpMeshTest, LightwaveCornersCrowdedAtOnePointAreRefusedWhenSmoothed)
{
	const unsigned count = 20000;
	auto file = [&](bool crowded, bool smoothed) {
		IffBytes pnts, pols, ptag, surf;
		pols.id("FACE");
		ptag.id("SURF");
		for (unsigned i = 0; i < count; ++i)
		{
			const float x = crowded ? 0.0f : static_cast<float>(i);
			pnts.vec(x, 0, 0).vec(x, 1, 0).vec(x + 1, 1, 0);
			pols.u2(3).vx(3 * i).vx(3 * i + 1).vx(3 * i + 2);
			ptag.vx(i).u2(0);
		}
		surf.s0("Skin").s0("").sub("COLR", IffBytes().vec(1, 0, 0).vx(0));
		if (smoothed)
			surf.sub("SMAN", IffBytes().f4(1.5f));
		IffBytes body;
		body.chunk("TAGS", IffBytes().s0("Skin")).chunk("LAYR", IffBytes().u2(0).u2(0).vec(0, 0, 0).s0(""));
		body.chunk("PNTS", pnts).chunk("POLS", pols).chunk("PTAG", ptag).chunk("SURF", surf);
		return body.form("LWO2");
	};
	const std::string path = write("crowded.lwo", file(true, true));
	EXPECT_EQ(load(path), nullptr);
	EXPECT_TRUE(logged("ERROR : CZeAssimpMeshLoader: refused '" + path + "': 60000 polygon corners at 3 points, too many to smooth"))
		<< (gLines.empty() ? "" : gLines.back());
	for (const bool crowded : {false, true})
	{
		const scene::IMesh* mesh = load(write("fine.lwo", file(crowded, !crowded)));
		ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
		EXPECT_EQ(triangles(mesh), count);
	}
	// LightWave 5 files smooth by a flag, and go through the same check.
	IffBytes pnts, pols, surf;
	for (unsigned i = 0; i < count; ++i)
	{
		pnts.vec(0, 0, 0).vec(0, 1, 0).vec(1, 1, 0);
		pols.u2(3).u2(3 * i % 60000).u2((3 * i + 1) % 60000).u2((3 * i + 2) % 60000).u2(1);
	}
	surf.s0("Skin").sub("FLAG", IffBytes().u2(4));
	const std::string old =
		write("crowded5.lwo", IffBytes().chunk("PNTS", pnts).chunk("SRFS", IffBytes().s0("Skin")).chunk("POLS", pols).chunk("SURF", surf).form("LWOB"));
	EXPECT_EQ(load(old), nullptr);
	EXPECT_TRUE(logged("ERROR : CZeAssimpMeshLoader: refused '" + old + "': 60000 polygon corners at 3 points, too many to smooth"));
}

// ---- OBJ files ---------------------------------------------------------------------------
// An OBJ file is right-handed: it arrives mirrored in X, as the library's own
// loader did it, with its fronts outside, its V turned and its material.
TEST_F(AssimpMeshTest, ObjBoxIsMirroredInXWithMaterialColourAndTexture)
{
	write("tex.bmp", quadrantImage());
	write("box.mtl", "newmtl red\nKd 1 0 0\nmap_Kd tex.bmp\n");
	const scene::IMesh* mesh = load(write("box.obj", objBox("red")));
	ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
	ASSERT_EQ(mesh->getMeshBufferCount(), 1u);
	const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(0);
	EXPECT_EQ(triangles(mesh), 12u);
	EXPECT_TRUE(facesOutwards(mesh));
	for (u32 i = 0; i < buffer->getVertexCount(); ++i)
	{
		const core::vector3df p = buffer->getPosition(i);
		EXPECT_NEAR(buffer->getTCoords(i).X, (-p.X + 1) / 2, 1e-5f) << "mirrored in X";
		EXPECT_NEAR(buffer->getTCoords(i).Y, 1.0f - (p.Y + 1) / 2, 1e-5f);
		EXPECT_EQ(static_cast<const video::S3DVertex*>(buffer->getVertices())[i].Color, video::SColor(255, 255, 0, 0));
	}
	const video::SMaterial& material = buffer->getMaterial();
	EXPECT_EQ(material.DiffuseColor, video::SColor(255, 255, 0, 0));
	ASSERT_TRUE(material.getTexture(0));
	EXPECT_NE(core::stringc(material.getTexture(0)->getName().getPath()).find("tex.bmp"), -1);

	const scene::IMesh* tri = load(write("tri.obj", "v 1 2 3\nv 1 5 3\nv 4 5 3\nvn 0 0 1\nf 1//1 3//1 2//1\n"));
	ASSERT_TRUE(tri);
	const scene::IMeshBuffer* one = tri->getMeshBuffer(0);
	ASSERT_EQ(one->getVertexCount(), 3u);
	for (const core::vector3df& p : {core::vector3df(-1, 2, 3), core::vector3df(-1, 5, 3), core::vector3df(-4, 5, 3)})
	{
		bool found = false;
		for (u32 i = 0; i < 3; ++i)
			found = found || one->getPosition(i).equals(p);
		EXPECT_TRUE(found) << p.X << " " << p.Y << " " << p.Z;
	}
	EXPECT_TRUE(one->getNormal(0).equals(core::vector3df(0, 0, 1)));
	// The front now points where the normal does.
	const u16* index = one->getIndices();
	const core::vector3df a = one->getPosition(index[0]), b = one->getPosition(index[1]), c = one->getPosition(index[2]);
	EXPECT_GT((b - a).crossProduct(c - a).Z, 0.0f);
}

// Broken faces: a vertex index that is not a number, past the vertices, zero
// or before the first; a texture or normal index that is wrong. Such a file is
// refused, or loads with the faces that name real vertices only.
TEST_F(AssimpMeshTest, ObjBrokenFacesAreRefusedAndEmptyFacesSkipped)
{
	const std::string good = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\n";
	// Triangles when loaded; 0: refused.
	const std::vector<std::pair<const char*, u32>> cases = {
		{"f 1 2 x\n", 0}, {"f 1//x 2 3\n", 0}, {"f 1/2/3/4 2 3\n", 0}, {"f 1/99 2 3\n", 2}};
	for (const auto& broken : cases)
	{
		SCOPED_TRACE(broken.first);
		gLines.clear();
		const scene::IMesh* mesh = load(write("broken.obj", good + broken.first));
		EXPECT_EQ(mesh ? triangles(mesh) : 0u, broken.second);
		if (!mesh)
		{
			EXPECT_TRUE(logged("ERROR : CZeAssimpMeshLoader: cannot load '" + Dir + "/broken.obj'"));
		}
	}
	const scene::IMesh* mesh = load(write("empty.obj", good + "f\nf 2 4 3\nf \n"));
	ASSERT_TRUE(mesh);
	EXPECT_EQ(triangles(mesh), 2u);
	EXPECT_EQ(mesh->getMeshBuffer(0)->getVertexCount(), 4u);

	// Nothing to draw: points and lines only, or no faces at all.
	for (const char* nothing : {"v 0 0 0\nv 1 0 0\n", "v 0 0 0\nv 1 0 0\nl 1 2\np 1\n", ""})
	{
		gLines.clear();
		EXPECT_EQ(load(write("nothing.obj", nothing)), nullptr) << nothing;
		EXPECT_TRUE(logged("CZeAssimpMeshLoader: cannot load")) << nothing;
	}
}

// Vertex indices that name no vertex never reach the import library: it
// keeps the meshes it built before such a face (a leak), and turns an index
// too large for its integers into some other vertex.
TEST_F(AssimpMeshTest, ObjVertexIndicesThatNameNoVertexAreRefused)
{
	const std::string four = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n";
	// What follows the four vertices, and why it is refused.
	const std::vector<std::pair<std::string, std::string>> refused = {
		{"f 1 2 99\n", "line 5: vertex index 99 names none of the file's 4 vertices"},
		{"f 0 1 2\n", "line 5: vertex index 0 names no vertex"},
		{"f -9 1 2\n", "line 5: vertex index -9 names none of the 4 vertices before it"},
		{"o first\nf 1 2 3\no second\nf 1/1 2/1 5/1\n", "line 8: vertex index 5 names none of the file's 4 vertices"},
		{"f 1 2 99999999999999999999\n", "line 5: an index of more than 10 digits"},
		{"f 1 2 -4294967295\n", "line 5: vertex index -4294967295 names none of the 4 vertices before it"},
		{"f 1 2 \\\n 7\n", "line 5: vertex index 7 names none of the file's 4 vertices"},
		{"l 1 2\np 9\n", "line 6: vertex index 9 names none of the file's 4 vertices"},
		// The library takes any statement that starts with "f" for a face...
		{"fan 1 2 9\n", "line 5: vertex index 9 names none of the file's 4 vertices"},
		// ...and a number only when it starts with a digit or a sign.
		{"v .5 .5 .5\nf 1 2 5\n", "line 6: vertex index 5 names none of the file's 4 vertices"},
	};
	for (const auto& c : refused)
	{
		SCOPED_TRACE(c.first);
		gLines.clear();
		const std::string path = write("index.obj", four + c.first);
		EXPECT_EQ(load(path), nullptr);
		EXPECT_TRUE(logged("ERROR : CZeAssimpMeshLoader: refused '" + path + "': " + c.second)) << (gLines.empty() ? "" : gLines.back());
	}
	// Indices that name vertices: later in the file, counted back, on a
	// continued line; an indented statement is none.
	for (const std::string& fine : {std::string("f 1 2 5\nv 2 2 2\n"), std::string("f -4 -3 -2\n"),
			 std::string("f 1 2 \\\n3\n"), std::string("f 1 2 3\n f 1 2 9\n"), std::string("v -.5 1 1\nf 1 2 5\n")})
	{
		SCOPED_TRACE(fine);
		const scene::IMesh* mesh = load(write("index.obj", four + fine));
		ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
		EXPECT_EQ(triangles(mesh), 1u);
	}
}

// A line of one corner (found by fuzzing): the import library counts no
// vertex for it, writes one, and gives up, keeping the meshes built before it
// (a leak). Lines of two corners and more load beside the triangle.
TEST_F(AssimpMeshTest, ObjLinesOfOneCornerAreRefused)
{
	const std::string triangle = "o first\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\no second\n";
	for (const char* line : {"l 3\n", "l -1\n", "l 2/1\n", "l 1 \\\n\n"})
	{
		SCOPED_TRACE(line);
		gLines.clear();
		const std::string path = write("line.obj", triangle + line);
		EXPECT_EQ(load(path), nullptr);
		EXPECT_TRUE(logged("ERROR : CZeAssimpMeshLoader: refused '" + path + "': line 7: a line of one corner"))
			<< (gLines.empty() ? "" : gLines.back());
	}
	for (const char* line : {"l 1 2\n", "l 1 2 3\n", "l\n"})
	{
		SCOPED_TRACE(line);
		const scene::IMesh* mesh = load(write("line.obj", triangle + line));
		ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
		EXPECT_EQ(triangles(mesh), 1u);
	}
}

// A face of more corners than a LightWave polygon may have (1023) is refused:
// the import library's triangulation takes time that grows with the square
// of a face's corners, hours for a face of a million.
TEST_F(AssimpMeshTest, ObjFacesOfMoreCornersThanAPolygonMayHaveAreRefused)
{
	for (unsigned corners : {1023u, 1024u})
		for (bool continued : {false, true})
		{
			SCOPED_TRACE(::testing::Message() << corners << (continued ? " corners, continued" : " corners"));
			gLines.clear();
			std::ostringstream obj;
			for (unsigned i = 0; i < corners; ++i)
			{
				const double angle = 2.0 * 3.14159265358979 * i / corners;
				obj << "v " << std::cos(angle) << ' ' << std::sin(angle) << " 0\n";
			}
			obj << 'f';
			for (unsigned i = 0; i < corners; ++i)
				obj << ' ' << i + 1 << (continued && i == corners / 2 ? " \\\n" : "");
			obj << '\n';
			const std::string path = write("round.obj", obj.str());
			const scene::IMesh* mesh = load(path);
			if (corners == 1023)
			{
				ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
				EXPECT_EQ(triangles(mesh), 1021u);
			}
			else
			{
				EXPECT_EQ(mesh, nullptr);
				EXPECT_TRUE(logged("ERROR : CZeAssimpMeshLoader: refused '" + path + "': line 1025: a face of 1024 corners, more than 1023"));
			}
		}
}

// Statements of a material library before its first "newmtl" (found by
// fuzzing: a texture there made the import library write through a null
// material) belong to the default material; the object loads with the
// library's materials. The library also reads the library named like the
// object when the one the object names is missing. A library of fewer than 8
// bytes (found by fuzzing: the import library gave up on the whole object,
// leaking the library's stream) is read as the empty library it is.
TEST_F(AssimpMeshTest, ObjMaterialLibraryStatementsBeforeTheFirstMaterialAreKept)
{
	for (const std::string& tiny : {std::string(), std::string("Kd 1\n")})
	{
		SCOPED_TRACE("library of " + std::to_string(tiny.size()) + " bytes");
		write("tiny.mtl", tiny);
		const scene::IMesh* mesh = load(write("tiny.obj", "mtllib tiny.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
		ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
		EXPECT_EQ(triangles(mesh), 1u);
	}

	write("tex.bmp", quadrantImage());
	const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nusemtl red\nf 1/1 2/1 3/1\n";
	const std::vector<std::pair<const char*, std::string>> libraries = {
		{"a texture first", "map_Kd tex.bmp\nbump tex.bmp\nnewmtl red\nKd 1 0 0\n"},
		{"a byte order mark first", "\xEF\xBB\xBFnewmtl red\nKd 1 0 0\n"},
		{"bytes found by fuzzing", std::string("\0a\0-3 -2\nnewmtl red\nKd 1 0 0\n", 28)},
	};
	for (const auto& library : libraries)
		for (const char* named : {"lib.mtl", "missing.mtl"})
		{
			SCOPED_TRACE(std::string(library.first) + ", named " + named);
			std::filesystem::remove(Dir + "/lib.mtl");
			std::filesystem::remove(Dir + "/lib.obj");
			write("lib.mtl", library.second);
			const scene::IMesh* mesh = load(write("lib.obj", "mtllib " + std::string(named) + "\n" + triangle));
			ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
			EXPECT_EQ(mesh->getMeshBuffer(0)->getMaterial().DiffuseColor, video::SColor(255, 255, 0, 0));
		}
}

// More points than 16-bit indices reach are split over several buffers.
TEST_F(AssimpMeshTest, LargeMeshesAreSplitForSixteenBitIndices)
{
	std::ostringstream out;
	const int quads = 20000;  // 80000 distinct corners
	for (int i = 0; i < quads; ++i)
		out << "v " << i << " 0 0\nv " << i << " 1 0\nv " << i + 0.5 << " 1 0\nv " << i + 0.5 << " 0 0\n";
	for (int i = 0; i < quads; ++i)
		out << "f " << 4 * i + 1 << ' ' << 4 * i + 2 << ' ' << 4 * i + 3 << ' ' << 4 * i + 4 << '\n';
	const scene::IMesh* mesh = load(write("large.obj", out.str()));
	ASSERT_TRUE(mesh);
	EXPECT_GT(mesh->getMeshBufferCount(), 1u);
	u32 vertices = 0;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		EXPECT_LE(buffer->getVertexCount(), 65535u);
		EXPECT_EQ(buffer->getIndexType(), video::EIT_16BIT);
		for (u32 i = 0; i < buffer->getIndexCount(); ++i)
			ASSERT_LT(buffer->getIndices()[i], buffer->getVertexCount());
		vertices += buffer->getVertexCount();
	}
	EXPECT_GE(vertices, 4u * quads);
	EXPECT_EQ(triangles(mesh), 2u * quads);
}

// ---- Files an object names ---------------------------------------------------------------
// A material library or an image that a file names may be a pipe or a
// device on disk, where opening or reading waits for a writer that may never
// come: such names are passed over and the object loads without them. Each
// load runs in a child process that an alarm ends if it waits.
TEST_F(AssimpMeshTest, NamedFilesThatAreNotRegularFilesAreNotOpened)
{
	for (const char* pipe : {"pipe.mtl", "pipe.bmp"})
		ASSERT_EQ(mkfifo((Dir + "/" + pipe).c_str(), 0600), 0);
	write("box.mtl", "newmtl red\nKd 1 0 0\nmap_Kd pipe.bmp\n");
	const std::vector<std::pair<const char*, std::string>> files = {
		{"box.obj", "mtllib pipe.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n"},
		{"box.obj", "mtllib box.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n"},
		{"box.lwo", lwo2(boxPoints(), boxFaces(), 1, 1, 1, "pipe.bmp")},
	};
	for (const auto& file : files)
	{
		SCOPED_TRACE(file.second.substr(0, 16));
		const std::string path = write(file.first, file.second);
		const pid_t child = fork();
		ASSERT_GE(child, 0);
		if (child == 0)
		{
			alarm(20);
			_exit(load(path) ? 0 : 1);
		}
		int status = 0;
		ASSERT_EQ(waitpid(child, &status, 0), child);
		EXPECT_FALSE(WIFSIGNALED(status)) << "the loader waited on a pipe";
		EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "no mesh";
	}
}

// ---- Damaged files -----------------------------------------------------------------------
// Every cut and a few hundred corrupted bytes of each kind of file: a mesh or
// a refusal, never a crash or a hang.
TEST_F(AssimpMeshTest, DamagedFilesLoadOrAreRefused)
{
	write("tex0.bmp", quadrantImage());
	const std::vector<std::pair<std::string, std::string>> files = {
		{"box.lwo", lwo2(boxPoints(), boxFaces(), 1, 1, 1, "tex0.bmp")},
		{"bare.lwo", lwo2(boxPoints(), boxFaces(), 1, 1, 1, "", false)},
		{"old.lwo", lwob(boxPoints(), boxFaces(), 255, 0, 0,
						IffBytes().sub("CTEX", IffBytes().s0("Planar Image Map")).sub("TIMG", IffBytes().s0("tex0.bmp")))},
		{"box.obj", objBox("red")},
	};
	write("box.mtl", "newmtl red\nKd 1 0 0\nmap_Kd tex0.bmp\n");
	unsigned seed = 12345;
	for (const auto& file : files)
	{
		SCOPED_TRACE(file.first);
		const std::string& bytes = file.second;
		int loaded = 0;
		for (size_t cut = 0; cut < bytes.size(); cut += 3)
			loaded += load(write("cut_" + file.first, bytes.substr(0, cut))) ? 1 : 0;
		for (int round = 0; round < 200; ++round)
		{
			std::string damaged = bytes;
			for (int flips = 0; flips < 4; ++flips)
			{
				seed = seed * 1103515245u + 12345u;
				damaged[(seed >> 8) % damaged.size()] = static_cast<char>(seed >> 24);
			}
			if (const scene::IMesh* mesh = load(write("bad_" + file.first, damaged)))
			{
				for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
					for (u32 i = 0; i < mesh->getMeshBuffer(b)->getIndexCount(); ++i)
						ASSERT_LT(mesh->getMeshBuffer(b)->getIndices()[i], mesh->getMeshBuffer(b)->getVertexCount());
			}
			Owned.clear();
		}
		EXPECT_LT(loaded, static_cast<int>(bytes.size()));
	}
}

// ---- Fuzzing seeds -----------------------------------------------------------------------
// The seeds that fuzz/make-corpus writes for the import fuzz targets are
// whole objects: each loads as a mesh, and each LightWave seed passes the
// checks as it is or rewritten (a seed the checks refuse would start the
// fuzzer off outside the import library).
TEST_F(AssimpMeshTest, FuzzingSeedsLoad)
{
	for (const char* target : {"mesh_import_fuzz", "lwo_fuzz"})
	{
		const std::filesystem::path folder = std::filesystem::path(ZELV_SOURCE_DIR) / "fuzz" / "corpus" / target;
		ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
		int seeds = 0;
		for (const auto& entry : std::filesystem::directory_iterator(folder))
		{
			SCOPED_TRACE(entry.path().string());
			++seeds;
			gLines.clear();
			const scene::IMesh* mesh = load(entry.path().string());
			ASSERT_TRUE(mesh) << (gLines.empty() ? "" : gLines.back());
			EXPECT_GT(triangles(mesh), 0u);
			if (entry.path().extension() != ".lwo")
				continue;
			std::ifstream in(entry.path(), std::ios::binary);
			const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
			std::string out;
			EXPECT_NE(ze::zeUpgradeLwo(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &out),
				ze::ELU_REFUSED);
		}
		EXPECT_GE(seeds, 4);
	}
}

// ---- Drawn ------------------------------------------------------------------------------
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

// The textured LWO2 box from the front, unlit: the front face shows the
// image's four quadrants where LightWave puts them.
TEST(AssimpMeshGL, TexturedLightwaveBoxShowsItsImageTheRightWayUp)
{
	if (!getenv("DISPLAY"))
		GTEST_SKIP() << "no display";
	const int size = 128;
	SZeSetupParams p = zetest::glWindowSetup(size, size);
	ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr);
	scene::ISceneManager* smgr = zeGetContext()->sceneManager;
	video::IVideoDriver* driver = zeGetContext()->driver;
	char folder[] = "/tmp/zeassimpglXXXXXX";
	ASSERT_TRUE(mkdtemp(folder));
	const std::string dir = folder;
	writeFile(dir + "/tex0.bmp", quadrantImage());
	writeFile(dir + "/box.lwo", lwo2(boxPoints(), boxFaces(), 1.0f, 1.0f, 1.0f, "tex0.bmp"));
	ze::registerAssimpMeshLoader(smgr);
	scene::IAnimatedMesh* mesh = smgr->getMesh((dir + "/box.lwo").c_str());
	ASSERT_TRUE(mesh);
	scene::IMeshSceneNode* node = ze::addMeshSceneNode(smgr, mesh->getMesh(0));
	node->setMaterialFlag(video::EMF_LIGHTING, false);
	smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -4), core::vector3df(0, 0, 0));

	driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	smgr->drawAll();
	std::vector<u8> rgba(size * size * 4);
	glReadBuffer(GL_BACK);
	glPixelStorei(GL_PACK_ALIGNMENT, 1);
	glReadPixels(0, 0, size, size, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
	driver->endScene();
	// (x, y) from the top left of the window.
	auto is = [&](int x, int y, uint32_t colour) {
		const u8* px = &rgba[(static_cast<size_t>(size - 1 - y) * size + x) * 4];
		const int r = colour >> 16, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
		return ::testing::AssertionResult(std::abs(px[0] - r) <= 8 && std::abs(px[1] - g) <= 8 && std::abs(px[2] - b) <= 8)
			<< "(" << x << ", " << y << ") is " << int(px[0]) << " " << int(px[1]) << " " << int(px[2]);
	};
	const int c = size / 2, d = 12;
	EXPECT_TRUE(is(c - d, c - d, TOP_LEFT));
	EXPECT_TRUE(is(c + d, c - d, TOP_RIGHT));
	EXPECT_TRUE(is(c - d, c + d, BOTTOM_LEFT));
	EXPECT_TRUE(is(c + d, c + d, BOTTOM_RIGHT));
	EXPECT_TRUE(is(3, 3, 0x000000)) << "the backdrop around the box";
	zeTerm();
	std::filesystem::remove_all(dir);
}
