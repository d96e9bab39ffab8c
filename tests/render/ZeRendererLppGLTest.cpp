// The light pre-pass renderer drawing whole frames through the frame end
// (Xvfb, llvmpipe), read back from the window: surfaces with the engine's
// material effects lit by the light buffer, shadows, glow, gamma,
// antialiasing, the library's own materials, and the projection's jitter.
#include "ZeSurfaceSceneGL.h"

#include "core/IZeRendererCtxAdv.h"
#include "render/CZeRendererLpp.h"

#include "frame/ZeTestDisplay.h"

#include <iostream>

using namespace irr;
using namespace zetest;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const u32 W = 160, H = 120;

class LppFrame : public SurfaceGL
{
protected:
	LppFrame()
	{
		WindowWidth = W;
		WindowHeight = H;
	}

	void SetUp() override
	{
		SurfaceGL::SetUp();
		if (IsSkipped() || HasFatalFailure())
			return;
		ASSERT_NE(zeGetRendererCtxAdv(), nullptr) << "the light pre-pass renderer did not start";
		Renderer = dynamic_cast<CZeRendererLpp*>(zeGetCurrentRenderer());
		ASSERT_NE(Renderer, nullptr);
		zeGetContext()->backdrop = video::SColor(0, 0, 0, 0);
		Smgr->setAmbientLight(video::SColorf(0, 0, 0, 0));
	}

	void TearDown() override
	{
		if (HasFailure())
			for (const std::string& line : logLines())
				std::cerr << line << "\n";
		SurfaceGL::TearDown();
	}

	CZeRendererLpp* Renderer = nullptr;
};
} // namespace

// ---- Surfaces and lights ----------------------------------------------------------------------
TEST_F(LppFrame, AnEmissiveSurfaceShowsInItsColourAndTheBackdropAroundIt)
{
	camera(core::vector3df(0, 0, -6));
	surfaceNode(rectangle({-1, -1, 0}, {2, 0, 0}, {0, 2, 0}), emissive(0.2f, 0.6f, 0.9f));
	zeGetContext()->backdrop = video::SColor(0, 0x11, 0x33, 0x66);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(80, 60), 51, 153, 230, -1, 3));
	EXPECT_TRUE(near(screenPixel(5, 5), 0x11, 0x33, 0x66));
}

TEST_F(LppFrame, ALitSphereIsBrightOnTheLightsSideAndDarkOnTheOther)
{
	camera(core::vector3df(0, 0, -6));
	scene::IMesh* sphere = Smgr->getGeometryCreator()->createSphereMesh(2.0f, 32, 32);
	surfaceNode(sphere, [](IZeSurfaceLightwave* s) { s->setParamFloat3(EZELW_BASE_COLOR, 1, 1, 1); });
	// Shining towards -x: the +x side (the right of the picture) faces it.
	scene::ILightSceneNode* sun = light(video::ELT_DIRECTIONAL, {0, 0, 0}, {0, -90, 0}, 100.0f);
	zeEndFrame();
	ASSERT_LT(sun->getLightData().Direction.X, -0.99f);
	// The sphere is 55 pixels wide.
	EXPECT_GT(grey(80 + 18, 60), 150);
	EXPECT_LT(grey(80 - 18, 60), 10);

	EXPECT_EQ(grey(5, 5), 0);
	// The light buffer holds what lit it: diffuse light on the right half only.
	const std::vector<float> lightBuffer = read(ze::findTexture(Driver, "LightRTT"));
	EXPECT_GT(texel(lightBuffer, W, 80 + 18, 60).R, 100);
	EXPECT_EQ(texel(lightBuffer, W, 80 - 18, 60).R, 0);
	const std::vector<float> depth = read(ze::findTexture(Driver, "DepthRTT"));
	EXPECT_LT(depth[(60 * W + 80 - 18) * 4], 6.0f) << "the dark side is the sphere's";
}

TEST_F(LppFrame, AShadowedSpotLeavesTheOccludersShadowOnAPlane)
{
	// Looking down at a floor; a small square floats between it and a spot light above.
	scene::ICameraSceneNode* view = Smgr->addCameraSceneNode(nullptr, {0, 12, -0.01f}, {0, 0, 0});
	Smgr->setActiveCamera(view);
	auto white = [](IZeSurfaceLightwave* s) { s->setParamFloat3(EZELW_BASE_COLOR, 1, 1, 1); };
	scene::ISceneNode* floor = surfaceNode(rectangle({-6, 0, -6}, {12, 0, 0}, {0, 0, 12}), white);
	scene::ISceneNode* occluder = surfaceNode(rectangle({-1, 3, -1}, {2, 0, 0}, {0, 0, 2}), white);
	for (scene::ISceneNode* n : {floor, occluder})
		Manager->getSceneManager()->getSceneNodeExt(n)->setCastShadow(true);
	scene::ILightSceneNode* spot = light(video::ELT_SPOT, {3, 8, 0}, {90, 0, 0}, 30.0f);
	spot->getLightData().OuterCone = 60.0f;
	spot->getLightData().InnerCone = 50.0f;
	spot->enableCastShadow(true);
	// The floor point below the occluder (seen a little to the left of the
	// occluder's own picture, as the light stands to the right) and a lit one.
	zeEndFrame();
	const core::vector3df shadowed(-2.0f, 0.0f, 0.0f), lit(-4.5f, 0.0f, 0.0f);
	core::position2di s = Smgr->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(shadowed, view);
	core::position2di l = Smgr->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(lit, view);
	EXPECT_GT(grey(l.X, l.Y), 60) << l.X << "," << l.Y;
	EXPECT_LT(grey(s.X, s.Y), grey(l.X, l.Y) / 4) << s.X << "," << s.Y;
	// Without the occluder's shadow the same point is lit.
	Manager->getSceneManager()->getSceneNodeExt(occluder)->setCastShadow(false);
	zeEndFrame();
	EXPECT_GT(grey(s.X, s.Y), 60);
}

TEST_F(LppFrame, ATransparentSurfaceIsLitByTheFramesLightsAndBlendsOverTheSolidOnes)
{
	camera(core::vector3df(0, 0, -6));
	surfaceNode(rectangle({-2, -2, 1}, {4, 0, 0}, {0, 4, 0}), emissive(1, 0, 0));
	scene::IMeshSceneNode* glass = surfaceNode(rectangle({-1, -1, 0}, {2, 0, 0}, {0, 2, 0}), [](IZeSurfaceLightwave* s) {
		s->setParamFloat3(EZELW_BASE_COLOR, 1, 1, 1);
		s->setParamFloat(EZELW_SPECULARITY, 0.0f);
		s->setParamFloat(EZELW_TRANSPARENCY, 0.5f);
	});
	EXPECT_EQ(glass->getMaterial(0).MaterialType, Manager->getEffectManager()->getMaterialType(13));
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(80, 60), 128, 0, 0, -1, 3)) << "unlit: half of the red";
	// A light shining into the picture lights its front fully.
	light(video::ELT_DIRECTIONAL, {0, 0, 0}, {0, 0, 0}, 100.0f);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(80, 60), 255, 128, 128, -1, 3));
	EXPECT_TRUE(near(screenPixel(80, 40), 255, 0, 0));
}

// ---- Post steps -------------------------------------------------------------------------------
TEST_F(LppFrame, GlowBrightensAroundAGlowingSurface)
{
	camera(core::vector3df(0, 0, -6));
	surfaceNode(rectangle({-0.5f, -0.5f, 0}, {1, 0, 0}, {0, 1, 0}), [](IZeSurfaceLightwave* s) {
		s->setParamFloat3(EZELW_BASE_COLOR, 1, 1, 1);
		s->setParamFloat(EZELW_LUMINOSITY, 1.0f);
		s->setParamFloat(EZELW_GLOW, 1.0f);
		s->setParamFloat(EZELW_GLOW_VALUE, 1.0f);
	});
	zeEndFrame();
	// The square is 14 pixels wide.
	EXPECT_GT(grey(80, 60), 240);
	EXPECT_EQ(grey(80 + 12, 60), 0);
	SZeRenderParams& p = zeGetContext()->render;
	p.glowEnable = 1;
	p.glowIntensity = 1.0f;
	p.glowRadius = 16.0f;
	zeEndFrame();
	EXPECT_GT(grey(80 + 12, 60), 20);
	EXPECT_GT(grey(80 + 8, 60), grey(80 + 12, 60));
	EXPECT_EQ(grey(80 + 40, 60), 0);
	// No glow where nothing glows.
	EXPECT_LT(grey(5, 5), 3);
}

TEST_F(LppFrame, GammaLiftsMidTonesAndKeepsBlackAndWhite)
{
	camera(core::vector3df(0, 0, -6));
	surfaceNode(rectangle({-2, -1, 0}, {2, 0, 0}, {0, 2, 0}), emissive(0.2f, 0.2f, 0.2f));
	surfaceNode(rectangle({0, -1, 0}, {2, 0, 0}, {0, 2, 0}), emissive(1, 1, 1));
	zeEndFrame();
	const int mid = grey(80 - 20, 60), white = grey(80 + 20, 60), black = grey(5, 5);
	EXPECT_NEAR(mid, 51, 2);
	zeGetContext()->render.colorSpaceViewer = 1;
	zeEndFrame();
	// 0.2 in linear light is 124 of 255 on the sRGB curve.
	EXPECT_NEAR(grey(80 - 20, 60), 124, 3);
	EXPECT_EQ(grey(80 + 20, 60), white);
	EXPECT_EQ(grey(5, 5), black);
}

TEST_F(LppFrame, TheLibrarysOwnMaterialsShowTheRightWayUpOverTheBackdrop)
{
	camera(core::vector3df(0, 0, -6));
	// Red above, green below; no effect draws them.
	for (int half = 0; half < 2; ++half)
	{
		scene::IMesh* mesh = rectangle({-1, half ? -1.0f : 0.0f, 0}, {2, 0, 0}, {0, 1, 0});
		Smgr->getMeshManipulator()->setVertexColors(mesh, half ? video::SColor(255, 0, 255, 0) : video::SColor(255, 255, 0, 0));
		scene::IMeshSceneNode* node = ze::addMeshSceneNode(Smgr, mesh);
		mesh->drop();
		node->setMaterialFlag(video::EMF_LIGHTING, false);
	}
	zeGetContext()->backdrop = video::SColor(0, 0x11, 0x33, 0x66);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(80, 50), 255, 0, 0));
	EXPECT_TRUE(near(screenPixel(80, 70), 0, 255, 0));
	EXPECT_TRUE(near(screenPixel(5, 5), 0x11, 0x33, 0x66));
	// Their depth and normal are in the buffers: view depth 6 in the middle.
	const std::vector<float> depth = read(ze::findTexture(Driver, "DepthRTT"));
	EXPECT_NEAR(depth[(50 * W + 80) * 4], 6.0f, 0.01f);
}

TEST_F(LppFrame, DebugThumbnailsShowTheBuffersTheRightWayUp)
{
	camera(core::vector3df(0, 0, -6));
	// A surface over the upper half of the picture only.
	surfaceNode(rectangle({-6, 0, 0}, {12, 0, 0}, {0, 6, 0}), emissive(1, 1, 1));
	zeRenderSetDebug(1);
	zeEndFrame();
	// The normal buffer's thumbnail fills the 160 x 120 window: the surface's
	// normal towards the camera (blue 0) above, no surface (blue 0.5) below.
	const Rgba above = screenPixel(80, 20), below = screenPixel(80, 100);
	EXPECT_TRUE(near(above, 128, 128, 0)) << above.R << " " << above.G << " " << above.B;
	EXPECT_TRUE(near(below, 128, 128, 128)) << below.R << " " << below.G << " " << below.B;
	zeRenderSetDebug(0);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(80, 20), 255, 255, 255));
	EXPECT_TRUE(near(screenPixel(80, 100), 0, 0, 0));
}

// ---- Antialiasing ------------------------------------------------------------------------------
class LppAntialias : public LppFrame
{
protected:
	LppAntialias() { Antialias = 1; }

	// The jitter, location, mode, blending, weight and limit switch of the antialiasing.
	void setAntialias(int jitter, int location, int mode)
	{
		int* a = zeGetContext()->render.antialias;
		a[0] = jitter;
		a[1] = location;
		a[2] = mode;
		a[3] = a[4] = a[5] = 0;
	}

	// Pixels of the row strictly between black and the surface's white.
	int between(int y)
	{
		int n = 0;
		for (int x = 0; x < static_cast<int>(W); ++x)
		{
			const int g = grey(x, y);
			n += g > 20 && g < 235;
		}
		return n;
	}
};

TEST_F(LppAntialias, ADiagonalEdgeGetsIntermediatePixels)
{
	camera(core::vector3df(0, 0, -6));
	// A white square turned by 30 degrees: its edges cross the rows at an angle.
	scene::IMeshSceneNode* square = surfaceNode(rectangle({-1.5f, -1.5f, 0}, {3, 0, 0}, {0, 3, 0}), emissive(1, 1, 1));
	square->setRotation({0, 0, 30});
	setAntialias(0, 1, 0);  // nothing to do: not active
	zeEndFrame();
	int plain = 0;
	for (int y = 40; y < 80; y += 4)
		plain += between(y);
	EXPECT_EQ(plain, 0);
	setAntialias(0, 1, 1);
	zeEndFrame();
	int smoothed = 0;
	for (int y = 40; y < 80; y += 4)
		smoothed += between(y);
	EXPECT_GT(smoothed, 10);
}

// At the end of the frame, antialiasing that draws nothing (mode 3) still
// hands the picture on.
TEST_F(LppAntialias, LastAntialiasingThatDrawsNothingStillShowsThePicture)
{
	camera(core::vector3df(0, 0, -6));
	surfaceNode(rectangle({-1, -1, 0}, {2, 0, 0}, {0, 2, 0}), emissive(0.2f, 0.6f, 0.9f));
	zeGetContext()->backdrop = video::SColor(0, 0x11, 0x33, 0x66);
	setAntialias(0, 1, 3);
	zeEndFrame();
	EXPECT_TRUE(near(screenPixel(80, 60), 51, 153, 230, -1, 3));
	EXPECT_TRUE(near(screenPixel(5, 5), 0x11, 0x33, 0x66));

	// Into a texture as well.
	video::ITexture* target = ze::addRenderTargetTexture(Driver, {W, H}, "LppTarget", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(target);
	ASSERT_EQ(zeRenderToTexture(target, 1), 0);
	EXPECT_TRUE(near(texel(read(target), W, W / 2, H / 2), 51, 153, 230, -1, 3));
}

TEST_F(LppAntialias, TheJitterMovesTheBackBuffersProjectionOnlyWhileItDraws)
{
	camera(core::vector3df(0, 0, -6));
	surfaceNode(rectangle({-1, -1, 0}, {2, 0, 0}, {0, 2, 0}), emissive(1, 1, 1));
	setAntialias(1, 1, 1);  // two positions
	struct SSeen
	{
		video::IVideoDriver* Driver;
		core::matrix4 Projection;
	} seen{Driver, {}};
	Renderer->setStepHook([](void* user, u32 step) {
		SSeen* s = static_cast<SSeen*>(user);
		if (step == 11)
			s->Projection = s->Driver->getTransform(video::ETS_PROJECTION);
	}, &seen);
	zeEndFrame();  // the camera's projection is set by the frame
	const core::matrix4 before = Driver->getTransform(video::ETS_PROJECTION);
	zeEndFrame();
	EXPECT_EQ(Driver->getTransform(video::ETS_PROJECTION), before);
	// Half a pixel's quarter in clip space: 2 x 0.25 / width, one way or the other.
	core::matrix4 moved = seen.Projection;
	EXPECT_NEAR(std::fabs(moved[8] - before[8]) + std::fabs(moved[12] - before[12]), 0.5f / W, 1e-5f);
	const core::matrix4 first = seen.Projection;
	zeEndFrame();
	EXPECT_NE(seen.Projection, first) << "the next frame takes the other position";

	// Into a texture the projection stays as it is.
	video::ITexture* target = ze::addRenderTargetTexture(Driver, {64, 64}, "LppTarget", ze::ECF_A8R8G8B8);
	ASSERT_TRUE(target);
	ASSERT_EQ(zeRenderToTexture(target, 1), 0);
	EXPECT_EQ(seen.Projection, Driver->getTransform(video::ETS_PROJECTION));
	Renderer->setStepHook(nullptr, nullptr);
}
