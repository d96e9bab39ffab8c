// The engine manager and its services, the engine log, the texture manager,
// the scene-manager service, light parameters and periodic noise. Cases whose
// fixture ends in GL open an OpenGL window (Xvfb in the test run).
#include "core/CZeManager.h"
#include "core/IZeGpuProgramming.h"
#include "core/IZeServices.h"
#include "core/SZeLightExtParams.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "libext/CZeMeshSceneNodes.h"
#include "libext/IZeVideoDriverExt.h"

#include "ZeCoreTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace irr;
using Events = std::vector<std::string>;

namespace
{
Events g_events;
using zecoretest::g_lines;
using zecoretest::linesWith;
IZeManager* g_factoryManager = nullptr;

void traceCore(const char* service, bool created) { g_events.push_back(std::string(created ? "+" : "-") + service); }

// Writes "+name" when made and "-name" when deleted.
struct Recorded
{
	std::string Name;
	explicit Recorded(const char* name) : Name(name) { g_events.push_back("+" + Name); }
	~Recorded() { g_events.push_back("-" + Name); }
};

struct FakeScene : IZeSceneManager
{
	Recorded R{"scene"};
	scene::ISceneNode* addMeshSceneNode(const char*, scene::ISceneNode*, s32) override { return nullptr; }
	scene::ISceneNode* cloneSceneNode(scene::ISceneNode*) override { return nullptr; }
	void setMeshVertexIndexColors(scene::IMesh*) override {}
	void setSceneTime(u32) override {}
	u32 getSceneTime() const override { return 0; }
};
struct FakeSurfaces : IZeSurfaceManager
{
	Recorded R{"surface"};
	IZeSurface* createSurfaceByType(u32) override { return nullptr; }
};
struct FakeCtx : IZeRendererCtx
{
	SZeClearRecord Record{0, 0};
	SZeClearRecord* getClearColor() override { return &Record; }
};
struct FakeRenderer : IZeRenderer
{
	bool render(video::ITexture*) override { return true; }
};
struct FakeRenderers : IZeRendererManager
{
	Recorded R{"renderer"};
	bool createRenderTargets(ze::ECOLOR_FORMAT, const core::dimension2d<u32>*) override { return true; }
	IZeRendererCtx* createRendererCtx() override { return new FakeCtx; }
	IZeRenderer* createRendererSimple(IrrlichtDevice*, IZeRendererCtx*) override { return new FakeRenderer; }
	IZeRendererCtxAdv* createRendererCtxAdv(const SZeRendererShaderFiles&) override { return nullptr; }
	IZeRenderer* createRendererLpp(IrrlichtDevice*, IZeManager*, IZeRendererCtxAdv*, const SZeRendererDesc&) override
	{
		return nullptr;
	}
	IZeRenderer* createRendererCmds(IrrlichtDevice*, IZeManager*, IZeRendererCtxAdv*, const SZeRendererDesc&) override
	{
		return nullptr;
	}
	bool createCommandTextures(const SZeRendererDesc&) override { return false; }
	IZeLastFrameInfo* getLastFrameInfo() override { return nullptr; }
};
using Nodes = core::array<scene::ISceneNode*>;
struct FakeRenderServices : IZeRenderServices
{
	Recorded R{"renderservices"};
	bool setRenderTargets(video::ITexture* const*, u32) override { return true; }
	bool drawScreenQuad(IZeEffect*, u32, u32, video::ITexture*) override { return true; }
	bool drawScreenQuadTextures(IZeEffect*, u32, u32, video::ITexture* const*, u32) override { return true; }
	bool copyTexture(video::ITexture*) override { return true; }
	bool renderNodes(const Nodes&, scene::E_SCENE_NODE_RENDER_PASS, const char*, const video::SOverrideMaterial*, u32, u32, u32*) override { return true; }
	void getLightList(Nodes&) override {}
	void getSolidNodeList(Nodes&) override {}
	void getTransparentNodeList(Nodes&) override {}
	void getTransparentEffectNodeList(Nodes&) override {}
	void getVisibleNodes(Nodes&) override {}
	void getVisibleExtNodes(Nodes&) override {}
	void filterExtNodes(Nodes&, const Nodes&) override {}
	bool renderCubeMap(ze::ITextureCUBE*, video::ITexture*, const core::vector3df&, IZeRenderer*) override { return true; }
	bool clearCubeMap(ze::ITextureCUBE*) override { return true; }
	bool cubeToLatLong(ze::ITextureCUBE*, video::ITexture*) override { return true; }
};
// The effect manager's interface lives above the engine core: the manager only
// holds the pointer and hands it back to the deleter.
struct FakeEffects
{
	Recorded R{"effect"};
};
struct FakeResources : IZeResourceManager
{
	Recorded R{"resource"};
	bool loadEngineEffects() override { return false; }
	IZeEffect* getCubeToLatLongEffect() override { return nullptr; }
};

SZeServiceFactories fakeFactories()
{
	SZeServiceFactories f = {};
	f.createSceneManager = [](IZeManager* m) -> IZeSceneManager* { g_factoryManager = m; return new FakeScene; };
	f.createSurfaceManager = [](IZeManager*) -> IZeSurfaceManager* { return new FakeSurfaces; };
	f.createRendererManager = [](IZeManager*) -> IZeRendererManager* { return new FakeRenderers; };
	f.createRenderServices = [](IZeManager*) -> IZeRenderServices* { return new FakeRenderServices; };
	f.createEffectManager = [](IZeManager*) { return reinterpret_cast<IZeEffectManager*>(new FakeEffects); };
	f.deleteEffectManager = [](IZeEffectManager* m) { delete reinterpret_cast<FakeEffects*>(m); };
	f.createResourceManager = [](IZeManager*) -> IZeResourceManager* { return new FakeResources; };
	return f;
}

class EngineTest : public zecoretest::CoreFixture
{
protected:
	EngineTest() : CoreFixture("/tmp/zelv-core-XXXXXX") {}
	void SetUp() override
	{
		g_events.clear();
		CoreFixture::SetUp();
	}
	void TearDown() override
	{
		CoreFixture::TearDown();
		zeSetServiceTrace(nullptr);
	}
	std::string path(const std::string& name) const { return Tmp + "/" + name; }
	void write(const std::string& name, const std::string& bytes)
	{
		std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
		std::ofstream(path(name), std::ios::binary) << bytes;
	}
};
class EngineGL : public EngineTest
{
protected:
	bool useGL() const override { return true; }
};
} // namespace

// ---- The manager's services ------------------------------------------------------
TEST_F(EngineTest, ServicesAreMadeInOrderAndDeletedInReverse)
{
	const Events made = { "+gpu", "+texture", "+scene", "+surface", "+renderer", "+driverext", "+renderservices",
		"+effect", "+resource" };
	const Events deleted = { "-resource", "-effect", "-renderservices", "-driverext", "-renderer", "-surface",
		"-scene", "-texture", "-gpu" };
	for (bool ownScene : { false, true })
	{
		SCOPED_TRACE(ownScene ? "the core's scene service" : "a factory's scene service");
		SZeServiceFactories factories = fakeFactories();
		if (ownScene)
			factories.createSceneManager = nullptr;
		zeRegisterServiceFactories(factories);
		zeSetServiceTrace(traceCore);
		g_events.clear();
		g_lines.clear();
		ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
		IZeManager* m = zeGetManager();
		ASSERT_NE(m, nullptr);
		EXPECT_EQ(g_events, made);
		EXPECT_EQ(dynamic_cast<FakeScene*>(m->getSceneManager()) != nullptr, !ownScene);
		if (!ownScene)
		{
			EXPECT_EQ(g_factoryManager, m);
		}
		EXPECT_NE(m->getGpuProgramming(), nullptr);
		EXPECT_NE(m->getVideoDriverExt(), nullptr);
		EXPECT_NE(dynamic_cast<FakeRenderServices*>(m->getRenderServices()), nullptr);
		EXPECT_NE(dynamic_cast<FakeResources*>(m->getResourceManager()), nullptr);
		// The shared effects failing to load is not fatal.
		EXPECT_EQ(linesWith("WARN : ZeEngine: the engine's shared effects did not load"), 1);
			g_events.clear();
		zeTerm();
		EXPECT_EQ(g_events, deleted);
		EXPECT_EQ(zeGetManager(), nullptr);
	}
}

TEST_F(EngineTest, MissingRenderServicesFailSetupAndLeaveNoManager)
{
	SZeServiceFactories factories = fakeFactories();
	factories.createRenderServices = [](IZeManager*) -> IZeRenderServices* { return nullptr; };
	zeRegisterServiceFactories(factories);
	zeSetServiceTrace(traceCore);
	EXPECT_EQ(zeSetup(&Params), -1);
	const char* error = zeGetError(nullptr);
	ASSERT_NE(error, nullptr);
	EXPECT_EQ(std::string(error).rfind("Setup failed: ", 0), 0u) << error;
	EXPECT_NE(std::string(error).find("render services"), std::string::npos) << error;
	EXPECT_EQ(zeGetManager(), nullptr);
	EXPECT_EQ(zeIsSetup(), 0);
	const Events expected = { "+gpu", "+texture", "+scene", "+surface", "+renderer", "+driverext", "-driverext",
		"-renderer", "-surface", "-scene", "-texture", "-gpu" };
	EXPECT_EQ(g_events, expected);

	// Nothing is left over that would stop the next start.
	zeRegisterServiceFactories(fakeFactories());
	EXPECT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	EXPECT_NE(zeGetManager(), nullptr);
}

TEST_F(EngineTest, EffectManagerFactoryIsUsedOnlyWithItsDeleter)
{
	SZeServiceFactories factories = fakeFactories();
	factories.deleteEffectManager = nullptr;
	zeRegisterServiceFactories(factories);
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	EXPECT_EQ(zeGetManager()->getEffectManager(), nullptr);
	EXPECT_EQ(std::count(g_events.begin(), g_events.end(), "+effect"), 0);
	EXPECT_EQ(linesWith("ERROR : CZeManager: an effect-manager factory needs its deleter"), 1);
}

namespace
{
struct LogReceiver : IEventReceiver
{
	std::vector<std::pair<std::string, ELOG_LEVEL>> Seen;
	bool OnEvent(const SEvent& event) override
	{
		if (event.EventType != EET_LOG_TEXT_EVENT)
			return false;
		Seen.emplace_back(event.LogEvent.Text, event.LogEvent.Level);
		return true;
	}
};
} // namespace

TEST_F(EngineTest, EngineLogReachesTheDeviceLoggerFromItsLevelUp)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	IrrlichtDevice* device = zeGetContext()->device;
	IEventReceiver* before = device->getEventReceiver();
	LogReceiver receiver;
	device->setEventReceiver(&receiver);
	device->getLogger()->setLogLevel(ELL_WARNING);
	for (int level = 0; level <= 3; ++level)
		zeEngineLog(level, "message %d", level);
	using Seen = std::vector<std::pair<std::string, ELOG_LEVEL>>;
	EXPECT_EQ(receiver.Seen, (Seen{ { "message 2", ELL_WARNING }, { "message 3", ELL_ERROR } }));

	receiver.Seen.clear();
	device->getLogger()->setLogLevel(ELL_DEBUG);
	zeEngineLog(0, "debug %s", "text");
	zeEngineLog(1, "%s", std::string(3000, 'x').c_str());
	ASSERT_EQ(receiver.Seen.size(), 2u);
	EXPECT_EQ(receiver.Seen[0], (Seen::value_type{ "debug text", ELL_DEBUG }));
	EXPECT_EQ(receiver.Seen[1].first, std::string(1023, 'x'));
	EXPECT_EQ(receiver.Seen[1].second, ELL_INFORMATION);
	device->setEventReceiver(before);
}

// The engine core's lines are lines of the engine log: its level prefix and
// its threshold ("-userlog" keeps only warnings and errors). The library's own
// information, its version banner first, is debug.
TEST_F(EngineTest, EngineLogLinesCarryTheLevelAndFollowTheThreshold)
{
	struct LevelKept
	{
		~LevelKept() { zeSetLogLevel(EZELL_INFO); }
	} restore;
	zeSetLogLevel(EZELL_INFO);
	// Nothing reaches the standard output past the engine log either.
	const std::string out = Tmp + "/stdout.txt";
	std::fflush(stdout);
	const int savedStdout = dup(1);
	const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
	ASSERT_GE(file, 0);
	dup2(file, 1);
	close(file);
	const int setup = zeSetup(&Params);
	std::fflush(stdout);
	dup2(savedStdout, 1);
	close(savedStdout);
	ASSERT_EQ(setup, 0) << zeGetError(nullptr);
	std::ifstream printed(out);
	const std::string text((std::istreambuf_iterator<char>(printed)), std::istreambuf_iterator<char>());
	EXPECT_EQ(text.find("Irrlicht Engine version"), std::string::npos) << text;
	EXPECT_EQ(linesWith("Irrlicht Engine version"), 0);
	g_lines.clear();
	zeEngineLog(2, "core warning %d", 7);
	zeEngineLog(1, "core information");
	zeEngineLog(0, "core debug");
	EXPECT_EQ(g_lines, (std::vector<std::string>{ "WARN : core warning 7\n", "INFO : core information\n" }));

	g_lines.clear();
	zeSetLogLevel(EZELL_WARN);
	zeEngineLog(1, "dropped information");
	zeEngineLog(3, "core error");
	EXPECT_EQ(g_lines, (std::vector<std::string>{ "ERROR : core error\n" }));
	zeTerm();

	zeSetLogLevel(EZELL_DEBUG);
	g_lines.clear();
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	EXPECT_EQ(linesWith("DEBUG : Irrlicht Engine version 1.8"), 1);
	g_lines.clear();
	zeEngineLog(0, "core debug");
	EXPECT_EQ(g_lines, (std::vector<std::string>{ "DEBUG : core debug\n" }));
}

TEST_F(EngineTest, StartsAndStopsTenTimesWithoutAManagerLeftBetween)
{
	for (int i = 0; i < 10; ++i)
	{
		ASSERT_EQ(zeSetup(&Params), 0) << "run " << i << ": " << zeGetError(nullptr);
		IZeManager* m = zeGetManager();
		ASSERT_NE(m, nullptr);
		EXPECT_NE(m->getGpuProgramming(), nullptr);
		EXPECT_NE(m->getTextureManager(), nullptr);
		EXPECT_NE(m->getSceneManager(), nullptr);
		EXPECT_NE(m->getVideoDriverExt(), nullptr);
		EXPECT_EQ(m->getRendererManager(), nullptr);
		EXPECT_EQ(zeGetCurrentRenderer(), nullptr);
		zeTerm();
		EXPECT_EQ(zeGetManager(), nullptr) << "run " << i;
	}
}

TEST_F(EngineGL, StartsAndStopsTenTimesWithItsDummyTarget)
{
	for (int i = 0; i < 10; ++i)
	{
		ASSERT_EQ(zeSetup(&Params), 0) << "run " << i << ": " << zeGetError(nullptr);
		ASSERT_NE(zeGetManager(), nullptr);
		video::ITexture* dummy = ze::findTexture(zeGetContext()->driver, "DummyRenderTarget");
		ASSERT_NE(dummy, nullptr);
		EXPECT_TRUE(dummy->isRenderTarget());
		EXPECT_EQ(dummy->getSize(), core::dimension2d<u32>(32, 32));
		EXPECT_EQ(zeRenderDummyFrame(), 0);
		zeTerm();
		EXPECT_EQ(zeGetManager(), nullptr) << "run " << i;
	}
}

// ---- Texture manager -------------------------------------------------------------
namespace
{
// A DDS cube of size x size A8R8G8B8 faces, each of one colour.
std::string ddsCube(u32 size, const u32 (&faces)[6])
{
	u32 h[32] = {};
	h[0] = 0x20534444;  // "DDS "
	h[1] = 124;
	h[2] = 0x100F;      // caps, height, width, pitch, pixel format
	h[3] = h[4] = size;
	h[5] = size * 4;
	h[19] = 32;
	h[20] = 0x41;       // RGB with alpha
	h[22] = 32;
	h[23] = 0x00FF0000, h[24] = 0x0000FF00, h[25] = 0x000000FF, h[26] = 0xFF000000;
	h[27] = 0x1008;     // complex texture
	h[28] = 0xFE00;     // cube with all six faces
	std::string bytes(reinterpret_cast<const char*>(h), sizeof(h));
	for (u32 colour : faces)
		for (u32 i = 0; i < size * size; ++i)
			bytes.append(reinterpret_cast<const char*>(&colour), 4);
	return bytes;
}
} // namespace

TEST_F(EngineGL, TextureManagerLoadsOnceFindsInItsFolderAndKeepsTheMipFlag)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	video::IVideoDriver* driver = zeGetContext()->driver;
	IZeTextureManager* textures = zeGetManager()->getTextureManager();
	video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(4, 4));
	image->fill(video::SColor(255, 10, 20, 30));
	std::filesystem::create_directories(path("fx"));
	ASSERT_TRUE(driver->writeImageToFile(image, path("fx/brick.png").c_str()));
	ASSERT_TRUE(driver->writeImageToFile(image, path("fx/stone.png").c_str()));
	image->drop();

	// Neither the name nor the data folders hold it: only the texture folder does.
	EXPECT_EQ(textures->getTexture("brick.png", false), nullptr);
	textures->setTextureFolder("fx/");
	driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, true);
	video::ITexture* brick = textures->getTexture("brick.png", false);
	ASSERT_NE(brick, nullptr);
	EXPECT_EQ(textures->getTexture("brick.png", false), brick);
	EXPECT_EQ(brick->getSize(), core::dimension2d<u32>(4, 4));
	EXPECT_FALSE(brick->hasMipMaps());
	EXPECT_TRUE(driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS));
	driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, false);
	video::ITexture* stone = textures->getTextureAuto("stone.png", true);
	ASSERT_NE(stone, nullptr);
	EXPECT_TRUE(stone->hasMipMaps());
	EXPECT_FALSE(driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS));
	EXPECT_EQ(textures->findTexture(stone->getName().getPath().c_str()), stone);

	// A cube image comes back as a cube texture, by kind and automatically.
	const u32 faces[6] = { 0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF808080, 0xFFFFFFFF, 0x80102030 };
	write("fx/sky.dds", ddsCube(4, faces));
	video::ITexture* sky = textures->getTextureAuto("sky.dds", false);
	ASSERT_NE(sky, nullptr);
	EXPECT_EQ(ze::getTextureKind(sky), ze::ETK_CUBE);
	EXPECT_EQ(textures->getTextureOfKind("sky.dds", ze::ETK_CUBE), sky);
	EXPECT_EQ(textures->getTextureOfKind("sky.dds", ze::ETK_3D), nullptr);
	std::vector<float> rgba;
	for (u32 face = 0; face < 6; ++face)
	{
		ASSERT_TRUE(ze::readTexture(sky, &rgba, face));
		ASSERT_EQ(rgba.size(), 4u * 16u);
		const video::SColor want(faces[face]);
		EXPECT_NEAR(rgba[0] * 255.f, want.getRed(), 0.5f) << "face " << face;
		EXPECT_NEAR(rgba[1] * 255.f, want.getGreen(), 0.5f) << "face " << face;
		EXPECT_NEAR(rgba[2] * 255.f, want.getBlue(), 0.5f) << "face " << face;
		EXPECT_NEAR(rgba[3] * 255.f, want.getAlpha(), 0.5f) << "face " << face;
	}
}

TEST_F(EngineGL, RenderTexturesAreCachedBySizeAndFormat)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	IZeTextureManager* textures = zeGetManager()->getTextureManager();
	const core::dimension2d<u32> small(64, 32), large(128, 64);
	video::ITexture* a = textures->getRenderTexture(small, ze::ECF_A8R8G8B8);
	ASSERT_NE(a, nullptr);
	EXPECT_TRUE(a->isRenderTarget());
	EXPECT_EQ(a->getSize(), small);
	EXPECT_EQ(textures->getRenderTexture(small, ze::ECF_A8R8G8B8), a);
	video::ITexture* f = textures->getRenderTexture(small, ze::ECF_A16B16G16R16F);
	video::ITexture* b = textures->getRenderTexture(large, ze::ECF_A8R8G8B8);
	ASSERT_NE(f, nullptr);
	ASSERT_NE(b, nullptr);
	EXPECT_NE(f, a);
	EXPECT_NE(b, a);
	EXPECT_EQ(ze::getTextureFormat(f), ze::ECF_A16B16G16R16F);
	EXPECT_EQ(b->getSize(), large);
	EXPECT_EQ(textures->getRenderTexture(small, ze::ECF_A16B16G16R16F), f);
}

// ---- Scene-manager service -------------------------------------------------------
TEST_F(EngineTest, MeshNodesAreStaticOrAnimatedByTheMeshsFrames)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	IZeSceneManager* scenes = zeGetManager()->getSceneManager();
	scene::ISceneManager* smgr = zeGetContext()->sceneManager;
	write("tri.obj", "v -1 -1 0\nv 1 -1 0\nv 0 1 0\nf 1 2 3\n");
	const std::string frame = "xof 0303txt 0032\nFrame Root {\n FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
		" Mesh Tri { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n}\n";
	write("still.x", frame);
	write("moving.x", frame + "AnimationSet Move {\n Animation { {Root}\n"
		"  AnimationKey { 2; 2; 0;3;0.0,0.0,0.0;;, 40;3;1.0,0.0,0.0;;; }\n }\n}\n");

	scene::ISceneNode* obj = scenes->addMeshSceneNode(path("tri.obj").c_str());
	ASSERT_NE(obj, nullptr);
	EXPECT_NE(dynamic_cast<ze::CZeMeshSceneNode*>(obj), nullptr);
	EXPECT_EQ(obj->getParent(), smgr->getRootSceneNode());
	scene::ISceneNode* still = scenes->addMeshSceneNode(path("still.x").c_str(), obj, 42);
	ASSERT_NE(still, nullptr);
	EXPECT_NE(dynamic_cast<ze::CZeMeshSceneNode*>(still), nullptr);
	EXPECT_EQ(still->getParent(), obj);
	EXPECT_EQ(still->getID(), 42);
	scene::ISceneNode* moving = scenes->addMeshSceneNode(path("moving.x").c_str());
	ASSERT_NE(moving, nullptr);
	EXPECT_NE(dynamic_cast<ze::CZeAnimatedMeshSceneNode*>(moving), nullptr);

	EXPECT_EQ(scenes->addMeshSceneNode(path("nosuch.obj").c_str()), nullptr);
	EXPECT_EQ(linesWith("ERROR : CZeSceneManagerService: cannot load mesh"), 1);

	// A truncated ".x" file is refused, not handed on to the library's own
	// loader (which would show what it could read of it).
	write("cut.x", frame.substr(0, frame.size() - 12));
	EXPECT_EQ(scenes->addMeshSceneNode(path("cut.x").c_str()), nullptr);
	EXPECT_EQ(linesWith("ZeXMesh: cannot load"), 1);
	EXPECT_EQ(linesWith("ERROR : CZeSceneManagerService: cannot load mesh"), 2);
	// A second request for a loaded file uses the loaded mesh.
	scene::ISceneNode* again = scenes->addMeshSceneNode(path("still.x").c_str());
	ASSERT_NE(again, nullptr);
	EXPECT_EQ(static_cast<scene::IMeshSceneNode*>(again)->getMesh(), static_cast<scene::IMeshSceneNode*>(still)->getMesh());

	scene::ISceneNode* copy = scenes->cloneSceneNode(still);
	ASSERT_NE(copy, nullptr);
	EXPECT_NE(copy, still);
	EXPECT_NE(dynamic_cast<ze::CZeMeshSceneNode*>(copy), nullptr);
	EXPECT_EQ(copy->getParent(), obj);
	EXPECT_EQ(scenes->cloneSceneNode(nullptr), nullptr);

	scenes->setSceneTime(123456u);
	EXPECT_EQ(scenes->getSceneTime(), 123456u);

	// The nodes draw the buffers' vertices as they are: their boxes are the
	// vertices' boxes, not the library's, which adds the frames' moves and the origin.
	const std::string moved = "xof 0303txt 0032\nFrame Root {\n FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,5,6,7,1;; }\n"
		" Mesh Tri { 3; 2;2;2;, 3;2;2;, 2;3;2;; 1; 3;0,1,2;; }\n}\n";
	write("moved.x", moved);
	write("moved-moving.x", moved + "AnimationSet Move {\n Animation { {Root}\n"
		"  AnimationKey { 2; 2; 0;3;5.0,6.0,7.0;;, 40;3;6.0,6.0,7.0;;; }\n }\n}\n");
	for (const char* name : { "moved.x", "moved-moving.x" })
	{
		SCOPED_TRACE(name);
		scene::ISceneNode* node = scenes->addMeshSceneNode(path(name).c_str());
		ASSERT_NE(node, nullptr);
		node->OnAnimate(20);
		EXPECT_EQ(node->getBoundingBox(), core::aabbox3df(2, 2, 2, 3, 3, 2));
	}
}

TEST_F(EngineTest, VertexColoursCarryARunningIndexOverAllBuffers)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	scene::SMesh mesh;
	scene::SMeshBuffer* plain = new scene::SMeshBuffer();
	for (int i = 0; i < 3; ++i)
		plain->Vertices.push_back(video::S3DVertex(0, 0, 0, 0, 0, 1, video::SColor(0xFFFFFFFF), 0, 0));
	scene::SMeshBufferTangents* tangents = new scene::SMeshBufferTangents();
	for (int i = 0; i < 70000; ++i)
		tangents->Vertices.push_back(video::S3DVertexTangents());
	mesh.addMeshBuffer(plain);
	mesh.addMeshBuffer(tangents);
	plain->drop();
	tangents->drop();
	const u32 changed = tangents->getChangedID_Vertex();

	zeGetManager()->getSceneManager()->setMeshVertexIndexColors(&mesh);
	for (u32 i = 0; i < 3; ++i)
		EXPECT_EQ(plain->Vertices[i].Color.color, i);
	for (u32 index : { 3u, 258u, 65539u, 70002u })
	{
		const video::SColor c = tangents->Vertices[index - 3].Color;
		EXPECT_EQ(c.getAlpha(), 0u);
		EXPECT_EQ(c.getRed(), (index >> 16) & 255u);
		EXPECT_EQ(c.getGreen(), (index >> 8) & 255u);
		EXPECT_EQ(c.getBlue(), index & 255u);
	}
	EXPECT_NE(tangents->getChangedID_Vertex(), changed);
}

// ---- Light parameters and noise ------------------------------------------------
TEST(LightExtParams, StartAtTheirDefaultsAndResetToThem)
{
	SZeLightExtParams p;
	p.ShadowMapSize = 7;
	p.Volumetric = true;
	p.reset();
	EXPECT_EQ(p.Intensity, 1.0f);
	for (int i = 0; i < 4; ++i)
	{
		EXPECT_EQ(p.Color[i], 1.0f);
		EXPECT_EQ(p.ShadowColor[i], i == 3 ? 1.0f : 0.0f);
		EXPECT_EQ(p.VolumetricColor[i], 1.0f);
	}
	EXPECT_EQ(p.ProjectionImage, nullptr);
	EXPECT_EQ(p.ShadowMapSize, 512u);
	EXPECT_EQ(p.ShadowEpsilon, 5.0f);
	EXPECT_EQ(p.ShadowMapFuzz, 0.0f);
	EXPECT_FALSE(p.Volumetric);
	EXPECT_EQ(p.VolumetricDensity, 1.0f);
	EXPECT_FALSE(p.VolumetricUseColor);
	EXPECT_EQ(p.VolumetricBase, 0.0f);
	EXPECT_FALSE(p.ClampIntensity);
	EXPECT_EQ(p.IntensityClamp, 1.0f);
	EXPECT_EQ(p.VolumetricQuality, 0u);
}

TEST(PerlinNoise, StaysInRangeVanishesOnTheLatticeAndSpreads)
{
	std::mt19937 rng(11);
	std::uniform_real_distribution<float> coord(-40.f, 40.f);
	float low = 1.f, high = -1.f;
	for (int i = 0; i < 50000; ++i)
	{
		const float n = zePerlinNoise3Periodic(coord(rng), coord(rng), coord(rng), 4, 5, 6);
		ASSERT_GE(n, -1.f);
		ASSERT_LE(n, 1.f);
		low = std::min(low, n);
		high = std::max(high, n);
	}
	EXPECT_LT(low, -0.5f);
	EXPECT_GT(high, 0.5f);
	for (int x = -3; x <= 3; ++x)
		EXPECT_EQ(zePerlinNoise3Periodic(float(x), float(2 * x), 1.f, 4, 5, 6), 0.f);
}

TEST(PerlinNoise, RepeatsWithItsPeriodsAlsoBelowZeroAndIsContinuousOverTheSeam)
{
	std::mt19937 rng(5);
	std::uniform_real_distribution<float> coord(0.f, 8.f);
	const int px = 4, py = 3, pz = 7;
	for (int i = 0; i < 2000; ++i)
	{
		const float x = coord(rng), y = coord(rng), z = coord(rng);
		const float n = zePerlinNoise3Periodic(x, y, z, px, py, pz);
		EXPECT_NEAR(zePerlinNoise3Periodic(x + px, y, z, px, py, pz), n, 1e-4f);
		EXPECT_NEAR(zePerlinNoise3Periodic(x, y + py, z, px, py, pz), n, 1e-4f);
		EXPECT_NEAR(zePerlinNoise3Periodic(x, y, z + pz, px, py, pz), n, 1e-4f);
		EXPECT_NEAR(zePerlinNoise3Periodic(x - 3 * px, y - 5 * py, z - pz, px, py, pz), n, 1e-4f);
		const float d = 1e-3f;
		EXPECT_NEAR(zePerlinNoise3Periodic(x + d, y - d, z + d, px, py, pz), n, 0.02f);
	}
	// Across the seam where lattice px - 1 meets the wrapped lattice 0.
	for (float y : { 0.3f, 1.7f, 2.9f })
		EXPECT_NEAR(zePerlinNoise3Periodic(px - 1e-4f, y, 0.5f, px, py, pz),
			zePerlinNoise3Periodic(1e-4f, y, 0.5f, px, py, pz), 2e-3f);
}

TEST(PerlinNoise, PeriodZeroDoesNotWrap)
{
	std::mt19937 rng(3);
	std::uniform_real_distribution<float> coord(-10.f, 10.f);
	int differs = 0;
	for (int i = 0; i < 200; ++i)
	{
		const float x = coord(rng), y = coord(rng), z = coord(rng);
		const float n = zePerlinNoise3Periodic(x, y, z, 0, 0, 0);
		ASSERT_TRUE(std::isfinite(n));
		ASSERT_LE(std::fabs(n), 1.f);
		differs += std::fabs(zePerlinNoise3Periodic(x + 4, y, z, 0, 0, 0) - n) > 1e-3f;
		EXPECT_NEAR(zePerlinNoise3Periodic(x + 4, y, z, 4, 0, 0), zePerlinNoise3Periodic(x, y, z, 4, 0, 0), 1e-4f);
	}
	EXPECT_GT(differs, 150);
}
