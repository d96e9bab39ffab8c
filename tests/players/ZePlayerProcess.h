// The zelv program run for real by the players' tests: started on the test
// run's X display with a command line, driven with xdotool as a user would,
// watched through window screenshots, its log and its exit status.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
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

// The visible windows captioned "Zelv".
inline std::set<std::string> zelvWindows()
{
	std::istringstream in(sh("xdotool search --onlyvisible --name '^Zelv$' 2>/dev/null"));
	std::set<std::string> ids;
	for (std::string id; in >> id;)
		ids.insert(id);
	return ids;
}

// A window's picture, rows from the top, 8-bit RGB.
struct SShot
{
	int width = 0, height = 0;
	std::vector<unsigned char> rgb;
	const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Pixels that differ between two shots of one size (every pixel and one more
// when the sizes differ), counted from row `top` down.
inline int differingPixels(const SShot& a, const SShot& b, int top = 0)
{
	if (a.width != b.width || a.height != b.height)
		return a.width * a.height + 1;
	int n = 0;
	for (size_t i = static_cast<size_t>(top) * a.width * 3; i < a.rgb.size(); i += 3)
		n += (a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2]) ? 1 : 0;
	return n;
}

// One zelv process, its output in "zelv.log" of a folder; killed if still
// running when the test ends.
class CZelvProcess
{
public:
	// Runs `program` (the built zelv by default) with the arguments. In batch
	// mode no dialog or message box waits for a user. Music plays through
	// SDL's dummy audio driver.
	CZelvProcess(const std::string& folder, const std::vector<std::string>& args, bool batch = false,
		const std::string& program = std::string(ZELV_BINARY_DIR) + "/zelv")
		: LogPath(folder + "/zelv.log")
	{
		// xdotool sends keys to the focused window through the X server's own
		// key state: a key whose release went to a window that had closed
		// stays down there and repeats into the next program's window.
		releaseKeys();
		Before = zelvWindows();
		std::vector<const char*> argv = {program.c_str()};
		for (const std::string& arg : args)
			argv.push_back(arg.c_str());
		argv.push_back(nullptr);
		Pid = fork();
		if (Pid == 0)
		{
			if (!freopen(LogPath.c_str(), "w", stdout) || !freopen(LogPath.c_str(), "a", stderr))
				_exit(126);
			if (batch)
				setenv("ZELV_BATCH", "1", 1);
			setenv("SDL_AUDIODRIVER", "dummy", 1);
			unsetenv("ZELV_DRIVER");
			execv(program.c_str(), const_cast<char* const*>(argv.data()));
			_exit(127);
		}
	}
	CZelvProcess(const std::string& folder, const std::string& file, bool batch = false)
		: CZelvProcess(folder, std::vector<std::string>{file}, batch)
	{
	}
	~CZelvProcess()
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
		for (int i = 0; i < 200 && Id.empty() && running(); ++i)
		{
			for (const std::string& id : zelvWindows())
				if (!Before.count(id))
					Id = id;
			if (Id.empty())
				pause(100);
		}
		if (!Id.empty())
		{
			send("windowfocus --sync " + Id);
			pause(1500);
		}
		return Id;
	}
	bool running()
	{
		if (Status >= 0)
			return false;
		int status = 0;
		if (waitpid(Pid, &status, WNOHANG) != Pid)
			return true;
		Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
		return false;
	}
	// The exit status (128 + signal when killed by one), or -1 after `seconds`
	// (the program is killed then).
	int exitStatus(int seconds = 15)
	{
		for (int i = 0; i < seconds * 10 && running(); ++i)
			pause(100);
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
	void key(const std::string& action, const std::string& name) const { send(action + " --window " + Id + " " + name); }
	// The right mouse button clicked over the window, held long enough for
	// the program's passes to see it.
	void rightClick() const
	{
		send("mousemove --window " + Id + " 320 400 mousedown 3");
		pause(200);
		send("mouseup 3");
	}
	// A key held down long enough for the program's passes to see it.
	void press(const std::string& name, int ms = 150) const
	{
		key("keydown", name);
		pause(ms);
		key("keyup", name);
	}
	SShot screenshot(const std::string& path) const
	{
		SShot image;
		if (std::system(("timeout 20 import -window " + Id + " -depth 8 ppm:" + path + " >/dev/null 2>&1").c_str()) != 0)
			return image;
		std::ifstream in(path, std::ios::binary);
		std::string magic;
		int maxValue = 0;
		in >> magic >> image.width >> image.height >> maxValue;
		in.get();
		if (magic != "P6" || maxValue != 255)
			return SShot();
		image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
		in.read(reinterpret_cast<char*>(image.rgb.data()), static_cast<std::streamsize>(image.rgb.size()));
		return in ? image : SShot();
	}
	std::string log() const
	{
		std::ifstream in(LogPath);
		return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
	}
	pid_t pid() const { return Pid; }

private:
	std::string LogPath;
	std::set<std::string> Before;
	std::string Id;
	pid_t Pid = -1;
	int Status = -1;
};
// A test with a folder of its own under /tmp (removed afterwards) on the X
// display of the test run.
class CPlayerTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		if (!getenv("DISPLAY"))
			FAIL() << "DISPLAY is not set: these tests drive zelv on an X display (run them with `make test`, "
					  "which provides Xvfb)";
		char name[] = "/tmp/zelv-player-XXXXXX";
		ASSERT_NE(mkdtemp(name), nullptr);
		Folder = name;
	}
	void TearDown() override { std::system(("rm -rf " + Folder).c_str()); }

	// Where a screenshot of that name goes.
	std::string shot(const std::string& name) const { return Folder + "/" + name + ".ppm"; }

	std::string Folder;
};
} // namespace zetest
