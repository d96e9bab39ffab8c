#include "frame/ZeCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "frame/ZeTestDisplay.h"

using namespace irr;

namespace
{
const int W = 320;
const int H = 240;

std::vector<std::string> g_log;
void captureLog(const char* line)
{
	g_log.push_back(line);
}

// The pixels of the last presented frame.
struct Pixels
{
	std::vector<video::SColor> at;
	video::SColor operator()(int x, int y) const { return at[static_cast<size_t>(y) * W + x]; }
	bool is(int x, int y, u32 rgb, int tolerance = 3) const
	{
		const video::SColor c = (*this)(x, y);
		const video::SColor e(0xFF000000 | rgb);
		return abs(static_cast<int>(c.getRed()) - static_cast<int>(e.getRed())) <= tolerance &&
			abs(static_cast<int>(c.getGreen()) - static_cast<int>(e.getGreen())) <= tolerance &&
			abs(static_cast<int>(c.getBlue()) - static_cast<int>(e.getBlue())) <= tolerance;
	}
	// Pixels differing from `rgb` in [x1, x2) x [y1, y2).
	int countNot(u32 rgb, int x1, int y1, int x2, int y2) const
	{
		int n = 0;
		for (int y = y1; y < y2; ++y)
			for (int x = x1; x < x2; ++x)
				n += !is(x, y, rgb);
		return n;
	}
};

::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

class Draw2DScreen : public ::testing::Test
{
protected:
	void SetUp() override
	{
		SZeSetupParams p = zetest::glWindowSetup(W, H);
		ASSERT_EQ(zeSetup(&p), 0) << zeGetError(nullptr);
		Driver = zeGetContext()->driver;
		ASSERT_EQ(Driver->getDriverType(), video::EDT_OPENGL);
		Shot = "/tmp/zelv-draw2d-" + std::to_string(getpid()) + ".bmp";
		zeSetBackdropColor(0xFF000000);
		zeSync();
		ASSERT_EQ(zeScreenShot(Shot.c_str()), 0);
		zeClearError();
	}

	void TearDown() override
	{
		zeTerm();
		zeSetLogSink(nullptr);
		zeClearError();
		remove(Shot.c_str());
	}

	Pixels shot()
	{
		Pixels p;
		p.at.assign(static_cast<size_t>(W) * H, video::SColor(0xFF7F7F7F));  // when unreadable
		EXPECT_EQ(zeScreenShot(Shot.c_str()), 0);
		video::IImage* image = Driver->createImageFromFile(Shot.c_str());
		EXPECT_NE(image, nullptr);
		if (!image)
			return p;
		EXPECT_EQ(image->getDimension(), core::dimension2d<u32>(W, H));
		for (int y = 0; y < H; ++y)
			for (int x = 0; x < W; ++x)
				p.at[static_cast<size_t>(y) * W + x] = image->getPixel(x, y);
		image->drop();
		return p;
	}

	Pixels frame()
	{
		zeSync();
		return shot();
	}

	// A 16 x 16 texture in one colour.
	video::ITexture* square(const char* name, video::SColor colour)
	{
		video::IImage* image = Driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(16, 16));
		image->fill(colour);
		video::ITexture* texture = Driver->addTexture(name, image);
		image->drop();
		return texture;
	}

	video::IVideoDriver* Driver = nullptr;
	std::string Shot;
};

TEST_F(Draw2DScreen, BoxesAndLinesInInkInOrderThenTheListEmpties)
{
	zeInk(0xFF0000);
	EXPECT_EQ(zeBox(60, 40, 20, 10), 0);  // corners given backwards
	zeInk(0x0000FF);
	EXPECT_EQ(zeBox(50, 30, 70, 50), 0);  // over the first
	zeInk(0x00FF00);
	EXPECT_EQ(zeLine(100, 200, 300, 200), 0);
	EXPECT_EQ(zeGet2DCommandCount(), 3);

	const Pixels p = frame();
	EXPECT_TRUE(p.is(20, 10, 0xFF0000));
	EXPECT_TRUE(p.is(30, 20, 0xFF0000));
	EXPECT_TRUE(p.is(55, 35, 0x0000FF));
	EXPECT_TRUE(p.is(69, 49, 0x0000FF));
	EXPECT_EQ(p.countNot(0xFF0000, 20, 10, 50, 40), 0);
	EXPECT_TRUE(p.is(200, 200, 0x00FF00));
	EXPECT_TRUE(p.is(101, 200, 0x00FF00));
	EXPECT_EQ(p.countNot(0x000000, 0, 60, W, 195), 0);
	EXPECT_EQ(p.countNot(0x000000, 0, 0, W, 8), 0);
	EXPECT_EQ(p.countNot(0x000000, 0, 196, 95, H), 0);
	EXPECT_EQ(zeGet2DCommandCount(), 0);

	EXPECT_EQ(frame().countNot(0x000000, 0, 0, W, H), 0);
}

TEST_F(Draw2DScreen, InkAlphaBlendsAndIsClamped)
{
	zeInk(0xFFFFFF);
	zeInkAlpha(128);
	zeBox(10, 10, 50, 50);
	zeInkAlpha(999);
	zeBox(60, 10, 100, 50);
	zeInkAlpha(-3);
	zeBox(110, 10, 150, 50);
	const Pixels p = frame();
	EXPECT_TRUE(p.is(30, 30, 0x808080, 2)) << std::hex << p(30, 30).color;
	EXPECT_TRUE(p.is(80, 30, 0xFFFFFF));
	EXPECT_TRUE(p.is(130, 30, 0x000000));
}

TEST_F(Draw2DScreen, TextInItsColourStaysInsideItsMeasuredRectangle)
{
	zeInk(0xFF0000);  // the ink is not the text colour
	zeSetTextColor(0x00FF00);
	const int w = zeTextWidth("Zelv %dD", 2);
	const int h = zeTextHeight("Zelv %dD", 2);
	ASSERT_GT(w, 10);
	ASSERT_GT(h, 5);
	EXPECT_EQ(zeText(40, 50, "Zelv %dD", 2), 0);
	const Pixels p = frame();
	const int inside = p.countNot(0x000000, 40, 50, 40 + w, 50 + h);
	EXPECT_GT(inside, 20);
	EXPECT_EQ(p.countNot(0x000000, 0, 0, W, H), inside);
	int notGreen = 0;
	for (int y = 50; y < 50 + h; ++y)
		for (int x = 40; x < 40 + w; ++x)
			notGreen += !p.is(x, y, 0x000000) && (p(x, y).getGreen() < 200 || p(x, y).getRed() > 50);
	EXPECT_EQ(notGreen, 0);

	EXPECT_EQ(zeSetTextFont("no-such-font.xml"), -1);
	int number = 0;
	EXPECT_STREQ(zeGetError(&number), "The font 'no-such-font.xml' cannot be loaded");
	EXPECT_EQ(number, 1);
	EXPECT_EQ(zeTextFont(), nullptr);
	EXPECT_EQ(zeTextWidth("Zelv %dD", 2), w);
}

TEST_F(Draw2DScreen, ImagesAtNaturalSizeAndStretchedOutliveTheirTexture)
{
	video::ITexture* texture = square("zelv-test-square", video::SColor(255, 255, 0, 255));
	ASSERT_NE(texture, nullptr);
	EXPECT_EQ(zeDrawListAddImage(texture, 10, 10, -1, -1, 0, 0xFFFFFFFF), 0);
	EXPECT_EQ(zeDrawListAddImage(texture, 100, 100, 164, 132, 1, 0xFFFFFFFF), 0);
	Driver->removeTexture(texture);  // the list keeps its own reference

	const Pixels p = frame();
	EXPECT_EQ(p.countNot(0xFF00FF, 10, 10, 26, 26), 0);
	EXPECT_TRUE(p.is(27, 27, 0x000000));
	EXPECT_TRUE(p.is(9, 9, 0x000000));
	EXPECT_EQ(p.countNot(0xFF00FF, 100, 100, 164, 132), 0);
	EXPECT_TRUE(p.is(166, 134, 0x000000));

	EXPECT_EQ(zeDrawListAddImage(nullptr, 0, 0, -1, -1, 0, 0xFFFFFFFF), -1);
	int number = 0;
	EXPECT_NE(zeGetError(&number), nullptr);
	EXPECT_EQ(number, 1);
	EXPECT_EQ(zeGet2DCommandCount(), 0);
}

TEST_F(Draw2DScreen, FadesCoverTheScreenUntilStopped)
{
	zeSetBackdropColor(static_cast<int>(0xFFFFFFFF));
	zeFadeOut(200, 0x000000);
	EXPECT_GT(frame()(W / 2, H / 2).getRed(), 200);  // the fade has just begun
	std::this_thread::sleep_for(std::chrono::milliseconds(300));
	zeRun();
	EXPECT_TRUE(frame().is(W / 2, H / 2, 0x000000));

	zeFadeIn(200, 0x000000);
	EXPECT_TRUE(frame().is(W / 2, H / 2, 0x000000));
	std::this_thread::sleep_for(std::chrono::milliseconds(300));
	zeRun();
	EXPECT_TRUE(frame().is(W / 2, H / 2, 0xFFFFFF));

	zeFadeOut(0, 0x000000);
	zeStopFade();
	EXPECT_EQ(zeGetContext()->fader, nullptr);
	zeRun();
	EXPECT_EQ(frame().countNot(0xFFFFFF, 0, 0, W, H), 0);
}

int g_hookCalls;
int g_hookArgs[6];
video::ITexture* g_hookTexture;
int recordBox(int x1, int y1, int x2, int y2, int effectId, u32 colour)
{
	++g_hookCalls;
	const int args[6] = {x1, y1, x2, y2, effectId, static_cast<int>(colour)};
	std::copy(args, args + 6, g_hookArgs);
	return 0;
}
int recordImage(video::ITexture* texture, int x1, int y1, int x2, int y2, u32 colour, int effectId)
{
	g_hookTexture = texture;
	return recordBox(x1, y1, x2, y2, effectId, colour);
}

TEST_F(Draw2DScreen, DrawsWithEffectNeedAnEffectAndGoThroughTheHooks)
{
	int number = 0;
	EXPECT_EQ(zeBoxWithEffect(0, 0, 10, 10, 7), -1);
	EXPECT_EQ(std::string(zeGetError(&number)).rfind("Effect ID 7 does not exist.", 0), 0u) << zeGetError(nullptr);
	EXPECT_EQ(number, 5);
	EXPECT_EQ(zeGet2DCommandCount(), 0);

	int effect = 0;
	ASSERT_EQ(zeIdTableAdd(zeGetIdTable(EZEIT_EFFECT), 7, &effect), 0);
	SZeEngineHooks& hooks = zeGetEngineHooks();
	const SZeEngineHooks saved = hooks;
	hooks.drawBoxWithEffect = recordBox;
	g_hookCalls = 0;
	zeInk(0x102030);
	zeInkAlpha(128);
	EXPECT_EQ(zeBoxWithEffect(50, 60, 10, 20, 7), 0);
	EXPECT_EQ(g_hookCalls, 0);
	zeSync();
	hooks = saved;
	EXPECT_EQ(g_hookCalls, 1);
	const int expected[6] = {10, 20, 50, 60, 7, static_cast<int>(0x80102030u)};
	EXPECT_TRUE(std::equal(expected, expected + 6, g_hookArgs)) << "the box has the ink's colour and alpha";

	video::ITexture* texture = square("zelv-effect-square", video::SColor(255, 1, 2, 3));
	ASSERT_NE(texture, nullptr);
	EXPECT_EQ(zeDrawListAddImageWithEffect(texture, 5, 6, -1, -1, 0x80FFFFFF, 8), -1);
	EXPECT_EQ(std::string(zeGetError(&number)).rfind("Effect ID 8 does not exist.", 0), 0u);
	EXPECT_EQ(number, 7);
	hooks.drawImageWithEffect = recordImage;
	EXPECT_EQ(zeDrawListAddImageWithEffect(texture, 5, 6, -1, -1, 0x80FFFFFF, 7), 0);
	zeSync();
	hooks = saved;
	const int expectedImage[6] = {5, 6, 21, 22, 7, static_cast<int>(0x80FFFFFFu)};
	EXPECT_EQ(g_hookTexture, texture);
	EXPECT_TRUE(std::equal(expectedImage, expectedImage + 6, g_hookArgs));

	// Without the hook the commands are skipped with one warning per frame.
	hooks.drawBoxWithEffect = nullptr;
	g_log.clear();
	zeSetLogSink(captureLog);
	zeBoxWithEffect(0, 0, 5, 5, 7);
	zeBoxWithEffect(0, 0, 6, 6, 7);
	zeSync();
	zeSync();
	hooks = saved;
	ASSERT_EQ(g_log.size(), 1u);
	EXPECT_EQ(g_log[0].rfind("WARN : ", 0), 0u);
	EXPECT_NE(g_log[0].find("box"), std::string::npos);
}

TEST_F(Draw2DScreen, TheListHoldsAtMost1024CommandsAnd64Texts)
{
	for (int i = 0; i < ZE_MAX_2D_COMMANDS; ++i)
		ASSERT_EQ(zeBox(i % W, 0, i % W + 1, 1), 0) << i;
	EXPECT_EQ(zeGetError(nullptr), nullptr);
	EXPECT_EQ(zeLine(0, 0, 1, 1), -1);
	EXPECT_STREQ(zeGetError(nullptr), "too many 2D draws in one frame");
	EXPECT_EQ(zeGet2DCommandCount(), ZE_MAX_2D_COMMANDS);
	frame();
	zeClearError();

	for (int i = 0; i < ZE_MAX_2D_TEXTS; ++i)
		ASSERT_EQ(zeText(0, 0, "%d", i), 0) << i;
	EXPECT_EQ(zeText(0, 0, "one more"), -1);
	EXPECT_STREQ(zeGetError(nullptr), "too many 2D draws in one frame");
	EXPECT_EQ(zeBox(0, 0, 1, 1), 0);  // other commands still fit
	EXPECT_EQ(zeGet2DCommandCount(), ZE_MAX_2D_TEXTS + 1);
	frame();
	EXPECT_EQ(zeGet2DCommandCount(), 0);
	EXPECT_EQ(zeText(0, 0, "room again"), 0);
}

TEST_F(Draw2DScreen, LoadingScreenBarFollowsThePercentage)
{
	zeBox(0, 0, W, H);  // queued for the next frame, not the loading screen
	int lit[4];
	const int percents[4] = {0, 50, 100, 150};
	for (int i = 0; i < 4; ++i)
	{
		zeShowLoadingScreen(percents[i]);
		const Pixels p = shot();
		EXPECT_EQ(p.countNot(0x000000, 0, 0, W, H / 2), 0);
		lit[i] = p.countNot(0x000000, 0, H / 2, W, H);
	}
	EXPECT_GT(lit[0], 0);
	EXPECT_LT(lit[0], lit[1]);
	EXPECT_LT(lit[1], lit[2]);
	EXPECT_EQ(lit[3], lit[2]);
	const double half = static_cast<double>(lit[1] - lit[0]) / (lit[2] - lit[0]);
	EXPECT_NEAR(half, 0.5, 0.1);
	zeLoadingScreenEnd();
	EXPECT_EQ(shot().countNot(0x000000, 0, H / 2, W, H), lit[2]);
	EXPECT_EQ(zeGet2DCommandCount(), 1);
}

TEST(Draw2DState, ValuesAndCallsWithoutAnEngine)
{
	zeTerm();
	EXPECT_EQ(zeRGB(0x12, 0x34, 0x56), 0x123456);
	EXPECT_EQ(zeRGB(0x100, 0, 1), 0x1000001);  // not masked
	EXPECT_EQ(zeRGBf(1.0f, 0.5f, 0.0f), 0xFF7F00);
	EXPECT_EQ(zeRGBf(2.0f, 0.0f, 0.25f), 0xFE003F);

	zeSetTextColor(0x12345678);
	zeSetTextAlpha(300);
	EXPECT_EQ(zeTextColor(), 0x345678);
	EXPECT_EQ(zeTextAlpha(), 255);
	zeSetTextAlpha(-1);
	EXPECT_EQ(zeTextAlpha(), 0);
	EXPECT_EQ(zeSetTextFont("font.xml"), -1);
	EXPECT_EQ(zeTextFont(), nullptr);
	EXPECT_EQ(zeTextWidth("abc"), 0);
	EXPECT_EQ(zeTextHeight("abc"), 0);

	EXPECT_EQ(zeBox(0, 0, 1, 1), 0);
	EXPECT_EQ(zeText(0, 0, "queued"), 0);
	int number = 0;
	EXPECT_EQ(zeBoxWithEffect(0, 0, 1, 1, 7), -1);
	EXPECT_STREQ(zeGetError(&number), "Effect ID 7 does not exist. id 7 does not exist");
	EXPECT_EQ(number, 5);
	EXPECT_EQ(zeGet2DCommandCount(), 2);
	zeDraw2DList();
	EXPECT_EQ(zeGet2DCommandCount(), 0);

	zeText(0, 0, "queued");
	zeReset2D();
	EXPECT_EQ(zeGet2DCommandCount(), 0);
	EXPECT_EQ(zeTextColor(), 0xFFFFFF);
	EXPECT_EQ(zeTextAlpha(), 255);

	zeFadeOut(100, 0);
	zeStopFade();
	zeShowLoadingScreen(50);
	zeNoOp(1, "two", 3.0);
	zeClearError();
}
} // namespace

// A bitmap font of three 20-pixel glyphs: the corner colours at (0, 0) and
// (1, 0), the background at (2, 0).
TEST(Draw2DFont, OnlyARegularReadableFileBecomesTheFont)
{
	setenv("ZELV_DRIVER", "null", 1);
	ASSERT_EQ(zeSetup(nullptr), 0) << zeGetError(nullptr);
	char pattern[] = "/tmp/zefontXXXXXX";
	ASSERT_NE(mkdtemp(pattern), nullptr);
	const std::string dir = pattern;
	const std::string font = dir + "/wide.png";
	video::IVideoDriver* driver = zeGetContext()->driver;
	video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2d<u32>(64, 24));
	image->fill(video::SColor(255, 0, 0, 255));
	for (int g = 0; g < 3; ++g)
	{
		image->setPixel(g * 21, 0, video::SColor(255, 255, 0, 0));
		image->setPixel(g * 21 + 19, 19, video::SColor(255, 255, 255, 0));
	}
	image->setPixel(1, 0, video::SColor(255, 255, 255, 0));
	ASSERT_TRUE(driver->writeImageToFile(image, font.c_str()));
	image->drop();

	const int builtIn = zeTextWidth("abc");
	ASSERT_EQ(zeSetTextFont(font.c_str()), 0) << zeGetError(nullptr);
	const int wide = zeTextWidth("abc");
	EXPECT_GT(wide, builtIn);
	for (const std::string& bad : {std::string(""), std::string("."), dir, dir + "/"})
	{
		zeClearError();
		EXPECT_EQ(zeSetTextFont(bad.c_str()), -1) << bad;
		int number = 0;
		EXPECT_EQ(std::string(zeGetError(&number) ? zeGetError(nullptr) : ""),
			"The font '" + bad + "' cannot be loaded");
		EXPECT_EQ(number, 1);
		EXPECT_STREQ(zeTextFont(), font.c_str()) << "the current font stays";
		EXPECT_EQ(zeTextWidth("abc"), wide);
	}
	EXPECT_EQ(zeSetTextFont(nullptr), 0);
	EXPECT_EQ(zeTextWidth("abc"), builtIn);
	zeTerm();
	unsetenv("ZELV_DRIVER");
	remove(font.c_str());
	rmdir(dir.c_str());
}
