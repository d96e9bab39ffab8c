// Packed mode's start: damaged packed data is refused with its message before
// anything runs, and a pack's start file is chosen in its order.
#include "zersc/ZePack.h"
#include "zersc/ZeResource.h"

#include "frame/ZeFile.h"

#include "ZeZerscTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace
{
const std::string PROBE = std::string(ZELV_BINARY_DIR) + "/tests/zersc/zersc_probe";

using PackedStart = zetest::ScratchTest;
} // namespace

TEST_F(PackedStart, DamagedPacksAreRefused)
{
	const std::string exe = path("intro");
	std::filesystem::copy_file(PROBE, exe);
	// A side file that is no archive.
	zetest::writeText(path("intro.dat"), "no archive");
	EXPECT_EQ(zeRunPacked(exe.c_str()), -1);
	EXPECT_TRUE(zetest::logged("Failed to open the packed data of " + exe));
	std::filesystem::remove(path("intro.dat"));

	// A block that is no archive, then one whose bytes do not check out.
	ASSERT_EQ(zeWriteResourceBlock(exe.c_str(), 500, "no archive", 10), 0);
	zetest::logLines().clear();
	EXPECT_EQ(zeRunPacked(exe.c_str()), -1);
	EXPECT_TRUE(zetest::logged("Failed to open the packed data of " + exe));
	std::string bytes = zetest::readFile(exe);
	bytes[bytes.size() - 32 - 3] ^= 0x01;
	zetest::writeText(exe, bytes);
	for (int (*start)(const char*) : { zeRunPacked, zeExtractPacked })
	{
		zetest::logLines().clear();
		EXPECT_EQ(start(exe.c_str()), -1);
		EXPECT_TRUE(zetest::logged("Failed to load resources from executable"));
	}
}

TEST_F(PackedStart, TheDemoComesFirstThenTheSceneThenTheScript)
{
	const std::pair<zetest::Entries, const char*> cases[] = {
		{ { { "main.lua", "" }, { "zelv.zscn", "" }, { "zelv.demo.ini", "" } }, "zelv.demo.ini" },
		{ { { "main.lua", "" }, { "zelv.zscn", "" } }, "zelv.zscn" },
		{ { { "main.lua", "" } }, "main.lua" },
		{ { { "readme.txt", "" } }, nullptr },
	};
	for (const auto& c : cases)
	{
		Zip = zetest::buildZip(c.first);
		ASSERT_EQ(zeMountArchiveMemory(Zip.data(), Zip.size()), 0);
		const char* start = zePackStartFile();
		EXPECT_EQ(start ? std::string(start) : "none", c.second ? std::string(c.second) : "none");
		zeUnmountArchive();
	}
}
