// The object API where it needs the OpenGL driver (Xvfb in the test run): cube
// maps bound to objects by ID, and point-cloud objects drawn.
#include "api/ZeCubeMapApi.h"
#include "api/ZeObjectApi.h"
#include "core/IZeCubeMap.h"
#include "core/IZeManager.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "render/IZeSceneNodeExt.h"
#include "render/ZeRenderFactories.h"
#include "scene/CZeSceneManagerServiceScene.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include "frame/ZeTestDisplay.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

using namespace irr;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const int W = 160;
const int H = 120;

std::string pendingError(int* code)
{
	const char* text = zeGetError(code);
	return text ? text : "";
}

// The engine as the program starts it: the rendering pipeline's services with
// the scene content's scene-manager service.
class ObjectApiGL : public ::testing::Test
{
protected:
	void SetUp() override
	{
		if (!getenv("DISPLAY"))
			GTEST_SKIP() << "needs an X display";
		setenv("ZELV_BATCH", "1", 1);
		char pattern[] = "/tmp/zeobjglXXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Tmp = pattern;
		zeInstallEngineCore();
		zeRegisterRenderFactories();
		SZeServiceFactories factories = zeGetServiceFactories();
		factories.createSceneManager = zeCreateSceneManagerServiceScene;
		zeRegisterServiceFactories(factories);
		zeInstallObjectApi();
		zeDisableErrorBoxes();
		zeFileSetCurrentDir(ZELV_SOURCE_DIR "/data/");  // the engine's own shaders
		SZeSetupParams p = zetest::glWindowSetup(W, H);
		p.antialias = p.lightPrePass = 0;
		p.dataPrefix = Tmp.c_str();
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr) << " " << zeGetEngineInitError();
		ASSERT_EQ(zeGetContext()->driver->getDriverType(), video::EDT_OPENGL);
		Box = Tmp + "/box.obj";
		std::ofstream(Box) << "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nf 1 2 3\nf 1 3 4\n";
		zeClearError();
	}
	void TearDown() override
	{
		zeTerm();
		zeRegisterServiceFactories(SZeServiceFactories());
		zeFileSetCurrentDir("");
		zeSetDataPrefix("");
		std::error_code ignored;
		std::filesystem::remove_all(Tmp, ignored);
	}

	std::string Tmp;
	std::string Box;
};
} // namespace

// A cube map goes onto an object's extension by ID (with a reference of its
// own), a missing cube map leaves the extension as it was, another map takes
// its place, and deleting a map takes it off the objects first.
TEST_F(ObjectApiGL, CubeMapsBindToObjectsByIdAndLeaveThemWhenDeleted)
{
	ASSERT_EQ(zeMakeCubeMap(3, 32, 0), 0) << zeGetError(nullptr);
	IZeCubeMap* first = zeGetCubeMap(3);
	ASSERT_NE(first, nullptr);
	EXPECT_EQ(zeCubeMapExist(3), 1);
	EXPECT_NE(first->getCubeTexture(), nullptr);
	EXPECT_EQ(first->getLatLongTexture(), nullptr);
	ASSERT_EQ(zeMakeCubeMap(5, 64, 1), 0) << zeGetError(nullptr);
	IZeCubeMap* second = zeGetCubeMap(5);
	ASSERT_NE(second, nullptr);
	EXPECT_NE(second->getLatLongTexture(), nullptr);

	int code = 0;
	EXPECT_EQ(zeMakeCubeMap(3, 32, 0), -1);
	EXPECT_EQ(pendingError(&code), "invalid CubeMap ID 3 : id 3 already exist");
	EXPECT_EQ(code, 1);
	EXPECT_EQ(zeGetCubeMap(3), first);
	EXPECT_EQ(zeMakeCubeMap(4, 0, 0), -1);
	EXPECT_EQ(pendingError(&code), "Failed to create cube map");
	EXPECT_EQ(code, -1);
	EXPECT_EQ(zeCubeMapExist(4), 0);

	ASSERT_EQ(zeLoadObject(Box.c_str(), 1), 0);
	IZeSceneNodeExt* ext = zeGetNodeExt(zeGetObjectNode(1));
	ASSERT_NE(ext, nullptr);
	const s32 held = first->getReferenceCount();
	zeClearError();
	zeSetObjectCubeMap(1, 3);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
	EXPECT_EQ(ext->getCubeMap(), first);
	EXPECT_EQ(first->getReferenceCount(), held + 1);

	zeSetObjectCubeMap(1, 9);
	EXPECT_EQ(pendingError(&code), "CubeMap ID 9 does not exist. id 9 does not exist");
	EXPECT_EQ(code, 2);
	EXPECT_EQ(ext->getCubeMap(), first);

	zeSetObjectCubeMap(1, 5);
	EXPECT_EQ(ext->getCubeMap(), second);
	EXPECT_EQ(first->getReferenceCount(), held);

	zeDeleteCubeMap(5);
	EXPECT_EQ(ext->getCubeMap(), nullptr);
	EXPECT_EQ(zeCubeMapExist(5), 0);
	ASSERT_EQ(zeMakeCubeMap(5, 32, 0), 0) << "the ID is free again";
	zeDeleteCubeMap(5);
	zeDeleteCubeMap(3);
	zeDeleteObject(1);
}

// A point-cloud object puts its points where its mesh is: four tiny triangles
// of equal area with one point each light the pixels they project to.
TEST_F(ObjectApiGL, PointCloudObjectLightsThePixelsOfItsPoints)
{
	const f32 side = 1.0f / 256.0f;  // exact in floats: the areas are exactly equal
	const std::vector<core::vector3df> corners = {{-2, 1, 0}, {1.5f, 1.25f, 0}, {0.5f, -1.5f, 0}, {-1, -0.5f, 0}};
	std::ofstream obj(Tmp + "/dots.obj");
	obj.precision(10);
	for (const core::vector3df& c : corners)
		obj << "v " << c.X << ' ' << c.Y << " 0\nv " << c.X + side << ' ' << c.Y << " 0\nv " << c.X << ' ' << c.Y + side
			<< " 0\n";
	for (int i = 0; i < 4; ++i)
		obj << "f " << 3 * i + 1 << ' ' << 3 * i + 3 << ' ' << 3 * i + 2 << '\n';
	obj.close();
	ASSERT_EQ(zeLoadObjectPointCloud((Tmp + "/dots.obj").c_str(), 2, 4), 0) << zeGetError(nullptr);
	scene::ISceneNode* node = zeGetObjectNode(2);
	ASSERT_NE(node, nullptr);
	// The colours hold the points' running indices: the material shows them white.
	for (u32 i = 0; i < node->getMaterialCount(); ++i)
	{
		video::SMaterial& m = node->getMaterial(i);
		m.Lighting = true;
		m.ColorMaterial = video::ECM_NONE;
		m.EmissiveColor = video::SColor(255, 255, 255, 255);
		m.AmbientColor = m.DiffuseColor = video::SColor(255, 0, 0, 0);
	}
	scene::ISceneManager* smgr = zeGetContext()->sceneManager;
	smgr->setAmbientLight(video::SColorf(0, 0, 0));
	scene::ICameraSceneNode* camera = smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -6), core::vector3df(0, 0, 0));
	smgr->setActiveCamera(camera);

	video::IVideoDriver* driver = zeGetContext()->driver;
	driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
	smgr->drawAll();
	std::vector<u8> rgba(static_cast<size_t>(W) * H * 4);
	glReadBuffer(GL_BACK);
	glPixelStorei(GL_PACK_ALIGNMENT, 1);
	glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
	driver->endScene();
	auto white = [&](int x, int y) {
		if (x < 0 || y < 0 || x >= W || y >= H)
			return false;
		const u8* p = &rgba[(static_cast<size_t>(H - 1 - y) * W + x) * 4];
		return p[0] > 200 && p[1] > 200 && p[2] > 200;
	};
	int lit = 0;
	for (int y = 0; y < H; ++y)
		for (int x = 0; x < W; ++x)
			lit += white(x, y);
	EXPECT_GE(lit, 4);
	EXPECT_LE(lit, 4 * 4) << "points, not triangles";
	for (const core::vector3df& c : corners)
	{
		// OBJ files are right-handed: they arrive mirrored in X.
		const core::vector3df point(-c.X, c.Y, c.Z);
		const core::position2di at = smgr->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(point, camera);
		bool found = false;
		for (int dy = -1; dy <= 1; ++dy)
			for (int dx = -1; dx <= 1; ++dx)
				found = found || white(at.X + dx, at.Y + dy);
		EXPECT_TRUE(found) << c.X << " " << c.Y << " at " << at.X << "," << at.Y;
	}
	zeDeleteObject(2);
}

// What the API still holds when the engine shuts down goes with it: the cube
// map's references are dropped (the object's and the table's) and the object's
// node leaves the scene before the device goes.
TEST_F(ObjectApiGL, EngineShutdownDeletesWhatTheTablesStillHold)
{
	ASSERT_EQ(zeMakeCubeMap(2, 32, 0), 0) << zeGetError(nullptr);
	IZeCubeMap* map = zeGetCubeMap(2);
	ASSERT_EQ(zeLoadObject(Box.c_str(), 7), 0);
	zeSetObjectCubeMap(7, 2);
	scene::ISceneNode* node = zeGetObjectNode(7);
	ASSERT_NE(node, nullptr);
	map->grab();
	node->grab();
	zeTerm();
	EXPECT_EQ(node->getParent(), nullptr);
	node->drop();  // the node's extension goes with it, and its hold on the map
	EXPECT_EQ(map->getReferenceCount(), 1);
	map->drop();
}
