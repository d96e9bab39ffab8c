// The joystick API over a backend of the test's, the render-parameter
// setters, and images on the NULL driver (loaded ones; made ones need a GL
// driver and are tested under Xvfb).
#include "ZeApiTestFixture.h"

#include "api/ZeImageApi.h"
#include "api/ZeJoystickApi.h"
#include "api/ZeObjectSurfaceApi.h"
#include "api/ZeRenderParamsApi.h"
#include "frame/ZeDraw2D.h"
#include "render/IZeSurfaceLightwave.h"
#include "scene/CZeResourceManagerScene.h"

#include <fstream>

using namespace irr;
using namespace zetest;

namespace
{
// ---- Joysticks --------------------------------------------------------------------------------
SZeJoystickState g_stick;
int g_opened = 0;
int g_activations = 0;

int fakeActivate(int* count)
{
	++g_activations;
	*count = g_opened;
	return 1;
}
void fakeRead(SZeJoystickState* out) { *out = g_stick; }
void fakeRelease() {}

class JoystickTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		const SZeJoystickBackend backend = {fakeActivate, fakeRead, fakeRelease};
		zeSetJoystickBackend(&backend);
		g_stick = SZeJoystickState();
		g_stick.pov = 65535;
		g_opened = 1;
		g_activations = 0;
	}
	void TearDown() override { zeSetJoystickBackend(nullptr); }
};
} // namespace

TEST_F(JoystickTest, NothingIsReadWhileDisabled)
{
	g_stick.axis[0] = 20000;
	g_stick.buttons = 0xF;
	g_stick.pov = 0;
	EXPECT_EQ(zeJoystickIsPresent() + zeJoystickX() + zeJoystickButton(0) + zeJoystickUp() + zeJoystickFireA(), 0);
	EXPECT_EQ(zeEnableJoystick(), 1);
	EXPECT_EQ(zeJoystickIsPresent(), 1);
	EXPECT_EQ(zeJoystickX(), 20000);
	EXPECT_EQ(zeJoystickFireD(), 1);
	EXPECT_EQ(zeJoystickUp(), 1);
	zeDisableJoystick();
	EXPECT_EQ(zeJoystickIsPresent() + zeJoystickX() + zeJoystickFireD() + zeJoystickUp(), 0);
	g_opened = 0;
	EXPECT_EQ(zeEnableJoystick(), 1);
	EXPECT_EQ(zeJoystickIsPresent(), 0) << "enabled, but no joystick was opened";
	EXPECT_EQ(g_activations, 2);
}

TEST_F(JoystickTest, AxesHaveADeadZoneOf1499)
{
	zeEnableJoystick();
	const s16 values[6] = {1499, 1500, -1500, -1499, 32767, -32768};
	for (int i = 0; i < 6; ++i)
		g_stick.axis[i] = values[i];
	EXPECT_EQ(zeJoystickX(), 0);
	EXPECT_EQ(zeJoystickY(), 1500);
	EXPECT_EQ(zeJoystickZ(), -1500);
	EXPECT_EQ(zeJoystickR(), 0);
	EXPECT_EQ(zeJoystickU(), 32767);
	EXPECT_EQ(zeJoystickV(), -32768);
	EXPECT_EQ(zeJoystickAxis(1), 1500);
	EXPECT_EQ(zeJoystickAxis(6) + zeJoystickAxis(-1), 0);
}

TEST_F(JoystickTest, PovDirectionsAreWithinNinetyDegreesOnBothSidesOfZero)
{
	zeEnableJoystick();
	EXPECT_EQ(zeJoystickUp() + zeJoystickDown() + zeJoystickLeft() + zeJoystickRight(), 0) << "centred";
	const struct
	{
		int Pov, Direction, Expected;
	} cases[] = {
		{31500, 0, 1},   // 315 degrees counts as up
		{27000, 0, 0},   // exactly 90 degrees away
		{9000, 0, 0},
		{8999, 0, 1},
		{0, 0, 1},
		{35999, 0, 1},
		{100, 350, 1},   // 1 degree against 350: 11 degrees apart across 0
		{35000, 10, 1},  // 350 against 10: 20 degrees apart across 0
		{100, 270, 0},   // 91 degrees apart
		{18000, 0, 0},   // opposite
		{27000, -90, 1}, // directions taken modulo 360
		{9000, 450, 1},
		{9000, -630, 1},
	};
	for (const auto& c : cases)
	{
		g_stick.pov = static_cast<u16>(c.Pov);
		EXPECT_EQ(zeJoystickPov(c.Direction), c.Expected) << c.Pov << " against " << c.Direction;
	}
	// The directions as stated: left tests 90, right 270.
	g_stick.pov = 9000;
	EXPECT_EQ(zeJoystickLeft(), 1);
	EXPECT_EQ(zeJoystickRight(), 0);
	g_stick.pov = 27000;
	EXPECT_EQ(zeJoystickRight(), 1);
	g_stick.pov = 18000;
	EXPECT_EQ(zeJoystickDown(), 1);
	EXPECT_EQ(zeJoystickUp(), 0);
}

TEST_F(JoystickTest, ButtonsAreTheBitsBelow32)
{
	zeEnableJoystick();
	g_stick.buttons = 0x80000005u;
	EXPECT_EQ(zeJoystickButton(0), 1);
	EXPECT_EQ(zeJoystickButton(1), 0);
	EXPECT_EQ(zeJoystickFireX(2), 1);
	EXPECT_EQ(zeJoystickButton(31), 1);
	EXPECT_EQ(zeJoystickButton(32) + zeJoystickButton(-1), 0);
	EXPECT_EQ(zeJoystickFireA() + zeJoystickFireB() * 2 + zeJoystickFireC() * 4 + zeJoystickFireD() * 8, 5);
}

// ---- Render parameters ------------------------------------------------------------------------
TEST(RenderParams, EachSetterStoresItsFields)
{
	SZeRenderParams& r = zeGetContext()->render;
	r = SZeRenderParams();
	zeSetColorSpaceViewer(3);
	zeSetGlowSettings(1, 0.5f, 12.0f);
	zeEnableStreak(1);
	zeSetStreakParams(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11);
	zeEnableBloom(2);
	zeSetBloomParams(0.25f, 0.75f);
	zeEnableAmbientOcclusion(3);
	zeSetAmbientOcclusionParams(0.1f, 0.2f, 0.3f, 0.4f);
	zeEnableShadows(4);
	zeSetShadowEpsilon(0.005f);
	zeSetAntialiasParams(1, 2, 3, 4, 5, 6, 0.7f);
	EXPECT_EQ(r.colorSpaceViewer, 3);
	EXPECT_EQ(r.glowEnable, 1);
	EXPECT_EQ(r.glowIntensity, 0.5f);
	EXPECT_EQ(r.glowRadius, 12.0f);
	EXPECT_EQ(r.streakEnable, 1);
	for (int i = 0; i < 11; ++i)
		EXPECT_EQ(r.streak[i], static_cast<float>(i + 1)) << i;
	EXPECT_EQ(r.bloomEnable, 2);
	EXPECT_EQ(r.bloom[0], 0.25f);
	EXPECT_EQ(r.bloom[1], 0.75f);
	EXPECT_EQ(r.ambientOcclusionEnable, 3);
	EXPECT_EQ(r.ambientOcclusion[0], 0.1f);
	EXPECT_EQ(r.ambientOcclusion[3], 0.4f);
	EXPECT_EQ(r.shadowEnable, 4);
	EXPECT_EQ(r.shadowEpsilon, 0.005f);
	for (int i = 0; i < 6; ++i)
		EXPECT_EQ(r.antialias[i], i + 1) << i;
	EXPECT_EQ(r.antialiasFloat, 0.7f);
	EXPECT_EQ(r.dofMode + r.stereoMode, 0) << "the camera's values between them are left alone";
	r = SZeRenderParams();
}

// ---- Images -----------------------------------------------------------------------------------
namespace
{
class ImageTest : public EffectApiTest
{
protected:
	void registerFactories() override { zeRegisterSceneFactories(); }
};
} // namespace

TEST_F(ImageTest, LoadedImagesAndTheirErrors)
{
	const std::string file = writeImage("four.png");
	int code = 0;
	ASSERT_EQ(zeLoadImage(file.c_str(), 3), 0) << takeError();
	EXPECT_EQ(zeImageExist(3), 1);
	EXPECT_EQ(zeGetImageTexture(3), zeGetContext()->driver->findTexture(file.c_str()));
	EXPECT_EQ(zeLoadImage(file.c_str(), 3), -1);
	EXPECT_EQ(takeError(&code), "invalid Image ID 3 : id 3 already exist");
	EXPECT_EQ(code, 2);
	EXPECT_EQ(zeLoadImage(file.c_str(), 1000), -1);
	EXPECT_NE(takeError(&code).find("invalid Image ID 1000 : "), std::string::npos);
	EXPECT_EQ(code, 2);
	EXPECT_EQ(zeLoadImage((Tmp + "/none.png").c_str(), 4), -1);
	EXPECT_EQ(takeError(&code), "Failed to load image '" + Tmp + "/none.png'");
	EXPECT_EQ(code, 1);
	EXPECT_EQ(zeImageExist(4), 0) << "the ID is freed again";
	EXPECT_EQ(zeMakeImage(64, 32, 5), -1) << "the NULL driver makes no render targets";
	EXPECT_EQ(takeError(&code), "Failed to make image");
	EXPECT_EQ(code, 1);
	EXPECT_EQ(zeImageExist(5), 0);

	EXPECT_EQ(zeImageWidth(9), 0);
	EXPECT_EQ(takeError(&code), "Image ID 9 does not exist. id 9 does not exist");
	EXPECT_EQ(code, 1);
	EXPECT_EQ(zeRenderToImage(3, 1), -1);
	EXPECT_EQ(takeError(&code), "Image ID 3 is not renderable");
	EXPECT_EQ(code, 1);
	zeDeleteImage(3);
	zeDeleteImage(3);
	EXPECT_EQ(zeImageExist(3), 0);
	EXPECT_EQ(takeError(), "");
	EXPECT_NE(zeGetContext()->driver->findTexture(file.c_str()), nullptr) << "a loaded texture stays the driver's";
}

TEST_F(ImageTest, PastesQueueUpTo1024DrawsAFrame)
{
	ASSERT_EQ(zeLoadImage(writeImage("p.png").c_str(), 1), 0);
	ASSERT_EQ(zeLoadEffect("fx.hlsl", 2), 0);
	int code = 0;
	EXPECT_EQ(zePasteImageWithEffect(1, 0, 0, 4, 4, 7), -1);
	EXPECT_EQ(takeError(&code), "Effect ID 7 does not exist. id 7 does not exist");
	EXPECT_EQ(code, 6);
	EXPECT_EQ(zePasteImage(8, 0, 0, 1), -1);
	EXPECT_EQ(takeError(&code), "Image ID 8 does not exist. id 8 does not exist");
	const int before = zeGet2DCommandCount();
	for (int i = before; i < ZE_MAX_2D_COMMANDS; ++i)
	{
		const int kind = i % 3;
		const int result = kind == 0 ? zePasteImage(1, i, 0, 1) : kind == 1 ? zePasteImageStretch(1, 0, 0, i, 9, 0)
		                                                                  : zePasteImageWithEffect(1, 0, 0, 5, 5, 2);
		ASSERT_EQ(result, 0) << i;
	}
	EXPECT_EQ(zeGet2DCommandCount(), ZE_MAX_2D_COMMANDS);
	EXPECT_EQ(zePasteImage(1, 0, 0, 0), -1);
	EXPECT_EQ(takeError(&code), "too many 2D draws in one frame");
	EXPECT_EQ(code, -1);
}

TEST_F(ImageTest, ImagesBindToEffectSamplersAndSurfaceChannels)
{
	ASSERT_EQ(zeLoadImage(writeImage("s.png").c_str(), 4), 0);
	video::ITexture* texture = zeGetImageTexture(4);
	ASSERT_EQ(zeLoadEffect("fx.hlsl", 1), 0);
	int code = 0;
	zeSetEffectTextureImage(1, "Map", 4);
	EXPECT_EQ(effect(1)->Textures["Map"], texture);
	zeSetEffectTextureImage(1, "Map", 5);
	EXPECT_EQ(takeError(&code), "Image 5 does not exist");
	EXPECT_EQ(code, 3);
	EXPECT_EQ(effect(1)->Textures["Map"], nullptr) << "the sampler is cleared";
	zeSetEffectTextureImage(1, "Nothing", 4);
	EXPECT_EQ(takeError(&code), "Unknown texture 'Nothing'");
	EXPECT_EQ(code, 2);
	zeSetEffectTextureImage(3, "Map", 4);
	EXPECT_EQ(takeError(&code), "Effect ID 3 does not exist. id 3 does not exist");

	const std::string quad = Tmp + "/quad.obj";
	std::ofstream(quad) << "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nf 1 2 3\n";
	ASSERT_EQ(zeLoadObject(quad.c_str(), 2), 0);
	zeSetObjectSurfaceParamTexImg(2, 0, EZELW_BUMP, 4);
	auto* surface = static_cast<IZeSurfaceLightwave*>(zeGetObjectSurface(2, 0));
	EXPECT_EQ(surface->getParamTexture(EZELW_BUMP), texture);
	zeSetObjectSurfaceParamTexImg(2, 0, EZELW_BUMP, 6);
	EXPECT_EQ(takeError(&code), "Image 6 does not exist");
	EXPECT_EQ(code, 4);
	EXPECT_EQ(surface->getParamTexture(EZELW_BUMP), texture) << "left as it was";
	zeSetObjectSurfaceParamTexImg(2, 3, EZELW_BUMP, 4);
	EXPECT_EQ(takeError(&code), "Object ID 2 has no surface 3");
	EXPECT_EQ(code, 2);
}
