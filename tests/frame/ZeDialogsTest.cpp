// The set-up dialog, the file requester and message boxes, run for real under
// Xvfb and driven with xdotool the way a user would: keys sent to the window,
// clicks on the controls. Only this program's windows are touched (other test
// programs may have theirs open), and a watchdog keeps a dialog that never ends
// from hanging the run.
#include "ZeFrameTestUtil.h"
#include "frame/ZeContext.h"
#include "frame/ZeDialogs.h"
#include "frame/ZeEngine.h"
#include "frame/ZeInput.h"
#include "frame/ZeSignals.h"
#include "frame/ZeWindow.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>

namespace
{
using Clock = std::chrono::steady_clock;
using Mode = std::pair<irr::u32, irr::u32>;

double since(Clock::time_point start)
{
	return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string sh(const std::string& command)
{
	FILE* p = popen(command.c_str(), "r");
	std::string out;
	for (int c; p && (c = fgetc(p)) != EOF;)
		out += static_cast<char>(c);
	if (p)
		pclose(p);
	return out;
}

// The engine window's X id, "" while the engine is not set up.
std::string engineWindow()
{
	irr::video::IVideoDriver* driver = zeGetContext()->driver;
	return driver ? std::to_string(reinterpret_cast<uintptr_t>(driver->getExposedVideoData().OpenGLLinux.X11Window)) : "";
}

// A script that waits until the window is on screen (its id in $w), lets it
// settle and runs `then`: one of this program's own windows by name...
std::string onWindow(const std::string& title, const std::string& then)
{
	return "w=$(xdotool search --sync --all --onlyvisible --pid " + std::to_string(getpid()) + " --name \"" + title +
		"\" | head -1); sleep 0.5; " + then;
}

// ...or the engine window.
std::string onEngine(const std::string& then)
{
	return "w=" + engineWindow() + "; until xwininfo -id $w | grep -q IsViewable; do sleep 0.1; done; sleep 0.5; " + then;
}

struct SDriven
{
	double seconds;
	bool rescued;  // the watchdog had to end the dialog
};

// What the user does, in a helper thread: a shell script...
using User = std::function<void()>;
User script(const std::string& commands)
{
	return [commands] { std::system(("timeout 20 sh -c '" + commands + "' >/dev/null 2>&1").c_str()); };
}

// ...or a window manager's close button: WM_DELETE_WINDOW to the window
// named `title` once it is on screen.
User closing(const std::string& title)
{
	return [title] {
		const std::string id = sh("timeout 20 sh -c '" + onWindow(title, "echo $w") + "'");
		Display* x = XOpenDisplay(nullptr);
		if (id.empty() || !x)
			return;
		XEvent e{};
		e.xclient.type = ClientMessage;
		e.xclient.window = std::stoul(id);
		e.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
		e.xclient.format = 32;
		e.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
		XSendEvent(x, e.xclient.window, False, NoEventMask, &e);
		XCloseDisplay(x);
	};
}

// Runs `call` while `user` drives its window. After 20 s the watchdog presses
// Escape in this program's windows; after 40 s it ends the run.
template <class Call>
SDriven drive(const User& user, Call call)
{
	std::atomic<bool> done{false}, rescued{false};
	const std::string escape = "for w in " + engineWindow() + " $(xdotool search --pid " + std::to_string(getpid()) +
		"); do xdotool key --window $w Escape; done >/dev/null 2>&1";
	const Clock::time_point start = Clock::now();
	std::thread helper([&] {
		user();
		for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(100)))
		{
			if (since(start) > 20)
				rescued = true, std::system(escape.c_str());
			if (since(start) > 40)
				fprintf(stderr, "a dialog never ended\n"), _exit(1);
		}
	});
	call();
	const double seconds = since(start);
	done = true;
	helper.join();
	return {seconds, rescued};
}

std::string clickAt(EZE_SETUP_DIALOG_ITEM item)
{
	const irr::core::recti r = zeSetupDialogItemRect(item);
	// Raised first: other programs' windows may sit on top of it.
	return "xdotool windowraise $w mousemove --window $w " + std::to_string(r.UpperLeftCorner.X + 8) + " " +
		std::to_string(r.getCenter().Y) + " click 1; sleep 0.2; ";
}

// What the set-up dialog should offer: the resolutions the 3D library reports,
// each once, smallest first; without any, 640 by 480 and the screen's size.
std::vector<Mode> offeredModes()
{
	irr::IrrlichtDevice* probe = irr::createDevice(irr::video::EDT_NULL);
	std::vector<Mode> modes;
	irr::video::IVideoModeList* list = probe->getVideoModeList();
	for (irr::s32 i = 0; i < list->getVideoModeCount(); ++i)
		modes.emplace_back(list->getVideoModeResolution(i).Width, list->getVideoModeResolution(i).Height);
	probe->drop();
	if (modes.empty())
	{
		Display* x = XOpenDisplay(nullptr);
		modes = {Mode(640, 480), Mode(DisplayWidth(x, DefaultScreen(x)), DisplayHeight(x, DefaultScreen(x)))};
		XCloseDisplay(x);
	}
	std::sort(modes.begin(), modes.end());
	modes.erase(std::unique(modes.begin(), modes.end()), modes.end());
	return modes;
}

class ZeDialogs : public zetest::FileLayerTest
{
protected:
	// Xvfb resets when its last client leaves and drops the connections made
	// meanwhile: one held for the whole run keeps it from resetting between
	// one dialog's window and the next.
	static void SetUpTestSuite()
	{
		for (int tries = 0; getenv("DISPLAY") && !Keeper && tries < 40; ++tries)
			if (!(Keeper = XOpenDisplay(nullptr)))
				std::this_thread::sleep_for(std::chrono::milliseconds(50));
	}
	static void TearDownTestSuite()
	{
		if (Keeper)
			XCloseDisplay(Keeper);
		Keeper = nullptr;
	}

	void SetUp() override
	{
		zetest::FileLayerTest::SetUp();
		unsetenv("ZELV_DRIVER");
		unsetenv("ZELV_BATCH");
		if (!Keeper)
			GTEST_SKIP() << "needs an X server (run under xvfb-run)";
	}
	void TearDown() override
	{
		zeTerm();
		unsetenv("ZELV_BATCH");
		zetest::FileLayerTest::TearDown();
	}

	void setUpEngine()
	{
		SZeSetupParams p;
		zeInitSetupParams(&p);
		p.windowed = 1;
		p.vsync = 0;
		ASSERT_EQ(zeSetup(&p), 0);
	}

	static bool ownWindowShown(const std::string& title)
	{
		return !sh("xdotool search --all --onlyvisible --pid " + std::to_string(getpid()) + " --name \"" + title + "\"")
					.empty();
	}

	static bool engineWindowShown()
	{
		XWindowAttributes a;
		return XGetWindowAttributes(Keeper, std::stoul(engineWindow()), &a) && a.map_state == IsViewable;
	}

	static Display* Keeper;
};
Display* ZeDialogs::Keeper = nullptr;
} // namespace

// ---- Batch mode: nobody to ask ------------------------------------------------------------
TEST_F(ZeDialogs, BatchModeConfirmsDefaultsAndNeverWaits)
{
	setenv("ZELV_BATCH", "1", 1);
	SZeScreenModeValues v;
	memset(&v, 0x55, sizeof(v));
	const SDriven d = drive([] {}, [&] {
		EXPECT_EQ(zeScreenModeDialog(&v), 0);
		EXPECT_EQ(zeFileRequester("Open", "Zelv Scene (lws.ini)"), nullptr);
		zeMessageBox("score %d", 7);
	});
	// With an engine window the error boxes stay log lines too.
	setUpEngine();
	const SDriven withEngine = drive([] {}, [] {
		zeLog(EZELL_ERROR | EZELF_MESSAGE_BOX, "disk %s", "full");
		zeMessageBox("again");
		EXPECT_EQ(zeFileRequester("Open", nullptr), nullptr);
	});
	EXPECT_FALSE(d.rescued || withEngine.rescued);
	EXPECT_LT(d.seconds + withEngine.seconds, 5.0);
	EXPECT_EQ(Mode(v.width, v.height), Mode(640, 480));
	EXPECT_EQ(v.bpp, 32);
	EXPECT_EQ(v.windowed + v.vsync + v.antialias + v.shaders + v.centered, 5);
	EXPECT_EQ(v.stereo, 0);
	EXPECT_EQ(v.fps, -1);
	EXPECT_EQ(zeScreenModeOption("WIDTH"), 640);
	EXPECT_EQ(zeScreenModeOption("centered"), 1);
	EXPECT_EQ(zeScreenModeOption("nope"), -1);
	EXPECT_EQ(zetest::countLines("INFO : ZeMessageBox: score 7"), 1);
	EXPECT_EQ(zetest::countLines("WARN : zeFileRequester"), 2);
	EXPECT_EQ(zetest::countLines("ERROR : disk full"), 1);
}

// ---- The set-up dialog -------------------------------------------------------------------
TEST_F(ZeDialogs, SetupDialogReturnConfirmsTheDefaults)
{
	const std::vector<Mode> modes = offeredModes();
	const bool has640 = std::find(modes.begin(), modes.end(), Mode(640, 480)) != modes.end();
	const Mode expected = has640 ? Mode(640, 480) : modes.front();
	SZeScreenModeValues v{};
	int result = -1;
	const SDriven d = drive(script(onWindow("^Zelv set-up$", "xdotool key --window $w Return")),
		[&] { result = zeScreenModeDialog(&v); });
	EXPECT_FALSE(d.rescued);
	EXPECT_GE(d.seconds, 0.5) << "returned before the key";
	ASSERT_EQ(result, 0);
	EXPECT_EQ(Mode(v.width, v.height), expected);
	EXPECT_EQ(v.bpp, 32);
	EXPECT_EQ(v.fps, -1);
	EXPECT_EQ(v.windowed + v.vsync + v.antialias + v.shaders + v.centered, 5);
	EXPECT_EQ(v.stereo, 0);
	EXPECT_EQ(zeScreenModeOption("Height"), static_cast<int>(expected.second));
	EXPECT_FALSE(ownWindowShown("^Zelv set-up$"));
}

TEST_F(ZeDialogs, SetupDialogFollowsKeyboardAndMouse)
{
	const std::vector<Mode> modes = offeredModes();
	auto at = std::find(modes.begin(), modes.end(), Mode(640, 480));
	at = at == modes.end() ? modes.begin() : at;
	const Mode next = at + 1 != modes.end() ? *(at + 1) : *at;

	// Down picks the next resolution, Tab and Space turn Windowed off, a click
	// turns Stereo on and a click on Run confirms.
	SZeScreenModeValues v{};
	int result = -1;
	const SDriven d = drive(script(onWindow("^Zelv set-up$", "xdotool key --window $w Down Tab space; sleep 0.2; " +
		clickAt(EZESDI_STEREO) + clickAt(EZESDI_RUN))),
		[&] { result = zeScreenModeDialog(&v); });
	EXPECT_FALSE(d.rescued);
	ASSERT_EQ(result, 0);
	EXPECT_EQ(Mode(v.width, v.height), next);
	EXPECT_EQ(v.windowed, 0);
	EXPECT_EQ(v.stereo, 1);
	EXPECT_EQ(v.vsync + v.antialias + v.shaders + v.centered, 4);
	EXPECT_EQ(zeScreenModeOption("stereo"), 1);
	EXPECT_EQ(zeScreenModeOption("windowed"), 0);
}

TEST_F(ZeDialogs, SetupDialogCancelsByEscapeCancelButtonOrClosing)
{
	const std::pair<const char*, User> ways[] = {
		{"Escape", script(onWindow("^Zelv set-up$", "xdotool key --window $w Escape"))},
		{"Cancel", script(onWindow("^Zelv set-up$", clickAt(EZESDI_CANCEL)))},
		{"close", closing("^Zelv set-up$")},
	};
	for (const auto& way : ways)
	{
		SZeScreenModeValues v;
		memset(&v, 0x55, sizeof(v));
		const SZeScreenModeValues untouched = v;
		int result = 0;
		const SDriven d = drive(way.second, [&] { result = zeScreenModeDialog(&v); });
		EXPECT_FALSE(d.rescued) << way.first;
		EXPECT_NE(result, 0) << way.first;
		EXPECT_EQ(memcmp(&v, &untouched, sizeof(v)), 0) << way.first;
	}
	// Its window is gone for good: the engine's own can be made.
	setUpEngine();
	EXPECT_EQ(zeIsSetup(), 1);
}

// ---- Message boxes -------------------------------------------------------------------------
TEST_F(ZeDialogs, MessageBoxWaitsInTheEngineWindow)
{
	setUpEngine();
	const std::string shot = path("box.png");
	const std::string look = "xdotool windowraise $w; sleep 0.3; import -window $w " + shot;
	const SDriven d = drive(script(onEngine(look + "; xdotool key --window $w Return")),
		[] { zeMessageBox("score %d", 42); });
	EXPECT_FALSE(d.rescued);
	EXPECT_GE(d.seconds, 0.5) << "returned before the key";
	EXPECT_EQ(zetest::countLines("INFO : ZeMessageBox: score 42"), 1);
	// The engine clears to black: the grey box is what lights the window.
	const std::string lit = sh("convert " + shot + " -colorspace Gray -threshold 10% -format \"%[fx:mean]\" info:");
	EXPECT_GT(atof(lit.c_str()), 0.01) << lit;

	// A hidden engine window comes up for the box and goes away again.
	zeHideWindow();
	const SDriven hidden = drive(script(onEngine("xdotool key --window $w Return")), [] { zeMessageBox("hidden"); });
	EXPECT_FALSE(hidden.rescued);
	EXPECT_FALSE(engineWindowShown());
}

TEST_F(ZeDialogs, ErrorLogBoxKeepsItsEscapeFromTheEngine)
{
	setUpEngine();
	const SDriven d = drive(script(onEngine("xdotool key --window $w Escape")),
		[] { zeLog(EZELL_ERROR | EZELF_MESSAGE_BOX, "disk %s", "full"); });
	EXPECT_FALSE(d.rescued);
	EXPECT_GE(d.seconds, 0.5) << "returned before the key";
	EXPECT_EQ(zetest::countLines("ERROR : disk full"), 1);

	// The engine's receiver is back: it sees the next key, but not the Escape
	// that closed the box.
	drive(script(onEngine("xdotool keydown --window $w space")), [] {
		const Clock::time_point start = Clock::now();
		while (zeRun() && !zeSpaceKey() && since(start) < 10)
			zeSync();
	});
	EXPECT_EQ(zeSpaceKey(), 1);
	EXPECT_EQ(zeEscapeKeyEverPressed(), 0);
}

// Closed by Escape with the pointer on it, a box or the file requester
// leaves neither the GUI's focus nor its hovered element behind. The engine's
// loop then takes the next Escape, pressed and released between two of its
// passes, without the GUI handing it to a dialog that is gone.
TEST_F(ZeDialogs, DialogsClosedByEscapeLeaveTheGuiToTheEngine)
{
	ASSERT_EQ(chdir(Tmp.c_str()), 0);
	const std::pair<const char*, std::function<void()>> dialogs[] = {
		{"box", [] { zeLog(EZELL_ERROR | EZELF_MESSAGE_BOX, "disk %s", "full"); }},
		{"file requester", [] { EXPECT_EQ(zeFileRequester("Open", nullptr), nullptr); }},
	};
	for (const auto& dialog : dialogs)
	{
		setUpEngine();
		const SDriven d = drive(
			script(onEngine("xdotool mousemove --window $w 320 240; sleep 0.3; xdotool key --window $w Escape")),
			dialog.second);
		EXPECT_FALSE(d.rescued) << dialog.first;
		irr::gui::IGUIEnvironment* gui = zeGetContext()->gui;
		const auto inTree = [gui](irr::gui::IGUIElement* e) {
			while (e && e->getParent())
				e = e->getParent();
			return !e || e == gui->getRootGUIElement();
		};
		EXPECT_TRUE(inTree(gui->getFocus())) << dialog.first;
		EXPECT_TRUE(inTree(gui->getHovered())) << dialog.first;

		ASSERT_EQ(std::system(("xdotool key --window " + engineWindow() + " Escape").c_str()), 0);
		const Clock::time_point start = Clock::now();
		while (zeRun() && !zeEscapeKeyEverPressed() && since(start) < 10)
			zeSync();
		EXPECT_EQ(zeEscapeKeyEverPressed(), 1) << dialog.first;
		EXPECT_EQ(zeRun(), 1) << dialog.first;
	}
}

// SIGTERM and SIGINT end a box that waits for its user, and the frame loop
// after it, as a close of the window would.
TEST_F(ZeDialogs, TerminationSignalsEndAWaitingBoxAndThenTheLoop)
{
	zeInstallSignalHandlers();
	for (const int signal : {SIGTERM, SIGINT})
	{
		zeClearTerminationRequest();
		setUpEngine();
		// Sent from here: system() ignores SIGINT while its command runs.
		const User waitThenSignal = [signal] {
			script(onEngine("true"))();
			kill(getpid(), signal);
		};
		const SDriven d = drive(waitThenSignal, [] { zeMessageBox("waiting"); });
		EXPECT_FALSE(d.rescued) << signal;
		EXPECT_EQ(zeRun(), 0) << signal;
	}
	zeClearTerminationRequest();
}

TEST_F(ZeDialogs, MessageBoxBeforeSetupHasAWindowOfItsOwn)
{
	const std::pair<const char*, User> ways[] = {
		{"Return", script(onWindow("^Zelv$", "xdotool key --window $w Return"))},
		{"close", closing("^Zelv$")},
	};
	for (const auto& way : ways)
	{
		const SDriven d = drive(way.second, [] { zeMessageBox("early"); });
		EXPECT_FALSE(d.rescued) << way.first;
		EXPECT_GE(d.seconds, 0.5) << "returned before " << way.first;
	}
	setUpEngine();
	EXPECT_EQ(zeIsSetup(), 1);
}

// ---- File requester ------------------------------------------------------------------------
TEST_F(ZeDialogs, FileRequesterChoosesByKeyboardAndRestoresTheDirectory)
{
	zetest::writeText(path("pick.txt"), "p");
	zetest::writeText(path("sub/inner.txt"), "i");
	ASSERT_EQ(chdir(Tmp.c_str()), 0);
	setUpEngine();
	auto cwd = [] {
		char buffer[PATH_MAX];
		return std::string(getcwd(buffer, sizeof(buffer)) ? buffer : "");
	};
	// The path chosen while `keys` (xdotool commands) drive the dialog.
	auto choose = [](const std::string& keys) {
		std::string chosen;
		const SDriven d = drive(script(onEngine(keys)), [&] {
			const char* file = zeFileRequester("Open a scene", "Zelv Scene (lws.ini)");
			chosen = file ? file : "(null)";
		});
		EXPECT_FALSE(d.rescued) << keys;
		return chosen;
	};
	const std::string type = "xdotool type --window $w ", key = "; xdotool key --window $w ";

	EXPECT_EQ(choose(type + "pick" + key + "Return"), Tmp + "/pick.txt");
	EXPECT_EQ(cwd(), Tmp);
	// Into a folder and out with a file: the dialog moved the process, which is back.
	EXPECT_EQ(choose(type + "sub" + key + "Return; sleep 1; " + type + "inner" + key + "Return"), Tmp + "/sub/inner.txt");
	EXPECT_EQ(cwd(), Tmp);
	EXPECT_EQ(choose(type + "sub" + key + "Return; sleep 1" + key + "Escape"), "(null)");
	EXPECT_EQ(cwd(), Tmp);
}

TEST_F(ZeDialogs, FileRequesterBeforeSetupShowsTheFilterInItsWindow)
{
	ASSERT_EQ(chdir(Tmp.c_str()), 0);
	const std::string title = "^Open a scene - Zelv Scene \\(lws.ini\\)$";
	const SDriven d = drive(script(onWindow(title, "xdotool key --window $w Escape")),
		[] { EXPECT_EQ(zeFileRequester("Open a scene", "Zelv Scene (lws.ini)"), nullptr); });
	EXPECT_FALSE(d.rescued);
	EXPECT_GE(d.seconds, 0.5) << "returned before the key";
}
