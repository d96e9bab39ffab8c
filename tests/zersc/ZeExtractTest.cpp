// Scene packs: telling them, extracting them into ExeExtract/ by the folder
// rules, and hostile entry names that must write nothing outside it.
#include "zersc/ZePack.h"

#include "ZeZerscTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace
{
using Extract = zetest::ScratchTest;

bool scenePack(const zetest::Entries& entries, const std::vector<std::string>& folders = {})
{
	const std::vector<char> zip = zetest::buildZip(entries, folders);
	return zeIsScenePack(zip.data(), zip.size());
}
unsigned field(const std::vector<char>& zip, size_t at, int bytes)
{
	unsigned value = 0;
	for (int i = bytes - 1; i >= 0; --i)
		value = value << 8 | static_cast<unsigned char>(zip[at + i]);
	return value;
}

void setField(std::vector<char>* zip, size_t at, int bytes, unsigned value)
{
	for (int i = 0; i < bytes; ++i)
		(*zip)[at + i] = static_cast<char>(value >> (8 * i));
}

// An archive of one entry "scene_backup/0.lwo" with that entry listed `count`
// times in its directory ("1.lwo", "2.lwo" ...), all sharing its data.
std::vector<char> sharedData(const std::string& data, int count)
{
	std::vector<char> zip = zetest::buildZip({ { "scene_backup/0.lwo", data } });
	const size_t end = zip.size() - 22;  // the end record, no comment
	const size_t directory = field(zip, end + 16, 4);
	const std::vector<char> entry(zip.begin() + directory, zip.begin() + end);
	const std::vector<char> tail(zip.begin() + end, zip.end());
	zip.resize(end);
	for (int i = 1; i < count; ++i)
	{
		zip.insert(zip.end(), entry.begin(), entry.end());
		zip[zip.size() - entry.size() + 46 + 13] = static_cast<char>('0' + i);
	}
	zip.insert(zip.end(), tail.begin(), tail.end());
	setField(&zip, zip.size() - 22 + 8, 2, count);
	setField(&zip, zip.size() - 22 + 10, 2, count);
	setField(&zip, zip.size() - 22 + 12, 4, static_cast<unsigned>(entry.size()) * count);
	return zip;
}
} // namespace

using ScenePack = zetest::ScratchTest;

TEST_F(ScenePack, NeedsABackupAndASceneAndNoDemo)
{
	EXPECT_TRUE(scenePack({ { "zelv.zscn", "s" }, { "scene_backup/a.lwo", "o" } }));
	EXPECT_TRUE(scenePack({ { "x/zelv.zscn", "s" }, { "old/scene_backup/a.lws", "o" } }));
	EXPECT_FALSE(scenePack({ { "zelv.zscn", "s" } }));
	EXPECT_FALSE(scenePack({ { "scene_backup/a.lwo", "o" } }));
	EXPECT_FALSE(scenePack({ { "zelv.zscn", "s" }, { "scene_backup/a.lwo", "o" }, { "zelv.demo.ini", "d" } }));
	// A folder entry alone is no backup.
	EXPECT_FALSE(scenePack({ { "zelv.zscn", "s" } }, { "scene_backup/" }));

	const char garbage[] = "not a zip archive at all";
	EXPECT_FALSE(zeIsScenePack(garbage, sizeof(garbage)));
	EXPECT_TRUE(zetest::logged("Failed to open archive"));
}

TEST_F(Extract, FolderRulesAndTheLaterOfTwoNamesWins)
{
	const std::vector<char> zip = zetest::buildZip({ { "zelv.zscn", "scene" }, { "a.PNG", "image a" },
		{ "b.x", "mesh" }, { "c.zelv", "doc" }, { "noext", "n" }, { "d.lwo", "root object" },
		{ "scene_backup/obj/e.LWO", "object e" }, { "scene_backup/f.lws", "scene f" },
		{ "scene_backup/g.txt", "skipped" }, { "other/h.lwo", "skipped" }, { "scene_backup/one/same.lwo", "first" },
		{ "scene_backup/two/same.lwo", "second" }, { "scene_backup/noext", "n" } });
	ASSERT_EQ(zeExtractPack(zip.data(), zip.size(), Tmp.c_str()), 0);
	const std::string root = path("ExeExtract");
	EXPECT_EQ(zetest::filesUnder(root), (std::set<std::string>{ "Images/a.PNG", "Images/d.lwo", "Objects/e.LWO",
									 "Objects/same.lwo", "Scenes/f.lws" }));
	EXPECT_EQ(zetest::readFile(root + "/Images/a.PNG"), "image a");
	EXPECT_EQ(zetest::readFile(root + "/Objects/e.LWO"), "object e");
	EXPECT_EQ(zetest::readFile(root + "/Objects/same.lwo"), "second");
	EXPECT_TRUE(zetest::logged("Extract File '" + root + "/Scenes/f.lws'"));

	// Again over what is there: files are replaced, folders kept.
	ASSERT_EQ(zeExtractPack(zip.data(), zip.size(), Tmp.c_str()), 0);
	EXPECT_EQ(zetest::filesUnder(root).size(), 5u);
}

TEST_F(Extract, TheLongestFileNameExtracts)
{
	const std::string name = std::string(251, 'n') + ".lwo";  // 255 bytes, the most a file name may have
	const std::vector<char> zip = zetest::buildZip({ { "zelv.zscn", "s" }, { "scene_backup/" + name, "long" } });
	ASSERT_EQ(zeExtractPack(zip.data(), zip.size(), Tmp.c_str()), 0) << zetest::logText();
	EXPECT_EQ(zetest::filesUnder(path("ExeExtract")), std::set<std::string>{ "Objects/" + name });
	EXPECT_EQ(zetest::readFile(path("ExeExtract/Objects/" + name)), "long");
}

TEST_F(Extract, HostileNamesWriteNothingOutside)
{
	const std::string outside = path("outside");
	fs::create_directories(outside);
	zetest::writeText(outside + "/victim.lwo", "untouched");
	fs::create_directories(path("work/ExeExtract/Objects"));
	fs::create_symlink(outside + "/victim.lwo", path("work/ExeExtract/Objects/planted.lwo"));

	const std::vector<char> zip = zetest::buildZip({ { "scene_backup/../../../outside/up.lwo", "up" },
		{ "/tmp/scene_backup/abs.lwo", "abs" }, { "scene_backup\\..\\..\\back.lwo", "back" },
		{ "scene_backup/", "" }, { "scene_backup/..", "dots" }, { "scene_backup/.", "dot" },
		{ "scene_backup/bad\nname.lwo", "control" }, { "../../outside/root.png", "root" },
		{ "scene_backup/planted.lwo", "through the link?" } });
	ASSERT_EQ(zeExtractPack(zip.data(), zip.size(), path("work").c_str()), 0);
	EXPECT_EQ(zetest::filesUnder(outside), std::set<std::string>{ "victim.lwo" });
	EXPECT_EQ(zetest::readFile(outside + "/victim.lwo"), "untouched");
	const std::string objects = path("work/ExeExtract/Objects");
	EXPECT_EQ(zetest::filesUnder(objects), (std::set<std::string>{ "up.lwo", "abs.lwo", "back.lwo", "planted.lwo" }));
	EXPECT_FALSE(fs::is_symlink(objects + "/planted.lwo"));
	EXPECT_EQ(zetest::readFile(objects + "/planted.lwo"), "through the link?");
	EXPECT_TRUE(zetest::filesUnder(path("work/ExeExtract/Images")).empty());

	// A link in place of a folder of the extraction stops it.
	fs::remove_all(path("work/ExeExtract/Scenes"));
	fs::create_directory_symlink(outside, path("work/ExeExtract/Scenes"));
	EXPECT_EQ(zeExtractPack(zip.data(), zip.size(), path("work").c_str()), -1);
	EXPECT_TRUE(zetest::logged("Failed to create directory " + path("work/ExeExtract") + "/Scenes"));
	EXPECT_EQ(zetest::filesUnder(outside), std::set<std::string>{ "victim.lwo" });
}

TEST_F(Extract, FailuresAndTheirMessages)
{
	const std::vector<char> zip = zetest::buildZip({ { "scene_backup/big.lwo", std::string(5000, 'b') },
		{ "small.png", "s" } });
	EXPECT_EQ(zeExtractPack(zip.data(), zip.size(), path("missing/folder").c_str()), -1);
	EXPECT_TRUE(zetest::logged("Failed to create directory " + path("missing/folder") + "/ExeExtract"));

	const char garbage[] = "garbage, no archive";
	EXPECT_EQ(zeExtractPack(garbage, sizeof(garbage), Tmp.c_str()), -1);
	EXPECT_TRUE(zetest::logged("Failed to open archive"));

	// An entry above the size cap is refused and leaves nothing behind.
	EXPECT_EQ(zeExtractPack(zip.data(), zip.size(), Tmp.c_str(), 4096), -1);
	EXPECT_TRUE(zetest::logged("File scene_backup/big.lwo is too large to extract"));
	EXPECT_TRUE(zetest::filesUnder(path("ExeExtract/Objects")).empty());
	EXPECT_EQ(zeExtractPack(zip.data(), zip.size(), Tmp.c_str(), 5000), 0);
	EXPECT_EQ(zetest::readFile(path("ExeExtract/Objects/big.lwo")), std::string(5000, 'b'));

	// A file that cannot be written over (a folder in its place).
	fs::remove(path("ExeExtract/Images/small.png"));
	fs::create_directories(path("ExeExtract/Images/small.png/inside"));
	EXPECT_EQ(zeExtractPack(zip.data(), zip.size(), Tmp.c_str()), -1);
	EXPECT_TRUE(zetest::logged("Failed to write file " + path("ExeExtract/Images/small.png")));
}

TEST_F(Extract, DamagedDataAndMoreBytesThanTheArchiveCanHold)
{
	// Bytes that do not match their checksum.
	std::vector<char> zip = zetest::buildZip({ { "scene_backup/c.lwo", std::string(3000, 'c') } });
	const size_t directory = field(zip, zip.size() - 22 + 16, 4);
	setField(&zip, directory + 16, 4, field(zip, directory + 16, 4) ^ 1);
	EXPECT_EQ(zeExtractPack(zip.data(), zip.size(), Tmp.c_str()), -1);
	EXPECT_TRUE(zetest::logged("Failed to extract file scene_backup/c.lwo"));
	EXPECT_TRUE(zetest::filesUnder(path("ExeExtract")).empty());

	// Entries that share one deflated megabyte: each is below the cap, but
	// together they give more than deflate can make of the archive's size.
	zip = sharedData(std::string(1 << 20, '\0'), 4);
	ASSERT_LT(zip.size() * 1032, 2u << 20);
	EXPECT_EQ(zeExtractPack(zip.data(), zip.size(), Tmp.c_str()), -1);
	EXPECT_TRUE(zetest::logged("File scene_backup/1.lwo is too large to extract")) << zetest::logText();
	EXPECT_EQ(zetest::filesUnder(path("ExeExtract")), std::set<std::string>{ "Objects/0.lwo" });
}
