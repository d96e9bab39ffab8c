// The frame end, the current renderer, rendering into textures, the reset path
// and the screen quad. Cases whose fixture ends in GL open an OpenGL window
// (Xvfb in the test run) and read pixels back.
#include "core/CZeScreenQuad.h"
#include "core/IZeManager.h"
#include "core/IZeRendererCtxAdv.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeFile.h"
#include "frame/ZeEngine.h"
#include "frame/ZeIdTable.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"
#include "frame/ZeWindowPlatform.h"
#include "libext/CZeMeshSceneNodes.h"
#include "libext/IZeVideoDriverExt.h"
#include "libext/ZeMaterialExt.h"
#include "libext/ZeTextureExt.h"

#include "ZeCoreTestUtil.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include "frame/ZeTestDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace irr;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

using zecoretest::g_lines;
using zecoretest::linesWith;

// Renderers that record what they were asked to draw and with which clear colour.
int g_liveRenderers = 0;
struct FakeCtx : IZeRendererCtx
{
	SZeClearRecord Record{0, 0};
	FakeCtx() { ++g_liveRenderers; }
	~FakeCtx() override { --g_liveRenderers; }
	SZeClearRecord* getClearColor() override { return &Record; }
};
struct FakeRenderer : IZeRenderer
{
	FakeCtx* Ctx;
	std::vector<std::pair<video::ITexture*, u32>> Renders;  // target, clear colour
	explicit FakeRenderer(FakeCtx* ctx) : Ctx(ctx) { ++g_liveRenderers; }
	~FakeRenderer() override { --g_liveRenderers; }
	bool render(video::ITexture* target) override
	{
		Renders.emplace_back(target, Ctx ? Ctx->Record.Color : 0u);
		return true;
	}
};
// Keeps the driver's view and projection at each update, as the real one does.
struct FakeInfo : IZeLastFrameInfo
{
	int Updates = 0;
	core::matrix4 View, Projection;
	void update() override
	{
		++Updates;
		View = zeGetContext()->driver->getTransform(video::ETS_VIEW);
		Projection = zeGetContext()->driver->getTransform(video::ETS_PROJECTION);
	}
	f32 getAverageFps() const override { return 0.f; }
	const core::matrix4& getPrevProjection() const override { return Projection; }
	const core::matrix4& getPrevView() const override { return View; }
	bool isCameraCut(const core::matrix4&, f32, f32) const override { return false; }
};
// An advanced context keeping its records and the effects it is handed.
struct FakeCtxAdv : IZeRendererCtxAdv
{
	SZeClearRecord Record{0, 0};
	SZeRenderSettings Settings;
	SZeLightStreakParams Streak;
	SZeAntialiasParams Antialias;
	std::vector<IZeEffect*> PostEffects;
	SZeRendererShaderFiles Files;
	FakeCtxAdv() { ++g_liveRenderers; }
	~FakeCtxAdv() override { --g_liveRenderers; }
	SZeClearRecord* getClearColor() override { return &Record; }
	SZeRenderSettings* getRenderSettings() override { return &Settings; }
	SZeLightStreakParams* getLightStreak() override { return &Streak; }
	SZeAntialiasParams* getAntialias() override { return &Antialias; }
	u32 setPostEffects(const core::array<IZeEffect*>& effects) override
	{
		PostEffects.assign(effects.const_pointer(), effects.const_pointer() + effects.size());
		return effects.size();
	}
};
// What the light pre-pass set-up of the fake renderer manager does.
enum ELppSetup
{
	ELS_NONE,           // no advanced context
	ELS_READY,          // context and renderer
	ELS_NO_RENDERER,    // a context, but the renderer fails
	ELS_NO_TARGETS      // the targets fail
};
ELppSetup g_lppSetup = ELS_NONE;
int g_ctxAdvMade = 0;
FakeRenderer* g_defaultRenderer = nullptr;
FakeCtx* g_defaultCtx = nullptr;
FakeCtxAdv* g_ctxAdv = nullptr;
FakeRenderer* g_lppRenderer = nullptr;
FakeInfo* g_info = nullptr;
struct FakeRenderers : IZeRendererManager
{
	FakeInfo Info;
	FakeRenderers() { g_info = &Info; }
	~FakeRenderers() override { g_info = nullptr; }
	bool createRenderTargets(ze::ECOLOR_FORMAT format, const core::dimension2d<u32>* size) override
	{
		return g_lppSetup != ELS_NO_TARGETS && format == ze::ECF_A16B16G16R16F && !size;
	}
	IZeRendererCtx* createRendererCtx() override { return g_defaultCtx = new FakeCtx; }
	IZeRenderer* createRendererSimple(IrrlichtDevice*, IZeRendererCtx* ctx) override
	{
		return g_defaultRenderer = new FakeRenderer(static_cast<FakeCtx*>(ctx));
	}
	IZeRendererCtxAdv* createRendererCtxAdv(const SZeRendererShaderFiles& files) override
	{
		++g_ctxAdvMade;
		if (g_lppSetup == ELS_NONE)
			return nullptr;
		g_ctxAdv = new FakeCtxAdv;
		g_ctxAdv->Files = files;
		return g_ctxAdv;
	}
	IZeRenderer* createRendererLpp(IrrlichtDevice*, IZeManager*, IZeRendererCtxAdv*, const SZeRendererDesc&) override
	{
		return g_lppSetup == ELS_READY ? g_lppRenderer = new FakeRenderer(nullptr) : nullptr;
	}
	IZeRenderer* createRendererCmds(IrrlichtDevice*, IZeManager*, IZeRendererCtxAdv*, const SZeRendererDesc&) override
	{
		return nullptr;
	}
	bool createCommandTextures(const SZeRendererDesc&) override { return false; }
	IZeLastFrameInfo* getLastFrameInfo() override { return &Info; }
};

class CoreTest : public zecoretest::CoreFixture
{
protected:
	CoreTest() : CoreFixture("/tmp/zelv-frame-end-XXXXXX") {}
	void SetUp() override
	{
		CoreFixture::SetUp();
		Params.antialias = 0;
	}
};
class CoreGL : public CoreTest
{
protected:
	bool useGL() const override { return true; }

	// A camera at z -6 facing an unlit cube of `colour` at the origin.
	void addCube(video::SColor colour)
	{
		scene::ISceneManager* smgr = zeGetContext()->sceneManager;
		smgr->setActiveCamera(smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -6), core::vector3df(0, 0, 0)));
		scene::IMesh* mesh = smgr->getGeometryCreator()->createCubeMesh(core::vector3df(2, 2, 2));
		smgr->getMeshManipulator()->setVertexColors(mesh, colour);
		scene::IMeshSceneNode* node = ze::addMeshSceneNode(smgr, mesh);
		mesh->drop();
		ASSERT_NE(node, nullptr);
		node->setMaterialFlag(video::EMF_LIGHTING, false);
	}
};

// The back buffer's pixel at (x, y) counted from the top, as 0xAARRGGBB with alpha 255.
u32 backBufferPixel(int x, int y)
{
	unsigned char rgba[4] = {};
	glReadBuffer(GL_BACK);
	glPixelStorei(GL_PACK_ALIGNMENT, 1);
	glReadPixels(x, zeScreenHeight() - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
	return video::SColor(255, rgba[0], rgba[1], rgba[2]).color;
}

// Screenshots take the swap to keep or lose the back buffer while it lives.
struct SSwapKeepsBackBuffer
{
	explicit SSwapKeepsBackBuffer(bool keeps) { zeSetSwapKeepsBackBufferForTests(keeps ? 1 : 0); }
	~SSwapKeepsBackBuffer() { zeSetSwapKeepsBackBufferForTests(-1); }
	SSwapKeepsBackBuffer(const SSwapKeepsBackBuffer&) = delete;
	SSwapKeepsBackBuffer& operator=(const SSwapKeepsBackBuffer&) = delete;
};

// Texel `index` of a float readback as 0xAARRGGBB.
u32 texel(const std::vector<float>& rgba, size_t index)
{
	auto byte = [&](int c) { return static_cast<u32>(std::lround(rgba[index * 4 + c] * 255.f)); };
	return video::SColor(byte(3), byte(0), byte(1), byte(2)).color;
}
} // namespace

// ---- The frame end and the current renderer ----------------------------------------
TEST_F(CoreTest, FrameEndDrawsThroughTheCurrentRendererWithTheBackdrop)
{
	SZeServiceFactories factories = {};
	factories.createRendererManager = [](IZeManager*) -> IZeRendererManager* { return new FakeRenderers; };
	zeRegisterServiceFactories(factories);
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	FakeRenderer* standard = g_defaultRenderer;
	ASSERT_NE(standard, nullptr);
	EXPECT_EQ(zeGetCurrentRenderer(), standard);
	EXPECT_EQ(zeGetCurrentRendererCtx(), g_defaultCtx);
	EXPECT_EQ(zeGetRendererCtxAdv(), nullptr);

	zeGetContext()->backdrop = video::SColor(255, 1, 2, 3);
	zeEndFrame();
	zeGetContext()->backdrop = video::SColor(128, 9, 8, 7);
	zeSync();  // the system layer's frame end is ours once installed
	using Renders = std::vector<std::pair<video::ITexture*, u32>>;
	EXPECT_EQ(standard->Renders, (Renders{ { nullptr, 0xFF010203u }, { nullptr, 0x80090807u } }));
	ASSERT_NE(g_info, nullptr);
	EXPECT_EQ(g_info->Updates, 2);

	zeRenderSetDebug(5);
	EXPECT_EQ(g_defaultCtx->Record.Debug, 5u);
	EXPECT_EQ(g_defaultCtx->Record.Color, 0x80090807u);

	// Another renderer is held while current; null brings the default back.
	FakeRenderer* other = new FakeRenderer(g_defaultCtx);
	zeSetCurrentRenderer(other);
	EXPECT_EQ(other->getReferenceCount(), 2);
	zeEndFrame();
	EXPECT_EQ(other->Renders.size(), 1u);
	EXPECT_EQ(standard->Renders.size(), 2u);
	zeSetCurrentRenderer(nullptr);
	EXPECT_EQ(zeGetCurrentRenderer(), standard);
	EXPECT_EQ(other->getReferenceCount(), 1);
	other->drop();
	EXPECT_EQ(g_info->Updates, 3);

	// The NULL driver has no render targets: no dummy frame, no texture target.
	EXPECT_EQ(zeRenderDummyFrame(), -1);
	EXPECT_EQ(zeRenderToTexture(nullptr, 1), -1);
	zeTerm();
	EXPECT_EQ(g_liveRenderers, 0);
}

// A frame end that writes materials on every frame: the side records nobody
// holds go once they pile up, those of held materials stay.
TEST_F(CoreTest, FrameEndsKeepSideRecordsBoundedAndHeldOnesAlive)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	const int frames = 12000;
	std::vector<ze::SMaterialUserData> perFrame(frames);
	video::SMaterial held;
	const ze::CMaterialExtHolder holding(held);
	u32 most = 0;
	for (int i = 0; i < frames; ++i)
	{
		video::SMaterial scratch;
		ze::setMaterialUserData(scratch, &perFrame[i]);
		ze::setMaterialUserData(held, &perFrame[i]);
		zeEndFrame();
		ASSERT_EQ(ze::getMaterialUserData(held), &perFrame[i]) << "frame " << i;
		most = std::max(most, ze::getMaterialExtCount());
	}
	EXPECT_LT(most, u32(frames / 2));
}

// The box-with-effect hook draws a screen quad, as the effect API's does.
int drawQuadBox(int, int, int, int, int, u32)
{
	CZeScreenQuad quad;
	quad.render(zeGetContext()->driver);
	return 0;
}

TEST_F(CoreGL, AFrameWithAScreenQuadKeepsTheCameraForTheLastFrameInformation)
{
	SZeServiceFactories factories = {};
	factories.createRendererManager = [](IZeManager*) -> IZeRendererManager* { return new FakeRenderers; };
	zeRegisterServiceFactories(factories);
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	// What the renderer leaves: the camera's transforms.
	video::IVideoDriver* driver = zeGetContext()->driver;
	core::matrix4 view, projection;
	view.buildCameraLookAtMatrixLH(core::vector3df(1, 2, -6), core::vector3df(0, 0, 0), core::vector3df(0, 1, 0));
	projection.buildProjectionMatrixPerspectiveFovLH(1.f, 4.f / 3.f, 1.f, 100.f);
	driver->setTransform(video::ETS_VIEW, view);
	driver->setTransform(video::ETS_PROJECTION, projection);
	int effect = 0;
	ASSERT_EQ(zeIdTableAdd(zeGetIdTable(EZEIT_EFFECT), 1, &effect), 0);
	ASSERT_EQ(zeBoxWithEffect(0, 0, 10, 10, 1), 0);
	SZeEngineHooks& hooks = zeGetEngineHooks();
	const SZeEngineHooks kept = hooks;
	hooks.drawBoxWithEffect = drawQuadBox;
	zeEndFrame();
	hooks = kept;
	ASSERT_EQ(g_info->Updates, 1);
	EXPECT_EQ(g_info->getPrevView(), view);
	EXPECT_EQ(g_info->getPrevProjection(), projection);
}

// ---- The default renderer ------------------------------------------------------------
class LppSetup : public CoreTest
{
protected:
	void SetUp() override
	{
		CoreTest::SetUp();
		g_lppSetup = ELS_READY;
		g_ctxAdvMade = 0;
		g_ctxAdv = nullptr;
		g_lppRenderer = g_defaultRenderer = nullptr;
		SZeServiceFactories factories = {};
		factories.createRendererManager = [](IZeManager*) -> IZeRendererManager* { return new FakeRenderers; };
		zeRegisterServiceFactories(factories);
	}
	void TearDown() override
	{
		zeTerm();
		EXPECT_EQ(g_liveRenderers, 0);
		zeSetCameraEffectSource(nullptr);
		g_lppSetup = ELS_NONE;
		CoreTest::TearDown();
	}
};
class LppSetupGL : public LppSetup
{
protected:
	bool useGL() const override { return true; }
};

TEST_F(LppSetupGL, TheLightPrePassRendererIsTheDefaultWithItsFilesFromTheDataSearch)
{
	Params.antialias = 1;
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	ASSERT_NE(g_lppRenderer, nullptr);
	EXPECT_EQ(zeGetCurrentRenderer(), g_lppRenderer);
	EXPECT_EQ(zeGetRendererCtxAdv(), g_ctxAdv);
	EXPECT_EQ(zeGetCurrentRendererCtx(), g_ctxAdv);
	EXPECT_EQ(g_defaultRenderer, nullptr);
	EXPECT_EQ(linesWith("the light pre-pass renderer draws the frames"), 1);
	EXPECT_TRUE(g_ctxAdv->Files.Antialias);
	for (u32 i = 0; i < EZERSF_COUNT; ++i)
	{
		const std::string found = g_ctxAdv->Files.Files[i].c_str(), file = zeRendererShaderFileName(i);
		EXPECT_EQ(found, zeFindDataFile(file.c_str()));
		EXPECT_EQ(found.substr(found.size() - file.size()), file);
	}
	EXPECT_EQ(std::string(zeRendererShaderFileName(EZERSF_DEPTH_CLEAR)), "LppDepthClear.hlsl");
	EXPECT_EQ(std::string(zeRendererShaderFileName(EZERSF_SMAA_SEARCH)), "SearchTex.png");
	EXPECT_EQ(std::string(zeRendererShaderFileName(EZERSF_COUNT)), "");
	// The frame end hands the backdrop to its clear record.
	zeGetContext()->backdrop = video::SColor(0, 1, 2, 3);
	zeEndFrame();
	EXPECT_EQ(g_ctxAdv->Record.Color, 0x00010203u);
	ASSERT_EQ(g_lppRenderer->Renders.size(), 1u);
}

TEST_F(LppSetupGL, ARendererThatCannotStartLeavesTheSimpleOneWithAWarning)
{
	for (ELppSetup setup : {ELS_NONE, ELS_NO_RENDERER, ELS_NO_TARGETS})
	{
		g_lppSetup = setup;
		g_lines.clear();
		ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
		EXPECT_EQ(linesWith("WARN : ZeEngine: the light pre-pass renderer cannot start, using the simple renderer"), 1);
		EXPECT_EQ(linesWith("the simple renderer draws the frames"), 1);
		EXPECT_EQ(zeGetCurrentRenderer(), g_defaultRenderer);
		EXPECT_EQ(zeGetRendererCtxAdv(), nullptr);
		zeTerm();
		EXPECT_EQ(g_liveRenderers, 0) << "the context made for nothing is let go";
	}
	// Without the light pre-pass it is not tried.
	g_lppSetup = ELS_READY;
	g_ctxAdvMade = 0;
	Params.lightPrePass = 0;
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	EXPECT_EQ(g_ctxAdvMade, 0);
	EXPECT_EQ(zeGetRendererCtxAdv(), nullptr);
}

TEST_F(LppSetup, TheNullDriverKeepsTheSimpleRenderer)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	EXPECT_EQ(g_ctxAdvMade, 0);
	EXPECT_EQ(zeGetCurrentRenderer(), g_defaultRenderer);
	EXPECT_EQ(zeGetRendererCtxAdv(), nullptr);
	zeApplyRenderSettings(0);  // nothing to apply to
}

TEST_F(LppSetupGL, RenderSettingsAreCopiedEachFrameAndBakingTurnsThePostEffectsOff)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	ASSERT_NE(g_ctxAdv, nullptr);
	static IZeEffect* const cameraEffects[2] = {reinterpret_cast<IZeEffect*>(0x1000), reinterpret_cast<IZeEffect*>(0x2000)};
	zeSetCameraEffectSource([](core::array<IZeEffect*>& out) {
		out.set_used(0);
		out.push_back(cameraEffects[0]);
		out.push_back(cameraEffects[1]);
	});
	SZeRenderParams& p = zeGetContext()->render;
	p.colorSpaceViewer = 2;
	p.glowEnable = 1;
	p.glowIntensity = 0.5f;
	p.glowRadius = 24.0f;
	p.dofMode = 1;
	p.dofFocalDistance = 10.0f;
	p.dofFStop = 2.8f;
	p.advancedDofMode = 7;
	const float dof[4] = {1.0f, 9.0f, 4.0f, 1.5f};  // minimum, maximum, focused, radius scale
	std::copy(dof, dof + 4, p.advancedDof);
	p.streakEnable = 1;
	const float streak[11] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 45.0f, 2.0f};
	std::copy(streak, streak + 11, p.streak);
	p.bloomEnable = 1;
	p.bloom[0] = 0.7f;
	p.bloom[1] = 0.2f;
	p.shadowEnable = 1;
	p.shadowEpsilon = 3.0f;
	const int antialias[6] = {2, 2, 1, 2, 5, 1};  // jitter, location, mode, blending, weight, limit switch
	std::copy(antialias, antialias + 6, p.antialias);
	p.antialiasFloat = 0.25f;
	g_ctxAdv->Settings.Baking = true;
	zeEndFrame();

	const SZeRenderSettings& s = g_ctxAdv->Settings;
	EXPECT_TRUE(s.GammaEnable && s.GlowEnable && s.StreakEnable && s.BloomEnable && s.DofEnable && s.ShadowOverride);
	EXPECT_FALSE(s.Baking);
	EXPECT_EQ(s.GlowIntensity, 0.5f);
	EXPECT_EQ(s.GlowRadius, 24.0f);
	EXPECT_EQ(s.FocalDistance, 10.0f);
	EXPECT_EQ(s.FStop, 2.8f);
	EXPECT_EQ(s.DofMode, 1.0f) << "any advanced mode selects the artist circle of confusion";
	EXPECT_TRUE(s.DofFocalRangeMin == 1.0f && s.DofFocalRangeMax == 9.0f && s.DofFocalRangeFocused == 4.0f &&
		s.DofRadiusScale == 1.5f);
	EXPECT_TRUE(s.BloomSpecularMin == 0.7f && s.BloomCompose == 0.2f && s.ShadowEpsilon == 3.0f);
	EXPECT_EQ(s.AntialiasLocation, 2u);
	const SZeLightStreakParams& k = g_ctxAdv->Streak;
	EXPECT_EQ(k.GlowMin, 0.1f);
	EXPECT_EQ(std::vector<f32>(k.ColorKey, k.ColorKey + 4), (std::vector<f32>{0.2f, 0.3f, 0.4f, 1.0f}));
	EXPECT_EQ(k.KeyMatch, 0.5f);
	EXPECT_EQ(std::vector<f32>(k.Colorize, k.Colorize + 4), (std::vector<f32>{0.6f, 0.7f, 0.8f, 1.0f}));
	EXPECT_TRUE(k.Attenuation == 0.9f && k.Angle == 45.0f && k.Compose == 2.0f);
	const SZeAntialiasParams& a = g_ctxAdv->Antialias;
	EXPECT_TRUE(a.Jitter == 2u && a.Mode == 1u && a.Blending == 2u && a.BlendingWeight == 5u && a.ValueLimitEnable &&
		a.ValueLimit == 0.25f);
	EXPECT_EQ(g_ctxAdv->PostEffects, (std::vector<IZeEffect*>{cameraEffects[0], cameraEffects[1]}));

	// Mode 0 is the physical circle of confusion; baking drops glow, streaks,
	// gamma and the camera effects.
	p.advancedDofMode = 0;
	zeApplyRenderSettings(1);
	EXPECT_EQ(s.DofMode, 0.0f);
	EXPECT_TRUE(s.Baking && !s.GlowEnable && !s.StreakEnable && !s.GammaEnable && s.BloomEnable);
	EXPECT_TRUE(g_ctxAdv->PostEffects.empty());
	zeApplyRenderSettings(0);
	EXPECT_TRUE(!s.Baking && s.GlowEnable && s.GammaEnable && g_ctxAdv->PostEffects.size() == 2u);
}

TEST_F(CoreTest, ResetWithRenderedTexturesEndsTheProgramAtTheNextFrame)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	// Without rendered textures a reset is survived.
	zeFireDeviceReset();
	EXPECT_EQ(linesWith("zeIrrlicht: D3D Device is about to RESET"), 1);
	zeEndFrame();
	EXPECT_EQ(zeRun(), 1);
	EXPECT_EQ(linesWith("Graphic Device lost"), 0);

	zeHasPrecalcRenderTargets();
	zeEndFrame();
	EXPECT_EQ(zeRun(), 1);
	zeFireDeviceReset();
	zeEndFrame();
	EXPECT_EQ(linesWith("ERROR : Graphic Device lost, cannot re-create rendered textures, exiting"), 1);
	EXPECT_EQ(zeRun(), 0);
}

// On a swap that keeps the back buffer and on one that loses it (painted
// magenta after the present here), where the shot has the frame drawn again:
// what was queued after the frame end is not in it.
TEST_F(CoreGL, FrameEndWithoutRendererDrawsTheSceneTheBackdropAnd2D)
{
	const video::SColor cube(255, 200, 40, 60), backdrop(255, 10, 120, 220);
	for (const bool keeps : { true, false })
	{
		SCOPED_TRACE(keeps ? "the swap keeps the back buffer" : "the swap loses the back buffer");
		const SSwapKeepsBackBuffer swap(keeps);
		ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
		ASSERT_EQ(zeGetCurrentRenderer(), nullptr);
		addCube(cube);
		zeGetContext()->backdrop = backdrop;
		zeInk(0x00FF00);
		ASSERT_EQ(zeBox(0, 0, 10, 10), 0);
		zeEndFrame();
		if (!keeps)
		{
			glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
			glClear(GL_COLOR_BUFFER_BIT);
		}
		ASSERT_EQ(zeBox(150, 0, 160, 10), 0);
		const std::string shot = Tmp + "/shot.png";
		ASSERT_EQ(zeScreenShot(shot.c_str()), 0);
		video::IImage* image = zeGetContext()->driver->createImageFromFile(shot.c_str());
		ASSERT_NE(image, nullptr);
		EXPECT_EQ(image->getPixel(80, 60).color, cube.color);
		EXPECT_EQ(image->getPixel(155, 115).color, backdrop.color);
		EXPECT_EQ(image->getPixel(5, 5).color, 0xFF00FF00u);
		EXPECT_EQ(image->getPixel(155, 5).color, backdrop.color);
		image->drop();
		zeTerm();
	}
}

// The renderer draws the frame once more for the first shot, which is not a
// new frame; the shots after it are the copies kept.
TEST_F(CoreGL, ShotOfALostBackBufferDrawsThroughTheRendererOnce)
{
	const SSwapKeepsBackBuffer loses(false);
	SZeServiceFactories factories = {};
	factories.createRendererManager = [](IZeManager*) -> IZeRendererManager* { return new FakeRenderers; };
	zeRegisterServiceFactories(factories);
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	FakeRenderer* renderer = g_defaultRenderer;
	ASSERT_NE(renderer, nullptr);
	zeGetContext()->backdrop = video::SColor(255, 1, 2, 3);
	zeEndFrame();
	const std::string shot = Tmp + "/shot.bmp";
	ASSERT_EQ(zeScreenShot(shot.c_str()), 0);
	ASSERT_EQ(zeScreenShot(shot.c_str()), 0);
	using Renders = std::vector<std::pair<video::ITexture*, u32>>;
	EXPECT_EQ(renderer->Renders, (Renders{ { nullptr, 0xFF010203u }, { nullptr, 0xFF010203u } }));
	EXPECT_EQ(g_info->Updates, 1);
	zeEndFrame();
	ASSERT_EQ(zeScreenShot(shot.c_str()), 0);
	EXPECT_EQ(renderer->Renders.size(), 3u);
	EXPECT_EQ(g_info->Updates, 2);
}

TEST_F(CoreGL, RenderToTextureFillsTheTargetAndLeavesTheBackBuffer)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	video::IVideoDriver* driver = zeGetContext()->driver;
	const video::SColor cube(255, 30, 200, 90), backdrop(255, 250, 240, 10);
	addCube(cube);
	zeGetContext()->backdrop = backdrop;
	video::ITexture* target = ze::addRenderTargetTexture(driver, core::dimension2d<u32>(64, 64), "CoreRTT", ze::ECF_A8R8G8B8);
	ASSERT_NE(target, nullptr);
	driver->setRenderTarget(nullptr, true, true, video::SColor(255, 0, 255, 0));
	ASSERT_EQ(backBufferPixel(80, 60), 0xFF00FF00u);

	ASSERT_EQ(zeRenderToTexture(target, 1), 0);
	std::vector<float> rgba;
	ASSERT_TRUE(ze::readTexture(target, &rgba));
	ASSERT_EQ(rgba.size(), 64u * 64u * 4u);
	EXPECT_EQ(texel(rgba, 32 * 64 + 32), cube.color);
	EXPECT_EQ(texel(rgba, 0), backdrop.color);
	EXPECT_EQ(texel(rgba, 64 * 64 - 1), backdrop.color);
	EXPECT_EQ(backBufferPixel(80, 60), 0xFF00FF00u);
	EXPECT_EQ(backBufferPixel(1, 1), 0xFF00FF00u);

	// Only render targets are drawn into.
	video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(2, 2));
	video::ITexture* plain = driver->addTexture("CorePlain", image);
	image->drop();
	EXPECT_EQ(zeRenderToTexture(plain, 1), -1);
	EXPECT_EQ(zeRenderDummyFrame(), 0);
}

// ---- Screen quad -------------------------------------------------------------------
TEST_F(CoreGL, ScreenQuadCoversEveryPixelWhateverTheDepthBufferHolds)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	video::IVideoDriver* driver = zeGetContext()->driver;
	video::ITexture* target = ze::addRenderTargetTexture(driver, core::dimension2d<u32>(64, 48), "QuadRTT", ze::ECF_A8R8G8B8);
	ASSERT_NE(target, nullptr);
	CZeScreenQuad quad;
	ASSERT_TRUE(driver->setRenderTarget(target, true, true, video::SColor(0, 0, 0, 0)));
	// The nearest depth everywhere: a quad tested against depth would draw nothing.
	glClearDepth(0.0);
	glClear(GL_DEPTH_BUFFER_BIT);
	glClearDepth(1.0);
	quad.render(driver);
	driver->setRenderTarget(nullptr, false, false);
	std::vector<float> rgba;
	ASSERT_TRUE(ze::readTexture(target, &rgba));
	ASSERT_EQ(rgba.size(), 64u * 48u * 4u);
	int unwritten = 0;
	for (size_t i = 0; i < 64 * 48; ++i)
		unwritten += texel(rgba, i) != 0xFFFFFFFFu;
	EXPECT_EQ(unwritten, 0);

	// Texture coordinate (0, 0) is the top left of the screen, (1, 1) the bottom right.
	const u32 colours[4] = { 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u };  // TL, TR, BL, BR
	video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(2, 2));
	for (u32 i = 0; i < 4; ++i)
		image->setPixel(i % 2, i / 2, video::SColor(colours[i]));
	video::ITexture* texture = driver->addTexture("QuadCorners", image);
	image->drop();
	quad.getMaterial().setTexture(0, texture);
	quad.getMaterial().TextureLayer[0].BilinearFilter = false;
	quad.getMaterial().TextureLayer[0].TrilinearFilter = false;
	driver->setRenderTarget(nullptr, true, true, video::SColor(255, 0, 0, 0));
	quad.render(driver);
	EXPECT_EQ(backBufferPixel(40, 30), colours[0]);
	EXPECT_EQ(backBufferPixel(120, 30), colours[1]);
	EXPECT_EQ(backBufferPixel(40, 90), colours[2]);
	EXPECT_EQ(backBufferPixel(120, 90), colours[3]);
}

TEST_F(CoreGL, MeshVertexTextureHoldsPositionsAndNormalsInBufferOrder)
{
	ASSERT_EQ(zeSetup(&Params), 0) << zeGetError(nullptr);
	IZeTextureManager* textures = zeGetManager()->getTextureManager();
	// Two buffers of three vertices with positions and normals that halves hold exactly.
	scene::SMesh* mesh = new scene::SMesh();
	for (int b = 0; b < 2; ++b)
	{
		scene::SMeshBuffer* buffer = new scene::SMeshBuffer();
		for (int v = 0; v < 3; ++v)
		{
			const f32 k = static_cast<f32>(b * 3 + v);
			buffer->Vertices.push_back(video::S3DVertex(core::vector3df(k, -k * 0.5f, 2.0f), core::vector3df(0, 0, k > 2 ? -1.f : 1.f),
				video::SColor(255, 255, 255, 255), core::vector2df(0, 0)));
		}
		mesh->addMeshBuffer(buffer);
		buffer->drop();
	}
	for (const bool full : { true, false })
	{
		const char* name = full ? "VertsFull" : "VertsHalf";
		video::ITexture* texture = textures->createMeshVertexTexture(mesh, name, true, 4, full);
		ASSERT_NE(texture, nullptr);
		EXPECT_EQ(texture->getSize(), core::dimension2d<u32>(4, 3)) << "twelve texels, four wide";
		EXPECT_EQ(textures->findTexture(name), texture);
		std::vector<float> rgba;
		ASSERT_TRUE(ze::readTexture(texture, &rgba));
		for (int i = 0; i < 6; ++i)
		{
			SCOPED_TRACE(i);
			const float* p = &rgba[static_cast<size_t>(2 * i) * 4];
			EXPECT_FLOAT_EQ(p[0], static_cast<float>(i));
			EXPECT_FLOAT_EQ(p[1], -0.5f * i);
			EXPECT_FLOAT_EQ(p[2], 2.0f);
			EXPECT_FLOAT_EQ(p[3], 1.0f);
			const float* n = p + 4;
			EXPECT_FLOAT_EQ(n[2], i > 2 ? -1.0f : 1.0f);
			EXPECT_FLOAT_EQ(n[3], 0.0f);
		}
	}
	// Positions only: one texel per vertex.
	video::ITexture* positions = textures->createMeshVertexTexture(mesh, "VertsOnly", false, 8, true);
	ASSERT_NE(positions, nullptr);
	EXPECT_EQ(positions->getSize(), core::dimension2d<u32>(8, 1));
	EXPECT_EQ(textures->createMeshVertexTexture(mesh, "NoWidth", true, 0, true), nullptr);
	EXPECT_EQ(textures->createMeshVertexTexture(nullptr, "NoMesh", true, 4, true), nullptr);
	mesh->drop();
}
