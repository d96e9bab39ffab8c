// The zelv program run as a user runs it, for the end-to-end tests: one
// process on one file under the test run's X display, found by its window,
// driven with xdotool, watched through window screenshots, its log and its
// exit status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

// A window screenshot: 8-bit RGB, rows from the top.
struct SZelvShot
{
	int width = 0, height = 0;
	std::vector<unsigned char> rgb;
	const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// One zelv process, in a folder of its own, its standard output and error in
// "zelv.log" there; killed if still running when it goes.
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
	// On its arguments, with some environment set.
	ZelvProcess(const std::string& folder, const std::vector<std::string>& args, const Environment& environment,
		std::string program = "")
		: LogPath(folder + "/zelv.log"), Before(zelvWindows()), Start(std::chrono::steady_clock::now())
	{
		if (program.empty())
			program = std::string(ZELV_BINARY_DIR) + "/zelv";
		Pid = fork();
		if (Pid == 0)
		{
			if (!freopen(LogPath.c_str(), "w", stdout) || !freopen(LogPath.c_str(), "a", stderr))
				_exit(126);
			unsetenv("ZELV_DRIVER");
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
	}

	// The new "Zelv" window on screen, "" after 20 s or when the program ended.
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
			// Focused, the viewer runs flat out (unfocused it sleeps 20 ms a pass).
			send("windowfocus --sync " + Id);
			pause(1500);  // the first frames are drawn
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
	void send(const std::string& xdotoolArgs) const
	{
		std::system(("xdotool " + xdotoolArgs + " >/dev/null 2>&1").c_str());
	}
	void key(const std::string& action, const std::string& name) const { send(action + " --window " + Id + " " + name); }
	// Reads the window into `image`; false (the image left empty) when it cannot.
	bool screenshot(const std::string& path, SZelvShot* image) const
	{
		*image = SZelvShot();
		if (std::system(("timeout 20 import -window " + Id + " -depth 8 ppm:" + path + " >/dev/null 2>&1").c_str()) != 0)
			return false;
		std::ifstream in(path, std::ios::binary);
		std::string magic;
		int maxValue = 0;
		SZelvShot read;
		in >> magic >> read.width >> read.height >> maxValue;
		in.get();
		if (magic != "P6" || maxValue != 255)
			return false;
		read.rgb.resize(static_cast<size_t>(read.width) * read.height * 3);
		in.read(reinterpret_cast<char*>(read.rgb.data()), static_cast<std::streamsize>(read.rgb.size()));
		if (!in)
			return false;
		*image = read;
		return true;
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
} // namespace zetest
