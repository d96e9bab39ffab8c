// The demo player run for real: the zelv program on the sample demo under the
// test run's X display, capturing into a scratch folder or playing, watched
// through its files, its log and its exit status.
#include "ZeZelvProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace
{
const std::string SAMPLE_DEMO = std::string(ZELV_SOURCE_DIR) + "/samples/demo/sample.demo.ini";
// The sample demo's last part begins at 4 s.
const int DEMO_END_MS = 4000;

struct Rgb
{
	int r, g, b;
};

bool near(const Rgb& p, int r, int g, int b)
{
	return std::abs(p.r - r) <= 3 && std::abs(p.g - g) <= 3 && std::abs(p.b - b) <= 3;
}

// The part of the sample demo whose backdrop a corner pixel shows, faded or
// not (blue, red, then green); 0 for black or another colour.
int partAt(const unsigned char* p)
{
	const int r = p[0], g = p[1], b = p[2];
	if (b > r + 8 && b > g + 8)
		return 1;
	if (r > g + 8 && r > b + 8)
		return 2;
	if (g > r + 8 && g > b + 8)
		return 3;
	return 0;
}

std::string readFile(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A 24-bit BMP file as the capture writes it.
struct SBmp
{
	int width = 0, height = 0;
	std::string bytes;
	size_t offset = 0, stride = 0;

	explicit SBmp(const std::string& path) : bytes(readFile(path))
	{
		auto word = [&](size_t at) {
			return at + 4 <= bytes.size() ? static_cast<int>(static_cast<unsigned char>(bytes[at]) |
									 static_cast<unsigned char>(bytes[at + 1]) << 8 |
									 static_cast<unsigned char>(bytes[at + 2]) << 16 |
									 static_cast<unsigned char>(bytes[at + 3]) << 24)
										: 0;
		};
		if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0 || (word(28) & 0xFFFF) != 24)
			return;
		offset = static_cast<size_t>(word(10));
		width = word(18);
		height = word(22);
		stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
		if (offset + stride * static_cast<size_t>(height) > bytes.size())
			width = height = 0;
	}
	// (x, y) from the top left.
	Rgb at(int x, int y) const
	{
		const unsigned char* p =
			reinterpret_cast<const unsigned char*>(bytes.data()) + offset + stride * (height - 1 - y) + x * 3;
		return {p[2], p[1], p[0]};
	}
};

// zelv on a demo in a small window, in batch mode.
class Zelv : public zetest::ZelvProcess
{
public:
	Zelv(const std::string& folder, const std::vector<std::string>& args)
		: ZelvProcess(folder, withWindow(args), zetest::BATCH)
	{
	}

private:
	static std::vector<std::string> withWindow(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"-display", "320x240", "-windowed"});
		return args;
	}
};

class DemoPlayerTest : public zetest::ZelvTest
{
protected:
	// Captures the sample demo into a folder of its own; the log.
	std::string capture(const std::string& name, const std::string& fps)
	{
		fs::create_directories(Folder + "/" + name);
		Zelv zelv(Folder, {"-cap", Folder + "/" + name + "/f", "-capfps", fps, SAMPLE_DEMO});
		EXPECT_EQ(zelv.exitStatus(300), 0) << zelv.log();
		return zelv.log();
	}
	std::string frameFile(const std::string& name, int n) const
	{
		char number[16];
		snprintf(number, sizeof(number), "%06d", n);
		return Folder + "/" + name + "/f_" + number + ".bmp";
	}
	size_t files(const std::string& name) const
	{
		return static_cast<size_t>(std::distance(fs::directory_iterator(Folder + "/" + name), fs::directory_iterator()));
	}
	// The frames' lines of a capture log, "Frame n; time t ; file" as (n, t, file).
	static std::vector<std::tuple<int, int, std::string>> frameLines(const std::string& log)
	{
		std::vector<std::tuple<int, int, std::string>> out;
		std::istringstream in(log);
		for (std::string line; std::getline(in, line);)
		{
			int n = 0, t = 0;
			char file[1024] = {};
			if (std::sscanf(line.c_str(), "INFO : Frame %d; time %d ; %1023s", &n, &t, file) == 3)
				out.emplace_back(n, t, file);
		}
		return out;
	}
};
} // namespace

// At 30 frames per second: frames 0 to 120 (demo time 4000, where the last
// part begins, is frame 120), logged in order with their truncated times,
// each part's corners in its backdrop colour, the fades in the frames.
TEST_F(DemoPlayerTest, ACaptureWritesEveryFrameUpToTheEndWithItsLogLines)
{
	const std::string log = capture("a", "30");
	const int last = DEMO_END_MS * 30 / 1000;
	EXPECT_EQ(files("a"), static_cast<size_t>(last + 1));
	EXPECT_TRUE(fs::exists(frameFile("a", last)));
	const size_t start = log.find("INFO : Start capturing: basename='" + Folder + "/a/f' fps=30.000000");
	ASSERT_NE(start, std::string::npos) << log;
	const auto frames = frameLines(log);
	ASSERT_EQ(frames.size(), static_cast<size_t>(last + 1)) << log;
	EXPECT_LT(start, log.find("INFO : Frame"));
	for (int n = 0; n <= last; ++n)
	{
		EXPECT_EQ(std::get<0>(frames[n]), n);
		EXPECT_EQ(std::get<1>(frames[n]), static_cast<int>(n * 1000.0 / 30.0)) << n;
		EXPECT_EQ(std::get<2>(frames[n]), frameFile("a", n));
	}

	// Frame, and the backdrop of its part: after the fade in, outside the
	// shader's window, before the fade out.
	const struct
	{
		int frame;
		Rgb backdrop;
	} parts[] = {{36, {25, 51, 102}}, {55, {102, 30, 20}}, {90, {20, 76, 38}}};
	for (const auto& part : parts)
	{
		const SBmp bmp(frameFile("a", part.frame));
		ASSERT_EQ(bmp.width, 320) << part.frame;
		ASSERT_EQ(bmp.height, 240);
		for (const auto& corner : {std::make_pair(1, 1), std::make_pair(318, 1), std::make_pair(1, 238),
				 std::make_pair(318, 238)})
		{
			const Rgb p = bmp.at(corner.first, corner.second);
			EXPECT_TRUE(near(p, part.backdrop.r, part.backdrop.g, part.backdrop.b))
				<< "frame " << part.frame << " at " << corner.first << "," << corner.second << ": " << p.r << " "
				<< p.g << " " << p.b;
		}
		int drawn = 0;
		for (int y = 0; y < bmp.height; ++y)
			for (int x = 0; x < bmp.width; ++x)
				drawn += near(bmp.at(x, y), part.backdrop.r, part.backdrop.g, part.backdrop.b) ? 0 : 1;
		EXPECT_GT(drawn, bmp.width * bmp.height / 50) << "the part's objects, frame " << part.frame;
	}
	// Black when the fade in begins; darker than the backdrop while the fade
	// out runs.
	EXPECT_TRUE(near(SBmp(frameFile("a", 0)).at(1, 1), 0, 0, 0));
	const Rgb fading = SBmp(frameFile("a", 110)).at(1, 1);
	EXPECT_LT(fading.g, 76 / 2);
	EXPECT_EQ(readFile(frameFile("a", last)), readFile(frameFile("a", last - 1)))
		<< "the end repeats the last frame drawn";
}

TEST_F(DemoPlayerTest, TwoCapturesAreEqualFileForFile)
{
	capture("a", "30");
	capture("b", "30");
	ASSERT_EQ(files("a"), files("b"));
	ASSERT_GT(files("a"), 100u);
	for (size_t n = 0; n < files("a"); ++n)
		EXPECT_EQ(readFile(frameFile("a", static_cast<int>(n))), readFile(frameFile("b", static_cast<int>(n))))
			<< "frame " << n;
}

TEST_F(DemoPlayerTest, OtherRatesGiveTheirFileCountsAndTruncatedTimes)
{
	for (const auto& rate : {std::make_pair(25, 101), std::make_pair(7, 29)})
	{
		SCOPED_TRACE(rate.first);
		const std::string name = "r" + std::to_string(rate.first);
		const auto frames = frameLines(capture(name, std::to_string(rate.first)));
		EXPECT_EQ(files(name), static_cast<size_t>(rate.second));
		ASSERT_EQ(frames.size(), static_cast<size_t>(rate.second));
		for (int n = 0; n < rate.second; ++n)
			EXPECT_EQ(std::get<1>(frames[n]), n * 1000 / rate.first) << n;
	}
}

// Escape is pressed once the first part shows; the demo ends before its
// last part comes on screen.
TEST_F(DemoPlayerTest, PlayEndsByItselfAfterTheDemoAndEscapeEndsItSooner)
{
	{
		Zelv zelv(Folder, {SAMPLE_DEMO});
		EXPECT_EQ(zelv.exitStatus(120), 0) << zelv.log();
		EXPECT_GE(zelv.elapsed(), DEMO_END_MS / 1000.0);
	}
	Zelv zelv(Folder, {SAMPLE_DEMO});
	ASSERT_FALSE(zelv.window().empty()) << zelv.log();
	// The first part plays: its backdrop and its red object (a loading
	// screen shows no such thing).
	const auto playing = [](const zetest::SZelvShot& s) {
		int red = 0;
		for (int y = 0; y < s.height; ++y)
			for (int x = 0; x < s.width; ++x)
				red += (s.at(x, y)[0] > s.at(x, y)[1] + 40 && s.at(x, y)[0] > s.at(x, y)[2] + 40) ? 1 : 0;
		return partAt(s.at(1, 1)) == 1 && partAt(s.at(s.width - 2, s.height - 2)) == 1 && red > s.width * s.height / 100;
	};
	ASSERT_TRUE(playing(zelv.shotUntil(Folder + "/first.ppm", playing))) << "the first part on screen\n" << zelv.log();
	zelv.key("key", "Escape");
	// Watched until it ends; a shot is given up when the window goes meanwhile.
	int last = 1;
	while (zelv.running())
	{
		const zetest::SZelvShot s = zelv.screenshot(Folder + "/after.ppm", 2);
		if (s.width > 2)
			last = std::max(last, partAt(s.at(1, 1)));
	}
	EXPECT_EQ(zelv.exitStatus(), 0) << zelv.log();
	EXPECT_LT(last, 3) << "the last part was shown";
}

// A demo naming a scene that is not there: the scene's and the demo's error
// lines, no file, a failed run.
TEST_F(DemoPlayerTest, AMissingSceneFailsWithItsTwoErrorLinesAndNoFiles)
{
	fs::copy(std::string(ZELV_SOURCE_DIR) + "/samples", Folder + "/samples", fs::copy_options::recursive);
	std::string text = readFile(Folder + "/samples/demo/sample.demo.ini");
	const size_t at = text.find("filename = outro.zelv");
	ASSERT_NE(at, std::string::npos);
	text.replace(at, 21, "filename = missing.zelv");
	const std::string demo = Folder + "/samples/demo/missing.demo.ini";
	std::ofstream(demo) << text;
	fs::create_directories(Folder + "/shots");
	Zelv zelv(Folder, {"-cap", Folder + "/shots/f", demo});
	EXPECT_EQ(zelv.exitStatus(300), 1) << zelv.log();
	const std::string log = zelv.log();
	EXPECT_NE(log.find("ERROR : Failed to load scene file 'missing.zelv'"), std::string::npos) << log;
	EXPECT_NE(log.find("ERROR : Fail to load scene missing.zelv"), std::string::npos) << log;
	EXPECT_EQ(files("shots"), 0u);
}

TEST_F(DemoPlayerTest, ACaptureIntoAMissingFolderFails)
{
	Zelv zelv(Folder, {"-cap", Folder + "/missing/f", SAMPLE_DEMO});
	EXPECT_EQ(zelv.exitStatus(300), 1) << zelv.log();
	const std::string log = zelv.log();
	const std::string line = "ERROR : failed to save screenshot to file '" + Folder + "/missing/f_000000.bmp'";
	const size_t first = log.find(line);
	EXPECT_NE(first, std::string::npos) << log;
	EXPECT_EQ(log.find(line, first + 1), std::string::npos) << "reported once: " << log;
}
