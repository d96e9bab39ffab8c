// The zelv program started by a test as a user would start it, on the test
// run's X display: its arguments, its log, its window and its exit status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zetest
{
inline void pause(int ms)
{
	std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The visible windows captioned "Zelv".
inline std::set<std::string> zelvWindows()
{
	FILE* p = popen("xdotool search --onlyvisible --name '^Zelv$' 2>/dev/null", "r");
	std::set<std::string> ids;
	char line[64];
	while (p && fgets(line, sizeof(line), p))
		ids.insert(std::string(line, strcspn(line, "\n")));
	if (p)
		pclose(p);
	return ids;
}

// One zelv process on its arguments, with some environment set; its standard
// output and error in "zelv.log" in the test's folder. Killed if still running
// when it goes.
class ZelvProcess
{
public:
	using Environment = std::vector<std::pair<std::string, std::string>>;

	ZelvProcess(const std::string& folder, const std::vector<std::string>& args, const Environment& environment = {})
		: LogPath(folder + "/zelv.log"), Before(zelvWindows()), Start(std::chrono::steady_clock::now())
	{
		const std::string program = std::string(ZELV_BINARY_DIR) + "/zelv";
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
	~ZelvProcess()
	{
		if (Pid > 0 && Status < 0)
		{
			kill(Pid, SIGKILL);
			waitpid(Pid, nullptr, 0);
		}
	}
	ZelvProcess(const ZelvProcess&) = delete;
	ZelvProcess& operator=(const ZelvProcess&) = delete;

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
	// The exit status (128 + signal when killed by one), or -1 after
	// `seconds` (the program is killed then).
	int exitStatus(int seconds)
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
	// The program's new "Zelv" window, "" after 20 s or when the program ended.
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
	std::string log() const
	{
		std::ifstream in(LogPath);
		return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
	}
	pid_t pid() const { return Pid; }
	// Seconds from the start to the end, once it ended.
	double elapsed() const { return Elapsed; }

private:
	std::string LogPath;
	std::set<std::string> Before;
	std::chrono::steady_clock::time_point Start;
	pid_t Pid = -1;
	int Status = -1;
	double Elapsed = 0;
};
} // namespace zetest
