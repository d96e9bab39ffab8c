// The morph-mesh scene node and the scene-manager service's mesh nodes on the
// NULL driver, with objects written by the test.
#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/ZeMaterialExt.h"
#include "scene/CZeMorphMesh.h"
#include "scene/CZeMorphMeshSceneNode.h"
#include "scene/CZeSceneManagerServiceScene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

using namespace irr;

namespace
{
std::vector<core::vector3df> positionsOf(scene::IMesh* mesh)
{
	std::vector<core::vector3df> out;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		for (u32 i = 0; i < mesh->getMeshBuffer(b)->getVertexCount(); ++i)
			out.push_back(mesh->getMeshBuffer(b)->getPosition(i));
	return out;
}

f32 largestMove(const std::vector<core::vector3df>& a, const std::vector<core::vector3df>& b)
{
	f32 most = 0.f;
	for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
		most = std::max(most, a[i].getDistanceFrom(b[i]));
	return most;
}

// A morph mesh that records what the node asks of it.
class CountingMorphMesh : public IZeMorphMesh
{
public:
	explicit CountingMorphMesh(u32 frames) : Frames(frames)
	{
		Buffers[1].Material.MaterialType = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
	}
	u32 getMeshBufferCount() const override { return BufferCount; }
	scene::IMeshBuffer* getMeshBuffer(u32 nr) const override
	{
		return nr < BufferCount ? const_cast<scene::SMeshBuffer*>(&Buffers[nr]) : nullptr;
	}
	scene::IMeshBuffer* getMeshBuffer(const video::SMaterial&) const override { return nullptr; }
	const core::aabbox3d<f32>& getBoundingBox() const override { return Box; }
	void setBoundingBox(const core::aabbox3df& box) override { Box = box; }
	void setMaterialFlag(video::E_MATERIAL_FLAG, bool) override {}
	void setHardwareMappingHint(scene::E_HARDWARE_MAPPING, scene::E_BUFFER_TYPE) override {}
	void setDirty(scene::E_BUFFER_TYPE) override {}
	void applyMorphs(u32 count, const u32* indices, const f32* weights, f32 frame) override
	{
		++Applied;
		Indices.assign(indices, indices + count);
		Weights.assign(weights, weights + count);
		Frame = frame;
	}
	u32 getMorphCount() const override { return 4; }
	u32 getFrameCount() const override { return Frames; }
	IZeMorphMesh* clone() const override { return new CountingMorphMesh(Frames); }

	u32 Frames;
	int Applied = 0;
	std::vector<u32> Indices;
	std::vector<f32> Weights;
	f32 Frame = -100.f;
	u32 BufferCount = 1;
	scene::SMeshBuffer Buffers[2];  // a solid one, a transparent one
	core::aabbox3df Box;
};

// Two bones along y over a 6-vertex strip; both bones turn and move over 20 frames.
std::string skinnedXFile()
{
	std::string x = "xof 0303txt 0032\nFrame Root {\n FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
		"Frame B0 {\n FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,1,0,1;; }\n"
		"Frame B1 {\n FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,1,0,1;; }\n}}\n"
		" Mesh Body {\n  6;\n  -1;0;0;, 1;0;0;, -1;1;0;, 1;1;0;, -1;2;0;, 1;2;0;;\n"
		"  4;\n  3;0,1,2;, 3;1,3,2;, 3;2,3,4;, 3;3,5,4;;\n"
		"  MeshNormals {\n  6;\n  0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;, 0;0;1;;\n"
		"  4;\n  3;0,1,2;, 3;1,3,2;, 3;2,3,4;, 3;3,5,4;;\n  }\n"
		"  MeshTextureCoords {\n  6;\n  0;0;, 1;0;, 0;0.5;, 1;0.5;, 0;1;, 1;1;;\n  }\n"
		"  XSkinMeshHeader { 2; 2; 2; }\n"
		"  SkinWeights {\n   \"B0\";\n   4;\n   0,1,2,3;\n   1,1,0.5,0.5;\n   1,0,0,0,0,1,0,0,0,0,1,0,0,-1,0,1;;\n  }\n"
		"  SkinWeights {\n   \"B1\";\n   4;\n   2,3,4,5;\n   0.5,0.5,1,1;\n   1,0,0,0,0,1,0,0,0,0,1,0,0,-2,0,1;;\n  }\n"
		" }\n}\nAnimationSet Move {\n";
	for (int b = 0; b < 2; ++b)
		x += " Animation {\n  { B" + std::to_string(b) + " }\n  AnimationKey { 0; 2;\n   0;4;1,0,0,0;;,\n"
			"   20;4;0.8,0,0,0.6;;;\n  }\n  AnimationKey { 2; 2;\n   0;3;0,1,0;;,\n   20;3;0.5,1,0.3;;;\n  }\n }\n";
	return x + "}\n";
}

// A quad of two triangles whose corners move by `offset` (x, y, z per corner).
std::string quadObj(const f32 offset[12])
{
	const f32 base[12] = {0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0};
	std::string obj;
	for (int v = 0; v < 4; ++v)
		obj += "v " + std::to_string(base[v * 3] + offset[v * 3]) + " " + std::to_string(base[v * 3 + 1] + offset[v * 3 + 1]) +
			" " + std::to_string(base[v * 3 + 2] + offset[v * 3 + 2]) + "\n";
	return obj + "f 1 2 3\nf 1 3 4\n";
}

class MorphNodeTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_DRIVER", "null", 1);
		char pattern[] = "/tmp/zemorphnodeXXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Tmp = pattern;
		zeInstallEngineCore();
		SZeServiceFactories factories = {};
		factories.createSceneManager = zeCreateSceneManagerServiceScene;
		zeRegisterServiceFactories(factories);
		SZeSetupParams params;
		zeInitSetupParams(&params);
		params.windowed = 1;
		params.width = 160;
		params.height = 120;
		params.dataPrefix = Tmp.c_str();
		ASSERT_EQ(zeSetup(&params), 0);
		Smgr = zeGetContext()->sceneManager;
		Service = zeGetManager()->getSceneManager();
		ASSERT_NE(dynamic_cast<CZeSceneManagerServiceScene*>(Service), nullptr);
		const f32 none[12] = {};
		const f32 lift[12] = {0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0};
		const f32 slide[12] = {0, 0, 0, 0, 0, 0, 0.5f, 0, 0, 0.5f, 0, 2};
		write("plain.obj", quadObj(none));
		write("head.obj", quadObj(none));
		write("head.morph1.obj", quadObj(none));
		write("head.morph2.obj", quadObj(lift));
		write("head.morph3.obj", quadObj(slide));
		write("body.x", skinnedXFile());
	}
	void TearDown() override
	{
		zeTerm();
		zeRegisterServiceFactories(SZeServiceFactories());
		zeSetDataPrefix("");
		unsetenv("ZELV_DRIVER");
		std::error_code ignored;
		std::filesystem::remove_all(Tmp, ignored);
	}
	std::string write(const std::string& name, const std::string& text)
	{
		std::ofstream(Tmp + "/" + name) << text;
		return path(name);
	}
	std::string path(const std::string& name) const { return Tmp + "/" + name; }
	CZeMorphMeshSceneNode* morphNode(const std::string& name)
	{
		return dynamic_cast<CZeMorphMeshSceneNode*>(Service->addMeshSceneNode(path(name).c_str()));
	}

	std::string Tmp;
	scene::ISceneManager* Smgr = nullptr;
	IZeSceneManager* Service = nullptr;
};

TEST_F(MorphNodeTest, TypeCodeCullingAndFrameLoopClamping)
{
	CountingMorphMesh* mesh = new CountingMorphMesh(50);
	CZeMorphMeshSceneNode* node = new CZeMorphMeshSceneNode(mesh, Smgr->getRootSceneNode(), Smgr, 7);
	const u32 code = u32('m') | u32('o') << 8 | u32('r') << 16 | u32('p') << 24;
	EXPECT_EQ(u32(node->getType()), code);
	EXPECT_EQ(node->getAutomaticCulling(), scene::EAC_OFF);
	EXPECT_EQ(node->getMaterialCount(), 1u);
	// The mesh's frames are the initial loop.
	EXPECT_EQ(node->getStartFrame(), 0);
	EXPECT_EQ(node->getEndFrame(), 49);
	EXPECT_TRUE(node->setFrameLoop(10, 2));
	EXPECT_EQ(node->getStartFrame(), 2);
	EXPECT_EQ(node->getEndFrame(), 10);
	EXPECT_EQ(node->getCurrentFrame(), 2.f);
	node->setCurrentFrame(30.f);
	EXPECT_EQ(node->getCurrentFrame(), 10.f);
	node->setCurrentFrame(-3.f);
	EXPECT_EQ(node->getCurrentFrame(), 2.f);
	EXPECT_TRUE(node->setFrameLoop(-5, 100));
	EXPECT_EQ(node->getStartFrame(), 0);
	EXPECT_EQ(node->getEndFrame(), 49);
	EXPECT_EQ(node->getCurrentFrame(), 0.f);
	// A mesh without frames gives -1 to -1.
	CountingMorphMesh* still = new CountingMorphMesh(0);
	node->setMesh(still);
	still->drop();
	EXPECT_EQ(node->getMesh(), still);
	EXPECT_EQ(node->getStartFrame(), -1);
	EXPECT_EQ(node->getEndFrame(), -1);
	EXPECT_EQ(node->getCurrentFrame(), -1.f);
	node->setMesh(nullptr);
	EXPECT_EQ(node->getMesh(), still);
	node->drop();
	mesh->drop();
}

TEST_F(MorphNodeTest, ChangesApplyOnceInTheNextAnimationStep)
{
	CountingMorphMesh* mesh = new CountingMorphMesh(50);
	CZeMorphMeshSceneNode* node = new CZeMorphMeshSceneNode(mesh, Smgr->getRootSceneNode(), Smgr, -1);
	node->drop();  // the scene graph holds it
	node->OnAnimate(0);
	EXPECT_EQ(mesh->Applied, 1);
	node->setCurrentFrame(5.f);
	node->setCurrentFrame(5.f);
	const u32 indices[2] = {3, 1};
	f32 weights[2] = {0.5f, 0.25f};
	node->setMorphTargets(2, indices, weights);
	EXPECT_EQ(mesh->Applied, 1);
	node->OnAnimate(16);
	EXPECT_EQ(mesh->Applied, 2);
	EXPECT_EQ(mesh->Frame, 5.f);
	EXPECT_EQ(mesh->Indices, std::vector<u32>({3, 1}));
	EXPECT_EQ(mesh->Weights, std::vector<f32>({0.5f, 0.25f}));
	// Same frame, same targets from other arrays: nothing to apply.
	const u32 sameIndices[2] = {3, 1};
	const f32 sameWeights[2] = {0.5f, 0.25f};
	node->setCurrentFrame(5.f);
	node->setMorphTargets(2, sameIndices, sameWeights);
	node->OnAnimate(32);
	EXPECT_EQ(mesh->Applied, 2);
	// One weight changed.
	weights[1] = 0.75f;
	node->setMorphTargets(2, indices, weights);
	node->OnAnimate(48);
	EXPECT_EQ(mesh->Applied, 3);
	EXPECT_EQ(mesh->Weights, std::vector<f32>({0.5f, 0.75f}));
	// Fewer targets.
	node->setMorphTargets(1, indices, weights);
	node->OnAnimate(64);
	EXPECT_EQ(mesh->Applied, 4);
	EXPECT_EQ(mesh->Indices, std::vector<u32>({3}));
	node->remove();
	mesh->drop();
}

TEST_F(MorphNodeTest, DrawsEachBufferOnlyInItsMaterialsPass)
{
	// One triangle in a solid buffer and two in a transparent one: the node
	// registers for both passes and each pass draws only its own buffer.
	CountingMorphMesh* mesh = new CountingMorphMesh(0);
	mesh->BufferCount = 2;
	for (u32 b = 0; b < 2; ++b)
		for (u16 i = 0; i < 3 * (b + 1); ++i)
		{
			mesh->Buffers[b].Vertices.push_back(video::S3DVertex(f32(i % 2), f32(i / 2), 0, 0, 0, 1,
				video::SColor(255, 255, 255, 255), 0, 0));
			mesh->Buffers[b].Indices.push_back(i);
		}
	CZeMorphMeshSceneNode* node = new CZeMorphMeshSceneNode(mesh, Smgr->getRootSceneNode(), Smgr, -1);
	node->drop();  // the scene graph holds it
	ASSERT_EQ(node->getMaterialCount(), 2u);
	Smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -10), core::vector3df(0, 0, 0));
	video::IVideoDriver* driver = Smgr->getVideoDriver();
	auto drawn = [&]() {
		driver->beginScene(true, true, video::SColor(0));
		Smgr->drawAll();
		driver->endScene();
		return driver->getPrimitiveCountDrawn();
	};
	EXPECT_EQ(drawn(), 3u);
	// Both solid: drawn once, in the solid pass.
	node->getMaterial(1).MaterialType = video::EMT_SOLID;
	EXPECT_EQ(drawn(), 3u);
	// Both transparent: drawn once, in the transparent pass.
	node->getMaterial(0).MaterialType = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
	node->getMaterial(1).MaterialType = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
	EXPECT_EQ(drawn(), 3u);
	node->setVisible(false);
	EXPECT_EQ(drawn(), 0u);
	node->remove();
	mesh->drop();
}

TEST_F(MorphNodeTest, ServicePicksNodeKindPerMesh)
{
	scene::ISceneNode* plain = Service->addMeshSceneNode(path("plain.obj").c_str());
	ASSERT_NE(plain, nullptr);
	EXPECT_EQ(plain->getType(), scene::ESNT_MESH);
	EXPECT_EQ(plain->getParent(), Smgr->getRootSceneNode());
	CZeMorphMeshSceneNode* morph = morphNode("head.obj");
	ASSERT_NE(morph, nullptr);
	EXPECT_EQ(morph->getMesh()->getMorphCount(), 2u);
	EXPECT_EQ(morph->getPosition(), core::vector3df(0, 0, 0));
	CZeMorphMeshSceneNode* skinned = morphNode("body.x");
	ASSERT_NE(skinned, nullptr);
	CZeMorphMeshMorphMapXM* xm = dynamic_cast<CZeMorphMeshMorphMapXM*>(skinned->getMesh());
	ASSERT_NE(xm, nullptr);
	ASSERT_NE(xm->getSkinnedMesh(), nullptr);
	EXPECT_EQ(xm->getMorphCount(), 0u);
	EXPECT_EQ(skinned->getEndFrame(), s32(xm->getSkinnedMesh()->getFrameCount()) - 1);
	// An animated mesh that is not skinned, already in the mesh cache under its file.
	const std::string walk = write("walk.obj", "");
	scene::SAnimatedMesh* frames = new scene::SAnimatedMesh();
	for (int f = 0; f < 3; ++f)
	{
		scene::SMesh* m = new scene::SMesh();
		m->addMeshBuffer(new scene::SMeshBuffer());
		m->getMeshBuffer(0)->drop();
		frames->addMesh(m);
		m->drop();
	}
	Smgr->getMeshCache()->addMesh(walk.c_str(), frames);
	frames->drop();
	scene::ISceneNode* animated = Service->addMeshSceneNode(walk.c_str(), morph, 12);
	ASSERT_NE(animated, nullptr);
	EXPECT_EQ(animated->getType(), scene::ESNT_ANIMATED_MESH);
	EXPECT_EQ(animated->getParent(), morph);
	EXPECT_EQ(animated->getID(), 12);
	EXPECT_EQ(Service->addMeshSceneNode(path("missing.obj").c_str()), nullptr);
}

TEST_F(MorphNodeTest, TargetsMoveVerticesByWeightedDeltasAndClonesStartUnmorphed)
{
	CZeMorphMeshSceneNode* node = morphNode("head.obj");
	ASSERT_NE(node, nullptr);
	node->OnAnimate(0);
	const std::vector<core::vector3df> rest = positionsOf(node->getMesh());
	ASSERT_EQ(rest.size(), 4u);
	const std::vector<core::vector3df> first = positionsOf(Smgr->getMesh(path("head.morph1.obj").c_str()));
	const std::vector<core::vector3df> lift = positionsOf(Smgr->getMesh(path("head.morph2.obj").c_str()));
	const std::vector<core::vector3df> slide = positionsOf(Smgr->getMesh(path("head.morph3.obj").c_str()));
	const u32 indices[2] = {2, 1};
	const f32 weights[2] = {0.5f, 0.25f};
	node->setMorphTargets(2, indices, weights);
	node->OnAnimate(16);
	const std::vector<core::vector3df> morphed = positionsOf(node->getMesh());
	for (std::size_t i = 0; i < rest.size(); ++i)
	{
		const core::vector3df expected = rest[i] + (slide[i] - first[i]) * 0.5f + (lift[i] - first[i]) * 0.25f;
		EXPECT_TRUE(morphed[i].equals(expected, 1e-5f)) << "vertex " << i;
	}
	EXPECT_GT(largestMove(rest, morphed), 0.5f);

	CZeMorphMeshSceneNode* copy = dynamic_cast<CZeMorphMeshSceneNode*>(Service->cloneSceneNode(node));
	ASSERT_NE(copy, nullptr);
	EXPECT_NE(copy->getMesh(), node->getMesh());
	copy->OnAnimate(32);
	EXPECT_LT(largestMove(positionsOf(copy->getMesh()), rest), 1e-6f);
	const u32 liftOnly[1] = {1};
	const f32 full[1] = {1.f};
	copy->setMorphTargets(1, liftOnly, full);
	copy->OnAnimate(48);
	const std::vector<core::vector3df> copied = positionsOf(copy->getMesh());
	for (std::size_t i = 0; i < rest.size(); ++i)
		EXPECT_TRUE(copied[i].equals(rest[i] + lift[i] - first[i], 1e-5f)) << "vertex " << i;
	// The original keeps its own morphs.
	EXPECT_LT(largestMove(positionsOf(node->getMesh()), morphed), 1e-6f);
}

// The buffers' materials are not the node's: a collection must still find them,
// in a node's mesh, a clone's and a morph mesh that no node shows.
TEST_F(MorphNodeTest, MorphBuffersKeepTheirSideRecordsThroughCollections)
{
	CZeMorphMeshSceneNode* node = morphNode("head.obj");
	ASSERT_NE(node, nullptr);
	IZeMorphMesh* alone = Service->getMorphMesh(path("head.obj").c_str());
	ASSERT_NE(alone, nullptr);
	CZeMorphMeshSceneNode* copy = dynamic_cast<CZeMorphMeshSceneNode*>(Service->cloneSceneNode(node));
	ASSERT_NE(copy, nullptr);
	ze::setMaterialTextureSRGB(node->getMesh()->getMeshBuffer(0)->getMaterial(), 5, 1);
	ze::setMaterialTextureSRGB(copy->getMesh()->getMeshBuffer(0)->getMaterial(), 6, 1);
	ze::setMaterialTextureSRGB(alone->getMeshBuffer(0)->getMaterial(), 7, 1);
	ze::sweepMaterialExts();
	auto srgb = [](IZeMorphMesh* mesh, u32 layer) {
		const ze::SMaterialExt* record = ze::getMaterialExt(mesh->getMeshBuffer(0)->getMaterial());
		return record ? record->TextureLayer[layer].SRGB : 0u;
	};
	EXPECT_EQ(srgb(node->getMesh(), 5), 1u);
	EXPECT_EQ(srgb(copy->getMesh(), 6), 1u);
	EXPECT_EQ(srgb(alone, 7), 1u);
	alone->drop();
}

TEST_F(MorphNodeTest, SkinnedMeshAnimatesThroughFramesPerNode)
{
	CZeMorphMeshSceneNode* a = morphNode("body.x");
	CZeMorphMeshSceneNode* b = morphNode("body.x");
	ASSERT_TRUE(a && b);
	ASSERT_GE(a->getEndFrame(), 10);
	a->OnAnimate(0);
	const std::vector<core::vector3df> start = positionsOf(a->getMesh());
	a->setCurrentFrame(f32(a->getEndFrame()));
	a->OnAnimate(16);
	const std::vector<core::vector3df> end = positionsOf(a->getMesh());
	EXPECT_GT(largestMove(start, end), 0.1f);
	b->setCurrentFrame(5.f);
	b->OnAnimate(16);
	const std::vector<core::vector3df> middle = positionsOf(b->getMesh());
	EXPECT_GT(largestMove(middle, end), 0.05f);
	EXPECT_GT(largestMove(middle, start), 0.05f);
	// Each node keeps its own pose: animating the second left the first at its end frame.
	EXPECT_LT(largestMove(positionsOf(a->getMesh()), end), 1e-6f);
	// The rest pose comes back at frame 0.
	a->setCurrentFrame(0.f);
	a->OnAnimate(32);
	EXPECT_LT(largestMove(positionsOf(a->getMesh()), start), 1e-4f);
}

TEST_F(MorphNodeTest, ClonedSkinnedNodeAnimatesOnItsOwnWithItsOwnBox)
{
	CZeMorphMeshSceneNode* node = morphNode("body.x");
	CZeMorphMeshSceneNode* twin = morphNode("body.x");
	ASSERT_TRUE(node && twin);
	node->OnAnimate(0);
	const std::vector<core::vector3df> start = positionsOf(node->getMesh());

	CZeMorphMeshSceneNode* copy = dynamic_cast<CZeMorphMeshSceneNode*>(Service->cloneSceneNode(node));
	ASSERT_NE(copy, nullptr);
	EXPECT_NE(copy->getMesh(), node->getMesh());
	ASSERT_GE(node->getEndFrame(), 10);
	EXPECT_EQ(copy->getStartFrame(), 0);
	EXPECT_EQ(copy->getEndFrame(), node->getEndFrame());

	// The clone at the last frame matches a loaded node at that frame.
	copy->setCurrentFrame(f32(copy->getEndFrame()));
	copy->OnAnimate(16);
	twin->setCurrentFrame(f32(twin->getEndFrame()));
	twin->OnAnimate(16);
	const std::vector<core::vector3df> end = positionsOf(copy->getMesh());
	EXPECT_GT(largestMove(end, start), 0.1f);
	EXPECT_LT(largestMove(end, positionsOf(twin->getMesh())), 1e-5f);
	EXPECT_LT(largestMove(positionsOf(node->getMesh()), start), 1e-6f);

	// Every node's box is the box of its own vertices.
	auto boxOf = [](const std::vector<core::vector3df>& points) {
		core::aabbox3df box(points[0]);
		for (const core::vector3df& p : points)
			box.addInternalPoint(p);
		return box;
	};
	auto sameBox = [](const core::aabbox3df& a, const core::aabbox3df& b) {
		return a.MinEdge.equals(b.MinEdge, 1e-4f) && a.MaxEdge.equals(b.MaxEdge, 1e-4f);
	};
	EXPECT_TRUE(sameBox(copy->getBoundingBox(), boxOf(end)));
	EXPECT_TRUE(sameBox(node->getBoundingBox(), boxOf(start)));
	EXPECT_FALSE(sameBox(copy->getBoundingBox(), node->getBoundingBox()));
}

TEST_F(MorphNodeTest, PointCloudNodeHoldsTheRequestedPointsWithStaticHint)
{
	scene::ISceneNode* node = Service->addPointCloudSceneNode(path("plain.obj").c_str(), 300, nullptr, 4);
	ASSERT_NE(node, nullptr);
	ASSERT_EQ(node->getType(), scene::ESNT_MESH);
	EXPECT_EQ(node->getID(), 4);
	EXPECT_EQ(node->getPosition(), core::vector3df(0, 0, 0));
	EXPECT_EQ(node->getScale(), core::vector3df(1, 1, 1));
	scene::IMesh* cloud = static_cast<scene::IMeshSceneNode*>(node)->getMesh();
	u32 points = 0;
	for (u32 b = 0; b < cloud->getMeshBufferCount(); ++b)
	{
		points += cloud->getMeshBuffer(b)->getVertexCount();
		EXPECT_EQ(cloud->getMeshBuffer(b)->getHardwareMappingHint_Vertex(), scene::EHM_STATIC);
	}
	EXPECT_EQ(points, 300u);
	EXPECT_EQ(Service->addPointCloudSceneNode(path("missing.obj").c_str(), 10), nullptr);
	IZeMorphMesh* morph = Service->getMorphMesh(path("head.obj").c_str());
	ASSERT_NE(morph, nullptr);
	EXPECT_EQ(morph->getMorphCount(), 2u);
	morph->drop();
	EXPECT_EQ(Service->getMorphMesh(path("plain.obj").c_str()), nullptr);
}
} // namespace
