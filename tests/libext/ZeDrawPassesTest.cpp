#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "libext/CZeMeshSceneNodes.h"
#include "libext/ZeDrawPasses.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include "frame/ZeTestDisplay.h"

#include <cstdlib>
#include <string>
#include <vector>

using namespace irr;
using scene::E_SCENE_NODE_RENDER_PASS;

namespace
{
// Appends a quad buffer over [x0, x1] x [-2, 2] at depth z, unlit, two-sided.
void addQuad(scene::SMesh* mesh, f32 x0, f32 x1, f32 z, video::SColor colour, video::E_MATERIAL_TYPE type)
{
	scene::SMeshBuffer* b = new scene::SMeshBuffer();
	b->Vertices.push_back(video::S3DVertex(x0, -2, z, 0, 0, -1, colour, 0, 1));
	b->Vertices.push_back(video::S3DVertex(x0, 2, z, 0, 0, -1, colour, 0, 0));
	b->Vertices.push_back(video::S3DVertex(x1, 2, z, 0, 0, -1, colour, 1, 0));
	b->Vertices.push_back(video::S3DVertex(x1, -2, z, 0, 0, -1, colour, 1, 1));
	for (u16 i : {0, 1, 2, 0, 2, 3})
		b->Indices.push_back(i);
	b->Material.MaterialType = type;
	b->Material.Lighting = false;
	b->Material.BackfaceCulling = false;
	b->recalculateBoundingBox();
	mesh->addMeshBuffer(b);
	b->drop();
	mesh->recalculateBoundingBox();
}

// Triangles of the mesh's buffers whose transparency is `transparent`.
u32 triangles(video::IVideoDriver* driver, scene::IMesh* mesh, bool transparent)
{
	u32 n = 0;
	for (u32 i = 0; i < mesh->getMeshBufferCount(); ++i)
		if (ze::isTransparentMaterial(driver, mesh->getMeshBuffer(i)->getMaterial()) == transparent)
			n += mesh->getMeshBuffer(i)->getIndexCount() / 3;
	return n;
}

// An effect node of ours: listed by what it declares, records the pass it is drawn in.
class CEffectNode : public scene::ISceneNode, public ze::IZeRenderPassNode
{
public:
	CEffectNode(scene::ISceneManager* mgr, const core::vector3df& position)
		: scene::ISceneNode(mgr->getRootSceneNode(), mgr, -1, position) {}
	u32 getRenderPasses() const override { return scene::ESNRP_TRANSPARENT_EFFECT; }
	void render() override { Passes.push_back(ze::getCurrentRenderPass()); }
	const core::aabbox3d<f32>& getBoundingBox() const override { return Box; }
	std::vector<E_SCENE_NODE_RENDER_PASS> Passes;
	core::aabbox3d<f32> Box{-1, -1, -1, 1, 1, 1};
};

class CRecordingLightManager : public scene::ILightManager
{
public:
	void OnPreRender(core::array<scene::ISceneNode*>& lights) override { Calls.push_back("pre" + std::to_string(lights.size())); }
	void OnPostRender() override { Calls.push_back("post"); }
	void OnRenderPassPreRender(E_SCENE_NODE_RENDER_PASS p) override { Calls.push_back("pass+" + std::to_string(p)); }
	void OnRenderPassPostRender(E_SCENE_NODE_RENDER_PASS p) override { Calls.push_back("pass-" + std::to_string(p)); }
	void OnNodePreRender(scene::ISceneNode*) override { Calls.push_back("node+"); }
	void OnNodePostRender(scene::ISceneNode*) override { Calls.push_back("node-"); }
	std::vector<std::string> Calls;
};

class CCountingEnd : public scene::IAnimationEndCallBack
{
public:
	void OnAnimationEnd(scene::IAnimatedMeshSceneNode*) override { ++Count; }
	int Count = 0;
};

class NullScene : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_BATCH", "1", 1);
		setenv("ZELV_DRIVER", "null", 1);
		ASSERT_EQ(zeSetup(nullptr), 0);
		Smgr = zeGetContext()->sceneManager;
		Driver = zeGetContext()->driver;
		Timer = zeGetContext()->device->getTimer();
		Timer->stop();
		at(1000);
		Camera = Smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -50), core::vector3df(0, 0, 0));
	}
	void TearDown() override
	{
		ze::drawAllPasses(Smgr, ze::EDAP_FINISH);
		Timer->start();
		zeTerm();
		unsetenv("ZELV_DRIVER");
	}
	void at(u32 ms) { Timer->setTime(ms); }
	// Primitives drawn by `draw` between a scene's begin and end.
	template <typename F> u32 drawn(F draw)
	{
		Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
		draw();
		Driver->endScene();
		return Driver->getPrimitiveCountDrawn();
	}
	scene::IMeshSceneNode* quadNode(f32 z, video::E_MATERIAL_TYPE type)
	{
		scene::SMesh* mesh = new scene::SMesh();
		addQuad(mesh, -1, 1, z, video::SColor(255, 255, 255, 255), type);
		scene::IMeshSceneNode* node = ze::addMeshSceneNode(Smgr, mesh);
		mesh->drop();
		return node;
	}

	scene::ISceneManager* Smgr = nullptr;
	video::IVideoDriver* Driver = nullptr;
	ITimer* Timer = nullptr;
	scene::ICameraSceneNode* Camera = nullptr;
};

TEST_F(NullScene, PrepareListsTheVisibleSceneAndFinishEmptiesIt)
{
	scene::ISceneNode* cube = Smgr->addCubeSceneNode(2, nullptr, 1, core::vector3df(5, 0, 0));
	Smgr->addCubeSceneNode(2, nullptr, -1, core::vector3df(-5, 0, 0))->setVisible(false);
	scene::ISceneNode* hidden = Smgr->addEmptySceneNode();
	hidden->setVisible(false);
	Smgr->addCubeSceneNode(2, hidden);
	Smgr->addCubeSceneNode(2, nullptr, -1, core::vector3df(0, 0, -100));  // behind the camera
	scene::ISceneNode* lightA = Smgr->addLightSceneNode(nullptr, core::vector3df(0, 20, -20));
	scene::ISceneNode* lightB = Smgr->addLightSceneNode(cube, core::vector3df(0, 10, 0));
	scene::ISceneNode* nearQuad = quadNode(10, video::EMT_TRANSPARENT_ALPHA_CHANNEL);
	scene::ISceneNode* farQuad = quadNode(30, video::EMT_TRANSPARENT_ALPHA_CHANNEL);
	scene::ISceneNode* billboard = Smgr->addBillboardSceneNode(nullptr, core::dimension2df(2, 2), core::vector3df(0, 0, 5));
	CEffectNode* effect = new CEffectNode(Smgr, core::vector3df(0, 0, 20));
	effect->drop();
	cube->setPosition(core::vector3df(6, 0, 0));  // lights follow their parents
	Driver->addDynamicLight(video::SLight());       // a stale light of an earlier frame

	const u32 prepared = drawn([&] { ze::drawAllPasses(Smgr, ze::EDAP_PREPARE | ze::EDAP_CAMERA | ze::EDAP_LIGHT); });
	const ze::SRenderLists& lists = ze::getRenderLists(Smgr);
	EXPECT_EQ(prepared, 0u);
	ASSERT_EQ(lists.Lights.size(), 2u);
	EXPECT_GE(lists.Lights.linear_search(lightA), 0);
	EXPECT_GE(lists.Lights.linear_search(lightB), 0);
	ASSERT_EQ(lists.Solid.size(), 1u);
	EXPECT_EQ(lists.Solid[0], cube);
	ASSERT_EQ(lists.Transparent.size(), 2u);
	EXPECT_EQ(lists.Transparent[0], farQuad);
	EXPECT_EQ(lists.Transparent[1], nearQuad);
	ASSERT_EQ(lists.TransparentEffect.size(), 2u);
	EXPECT_EQ(lists.TransparentEffect[0], effect);
	EXPECT_EQ(lists.TransparentEffect[1], billboard);
	EXPECT_TRUE(lists.SkyBoxes.empty());
	ASSERT_EQ(Driver->getDynamicLightCount(), 2u);
	bool followed = false;
	for (u32 i = 0; i < 2; ++i)
		followed |= Driver->getDynamicLight(i).Position.equals(core::vector3df(6, 10, 0));
	EXPECT_TRUE(followed);

	// The measure sees drawing: the listed cube draws when its list is drawn.
	EXPECT_GT(drawn([&] { EXPECT_EQ(ze::drawRenderList(Smgr, scene::ESNRP_SOLID), 1u); }), 0u);
	EXPECT_EQ(ze::drawRenderList(Smgr, scene::ESNRP_TRANSPARENT_EFFECT), 2u);
	EXPECT_EQ(effect->Passes, std::vector<E_SCENE_NODE_RENDER_PASS>{scene::ESNRP_TRANSPARENT_EFFECT});
	EXPECT_EQ(ze::getCurrentRenderPass(), scene::ESNRP_NONE);

	cube->grab();
	ze::addToDeletionQueue(cube);
	ze::addToDeletionQueue(cube);
	EXPECT_EQ(Smgr->getSceneNodeFromId(1), cube);  // kept until the frame ends
	ze::drawAllPasses(Smgr, ze::EDAP_FINISH);
	EXPECT_EQ(Smgr->getSceneNodeFromId(1), nullptr);
	EXPECT_EQ(cube->getParent(), nullptr);
	EXPECT_EQ(cube->getReferenceCount(), 1);  // ours only: the queue dropped what it held
	cube->drop();
	EXPECT_TRUE(lists.Lights.empty() && lists.Solid.empty() && lists.Transparent.empty() &&
		lists.TransparentEffect.empty());
}

TEST_F(NullScene, AnimationRunsOnlyInPrepare)
{
	scene::ISceneNode* mover = Smgr->addEmptySceneNode();
	scene::ISceneNode* rider = Smgr->addEmptySceneNode(mover);
	rider->setPosition(core::vector3df(0, 1, 0));
	scene::ISceneNodeAnimator* fly = Smgr->createFlyStraightAnimator(core::vector3df(0, 0, 0), core::vector3df(100, 0, 0), 1000);
	mover->addAnimator(fly);
	fly->drop();

	scene::SAnimatedMesh* frames = new scene::SAnimatedMesh();
	for (int i = 0; i < 5; ++i)
	{
		scene::SMesh* mesh = new scene::SMesh();
		addQuad(mesh, 0, 1, 0, video::SColor(255, 255, 255, 255), video::EMT_SOLID);
		frames->addMesh(mesh);
		mesh->drop();
	}
	frames->setAnimationSpeed(10);
	scene::IAnimatedMeshSceneNode* animated = ze::addAnimatedMeshSceneNode(Smgr, frames);
	frames->drop();
	ASSERT_EQ(animated->getEndFrame(), 4);
	CCountingEnd* end = new CCountingEnd();
	animated->setAnimationEndCallback(end);
	end->drop();
	animated->setLoopMode(false);

	ze::drawAllPasses(Smgr, ze::EDAP_PREPARE);
	at(1500);
	ze::drawAllPasses(Smgr, ze::EDAP_CAMERA | ze::EDAP_LIGHT | ze::EDAP_FINISH);
	EXPECT_FLOAT_EQ(mover->getPosition().X, 0.0f);
	EXPECT_FLOAT_EQ(animated->getFrameNr(), 0.0f);

	ze::drawAllPasses(Smgr, ze::EDAP_PREPARE);
	EXPECT_NEAR(mover->getPosition().X, 50.0f, 0.01f);
	EXPECT_TRUE(rider->getAbsolutePosition().equals(core::vector3df(50, 1, 0), 0.01f));
	EXPECT_NEAR(animated->getFrameNr(), 4.0f, 1e-4f);  // 10 frames a second, stopped at the end
	at(1700);
	ze::drawAllPasses(Smgr, ze::EDAP_PREPARE | ze::EDAP_FINISH);
	EXPECT_EQ(end->Count, 1);
	animated->setCurrentFrame(1);
	animated->setLoopMode(true);
	at(2150);
	ze::drawAllPasses(Smgr, ze::EDAP_PREPARE | ze::EDAP_FINISH);
	EXPECT_NEAR(animated->getFrameNr(), 1.5f, 1e-4f);  // 1 + 4.5 wraps over the loop of 4 frames
	EXPECT_EQ(end->Count, 1);
}

TEST_F(NullScene, MixedMeshDrawsTheBuffersOfEachPass)
{
	scene::SMesh* mesh = new scene::SMesh();
	addQuad(mesh, -4, -1, 0, video::SColor(255, 255, 0, 0), video::EMT_SOLID);
	addQuad(mesh, 1, 4, 0, video::SColor(255, 0, 255, 0), video::EMT_TRANSPARENT_VERTEX_ALPHA);
	addQuad(mesh, 1, 4, 1, video::SColor(255, 0, 255, 0), video::EMT_TRANSPARENT_ADD_COLOR);
	scene::IMeshSceneNode* node = ze::addMeshSceneNode(Smgr, mesh);
	mesh->drop();
	const u32 solid = triangles(Driver, mesh, false);
	const u32 transparent = triangles(Driver, mesh, true);
	ASSERT_NE(solid, transparent);

	CRecordingLightManager* manager = new CRecordingLightManager();
	ze::setLightManager(Smgr, manager);
	Smgr->addLightSceneNode();
	ze::drawAllPasses(Smgr, ze::EDAP_PREPARE | ze::EDAP_CAMERA | ze::EDAP_LIGHT);
	EXPECT_EQ(ze::getRenderLists(Smgr).Solid.linear_search(node), 0);
	EXPECT_EQ(ze::getRenderLists(Smgr).Transparent.linear_search(node), 0);
	EXPECT_EQ(drawn([&] { ze::drawRenderList(Smgr, scene::ESNRP_SOLID); }), solid);
	EXPECT_EQ(drawn([&] { ze::drawRenderList(Smgr, scene::ESNRP_TRANSPARENT); }), transparent);
	ze::drawAllPasses(Smgr, ze::EDAP_FINISH);
	EXPECT_EQ(manager->Calls, (std::vector<std::string>{"pre1", "pass+2", "pass-2", "pass+8", "node+", "node-",
		"pass-8", "pass+16", "node+", "node-", "pass-16", "post"}));
	ze::setLightManager(Smgr, nullptr);
	manager->drop();

	// Outside any pass every buffer; in the library's drawAll each of its passes its own.
	EXPECT_EQ(drawn([&] { node->render(); }), solid + transparent);
	EXPECT_EQ(drawn([&] { Smgr->drawAll(); }), solid + transparent);
}

::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const int W = 128;
const int H = 128;

// The back buffer, read before the frame is presented.
struct Pixels
{
	std::vector<u8> rgba;
	Pixels() : rgba(static_cast<size_t>(W) * H * 4)
	{
		glReadBuffer(GL_BACK);
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
	}
	bool is(int x, int y, int r, int g, int b) const
	{
		const u8* p = &rgba[(static_cast<size_t>(y) * W + x) * 4];
		return abs(p[0] - r) <= 8 && abs(p[1] - g) <= 8 && abs(p[2] - b) <= 8;
	}
	int count(int r, int g, int b) const
	{
		int n = 0;
		for (int y = 0; y < H; ++y)
			for (int x = 0; x < W; ++x)
				n += is(x, y, r, g, b);
		return n;
	}
};

TEST(GLScene, EachListDrawsOnlyItsPassBuffers)
{
	if (!getenv("DISPLAY"))
		GTEST_SKIP() << "no display";
	SZeSetupParams p = zetest::glWindowSetup(W, H);
	ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr);
	scene::ISceneManager* smgr = zeGetContext()->sceneManager;
	video::IVideoDriver* driver = zeGetContext()->driver;
	ASSERT_EQ(driver->getDriverType(), video::EDT_OPENGL);
	smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -10), core::vector3df(0, 0, 0));
	scene::SMesh* mesh = new scene::SMesh();
	addQuad(mesh, -4, -0.5f, 0, video::SColor(255, 255, 0, 0), video::EMT_SOLID);
	const int alpha = 160;  // over black: green 160 once, more when blended twice
	addQuad(mesh, 0.5f, 4, 0, video::SColor(alpha, 0, 255, 0), video::EMT_TRANSPARENT_VERTEX_ALPHA);
	ze::addMeshSceneNode(smgr, mesh);
	mesh->drop();
	const int left = W / 2 - 20;
	const int right = W / 2 + 20;

	driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	ze::drawAllPasses(smgr, ze::EDAP_PREPARE | ze::EDAP_CAMERA | ze::EDAP_LIGHT);
	ze::drawRenderList(smgr, scene::ESNRP_SOLID);
	const Pixels solid;
	ze::drawRenderList(smgr, scene::ESNRP_TRANSPARENT);
	const Pixels both;
	ze::drawAllPasses(smgr, ze::EDAP_FINISH);
	driver->endScene();
	EXPECT_TRUE(solid.is(left, H / 2, 255, 0, 0));
	EXPECT_TRUE(solid.is(right, H / 2, 0, 0, 0));
	EXPECT_EQ(solid.count(0, alpha, 0), 0);
	EXPECT_TRUE(both.is(left, H / 2, 255, 0, 0));
	EXPECT_TRUE(both.is(right, H / 2, 0, alpha, 0));
	EXPECT_EQ(both.count(255, 0, 0), solid.count(255, 0, 0));

	driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	smgr->drawAll();
	const Pixels library;
	driver->endScene();
	EXPECT_TRUE(library.is(left, H / 2, 255, 0, 0));
	EXPECT_TRUE(library.is(right, H / 2, 0, alpha, 0));
	EXPECT_GT(both.count(0, alpha, 0), 0);
	EXPECT_EQ(library.count(0, alpha, 0), both.count(0, alpha, 0));
	zeTerm();
}

// A buffer of vertices without indices is a point list (a point cloud): each
// vertex lights the pixel it projects to, through the library's drawing and
// through our pass lists alike.
TEST(GLScene, BuffersWithoutIndicesDrawTheirVerticesAsPoints)
{
	if (!getenv("DISPLAY"))
		GTEST_SKIP() << "no display";
	SZeSetupParams p = zetest::glWindowSetup(W, H);
	ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr);
	scene::ISceneManager* smgr = zeGetContext()->sceneManager;
	video::IVideoDriver* driver = zeGetContext()->driver;
	scene::ICameraSceneNode* camera = smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -10), core::vector3df(0, 0, 0));
	const std::vector<core::vector3df> spots = {{-2, 1, 0}, {1.5f, 2, 1}, {0.5f, -2.5f, -1}, {-3, -1, 2}};
	scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
	for (const core::vector3df& spot : spots)
		buffer->Vertices.push_back(video::S3DVertex(spot, core::vector3df(0, 0, -1), video::SColor(0, 0, 0, 0), core::vector2df(0, 0)));
	buffer->Material.Lighting = false;
	buffer->recalculateBoundingBox();
	scene::SMesh* mesh = new scene::SMesh();
	mesh->addMeshBuffer(buffer);
	buffer->drop();
	mesh->recalculateBoundingBox();
	scene::IMeshSceneNode* node = ze::addMeshSceneNode(smgr, mesh);
	mesh->drop();
	// The colours hold running indices; the points are made visible by their material.
	for (u32 i = 0; i < node->getMaterialCount(); ++i)
	{
		node->getMaterial(i).Lighting = true;
		node->getMaterial(i).ColorMaterial = video::ECM_NONE;
		node->getMaterial(i).EmissiveColor = video::SColor(255, 255, 255, 255);
		node->getMaterial(i).AmbientColor = video::SColor(255, 0, 0, 0);
		node->getMaterial(i).DiffuseColor = video::SColor(255, 0, 0, 0);
	}
	smgr->setAmbientLight(video::SColorf(0, 0, 0));

	for (const bool ours : {false, true})
	{
		SCOPED_TRACE(ours ? "pass lists" : "library");
		driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
		if (ours)
		{
			ze::drawAllPasses(smgr, ze::EDAP_PREPARE | ze::EDAP_CAMERA | ze::EDAP_LIGHT);
			ze::drawRenderList(smgr, scene::ESNRP_SOLID);
			ze::drawRenderList(smgr, scene::ESNRP_TRANSPARENT);
		}
		else
			smgr->drawAll();
		const Pixels shot;
		if (ours)
			ze::drawAllPasses(smgr, ze::EDAP_FINISH);
		driver->endScene();
		// Where the library's own projection puts each point, give or take a pixel.
		for (const core::vector3df& spot : spots)
		{
			const core::position2di at = smgr->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(spot, camera);
			bool lit = false;
			for (int dy = -1; dy <= 1; ++dy)
				for (int dx = -1; dx <= 1; ++dx)
					lit = lit || shot.is(at.X + dx, H - 1 - (at.Y + dy), 255, 255, 255);
			EXPECT_TRUE(lit) << spot.X << " " << spot.Y << " " << spot.Z << " at " << at.X << "," << at.Y;
		}
		EXPECT_LE(shot.count(255, 255, 255), static_cast<int>(spots.size()) * 4) << "points, not shapes";
	}
	zeTerm();
}
} // namespace
