// Screenshots of the frame last presented. Each case runs on a swap that keeps
// the back buffer (as Xvfb's does) and on one that loses it, played by
// painting the back buffer green after every present. OpenGL cases need an X
// server (Xvfb in the test run).
#include "frame/ZeCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeDraw2D.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"
#include "frame/ZeWindowPlatform.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "frame/ZeTestDisplay.h"

using namespace irr;

namespace
{
::testing::Environment* const g_display = ::testing::AddGlobalTestEnvironment(new zetest::HoldDisplay);

const u32 BLUE = 0xFF0000FFu;
const u32 RED = 0xFFFF0000u;
const u32 YELLOW = 0xFFFFFF00u;
const u32 WHITE = 0xFFFFFFFFu;

std::string pendingError(int* number = nullptr)
{
	const char* text = zeGetError(number);
	return text ? text : "";
}

// Paints the window's back buffer green, as a swap that leaves it undefined may.
void loseBackBuffer()
{
	glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
	glClear(GL_COLOR_BUFFER_BIT);
}

std::string fileStart(const std::string& path, size_t n)
{
	std::ifstream in(path, std::ios::binary);
	std::string bytes(n, '\0');
	in.read(&bytes[0], static_cast<std::streamsize>(n));
	return bytes;
}

// A screenshot file loaded back.
struct SShot
{
	video::IImage* image = nullptr;
	explicit SShot(const std::string& path) { image = zeGetContext()->driver->createImageFromFile(path.c_str()); }
	~SShot()
	{
		if (image)
			image->drop();
	}
	SShot(const SShot&) = delete;
	SShot& operator=(const SShot&) = delete;
	u32 at(u32 x, u32 y) const { return image->getPixel(x, y).color; }
};

// The parameter: whether the swap keeps the back buffer.
class ScreenShot : public ::testing::TestWithParam<bool>
{
protected:
	void SetUp() override
	{
		setenv("ZELV_BATCH", "1", 1);
		zeSetSwapKeepsBackBufferForTests(GetParam() ? 1 : 0);
		zeClearError();
		char pattern[] = "/tmp/zelv-shot-XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		Dir = pattern;
	}

	void TearDown() override
	{
		zeTerm();
		zeSetSwapKeepsBackBufferForTests(-1);
		std::error_code ignored;
		std::filesystem::remove_all(Dir, ignored);
	}

	void start(int width, int height, u32 backdrop)
	{
		SZeSetupParams p = zetest::glWindowSetup(width, height);
		ASSERT_EQ(zeSetup(&p), 0) << pendingError();
		zeSetBackdropColor(static_cast<int>(backdrop));
	}

	// Ends a frame; a swap that loses the back buffer leaves other pixels there.
	void present()
	{
		zeRun();
		zeSync();
		if (!GetParam())
			loseBackBuffer();
	}

	std::string shoot(const char* name)
	{
		const std::string path = Dir + "/" + name;
		EXPECT_EQ(zeScreenShot(path.c_str()), 0) << pendingError();
		return path;
	}

	std::string Dir;
};

std::string swapName(const ::testing::TestParamInfo<bool>& info)
{
	return info.param ? "SwapKeepsTheBackBuffer" : "SwapLosesTheBackBuffer";
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Swaps, ScreenShot, ::testing::Values(true, false), swapName);

TEST_P(ScreenShot, WritesTheLatestFrameUprightAsBmpOrPng)
{
	start(320, 240, BLUE);
	gui::IGUIStaticText* box = zeGetContext()->gui->addStaticText(L"", core::rect<s32>(40, 30, 120, 90), false);
	box->setDrawBackground(true);
	box->setBackgroundColor(video::SColor(WHITE));
	present();
	const std::string first = shoot("first.bmp");
	EXPECT_EQ(fileStart(first, 2), "BM");
	{
		SShot shot(first);
		ASSERT_NE(shot.image, nullptr);
		ASSERT_EQ(shot.image->getDimension(), core::dimension2d<u32>(320, 240));
		EXPECT_EQ(shot.at(80, 60), WHITE);
		EXPECT_EQ(shot.at(41, 31), WHITE);
		EXPECT_EQ(shot.at(200, 180), BLUE);
		EXPECT_EQ(shot.at(5, 5), BLUE);
		EXPECT_EQ(shot.at(130, 60), BLUE);  // right of the box: the image is not mirrored
		EXPECT_EQ(shot.at(80, 100), BLUE);  // below the box: nor upside down
	}

	box->setRelativePosition(core::rect<s32>(200, 140, 280, 200));
	present();
	const std::string second = shoot("second.png");
	EXPECT_EQ(fileStart(second, 4), "\x89PNG");
	SShot shot(second);
	ASSERT_NE(shot.image, nullptr);
	EXPECT_EQ(shot.at(240, 170), WHITE);
	EXPECT_EQ(shot.at(80, 60), BLUE) << "the screenshot shows an earlier frame";

	int number = 0;
	const std::string unwritable = Dir + "/missing/folder/x.bmp";
	EXPECT_NE(zeScreenShot(unwritable.c_str()), 0);
	EXPECT_EQ(pendingError(&number), "failed to save screenshot to file '" + unwritable + "'\n");
	EXPECT_EQ(number, 1);
}

// Every pixel is the frame presented, in each of several frames, and asking
// again before the next present gives it again, whatever changed since.
TEST_P(ScreenShot, IsThePresentedFrameInEveryPixelUntilTheNextPresent)
{
	start(64, 48, RED);
	for (const u32 colour : { RED, BLUE })
	{
		zeSetBackdropColor(static_cast<int>(colour));
		present();
		for (const char* name : { "a.bmp", "b.bmp" })
		{
			SShot shot(shoot(name));
			ASSERT_NE(shot.image, nullptr);
			ASSERT_EQ(shot.image->getDimension(), core::dimension2d<u32>(64, 48));
			for (u32 y = 0; y < 48; y += 7)
				for (u32 x = 0; x < 64; x += 9)
					ASSERT_EQ(shot.at(x, y), colour) << std::hex << colour << " at " << x << "," << y << " " << name;
			zeSetBackdropColor(static_cast<int>(YELLOW));
		}
	}
}

// The 2D list of the frame presented is in the shot, not what was queued since.
TEST_P(ScreenShot, HasThePresentedFrames2DNotWhatIsQueuedSince)
{
	start(160, 120, BLUE);
	zeInk(0xFF0000);
	ASSERT_EQ(zeBox(10, 10, 40, 40), 0);
	present();
	zeInk(0xFFFF00);
	ASSERT_EQ(zeBox(100, 10, 130, 40), 0);
	{
		SShot shot(shoot("queued.bmp"));
		ASSERT_NE(shot.image, nullptr);
		EXPECT_EQ(shot.at(25, 25), RED);
		EXPECT_EQ(shot.at(115, 25), BLUE);
	}
	EXPECT_EQ(zeGet2DCommandCount(), 1) << "the shot took the queued box";
	present();
	SShot shot(shoot("drawn.bmp"));
	ASSERT_NE(shot.image, nullptr);
	EXPECT_EQ(shot.at(25, 25), BLUE);
	EXPECT_EQ(shot.at(115, 25), YELLOW);
}

TEST_P(ScreenShot, OfTheLoadingScreen)
{
	start(320, 240, 0xFF000000u);
	zeShowLoadingScreen(50);
	if (!GetParam())
		loseBackBuffer();
	// The bar spans x 80 to 240 from y 180, filled to half between its borders.
	SShot shot(shoot("loading.bmp"));
	ASSERT_NE(shot.image, nullptr);
	EXPECT_EQ(shot.at(100, 184), 0xFFE6E6E6u);
	EXPECT_EQ(shot.at(155, 184), 0xFFE6E6E6u);
	EXPECT_EQ(shot.at(200, 184), 0xFF000000u);
	EXPECT_EQ(shot.at(100, 100), 0xFF000000u);
}

// A capture's stream: each frame stays as it was presented while later ones
// draw, and one whose buffer has been read into again is refused, never given
// out as another frame.
TEST_P(ScreenShot, StreamedFramesStayTheirOwnUntilTheirBufferIsReused)
{
	start(64, 48, RED);
	present();
	zeStreamFrames(true);
	SZeKeptFrame red{}, blue{};
	ASSERT_TRUE(zeKeepPresentedFrame(&red)) << "presented before the stream began";
	zeSetBackdropColor(static_cast<int>(BLUE));
	present();
	ASSERT_TRUE(zeKeepPresentedFrame(&blue));
	std::vector<u8> rgba(64 * 48 * 4);
	for (const auto& kept : { std::make_pair(red, RED), std::make_pair(blue, BLUE) })
	{
		ASSERT_EQ(kept.first.width, 64);
		ASSERT_EQ(kept.first.height, 48);
		ASSERT_TRUE(zeCopyKeptFrame(kept.first, rgba.data()));
		for (size_t i = 0; i < rgba.size(); i += 4)
			ASSERT_EQ(video::SColor(255, rgba[i], rgba[i + 1], rgba[i + 2]).color, kept.second) << i / 4;
	}
	for (int i = 0; i < 8; ++i)
		present();
	EXPECT_FALSE(zeCopyKeptFrame(red, rgba.data()));
	zeStreamFrames(false);
	EXPECT_FALSE(zeKeepPresentedFrame(&red));
	EXPECT_EQ(pendingError(), "failed to grab the screen\n");
}

TEST(ScreenShotWithout, TheOpenGLDriverOrAFrameFails)
{
	setenv("ZELV_BATCH", "1", 1);
	int number = 0;
	EXPECT_NE(zeScreenShot("/tmp/zelv-never.bmp"), 0);
	EXPECT_EQ(pendingError(&number), "failed to grab the screen\n");
	EXPECT_EQ(number, 1);

	// Before its first frame, a window has nothing to show.
	SZeSetupParams gl = zetest::glWindowSetup(64, 48);
	ASSERT_EQ(zeSetup(&gl), 0);
	zeClearError();
	EXPECT_NE(zeScreenShot("/tmp/zelv-never.bmp"), 0);
	EXPECT_EQ(pendingError(&number), "failed to grab the screen\n");
	zeTerm();

	setenv("ZELV_DRIVER", "null", 1);
	ASSERT_EQ(zeSetup(nullptr), 0);
	zeClearError();
	zeSync();
	EXPECT_NE(zeScreenShot("/tmp/zelv-never.bmp"), 0);
	EXPECT_EQ(pendingError(&number), "failed to grab the screen\n");
	EXPECT_EQ(number, 1);
	EXPECT_FALSE(std::filesystem::exists("/tmp/zelv-never.bmp"));
	zeTerm();
	unsetenv("ZELV_DRIVER");
}

namespace
{
// A scene node that, while armed, leaves the process no room for a buffer of
// `Bytes` from its drawing on, after the window's own buffers are made.
class CNoRoomNode : public scene::ISceneNode
{
public:
	CNoRoomNode(scene::ISceneManager* smgr, size_t bytes)
		: ISceneNode(smgr->getRootSceneNode(), smgr), Bytes(bytes)
	{
		setAutomaticCulling(scene::EAC_OFF);
	}
	void OnRegisterSceneNode() override
	{
		if (IsVisible)
			SceneManager->registerNodeForRendering(this);
		ISceneNode::OnRegisterSceneNode();
	}
	void render() override
	{
		if (!Armed)
			return;
		Armed = false;
		long pages = 0;
		std::ifstream("/proc/self/statm") >> pages;
		rlimit limit;
		getrlimit(RLIMIT_AS, &limit);
		Saved = limit;
		limit.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + Bytes / 4;
		setrlimit(RLIMIT_AS, &limit);
		void* probe = malloc(Bytes);
		Limited = probe == nullptr;
		free(probe);
	}
	const core::aabbox3d<f32>& getBoundingBox() const override { return Box; }
	void lift() { setrlimit(RLIMIT_AS, &Saved); }

	bool Armed = false;
	bool Limited = false;

private:
	size_t Bytes;
	rlimit Saved{};
	core::aabbox3d<f32> Box{ core::vector3df(-1, -1, -1), core::vector3df(1, 1, 1) };
};

[[noreturn]] void fail(const char* what)
{
	fprintf(stderr, "%s (%s)\n", what, pendingError().c_str());
	_exit(1);
}

// On a swap that loses the back buffer, once frames are kept: the window
// grows, and the driver has no room to keep its next frame. A shot of that
// frame must still be the frame, drawn again.
[[noreturn]] void shootAFrameWithNoRoomToKeepIt()
{
	setenv("ZELV_BATCH", "1", 1);
	zeSetSwapKeepsBackBufferForTests(0);
	SZeSetupParams p = zetest::glWindowSetup(320, 240);
	if (zeSetup(&p) != 0)
		fail("no OpenGL window");
	SZeContext* c = zeGetContext();
	zeSetBackdropColor(static_cast<int>(BLUE));
	const std::string path = "/tmp/zelv-shot-room-" + std::to_string(getpid()) + ".bmp";
	zeRun();
	zeSync();
	if (zeScreenShot(path.c_str()) != 0)
		fail("the first shot failed");

	const u32 width = 1024;
	const u32 height = 768;
	Display* display = static_cast<Display*>(c->driver->getExposedVideoData().OpenGLLinux.X11Display);
	XResizeWindow(display, static_cast<Window>(c->driver->getExposedVideoData().OpenGLLinux.X11Window), width, height);
	XSync(display, False);
	for (int i = 0; i < 200 && c->driver->getScreenSize() != core::dimension2d<u32>(width, height); ++i)
	{
		usleep(10000);
		zeRun();
	}
	if (c->driver->getScreenSize() != core::dimension2d<u32>(width, height))
		fail("the window did not grow");

	CNoRoomNode* node = new CNoRoomNode(c->sceneManager, size_t(width) * height * 4);
	node->Armed = true;
	zeSync();
	node->lift();
	if (!node->Limited)
		fail("the limit left room for the frame");
	node->remove();
	node->drop();

	loseBackBuffer();
	if (zeScreenShot(path.c_str()) != 0)
		fail("the shot failed");
	video::IImage* image = c->driver->createImageFromFile(path.c_str());
	remove(path.c_str());
	if (!image)
		fail("the shot does not load");
	const bool right = image->getDimension() == core::dimension2d<u32>(width, height) &&
		image->getPixel(5, 5).color == BLUE && image->getPixel(width - 5, height - 5).color == BLUE;
	image->drop();
	if (!right)
		fail("the shot is not the frame");
	_exit(0);
}
} // namespace

TEST(ScreenShotWithout, RoomToKeepTheFrameDrawsItAgain)
{
#if defined(__SANITIZE_ADDRESS__)
	GTEST_SKIP() << "the sanitizer's allocator ends the program where the limit refuses memory";
#endif
	GTEST_FLAG_SET(death_test_style, "threadsafe");
	EXPECT_EXIT(shootAFrameWithNoRoomToKeepIt(), ::testing::ExitedWithCode(0), "");
}
