// The zelv program run as a user runs it, for the end-to-end tests: one
// process under the test run's X display, found by its window, driven with
// xdotool, watched through window screenshots, its log and its exit status;
// and the test fixture those tests share.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
		: LogPath(folder + "/zelv.log")
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
		if (Pid > 0 && Status < 0)
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

	// The new "Zelv" window on screen, focused, once its first frames are
	// drawn; "" after 20 s or when the program ended.
	std::string window()
	{
		Id = newWindow();
		if (!Id.empty())
		{
			// Focused, a viewer runs flat out (unfocused it sleeps 20 ms a pass).
			send("windowfocus --sync " + Id);
			pause(1500);  // the first frames are drawn
		}
		return Id;
	}
	// The program's new "Zelv" window, "" after 20 s or when the program
	// ended; not focused or waited for.
	std::string newWindow()
	{
		for (int i = 0; i < 200 && running(); ++i)
		{
			for (const std::string& id : zelvWindows())
				if (!Before.count(id))
					return id;
			pause(100);
		}
		return "";
	}
	bool running()
	{
		if (Status >= 0)
			return false;
		int status = 0;
		if (waitpid(Pid, &status, WNOHANG) != Pid)
			return true;
		Elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
		Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
		return false;
	}
	// The exit status (128 + signal when killed by one), or -1 after `seconds`
	// (the program is killed then).
	int exitStatus(int seconds = 15)
	{
		for (int i = 0; i < seconds * 100 && running(); ++i)
			pause(10);
		if (running())
		{
			kill(Pid, SIGKILL);
			waitpid(Pid, nullptr, 0);
			Status = 1000;
			return -1;
		}
		return Status;
	}

	void send(const std::string& xdotoolArgs) const
	{
		std::system(("xdotool " + xdotoolArgs + " >/dev/null 2>&1").c_str());
	}
	// "key", "keydown" or "keyup" of a key to the window.
	void key(const std::string& action, const std::string& name) const { send(action + " --window " + Id + " " + name); }
	// A key held down long enough for the program's passes to see it.
	void press(const std::string& name, int ms = 150) const
	{
		key("keydown", name);
		pause(ms);
		key("keyup", name);
	}
	// The right mouse button clicked over the window, held long enough for
	// the program's passes to see it.
	void rightClick() const
	{
		send("mousemove --window " + Id + " 320 400 mousedown 3");
		pause(200);
		send("mouseup 3");
	}
	// The window's picture, also written to `path` (a PPM file); empty when
	// it cannot be taken.
	SZelvShot screenshot(const std::string& path) const
	{
		SZelvShot image;
		if (std::system(("timeout 20 import -window " + Id + " -depth 8 ppm:" + path + " >/dev/null 2>&1").c_str()) != 0)
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
	std::string log() const
	{
		std::ifstream in(LogPath);
		return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
	}
	pid_t pid() const { return Pid; }
	const std::string& id() const { return Id; }
	// Seconds from the start to the end, once it ended.
	double elapsed() const { return Elapsed; }

private:
	std::string LogPath;
	std::set<std::string> Before;
	std::chrono::steady_clock::time_point Start;
	std::string Id;
	pid_t Pid = -1;
	int Status = -1;
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
