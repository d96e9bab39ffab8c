// Engine set-up and shutdown, the host's sync frame and the
// Layout owner window. OpenGL cases need an X server (Xvfb in the test run).
#include "frame/IZeSceneNodeAnimatorCamera.h"
#include "frame/ZeCamera.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeInput.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

using namespace irr;

namespace
{
SZeSetupParams windowParams(int width, int height)
{
	SZeSetupParams p;
	zeInitSetupParams(&p);
	p.width = width;
	p.height = height;
	p.windowed = 1;
	p.vsync = 0;
	return p;
}

// The engine window's title as another X client reads it.
std::string windowTitle(unsigned long window)
{
	Display* other = XOpenDisplay(nullptr);
	if (!other)
		return "";
	std::string title;
	char* name = nullptr;
	if (XFetchName(other, window, &name) && name)
	{
		title = name;
		XFree(name);
	}
	XCloseDisplay(other);
	return title;
}

// The sockets this process holds open: each device keeps one X connection.
// Other test programs may share the display, so windows are not counted.
int openSockets()
{
	int count = 0;
	for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
	{
		std::error_code error;
		const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), error);
		count += !error && target.string().rfind("socket:", 0) == 0;
	}
	return count;
}

std::string pendingError(int* number)
{
	const char* text = zeGetError(number);
	return text ? text : "";
}

Display* engineDisplay()
{
	return static_cast<Display*>(zeGetContext()->driver->getExposedVideoData().OpenGLLinux.X11Display);
}

Window engineWindow()
{
	return static_cast<Window>(zeGetContext()->driver->getExposedVideoData().OpenGLLinux.X11Window);
}

bool g_stopCoreCalled = false;
bool failingCore(const SZeSetupParams&) { return false; }
bool failingCoreWithReason(const SZeSetupParams&)
{
	zeSetEngineInitError("no shader model %d", 5);
	return false;
}
void countingStopCore() { g_stopCoreCalled = true; }
bool failingMusic() { return false; }

class EngineTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		setenv("ZELV_BATCH", "1", 1);
		unsetenv("ZELV_DRIVER");
		Saved = zeGetEngineHooks();
		zeClearError();
	}

	void TearDown() override
	{
		zeTerm();
		zeGetEngineHooks() = Saved;
		unsetenv("ZELV_DRIVER");
	}

	void useNullDriver() { setenv("ZELV_DRIVER", "null", 1); }

	SZeEngineHooks Saved;
};

void expectContextComplete(int width, int height)
{
	SZeContext* c = zeGetContext();
	ASSERT_NE(c->device, nullptr);
	EXPECT_EQ(c->driver, c->device->getVideoDriver());
	EXPECT_EQ(c->driver->getDriverType(), video::EDT_OPENGL);
	EXPECT_EQ(c->sceneManager, c->device->getSceneManager());
	EXPECT_EQ(c->gui, c->device->getGUIEnvironment());
	ASSERT_NE(c->camera, nullptr);
	EXPECT_EQ(c->sceneManager->getActiveCamera(), c->camera);
	ASSERT_NE(c->cameraAnimator, nullptr);
	bool attached = false;
	for (scene::ISceneNodeAnimator* a : c->camera->getAnimators())
		attached = attached || a == c->cameraAnimator;
	EXPECT_TRUE(attached) << "the camera animator is not attached to the camera";
	EXPECT_EQ(zeScreenWidth(), width);
	EXPECT_EQ(zeScreenHeight(), height);
	for (int i = 0; i < EZEIT_COUNT; ++i)
	{
		ASSERT_NE(c->tables[i], nullptr) << "table " << i;
		EXPECT_EQ(c->tables[i]->capacity, 1000);
		EXPECT_EQ(zeGetIdTable(static_cast<EZE_ID_TABLE>(i)), c->tables[i]);
		for (int j = 0; j < i; ++j)
			EXPECT_NE(c->tables[i], c->tables[j]);
	}
	ASSERT_NE(c->musics, nullptr);
	EXPECT_EQ(c->musics->capacity, 50);
}

void expectContextEmpty()
{
	SZeContext* c = zeGetContext();
	EXPECT_EQ(zeIsSetup(), 0);
	EXPECT_EQ(c->device, nullptr);
	EXPECT_EQ(c->driver, nullptr);
	EXPECT_EQ(c->sceneManager, nullptr);
	EXPECT_EQ(c->gui, nullptr);
	EXPECT_EQ(c->camera, nullptr);
	EXPECT_EQ(c->cameraAnimator, nullptr);
	EXPECT_EQ(c->musics, nullptr);
	for (int i = 0; i < EZEIT_COUNT; ++i)
		EXPECT_EQ(zeGetIdTable(static_cast<EZE_ID_TABLE>(i)), nullptr);
}
} // namespace

TEST_F(EngineTest, SetsUpRestartsAndTerminatesTheOpenGLDevice)
{
	expectContextEmpty();
	const int sockets = openSockets();
	for (int round = 0; round < 2; ++round)
	{
		SCOPED_TRACE(round);
		SZeSetupParams p = windowParams(320, 240);
		ASSERT_EQ(zeSetup(&p), 0);
		EXPECT_EQ(zeIsSetup(), 1);
		expectContextComplete(320, 240);
		EXPECT_EQ(openSockets(), sockets + 1);
		EXPECT_EQ(windowTitle(engineWindow()), "Zelv");

		// Setting up again ends the running device first: its connection closes.
		p = windowParams(400, 300);
		ASSERT_EQ(zeSetup(&p), 0);
		EXPECT_EQ(zeIsSetup(), 1);
		expectContextComplete(400, 300);
		EXPECT_EQ(openSockets(), sockets + 1) << "the first device is still open";
		EXPECT_EQ(zeRun(), 1);

		zeTerm();
		expectContextEmpty();
		EXPECT_EQ(openSockets(), sockets);
		EXPECT_EQ(zeRun(), 0);
		zeTerm();  // a second end is harmless
		EXPECT_EQ(zeIsSetup(), 0);
	}
}

TEST_F(EngineTest, UnsetValuesTakeTheDefaults)
{
	useNullDriver();
	ASSERT_EQ(zeSetup(nullptr), 0);
	EXPECT_EQ(zeScreenWidth(), 640);
	EXPECT_EQ(zeScreenHeight(), 480);
	EXPECT_EQ(zeWindowMode(), 0);
	EXPECT_FLOAT_EQ(zeGetContext()->camera->getNearValue(), 0.1f);
	EXPECT_FLOAT_EQ(zeGetContext()->camera->getFarValue(), 1000.0f);

	SZeSetupParams p;
	zeInitSetupParams(&p);
	p.windowed = 0;
	p.cameraNear = 2.0f;
	p.cameraFar = 300.0f;
	p.width = 800;
	ASSERT_EQ(zeSetup(&p), 0);
	EXPECT_EQ(zeWindowMode(), 1);
	EXPECT_EQ(zeScreenWidth(), 800);
	EXPECT_EQ(zeScreenHeight(), 480);
	EXPECT_FLOAT_EQ(zeGetContext()->camera->getNearValue(), 2.0f);
	EXPECT_FLOAT_EQ(zeGetContext()->camera->getFarValue(), 300.0f);

	p.windowed = 5;
	p.cameraNear = p.cameraFar = 7.0f;
	ASSERT_EQ(zeSetup(&p), 0);
	EXPECT_EQ(zeWindowMode(), 0);
	EXPECT_FLOAT_EQ(zeGetContext()->camera->getNearValue(), 0.1f);
	EXPECT_FLOAT_EQ(zeGetContext()->camera->getFarValue(), 1000.0f);
}

// A set-up file that gives only one end of the camera range keeps the
// default for the other end.
TEST_F(EngineTest, SetupFileWithOneCameraDistanceKeepsTheOtherDefault)
{
	useNullDriver();
	char pattern[] = "/tmp/zelv-range-XXXXXX";
	ASSERT_NE(mkdtemp(pattern), nullptr);
	const std::string dir = pattern;
	const struct
	{
		const char* Ini;
		float Near, Far;
	} cases[] = { { "[Setup]\nnear = 0.5\n", 0.5f, 1000.0f }, { "[Setup]\nfar = 250.0\n", 0.1f, 250.0f },
		{ "[Setup]\nnear = 2.0\nfar = 40.0\n", 2.0f, 40.0f }, { "[Setup]\nwidth = 320\n", 0.1f, 1000.0f } };
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.Ini);
		std::ofstream(dir + "/zelv-setup.ini") << c.Ini;
		SZeSetupParams p;
		zeInitSetupParams(&p);
		ASSERT_EQ(zeReadSetupIni("zelv-setup.ini", dir.c_str(), &p, 0), 0) << pendingError(nullptr);
		EXPECT_FLOAT_EQ(zeGetContext()->camera->getNearValue(), c.Near);
		EXPECT_FLOAT_EQ(zeGetContext()->camera->getFarValue(), c.Far);
	}
	std::error_code ignored;
	std::filesystem::remove_all(dir, ignored);
}

TEST_F(EngineTest, FailingCoreOrMusicLeavesTheEngineDown)
{
	useNullDriver();
	int number = 0;

	zeSetEngineInitError("%s", "");
	zeGetEngineHooks().startCore = failingCore;
	EXPECT_EQ(zeSetup(nullptr), -1);
	EXPECT_EQ(pendingError(&number).rfind("Setup failed: ", 0), 0u) << pendingError(&number);
	EXPECT_EQ(number, -1);
	expectContextEmpty();

	zeGetEngineHooks().startCore = failingCoreWithReason;
	EXPECT_EQ(zeSetup(nullptr), -1);
	EXPECT_EQ(pendingError(&number), "Setup failed: no shader model 5");
	expectContextEmpty();
	zeSetEngineInitError("%s", "");

	// The OpenGL device made before the core failed is closed again.
	unsetenv("ZELV_DRIVER");
	const int sockets = openSockets();
	SZeSetupParams gl = windowParams(320, 240);
	EXPECT_EQ(zeSetup(&gl), -1);
	EXPECT_EQ(openSockets(), sockets);
	expectContextEmpty();
	useNullDriver();

	// A running engine ends before the failing attempt.
	zeGetEngineHooks().startCore = nullptr;
	ASSERT_EQ(zeSetup(nullptr), 0);
	zeClearError();
	g_stopCoreCalled = false;
	zeGetEngineHooks().stopCore = countingStopCore;
	zeGetEngineHooks().startMusic = failingMusic;
	EXPECT_EQ(zeSetup(nullptr), -1);
	EXPECT_EQ(pendingError(&number), "Failed to setup music replay");
	EXPECT_EQ(number, -1);
	EXPECT_TRUE(g_stopCoreCalled) << "the started core was not stopped";
	expectContextEmpty();

	zeGetEngineHooks().startMusic = nullptr;
	EXPECT_EQ(zeSetup(nullptr), 0);
	EXPECT_EQ(zeIsSetup(), 1);
}

TEST_F(EngineTest, HostMessageSetsTheSyncFrame)
{
	EXPECT_EQ(zeGetSyncFrame(), 0x0FFFFFFF);
	SZeSetupParams p = windowParams(320, 240);
	ASSERT_EQ(zeSetup(&p), 0);
	zeRun();
	EXPECT_EQ(zeGetSyncFrame(), 0x0FFFFFFF);

	Display* display = engineDisplay();
	XEvent e;
	memset(&e, 0, sizeof(e));
	e.xclient.type = ClientMessage;
	e.xclient.window = engineWindow();
	e.xclient.message_type = XInternAtom(display, "ZELV_HOST_FRAME", False);
	e.xclient.format = 32;
	e.xclient.data.l[0] = ZE_SYNC_FRAME_EVENT;
	e.xclient.data.l[1] = 1234;
	ASSERT_NE(XSendEvent(display, engineWindow(), False, NoEventMask, &e), 0);
	XSync(display, False);
	const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
	while (zeGetSyncFrame() != 1234 && std::chrono::steady_clock::now() < end)
	{
		zeRun();
		std::this_thread::sleep_for(std::chrono::milliseconds(2));
	}
	EXPECT_EQ(zeGetSyncFrame(), 1234);
	EXPECT_EQ(zeRun(), 1) << "the host message closed the window";

	// Other user messages leave the frame alone: a key sent after one shows
	// when it has been handled.
	e.xclient.data.l[0] = ZE_SYNC_FRAME_EVENT + 1;
	e.xclient.data.l[1] = 99;
	XSendEvent(display, engineWindow(), False, NoEventMask, &e);
	XEvent k;
	memset(&k, 0, sizeof(k));
	k.xkey.type = KeyPress;
	k.xkey.window = engineWindow();
	k.xkey.root = DefaultRootWindow(display);
	k.xkey.same_screen = True;
	k.xkey.keycode = XKeysymToKeycode(display, XK_Left);
	XSendEvent(display, engineWindow(), False, NoEventMask, &k);
	XSync(display, False);
	const auto keyEnd = std::chrono::steady_clock::now() + std::chrono::seconds(2);
	while (!zeLeftKey() && std::chrono::steady_clock::now() < keyEnd)
	{
		zeRun();
		std::this_thread::sleep_for(std::chrono::milliseconds(2));
	}
	ASSERT_EQ(zeLeftKey(), 1);
	EXPECT_EQ(zeGetSyncFrame(), 1234);
	zeSetSyncFrame(0x0FFFFFFF);
}

TEST_F(EngineTest, WindowManagerCloseRequestEndsTheRun)
{
	SZeSetupParams p = windowParams(320, 240);
	ASSERT_EQ(zeSetup(&p), 0);
	Display* display = engineDisplay();
	const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
	Atom* protocols = nullptr;
	int count = 0;
	ASSERT_NE(XGetWMProtocols(display, engineWindow(), &protocols, &count), 0);
	const bool offered = std::find(protocols, protocols + count, deleteWindow) != protocols + count;
	XFree(protocols);
	EXPECT_TRUE(offered) << "the close button would kill the connection instead";

	XEvent e;
	memset(&e, 0, sizeof(e));
	e.xclient.type = ClientMessage;
	e.xclient.window = engineWindow();
	e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
	e.xclient.format = 32;
	e.xclient.data.l[0] = static_cast<long>(deleteWindow);
	XSendEvent(display, engineWindow(), False, NoEventMask, &e);
	XSync(display, False);
	const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
	int running = 1;
	while (running && std::chrono::steady_clock::now() < end)
	{
		running = zeRun();
		std::this_thread::sleep_for(std::chrono::milliseconds(2));
	}
	EXPECT_EQ(running, 0);
	EXPECT_EQ(zeGetSyncFrame(), 0x0FFFFFFF);
}

TEST_F(EngineTest, AttachesToTheLayoutWindow)
{
	EXPECT_EQ(zeAttachToLayoutWindow(), -1);
	setenv("ZELV_DRIVER", "null", 1);
	ASSERT_EQ(zeSetup(nullptr), 0);
	EXPECT_EQ(zeAttachToLayoutWindow(), -1);
	unsetenv("ZELV_DRIVER");

	SZeSetupParams p = windowParams(320, 240);
	ASSERT_EQ(zeSetup(&p), 0);
	EXPECT_EQ(zeAttachToLayoutWindow(), -1);

	Display* host = XOpenDisplay(nullptr);
	ASSERT_NE(host, nullptr);
	const Window root = DefaultRootWindow(host);
	const Window modeler = XCreateSimpleWindow(host, root, 0, 0, 100, 80, 0, 0, 0);
	XStoreName(host, modeler, "LightWave Modeler");
	XMapWindow(host, modeler);
	XSync(host, False);
	EXPECT_EQ(zeAttachToLayoutWindow(), -1) << "a window without Layout in its title was taken";

	const Window layout = XCreateSimpleWindow(host, root, 50, 50, 200, 150, 0, 0, 0);
	XStoreName(host, layout, "LightWave Layout");
	XMapWindow(host, layout);
	XSync(host, False);
	EXPECT_EQ(zeAttachToLayoutWindow(), 0);
	Window owner = 0;
	ASSERT_NE(XGetTransientForHint(host, engineWindow(), &owner), 0);
	EXPECT_EQ(owner, layout);

	XDestroyWindow(host, layout);
	XDestroyWindow(host, modeler);
	XCloseDisplay(host);
}

TEST_F(EngineTest, LayoutSearchSurvivesWindowsClosingMeanwhile)
{
	SZeSetupParams p = windowParams(320, 240);
	ASSERT_EQ(zeSetup(&p), 0);
	std::atomic<bool> stop(false);
	std::atomic<int> churned(0);
	std::thread churn([&stop, &churned] {
		Display* other = XOpenDisplay(nullptr);
		if (!other)
			return;
		while (!stop)
		{
			Window w[8];
			for (Window& one : w)
				one = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 10, 10, 0, 0, 0);
			XSync(other, False);
			for (Window one : w)
				XDestroyWindow(other, one);
			XSync(other, False);
			++churned;
		}
		XCloseDisplay(other);
	});
	const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
	int searches = 0;
	while (std::chrono::steady_clock::now() < end || churned < 10)
	{
		const int result = zeAttachToLayoutWindow();
		EXPECT_TRUE(result == 0 || result == -1);
		++searches;
	}
	stop = true;
	churn.join();
	EXPECT_GT(searches, 0);
	EXPECT_EQ(zeRun(), 1);
}
