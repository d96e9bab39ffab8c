// Command renderers made from scenes on OpenGL with the light pre-pass
// context (Xvfb, llvmpipe): the renderer ID after a failed and a good
// command list, the sample scene that draws itself through its own
// commands, and a scene whose commands fail drawn by the default renderer.
#include "api/ZeApiTestFixture.h"

#include "api/ZeApiItems.h"
#include "api/ZeScene.h"
#include "api/ZeSceneRenderer.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeTestDisplay.h"
#include "render/CZeRendererCmds.h"
#include "render/CZeRendererLpp.h"
#include "scene/CZeResourceManagerScene.h"
#include "scene/ZeSceneDesc.h"

#include <GL/gl.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

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
};

// One channel of a linear colour on the sRGB curve, 0 to 255.
double srgb(double linear)
{
	const double c = linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
	return c * 255.0;
}

class SceneRendererGL : public ::testing::Test
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
		p.antialias = Antialias;
		p.lightPrePass = 1;
		p.dataPrefix = ZELV_BINARY_DIR "/data";
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr) << " " << zeGetEngineInitError();
		ASSERT_NE(zeGetRendererCtxAdv(), nullptr);
		zeClearError();
	}
	void TearDown() override
	{
		if (!*Cwd)
			return;
		if (HasFailure())
			for (const std::string& line : g_log)
				fprintf(stderr, "%s\n", line.c_str());
		zeTerm();
		zeRegisterServiceFactories(SZeServiceFactories());
		zeSetDataPrefix("");
		zeSetLogSink(nullptr);
		EXPECT_EQ(chdir(Cwd), 0);
	}

	// The back buffer's pixel (x, y) counted from the top.
	static Rgb pixel(int x, int y)
	{
		unsigned char p[4] = {};
		glReadBuffer(GL_BACK);
		glPixelStorei(GL_PACK_ALIGNMENT, 1);
		glReadPixels(x, H - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
		return {p[0], p[1], p[2]};
	}

	int Antialias = 0;
	char Cwd[PATH_MAX] = {};
};

class SceneRendererAntialiasGL : public SceneRendererGL
{
protected:
	SceneRendererAntialiasGL() { Antialias = 1; }
};
} // namespace

TEST_F(SceneRendererGL, ABadCommandFreesTheRendererIdAndAGoodListDraws)
{
	auto desc = std::make_unique<SZeSceneDesc>();
	desc->commandCount = 1;
	desc->commands[0] = SZeSceneCommand{};
	desc->commands[0].name = "c";
	desc->commands[0].cmd = "Blur";
	EXPECT_EQ(zeLoadRendererFromScene(3, 1, desc.get(), 1), -1);
	EXPECT_EQ(takeError(), "Failed to create renderer");
	EXPECT_EQ(logLinesWith("CZeRendererCmds command 'Blur' is not supported"), 1);
	EXPECT_EQ(zeIdTableGet(zeGetIdTable(EZEIT_RENDERER), 3), nullptr);

	// A clear of the display to a colour of the command's own.
	SZeSceneCommand& clear = desc->commands[0];
	clear.cmd = "Clear";
	clear.outputCount = 1;
	clear.outputs[0] = {"Target", "Display"};
	clear.paramCount = 1;
	clear.params[0] = SZeSceneCommandParam{"ClearColor", EZSPK_FLOAT3, {0.2f, 0.6f, 1.0f}, 0, nullptr, 0};
	ASSERT_EQ(zeLoadRendererFromScene(3, 1, desc.get(), 1), 0) << takeError();
	zeUseRenderer(3);
	zeEndFrame();
	const Rgb p = pixel(W / 2, H / 2);
	EXPECT_TRUE(p.R == 51 && p.G == 153 && p.B == 255) << p.R << " " << p.G << " " << p.B;
	zeDeleteRenderer(3);
	EXPECT_EQ(zeIdTableGet(zeGetIdTable(EZEIT_RENDERER), 3), nullptr);
}

TEST_F(SceneRendererGL, TheCommandsSampleDrawsItselfThroughItsCommands)
{
	ASSERT_EQ(zeLoadScene("commands.zelv", 1, 1, 1, 1, 1, 1, 1, 1, 0, "", 0), 0);
	EXPECT_EQ(takeError(), "");
	zeShowScene(1);
	ASSERT_NE(dynamic_cast<CZeRendererCmds*>(zeGetCurrentRenderer()), nullptr);
	zeAnimateScene(1, 0);
	zeEndFrame();
	for (const std::string& line : g_log)
		EXPECT_NE(line.rfind("ERROR", 0), 0u) << line;

	// The backdrop (0.05, 0.1, 0.2 in 8 bits), tinted by (1, 0.9, 0.8), on the sRGB curve.
	const Rgb corner = pixel(2, 2);
	EXPECT_NEAR(corner.R, srgb(12 / 255.0), 2);
	EXPECT_NEAR(corner.G, srgb(25 / 255.0 * 0.9), 2);
	EXPECT_NEAR(corner.B, srgb(51 / 255.0 * 0.8), 2);
	// The red upper half of the ball, lit by the light buffer the commands filled.
	const Rgb ball = pixel(W / 2 + 5, H / 3);
	EXPECT_GT(ball.R, 2 * ball.G);
	EXPECT_GT(ball.R, corner.R + 40);
	zeHideScene(1);
	zeDeleteScene(1);
}

// The default renderer takes over, with the scene's antialiasing at the end
// of the frame in a mode that draws nothing.
TEST_F(SceneRendererAntialiasGL, ASceneWhoseCommandsFailIsDrawnByTheDefaultRenderer)
{
	std::ifstream in("minimal.zelv");
	std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
	ASSERT_EQ(text.substr(text.size() - 2), "}\n");
	text.resize(text.size() - 2);
	text += "{ ZelvRenderSettings\nI4 CH_AA_JITTER 0\nI4 CH_AA_LOCATION 1\nI4 CH_AA_MODE 3\nI4 CH_AA_BLENDING 0\n}\n"
		"{ ZelvRenderCommands\n{ Commands\n{ Blur\nSTR name \"Blur\"\nSTR cmd \"Blur\"\n}\n}\n}\n}\n";
	const std::string path = std::filesystem::temp_directory_path() / ("zelv-failing-" + std::to_string(getpid()) +
		".zelv");
	std::ofstream(path) << text;
	ASSERT_EQ(zeLoadScene(path.c_str(), 1, 1, 1, 1, 1, 1, 1, 1, 0, "", 0), 0) << takeError();
	std::filesystem::remove(path);
	EXPECT_EQ(logLinesWith("Load renderer from scene failed : Failed to create renderer"), 1);
	zeShowScene(1);
	EXPECT_NE(dynamic_cast<CZeRendererLpp*>(zeGetCurrentRenderer()), nullptr);
	zeAnimateScene(1, 0);
	zeEndFrame();
	// The backdrop (0.05, 0.1, 0.2) and the red ball, lit.
	const Rgb corner = pixel(2, 2);
	EXPECT_TRUE(corner.R == 12 && corner.G == 25 && corner.B == 51) << corner.R << " " << corner.G << " " << corner.B;
	const Rgb ball = pixel(W / 2 + 5, H / 3);
	EXPECT_GT(ball.R, 2 * ball.G);
	EXPECT_GT(ball.R, corner.R + 40);
	zeHideScene(1);
	zeDeleteScene(1);
}
