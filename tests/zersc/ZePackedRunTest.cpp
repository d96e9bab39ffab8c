// Packed executables run for real: the zelv program packs the sample demo, a
// script and a scene; the packed copy runs alone in an empty folder under the
// test run's X display, and "-extract" gives a scene's files back.
#include "zersc/ZeResource.h"

#include "players/ZeZelvProcess.h"

#include "ZeZerscTestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace
{
const std::string ZELV = std::string(ZELV_BINARY_DIR) + "/zelv";
const std::string SAMPLE_DEMO = std::string(ZELV_SOURCE_DIR) + "/samples/demo/sample.demo.ini";
const zetest::ZelvProcess::Environment BATCH = { { "ZELV_BATCH", "1" }, { "SDL_AUDIODRIVER", "dummy" } };

// The backdrops of the sample demo's three parts.
const int BACKDROPS[3][3] = { { 25, 51, 102 }, { 102, 30, 20 }, { 20, 76, 38 } };

bool isBackdrop(const unsigned char* p)
{
	for (const auto& b : BACKDROPS)
		if (std::abs(p[0] - b[0]) <= 3 && std::abs(p[1] - b[1]) <= 3 && std::abs(p[2] - b[2]) <= 3)
			return true;
	return false;
}

class PackedRun : public ::testing::Test
{
protected:
	void SetUp() override
	{
		char name[] = "/tmp/zelv-packed-XXXXXX";
		ASSERT_NE(mkdtemp(name), nullptr);
		Folder = name;
		fs::create_directories(Folder + "/logs");
	}
	void TearDown() override { fs::remove_all(Folder); }

	// zelv with the arguments, run from `cwd`; its exit status and output.
	std::pair<int, std::string> zelv(const std::string& cwd, const std::string& program, const std::string& args)
	{
		return zetest::run("cd '" + cwd + "' && ZELV_BATCH=1 SDL_AUDIODRIVER=dummy '" + program + "' " + args +
						   " 2>&1");
	}

	// Runs the packed program alone in its folder, with capture options that
	// it must ignore; true when a frame of the demo was on screen.
	void playsAlone(const std::string& alone, const std::set<std::string>& files)
	{
		const std::string program = alone + "/intro";
		zetest::ZelvProcess run(Folder + "/logs", { "-cap", alone + "/cap", "-capfps", "30", "-windowed" }, BATCH,
			program);
		ASSERT_FALSE(run.window().empty()) << run.log();
		// Shots until one shows a part's objects over its backdrop, or the
		// demo ended by itself.
		bool seen = false;
		const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
		while (!seen && run.running() && std::chrono::steady_clock::now() < until)
		{
			const zetest::SZelvShot shot = run.screenshot(Folder + "/logs/shot.ppm");
			if (shot.width < 8 || !isBackdrop(shot.at(2, 2)) ||
				!isBackdrop(shot.at(shot.width - 3, shot.height - 3)))
				continue;
			int drawn = 0;
			for (int y = 0; y < shot.height; ++y)
				for (int x = 0; x < shot.width; ++x)
					drawn += isBackdrop(shot.at(x, y)) ? 0 : 1;
			seen = drawn > shot.width * shot.height / 50;
		}
		EXPECT_TRUE(seen) << "no frame of the demo on screen\n" << run.log();
		EXPECT_EQ(run.exitStatus(300), 0) << run.log();
		EXPECT_EQ(run.log().find("ERROR"), std::string::npos) << "everything is found in the pack\n" << run.log();
		EXPECT_EQ(zetest::filesUnder(alone), files) << "nothing is captured or written beside the program";
	}

	std::string Folder;
};
} // namespace

TEST_F(PackedRun, DemoExecutableAloneInAnEmptyFolderPlays)
{
	if (!getenv("DISPLAY"))
		FAIL() << "DISPLAY is not set: run under Xvfb (make test)";
	const auto packed = zelv(Folder, ZELV, "-demoexe made/intro '" + SAMPLE_DEMO + "'");
	ASSERT_EQ(packed.first, 1) << "the folder of the target is missing";
	fs::create_directories(Folder + "/made");
	ASSERT_EQ(zelv(Folder, ZELV, "-demoexe made/intro '" + SAMPLE_DEMO + "'").first, 0);
	EXPECT_EQ(zetest::filesUnder(Folder + "/made"), std::set<std::string>{ "intro" });
	fs::create_directories(Folder + "/alone");
	fs::copy_file(Folder + "/made/intro", Folder + "/alone/intro");
	fs::permissions(Folder + "/alone/intro", fs::status(Folder + "/made/intro").permissions());
	playsAlone(Folder + "/alone", { "intro" });

	// The block inside, unscrambled, is a zip that a stock unzip reads.
	char* block = nullptr;
	char* data = nullptr;
	size_t size = 0;
	ASSERT_EQ(zeLoadResourceFrom((Folder + "/made/intro").c_str(), 500, &block, &data, &size), 0);
	zetest::writeText(Folder + "/block.zip", std::string(data, size));
	delete[] block;
	const auto listed = zetest::run("unzip -l '" + Folder + "/block.zip'");
	EXPECT_EQ(listed.first, 0);
	EXPECT_NE(listed.second.find("zelv.demo.ini"), std::string::npos);
	EXPECT_NE(listed.second.find("music/tone.mp3"), std::string::npos);
	EXPECT_EQ(zetest::run("unzip -tqq '" + Folder + "/block.zip'").first, 0);
}

TEST_F(PackedRun, DemoWithASideFilePlays)
{
	if (!getenv("DISPLAY"))
		FAIL() << "DISPLAY is not set: run under Xvfb (make test)";
	fs::create_directories(Folder + "/made");
	ASSERT_EQ(zelv(Folder, ZELV, "-demodat made/intro '" + SAMPLE_DEMO + "'").first, 0);
	EXPECT_EQ(zetest::filesUnder(Folder + "/made"), (std::set<std::string>{ "intro", "intro.dat" }));
	EXPECT_EQ(zetest::run("unzip -tqq '" + Folder + "/made/intro.dat'").first, 0);
	fs::create_directories(Folder + "/alone");
	for (const char* name : { "intro", "intro.dat" })
		fs::copy(Folder + "/made/" + name, Folder + "/alone/" + name);
	playsAlone(Folder + "/alone", { "intro", "intro.dat" });
}

TEST_F(PackedRun, PackedScriptRunsAndItsFailureIsTheExitStatus)
{
	const std::string marker = Folder + "/marker.txt";
	zetest::writeText(Folder + "/script/main.lua",
		"local f = io.open('" + marker + "', 'w')\nf:write('packed script ran')\nf:close()\n");
	ASSERT_EQ(zelv(Folder, ZELV, "-direxe ok script").first, 0);
	const auto ran = zelv(Folder + "/logs", Folder + "/ok", "-nomusic");
	EXPECT_EQ(ran.first, 0) << ran.second;
	EXPECT_EQ(zetest::readFile(marker), "packed script ran");

	zetest::writeText(Folder + "/script/main.lua", "error('the packed script fails')\n");
	ASSERT_EQ(zelv(Folder, ZELV, "-direxe bad script").first, 0);
	EXPECT_NE(zelv(Folder + "/logs", Folder + "/bad", "").first, 0);

	// A pack with none of the three start files sets the engine up and ends well.
	zetest::writeText(Folder + "/nothing/readme.txt", "no demo, scene or script");
	ASSERT_EQ(zelv(Folder, ZELV, "-direxe none nothing").first, 0);
	const auto none = zelv(Folder + "/logs", Folder + "/none", "");
	EXPECT_EQ(none.first, 0) << none.second;
	EXPECT_NE(none.second.find("holds none of zelv.demo.ini, zelv.zscn and main.lua"), std::string::npos)
		<< none.second;
}

TEST_F(PackedRun, PackedSceneExtractsIntoExeExtract)
{
	const std::set<std::string> files = { "s.zscn", "a.png", "b.x", "scene_backup/o.lwo", "scene_backup/s.lws" };
	for (const std::string& name : files)
		zetest::writeText(Folder + "/scene/" + name, "bytes of " + name + std::string(300, 'x'));
	ASSERT_EQ(zelv(Folder, ZELV, "-demoexe exe scene/s.zscn").first, 0);
	ASSERT_EQ(zelv(Folder, ZELV, "-demodat dat scene/s.zscn").first, 0);
	fs::remove(Folder + "/dat");
	fs::copy_file(ZELV, Folder + "/dat");  // a program without a block: only the side file
	fs::permissions(Folder + "/dat", fs::status(ZELV).permissions());
	for (const std::string program : { "exe", "dat" })
	{
		SCOPED_TRACE(program);
		const std::string out = Folder + "/out-" + program;
		fs::create_directories(out);
		const auto extracted = zelv(out, Folder + "/" + program, "-extract");
		ASSERT_EQ(extracted.first, 0) << extracted.second;
		EXPECT_EQ(zetest::filesUnder(out), (std::set<std::string>{ "ExeExtract/Images/a.png", "ExeExtract/Objects/o.lwo",
									"ExeExtract/Scenes/s.lws" }));
		EXPECT_EQ(zetest::readFile(out + "/ExeExtract/Images/a.png"), zetest::readFile(Folder + "/scene/a.png"));
		EXPECT_EQ(zetest::readFile(out + "/ExeExtract/Objects/o.lwo"),
			zetest::readFile(Folder + "/scene/scene_backup/o.lwo"));
		EXPECT_EQ(zetest::readFile(out + "/ExeExtract/Scenes/s.lws"),
			zetest::readFile(Folder + "/scene/scene_backup/s.lws"));
	}

	// A demo pack extracts nothing; a program without packed data says so.
	fs::create_directories(Folder + "/made");
	ASSERT_EQ(zelv(Folder, ZELV, "-demoexe made/demo '" + SAMPLE_DEMO + "'").first, 0);
	fs::create_directories(Folder + "/out-demo");
	EXPECT_NE(zelv(Folder + "/out-demo", Folder + "/made/demo", "-extract").first, 0);
	EXPECT_TRUE(zetest::filesUnder(Folder + "/out-demo").empty());
	const auto none = zelv(Folder + "/out-demo", ZELV, "-extract");
	EXPECT_NE(none.first, 0);
	EXPECT_NE(none.second.find("Resources don't exist"), std::string::npos) << none.second;
}
