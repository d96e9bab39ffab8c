// XM meshes: skinning against the library's own software skinning, separate
// instances and copies, influence limits, target vertex types, rest pose.
#include "scene/CZeMeshXM.h"

#include "frame/ZeLog.h"
#include "libext/ZeXMesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace irr;

namespace
{
const u32 BONES = 8;
const u32 VERTICES = 16;

std::vector<std::string>& logLines()
{
	static std::vector<std::string> lines;
	return lines;
}
void captureLog(const char* line) { logLines().push_back(line); }
int countLines(const char* text)
{
	int n = 0;
	for (const std::string& line : logLines())
		n += line.find(text) != std::string::npos;
	return n;
}

std::string fmt(const char* format, double a, double b = 0, double c = 0, double d = 0)
{
	char text[256];
	std::snprintf(text, sizeof(text), format, a, b, c, d);
	return text;
}

// A chain of 8 bones along y, a 16-vertex strip: vertices 0-3 have all 8
// influences, 4-11 a few, 12-15 none; every bone rotates and moves over 20 frames.
std::string skinnedXFile()
{
	std::string x = "xof 0303txt 0032\nFrame Root {\n FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n";
	for (u32 b = 0; b < BONES; ++b)
		x += "Frame B" + std::to_string(b) + " {\n FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,1,0,1;; }\n";
	x += std::string(BONES, '}') + "\n";
	x += " Mesh Body {\n  " + std::to_string(VERTICES) + ";\n";
	for (u32 v = 0; v < VERTICES; ++v)
		x += fmt("  %g;%g;%g;", std::cos(double(v)), 0.5 * v, std::sin(double(v))) + (v + 1 < VERTICES ? "," : ";") + "\n";
	const u32 faces = VERTICES - 2;
	x += "  " + std::to_string(faces) + ";\n";
	std::string faceList;
	for (u32 f = 0; f < faces; ++f)
		faceList += "  3;" + std::to_string(f) + "," + std::to_string(f + 1) + "," + std::to_string(f + 2) + ";" +
		            (f + 1 < faces ? "," : ";") + "\n";
	x += faceList;
	x += "  MeshNormals {\n  " + std::to_string(VERTICES) + ";\n";
	for (u32 v = 0; v < VERTICES; ++v)
		x += fmt("  %g;%g;%g;", std::cos(double(v)), 0.0, std::sin(double(v))) + (v + 1 < VERTICES ? "," : ";") + "\n";
	x += "  " + std::to_string(faces) + ";\n" + faceList + "  }\n";
	x += "  MeshTextureCoords {\n  " + std::to_string(VERTICES) + ";\n";
	for (u32 v = 0; v < VERTICES; ++v)
		x += fmt("  %g;%g;", v / 16.0, 1.0 - v / 16.0) + (v + 1 < VERTICES ? "," : ";") + "\n";
	x += "  }\n  XSkinMeshHeader { 8; 8; 8; }\n";
	for (u32 b = 0; b < BONES; ++b)
	{
		std::vector<u32> ids;
		std::vector<double> weights;
		for (u32 v = 0; v < 12; ++v)
			if (v < 4 || (b + v) % 3 == 0)
			{
				ids.push_back(v);
				weights.push_back(v < 4 ? 0.05 + 0.02 * (b + v) : 0.3 + 0.05 * b);
			}
		x += "  SkinWeights {\n   \"B" + std::to_string(b) + "\";\n   " + std::to_string(ids.size()) + ";\n   ";
		for (std::size_t i = 0; i < ids.size(); ++i)
			x += std::to_string(ids[i]) + (i + 1 < ids.size() ? "," : ";\n   ");
		for (std::size_t i = 0; i < weights.size(); ++i)
			x += fmt("%g", weights[i]) + (i + 1 < weights.size() ? "," : ";\n");
		x += fmt("   1,0,0,0,0,1,0,0,0,0,1,0,0,%g,0,1;;\n  }\n", -double(b + 1));
	}
	x += " }\n}\nAnimationSet Move {\n";
	for (u32 b = 0; b < BONES; ++b)
	{
		const double half = 0.15 * (b + 1);
		const double axis[3] = { b % 3 == 0 ? 1.0 : 0.0, b % 3 == 1 ? 1.0 : 0.0, b % 3 == 2 ? 1.0 : 0.0 };
		x += " Animation {\n  { B" + std::to_string(b) + " }\n  AnimationKey { 0; 2;\n   0;4;1,0,0,0;;,\n";
		x += fmt("   20;4;%g,%g,%g,%g;;;\n  }\n", std::cos(half), std::sin(half) * axis[0], std::sin(half) * axis[1],
		         std::sin(half) * axis[2]);
		x += "  AnimationKey { 2; 2;\n   0;3;0,1,0;;,\n" + fmt("   20;3;%g,1,%g;;;\n  }\n }\n", 0.2 * b, 0.1 * b);
	}
	return x + "}\n";
}

struct Pose
{
	std::vector<core::vector3df> Pos, Normal;
};

Pose poseOf(scene::IMesh* mesh)
{
	Pose pose;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		for (u32 i = 0; i < mesh->getMeshBuffer(b)->getVertexCount(); ++i)
		{
			pose.Pos.push_back(mesh->getMeshBuffer(b)->getPosition(i));
			pose.Normal.push_back(mesh->getMeshBuffer(b)->getNormal(i));
		}
	return pose;
}

void expectSamePose(const Pose& a, const Pose& b, f32 tolerance)
{
	ASSERT_EQ(a.Pos.size(), b.Pos.size());
	for (std::size_t i = 0; i < a.Pos.size(); ++i)
	{
		EXPECT_TRUE(a.Pos[i].equals(b.Pos[i], tolerance)) << "vertex " << i;
		EXPECT_TRUE(a.Normal[i].equals(b.Normal[i], tolerance)) << "normal " << i;
	}
}

f32 largestMove(const Pose& a, const Pose& b)
{
	f32 most = 0.f;
	for (std::size_t i = 0; i < a.Pos.size() && i < b.Pos.size(); ++i)
		most = std::max(most, a.Pos[i].getDistanceFrom(b.Pos[i]));
	return most;
}

class ZeMeshXMTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		logLines().clear();
		zeSetLogSink(captureLog);
		Device = createDevice(video::EDT_NULL);
		ASSERT_NE(Device, nullptr);
		Smgr = Device->getSceneManager();
		Manipulator = Smgr->getMeshManipulator();
	}
	void TearDown() override
	{
		for (scene::IMesh* mesh : Owned)
			mesh->drop();
		if (Device)
			Device->drop();
		zeSetLogSink(nullptr);
	}

	scene::ISkinnedMesh* loadSkinned()
	{
		std::string text = skinnedXFile();
		io::IReadFile* file = Device->getFileSystem()->createMemoryReadFile(&text[0], s32(text.size()), "body.x");
		scene::IMeshLoader* loader = ze::createXMeshLoader(Smgr);
		scene::IAnimatedMesh* mesh = loader->createMesh(file);
		loader->drop();
		file->drop();
		if (!mesh)
			return nullptr;
		Owned.push_back(mesh);
		return mesh->getMeshType() == scene::EAMT_SKINNED ? static_cast<scene::ISkinnedMesh*>(mesh) : nullptr;
	}
	scene::IMesh* own(scene::IMesh* mesh)
	{
		Owned.push_back(mesh);
		return mesh;
	}
	// The library's software skinning of `mesh` at `frame`.
	static Pose oracle(scene::ISkinnedMesh* mesh, f32 frame)
	{
		mesh->animateMesh(frame, 1.f);
		mesh->skinMesh();
		return poseOf(mesh);
	}

	IrrlichtDevice* Device = nullptr;
	scene::ISceneManager* Smgr = nullptr;
	const scene::IMeshManipulator* Manipulator = nullptr;
	std::vector<scene::IMesh*> Owned;
};

TEST_F(ZeMeshXMTest, SkinningMatchesLibraryAcrossFramesInstancesAndCopies)
{
	scene::ISkinnedMesh* mesh = loadSkinned();
	ASSERT_NE(mesh, nullptr);
	ASSERT_GE(mesh->getFrameCount(), 20u);
	scene::IMesh* rest = own(Manipulator->createMeshCopy(mesh));
	const Pose restPose = poseOf(rest);
	CZeStaticMeshBuffersXM statics;
	CZeStaticMeshBufferXM::create(statics, mesh);
	std::unique_ptr<CZeMeshXM> first(CZeMeshXM::createFromSkinnedMesh(mesh));
	std::unique_ptr<CZeMeshXM> second(CZeMeshXM::createFromSkinnedMesh(mesh));
	ASSERT_TRUE(first && second);
	EXPECT_EQ(first->getJointCount(), mesh->getAllJoints().size());
	u32 fullVertices = 0;
	for (u32 b = 0; b < first->getBufferCount(); ++b)
		for (u32 i = 0; i < first->getBuffer(b).getVertexCount(); ++i)
			fullVertices += first->getBuffer(b).getVertices()[i].InfluenceCount == SZeVertexXM::MAX_INFLUENCES;
	EXPECT_GE(fullVertices, 4u);
	EXPECT_EQ(countLines("Warning"), 0);
	scene::IMesh* targetA = own(Manipulator->createMeshCopy(mesh));
	scene::IMesh* targetB = own(Manipulator->createMeshCopy(mesh));

	// One XM mesh skinned frame after frame against the library's own result.
	for (f32 frame : { 0.f, 3.5f, 10.f, 17.25f, 20.f })
	{
		const Pose expected = oracle(mesh, frame);
		first->resetFromStatic(statics);
		first->updateJointMatrices(mesh);
		ASSERT_TRUE(first->skinMesh(targetA));
		expectSamePose(poseOf(targetA), expected, 1e-4f);
	}

	// Two instances of one file hold their own poses.
	const Pose atFive = oracle(mesh, 5.f);
	first->updateJointMatrices(mesh);
	first->skinMesh(targetA);
	const Pose atFifteen = oracle(mesh, 15.f);
	second->updateJointMatrices(mesh);
	second->skinMesh(targetB);
	expectSamePose(poseOf(targetA), atFive, 1e-4f);
	expectSamePose(poseOf(targetB), atFifteen, 1e-4f);
	EXPECT_GT(largestMove(poseOf(targetA), poseOf(targetB)), 0.1f);
	// Vertices 12-15 have no weights: both keep the rest pose there.
	for (u32 v = 12; v < VERTICES; ++v)
		EXPECT_TRUE(poseOf(targetB).Pos[v].equals(restPose.Pos[v], 1e-6f)) << v;

	// A copy outlives its original and animates.
	CZeMeshXM copy(*first);
	CZeStaticMeshBuffersXM staticsCopy(statics);
	first.reset();
	statics.clear();
	scene::IMesh* targetC = own(Manipulator->createMeshCopy(rest));
	const Pose atEight = oracle(mesh, 8.f);
	copy.resetFromStatic(staticsCopy);
	copy.updateJointMatrices(mesh);
	ASSERT_TRUE(copy.skinMesh(targetC));
	expectSamePose(poseOf(targetC), atEight, 1e-4f);
	EXPECT_GT(largestMove(poseOf(targetC), restPose), 0.1f);
}

TEST_F(ZeMeshXMTest, AllThreeVertexTypesTakeSkinnedPositionsAndNormals)
{
	scene::ISkinnedMesh* mesh = loadSkinned();
	ASSERT_NE(mesh, nullptr);
	CZeMeshXM xm;
	ASSERT_TRUE(xm.create(mesh));
	scene::IMesh* standard = own(Manipulator->createMeshCopy(mesh));
	scene::IMesh* twoCoords = own(Manipulator->createMeshWith2TCoords(standard));
	scene::IMesh* tangents = own(Manipulator->createMeshWithTangents(standard));
	ASSERT_EQ(twoCoords->getMeshBuffer(0)->getVertexType(), video::EVT_2TCOORDS);
	ASSERT_EQ(tangents->getMeshBuffer(0)->getVertexType(), video::EVT_TANGENTS);
	const video::S3DVertexTangents before = static_cast<video::S3DVertexTangents*>(tangents->getMeshBuffer(0)->getVertices())[5];

	const Pose expected = oracle(mesh, 12.f);
	xm.updateJointMatrices(mesh);
	for (scene::IMesh* target : { standard, twoCoords, tangents })
	{
		const u32 changed = target->getMeshBuffer(0)->getChangedID_Vertex();
		ASSERT_TRUE(xm.skinMesh(target)) << target->getMeshBuffer(0)->getVertexType();
		EXPECT_NE(target->getMeshBuffer(0)->getChangedID_Vertex(), changed);
		expectSamePose(poseOf(target), expected, 1e-4f);
	}
	// Only position and normal are written.
	const video::S3DVertexTangents after = static_cast<video::S3DVertexTangents*>(tangents->getMeshBuffer(0)->getVertices())[5];
	EXPECT_EQ(after.TCoords, before.TCoords);
	EXPECT_EQ(after.Tangent, before.Tangent);
	EXPECT_EQ(after.Color, before.Color);

	// A target of another shape is refused and left unflagged.
	scene::SMesh* shorter = new scene::SMesh;
	own(shorter);
	scene::SMeshBuffer* buffer = new scene::SMeshBuffer;
	buffer->Vertices.push_back(video::S3DVertex());
	shorter->addMeshBuffer(buffer);
	buffer->drop();
	const u32 changed = buffer->getChangedID_Vertex();
	EXPECT_FALSE(xm.skinMesh(shorter));
	EXPECT_FALSE(xm.copyToMesh(shorter));
	EXPECT_EQ(buffer->getChangedID_Vertex(), changed);
	EXPECT_EQ(buffer->Vertices[0].Pos, core::vector3df(0.f, 0.f, 0.f));
	EXPECT_EQ(countLines("CZeMeshXM::skinMesh: not same number of vertices"), 1);
	EXPECT_EQ(countLines("CZeMeshXM::copyToMesh: not same number of vertices"), 1);
	scene::SMesh empty;
	EXPECT_FALSE(xm.skinMesh(&empty));
	EXPECT_EQ(countLines("CZeMeshXM::skinMesh: not same number of buffers"), 1);
}

TEST_F(ZeMeshXMTest, ResetFromStaticRestoresRestPose)
{
	scene::ISkinnedMesh* mesh = loadSkinned();
	ASSERT_NE(mesh, nullptr);
	scene::IMesh* target = own(Manipulator->createMeshCopy(mesh));
	const Pose restPose = poseOf(target);
	CZeStaticMeshBuffersXM statics;
	CZeStaticMeshBufferXM::create(statics, mesh);
	CZeMeshXM xm;
	ASSERT_TRUE(xm.create(mesh));

	// A morph-style edit shows through copyToMesh, and the reset undoes it.
	SZeVertexXM& moved = xm.getBuffer(0).getVertices()[3];
	moved.Position[1] += 2.f;
	moved.Normal[0] += 0.5f;
	ASSERT_TRUE(xm.copyToMesh(target));
	EXPECT_FLOAT_EQ(target->getMeshBuffer(0)->getPosition(3).Y, restPose.Pos[3].Y + 2.f);
	EXPECT_FLOAT_EQ(target->getMeshBuffer(0)->getNormal(3).X, restPose.Normal[3].X + 0.5f);

	oracle(mesh, 9.f);
	xm.updateJointMatrices(mesh);
	xm.skinMesh(target);
	EXPECT_GT(largestMove(poseOf(target), restPose), 0.1f);
	xm.resetFromStatic(statics);
	EXPECT_EQ(moved.Position[3], 1.f);
	EXPECT_EQ(moved.Normal[3], 0.f);
	EXPECT_GT(moved.InfluenceCount, 0u);
	ASSERT_TRUE(xm.copyToMesh(target));
	expectSamePose(poseOf(target), restPose, 0.f);
}

TEST_F(ZeMeshXMTest, InfluencesAreLimitedFilteredAndRangeChecked)
{
	scene::ISkinnedMesh* mesh = Smgr->createSkinnedMesh();
	own(mesh);
	scene::SSkinMeshBuffer* buffer = mesh->addMeshBuffer();
	for (u32 i = 0; i < 3; ++i)
		buffer->Vertices_Standard.push_back(
		    video::S3DVertex(f32(i), 1.f, 0.f, 0.f, 1.f, 0.f, video::SColor(255, 255, 255, 255), 0.f, 0.f));
	std::vector<scene::ISkinnedMesh::SJoint*> joints;
	auto addWeight = [&](u32 joint, u32 bufferId, u32 vertexId, f32 strength) {
		scene::ISkinnedMesh::SWeight* weight = mesh->addWeight(joints[joint]);
		weight->buffer_id = u16(bufferId);
		weight->vertex_id = vertexId;
		weight->strength = strength;
	};
	for (u32 j = 0; j < 10; ++j)
		joints.push_back(mesh->addJoint(nullptr));
	mesh->finalize();  // before the weights, which it would rescale and prune
	for (u32 j = 0; j < 9; ++j)
		addWeight(j, 0, 0, 0.1f + 0.01f * j);  // nine influences: the ninth is dropped
	addWeight(9, 0, 1, 0.0001f);              // too small
	addWeight(9, 0, 1, 0.5f);
	addWeight(9, 3, 0, 0.5f);                 // no such buffer
	addWeight(9, 0, 7, 0.5f);                 // no such vertex

	CZeMeshXM xm;
	ASSERT_TRUE(xm.create(mesh));
	ASSERT_EQ(xm.getJointCount(), 10u);
	const SZeVertexXM* v = xm.getBuffer(0).getVertices();
	ASSERT_EQ(v[0].InfluenceCount, 8u);
	for (u32 k = 0; k < 8; ++k)
	{
		EXPECT_EQ(v[0].Joints[k], k);
		EXPECT_FLOAT_EQ(v[0].Weights[k], 0.1f + 0.01f * k);
	}
	ASSERT_EQ(v[1].InfluenceCount, 1u);
	EXPECT_EQ(v[1].Joints[0], 9u);
	EXPECT_FLOAT_EQ(v[1].Weights[0], 0.5f);
	ASSERT_EQ(v[2].InfluenceCount, 1u);
	EXPECT_EQ(v[2].Joints[0], 10u);  // the identity
	EXPECT_EQ(countLines("CZeMeshXM::create: Warning, too much joints > MAX 8 on MeshBuffer=0 Vertice=0"), 1);
	EXPECT_EQ(countLines("CZeMeshXM::create: Warning, weight out of range on MeshBuffer=3 Vertice=0"), 1);
	EXPECT_EQ(countLines("out of range"), 1);
	for (u32 i = 0; i < 3; ++i)
		EXPECT_FLOAT_EQ(v[i].Position[0], f32(i));

	// The unweighted vertex follows the identity whatever the joints do.
	for (u32 j = 0; j < 10; ++j)
		joints[j]->GlobalAnimatedMatrix.setTranslation(core::vector3df(5.f, 0.f, 0.f));
	xm.updateJointMatrices(mesh);
	scene::IMesh* target = own(Manipulator->createMeshCopy(mesh));
	ASSERT_TRUE(xm.skinMesh(target));
	EXPECT_EQ(target->getMeshBuffer(0)->getPosition(2), core::vector3df(2.f, 1.f, 0.f));
	EXPECT_NE(target->getMeshBuffer(0)->getPosition(1), core::vector3df(1.f, 1.f, 0.f));

	// A mesh without joints has one identity matrix and keeps its rest pose.
	scene::ISkinnedMesh* still = Smgr->createSkinnedMesh();
	own(still);
	still->addMeshBuffer()->Vertices_Standard.push_back(
	    video::S3DVertex(1.f, 2.f, 3.f, 0.f, 0.f, 1.f, video::SColor(255, 255, 255, 255), 0.f, 0.f));
	still->finalize();
	CZeMeshXM plain;
	ASSERT_TRUE(plain.create(still));
	EXPECT_EQ(plain.getJointCount(), 0u);
	ASSERT_NE(plain.getJointMatrix(0), nullptr);
	scene::IMesh* stillTarget = own(Manipulator->createMeshCopy(still));
	stillTarget->getMeshBuffer(0)->getPosition(0).set(0.f, 0.f, 0.f);
	ASSERT_TRUE(plain.skinMesh(stillTarget));
	EXPECT_EQ(stillTarget->getMeshBuffer(0)->getPosition(0), core::vector3df(1.f, 2.f, 3.f));

	// Without a source there is no mesh, only a message.
	EXPECT_EQ(CZeMeshXM::createFromSkinnedMesh(nullptr), nullptr);
	EXPECT_EQ(countLines("CZeMeshXM::create: no skinned mesh"), 1);
}
} // namespace
