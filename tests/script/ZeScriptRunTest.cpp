// The zelv program running scripts as a user runs them: the sample scripts
// under the test run's X display, watched through window screenshots and
// ended with Escape, and scripts that fail, with their exit status and
// standard error.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{
std::string capture(const std::string& command)
{
	std::string out;
	if (FILE* p = popen(command.c_str(), "r"))
	{
		for (int c; (c = fgetc(p)) != EOF;)
			out += static_cast<char>(c);
		pclose(p);
	}
	return out;
}

void pause(int ms)
{
	std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string readAll(const std::string& path)
{
	std::ifstream in(path);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> visibleZelvWindows()
{
	std::istringstream in(capture("xdotool search --onlyvisible --name '^Zelv$' 2>/dev/null"));
	std::set<std::string> ids;
	for (std::string id; in >> id;)
		ids.insert(id);
	return ids;
}

struct SRgb
{
	int r, g, b;
	bool near(int R, int G, int B, int tolerance = 4) const
	{
		return std::abs(r - R) <= tolerance && std::abs(g - G) <= tolerance && std::abs(b - B) <= tolerance;
	}
};

// A window screenshot, rows from the top.
struct SShot
{
	int width = 0, height = 0;
	std::vector<SRgb> pixels;
	SRgb at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
	// Pixels of the rectangle [x0, x1) x [y0, y1) for which `test` holds.
	template <typename Test>
	int count(int x0, int y0, int x1, int y1, Test test) const
	{
		int n = 0;
		for (int y = y0; y < y1; ++y)
			for (int x = x0; x < x1; ++x)
				n += test(at(x, y)) ? 1 : 0;
		return n;
	}
};

// One zelv process on one script, its standard output and error kept in
// files of the test's folder; killed if still running when it goes.
class ScriptRun
{
public:
	ScriptRun(const std::string& script, const std::string& folder, bool nullDriver = false)
		: Out(folder + "/out.txt"), Err(folder + "/err.txt")
	{
		const std::string program = std::string(ZELV_BINARY_DIR) + "/zelv";
		Before = visibleZelvWindows();
		Pid = fork();
		if (Pid == 0)
		{
			if (!freopen(Out.c_str(), "w", stdout) || !freopen(Err.c_str(), "w", stderr))
				_exit(126);
			setenv("SDL_AUDIODRIVER", "dummy", 1);
			if (nullDriver)
				setenv("ZELV_DRIVER", "null", 1);
			else
				unsetenv("ZELV_DRIVER");
			execl(program.c_str(), program.c_str(), script.c_str(), static_cast<char*>(nullptr));
			_exit(127);
		}
	}
	~ScriptRun()
	{
		if (Pid > 0 && Status < 0)
		{
			kill(Pid, SIGKILL);
			waitpid(Pid, nullptr, 0);
		}
	}

	// The script's new window, focused and given a moment to draw; "" when
	// none came within 20 s or the program ended.
	std::string window()
	{
		for (int i = 0; i < 200 && Id.empty() && running(); ++i)
		{
			for (const std::string& id : visibleZelvWindows())
				if (!Before.count(id))
					Id = id;
			if (Id.empty())
				pause(100);
		}
		if (!Id.empty())
		{
			xdotool("windowfocus --sync " + Id);
			pause(2500);
		}
		return Id;
	}
	SShot shot(const std::string& path) const
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
		std::vector<unsigned char> bytes(static_cast<size_t>(image.width) * image.height * 3);
		in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
		for (size_t i = 0; in && i < bytes.size(); i += 3)
			image.pixels.push_back({bytes[i], bytes[i + 1], bytes[i + 2]});
		return in ? image : SShot();
	}
	void pressEscape() const { xdotool("key --window " + Id + " Escape"); }
	// The exit status, or -1 after `seconds` (the program is killed then).
	int exitStatus(int seconds = 20)
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
	std::string out() const { return readAll(Out); }
	std::string err() const { return readAll(Err); }

private:
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
	static void xdotool(const std::string& args) { std::system(("xdotool " + args + " >/dev/null 2>&1").c_str()); }

	std::string Out, Err;
	std::set<std::string> Before;
	std::string Id;
	pid_t Pid = -1;
	int Status = -1;
};

const std::string SAMPLES = std::string(ZELV_SOURCE_DIR) + "/samples/scripts/";

class ScriptRunTest : public ::testing::Test
{
protected:
	void SetUp() override
	{
		char name[] = "/tmp/zelv-script-XXXXXX";
		ASSERT_NE(mkdtemp(name), nullptr);
		Folder = name;
	}
	void TearDown() override
	{
		std::error_code ignored;
		std::filesystem::remove_all(Folder, ignored);
	}
	void needDisplay()
	{
		if (!getenv("DISPLAY"))
			FAIL() << "DISPLAY is not set: these tests drive zelv on an X display (run them with `make test`, "
					  "which provides Xvfb)";
	}
	std::string write(const std::string& name, const std::string& text) const
	{
		std::ofstream(Folder + "/" + name) << text;
		return Folder + "/" + name;
	}
	// Runs a sample until its window has drawn, takes two screenshots half a
	// second apart and ends it with Escape, which must give exit status 0.
	void runSample(const char* name, SShot* first, SShot* later, std::string* out)
	{
		ScriptRun run(SAMPLES + name, Folder);
		ASSERT_FALSE(run.window().empty()) << run.out() << run.err();
		*first = run.shot(Folder + "/first.ppm");
		pause(500);
		*later = run.shot(Folder + "/later.ppm");
		run.pressEscape();
		EXPECT_EQ(run.exitStatus(), 0) << run.err();
		*out = run.out();
		ASSERT_EQ(first->width, 640);
		ASSERT_EQ(first->height, 480);
		ASSERT_EQ(later->width, 640);
	}

	std::string Folder;
};

int differing(const SShot& a, const SShot& b)
{
	int n = 0;
	for (size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i)
		n += a.pixels[i].near(b.pixels[i].r, b.pixels[i].g, b.pixels[i].b, 0) ? 0 : 1;
	return n;
}
} // namespace

TEST_F(ScriptRunTest, TheTurningSampleShowsTheObjectItsTextAndTurnsIt)
{
	needDisplay();
	SShot first, later;
	std::string out;
	runSample("turning.lua", &first, &later, &out);
	if (HasFatalFailure())
		return;
	auto backdrop = [](const SRgb& p) { return p.near(0x20, 0x30, 0x40); };
	for (int corner = 0; corner < 4; ++corner)
		EXPECT_TRUE(backdrop(first.at(corner % 2 ? 637 : 2, corner / 2 ? 477 : 2))) << "corner " << corner;
	EXPECT_GT(first.count(220, 140, 420, 340, [&](const SRgb& p) { return !backdrop(p); }), 2000) << "the gem";
	EXPECT_GT(first.count(8, 8, 200, 48, [](const SRgb& p) { return p.r > 180 && p.g > 180 && p.b > 180; }), 30)
		<< "the white text";
	EXPECT_EQ(first.count(8, 60, 200, 200, [&](const SRgb& p) { return !backdrop(p); }), 0);
	EXPECT_GT(differing(first, later), 200) << "the gem turns";
}

TEST_F(ScriptRunTest, TheDrawingSampleDrawsBoxesALineImagesAndText)
{
	needDisplay();
	SShot shot, later;
	std::string out;
	runSample("drawing.lua", &shot, &later, &out);
	if (HasFatalFailure())
		return;
	EXPECT_TRUE(shot.at(60, 80).near(0xFF, 0x40, 0x20, 6)) << "the red box";
	EXPECT_TRUE(shot.at(250, 240).near(0x28, 0x98, 0x38, 12)) << "the green box at half alpha over the backdrop";
	const SRgb overlap = shot.at(170, 140);
	EXPECT_TRUE(overlap.r > 100 && overlap.g > 100 && overlap.b < 80) << "green over red";
	EXPECT_TRUE(shot.at(600, 200).near(0x40, 0xFF, 0x40, 6)) << "the line";
	EXPECT_TRUE(shot.at(600, 202).near(0x10, 0x20, 0x30)) << "the backdrop below the line";
	auto dark = [](const SRgb& p) { return p.r < 120 && p.r == p.g && p.g == p.b; };
	auto light = [](const SRgb& p) { return p.r > 140 && p.r == p.g && p.g == p.b; };
	EXPECT_GT(shot.count(360, 60, 424, 124, dark), 1000) << "the checkerboard at its size";
	EXPECT_GT(shot.count(360, 60, 424, 124, light), 1000);
	EXPECT_EQ(shot.count(425, 60, 439, 124, light), 0);
	EXPECT_GT(shot.count(440, 60, 620, 160, dark), 6000) << "the checkerboard stretched";
	EXPECT_GT(shot.count(440, 60, 620, 160, light), 6000);
	auto gem = [](const SRgb& p) { return p.r > p.b + 40; };
	EXPECT_GT(shot.count(20, 300, 180, 420, gem), 300) << "the gem rendered into the image";
	EXPECT_EQ(shot.count(200, 280, 640, 480, gem), 0) << "and not into the frame";
	EXPECT_GT(shot.count(8, 8, 300, 24, [](const SRgb& p) { return p.r > 180 && p.g > 180 && p.b < 160; }), 30)
		<< "the yellow text";
}

TEST_F(ScriptRunTest, TheSceneSampleLoadsAndPlaysTheScene)
{
	needDisplay();
	SShot first, later;
	std::string out;
	runSample("scene.lua", &first, &later, &out);
	if (HasFatalFailure())
		return;
	EXPECT_NE(out.find("loading the scene: 0%\n"), std::string::npos) << out;
	EXPECT_NE(out.find("loading the scene: 66%\n"), std::string::npos) << out;
	EXPECT_NE(out.find("objects:\t3\tlights:\t2\temitters:\t1\n"), std::string::npos) << out;
	EXPECT_GT(first.count(0, 40, 640, 480, [](const SRgb& p) { return !p.near(13, 18, 31, 6); }), 640 * 440 / 4)
		<< "the floor, the ball and the mirror";
	EXPECT_GT(differing(first, later), 2000) << "the scene plays";
}

TEST_F(ScriptRunTest, AFailingScriptEndsWithStatusOneAndItsMessage)
{
	struct SCase
	{
		const char* file;
		const char* text;
		const char* message;
	};
	for (const SCase& c : {
			 SCase{"boom.lua", "ze.Setup(160, 120, 32, true)\n\nerror('boom')\n", "boom.lua:3: boom\n"},
			 SCase{"guard.zlua", "ze.Box(1, 2, 3, 4)\n", "guard.zlua:1: calling 'Box' without Setup first\n"},
			 SCase{"syntax.lua", "x = = 1\n", "syntax.lua:1: unexpected symbol near '='\n"},
			 SCase{"engine.lua", "ze.Setup()\nze.ShowObject(5)\n",
				 "engine.lua:2: bad argument #1 to 'ShowObject' (Object ID 5 does not exist."},
		 })
	{
		ScriptRun run(write(c.file, c.text), Folder, true);
		EXPECT_EQ(run.exitStatus(), 1) << c.file;
		EXPECT_EQ(run.err().rfind(c.message, 0), 0u) << c.file << ": " << run.err();
		EXPECT_EQ(run.out(), "") << "the log stays silent";
	}
	ScriptRun ends(write("ends.lua", "ze.Setup()\nprint(ze.IsSetup())\n"), Folder, true);
	EXPECT_EQ(ends.exitStatus(), 0);
	EXPECT_EQ(ends.out(), "true\n");
	EXPECT_EQ(ends.err(), "");
}
