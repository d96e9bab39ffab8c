// The object API on the NULL driver, with objects from .obj files written here.
#include "api/SZeApiItems.h"
#include "api/ZeApiItems.h"
#include "api/ZeCubeMapApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectApi.h"
#include "scene/CZeSceneManagerServiceScene.h"
#include "scene/IZeMorphMesh.h"
#include "scene/IZeMorphMeshSceneNode.h"
#include "core/IZeManager.h"
#include "core/IZeRenderer.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "frame/ZeTestFifo.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeObjectFileWriter.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurface.h"
#include "render/ZeRenderFactories.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

using namespace irr;

namespace
{
std::vector<std::string> g_log;
void captureLog(const char* line) { g_log.push_back(line); }

// The pending error's text, "" when none, and its argument number.
std::string pendingError(int* code)
{
	const char* text = zeGetError(code);
	return text ? text : "";
}

class ObjectApiTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_DRIVER", "null", 1);
		setenv("ZELV_BATCH", "1", 1);
		char pattern[] = "/tmp/zeobjXXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Tmp = pattern;
		zeInstallEngineCore();
		zeRegisterRenderFactories();
		zeInstallObjectApi();
		zeDisableErrorBoxes();
		SZeSetupParams params;
		zeInitSetupParams(&params);
		params.windowed = 1;
		params.width = 160;
		params.height = 120;
		ASSERT_EQ(zeSetup(&params), 0);
		g_log.clear();
		zeSetLogSink(captureLog);
		// A box from (-1, -2, -3) to (1, 2, 3) with two materials.
		Box = Tmp + "/box.obj";
		std::ofstream(Tmp + "/box.mtl") << "newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\n";
		std::ofstream(Box) << "mtllib box.mtl\nv -1 -2 -3\nv 1 -2 -3\nv 1 2 3\nv -1 2 3\n"
			"usemtl red\nf 1 2 3\nusemtl blue\nf 1 3 4\n";
		zeClearError();
	}
	void TearDown() override
	{
		zeSetLogSink(nullptr);
		zeTerm();
		std::error_code ignored;
		std::filesystem::remove_all(Tmp, ignored);
	}

	// A PLY file holding one triangle fan with `points` distinct vertices: the
	// library's PLY loader keeps it in one buffer of 16-bit indices whatever its size.
	std::string writeFan(const char* name, int points)
	{
		const std::string path = Tmp + "/" + name;
		std::ofstream out(path);
		out << "ply\nformat ascii 1.0\nelement vertex " << points
			<< "\nproperty float x\nproperty float y\nproperty float z\nelement face " << points - 2
			<< "\nproperty list uchar int vertex_indices\nend_header\n";
		for (int i = 0; i < points; ++i)
			out << i % 256 << ' ' << i / 256 << " 0\n";
		for (int i = 1; i + 1 < points; ++i)
			out << "3 0 " << i << ' ' << i + 1 << '\n';
		return path;
	}

	std::string Tmp;
	std::string Box;
};

const float BOX_HALF_DIAGONAL = 0.5f * std::sqrt(2.0f * 2.0f + 4.0f * 4.0f + 6.0f * 6.0f);

TEST_F(ObjectApiTest, CreationRefusesUsedAndOutOfRangeIdsAndMissingFiles)
{
	ASSERT_EQ(zeLoadObject(Box.c_str(), 3), 0);
	scene::ISceneNode* first = zeGetObjectNode(3);
	ASSERT_NE(first, nullptr);

	int code = 0;
	EXPECT_EQ(zeLoadObject(Box.c_str(), 3), -1);
	EXPECT_EQ(pendingError(&code), "invalid Object ID 3 : id 3 already exist");
	EXPECT_EQ(code, 2);
	EXPECT_EQ(zeGetObjectNode(3), first);

	EXPECT_EQ(zeLoadObject(Box.c_str(), 1000), -1);
	EXPECT_EQ(pendingError(&code), "invalid Object ID 1000 : invalid ID 1000 greater or equals than 1000");
	EXPECT_EQ(code, 2);
	EXPECT_EQ(zeLoadObject(Box.c_str(), -4), -1);
	EXPECT_EQ(pendingError(&code), "invalid Object ID -4 : invalid negative ID -4");

	const std::string missing = Tmp + "/missing.obj";
	EXPECT_EQ(zeLoadObject(missing.c_str(), 4), -1);
	EXPECT_EQ(pendingError(&code), "Failed to load mesh '" + missing + "'");
	EXPECT_EQ(code, 1);
	EXPECT_EQ(zeObjectExist(4), 0);
	EXPECT_EQ(zeLoadObject(Box.c_str(), 4), 0);  // the failed load left the ID free
}

TEST_F(ObjectApiTest, LookUpNamesTheMissingIdWithArgumentOne)
{
	const std::vector<std::function<void()>> calls = {
		[] { EXPECT_EQ(zeObjectVisible(5), 0); },
		[] { zeShowObject(5); },
		[] { zeHideObject(5); },
		[] { EXPECT_EQ(zeCheckObject(5), -1); },
		[] { zePositionObject(5, 1, 2, 3); },
		[] { zeRotateObject(5, 1, 2, 3); },
		[] { zeScaleObject(5, 1, 2, 3); },
		[] { EXPECT_EQ(zeTotalObjectFrames(5), 0); },
		[] { zeSetObjectFrame(5, 1.0f); },
		[] { zeGetObjectMorphCount(5); },
		[] { zeLockObjectOn(5); },
		[] { zeLockObjectOff(5); },
		[] { EXPECT_EQ(zeGetObjectRadius(5), 0.0f); },
		[] { zeSetObjectShadowOn(5); },
		[] { zeSetObjectShadowOff(5); },
		[] { zeEnableObjectCubeMapBox(5, 1); },
		[] { zeSetObjectCubeMapBox(5, 0, 0, 0, 1, 1, 1); },
		[] { zeSetObjectSelectionMask(5, 2); },
		[] { zeSetObjectCubeMap(5, 0); },
	};
	for (size_t i = 0; i < calls.size(); ++i)
	{
		// An older table error must not stand in for the empty slot's text.
		zeLoadObject(Box.c_str(), 2000);
		zeClearError();
		calls[i]();
		int code = 0;
		EXPECT_EQ(pendingError(&code), "Object ID 5 does not exist. id 5 does not exist") << "call " << i;
		EXPECT_EQ(code, 1) << "call " << i;
	}
	// The exist and node getters stay silent.
	zeClearError();
	EXPECT_EQ(zeObjectExist(5), 0);
	EXPECT_EQ(zeGetObjectNode(5), nullptr);
	EXPECT_EQ(zeGetObjectMeshNode(5), nullptr);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
}

TEST_F(ObjectApiTest, DeleteRemovesTheNodeAndIsSilentTheSecondTime)
{
	scene::ISceneNode* root = zeGetContext()->sceneManager->getRootSceneNode();
	const u32 before = root->getChildren().size();
	ASSERT_EQ(zeLoadObject(Box.c_str(), 6), 0);
	EXPECT_EQ(root->getChildren().size(), before + 1);
	zeDeleteObject(6);
	EXPECT_EQ(root->getChildren().size(), before);
	EXPECT_EQ(zeObjectExist(6), 0);
	zeDeleteObject(6);
	zeDeleteObject(999);
	zeDeleteObject(-1);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
	EXPECT_EQ(zeLoadObject(Box.c_str(), 6), 0);
}

TEST_F(ObjectApiTest, DeletionsCollectTheSideRecordsNoHeldMaterialReads)
{
	video::ITexture* texture = zeGetContext()->driver->addTexture(core::dimension2du(2, 2), "side");
	ze::sweepMaterialExts();
	const u32 records = ze::getMaterialExtCount();
	const s32 refs = texture->getReferenceCount();
	ASSERT_EQ(zeLoadObject(Box.c_str(), 1), 0);
	ASSERT_EQ(zeCloneObject(2, 1), 0);
	for (int id : {1, 2})
		ze::setMaterialTexture(zeGetObjectNode(id)->getMaterial(1), 6, texture);
	IZeRenderer* renderer = zeGetManager()->getRendererManager()->createRendererSimple(zeGetContext()->device, nullptr);
	ASSERT_EQ(zeAddRenderer(4, renderer), 0);
	renderer->drop();
	ASSERT_EQ(zeMakeLight(3), 0);

	// Each deletion frees the record of a material nobody holds; the object
	// that remains keeps its own.
	const std::vector<std::function<void()>> deletions = {
		[] { zeDeleteObject(1); }, [] { zeDeleteLight(3); }, [] { zeDeleteRenderer(4); }};
	for (const std::function<void()>& deletion : deletions)
	{
		video::SMaterial loose;
		ze::setMaterialVertexTexture(loose, 0, texture);
		deletion();
		EXPECT_EQ(ze::getMaterialExt(loose), nullptr);
		EXPECT_EQ(ze::getMaterialTexture(zeGetObjectNode(2)->getMaterial(1), 6), texture);
	}
	ASSERT_EQ(zeLoadObject(Box.c_str(), 5), 0);
	ze::setMaterialTexture(zeGetObjectNode(5)->getMaterial(0), 7, texture);
	zeDeleteAllApiItems();
	EXPECT_EQ(ze::getMaterialExtCount(), records);
	EXPECT_EQ(texture->getReferenceCount(), refs);
}

TEST_F(ObjectApiTest, CloneAndInstanceMakeNewNodesSharingTheMesh)
{
	ASSERT_EQ(zeLoadObject(Box.c_str(), 1), 0);
	zePositionObject(1, 5, 6, 7);
	for (int (*copy)(int, int) : { zeCloneObject, zeInstanceObject })
	{
		const int id = copy == zeCloneObject ? 2 : 3;
		ASSERT_EQ(copy(id, 1), 0);
		scene::IMeshSceneNode* source = zeGetObjectMeshNode(1);
		scene::IMeshSceneNode* node = zeGetObjectMeshNode(id);
		ASSERT_NE(node, nullptr);
		EXPECT_NE(node, source);
		EXPECT_EQ(node->getMesh(), source->getMesh());
		EXPECT_EQ(node->getPosition(), core::vector3df(5, 6, 7));
		ASSERT_NE(zeGetNodeExt(node), nullptr);
		EXPECT_NE(zeGetNodeExt(node), zeGetNodeExt(source));
		// The extension comes along with its own copies of the surfaces.
		for (u32 i = 0; i < 2; ++i)
		{
			IZeSurface* surface = zeGetNodeExt(node)->getMaterialSurface(i);
			ASSERT_NE(surface, nullptr);
			EXPECT_EQ(surface->getType(), MAKE_IRR_ID('l', 'w', 's', 'r'));
			EXPECT_NE(surface, zeGetNodeExt(source)->getMaterialSurface(i));
		}

		int code = 0;
		EXPECT_EQ(copy(id, 1), -1);
		EXPECT_EQ(pendingError(&code), "invalid Object ID " + std::to_string(id) + " : id " + std::to_string(id) + " already exist");
		EXPECT_EQ(code, 1);
		EXPECT_EQ(copy(10, 9), -1);
		EXPECT_EQ(pendingError(&code), "Object ID 9 does not exist");
		EXPECT_EQ(code, 2);
		EXPECT_EQ(zeObjectExist(10), 0);
	}
	// Deleting the source leaves the copies whole.
	zeDeleteObject(1);
	ASSERT_NE(zeGetObjectMeshNode(2), nullptr);
	EXPECT_GT(zeGetObjectMeshNode(2)->getMesh()->getMeshBufferCount(), 0u);
}

TEST_F(ObjectApiTest, TransformsTakeDegreesAndPercent)
{
	ASSERT_EQ(zeLoadObject(Box.c_str(), 1), 0);
	scene::ISceneNode* node = zeGetObjectNode(1);
	zePositionObject(1, 10, 0, 0);
	zeRotateObject(1, 0, 90, 0);
	zeScaleObject(1, 50, 50, 50);
	node->updateAbsolutePosition();
	core::vector3df p(2, 0, 0);
	node->getAbsoluteTransformation().transformVect(p);
	// Half size, a quarter turn about Y, then the move.
	EXPECT_NEAR(p.X, 10.0f, 1e-4f);
	EXPECT_NEAR(p.Y, 0.0f, 1e-4f);
	EXPECT_NEAR(std::fabs(p.Z), 1.0f, 1e-4f);

	zeRotateObject(1, 0, 0, 0);
	zeScaleObject(1, 100, 100, 100);
	node->updateAbsolutePosition();
	p = core::vector3df(2, 0, 0);
	node->getAbsoluteTransformation().transformVect(p);
	EXPECT_TRUE(p.equals(core::vector3df(12, 0, 0)));

	// A static mesh has one frame and ignores frame changes without an error.
	EXPECT_EQ(zeTotalObjectFrames(1), 1);
	zeSetObjectFrame(1, 3.0f);
	EXPECT_EQ(zeGetObjectMorphCount(1), 0);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
}

TEST_F(ObjectApiTest, RadiusIsHalfTheBoxDiagonalTimesTheScale)
{
	ASSERT_EQ(zeLoadObject(Box.c_str(), 1), 0);
	EXPECT_NEAR(zeGetObjectRadius(1), BOX_HALF_DIAGONAL, 1e-4f);
	zeScaleObject(1, 50, 50, 50);
	EXPECT_NEAR(zeGetObjectRadius(1), 0.5f * BOX_HALF_DIAGONAL, 1e-4f);
	zeScaleObject(1, 100, 300, 100);  // the largest axis bounds the sphere
	EXPECT_NEAR(zeGetObjectRadius(1), 3.0f * BOX_HALF_DIAGONAL, 1e-4f);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
}

TEST_F(ObjectApiTest, VisibilityAndTheFrameHook)
{
	ASSERT_EQ(zeLoadObject(Box.c_str(), 8), 0);
	EXPECT_EQ(zeObjectVisible(8), 1);
	zeHideObject(8);
	EXPECT_EQ(zeObjectVisible(8), 0);
	EXPECT_FALSE(zeGetObjectNode(8)->isVisible());
	zeShowObject(8);
	EXPECT_EQ(zeObjectVisible(8), 1);
	EXPECT_EQ(zeCheckObject(8), 0);

	ASSERT_NE(zeGetEngineHooks().objectNode, nullptr);
	EXPECT_EQ(zeGetEngineHooks().objectNode(8), zeGetObjectNode(8));
	EXPECT_EQ(zeGetEngineHooks().objectNode(9), nullptr);
	// Camera collision finds the object through the hook.
	EXPECT_EQ(zeSetObjectCollision(8), 0);
	EXPECT_NE(zeGetObjectNode(8)->getTriangleSelector(), nullptr);
	EXPECT_EQ(zeSetObjectCollision(9), -1);
	int code = 0;
	EXPECT_EQ(pendingError(&code), "Object ID 9 does not exist. id 9 does not exist");
	zeDeleteObject(8);
	EXPECT_EQ(zeGetEngineHooks().objectNode(8), nullptr);
}

TEST_F(ObjectApiTest, LockingFollowsTheCameraAndUnlockingKeepsThePlace)
{
	ASSERT_EQ(zeLoadObject(Box.c_str(), 1), 0);
	scene::ISceneNode* node = zeGetObjectNode(1);
	scene::ICameraSceneNode* camera = zeGetContext()->camera;
	ASSERT_NE(camera, nullptr);
	camera->setPosition(core::vector3df(0, 0, 0));
	zePositionObject(1, 0, 0, 5);
	zeLockObjectOn(1);
	EXPECT_EQ(node->getParent(), camera);
	camera->setPosition(core::vector3df(100, 0, 0));
	camera->updateAbsolutePosition();
	zeLockObjectOff(1);
	scene::ISceneNode* root = zeGetContext()->sceneManager->getRootSceneNode();
	EXPECT_EQ(node->getParent(), root);
	EXPECT_EQ(zeGetObjectNode(1), node);
	EXPECT_TRUE(node->getAbsolutePosition().equals(core::vector3df(100, 0, 5), 1e-3f));
	zeDeleteObject(1);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
}

// A scene that shares a mesh with an extra scene copies the extra's object,
// which is locked to the camera: the copy is a free object of its own.
TEST_F(ObjectApiTest, CopiesOfALockedObjectAreNotLockedToTheCamera)
{
	ASSERT_EQ(zeLoadObject(Box.c_str(), 1), 0);
	zeLockObjectOn(1);
	scene::ISceneNode* root = zeGetContext()->sceneManager->getRootSceneNode();
	for (int (*copy)(int, int) : { zeCloneObject, zeInstanceObject })
	{
		const int id = copy == zeCloneObject ? 2 : 3;
		ASSERT_EQ(copy(id, 1), 0);
		EXPECT_EQ(zeGetObjectNode(id)->getParent(), root) << id;
	}
	EXPECT_EQ(zeGetObjectNode(1)->getParent(), zeGetContext()->camera);
}

TEST_F(ObjectApiTest, LoadAttachesAnExtensionWithALightwaveSurfacePerMaterial)
{
	ASSERT_EQ(zeLoadObject(Box.c_str(), 1), 0);
	scene::ISceneNode* node = zeGetObjectNode(1);
	IZeSceneNodeExt* ext = zeGetNodeExt(node);
	ASSERT_NE(ext, nullptr);
	ASSERT_EQ(node->getMaterialCount(), 2u);
	for (u32 i = 0; i < 2; ++i)
	{
		ASSERT_NE(ext->getMaterialSurface(i), nullptr);
		EXPECT_EQ(ext->getMaterialSurface(i)->getType(), MAKE_IRR_ID('l', 'w', 's', 'r'));
	}
	EXPECT_NE(ext->getMaterialSurface(0), ext->getMaterialSurface(1));

	zeSetObjectShadowOn(1);
	EXPECT_TRUE(ext->isCastShadow());
	zeSetObjectShadowOff(1);
	EXPECT_FALSE(ext->isCastShadow());
	zeSetObjectSelectionMask(1, 0x30);
	EXPECT_EQ(ext->getSelectionMask(), 0x30u);
	zeSetObjectCubeMapBox(1, 1, 2, 3, 4, 5, 6);
	zeEnableObjectCubeMapBox(1, 1);
	EXPECT_TRUE(ext->isCubeMapAABBEnabled());
	EXPECT_EQ(ext->getCubeMapAABBScale(), core::vector3df(4, 5, 6));
	zeEnableObjectCubeMapBox(1, 0);
	EXPECT_FALSE(ext->isCubeMapAABBEnabled());
}

TEST_F(ObjectApiTest, PointCountWarningStartsAbove65535)
{
	const std::string fits = writeFan("fits.ply", 65535);
	const std::string over = writeFan("over.ply", 65536);
	ASSERT_EQ(zeLoadObject(fits.c_str(), 1), 0);
	ASSERT_EQ(zeLoadObject(over.c_str(), 2), 0);
	int warnings = 0;
	std::string text;
	for (const std::string& line : g_log)
		if (line.find("too much points") != std::string::npos)
		{
			++warnings;
			text = line;
		}
	EXPECT_EQ(warnings, 1);
	EXPECT_NE(text.find("Object 2 '" + over + "' has too much points on surface 0 ;\n65536 points > maximum 65535.\n"
		"Render artifacts will occur."), std::string::npos) << text;
	EXPECT_NE(text.find("WARN"), std::string::npos) << text;
	EXPECT_EQ(zeObjectExist(2), 1);  // the warning does not fail the load
}
// The cube-map side of the object API on the NULL driver, which makes no
// cube maps: every refusal with its text and argument number, the table as it was.
TEST_F(ObjectApiTest, CubeMapRefusalsNameTheIdAndTheirArgument)
{
	ASSERT_EQ(zeLoadObject(Box.c_str(), 1), 0);
	IZeSceneNodeExt* ext = zeGetNodeExt(zeGetObjectNode(1));
	ASSERT_NE(ext, nullptr);
	struct Case
	{
		std::function<int()> call;
		int result;
		const char* text;
		int code;
	};
	const std::vector<Case> cases = {
		{[] { return zeMakeCubeMap(2, 64, 0); }, -1, "Failed to create cube map", -1},
		{[] { return zeMakeCubeMap(2, 64, 1); }, -1, "Failed to create cube map", -1},
		{[] { return zeMakeCubeMap(1000, 64, 0); }, -1, "invalid CubeMap ID 1000 : invalid ID 1000 greater or equals than 1000", 1},
		{[] { return zeMakeCubeMap(-2, 64, 0); }, -1, "invalid CubeMap ID -2 : invalid negative ID -2", 1},
		{[] { zeSetObjectCubeMap(1, 7); return 0; }, 0, "CubeMap ID 7 does not exist. id 7 does not exist", 2},
		{[] { zeSetObjectCubeMap(1, 1000); return 0; }, 0,
			"CubeMap ID 1000 does not exist. invalid ID 1000 greater or equals than 1000", 2},
		{[] { zeSetObjectCubeMap(1, -1); return 0; }, 0, "CubeMap ID -1 does not exist. invalid negative ID -1", 2},
		{[] { zeSetObjectCubeMap(6, 7); return 0; }, 0, "Object ID 6 does not exist. id 6 does not exist", 1},
	};
	for (size_t i = 0; i < cases.size(); ++i)
	{
		zeClearError();
		EXPECT_EQ(cases[i].call(), cases[i].result) << "case " << i;
		int code = 0;
		EXPECT_EQ(pendingError(&code), cases[i].text) << "case " << i;
		EXPECT_EQ(code, cases[i].code) << "case " << i;
		EXPECT_EQ(ext->getCubeMap(), nullptr) << "case " << i;
	}
	// A failed creation leaves the ID free; missing IDs are silent everywhere else.
	zeClearError();
	EXPECT_EQ(zeCubeMapExist(2), 0);
	EXPECT_EQ(zeGetCubeMap(2), nullptr);
	EXPECT_EQ(zeCubeMapExist(1000), 0);
	zeDeleteCubeMap(2);
	zeDeleteCubeMap(-1);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
	zeDeleteObject(1);
}

// LightWave and OBJ files as other tools write them, through zeLoadObject:
// each loads whole or is refused with the API's message; none hangs or crashes.
TEST_F(ObjectApiTest, LightwaveAndObjFilesFromElsewhereLoadOrAreRefused)
{
	using namespace zetest;
	writeFile(Tmp + "/tex0.bmp", bmp(4, 4, [](int, int) { return 0x80FF40u; }));
	struct Case
	{
		std::string name;
		std::string bytes;
		u32 vertices;   // 0: refused
		u32 triangles;
	};
	const std::vector<Case> cases = {
		// A still-image clip whose name needs its padding byte.
		{"box.lwo", lwo2(boxPoints(), boxFaces(), 1, 1, 1, "tex0.bmp"), 24, 12},
		// An alpha-image subchunk shorter than its kind, and one cut off.
		{"old.lwo", lwob(boxPoints(), boxFaces(), 200, 100, 50,
						IffBytes().sub("CTEX", IffBytes().s0("Planar Image Map")).sub("TALP", IffBytes(), 0).sub("TAAS", IffBytes().u2(1))),
			24, 12},
		{"bare.lwo", lwo2(boxPoints(), boxFaces(), 1, 1, 1, "", false), 24, 12},
		{"broken.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 x\n", 0, 0},
		{"past.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 4\n", 0, 0},
		{"empty.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf\nf 2 4 3\n", 4, 2},
	};
	int id = 10;
	for (const Case& c : cases)
	{
		SCOPED_TRACE(c.name);
		const std::string path = Tmp + "/" + c.name;
		writeFile(path, c.bytes);
		zeClearError();
		const int result = zeLoadObject(path.c_str(), ++id);
		if (!c.vertices)
		{
			EXPECT_EQ(result, -1);
			int code = 0;
			EXPECT_EQ(pendingError(&code), "Failed to load mesh '" + path + "'");
			EXPECT_EQ(code, 1);
			EXPECT_EQ(zeObjectExist(id), 0);
			continue;
		}
		ASSERT_EQ(result, 0) << pendingError(nullptr);
		const scene::IMesh* mesh = zeGetObjectMeshNode(id)->getMesh();
		u32 vertices = 0, triangles = 0;
		for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
		{
			vertices += mesh->getMeshBuffer(b)->getVertexCount();
			triangles += mesh->getMeshBuffer(b)->getIndexCount() / 3;
		}
		EXPECT_EQ(vertices, c.vertices);
		EXPECT_EQ(triangles, c.triangles);
	}
	// The LWO2 box: its "TXUV" coordinates as LightWave means them (V turned to
	// run down the image) and its clip image on the material.
	const scene::IMeshBuffer* box = zeGetObjectMeshNode(11)->getMesh()->getMeshBuffer(0);
	for (u32 i = 0; i < box->getVertexCount(); ++i)
	{
		EXPECT_NEAR(box->getTCoords(i).X, (box->getPosition(i).X + 1) / 2, 1e-5f);
		EXPECT_NEAR(box->getTCoords(i).Y, (1 - box->getPosition(i).Y) / 2, 1e-5f);
	}
	ASSERT_NE(box->getMaterial().getTexture(0), nullptr);
	EXPECT_EQ(box->getMaterial().getTexture(0)->getName().getPath(), io::path((Tmp + "/tex0.bmp").c_str()));
	EXPECT_EQ(zeGetObjectMeshNode(12)->getMesh()->getMeshBuffer(0)->getMaterial().DiffuseColor,
		video::SColor(255, 200, 100, 50));
	for (int loaded = 11; loaded <= id; ++loaded)
		zeDeleteObject(loaded);
}

TEST_F(ObjectApiTest, RendererTableSwitchesAndRestoresTheDefault)
{
	IZeRenderer* defaultRenderer = zeGetCurrentRenderer();
	IZeRenderer* renderer = zeGetManager()->getRendererManager()->createRendererSimple(zeGetContext()->device, nullptr);
	ASSERT_NE(renderer, nullptr);
	ASSERT_EQ(zeAddRenderer(4, renderer), 0);
	EXPECT_EQ(zeAddRenderer(4, renderer), -1);  // never replaces an ID
	renderer->drop();
	zeUseRenderer(4);
	EXPECT_EQ(zeGetCurrentRenderer(), renderer);
	zeUseRenderer(5);
	EXPECT_EQ(zeGetCurrentRenderer(), renderer);
	zeUseDefaultRenderer();
	EXPECT_EQ(zeGetCurrentRenderer(), defaultRenderer);
	zeUseRenderer(4);
	zeDeleteRenderer(4);  // the current one: the default comes back first
	EXPECT_EQ(zeGetCurrentRenderer(), defaultRenderer);
	zeDeleteRenderer(4);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
}
} // namespace

// ---- Morph objects -----------------------------------------------------------------------
// With the scene content's service, an object with a numbered morph series is
// a morph node: its morph count, weights and frames go through the object API.
TEST_F(ObjectApiTest, SeriesObjectTakesMorphWeightsAndCountsItsTargets)
{
	zeTerm();
	SZeServiceFactories factories = zeGetServiceFactories();
	factories.createSceneManager = zeCreateSceneManagerServiceScene;
	zeRegisterServiceFactories(factories);
	SZeSetupParams params;
	zeInitSetupParams(&params);
	params.windowed = 1;
	ASSERT_EQ(zeSetup(&params), 0);

	const char* triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
	std::ofstream(Tmp + "/tri.obj") << triangle;
	std::ofstream(Tmp + "/tri.morph1.obj") << triangle;
	std::ofstream(Tmp + "/tri.morph2.obj") << "v 0 0 2\nv 1 0 2\nv 0 1 2\nf 1 2 3\n";
	ASSERT_EQ(zeLoadObject((Tmp + "/tri.obj").c_str(), 1), 0) << zeGetError(nullptr);
	scene::ISceneNode* node = zeGetObjectNode(1);
	ASSERT_TRUE(node);
	EXPECT_EQ(static_cast<u32>(node->getType()), MAKE_IRR_ID('m', 'o', 'r', 'p'));
	EXPECT_EQ(zeGetObjectMorphCount(1), 1);

	const int index = 1;
	const float weight = 0.5f;
	zeSetObjectMorph(1, 1, &index, &weight);
	node->OnAnimate(0);
	const scene::IMesh* mesh = static_cast<IZeMorphMeshSceneNode*>(node)->getMesh();
	ASSERT_TRUE(mesh && mesh->getMeshBufferCount() > 0);
	const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(0);
	for (u32 v = 0; v < buffer->getVertexCount(); ++v)
		EXPECT_NEAR(buffer->getPosition(v).Z, 1.0f, 1e-5f) << "half of the second shape's offset";

	// A count of 0 clears the targets: the next animation step shows the rest shape.
	zeSetObjectMorph(1, 0, nullptr, nullptr);
	node->OnAnimate(16);
	buffer = mesh->getMeshBuffer(0);
	for (u32 v = 0; v < buffer->getVertexCount(); ++v)
		EXPECT_NEAR(buffer->getPosition(v).Z, 0.0f, 1e-5f) << "cleared";
	zeSetObjectMorph(1, 1, &index, &weight);
	node->OnAnimate(32);
	EXPECT_NEAR(mesh->getMeshBuffer(0)->getPosition(0).Z, 1.0f, 1e-5f);
	zeSetObjectMorph(1, 0, &index, &weight);
	node->OnAnimate(48);
	EXPECT_NEAR(mesh->getMeshBuffer(0)->getPosition(0).Z, 0.0f, 1e-5f) << "cleared with arrays given";
	EXPECT_EQ(zeGetError(nullptr), nullptr);

	// A static morph object has one frame and takes frames silently; missing IDs report.
	EXPECT_EQ(zeTotalObjectFrames(1), 0);
	zeSetObjectFrame(1, 3.0f);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
	EXPECT_EQ(zeGetObjectMorphCount(7), 0);
	int argument = 0;
	EXPECT_STREQ(zeGetError(&argument), "Object ID 7 does not exist. id 7 does not exist");
	EXPECT_EQ(argument, 1);
	zeDeleteObject(1);
}

TEST_F(ObjectApiTest, VertexTextureWritesIndicesAndReportsWhatFails)
{
	ASSERT_EQ(zeLoadObject(Box.c_str(), 2), 0);
	int argument = 0;
	EXPECT_EQ(zeSetObjectVertexTexture(9, "verts", 0), -1);
	EXPECT_STREQ(zeGetError(&argument), "Object ID 9 does not exist. id 9 does not exist");
	EXPECT_EQ(argument, 1);

	// An existing texture of that name is kept with flag 1; the indices are written first.
	zeClearError();
	ASSERT_TRUE(zeGetContext()->driver->addTexture(core::dimension2d<u32>(4, 4), "verts"));
	EXPECT_EQ(zeSetObjectVertexTexture(2, "verts", 1), 0);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
	const scene::IMesh* mesh = static_cast<scene::IMeshSceneNode*>(zeGetObjectNode(2))->getMesh();
	u32 running = 0;
	for (u32 b = 0; b < mesh->getMeshBufferCount(); ++b)
	{
		const scene::IMeshBuffer* buffer = mesh->getMeshBuffer(b);
		const video::S3DVertex* vertices = static_cast<const video::S3DVertex*>(buffer->getVertices());
		for (u32 v = 0; v < buffer->getVertexCount(); ++v, ++running)
			EXPECT_EQ(vertices[v].Color.color & 0x00FFFFFFu, running);
	}
	EXPECT_GT(running, 2u);

	// The NULL driver makes no float targets: the texture cannot be made.
	EXPECT_EQ(zeSetObjectVertexTexture(2, "fresh", 2 | 4), -1);
	EXPECT_STREQ(zeGetError(&argument), "Object ID 2 failed to create vertex texture");
	EXPECT_EQ(argument, -1);
}

// ---- Point clouds --------------------------------------------------------------------------
// With the program's scene-manager service, which makes point-cloud nodes.
class PointCloudApiTest : public ObjectApiTest
{
protected:
	void SetUp() override
	{
		ObjectApiTest::SetUp();
		zeTerm();
		SZeServiceFactories factories = zeGetServiceFactories();
		factories.createSceneManager = zeCreateSceneManagerServiceScene;
		zeRegisterServiceFactories(factories);
		SZeSetupParams params;
		zeInitSetupParams(&params);
		params.windowed = 1;
		ASSERT_EQ(zeSetup(&params), 0);
		zeClearError();
	}
};

// Every outcome of zeLoadObjectPointCloud, in order on one table: its text,
// its argument number, and the ID free again after each failure.
TEST_F(PointCloudApiTest, LoadsAndRefusalsWithTheirMessagesAndArguments)
{
	const std::string missing = Tmp + "/missing.obj";
	const std::string full = zeFileGetFullPath(Box.c_str());
	struct Case
	{
		std::string file;
		int id;
		int count;
		int result;
		std::string text;
		int code;
	};
	const std::vector<Case> cases = {
		{Box, 3, 50, 0, "", 0},
		{Box, 3, 50, -1, "invalid Object ID 3 : id 3 already exist", 2},
		{Box, 1000, 50, -1, "invalid Object ID 1000 : invalid ID 1000 greater or equals than 1000", 2},
		{Box, -1, 50, -1, "invalid Object ID -1 : invalid negative ID -1", 2},
		{missing, 4, 50, -1, "Failed to load mesh '" + missing + "' as point cloud", 1},
		{Box, 5, 0, -1, "Failed to load mesh '" + full + "' as point cloud", 1},
		{Box, 5, -7, -1, "Failed to load mesh '" + full + "' as point cloud", 1},
	};
	for (size_t i = 0; i < cases.size(); ++i)
	{
		const Case& c = cases[i];
		zeClearError();
		EXPECT_EQ(zeLoadObjectPointCloud(c.file.c_str(), c.id, c.count), c.result) << "case " << i;
		int code = 0;
		EXPECT_EQ(pendingError(&code), c.text) << "case " << i;
		EXPECT_EQ(code, c.result != 0 ? c.code : -1) << "case " << i;
	}
	EXPECT_EQ(zeObjectExist(4), 0);
	EXPECT_EQ(zeObjectExist(5), 0);

	// The object: a plain mesh node at the origin, with the object's ID, the
	// requested number of points (no indices) and a surface per material.
	scene::IMeshSceneNode* node = zeGetObjectMeshNode(3);
	ASSERT_NE(node, nullptr);
	EXPECT_EQ(node->getID(), 3);
	EXPECT_EQ(node->getPosition(), core::vector3df(0, 0, 0));
	EXPECT_EQ(node->getScale(), core::vector3df(1, 1, 1));
	u32 points = 0;
	for (u32 b = 0; b < node->getMesh()->getMeshBufferCount(); ++b)
	{
		EXPECT_EQ(node->getMesh()->getMeshBuffer(b)->getIndexCount(), 0u);
		EXPECT_EQ(node->getMesh()->getMeshBuffer(b)->getHardwareMappingHint_Vertex(), scene::EHM_STATIC);
		points += node->getMesh()->getMeshBuffer(b)->getVertexCount();
	}
	EXPECT_EQ(points, 50u);
	IZeSceneNodeExt* ext = zeGetNodeExt(node);
	ASSERT_NE(ext, nullptr);
	ASSERT_EQ(node->getMaterialCount(), 2u);
	for (u32 i = 0; i < 2; ++i)
	{
		ASSERT_NE(ext->getMaterialSurface(i), nullptr);
		EXPECT_EQ(ext->getMaterialSurface(i)->getType(), MAKE_IRR_ID('l', 'w', 's', 'r'));
	}

	// Reuse after delete; no point-count warning, even far above 65535 points.
	zeDeleteObject(3);
	EXPECT_EQ(zeObjectExist(3), 0);
	g_log.clear();
	zeClearError();
	EXPECT_EQ(zeLoadObjectPointCloud(Box.c_str(), 3, 70000), 0);
	EXPECT_EQ(zeGetObjectMeshNode(3)->getMesh()->getMeshBuffer(0)->getVertexCount() +
		zeGetObjectMeshNode(3)->getMesh()->getMeshBuffer(1)->getVertexCount(), 70000u);
	for (const std::string& line : g_log)
		EXPECT_EQ(line.find("too much points"), std::string::npos) << line;
	EXPECT_EQ(zeGetError(nullptr), nullptr);
	zeDeleteObject(3);
}

// Pipes are not object files: a load waits for no writer and refuses with its
// message. A pipe beside an object (its texture, its morph map, a member of its
// morph series) is passed over in the same way.
using PipeObjectTest = PointCloudApiTest;

TEST_F(PipeObjectTest, PipesAreRefusedWithoutWaiting)
{
	for (const char* name : { "pipe.obj", "pipe.lwo", "pipe.x" })
	{
		SCOPED_TRACE(name);
		const std::string pipe = Tmp + "/" + name;
		ASSERT_TRUE(zetest::makeFifo(pipe));
		int code = 0;
		EXPECT_TRUE(zetest::returnsPromptly(pipe, [&] { EXPECT_EQ(zeLoadObject(pipe.c_str(), 2), -1); }));
		EXPECT_EQ(pendingError(&code), "Failed to load mesh '" + pipe + "'");
		EXPECT_EQ(code, 1);
		EXPECT_TRUE(zetest::returnsPromptly(pipe, [&] { EXPECT_EQ(zeLoadObjectPointCloud(pipe.c_str(), 2, 10), -1); }));
		EXPECT_EQ(pendingError(&code), "Failed to load mesh '" + pipe + "' as point cloud");
		EXPECT_EQ(code, 1);
		EXPECT_EQ(zeObjectExist(2), 0);
	}

	// A texture that is a pipe: the object loads without it.
	ASSERT_TRUE(zetest::makeFifo(Tmp + "/pipe.bmp"));
	std::ofstream(Tmp + "/textured.x")
		<< "xof 0303txt 0032\nMesh Tri { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
		   " MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { \"pipe.bmp\"; } } }\n}\n";
	EXPECT_TRUE(zetest::returnsPromptly(Tmp + "/pipe.bmp", [&] {
		EXPECT_EQ(zeLoadObject((Tmp + "/textured.x").c_str(), 3), 0) << zeGetError(nullptr);
	}));
	ASSERT_TRUE(zeGetObjectNode(3));
	EXPECT_EQ(zeGetObjectNode(3)->getMaterial(0).getTexture(0), nullptr);

	// A morph map or a member of a morph series that is a pipe: the object is refused.
	const char* triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
	std::ofstream(Tmp + "/mapped.obj") << triangle;
	std::ofstream(Tmp + "/series.obj") << triangle;
	for (const char* pipe : { "mapped.zmorph", "series.morph1.obj" })
	{
		SCOPED_TRACE(pipe);
		ASSERT_TRUE(zetest::makeFifo(Tmp + "/" + pipe));
		const std::string object = Tmp + (pipe[0] == 'm' ? "/mapped.obj" : "/series.obj");
		EXPECT_TRUE(zetest::returnsPromptly(Tmp + "/" + pipe, [&] { EXPECT_EQ(zeLoadObject(object.c_str(), 4), -1); }));
		EXPECT_EQ(pendingError(nullptr), "Failed to load mesh '" + object + "'");
	}
}
