// Particle-system nodes on the NULL driver: the render pass, what animation
// feeds the emitter, hiding and the render switch, the on-mesh form, the
// plain draw's quad limit and its shared quads, and the scene-manager
// service's three forms.
#include "core/IZeManager.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "scene/CZeGLParticleSystemSceneNode.h"
#include "scene/CZeSceneManagerServiceScene.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace irr;

namespace
{
// Notes the pass each draw runs in.
class ProbeNode : public CZeParticleSystemSceneNode
{
public:
	using CZeParticleSystemSceneNode::CZeParticleSystemSceneNode;
	void render() override
	{
		Passes.push_back(SceneManager->getSceneNodeRenderPass());
		CZeParticleSystemSceneNode::render();
	}
	std::vector<scene::E_SCENE_NODE_RENDER_PASS> Passes;
};

class ParticleNode : public ::testing::Test
{
protected:
	void SetUp() override
	{
		Device = createDevice(video::EDT_NULL);
		ASSERT_TRUE(Device);
		Smgr = Device->getSceneManager();
		Driver = Device->getVideoDriver();
	}
	void TearDown() override { Device->drop(); }

	// Primitives one frame of `draw` gives the driver.
	template <typename Draw>
	u32 primitives(Draw draw)
	{
		Driver->beginScene(true, true, video::SColor(0));
		draw();
		Driver->endScene();
		return Driver->getPrimitiveCountDrawn(0);
	}

	IrrlichtDevice* Device = nullptr;
	scene::ISceneManager* Smgr = nullptr;
	video::IVideoDriver* Driver = nullptr;
};

// A node whose emitter gives no births of its own.
template <typename Node, typename... Form>
Node* stillNode(scene::ISceneManager* smgr, Form... form)
{
	Node* node = new Node(smgr->getRootSceneNode(), smgr, -1, form...);
	node->getEmitter().setBirthRate(0.f);
	node->getEmitter().setResistance(0.f, 0.f);
	node->drop();
	return node;
}
} // namespace

TEST_F(ParticleNode, DrawsInTheTransparentPassOnlyWhileVisibleAndRenderEnabled)
{
	ITimer* timer = Device->getTimer();
	timer->stop();
	timer->setTime(1000);
	ProbeNode* node = stillNode<ProbeNode>(Smgr, 0u);
	EXPECT_EQ(&node->getMaterial(0), &node->getMaterial(5));
	node->getEmitter().addStaticParticle(1.f, 2.f, 3.f, 0, 10000);
	EXPECT_EQ(primitives([&] { Smgr->drawAll(); }), 2u);
	ASSERT_EQ(node->Passes.size(), 1u);
	EXPECT_EQ(node->Passes[0], scene::ESNRP_TRANSPARENT);

	// Render switched off: no quads, but the emitter still runs.
	node->setRenderEnabled(false);
	node->getEmitter().setBirthRate(1000.f);
	timer->setTime(1100);
	EXPECT_EQ(primitives([&] { Smgr->drawAll(); }), 0u);
	EXPECT_EQ(node->Passes.size(), 2u);
	const u32 count = node->getEmitter().getParticleCount();
	EXPECT_EQ(count, 101u);

	// Hidden: neither registered nor simulated; a private pool keeps its particles.
	node->setRenderEnabled(true);
	node->setVisible(false);
	EXPECT_EQ(node->getEmitter().getParticleCount(), count);
	timer->setTime(1200);
	EXPECT_EQ(primitives([&] { Smgr->drawAll(); }), 0u);
	EXPECT_EQ(node->Passes.size(), 2u);
	EXPECT_EQ(node->getEmitter().getState().lastTimeMs, 1100u);
	node->setVisible(true);
	EXPECT_EQ(primitives([&] { Smgr->drawAll(); }), 2u * (count + 100u));
	EXPECT_EQ(node->Passes.size(), 3u);
}

TEST_F(ParticleNode, HidingEmptiesAnEmitterOnTheSharedPool)
{
	CZeParticleSystemSceneNode* shared = stillNode<CZeParticleSystemSceneNode>(Smgr);
	EXPECT_EQ(shared->getEmitter().getState().sharedPool, 1);
	shared->getEmitter().addStaticParticle(0.f, 0.f, 0.f, 0, 10000);
	shared->getEmitter().addStaticParticle(1.f, 0.f, 0.f, 0, 10000);
	shared->OnAnimate(500);
	shared->setVisible(false);
	EXPECT_EQ(shared->getEmitter().getParticleCount(), 0u);
	EXPECT_EQ(shared->getEmitter().getState().lastTimeMs, 0u) << "the next update starts afresh";
	EXPECT_FALSE(shared->isVisible());
}

TEST_F(ParticleNode, AnimationFeedsTheAbsoluteTransformTheCameraAndTheTime)
{
	scene::ISceneNode* parent = Smgr->addEmptySceneNode(nullptr, -1);
	parent->setPosition(core::vector3df(10, 0, 0));
	CZeParticleSystemSceneNode* node = new CZeParticleSystemSceneNode(parent, Smgr, -1, 0u);
	node->drop();
	node->setPosition(core::vector3df(0, 5, 0));
	const SZeFxEmitterState& state = node->getEmitter().getState();

	// No active camera: the eye stays, the emitter still updates.
	Smgr->getRootSceneNode()->OnAnimate(700);
	EXPECT_EQ(state.lastTimeMs, 700u);
	EXPECT_EQ(core::vector3df(state.transform[12], state.transform[13], state.transform[14]), core::vector3df(10, 5, 0));
	EXPECT_EQ(core::vector3df(state.cameraPosition[0], state.cameraPosition[1], state.cameraPosition[2]),
		core::vector3df(0, 0, 0));

	scene::ICameraSceneNode* camera = Smgr->addCameraSceneNode(parent, core::vector3df(1, 2, 3));
	Smgr->setActiveCamera(camera);
	Smgr->getRootSceneNode()->OnAnimate(716);
	EXPECT_EQ(state.lastTimeMs, 716u);
	EXPECT_EQ(core::vector3df(state.cameraPosition[0], state.cameraPosition[1], state.cameraPosition[2]),
		core::vector3df(11, 2, 3));
}

TEST_F(ParticleNode, OnAMeshOneStillParticlePerVertexInAPoolOfThatSize)
{
	scene::SMesh* mesh = new scene::SMesh();
	for (u32 b = 0; b < 2; ++b)
	{
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
		for (u32 v = 0; v < 3 + b; ++v)
			buffer->Vertices.push_back(video::S3DVertex(f32(v), f32(b), 1.f, 0, 0, 1, video::SColor(0), 0, 0));
		mesh->addMeshBuffer(buffer);
		buffer->drop();
	}
	scene::IMeshSceneNode* meshNode = Smgr->addMeshSceneNode(mesh);
	mesh->drop();
	CZeParticleSystemSceneNode* node = stillNode<CZeParticleSystemSceneNode>(Smgr, meshNode);
	CZeFxEmitter& emitter = node->getEmitter();
	EXPECT_EQ(emitter.getState().sharedPool, 0);
	EXPECT_EQ(emitter.getState().pool->records.size(), 7u);
	EXPECT_EQ(emitter.getState().pool->freeList, nullptr);
	SZeParticleInstance records[8];
	ASSERT_EQ(emitter.fillInstances(records, 8), 7u);
	EXPECT_EQ(records[4].position[0], 1.f);
	EXPECT_EQ(records[4].position[1], 1.f);
	EXPECT_EQ(records[4].birthTime, 0.f);
	EXPECT_EQ(records[4].deathTime, 4294967.295f);
	// Years of updates: the particles stay, unmoved.
	node->OnAnimate(1000);
	node->OnAnimate(4000000000u);
	ASSERT_EQ(emitter.fillInstances(records, 8), 7u);
	EXPECT_EQ(records[6].position[0], 3.f);
	EXPECT_EQ(records[6].position[2], 1.f);

	// A mesh node without a mesh gives an empty pool of the default size.
	CZeParticleSystemSceneNode* bare =
		stillNode<CZeParticleSystemSceneNode>(Smgr, static_cast<scene::IMeshSceneNode*>(nullptr));
	EXPECT_EQ(bare->getEmitter().getState().pool->records.size(), ZE_PRIVATE_PARTICLE_POOL_CAPACITY);
	EXPECT_EQ(bare->getEmitter().getParticleCount(), 0u);
}

TEST_F(ParticleNode, PlainDrawShowsTheFirst16384ParticlesFromQuadsSharedByTheNodesThatDrew)
{
	CZeParticleSystemSceneNode* many = stillNode<CZeParticleSystemSceneNode>(Smgr, 0u);
	for (u32 i = 0; i < 20000; ++i)
		many->getEmitter().addStaticParticle(f32(i), 0.f, 0.f, i, 100000 + i);
	EXPECT_EQ(CZeParticleSystemSceneNode::getQuadData(), nullptr) << "made by the first draw";
	EXPECT_EQ(primitives([&] { many->render(); }), 2u * 16384u);
	const SZeParticleQuadData* data = CZeParticleSystemSceneNode::getQuadData();
	ASSERT_NE(data, nullptr);
	EXPECT_EQ(data->References, 1u);
	const video::S3DVertex* vertices = static_cast<const video::S3DVertex*>(data->Quads->getVertices());
	for (u32 q : {0u, 9000u, 16383u})
		for (u32 c = 0; c < 4; ++c)
		{
			const video::S3DVertex& v = vertices[4 * q + c];
			EXPECT_EQ(v.Pos, core::vector3df(f32(q), 0, 0)) << q;
			EXPECT_EQ(v.Normal, core::vector3df(f32(q) / 1000.f, f32(100000 + q) / 1000.f, 0)) << q;
		}
	const core::vector2df corners[4] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
	const u16* indices = data->Quads->getIndices();
	for (u32 c = 0; c < 4; ++c)
		EXPECT_EQ(vertices[4 * 16383 + c].TCoords, corners[c]);
	const u16 last[6] = {65532, 65534, 65533, 65532, 65535, 65534};
	for (u32 i = 0; i < 6; ++i)
		EXPECT_EQ(indices[6 * 16383 + i], last[i]);

	// A second node shares them; the last one to go frees them. A node that
	// never drew holds none.
	CZeParticleSystemSceneNode* few = stillNode<CZeParticleSystemSceneNode>(Smgr, 0u);
	few->getEmitter().addStaticParticle(0.f, 0.f, 0.f, 0, 1000);
	stillNode<CZeParticleSystemSceneNode>(Smgr, 0u);
	EXPECT_EQ(primitives([&] { few->render(); }), 2u);
	EXPECT_EQ(CZeParticleSystemSceneNode::getQuadData(), data);
	EXPECT_EQ(data->References, 2u);
	many->remove();
	EXPECT_EQ(data->References, 1u);
	Smgr->clear();
	EXPECT_EQ(CZeParticleSystemSceneNode::getQuadData(), nullptr);
}

// The scene-manager service of a NULL-driver engine.
TEST(ParticleNodeService, MakesPlainNodesInTheGraphInEachForm)
{
	setenv("ZELV_DRIVER", "null", 1);
	char tmp[] = "/tmp/zeparticlenodeXXXXXX";
	ASSERT_NE(mkdtemp(tmp), nullptr);
	zeInstallEngineCore();
	SZeServiceFactories factories = {};
	factories.createSceneManager = zeCreateSceneManagerServiceScene;
	zeRegisterServiceFactories(factories);
	SZeSetupParams params;
	zeInitSetupParams(&params);
	params.windowed = 1;
	params.width = 64;
	params.height = 48;
	params.dataPrefix = tmp;
	ASSERT_EQ(zeSetup(&params), 0);
	IZeSceneManager* service = zeGetManager()->getSceneManager();
	scene::ISceneManager* smgr = zeGetContext()->sceneManager;

	IZeParticleSystemSceneNode* shared = service->addParticleSystemSceneNode(nullptr, 7);
	ASSERT_NE(shared, nullptr);
	EXPECT_EQ(dynamic_cast<CZeGLParticleSystemSceneNode*>(shared), nullptr) << "the NULL driver draws plain quads";
	EXPECT_EQ(shared->getParent(), smgr->getRootSceneNode());
	EXPECT_EQ(shared->getID(), 7);
	EXPECT_EQ(shared->getReferenceCount(), 1) << "the graph's reference only";
	EXPECT_EQ(static_cast<CZeParticleSystemSceneNode*>(shared)->getEmitter().getState().sharedPool, 1);

	IZeParticleSystemSceneNode* own = service->addParticleSystemSceneNodeEx(3, shared, 8);
	ASSERT_NE(own, nullptr);
	EXPECT_EQ(own->getParent(), shared);
	EXPECT_EQ(own->getReferenceCount(), 1);
	const SZeFxEmitterState& state = static_cast<CZeParticleSystemSceneNode*>(own)->getEmitter().getState();
	EXPECT_EQ(state.sharedPool, 0);
	EXPECT_EQ(state.pool->records.size(), ZE_PRIVATE_PARTICLE_POOL_CAPACITY);

	EXPECT_EQ(service->addParticleSystemSceneNodeOnMesh(nullptr), nullptr);
	scene::SMesh* mesh = new scene::SMesh();
	scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
	buffer->Vertices.push_back(video::S3DVertex());
	mesh->addMeshBuffer(buffer);
	buffer->drop();
	scene::IMeshSceneNode* meshNode = smgr->addMeshSceneNode(mesh);
	mesh->drop();
	IZeParticleSystemSceneNode* onMesh = service->addParticleSystemSceneNodeOnMesh(meshNode);
	ASSERT_NE(onMesh, nullptr);
	EXPECT_EQ(onMesh->getFxEmitter()->getParticleCount(), 1u);
	EXPECT_EQ(onMesh->getReferenceCount(), 1);
	zeTerm();
	zeRegisterServiceFactories(SZeServiceFactories());
	zeSetDataPrefix("");
	unsetenv("ZELV_DRIVER");
	std::error_code ignored;
	std::filesystem::remove_all(tmp, ignored);
}
