// The zelv program run as a user runs it, for the end-to-end tests: one
// process under the test run's X display, found by its window, driven with
// xdotool, watched through window screenshots, its log and its exit status;
// and the test fixture those tests share.
//
// The tests wait on what the program reports, never for a fixed time: a line
// of its log, a picture that shows what an action does, a frame it presented
// after a given moment, its exit. A key or button is held down until the
// program shows that it took it.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zetest
{
inline std::string sh(const std::string& command)
{
	FILE* p = popen(command.c_str(), "r");
	std::string out;
	for (int c; p && (c = fgetc(p)) != EOF;)
		out += static_cast<char>(c);
	if (p)
		pclose(p);
	return out;
}

inline void pause(int ms)
{
	std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Polls `met` until it holds or `seconds` have passed; whether it held.
inline bool waitUntil(const std::function<bool()>& met, int seconds)
{
	const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
	for (;;)
	{
		if (met())
			return true;
		if (std::chrono::steady_clock::now() >= end)
			return false;
		pause(20);
	}
}

inline int occurrences(const std::string& text, const std::string& what)
{
	int n = 0;
	for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
		++n;
	return n;
}

// The visible windows captioned 'Zelv'.
inline std::set<std::string> zelvWindows()
{
	std::istringstream in(sh("xdotool search --onlyvisible --name '^Zelv$' 2>/dev/null"));
	std::set<std::string> ids;
	for (std::string id; in >> id;)
		ids.insert(id);
	return ids;
}

// A window screenshot: 8-bit RGB, rows from the top; empty when none was taken.
struct SZelvShot
{
	int width = 0, height = 0;
	std::vector<unsigned char> rgb;
	const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Pixels that differ between two shots of one size (every pixel and one more
// when the sizes differ), counted from row `top` down.
inline int differingPixels(const SZelvShot& a, const SZelvShot& b, int top = 0)
{
	if (a.width != b.width || a.height != b.height)
		return a.width * a.height + 1;
	int n = 0;
	for (size_t i = static_cast<size_t>(top) * a.width * 3; i < a.rgb.size(); i += 3)
		n += (a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2]) ? 1 : 0;
	return n;
}

// One zelv process, in a folder of its own, its standard output and error in
// "zelv.log" there; killed if still running when it goes. Every run starts
// and ends with the keys and buttons the tests press up.
class ZelvProcess
{
public:
	using Environment = std::vector<std::pair<std::string, std::string>>;

	// On one file; the program is the build's zelv unless another copy is named.
	ZelvProcess(const std::string& folder, const std::string& file, bool batch = false, std::string program = "")
		: ZelvProcess(folder, std::vector<std::string>{file},
			  batch ? Environment{{"ZELV_BATCH", "1"}} : Environment{}, std::move(program))
	{
	}
	// On its arguments, with some environment set. Without a sound device
	// here, music plays through SDL's dummy audio driver unless the
	// environment names another.
	ZelvProcess(const std::string& folder, const std::vector<std::string>& args, const Environment& environment,
		std::string program = "")
		: Folder(folder), LogPath(folder + "/zelv.log")
	{
		// xdotool sends keys through the X server's own key state: a key whose
		// release went to a window that had closed stays down there and
		// repeats into the next program's window.
		releaseKeys();
		Before = zelvWindows();
		Start = std::chrono::steady_clock::now();
		if (program.empty())
			program = std::string(ZELV_BINARY_DIR) + "/zelv";
		Pid = fork();
		if (Pid == 0)
		{
			if (!freopen(LogPath.c_str(), "w", stdout) || !freopen(LogPath.c_str(), "a", stderr))
				_exit(126);
			unsetenv("ZELV_DRIVER");
			setenv("SDL_AUDIODRIVER", "dummy", 1);
			for (const auto& variable : environment)
				setenv(variable.first.c_str(), variable.second.c_str(), 1);
			std::vector<const char*> argv = {program.c_str()};
			for (const std::string& a : args)
				argv.push_back(a.c_str());
			argv.push_back(nullptr);
			execv(program.c_str(), const_cast<char* const*>(argv.data()));
			_exit(127);
		}
	}
	ZelvProcess(const ZelvProcess&) = delete;
	ZelvProcess& operator=(const ZelvProcess&) = delete;
	~ZelvProcess()
	{
		if (Pid > 0 && ExitCode < 0)
		{
			kill(Pid, SIGKILL);
			waitpid(Pid, nullptr, 0);
		}
		releaseKeys();
	}

	// Lets go of every key and button the tests press.
	static void releaseKeys()
	{
		std::system("xdotool keyup Escape Return space Right Left Up Down plus minus shift 1 2 F12 >/dev/null 2>&1; "
					"xdotool mouseup 1 mouseup 3 >/dev/null 2>&1");
	}

	// The new "Zelv" window on screen, focused; "" after `seconds` or when
	// the program ended. What it shows is the program's to say: see started
	// frames through freshShot() or shotUntil(), or the log.
	std::string window(int seconds = WINDOW_SECONDS)
	{
		Id = newWindow(seconds);
		if (!Id.empty())
		{
			// Focused, a viewer runs flat out (unfocused it sleeps 20 ms a pass).
			send("windowfocus --sync " + Id);
		}
		return Id;
	}
	// The program's new "Zelv" window, "" after `seconds` or when the program
	// ended; not focused.
	std::string newWindow(int seconds = WINDOW_SECONDS)
	{
		std::string found;
		waitUntil(
			[&] {
				for (const std::string& id : zelvWindows())
					if (!Before.count(id))
						found = id;
				return !found.empty() || !running();
			},
			seconds);
		return found;
	}
	bool running()
	{
		if (ExitCode >= 0)
			return false;
		int status = 0;
		if (waitpid(Pid, &status, WNOHANG) != Pid)
			return true;
		Elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
		ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
		return false;
	}
	// The exit status (128 + signal when killed by one), or -1 after `seconds`
	// (the program is killed then).
	int exitStatus(int seconds = 60)
	{
		waitUntil([&] { return !running(); }, seconds);
		if (running())
		{
			kill(Pid, SIGKILL);
			waitpid(Pid, nullptr, 0);
			ExitCode = 1000;
			return -1;
		}
		return ExitCode;
	}

	void send(const std::string& xdotoolArgs) const
	{
		std::system(("xdotool " + xdotoolArgs + " >/dev/null 2>&1").c_str());
	}
	// "key", "keydown" or "keyup" of a key to the window.
	void key(const std::string& action, const std::string& name) const { send(action + " --window " + Id + " " + name); }
	// A key held down until `done` holds, then let go until the program took
	// that too; whether both came within `seconds`. Keys are read as held or
	// not once a pass: a press or a release shorter than a pass can go unseen.
	bool hold(const std::string& name, const std::function<bool()>& done, int seconds = ACTION_SECONDS) const
	{
		key("keydown", name);
		const bool met = waitUntil(done, seconds);
		key("keyup", name);
		return taken() && met;
	}
	// A key held down until the log holds one more `line` than before: the
	// program says it took the key.
	bool pressLogged(const std::string& name, const std::string& line, int seconds = ACTION_SECONDS) const
	{
		const int before = logCount(line);
		return hold(name, [&] { return logCount(line) > before; }, seconds);
	}
	// A key held down until a shot meets `met`, then let go until the
	// program took that too; the shot (the last one taken when none did
	// within `seconds`).
	SZelvShot holdUntilShown(const std::string& name, const std::string& path,
		const std::function<bool(const SZelvShot&)>& met, int seconds = ACTION_SECONDS) const
	{
		key("keydown", name);
		SZelvShot image = shotUntil(path, met, seconds);
		key("keyup", name);
		return taken() ? image : SZelvShot();
	}
	// The right mouse button pressed over the window until the log holds one
	// more `line` than before, then let go until the program took that too;
	// whether both came within `seconds`.
	bool rightClickLogged(const std::string& line, int seconds = ACTION_SECONDS) const
	{
		const int before = logCount(line);
		send("mousemove --window " + Id + " 320 400 mousedown 3");
		const bool met = waitUntil([&] { return logCount(line) > before; }, seconds);
		send("mouseup 3");
		return taken() && met;
	}
	// Whether the program drew a frame after it took every key, button and
	// message sent to it so far (see freshShot()).
	bool taken() const { return freshShot(Folder + "/taken.ppm", TAKEN_FRAMES).width > 0; }

	// The window's picture, also written to `path` (a PPM file); empty when
	// it cannot be taken within `seconds` (a window that goes while it is
	// taken holds it up).
	SZelvShot screenshot(const std::string& path, int seconds = 20) const
	{
		SZelvShot image;
		if (std::system(("timeout " + std::to_string(seconds) + " import -window " + Id + " -depth 8 ppm:" + path +
				" >/dev/null 2>&1").c_str()) != 0)
			return image;
		std::ifstream in(path, std::ios::binary);
		std::string magic;
		int maxValue = 0;
		in >> magic >> image.width >> image.height >> maxValue;
		in.get();
		if (magic != "P6" || maxValue != 255)
			return SZelvShot();
		image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
		in.read(reinterpret_cast<char*>(image.rgb.data()), static_cast<std::streamsize>(image.rgb.size()));
		return in ? image : SZelvShot();
	}
	// Shots of the window, one after the other, until one meets `met` or
	// `seconds` have passed; the last one.
	SZelvShot shotUntil(const std::string& path, const std::function<bool(const SZelvShot&)>& met,
		int seconds = ACTION_SECONDS) const
	{
		const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
		SZelvShot image = screenshot(path);
		while (!(image.width > MARK_SIZE * 2 && met(image)) && std::chrono::steady_clock::now() < end)
			image = screenshot(path);
		return image;
	}
	// A shot of a frame that the program presented after the call, after
	// `frames` such frames one after the other: a mark drawn into the
	// window's corner (as any X client may draw into it) is gone once the
	// program's next frame covers it. Empty when no frame came within
	// `seconds`. The first such frame may have been drawn before the call;
	// the pass that drew the second had taken every key and button sent
	// before the call.
	SZelvShot freshShot(const std::string& path, int frames = 1, int seconds = ACTION_SECONDS) const
	{
		SZelvShot image;
		for (int i = 0; i < frames; ++i)
		{
			if (!mark())
				return SZelvShot();
			image = shotUntil(path, [](const SZelvShot& s) { return !marked(s); }, seconds);
			if (image.width <= MARK_SIZE * 2 || marked(image))
				return SZelvShot();
		}
		return image;
	}

	std::string log() const
	{
		std::ifstream in(LogPath);
		return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
	}
	int logCount(const std::string& line) const { return occurrences(log(), line); }
	// Waits up to `seconds` for the log to hold `line` `times` times.
	bool waitForLog(const std::string& line, int times = 1, int seconds = ACTION_SECONDS) const
	{
		return waitUntil([&] { return logCount(line) >= times; }, seconds);
	}
	pid_t pid() const { return Pid; }
	const std::string& id() const { return Id; }
	// Seconds from the start to the end, once it ended.
	double elapsed() const { return Elapsed; }

	// How long the program may take to open its window, to draw its first
	// frame (a busy machine without a shader cache compiles the effects
	// first), and to show what an action does (again an effect to compile).
	static const int WINDOW_SECONDS = 60;
	static const int FIRST_FRAME_SECONDS = 120;
	static const int ACTION_SECONDS = 60;
	// Frames presented after a key, button or message was sent: the pass
	// that drew the second had taken it (see freshShot()).
	static const int TAKEN_FRAMES = 2;

private:
	static const int MARK_SIZE = 4;

	// The mark's square: MARK_SIZE pixels a side, two pixels in from the
	// bottom right corner.
	static int markLeft(int width) { return width - MARK_SIZE - 2; }
	static int markTop(int height) { return height - MARK_SIZE - 2; }
	static bool marked(const SZelvShot& s)
	{
		for (int y = markTop(s.height); y < markTop(s.height) + MARK_SIZE; ++y)
			for (int x = markLeft(s.width); x < markLeft(s.width) + MARK_SIZE; ++x)
			{
				const unsigned char* p = s.at(x, y);
				if (p[0] != 255 || p[1] != 0 || p[2] != 255)
					return false;
			}
		return true;
	}
	// Fills the mark's square of the window with magenta, a colour that no
	// picture of the tests has there; false when the window is not there.
	bool mark() const
	{
		Display* display = XOpenDisplay(nullptr);
		if (!display)
			return false;
		// A window gone meanwhile is an error reply, not the end of the test.
		XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
		const Window window = std::stoul(Id.empty() ? "0" : Id);
		XWindowAttributes a;
		const bool drawn = window && XGetWindowAttributes(display, window, &a) && a.visual &&
			a.width > MARK_SIZE * 2 && a.height > MARK_SIZE * 2;
		if (drawn)
		{
			GC gc = XCreateGC(display, window, 0, nullptr);
			XSetForeground(display, gc, a.visual->red_mask | a.visual->blue_mask);
			XFillRectangle(display, window, gc, markLeft(a.width), markTop(a.height), MARK_SIZE, MARK_SIZE);
			XFreeGC(display, gc);
		}
		XSync(display, False);
		XSetErrorHandler(previous);
		XCloseDisplay(display);
		return drawn;
	}

	std::string Folder;
	std::string LogPath;
	std::set<std::string> Before;
	std::chrono::steady_clock::time_point Start;
	std::string Id;
	pid_t Pid = -1;
	int ExitCode = -1;
	double Elapsed = 0;
};

// The environment of a run in batch mode: no dialog or message box waits for a user.
inline const ZelvProcess::Environment BATCH = {{"ZELV_BATCH", "1"}};

// A test of the program on the X display of the test run, with a folder of
// its own under /tmp (removed afterwards).
class ZelvTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		if (!getenv("DISPLAY"))
			FAIL() << "DISPLAY is not set: these tests drive zelv on an X display (run them with `make test`, "
					  "which provides Xvfb)";
		char name[] = "/tmp/zelv-test-XXXXXX";
		ASSERT_NE(mkdtemp(name), nullptr);
		Folder = name;
	}
	void TearDown() override
	{
		std::error_code ignored;
		std::filesystem::remove_all(Folder, ignored);
	}

	// The text written to a file of that name in the folder; its path.
	std::string write(const std::string& name, const std::string& text) const
	{
		std::ofstream(Folder + "/" + name, std::ios::binary) << text;
		return Folder + "/" + name;
	}
	// Where a screenshot of that name goes.
	std::string shot(const std::string& name) const { return Folder + "/" + name + ".ppm"; }

	std::string Folder;
};
} // namespace zetest
