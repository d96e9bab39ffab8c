// What each packing command puts into its archive and where it puts it, the
// common frame (copy of the program, temporary files, refusals) and the
// messages of the failures.
#include "zersc/ZePack.h"
#include "zersc/ZePackArchive.h"
#include "zersc/ZeResource.h"

#include "ZeZerscTestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace
{
const std::string PROBE = std::string(ZELV_BINARY_DIR) + "/tests/zersc/zersc_probe";
const std::string SAMPLE_SCENE = std::string(ZELV_SOURCE_DIR) + "/samples/demo/scenes/intro.zelv";

// The engine data every command adds (and the shader cache, all but -exersc).
const std::set<std::string> ENGINE_DATA = { "shaders/x.hlsl", "shadersPP/y.fx", "shadersHV/include/z.h",
	"textures/t.png" };
const std::set<std::string> SHADER_CACHE = { "shadersCache/a.vso", "shadersCache/a.vso.inf", "shadersCache/b.pso" };

std::set<std::string> names(const std::map<std::string, std::string>& entries)
{
	std::set<std::string> out;
	for (const auto& entry : entries)
		out.insert(entry.first);
	return out;
}

std::set<std::string> with(std::set<std::string> a, const std::set<std::string>& b)
{
	a.insert(b.begin(), b.end());
	return a;
}

// Packing runs as the program "bin/zelv" (a copy of a small program) with its
// data folder beside it.
class Pack : public zetest::ScratchTest
{
protected:
	void SetUp() override
	{
		ScratchTest::SetUp();
		Program = path("bin/zelv");
		fs::create_directories(path("bin"));
		fs::copy_file(PROBE, Program);
		for (const std::string& name : with(ENGINE_DATA, SHADER_CACHE))
			zetest::writeText(path("bin/data/" + name), "data " + name);
		zetest::writeText(path("bin/data/textures/readme.txt"), "not an image");
		zetest::writeText(path("bin/data/shadersCache/old.bin"), "not cache");
		zeSetPackProgram(Program.c_str());
	}
	void TearDown() override
	{
		zeSetPackProgram(nullptr);
		ScratchTest::TearDown();
	}

	// The archive stored as resource `number` of the target, unscrambled.
	std::map<std::string, std::string> resourceEntries(const std::string& target, int number = 500)
	{
		char* block = nullptr;
		char* data = nullptr;
		size_t size = 0;
		if (zeLoadResourceFrom(target.c_str(), number, &block, &data, &size) != 0)
			return {};
		const std::string bytes(data, size);
		delete[] block;
		EXPECT_TRUE(zetest::allDeflated(bytes));
		return zetest::zipEntries(bytes);
	}
	std::map<std::string, std::string> sideEntries(const std::string& target)
	{
		const std::string bytes = zetest::readFile(zePackDatPath(target.c_str()));
		EXPECT_TRUE(zetest::allDeflated(bytes));
		return zetest::zipEntries(bytes);
	}
	// The files of the scratch folder's top, for "nothing left behind".
	std::set<std::string> topFiles() const
	{
		std::set<std::string> out;
		for (const auto& entry : fs::directory_iterator(Tmp))
			out.insert(entry.path().filename().string());
		return out;
	}

	std::string Program;
};

// A demo in demo/, with two parts naming one folder in two cases, an extra,
// a scene that names objects outside the demo's folder, effects, music outside
// the folder and a loading image.
void writeDemo(const std::string& tmp)
{
	zetest::writeText(tmp + "/demo/demo.ini",
		"[setup]\nmusicdirectory = ../music\nshadersdirectory = fx\n"
		"[part1]\ntime = 0\nmusic = m.mp3\ndirectory = scenes\nfilename = intro.zelv\n"
		"extra.0.directory = extra\nextra.0.filename = none.zelv\nextra.0.time = 0\nextra.0.length = 10\n"
		"[part2]\ntime = 100\ndirectory = SCENES\nfilename = intro.zelv\n"
		"[part3]\ntime = 200\n");
	fs::create_directories(tmp + "/demo/scenes");
	fs::copy_file(SAMPLE_SCENE, tmp + "/demo/scenes/intro.zelv");
	for (const char* name : { "demo/scenes/tex.png", "demo/scenes/look.fx", "demo/scenes/notes.txt",
			 "demo/scenes/m.zmorph", "demo/scenes/s.lws.ini.bin", "demo/extra/e.x", "demo/extra/e.DDS",
			 "demo/fx/warm.fx", "demo/fx/a.hlsl", "demo/fx/b.h", "demo/fx/c.psh", "demo/unnamed/u.x",
			 "scenes/objects/ball.obj", "scenes/objects/ball.mtl", "scenes/objects/skip.txt", "music/m.mp3",
			 "music/n.mpeg", "music/notes.txt", "loading.png" })
		zetest::writeText(tmp + "/" + name, name);
}
} // namespace

TEST_F(Pack, DemoWithItsPartsExtrasEffectsMusicAndEngineData)
{
	writeDemo(Tmp);
	fs::create_directories(path("out"));
	ASSERT_EQ(zePackDemo("out/intro", "demo/demo.ini", 1), 0) << zetest::logText();
	const auto entries = sideEntries(path("out/intro"));
	EXPECT_EQ(names(entries),
		with(with(ENGINE_DATA, SHADER_CACHE),
			{ "scenes/intro.zelv", "scenes/tex.png", "scenes/look.fx", "scenes/m.zmorph", "scenes/s.lws.ini.bin",
				"extra/e.x", "extra/e.DDS", "scenes/objects/ball.obj", "scenes/objects/ball.mtl", "fx/warm.fx",
				"fx/a.hlsl", "fx/b.h", "zelv.demo.ini", "music/m.mp3", "music/n.mpeg", "loading.png" }));
	EXPECT_EQ(entries.at("zelv.demo.ini"), zetest::readFile(path("demo/demo.ini")));
	EXPECT_EQ(entries.at("music/m.mp3"), "music/m.mp3");
	EXPECT_EQ(entries.at("textures/t.png"), "data textures/t.png");
	// The folder named in two cases is packed once, with no second try.
	EXPECT_FALSE(zetest::logged("already holds"));
	// -demodat: the target is the program alone, the side file a plain zip.
	EXPECT_FALSE(zeResourceExistsIn(path("out/intro").c_str(), 500));
	EXPECT_EQ(zetest::readFile(path("out/intro")), zetest::readFile(Program));
	EXPECT_EQ(zetest::run("unzip -tqq " + path("out/intro.dat")).first, 0);
}

TEST_F(Pack, SceneFileMakesAScenePack)
{
	for (const char* name : { "scene/s.zscn", "scene/o.x", "scene/i.jpg", "scene/m.zmorph", "scene/notes.txt",
			 "scene/scene_backup/o.lwo", "scene/scene_backup/s.lws", "scene/scene_backup/skip.txt" })
		zetest::writeText(path(name), name);
	ASSERT_EQ(zePackDemo("intro", "scene/s.zscn", 0), 0);
	const auto entries = resourceEntries(path("intro"));
	EXPECT_EQ(names(entries), with(with(ENGINE_DATA, SHADER_CACHE), { "o.x", "i.jpg", "m.zmorph", "zelv.zscn",
													 "scene_backup/o.lwo", "scene_backup/s.lws" }));
	EXPECT_EQ(entries.at("zelv.zscn"), "scene/s.zscn");
	EXPECT_FALSE(fs::exists(path("intro.dat")));
	EXPECT_FALSE(fs::exists(path("intro.dat.tmp")));
	std::string bytes = zetest::readFile(path("intro"));
	char* block = nullptr;
	char* data = nullptr;
	size_t size = 0;
	ASSERT_EQ(zeLoadResourceFrom(path("intro").c_str(), 500, &block, &data, &size), 0);
	EXPECT_TRUE(zeIsScenePack(data, size));
	delete[] block;
	// The copy keeps the program's mode and still runs.
	struct stat program, target;
	ASSERT_EQ(stat(Program.c_str(), &program), 0);
	ASSERT_EQ(stat(path("intro").c_str(), &target), 0);
	EXPECT_EQ(target.st_mode & 0777, program.st_mode & 0777);
	EXPECT_EQ(zetest::run(path("intro")).first, 7);
}

TEST_F(Pack, FolderWithItsSubFoldersAsResourceOrSideFile)
{
	for (const char* name : { "tree/top.txt", "tree/sub/a.bin", "tree/sub/deeper/b.txt", "tree/z/c" })
		zetest::writeText(path(name), name);
	zetest::writeText(path("tree/z/empty"), "");
	// One level of sub-folders; a deeper one is left out, and said so.
	const std::set<std::string> tree = { "top.txt", "sub/a.bin", "z/c", "z/empty" };
	ASSERT_EQ(zePackDirectory("a", "tree", 0), 0);
	EXPECT_EQ(names(resourceEntries(path("a"))), with(with(ENGINE_DATA, SHADER_CACHE), tree));
	EXPECT_TRUE(zetest::logged("left out the folder sub/deeper of tree"));
	EXPECT_FALSE(fs::exists(path("a.dat")));

	ASSERT_EQ(zePackDirectory("b", "tree/", 1), 0);
	EXPECT_EQ(names(sideEntries(path("b"))), with(with(ENGINE_DATA, SHADER_CACHE), tree));
	EXPECT_FALSE(zeResourceExistsIn(path("b").c_str(), 500));

	// An empty or missing folder is no success, and leaves nothing behind.
	fs::create_directories(path("empty/sub"));
	const std::set<std::string> before = topFiles();
	EXPECT_EQ(zePackDirectory("c", "empty", 0), -1);
	EXPECT_TRUE(zetest::logged("Folder empty is missing or holds no file to pack"));
	EXPECT_EQ(zePackDirectory("c", "missing", 1), -1);
	EXPECT_EQ(topFiles(), before);
}

TEST_F(Pack, FolderHoldingTheTargetPacksNoneOfTheCommandsOwnFiles)
{
	zetest::writeText(path("d/a.txt"), "a");
	const std::set<std::string> expected = with(with(ENGINE_DATA, SHADER_CACHE), { "a.txt" });
	ASSERT_EQ(zePackDirectory("d/out", "d", 1), 0);
	EXPECT_EQ(names(sideEntries(path("d/out"))), expected);
	// Again, with the first run's program and side file in the folder.
	ASSERT_EQ(zePackDirectory("d/out", "d", 1), 0);
	EXPECT_EQ(names(sideEntries(path("d/out"))), expected);
	ASSERT_EQ(zePackDirectory("d/out", "d", 0), 0);
	EXPECT_EQ(names(resourceEntries(path("d/out"))), expected);
}

TEST_F(Pack, FolderListWithPatternsBlankLinesAndCrLf)
{
	for (const char* name : { "list/a.png", "list/B.PNG", "list/c.jpg", "list/sub/d.txt", "list/sub/e.TXT",
			 "list/sub/f.bin", "plain.md", "other.md" })
		zetest::writeText(path(name), name);
	zetest::writeText(path("files.lst"), "  \r\n\r\nlist/*.png\r\n   list\\sub\\*.txt\n\nplain.md\r\nlist/*.png");
	ASSERT_EQ(zePackDirListCommand("d", "files.lst"), 0);
	EXPECT_EQ(names(resourceEntries(path("d"))),
		with(with(ENGINE_DATA, SHADER_CACHE),
			{ "list/a.png", "list/B.PNG", "list/sub/d.txt", "list/sub/e.TXT", "plain.md" }));
	// The repeated line adds nothing: the first entries stay, each repeat logged.
	EXPECT_TRUE(zetest::logged("already holds an entry list/a.png"));

	zetest::writeText(path("long.lst"), "list/*.png\n" + std::string(200, 'p') + "\n");
	EXPECT_EQ(zePackDirListCommand("e", "long.lst"), -1);
	EXPECT_TRUE(zetest::logged("Line too long in long.lst"));
	zetest::writeText(path("long.lst"), std::string(200, 'f') + "/*.png\n");
	EXPECT_EQ(zePackDirListCommand("e", "long.lst"), -1);
	EXPECT_FALSE(fs::exists(path("e")));

	EXPECT_EQ(zePackDirListCommand("e", "missing.lst"), -1);
	EXPECT_TRUE(zetest::logged("Failed to read  missing.lst"));
}

TEST_F(Pack, EngineDataAsResource501)
{
	ASSERT_EQ(zePackEngineData("engine"), 0);
	EXPECT_EQ(names(resourceEntries(path("engine"), 501)), ENGINE_DATA);
	EXPECT_FALSE(zeResourceExistsIn(path("engine").c_str(), 500));
	// A program that carries blocks is copied without them.
	ASSERT_EQ(zeWriteResourceBlock(Program.c_str(), 500, "old", 3), 0);
	ASSERT_EQ(zePackEngineData("engine2"), 0);
	EXPECT_FALSE(zeResourceExistsIn(path("engine2").c_str(), 500));
	EXPECT_TRUE(zeResourceExistsIn(path("engine2").c_str(), 501));
}

TEST_F(Pack, RefusalsAndMessages)
{
	writeDemo(Tmp);
	const std::set<std::string> before = topFiles();
	EXPECT_EQ(zePackDemo("bin/zelv", "demo/demo.ini", 0), -1);
	EXPECT_TRUE(zetest::logged("Cannot pack into the running program " + Program));
	EXPECT_EQ(zetest::readFile(Program), zetest::readFile(PROBE));

	EXPECT_EQ(zePackDemo("x", "demo/missing.ini", 0), -1);
	EXPECT_TRUE(zetest::logged("Failed to load ini file demo/missing.ini"));

	EXPECT_EQ(zePackDemo("no/such/folder/x", "demo/demo.ini", 0), -1);
	EXPECT_TRUE(zetest::logged("Failed to copy " + Program + " to " + path("no/such/folder/x")));

	fs::create_directories(path("y.dat.tmp/inside"));
	EXPECT_EQ(zePackDemo("y", "demo/demo.ini", 0), -1);
	EXPECT_TRUE(zetest::logged("Failed to delete archive file " + path("y.dat.tmp")));
	fs::remove_all(path("y.dat.tmp"));
	EXPECT_EQ(topFiles(), before);
}

TEST_F(Pack, ADemoNamesAtMost255Folders)
{
	// Each part names a folder and up to 15 extras one more each.
	auto demoNaming = [this](int count) {
		std::string ini = "[setup]\n";
		for (int p = 0; p * 16 < count; ++p)
		{
			ini += "[part" + std::to_string(p) + "]\ntime = " + std::to_string(p) + "\ndirectory = d" +
				   std::to_string(p * 16) + "\n";
			for (int e = 1; e < 16 && p * 16 + e < count; ++e)
			{
				const std::string extra = "extra." + std::to_string(e - 1) + ".";
				ini += extra + "directory = d" + std::to_string(p * 16 + e) + "\n" + extra + "filename = s.zelv\n" +
					   extra + "time = 0\n" + extra + "length = 1\n";
			}
		}
		zetest::writeText(path("many.ini"), ini);
	};
	demoNaming(255);
	EXPECT_EQ(zePackDemo("z", "many.ini", 1), 0) << zetest::logText();
	demoNaming(256);
	EXPECT_EQ(zePackDemo("z", "many.ini", 1), -1);
	EXPECT_TRUE(zetest::logged("Reached max directories"));
}

TEST_F(Pack, ArchiveReadsFilesAtCommitAndRefusesWhatDoesNotRead)
{
	zetest::writeText(path("one"), "one");
	zetest::writeText(path("two"), "two");
	CZePackArchive archive(path("a.zip"));
	// The first of two entries with one name stays.
	EXPECT_EQ(zeZipAddFile(&archive, "a/b", path("one")), 0);
	EXPECT_EQ(zeZipAddFile(&archive, "a/b", path("two")), 0);
	EXPECT_TRUE(zetest::logged("skipped " + path("two") + ": the archive already holds an entry a/b"));
	// Nothing is held from the add: the bytes are the file's at commit.
	zetest::writeText(path("one"), "ONE");
	// What is no readable file is refused at the add.
	ASSERT_EQ(mkfifo(path("fifo").c_str(), 0644), 0);
	fs::create_directory(path("dir"));
	for (const std::string name : { "fifo", "dir", "missing" })
	{
		EXPECT_EQ(zeZipAddFile(&archive, name, path(name)), -1);
		EXPECT_TRUE(zetest::logged("Failed to read file path=" + path(name))) << name;
	}
	ASSERT_TRUE(archive.commit());
	EXPECT_EQ(zetest::zipEntries(zetest::readFile(path("a.zip"))),
		(std::map<std::string, std::string>{ { "a/b", "ONE" } }));
}

TEST_F(Pack, NeverWritesOverTheProgramOrItsSideFile)
{
	writeDemo(Tmp);
	fs::create_directory_symlink(path("bin"), path("link"));
	// zelv.v2's side file is zelv.dat, the program's own; link/ leads to bin/.
	for (const auto& target : std::vector<std::pair<std::string, int>>{
			 { "bin/zelv.v2", 1 }, { "bin/zelv.dat", 0 }, { "link/zelv.dat", 1 }, { "link/zelv", 0 } })
	{
		EXPECT_EQ(zePackDemo(target.first.c_str(), "demo/demo.ini", target.second), -1) << target.first;
		EXPECT_TRUE(zetest::logged("Cannot pack into the running program " + path(target.first))) << target.first;
	}
	EXPECT_EQ(zetest::readFile(Program), zetest::readFile(PROBE));
	EXPECT_FALSE(fs::exists(path("bin/zelv.dat")));
	EXPECT_FALSE(fs::exists(path("bin/zelv.v2")));
}

TEST(PackPaths, EntryNamesStayUnderTheRoot)
{
	EXPECT_EQ(zePackEntryName("parts/p1/a.x"), "parts/p1/a.x");
	EXPECT_EQ(zePackEntryName("../music/a.mp3"), "music/a.mp3");
	EXPECT_EQ(zePackEntryName("a/../../b/./c"), "b/c");
	std::string relative;
	ASSERT_TRUE(zeRelativePath("/base/demo", "/base/demo/parts/p1/a.x", &relative));
	EXPECT_EQ(relative, "parts/p1/a.x");
	ASSERT_TRUE(zeRelativePath("", "a\\b.x", &relative));
	EXPECT_EQ(relative, "a/b.x");
}
