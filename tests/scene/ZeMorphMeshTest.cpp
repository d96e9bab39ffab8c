// Morph meshes: morph maps over ".x" objects (static and skinned), mapping of
// ordered and unordered source-vertex tables, series of whole meshes, clones,
// separate instances and the morph-file name rules.
#include "scene/CZeMorphMesh.h"

#include "frame/ZeLog.h"
#include "libext/ZeXMesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace irr;

namespace
{
std::vector<std::string>& logLines()
{
	static std::vector<std::string> lines;
	return lines;
}
void captureLog(const char* line) { logLines().push_back(line); }
bool logged(const char* text)
{
	for (const std::string& line : logLines())
		if (line.find(text) != std::string::npos)
			return true;
	return false;
}

void writeFile(const std::string& path, const std::string& data)
{
	FILE* f = std::fopen(path.c_str(), "wb");
	ASSERT_NE(f, nullptr) << path;
	std::fwrite(data.data(), 1, data.size(), f);
	std::fclose(f);
}

// Vertex v of the strip: x = v, y = v % 2, z = 0 (dz for vertex `moved`),
// normal (0, 0, 1) with x = normalX for vertex 0.
std::string xFile(u32 vertices, bool skinned, f32 normalX = 0.f, u32 moved = ~0u, f32 dz = 0.f)
{
	char line[128];
	std::string x = "xof 0303txt 0032\nFrame Root {\n FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n";
	if (skinned)
		x += " Frame B0 {\n  FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
		     "  Frame B1 {\n   FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,1,0,1;; }\n  }\n }\n";
	x += " Mesh Body {\n  " + std::to_string(vertices) + ";\n";
	for (u32 v = 0; v < vertices; ++v)
	{
		std::snprintf(line, sizeof(line), "  %u;%u;%.9g;%s\n", v, v % 2, v == moved ? double(dz) : 0.0,
		              v + 1 < vertices ? "," : ";");
		x += line;
	}
	std::string faces = "  " + std::to_string(vertices - 2) + ";\n";
	for (u32 f = 0; f + 2 < vertices; ++f)
		faces += "  3;" + std::to_string(f) + "," + std::to_string(f + 1) + "," + std::to_string(f + 2) + ";" +
		         (f + 3 < vertices ? "," : ";") + "\n";
	x += faces + "  MeshNormals {\n  " + std::to_string(vertices) + ";\n";
	for (u32 v = 0; v < vertices; ++v)
	{
		std::snprintf(line, sizeof(line), "  %g;0;1;%s\n", v == 0 ? normalX : 0.f, v + 1 < vertices ? "," : ";");
		x += line;
	}
	x += faces + "  }\n";
	if (skinned)
	{
		const u32 half = vertices / 2;
		x += "  XSkinMeshHeader { 1; 1; 2; }\n";
		for (u32 b = 0; b < 2; ++b)
		{
			x += "  SkinWeights {\n   \"B" + std::to_string(b) + "\";\n   " + std::to_string(half) + ";\n   ";
			for (u32 i = 0; i < half; ++i)
				x += std::to_string(b * half + i) + (i + 1 < half ? "," : ";\n   ");
			for (u32 i = 0; i < half; ++i)
				x += std::string("1") + (i + 1 < half ? "," : ";\n");
			x += b ? "   1,0,0,0,0,1,0,0,0,0,1,0,0,-1,0,1;;\n  }\n" : "   1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;\n  }\n";
		}
	}
	x += " }\n}\n";
	if (skinned)
		x += "AnimationSet Move {\n"
		     " Animation {\n  { B0 }\n  AnimationKey { 0; 2;\n   0;4;1,0,0,0;;,\n   20;4;0.8,0,0,0.6;;;\n  }\n }\n"
		     " Animation {\n  { B1 }\n  AnimationKey { 0; 2;\n   0;4;1,0,0,0;;,\n   20;4;0.6,0.8,0,0;;;\n  }\n"
		     "  AnimationKey { 2; 2;\n   0;3;0,1,0;;,\n   20;3;0,1,0;;;\n  }\n }\n}\n";
	return x;
}

// Displacements of the limb below, per vertex: position moves and normal turns.
struct SShape
{
	std::vector<core::vector3df> Moves = std::vector<core::vector3df>(8);
	std::vector<core::vector3df> Turns = std::vector<core::vector3df>(8);
};
// a x wa + b x wb, vertex by vertex.
SShape blend(const SShape& a, f32 wa, const SShape& b, f32 wb)
{
	SShape out;
	for (u32 v = 0; v < 8; ++v)
	{
		out.Moves[v] = a.Moves[v] * wa + b.Moves[v] * wb;
		out.Turns[v] = a.Turns[v] * wa + b.Turns[v] * wb;
	}
	return out;
}

// A limb of two bones over an 8-vertex strip (x = v % 2, y = v / 2 x 0.5,
// normal (0, 0, 1)), displaced by `shape`: vertices 0-1 follow B0, 6-7 follow
// B1, 2-5 both with blended weights. Frame 0 is the bind pose; by frame 20 B0
// has turned about (1, 1, 0) and B1 about z while moving.
std::string limbXFile(const SShape& shape)
{
	char line[160];
	std::string x = "xof 0303txt 0032\nFrame Root {\n FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
	                " Frame B0 {\n  FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
	                "  Frame B1 {\n   FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,1,0,1;; }\n  }\n }\n"
	                " Mesh Limb {\n  8;\n";
	for (u32 v = 0; v < 8; ++v)
	{
		const core::vector3df p = core::vector3df(f32(v % 2), 0.5f * f32(v / 2), 0.f) + shape.Moves[v];
		std::snprintf(line, sizeof(line), "  %.9g;%.9g;%.9g;%s\n", double(p.X), double(p.Y), double(p.Z),
		              v < 7 ? "," : ";");
		x += line;
	}
	const std::string faces = "  6;\n  3;0,1,2;, 3;1,3,2;, 3;2,3,4;, 3;3,5,4;, 3;4,5,6;, 3;5,7,6;;\n";
	x += faces + "  MeshNormals {\n  8;\n";
	for (u32 v = 0; v < 8; ++v)
	{
		const core::vector3df n = core::vector3df(0.f, 0.f, 1.f) + shape.Turns[v];
		std::snprintf(line, sizeof(line), "  %.9g;%.9g;%.9g;%s\n", double(n.X), double(n.Y), double(n.Z),
		              v < 7 ? "," : ";");
		x += line;
	}
	x += faces + "  }\n  XSkinMeshHeader { 2; 2; 2; }\n"
	     "  SkinWeights {\n   \"B0\";\n   6;\n   0,1,2,3,4,5;\n   1,1,0.7,0.7,0.3,0.3;\n"
	     "   1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;;\n  }\n"
	     "  SkinWeights {\n   \"B1\";\n   6;\n   2,3,4,5,6,7;\n   0.3,0.3,0.7,0.7,1,1;\n"
	     "   1,0,0,0,0,1,0,0,0,0,1,0,0,-1,0,1;;\n  }\n }\n}\n";
	const double a = std::sin(0.4) / std::sqrt(2.0);
	std::snprintf(line, sizeof(line), "   20;4;%.9g,%.9g,%.9g,0;;;\n", std::cos(0.4), a, a);
	x += "AnimationSet Bend {\n Animation {\n  { B0 }\n  AnimationKey { 0; 2;\n   0;4;1,0,0,0;;,\n";
	x += line;
	x += "  }\n  AnimationKey { 2; 2;\n   0;3;0,0,0;;,\n   20;3;0,0,0;;;\n  }\n }\n";
	std::snprintf(line, sizeof(line), "   20;4;%.9g,0,0,%.9g;;;\n", std::cos(0.3), std::sin(0.3));
	x += " Animation {\n  { B1 }\n  AnimationKey { 0; 2;\n   0;4;1,0,0,0;;,\n";
	x += line;
	x += "  }\n  AnimationKey { 2; 2;\n   0;3;0,1,0;;,\n   20;3;0.3,1,0.2;;;\n  }\n }\n}\n";
	return x;
}

// Two targets of the limb: A moves vertices of every kind of influence in
// all three directions and turns one normal; B moves two others and turns one.
SShape limbTargetA()
{
	SShape s;
	s.Moves[2] = core::vector3df(0.4f, -0.2f, 0.3f);
	s.Moves[5] = core::vector3df(0.f, 0.5f, -0.4f);
	s.Moves[7] = core::vector3df(-0.3f, 0.1f, 0.6f);
	s.Turns[3] = core::vector3df(0.3f, 0.f, 0.f);
	return s;
}
SShape limbTargetB()
{
	SShape s;
	s.Moves[0] = core::vector3df(0.2f, 0.2f, 0.2f);
	s.Moves[4] = core::vector3df(-0.5f, 0.f, 0.1f);
	s.Turns[6] = core::vector3df(0.f, 0.4f, 0.f);
	return s;
}

struct SMorph
{
	std::vector<u32> Points;
	std::vector<f32> First, Second; // 3 per point
};

void putU4(std::string& s, u32 v)
{
	for (int shift = 24; shift >= 0; shift -= 8)
		s += char((v >> shift) & 0xff);
}
void putF4(std::string& s, f32 f)
{
	u32 v;
	std::memcpy(&v, &f, 4);
	putU4(s, v);
}
std::string chunk(const char* id, const std::string& body)
{
	std::string s(id, 4);
	putU4(s, u32(body.size()));
	return s + body;
}

std::string zmorphFile(const std::vector<SMorph>& morphs)
{
	std::string body = "ZMOR";
	u32 maxPoints = 0;
	for (const SMorph& m : morphs)
		maxPoints = std::max(maxPoints, u32(m.Points.size()));
	putU4(body, u32(morphs.size()));
	putU4(body, maxPoints);
	for (std::size_t i = 0; i < morphs.size(); ++i)
	{
		std::string mmap;
		putU4(mmap, u32(morphs[i].Points.size()));
		for (u32 p : morphs[i].Points)
			putU4(mmap, p);
		for (f32 f : morphs[i].First)
			putF4(mmap, f);
		for (f32 f : morphs[i].Second)
			putF4(mmap, f);
		body += chunk("VMOR", chunk("NAME", "m" + std::to_string(i) + std::string(1, '\0')) + chunk("MMAP", mmap));
	}
	return chunk("FORM", body);
}

// Two morphs over source vertices: 1 moves points 1 and 3 along x (normal +y),
// 2 moves point 2 along y.
std::vector<SMorph> twoMorphs()
{
	return { { { 1, 3 }, { 1, 0, 0, 1, 0, 0 }, { 0, 1, 0, 0, 1, 0 } }, { { 2 }, { 0, 2, 0 }, { 0, 0, 0 } } };
}

struct SPose
{
	std::vector<core::vector3df> Pos, Normal;
};
SPose poseOf(scene::IMesh* mesh)
{
	SPose pose;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		for (u32 i = 0; i < mesh->getMeshBuffer(b)->getVertexCount(); ++i)
		{
			pose.Pos.push_back(mesh->getMeshBuffer(b)->getPosition(i));
			pose.Normal.push_back(mesh->getMeshBuffer(b)->getNormal(i));
		}
	return pose;
}
bool samePose(const SPose& a, const SPose& b)
{
	if (a.Pos.size() != b.Pos.size())
		return false;
	for (std::size_t i = 0; i < a.Pos.size(); ++i)
		if (!a.Pos[i].equals(b.Pos[i], 1e-4f) || !a.Normal[i].equals(b.Normal[i], 1e-4f))
			return false;
	return true;
}

f32 largestMove(const SPose& a, const SPose& b)
{
	f32 most = 0.f;
	for (std::size_t i = 0; i < a.Pos.size() && i < b.Pos.size(); ++i)
		most = std::max(most, a.Pos[i].getDistanceFrom(b.Pos[i]));
	return most;
}

// The smallest box around every vertex of the mesh.
core::aabbox3df tightBox(scene::IMesh* mesh)
{
	const SPose pose = poseOf(mesh);
	core::aabbox3df box(pose.Pos.empty() ? core::vector3df() : pose.Pos[0]);
	for (const core::vector3df& p : pose.Pos)
		box.addInternalPoint(p);
	return box;
}
bool sameBox(const core::aabbox3df& a, const core::aabbox3df& b)
{
	return a.MinEdge.equals(b.MinEdge, 1e-4f) && a.MaxEdge.equals(b.MaxEdge, 1e-4f);
}

class ZeMorphMeshTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		logLines().clear();
		zeSetLogSink(captureLog);
		Device = createDevice(video::EDT_NULL);
		ASSERT_NE(Device, nullptr);
		Smgr = Device->getSceneManager();
		ze::registerMeshLoaders(Smgr);
		Dir = testing::TempDir() + "zelv_morphmesh_" +
		      ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
		std::string cmd = "rm -rf '" + Dir + "' && mkdir -p '" + Dir + "'";
		ASSERT_EQ(std::system(cmd.c_str()), 0);
	}
	void TearDown() override
	{
		if (Device)
			Device->drop();
		zeSetLogSink(nullptr);
	}
	std::string path(const std::string& name) const { return Dir + name; }
	// Expected pose of a morph-map object: rest plus sum of weight x delta by source index.
	SPose expected(scene::IMesh* source, const std::vector<SMorph>& morphs, const std::vector<u32>& indices,
	               const std::vector<f32>& weights)
	{
		SPose pose = poseOf(source);
		u32 at = 0;
		for (u32 b = 0; b < source->getMeshBufferCount(); ++b)
		{
			const u32* table = ze::getOriginalVerticesIndices(source->getMeshBuffer(b));
			for (u32 v = 0; v < source->getMeshBuffer(b)->getVertexCount(); ++v, ++at)
				for (std::size_t k = 0; k < indices.size(); ++k)
				{
					if (indices[k] == 0 || indices[k] > morphs.size())
						continue;
					const SMorph& m = morphs[indices[k] - 1];
					for (std::size_t p = 0; p < m.Points.size(); ++p)
						if (m.Points[p] == table[v])
						{
							pose.Pos[at] += core::vector3df(m.First[3 * p], m.First[3 * p + 1], m.First[3 * p + 2]) * weights[k];
							pose.Normal[at] += core::vector3df(m.Second[3 * p], m.Second[3 * p + 1], m.Second[3 * p + 2]) * weights[k];
						}
				}
		}
		return pose;
	}

	// The library's own software skinning, at `frame`, of an uncached limb
	// whose bind pose is displaced by `shape`.
	SPose limbOracle(const SShape& shape, f32 frame)
	{
		std::string text = limbXFile(shape);
		io::IReadFile* file = Device->getFileSystem()->createMemoryReadFile(&text[0], s32(text.size()), "limb.x");
		scene::IMeshLoader* loader = ze::createXMeshLoader(Smgr);
		scene::IAnimatedMesh* mesh = loader->createMesh(file);
		loader->drop();
		file->drop();
		if (!mesh || mesh->getMeshType() != scene::EAMT_SKINNED)
		{
			ADD_FAILURE() << "the limb did not load as a skinned mesh";
			if (mesh)
				mesh->drop();
			return SPose();
		}
		scene::ISkinnedMesh* skinned = static_cast<scene::ISkinnedMesh*>(mesh);
		skinned->animateMesh(frame, 1.f);
		skinned->skinMesh();
		const SPose pose = poseOf(skinned);
		mesh->drop();
		return pose;
	}
	// limb.x with the series limb.morph1.x (bind pose), limb.morph2.x (A), limb.morph3.x (B).
	std::string writeLimbSeries()
	{
		writeFile(path("limb.x"), limbXFile(SShape()));
		writeFile(path("limb.morph1.x"), limbXFile(SShape()));
		writeFile(path("limb.morph2.x"), limbXFile(limbTargetA()));
		writeFile(path("limb.morph3.x"), limbXFile(limbTargetB()));
		return path("limb.x");
	}

	IrrlichtDevice* Device = nullptr;
	scene::ISceneManager* Smgr = nullptr;
	std::string Dir;
};
} // namespace

TEST_F(ZeMorphMeshTest, MorphMapWeightsAddUpAndSkipsIndexZeroOutOfRangeAndZeroWeights)
{
	writeFile(path("quad.x"), xFile(5, false));
	writeFile(path("quad.zmorph"), zmorphFile(twoMorphs()));
	IZeMorphMesh* mesh = zeLoadMorphMesh(Device, path("quad.x").c_str());
	ASSERT_NE(mesh, nullptr);
	ASSERT_NE(dynamic_cast<CZeMorphMeshMorphMapXM*>(mesh), nullptr);
	EXPECT_EQ(mesh->getMorphCount(), 2u);
	EXPECT_EQ(mesh->getFrameCount(), 0u);
	scene::IMesh* source = Smgr->getMesh(path("quad.x").c_str())->getMesh(0);
	const SPose rest = poseOf(source);

	mesh->applyMorphs(1, std::vector<u32>{ 1 }.data(), std::vector<f32>{ 0.5f }.data(), 0.f);
	EXPECT_TRUE(samePose(poseOf(mesh), expected(source, twoMorphs(), { 1 }, { 0.5f })));
	EXPECT_FALSE(samePose(poseOf(mesh), rest));

	// The same morph twice and a second morph: 0.5 + 0.75 on morph 1, 1.5 on morph 2.
	const std::vector<u32> indices = { 1, 2, 1 };
	const std::vector<f32> weights = { 0.5f, 1.5f, 0.75f };
	mesh->applyMorphs(3, indices.data(), weights.data(), 0.f);
	EXPECT_TRUE(samePose(poseOf(mesh), expected(source, twoMorphs(), { 1, 2 }, { 1.25f, 1.5f })));

	// Index 0, an index past the morph count and weight 0 leave the rest pose.
	const std::vector<u32> skipped = { 0, 3, 2 };
	const std::vector<f32> skippedWeights = { 1.f, 1.f, 0.f };
	mesh->applyMorphs(3, skipped.data(), skippedWeights.data(), 0.f);
	EXPECT_TRUE(samePose(poseOf(mesh), rest));
	mesh->drop();
}

TEST_F(ZeMorphMeshTest, OrderedAndUnorderedTablesMapPointsToVertices)
{
	// Buffer 0 is ordered (each point at most once); buffer 1 repeats source
	// vertex 3 three times, more matches than the morph has points.
	scene::SMesh* mesh = new scene::SMesh;
	const std::vector<std::vector<u32>> tables = { { 0, 1, 2, 3, 5 }, { 3, 1, 3, 0, 3, 7 } };
	for (const std::vector<u32>& table : tables)
	{
		ze::SSkinMeshBufferExt* buffer = new ze::SSkinMeshBufferExt;
		for (std::size_t v = 0; v < table.size(); ++v)
		{
			buffer->Vertices_Standard.push_back(video::S3DVertex(f32(v), 0, 0, 0, 0, 1, video::SColor(0xffffffff), 0, 0));
			buffer->OriginalVerticesIndices.push_back(table[v]);
		}
		mesh->addMeshBuffer(buffer);
		buffer->drop();
	}
	const std::vector<SMorph> morphs = { { { 1, 3, 9 }, { 1, 0, 0, 0, 1, 0, 0, 0, 1 }, { 0, 0, 0, 0, 0, 0, 0, 0, 0 } } };
	std::string data = zmorphFile(morphs);
	io::IReadFile* file = Device->getFileSystem()->createMemoryReadFile(&data[0], s32(data.size()), "m.zmorph");
	CZeMorphMapXM* map = nullptr;
	ASSERT_TRUE(CZeMorphMapLoader::createMorphMap(map, file, mesh));
	file->drop();
	ASSERT_NE(map, nullptr);
	EXPECT_TRUE(logged("OriginalVerticesIndices are not ordered in meshbuffer 1, slower load"));
	EXPECT_FALSE(logged("not ordered in meshbuffer 0"));
	ASSERT_EQ(map->size(), 1u);
	EXPECT_EQ((*map)[0][0].getCount(), 2u);
	EXPECT_EQ((*map)[0][1].getCount(), 4u);
	EXPECT_LE((*map)[0][1].getCount(), (*map)[0][1].getCapacity());
	EXPECT_EQ(reinterpret_cast<std::uintptr_t>((*map)[0][1].getRecords()) % 64, 0u);

	CZeMorphMeshMorphMapXM morph(Smgr->getMeshManipulator());
	ASSERT_TRUE(morph.initFromStaticMesh(mesh, map));
	const u32 one = 1;
	const f32 weight = 2.f;
	morph.applyMorphs(1, &one, &weight, 0.f);
	for (u32 b = 0; b < 2; ++b)
		for (u32 v = 0; v < tables[b].size(); ++v)
		{
			const u32 s = tables[b][v];
			const core::vector3df delta = s == 1 ? core::vector3df(2, 0, 0) : s == 3 ? core::vector3df(0, 2, 0) : core::vector3df();
			EXPECT_TRUE(morph.getMeshBuffer(b)->getPosition(v).equals(core::vector3df(f32(v), 0, 0) + delta))
				<< "buffer " << b << " vertex " << v;
		}

	// A buffer with vertices but no table cannot take a morph map.
	scene::SMesh* plain = new scene::SMesh;
	scene::SMeshBuffer* buffer = new scene::SMeshBuffer;
	buffer->Vertices.push_back(video::S3DVertex());
	plain->addMeshBuffer(buffer);
	buffer->drop();
	file = Device->getFileSystem()->createMemoryReadFile(&data[0], s32(data.size()), "m.zmorph");
	EXPECT_FALSE(CZeMorphMapLoader::createMorphMap(map, file, plain));
	EXPECT_TRUE(logged("CZeMorphMapLoader::createMorphMap: OriginalVerticesIndices not found in mesh"));
	file->drop();
	plain->drop();
	mesh->drop();
}

TEST_F(ZeMorphMeshTest, RefusedMorphIsLeftOutWithTheReadersReasonAndBrokenFilesAreRefusedWithTheirs)
{
	// Morph 1's points do not ascend; morph 2 is sound and keeps its number.
	std::vector<SMorph> morphs = twoMorphs();
	morphs[0].Points = { 3, 1 };
	writeFile(path("quad.x"), xFile(5, false));
	writeFile(path("quad.zmorph"), zmorphFile(morphs));
	IZeMorphMesh* mesh = zeLoadMorphMesh(Device, path("quad.x").c_str());
	ASSERT_NE(mesh, nullptr);
	EXPECT_TRUE(logged(("CZeMorphMapLoader: morph 1 'm0' of " + path("quad.zmorph") +
	                    " left out: point indices do not ascend").c_str()));
	EXPECT_EQ(mesh->getMorphCount(), 2u);
	scene::IMesh* source = Smgr->getMesh(path("quad.x").c_str())->getMesh(0);
	morphs[0] = SMorph();
	const std::vector<u32> both = { 1, 2 };
	const std::vector<f32> weights = { 1.f, 1.f };
	mesh->applyMorphs(2, both.data(), weights.data(), 0.f);
	EXPECT_TRUE(samePose(poseOf(mesh), expected(source, morphs, { 2 }, { 1.f })));
	mesh->drop();

	// A file cut inside its last morph, or of another form, is refused with the reader's reason.
	std::string cut = zmorphFile(twoMorphs());
	cut.resize(cut.size() - 4);
	const std::pair<std::string, std::string> broken[] = {
		{ cut, "CZeMorphMapLoader: failed to read next morph: unexpected end of file" },
		{ chunk("FORM", "ZMAP"), "CZeMorphMapLoader: failed to open morphmap file: ID_ZMOR not found" } };
	for (const auto& file : broken)
	{
		writeFile(path("broken.x"), xFile(5, false));
		writeFile(path("broken.zmorph"), file.first);
		EXPECT_EQ(zeLoadMorphMesh(Device, path("broken.x").c_str()), nullptr);
		EXPECT_TRUE(logged(file.second.c_str())) << file.second;
		EXPECT_TRUE(logged(("CZeMorphMapLoader: failed to read morphmap file " + path("broken.zmorph")).c_str()));
	}
}

TEST_F(ZeMorphMeshTest, SkinnedObjectIsMorphedThenSkinnedAndInstancesStaySeparate)
{
	writeFile(path("arm.x"), xFile(6, true));
	writeFile(path("arm.zmorph"), zmorphFile(twoMorphs()));
	// The library's own software skinning of an uncached copy is the reference.
	io::IReadFile* file = Device->getFileSystem()->createAndOpenFile(path("arm.x").c_str());
	ASSERT_NE(file, nullptr);
	scene::IMeshLoader* loader = ze::createXMeshLoader(Smgr);
	scene::IAnimatedMesh* reference = loader->createMesh(file);
	loader->drop();
	file->drop();
	ASSERT_NE(reference, nullptr);
	scene::ISkinnedMesh* oracle = static_cast<scene::ISkinnedMesh*>(reference);

	IZeMorphMesh* first = zeLoadMorphMesh(Device, path("arm.x").c_str());
	IZeMorphMesh* second = zeLoadMorphMesh(Device, path("arm.x").c_str());
	ASSERT_TRUE(first && second);
	ASSERT_NE(static_cast<CZeMorphMeshMorphMapXM*>(first)->getSkinnedMesh(), nullptr);
	EXPECT_GE(first->getFrameCount(), 20u);
	EXPECT_EQ(first->getMorphCount(), 2u);

	const u32 none = 0;
	const f32 zero = 0.f;
	first->applyMorphs(1, &none, &zero, 15.f);
	oracle->animateMesh(15.f, 1.f);
	oracle->skinMesh();
	const SPose skinned = poseOf(first);
	EXPECT_TRUE(samePose(skinned, poseOf(oracle)));
	first->applyMorphs(1, &none, &zero, 0.f);
	EXPECT_FALSE(samePose(poseOf(first), skinned)); // the frame matters
	first->applyMorphs(1, &none, &zero, 15.f);

	// Every vertex follows one bone rigidly, so a morphed vertex moves by the
	// morph's length and the others not at all.
	const u32 morph = 1;
	const f32 weight = 0.5f;
	first->applyMorphs(1, &morph, &weight, 15.f);
	const SPose morphed = poseOf(first);
	scene::IMesh* source = Smgr->getMesh(path("arm.x").c_str());
	u32 moved = 0;
	for (u32 b = 0, at = 0; b < source->getMeshBufferCount(); ++b)
	{
		const u32* table = ze::getOriginalVerticesIndices(source->getMeshBuffer(b));
		for (u32 v = 0; v < source->getMeshBuffer(b)->getVertexCount(); ++v, ++at)
		{
			const bool inMorph = table[v] == 1 || table[v] == 3;
			moved += inMorph;
			EXPECT_NEAR(morphed.Pos[at].getDistanceFrom(skinned.Pos[at]), inMorph ? 0.5f : 0.f, 1e-4f) << at;
		}
	}
	EXPECT_GT(moved, 0u);

	// The second instance animates at another frame without disturbing the first.
	second->applyMorphs(1, &none, &zero, 3.f);
	EXPECT_FALSE(samePose(poseOf(second), morphed));
	EXPECT_TRUE(samePose(poseOf(first), morphed));
	EXPECT_NE(first->getMeshBuffer(0), second->getMeshBuffer(0));
	// Each has the box of its own vertices.
	EXPECT_TRUE(sameBox(first->getBoundingBox(), tightBox(first)));
	EXPECT_TRUE(sameBox(second->getBoundingBox(), tightBox(second)));
	EXPECT_FALSE(sameBox(first->getBoundingBox(), second->getBoundingBox()));

	// A skinned mesh shown without morph data has no morphs but still animates.
	CZeMorphMeshMorphMapXM plain(Smgr->getMeshManipulator());
	ASSERT_TRUE(plain.initFromSkinnedMesh(oracle, nullptr));
	EXPECT_EQ(plain.getMorphCount(), 0u);
	plain.applyMorphs(1, &morph, &weight, 15.f);
	EXPECT_TRUE(samePose(poseOf(&plain), skinned));
	plain.clear();
	first->drop();
	second->drop();
	reference->drop();
}

TEST_F(ZeMorphMeshTest, CloneOfSkinnedMorphMapAnimatesFromItsOwnRestPoseWithItsOwnBox)
{
	writeFile(path("arm.x"), xFile(6, true));
	writeFile(path("arm.zmorph"), zmorphFile(twoMorphs()));
	io::IReadFile* file = Device->getFileSystem()->createAndOpenFile(path("arm.x").c_str());
	ASSERT_NE(file, nullptr);
	scene::IMeshLoader* loader = ze::createXMeshLoader(Smgr);
	scene::IAnimatedMesh* reference = loader->createMesh(file);
	loader->drop();
	file->drop();
	ASSERT_NE(reference, nullptr);
	scene::ISkinnedMesh* oracle = static_cast<scene::ISkinnedMesh*>(reference);

	IZeMorphMesh* mesh = zeLoadMorphMesh(Device, path("arm.x").c_str());
	ASSERT_NE(mesh, nullptr);
	const u32 one = 1, two = 2, none = 0;
	const f32 weight = 1.f, zero = 0.f;
	mesh->applyMorphs(1, &two, &weight, 12.f);
	const SPose original = poseOf(mesh);

	IZeMorphMesh* copy = mesh->clone();
	ASSERT_NE(copy, nullptr);
	EXPECT_EQ(copy->getMorphCount(), 2u);
	EXPECT_GE(mesh->getFrameCount(), 20u);
	EXPECT_EQ(copy->getFrameCount(), mesh->getFrameCount());
	EXPECT_NE(copy->getMeshBuffer(0), mesh->getMeshBuffer(0));

	// Unmorphed, the clone is skinned like the library skins the file.
	copy->applyMorphs(1, &none, &zero, 15.f);
	oracle->animateMesh(15.f, 1.f);
	oracle->skinMesh();
	EXPECT_TRUE(samePose(poseOf(copy), poseOf(oracle)));
	EXPECT_TRUE(samePose(poseOf(mesh), original));

	// Morphed, it starts from the rest pose, not from the original's shape,
	// and is skinned at its own frame.
	copy->applyMorphs(1, &one, &weight, 12.f);
	const SPose copied = poseOf(copy);
	scene::IMesh* source = Smgr->getMesh(path("arm.x").c_str());
	EXPECT_GT(largestMove(copied, expected(source, twoMorphs(), { 1 }, { 1.f })), 0.1f);
	EXPECT_TRUE(samePose(poseOf(mesh), original));
	mesh->applyMorphs(1, &one, &weight, 12.f);
	EXPECT_TRUE(samePose(poseOf(mesh), copied));

	// Each instance's box is the box of its own vertices.
	copy->applyMorphs(1, &none, &zero, 3.f);
	EXPECT_TRUE(sameBox(copy->getBoundingBox(), tightBox(copy)));
	EXPECT_TRUE(sameBox(mesh->getBoundingBox(), tightBox(mesh)));
	EXPECT_FALSE(sameBox(copy->getBoundingBox(), mesh->getBoundingBox()));
	copy->drop();
	mesh->drop();
	reference->drop();
}

TEST_F(ZeMorphMeshTest, CloneOfSkinnedSeriesAnimatesWithItsOwnBox)
{
	IZeMorphMesh* mesh = zeLoadMorphMesh(Device, writeLimbSeries().c_str());
	ASSERT_NE(mesh, nullptr);
	const u32 a = 1, b = 2;
	const f32 half = 0.5f, full = 1.f;
	mesh->applyMorphs(1, &b, &full, 12.f);
	const SPose original = poseOf(mesh);

	IZeMorphMesh* copy = mesh->clone();
	ASSERT_NE(copy, nullptr);
	EXPECT_EQ(copy->getMorphCount(), 2u);
	EXPECT_GE(mesh->getFrameCount(), 20u);
	EXPECT_EQ(copy->getFrameCount(), mesh->getFrameCount());
	EXPECT_NE(copy->getMeshBuffer(0), mesh->getMeshBuffer(0));
	copy->applyMorphs(1, &a, &half, 15.f);
	EXPECT_TRUE(samePose(poseOf(copy), limbOracle(blend(limbTargetA(), 0.5f, SShape(), 0.f), 15.f)));
	EXPECT_TRUE(samePose(poseOf(mesh), original));

	EXPECT_TRUE(sameBox(copy->getBoundingBox(), tightBox(copy)));
	EXPECT_TRUE(sameBox(mesh->getBoundingBox(), tightBox(mesh)));
	EXPECT_FALSE(sameBox(copy->getBoundingBox(), mesh->getBoundingBox()));
	copy->drop();
	mesh->drop();
}

TEST_F(ZeMorphMeshTest, SeriesMembersBecomeMorphsAndMismatchesAreRefused)
{
	writeFile(path("head.x"), xFile(5, false));
	writeFile(path("head.morph1.x"), xFile(5, false));
	writeFile(path("head.morph2.x"), xFile(5, false, 0.f, 1, 1.f));
	writeFile(path("head.morph3.x"), xFile(5, false, 0.2f, 2, 1e-8f)); // a normal moves; a tiny move is ignored
	IZeMorphMesh* mesh = zeLoadMorphMesh(Device, path("head.x").c_str());
	ASSERT_NE(mesh, nullptr);
	ASSERT_NE(dynamic_cast<CZeMorphMeshMorphMap*>(mesh), nullptr);
	EXPECT_EQ(mesh->getMorphCount(), 2u);
	const SPose rest = poseOf(Smgr->getMesh(path("head.morph1.x").c_str())->getMesh(0));
	const SPose second = poseOf(Smgr->getMesh(path("head.morph2.x").c_str())->getMesh(0));
	const SPose third = poseOf(Smgr->getMesh(path("head.morph3.x").c_str())->getMesh(0));

	const u32 one = 1, two = 2;
	const f32 full = 1.f;
	mesh->applyMorphs(1, &one, &full, 0.f);
	EXPECT_TRUE(samePose(poseOf(mesh), second));
	mesh->applyMorphs(1, &two, &full, 0.f); // starts again from the rest pose
	EXPECT_TRUE(samePose(poseOf(mesh), third));
	const std::vector<u32> twice = { 1, 1, 0, 5 };
	const std::vector<f32> halves = { 1.5f, 0.5f, 1.f, 1.f };
	mesh->applyMorphs(4, twice.data(), halves.data(), 0.f);
	SPose doubled = poseOf(mesh);
	for (std::size_t i = 0; i < rest.Pos.size(); ++i)
		EXPECT_TRUE(doubled.Pos[i].equals(rest.Pos[i] + (second.Pos[i] - rest.Pos[i]) * 2.f)) << i;

	// Only vertices that change are stored: the 1e-8 move is not one of them.
	CZeMorphMap map;
	core::array<scene::IMesh*> members;
	for (const char* name : { "head.morph1.x", "head.morph2.x", "head.morph3.x" })
		members.push_back(Smgr->getMesh(path(name).c_str())->getMesh(0));
	ASSERT_TRUE(zeBuildSeriesMorphMap(map, members));
	ASSERT_EQ(map.size(), 2u);
	u32 records = 0;
	for (const CZeMeshBufferMorphMap& buffer : map[1])
		for (u32 i = 0; i < buffer.size(); ++i, ++records)
			EXPECT_TRUE(core::equals(rest.Pos[buffer[i].Color.color].X, 0.f)) << "only vertex 0 changes";
	EXPECT_GE(records, 1u);

	// A clone restores its own rest pose.
	IZeMorphMesh* copy = mesh->clone();
	copy->applyMorphs(1, &two, &full, 0.f);
	copy->applyMorphs(1, &one, &full, 0.f);
	EXPECT_TRUE(samePose(poseOf(copy), second));
	EXPECT_TRUE(samePose(poseOf(mesh), doubled));
	copy->drop();
	mesh->drop();

	// A member with another vertex count is refused.
	writeFile(path("odd.x"), xFile(5, false));
	writeFile(path("odd.morph1.x"), xFile(5, false));
	writeFile(path("odd.morph2.x"), xFile(6, false));
	EXPECT_EQ(zeLoadMorphMesh(Device, path("odd.x").c_str()), nullptr);
	EXPECT_TRUE(logged("differs from the first"));

	// A lone first member gives no morphs; a ".zmorph" beside the object wins.
	writeFile(path("lone.x"), xFile(5, false));
	writeFile(path("lone.morph1.x"), xFile(5, false));
	IZeMorphMesh* lone = zeLoadMorphMesh(Device, path("lone.x").c_str());
	ASSERT_NE(lone, nullptr);
	EXPECT_EQ(lone->getMorphCount(), 0u);
	lone->drop();
	writeFile(path("both.x"), xFile(5, false));
	writeFile(path("both.morph1.x"), xFile(5, false));
	writeFile(path("both.zmorph"), zmorphFile(twoMorphs()));
	IZeMorphMesh* both = zeLoadMorphMesh(Device, path("both.x").c_str());
	ASSERT_NE(both, nullptr);
	EXPECT_NE(dynamic_cast<CZeMorphMeshMorphMapXM*>(both), nullptr);
	EXPECT_EQ(both->getMorphCount(), 2u);
	both->drop();
	EXPECT_EQ(zeLoadMorphMesh(Device, path("missing.x").c_str()), nullptr);

	// A member the engine's loader refuses is not handed to the library's own.
	const char* triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
	writeFile(path("flag.obj"), triangle);
	writeFile(path("flag.morph1.obj"), triangle);
	writeFile(path("flag.morph2.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n");
	EXPECT_EQ(zeLoadMorphMesh(Device, path("flag.obj").c_str()), nullptr);
	EXPECT_TRUE(logged(("Failed to load morph mesh '" + path("flag.morph2.obj") + "'").c_str()));
}

// Compared with the library's own software skinning of an uncached limb whose
// bind pose already carries the weighted displacements.
TEST_F(ZeMorphMeshTest, SkinnedSeriesSkinsRestPlusDeltaAtEveryFrameAndInstancesStaySeparate)
{
	const std::string limb = writeLimbSeries();
	IZeMorphMesh* mesh = zeLoadMorphMesh(Device, limb.c_str());
	ASSERT_NE(mesh, nullptr);
	CZeMorphMeshMorphMap* series = dynamic_cast<CZeMorphMeshMorphMap*>(mesh);
	ASSERT_NE(series, nullptr);
	ASSERT_NE(series->getSkinnedMesh(), nullptr);
	EXPECT_EQ(mesh->getMorphCount(), 2u);
	EXPECT_GE(mesh->getFrameCount(), 20u);

	// The data tells the orders apart: skinning moves the limb, and skinning
	// rest + delta is neither rest + delta nor skin(rest) + delta.
	const SShape halfA = blend(limbTargetA(), 0.5f, SShape(), 0.f);
	const SPose bind = limbOracle(SShape(), 0.f);
	const SPose still = limbOracle(SShape(), 15.f);
	const SPose expected = limbOracle(halfA, 15.f);
	ASSERT_GT(largestMove(still, bind), 0.3f);
	SPose deltaAfterSkin = still, deltaUnskinned = bind;
	for (u32 v = 0; v < 8; ++v)
	{
		deltaAfterSkin.Pos[v] += halfA.Moves[v];
		deltaUnskinned.Pos[v] += halfA.Moves[v];
	}
	ASSERT_GT(largestMove(expected, deltaAfterSkin), 0.05f);
	ASSERT_GT(largestMove(expected, deltaUnskinned), 0.3f);

	// (a) A morph set at one frame, then the frame changes.
	const u32 a = 1;
	const f32 half = 0.5f;
	mesh->applyMorphs(1, &a, &half, 5.f);
	EXPECT_TRUE(samePose(poseOf(mesh), limbOracle(halfA, 5.f)));
	mesh->applyMorphs(1, &a, &half, 15.f);
	EXPECT_TRUE(samePose(poseOf(mesh), expected));

	// (b) Morphs set again at the same frame keep the skinning.
	const u32 none = 0;
	const f32 zero = 0.f;
	mesh->applyMorphs(1, &none, &zero, 15.f);
	EXPECT_TRUE(samePose(poseOf(mesh), still));
	const std::vector<u32> both = { 1, 2 };
	const std::vector<f32> weights = { 1.f, 0.5f };
	mesh->applyMorphs(2, both.data(), weights.data(), 15.f);
	const SPose mixed = limbOracle(blend(limbTargetA(), 1.f, limbTargetB(), 0.5f), 15.f);
	EXPECT_TRUE(samePose(poseOf(mesh), mixed));

	// (c) A second object from the same file morphs and animates on its own.
	IZeMorphMesh* other = zeLoadMorphMesh(Device, limb.c_str());
	ASSERT_NE(other, nullptr);
	EXPECT_NE(mesh->getMeshBuffer(0), other->getMeshBuffer(0));
	EXPECT_TRUE(samePose(poseOf(mesh), mixed));
	const u32 b = 2;
	const f32 full = 1.f;
	other->applyMorphs(1, &b, &full, 3.f);
	EXPECT_TRUE(samePose(poseOf(other), limbOracle(limbTargetB(), 3.f)));
	EXPECT_TRUE(samePose(poseOf(mesh), mixed));
	mesh->applyMorphs(1, &a, &half, 8.f);
	EXPECT_TRUE(samePose(poseOf(mesh), limbOracle(halfA, 8.f)));
	EXPECT_TRUE(samePose(poseOf(other), limbOracle(limbTargetB(), 3.f)));
	other->drop();
	mesh->drop();
}

TEST_F(ZeMorphMeshTest, SeriesMorphsAllVertexTypesAndRefusesOtherTypesOrBufferCounts)
{
	scene::IMeshBuffer* buffers[2][3] = { { new scene::SMeshBuffer, new scene::SMeshBufferLightMap, new scene::SMeshBufferTangents },
	                                      { new scene::SMeshBuffer, new scene::SMeshBufferLightMap, new scene::SMeshBufferTangents } };
	scene::SMesh* shapes[2] = { new scene::SMesh, new scene::SMesh };
	for (u32 m = 0; m < 2; ++m)
		for (u32 b = 0; b < 3; ++b)
		{
			const core::vector3df pos(f32(b), m * 0.5f, 0), normal(0, m * 0.25f, 1), tangent(1, 0, m * 0.5f);
			if (b == 0)
				static_cast<scene::SMeshBuffer*>(buffers[m][b])->Vertices.push_back(video::S3DVertex(pos, normal, video::SColor(), core::vector2df()));
			else if (b == 1)
				static_cast<scene::SMeshBufferLightMap*>(buffers[m][b])->Vertices.push_back(video::S3DVertex2TCoords(pos, normal, video::SColor(), core::vector2df(), core::vector2df()));
			else
				static_cast<scene::SMeshBufferTangents*>(buffers[m][b])->Vertices.push_back(video::S3DVertexTangents(pos, normal, video::SColor(), core::vector2df(), tangent, tangent));
			shapes[m]->addMeshBuffer(buffers[m][b]);
			buffers[m][b]->drop();
		}
	core::array<scene::IMesh*> members;
	members.push_back(shapes[0]);
	members.push_back(shapes[1]);
	CZeMorphMap* map = new CZeMorphMap;
	ASSERT_TRUE(zeBuildSeriesMorphMap(*map, members));
	CZeMorphMeshMorphMap mesh(Smgr->getMeshManipulator());
	ASSERT_TRUE(mesh.initFromStaticMesh(shapes[0], map));
	const u32 one = 1;
	const f32 weight = 2.f;
	mesh.applyMorphs(1, &one, &weight, 0.f);
	for (u32 b = 0; b < 3; ++b)
	{
		EXPECT_TRUE(mesh.getMeshBuffer(b)->getPosition(0).equals(core::vector3df(f32(b), 1.f, 0))) << b;
		EXPECT_TRUE(mesh.getMeshBuffer(b)->getNormal(0).equals(core::vector3df(0, 0.5f, 1))) << b;
	}
	EXPECT_TRUE(static_cast<video::S3DVertexTangents*>(mesh.getMeshBuffer(2)->getVertices())[0].Tangent.equals(core::vector3df(1, 0, 1)));
	EXPECT_TRUE(poseOf(shapes[0]).Pos[0].equals(core::vector3df(0, 0, 0))); // the source stays

	// Another vertex type or buffer count in a member is refused.
	scene::SMesh* other = new scene::SMesh;
	for (u32 b = 0; b < 3; ++b)
	{
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer;
		buffer->Vertices.push_back(video::S3DVertex());
		other->addMeshBuffer(buffer);
		buffer->drop();
	}
	members[1] = other;
	CZeMorphMap refused;
	EXPECT_FALSE(zeBuildSeriesMorphMap(refused, members));
	other->getMeshBuffer(2)->drop();
	other->MeshBuffers.erase(2);
	other->getMeshBuffer(1)->drop();
	other->MeshBuffers.erase(1);
	EXPECT_FALSE(zeBuildSeriesMorphMap(refused, members));
	EXPECT_TRUE(refused.empty());
	other->drop();
	mesh.clear();
	shapes[0]->drop();
	shapes[1]->drop();
}

TEST_F(ZeMorphMeshTest, MorphFileNamesTakeTheExtensionFromTheLastPathComponent)
{
	EXPECT_STREQ(zeMorphMapFileName("head.x").c_str(), "head.zmorph");
	EXPECT_STREQ(zeMorphMapFileName("a.b.x").c_str(), "a.b.zmorph");
	EXPECT_STREQ(zeMorphMapFileName("dir.v2/head").c_str(), "dir.v2/head.zmorph");
	EXPECT_STREQ(zeMorphSeriesFileName("head.x", 1).c_str(), "head.morph1.x");
	EXPECT_STREQ(zeMorphSeriesFileName("a.b.x", 12).c_str(), "a.b.morph12.x");
	EXPECT_TRUE(zeMorphSeriesFileName("dir.v2/head", 1).empty());

	io::IFileSystem* fs = Device->getFileSystem();
	ASSERT_EQ(std::system(("mkdir -p '" + path("dir.v2") + "'").c_str()), 0);
	EXPECT_FALSE(zeMorphFileExists(fs, path("dir.v2/head").c_str()));
	// What a split at a '.' in the folder name would find.
	ASSERT_EQ(std::system(("mkdir -p '" + path("dir.morph1.v2") + "'").c_str()), 0);
	writeFile(path("dir.zmorph"), "x");
	writeFile(path("dir.morph1.v2/head"), "x");
	EXPECT_FALSE(zeMorphFileExists(fs, path("dir.v2/head").c_str()));
	writeFile(path("dir.v2/head.zmorph"), "x");
	EXPECT_TRUE(zeMorphFileExists(fs, path("dir.v2/head").c_str()));

	EXPECT_FALSE(zeMorphFileExists(fs, path("body.x").c_str()));
	writeFile(path("body.morph1.x"), "x");
	EXPECT_TRUE(zeMorphFileExists(fs, path("body.x").c_str()));
	writeFile(path("face.zmorph"), "x");
	EXPECT_TRUE(zeMorphFileExists(fs, path("face.x").c_str()));
	EXPECT_FALSE(zeMorphFileExists(fs, path("face.morph2.x").c_str()));
}
