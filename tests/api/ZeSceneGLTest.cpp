// Scenes and images drawing for real (Xvfb, llvmpipe): the sample scenes
// load, prepare their cube maps and animate into different frames; made
// images are render targets by name that scenes render into and the 2D list
// pastes, and leave the driver and every surface when deleted.
#include "ZeApiTestFixture.h"

#include "api/ZeCameraEffectApi.h"
#include "api/ZeCubeMapApi.h"
#include "api/ZeFxEmitterApi.h"
#include "api/ZeImageApi.h"
#include "api/ZeLightApi.h"
#include "api/ZeObjectSurfaceApi.h"
#include "api/ZeScene.h"
#include "frame/ZeCamera.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeTestDisplay.h"
#include "libext/ZeTextureExt.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurfaceLightwave.h"
#include "scene/CZeResourceManagerScene.h"

#include <GL/gl.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <fstream>

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const int W = 160;
const int H = 120;

struct Rgb
{
	int R, G, B;
	bool operator==(const Rgb& o) const { return R == o.R && G == o.G && B == o.B; }
};

bool near(const Rgb& p, int r, int g, int b)
{
	return std::abs(p.R - r) <= 3 && std::abs(p.G - g) <= 3 && std::abs(p.B - b) <= 3;
}

// The engine as the players start it, in the folder of the sample scenes.
class SceneGL : public ::testing::Test
{
protected:
	void SetUp() override
	{
		if (!getenv("DISPLAY"))
			GTEST_SKIP() << "needs an X display";
		setenv("ZELV_BATCH", "1", 1);
		ASSERT_NE(getcwd(Cwd, sizeof(Cwd)), nullptr);
		ASSERT_EQ(chdir(ZELV_SOURCE_DIR "/samples/scenes"), 0);
		g_log.clear();
		zeSetLogSink(captureLog);
		zeInstallEngineCore();
		zeRegisterSceneFactories();
		zeInstallObjectApi();
		zeDisableErrorBoxes();
		SZeSetupParams p = glWindowSetup(W, H);
		p.antialias = 0;
		p.lightPrePass = LightPrePass;
		p.dataPrefix = ZELV_BINARY_DIR "/data";
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr) << " " << zeGetEngineInitError();
		Driver = zeGetContext()->driver;
		ASSERT_EQ(Driver->getDriverType(), video::EDT_OPENGL);
		zeClearError();
	}
	void TearDown() override
	{
		if (!Driver)
			return;
		zeTerm();
		zeRegisterServiceFactories(SZeServiceFactories());
		zeSetDataPrefix("");
		zeSetLogSink(nullptr);
		EXPECT_EQ(chdir(Cwd), 0);
	}

	// The image's texels, rows from the top, 8-bit.
	std::vector<Rgb> pixels(int image)
	{
		std::vector<float> rgba;
		EXPECT_TRUE(ze::readTexture(zeGetImageTexture(image), &rgba));
		std::vector<Rgb> out(rgba.size() / 4);
		for (size_t i = 0; i < out.size(); ++i)
			out[i] = {int(std::lround(rgba[i * 4] * 255)), int(std::lround(rgba[i * 4 + 1] * 255)),
				int(std::lround(rgba[i * 4 + 2] * 255))};
		return out;
	}
	// The back buffer, rows from the top.
	std::vector<Rgb> window()
	{
		std::vector<unsigned char> bytes(static_cast<size_t>(W) * H * 4);
		glReadBuffer(GL_BACK);
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
		std::vector<Rgb> out(static_cast<size_t>(W) * H);
		for (int y = 0; y < H; ++y)
			for (int x = 0; x < W; ++x)
			{
				const unsigned char* p = &bytes[(static_cast<size_t>(H - 1 - y) * W + x) * 4];
				out[static_cast<size_t>(y) * W + x] = {p[0], p[1], p[2]};
			}
		return out;
	}
	static int errorLines()
	{
		int n = 0;
		for (const std::string& line : g_log)
			n += line.rfind("ERROR", 0) == 0;
		return n;
	}

	char Cwd[PATH_MAX] = {};
	video::IVideoDriver* Driver = nullptr;
	int LightPrePass = 0;
};

// With the light pre-pass on, so that scenes make their command renderers.
class SceneGLCommands : public SceneGL
{
protected:
	SceneGLCommands() { LightPrePass = 1; }
};

// A scene that makes one float target of `side` texels a side and clears it.
std::string targetScene(const std::string& texture, int side)
{
	auto param = [](const char* group, const char* name, const std::string& value) {
		return std::string("{ ") + group + "\nSTR name \"" + name + "\"\n" + value + "\n}\n";
	};
	const std::string size = std::to_string(side);
	const std::string make = "{ Make\nSTR name \"Make\"\nSTR cmd \"Create Texture\"\n{ Parameters\n" +
		param("P0", "Name", "STR value \"" + texture + "\"") + param("P1", "ColorFormat", "I4 value 10") +
		param("P2", "Size", "I4 value 0") + param("P3", "SizeWidth", "I4 value " + size) +
		param("P4", "SizeHeight", "I4 value " + size) + param("P5", "OwnZBuffer", "I4 value 1") + "}\n}\n";
	const std::string clear = "{ Clear\nSTR name \"Clear\"\nSTR cmd \"Clear\"\n{ Outputs\n{ O0\nSTR name "
		"\"Target\"\nSTR value \"" + texture + "\"\n}\n}\n{ Parameters\n" +
		param("P0", "ClearTarget", "I4 value 1") + param("P1", "ClearZBuffer", "I4 value 1") +
		param("P2", "ClearColor", "FP value 1 0.5 0.25") + "}\n}\n";
	return "{ Scene\n{ SceneInfo\nI4 frameStart 0\nI4 frameEnd 10\nI4 frameStep 1\nFP framesPerSecond 30\n}\n"
		"{ Cameras\n{ Camera\nFP position 0 0 -10\nFP rotation 0 0 0\nFP zoomFactor 1\nI4 flags 0\n}\n}\n"
		"{ ZelvRenderCommands\n{ Commands\n" + make + clear + "}\n}\n}\n";
}

long residentBytes()
{
	long pages = 0, resident = 0;
	std::ifstream("/proc/self/statm") >> pages >> resident;
	return resident * sysconf(_SC_PAGESIZE);
}
} // namespace

TEST_F(SceneGL, TheShowcaseLoadsInBothFormsPreparesItsCubeMapAndAnimates)
{
	ASSERT_EQ(zeLoadScene("showcase.zelv", 1, 1, 1, 1, 1, 1, 1, 1, 0, "", 0), 0) << takeError();
	ASSERT_EQ(zeLoadScene("showcase.zscn", 2, 11, 11, 11, 11, 11, 11, 11, 0, "binary", 0), 0) << takeError();
	EXPECT_EQ(takeError(), "");
	for (const std::string& line : g_log)
		EXPECT_NE(line.rfind("ERROR", 0), 0u) << line;
	for (int scene : {1, 2})
	{
		EXPECT_EQ(zeSceneTotalObjects(scene), 3);
		EXPECT_EQ(zeSceneTotalLights(scene), 2);
		EXPECT_EQ(zeSceneTotalFxEmitters(scene), 1);
		EXPECT_EQ(zeSceneTotalCubeMaps(scene), 1);
		EXPECT_EQ(zeSceneTotalCameraShaders(scene), 2);
		EXPECT_EQ(zeSceneAnimTimeEnd(scene), 3000);
		EXPECT_STREQ(zeGetSceneAudio(scene), "full.mp3");
	}
	// The ball morphs, the lights cast shadows, the mirror holds the cube map.
	EXPECT_EQ(zeGetObjectMorphCount(2), 2);
	EXPECT_EQ(zeGetObjectMorphCount(12), 2);
	EXPECT_EQ(zeGetLightNode(1)->getLightType(), video::ELT_SPOT);
	EXPECT_TRUE(zeGetLightNode(1)->getCastShadow() && zeGetLightNode(2)->getCastShadow());
	EXPECT_EQ(zeGetNodeExt(zeGetObjectNode(3))->getCubeMap(), zeGetCubeMap(1));
	EXPECT_EQ(zeFxEmitterExist(1) + zeCameraEffectExist(1) + zeCameraEffectExist(2), 3);
	zeDeleteScene(2);

	EXPECT_EQ(zeCubeMapIsRendered(1), 0);
	zePrepareSceneRender(1);
	EXPECT_EQ(zeCubeMapIsRendered(1), 1) << "captured by the preparation";
	EXPECT_EQ(zeObjectVisible(2), 0) << "and hidden again";

	// Two times of the animation give two different frames of the scene.
	zeShowScene(1);
	ASSERT_EQ(zeMakeImage(W, H, 1), 0);
	ASSERT_EQ(zeMakeImage(W, H, 2), 0);
	zeAnimateScene(1, 0);
	ASSERT_EQ(zeRenderToImage(1, 1), 0);
	zeAnimateScene(1, 1500);
	ASSERT_EQ(zeRenderToImage(2, 1), 0);
	const std::vector<Rgb> first = pixels(1);
	const std::vector<Rgb> second = pixels(2);
	ASSERT_EQ(first.size(), static_cast<size_t>(W) * H);
	int differ = 0;
	int drawn = 0;
	for (size_t i = 0; i < first.size(); ++i)
	{
		differ += !(first[i] == second[i]);
		drawn += !near(first[i], 13, 18, 31);  // the backdrop, 0.05 0.07 0.12
	}
	EXPECT_GT(drawn, W * H / 4) << "the floor, ball and mirror cover the frame";
	EXPECT_GT(differ, W * H / 20) << "the camera moved, the ball turned and changed shape";
	core::array<IZeEffect*> enabled;
	zeGetEnabledCameraEffects(enabled);
	EXPECT_EQ(enabled.size(), 1u) << "the vignette; the flash waits for frame 40";
	zeAnimateScene(1, 1350);
	zeGetEnabledCameraEffects(enabled);
	EXPECT_EQ(enabled.size(), 2u);
	zeRenderSceneCubeMaps(1, 1350);
	zeEndFrame();
	EXPECT_EQ(errorLines(), 0);
}

TEST_F(SceneGL, TheFullSampleLoadsAndAnimates)
{
	zeSetSceneLoadWarnings(1);
	ASSERT_EQ(zeLoadScene("full.zelv", 3, 1, 1, 1, 1, 1, 1, 1, 0, "", 0), 0);
	EXPECT_EQ(takeError(), "");
	EXPECT_EQ(zeSceneTotalObjects(3), 4);
	for (int id = 1; id <= 4; ++id)
		EXPECT_EQ(zeObjectExist(id), 1) << id;
	EXPECT_EQ(zeGetObjectMorphCount(2), 2) << "the ball and its morph series";
	EXPECT_EQ(zeCubeMapExist(1) + zeCubeMapExist(2), 2);
	EXPECT_EQ(zeFxEmitterExist(1), 1);
	zePrepareSceneRender(3);
	EXPECT_EQ(zeCubeMapIsRendered(1), 1);
	zeShowScene(3);
	for (int t : {0, 500, 1000, 1999})
	{
		zeAnimateScene(3, t);
		zeRenderSceneCubeMaps(3, t);
		zeEndFrame();
	}
	ASSERT_EQ(zeLoadScene("minimal.zscn", 4, 20, 20, 20, 20, 20, 20, 20, 0, "", 0), 0);
	zeDeleteScene(3);
	zeDeleteScene(4);
	zeSetSceneLoadWarnings(0);
}

TEST_F(SceneGL, EverySampleEffectBuildsWithTheMacrosItReads)
{
	const struct
	{
		const char* File;
		const char* Macros;
	} effects[] = {
		{"shadersSURF/floor.hlsl", ""}, {"shadersSURF/floor.hlsl", "USE_TILES=1 USE_TEX_COLOR"},
		{"shadersSURF/edge.hlsl", "USE_TEX_COLOR"}, {"shadersSURF/glass.hlsl", ""},
		{"shadersSURF/ball.hlsl", ""}, {"shadersSURF/ball.hlsl", "USE_RIM=1 RIM_POWER=2 USE_TEX_COLOR"},
		{"shadersSURF/mirror.hlsl", "USE_NODECUBEMAP"}, {"shadersHV/spark.hlsl", ""},
		{"shadersHV/spark.hlsl", "USE_TEX_COLOR USE_BLEND_ADD"}, {"shadersPP/vignette.hlsl", ""},
		{"shadersPP/flash.hlsl", ""}, {"shadersPP/flash.hlsl", "FLASH_ADD=1"}, {"shadersPP/tint.hlsl", ""},
		{"shadersPP/tint.hlsl", "TINT_MULTIPLY=1"}, {"shadersPP/bloom.hlsl", ""},
	};
	int id = 1;
	for (const auto& e : effects)
	{
		SZeShaderDesc desc = {};
		desc.filename = e.File;
		desc.cflags = e.Macros;
		EXPECT_EQ(zeApplyShaderDescription(id, &desc), 0) << e.File << " " << e.Macros << ": " << takeError();
		zeDeleteEffect(id++);
	}
}

TEST_F(SceneGL, MadeImagesAreNamedRenderTargetsThatScenesDrawAndPastesShow)
{
	ASSERT_EQ(zeMakeImage(64, 32, 3), 0) << takeError();
	ASSERT_EQ(zeMakeImage(16, 8, 30), 0) << takeError();
	EXPECT_EQ(Driver->findTexture("zeRtImage3"), zeGetImageTexture(3));
	EXPECT_EQ(Driver->findTexture("zeRtImage30"), zeGetImageTexture(30));
	EXPECT_EQ(zeImageWidth(3), 64);
	EXPECT_EQ(zeImageHeight(3), 32);
	EXPECT_EQ(zeImageWidth(30), 16);
	EXPECT_EQ(zeImageHeight(30), 8);
	EXPECT_FALSE(zeGetImageTexture(3)->hasMipMaps());
	EXPECT_EQ(zeMakeImage(8, 8, 3), -1);
	EXPECT_EQ(takeError(), "invalid Image ID 3 : id 3 already exist");

	// The scene (here the backdrop alone) rendered into an image, then pasted.
	zeColorBackdrop(static_cast<int>(0xFFC02010));
	ASSERT_EQ(zeRenderToImage(3, 1), 0);
	const Rgb inImage = pixels(3)[100];
	EXPECT_TRUE(near(inImage, 0xC0, 0x20, 0x10));
	zeSetImageColor(0xFFFFFF);
	zeSetImageAlpha(255);
	Driver->beginScene(true, true, video::SColor(255, 0, 0, 255));
	ASSERT_EQ(zePasteImage(3, 10, 20, 0), 0);
	ASSERT_EQ(zePasteImageStretch(3, 100, 0, 110, 10, 0), 0);
	zeDraw2DList();
	const std::vector<Rgb> frame = window();
	Driver->endScene();
	EXPECT_TRUE(near(frame[25 * W + 15], 0xC0, 0x20, 0x10)) << "inside the paste";
	EXPECT_TRUE(near(frame[51 * W + 73], 0xC0, 0x20, 0x10)) << "its last pixel";
	EXPECT_TRUE(near(frame[53 * W + 75], 0, 0, 255)) << "outside: the frame's clear colour";
	EXPECT_TRUE(near(frame[5 * W + 105], 0xC0, 0x20, 0x10)) << "the stretched one";
	EXPECT_TRUE(near(frame[15 * W + 105], 0, 0, 255));
	zeDeleteImage(3);
	zeDeleteImage(30);
	EXPECT_EQ(Driver->findTexture("zeRtImage3"), nullptr);
}

TEST_F(SceneGL, MakingAndDeletingImagesLeavesNothingBehind)
{
	const std::string quad = ZELV_SOURCE_DIR "/samples/scenes/objects/mirror.obj";
	ASSERT_EQ(zeLoadObject(quad.c_str(), 1), 0);
	const u32 textures = Driver->getTextureCount();
	for (int round = 0; round < 20; ++round)
	{
		ASSERT_EQ(zeMakeImage(32, 32, 5), 0) << round;
		zeSetObjectSurfaceParamTexImg(1, 0, EZELW_BASE_COLOR, 5);
		zeUpdateObjectFromSurfaces(1);
		EXPECT_EQ(zeGetObjectNode(1)->getMaterial(0).getTexture(0), zeGetImageTexture(5));
		zeDeleteImage(5);
		auto* surface = static_cast<IZeSurfaceLightwave*>(zeGetObjectSurface(1, 0));
		EXPECT_EQ(surface->getParamTexture(EZELW_BASE_COLOR), nullptr) << "taken off the surface first";
		EXPECT_EQ(zeGetObjectNode(1)->getMaterial(0).getTexture(0), nullptr) << "and off the material";
		EXPECT_EQ(Driver->getTextureCount(), textures) << round;
	}
	// The object draws after its image went (a sanitizer build sees any use of it).
	zeEndFrame();
	EXPECT_EQ(takeError(), "");
}

// The targets a scene's commands make go with the scene that made them, when
// it is deleted or reloaded with other targets: scenes loaded one after the
// other keep the driver's textures and the memory where they were.
TEST_F(SceneGLCommands, TargetsOfRenderCommandsGoWithTheirScene)
{
	const int side = 1024;  // 16 MB of texels each
	const std::string path = std::string(Cwd) + "/zelv-targets-" + std::to_string(getpid()) + ".zelv";
	const u32 textures = Driver->getTextureCount();
	long resident = 0;
	for (int round = 0; round < 8; ++round)
	{
		const std::string texture = "Target" + std::to_string(round);
		{
			std::ofstream(path) << targetScene(texture, side);
		}
		ASSERT_EQ(zeLoadScene(path.c_str(), 1, 1, 1, 1, 1, 1, 1, 1, 0, "", 0), 0) << takeError();
		ASSERT_EQ(zeSceneHasRenderer(1), 1) << takeError();
		zeShowScene(1);
		zeEndFrame();
		video::ITexture* target = ze::findTexture(Driver, texture.c_str());
		ASSERT_NE(target, nullptr);
		std::vector<float> texels;
		ASSERT_TRUE(ze::readTexture(target, &texels));
		EXPECT_NEAR(texels[0], 1.0f, 1e-3f) << "the scene's renderer drew into it";

		// Reloaded with another target, the first one goes.
		{
			std::ofstream(path) << targetScene(texture + "b", side);
		}
		ASSERT_EQ(zeBuildScene(path.c_str(), 1), 0);
		EXPECT_EQ(ze::findTexture(Driver, texture.c_str()), nullptr) << round;
		EXPECT_NE(ze::findTexture(Driver, (texture + "b").c_str()), nullptr) << round;
		zeEndFrame();
		zeDeleteScene(1);
		EXPECT_EQ(ze::findTexture(Driver, (texture + "b").c_str()), nullptr) << round;
		EXPECT_EQ(Driver->getTextureCount(), textures) << round;
		zeEndFrame();
		if (round == 1)
			resident = residentBytes();
	}
	unlink(path.c_str());
#if !defined(__SANITIZE_ADDRESS__)
	// Six more scenes of 2 x 16 MB each would have added 192 MB. (The address
	// sanitizer holds freed memory back for a while.)
	EXPECT_LT(residentBytes() - resident, 48l << 20);
#endif
	EXPECT_EQ(errorLines(), 0);
}
