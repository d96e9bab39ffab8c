// Word scrambling and the resource blocks appended to a copy of a small
// program: writing, reading back, replacing, and trailers that do not check out.
#include "zersc/ZePack.h"
#include "zersc/ZeResource.h"

#include "ZeZerscTestUtil.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace
{
const std::string PROBE = std::string(ZELV_BINARY_DIR) + "/tests/zersc/zersc_probe";

std::string resource(const std::string& exe, int number)
{
	std::vector<char> out;
	if (!zeReadResourceBlock(exe.c_str(), number, &out))
		return "<none>";
	return std::string(out.begin(), out.end());
}

class Resources : public zetest::ScratchTest
{
protected:
	void SetUp() override
	{
		ScratchTest::SetUp();
		Exe = path("probe");
		std::filesystem::copy_file(PROBE, Exe);
		ProbeSize = static_cast<long long>(std::filesystem::file_size(Exe));
	}
	int write(int number, const std::string& data)
	{
		return zeWriteResourceBlock(Exe.c_str(), number, data.data(), data.size());
	}
	std::string Exe;
	long long ProbeSize = 0;
};
} // namespace

TEST(Scramble, WholeWordsOnlyAndItsOwnInverse)
{
	const unsigned char original[7] = { 1, 2, 3, 4, 5, 6, 7 };
	unsigned char data[7];
	memcpy(data, original, sizeof(data));
	zeScrambleWords(data, sizeof(data));
	// The key 0x4B515648 as a little-endian word.
	const unsigned char expected[7] = { 1 ^ 0x48, 2 ^ 0x56, 3 ^ 0x51, 4 ^ 0x4B, 5, 6, 7 };
	EXPECT_EQ(memcmp(data, expected, sizeof(data)), 0);
	zeScrambleWords(data, sizeof(data));
	EXPECT_EQ(memcmp(data, original, sizeof(data)), 0);

	unsigned char shortData[3] = { 9, 9, 9 };
	zeScrambleWords(shortData, sizeof(shortData));
	EXPECT_EQ(shortData[0], 9);
	EXPECT_EQ(shortData[2], 9);

	std::vector<char> big(4099);
	for (size_t i = 0; i < big.size(); ++i)
		big[i] = static_cast<char>(i * 31);
	std::vector<char> copy = big;
	zeScrambleWords(copy.data(), copy.size());
	EXPECT_NE(copy, big);
	EXPECT_EQ(std::string(copy.end() - 3, copy.end()), std::string(big.end() - 3, big.end()));
	zeScrambleWords(copy.data(), copy.size());
	EXPECT_EQ(copy, big);
}

TEST_F(Resources, WrittenReadBackReplacedAndTheProgramStillRuns)
{
	EXPECT_FALSE(zeResourceExistsIn(Exe.c_str(), 500));
	EXPECT_EQ(zeExecutableImageSize(Exe.c_str()), ProbeSize);
	struct stat before;
	ASSERT_EQ(stat(Exe.c_str(), &before), 0);

	ASSERT_EQ(write(500, "first block"), 0);
	ASSERT_EQ(write(501, std::string(70000, 'z')), 0);
	EXPECT_EQ(resource(Exe, 500), "first block");
	EXPECT_EQ(resource(Exe, 501), std::string(70000, 'z'));
	EXPECT_EQ(resource(Exe, 502), "<none>");

	// Replacing keeps one block of the number and the other blocks as they were.
	const long long withBoth = static_cast<long long>(std::filesystem::file_size(Exe));
	ASSERT_EQ(write(500, "second"), 0);
	EXPECT_EQ(resource(Exe, 500), "second");
	EXPECT_EQ(resource(Exe, 501), std::string(70000, 'z'));
	EXPECT_EQ(static_cast<long long>(std::filesystem::file_size(Exe)), withBoth - 5);
	EXPECT_EQ(zeExecutableImageSize(Exe.c_str()), ProbeSize);

	struct stat after;
	ASSERT_EQ(stat(Exe.c_str(), &after), 0);
	EXPECT_EQ(after.st_mode, before.st_mode);
	EXPECT_EQ(zetest::run(Exe + " a b"), std::make_pair(7, std::string("probe 3\n")));

	// Loading unscrambles a copy.
	std::string scrambled = "0123456789";
	zeScrambleWords(&scrambled[0], scrambled.size());
	ASSERT_EQ(write(500, scrambled), 0);
	char* block = nullptr;
	char* data = nullptr;
	size_t size = 0;
	ASSERT_EQ(zeLoadResourceFrom(Exe.c_str(), 500, &block, &data, &size), 0);
	EXPECT_EQ(block, data);
	EXPECT_EQ(std::string(data, size), "0123456789");
	delete[] block;
	EXPECT_EQ(zeLoadResourceFrom(Exe.c_str(), 777, &block, &data, &size), -1);
	EXPECT_EQ(block, nullptr);
}

// Truncated files, garbled trailers and lying sizes read as "no resources";
// a block whose bytes changed does not read back.
TEST_F(Resources, DamagedTrailersMeanNoPackedData)
{
	ASSERT_EQ(write(500, "packed data"), 0);
	ASSERT_EQ(write(501, "engine data"), 0);
	const std::string good = zetest::readFile(Exe);
	const size_t end = good.size();
	// A trailer: magic (8 bytes), number, CRC of the block, size (8), CRC of
	// the trailer, 0. A tail without the magic is a program without blocks,
	// which a write may extend; a trailer with the magic that does not check
	// out refuses writing too.
	struct SCase
	{
		const char* what;
		std::string bytes;
		bool writable;
	};
	std::vector<SCase> cases;
	cases.push_back({ "cut in the trailer", good.substr(0, end - 5), true });
	cases.push_back({ "cut to one byte", good.substr(0, 1), true });
	std::string garbled = good;
	garbled[end - 24] ^= 0x01;  // the resource number, under the trailer's CRC
	cases.push_back({ "number changed", garbled, false });
	std::string size = good;
	memset(&size[end - 16], 0xFF, 8);
	cases.push_back({ "size beyond the file", size, false });
	std::string second = good;
	second[end - 32 - 11 - 24] ^= 0x10;  // the first block's number
	cases.push_back({ "earlier trailer garbled", second, false });
	for (const SCase& c : cases)
	{
		SCOPED_TRACE(c.what);
		zetest::writeText(Exe, c.bytes);
		EXPECT_FALSE(zeResourceExistsIn(Exe.c_str(), 500));
		EXPECT_EQ(resource(Exe, 500), "<none>");
		EXPECT_EQ(resource(Exe, 501), "<none>");
		EXPECT_EQ(zeWriteResourceBlock(Exe.c_str(), 500, "x", 1), c.writable ? 0 : -1);
	}

	std::string data = good;
	data[end - 32 - 3] ^= 0x01;  // inside the last block's bytes
	zetest::writeText(Exe, data);
	EXPECT_TRUE(zeResourceExistsIn(Exe.c_str(), 501));
	EXPECT_EQ(resource(Exe, 501), "<none>");
	EXPECT_EQ(resource(Exe, 500), "packed data");

	EXPECT_FALSE(zeResourceExistsIn(path("missing").c_str(), 500));
	EXPECT_FALSE(zeResourceExistsIn(Tmp.c_str(), 500));  // a folder
}

TEST_F(Resources, WriteFailuresNameTheirStep)
{
	const std::string archive = path("archive.zip");
	zetest::writeText(archive, std::string(1 << 20, 'a'));
	// Room in the copy for the program but not for the block.
	rlimit old;
	ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
	rlimit small = old;
	small.rlim_cur = static_cast<rlim_t>(ProbeSize + 4096);
	signal(SIGXFSZ, SIG_IGN);
	ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
	const int result = zeWriteResource(Exe.c_str(), archive.c_str(), 500);
	setrlimit(RLIMIT_FSIZE, &old);
	signal(SIGXFSZ, SIG_DFL);
	EXPECT_EQ(result, -1);
	EXPECT_TRUE(zetest::logged("Failed to UpdateResource " + Exe)) << zetest::logText();
	EXPECT_EQ(zetest::readFile(Exe), zetest::readFile(PROBE));
	EXPECT_EQ(zetest::filesUnder(Tmp), (std::set<std::string>{ "probe", "archive.zip" }));

	EXPECT_EQ(zeWriteResource(path("missing").c_str(), archive.c_str(), 500), -1);
	EXPECT_TRUE(zetest::logged("Failed to BeginUpdate " + path("missing")));
}

TEST_F(Resources, PackedDataIsTheBlockOrTheSideFile)
{
	EXPECT_STREQ(zePackDatPath((Tmp + "/intro").c_str()), (Tmp + "/intro.dat").c_str());
	EXPECT_STREQ(zePackDatPath((Tmp + "/intro.bin").c_str()), (Tmp + "/intro.dat").c_str());
	EXPECT_FALSE(zePackedDataExists(Exe.c_str()));
	zetest::writeText(path("probe.dat"), "zip");
	EXPECT_TRUE(zePackedDataExists(Exe.c_str()));
	std::filesystem::remove(path("probe.dat"));
	ASSERT_EQ(write(501, "engine data"), 0);
	EXPECT_FALSE(zePackedDataExists(Exe.c_str()));
	ASSERT_EQ(write(500, "packed"), 0);
	EXPECT_TRUE(zePackedDataExists(Exe.c_str()));
}
