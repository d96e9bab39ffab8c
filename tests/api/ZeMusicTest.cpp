// Music by ID on the NULL driver: volume conversions, error texts, playback
// through SDL's dummy audio driver, the silent clock-driven player, packed
// data and shutdown.
#include "api/CZeMp3Player.h"
#include "api/ZeMusic.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFrameTestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace
{
using Clock = std::chrono::steady_clock;

const std::string g_tone = std::string(ZELV_SOURCE_DIR) + "/samples/music/tone.mp3";
const int g_toneLength = 4000;  // the sample is a 4-second tone
const int g_tolerance = 30;     // ms between the reported and the heard position

std::string pendingError(int* number)
{
	const char* text = zeGetError(number);
	return text ? text : "";
}

void expectError(const std::string& text, int number)
{
	int got = 0;
	EXPECT_EQ(pendingError(&got), text);
	EXPECT_EQ(got, number) << text;
	zeClearError();
}

int threadCount()
{
	int n = 0;
	for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
		n += entry.is_directory();
	return n;
}

int elapsedMs(Clock::time_point since)
{
	return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

void sleepMs(int ms)
{
	std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The position of a music playing since `start` from `from` ms, checked
// against the clock read on both sides of the call.
void expectPlayingAt(int id, Clock::time_point start, int from)
{
	const int before = from + elapsedMs(start);
	const int position = zeGetMusicPosition(id);
	const int after = from + elapsedMs(start);
	EXPECT_GE(position, before - g_tolerance);
	EXPECT_LE(position, after + g_tolerance);
}

class MusicTest : public ::testing::Test
{
protected:
	void SetUp() override { start("dummy"); }
	void TearDown() override
	{
		zeTerm();
		zeUnmountArchive();
		zeSetLogSink(nullptr);
		zeClearError();
	}

	void start(const char* audioDriver)
	{
		setenv("ZELV_DRIVER", "null", 1);
		setenv("SDL_AUDIODRIVER", audioDriver, 1);
		zetest::logLines().clear();
		zeSetLogSink(zetest::captureLog);
		zeInstallMusic();
		SZeSetupParams p;
		zeInitSetupParams(&p);
		p.windowed = 1;
		ASSERT_EQ(zeSetup(&p), 0);
		ASSERT_NE(zeGetContext()->musics, nullptr);
		EXPECT_EQ(zeGetContext()->musics->capacity, 50);
	}

	int silentLines() const
	{
		int n = 0;
		for (const std::string& line : zetest::logLines())
			n += line.rfind("INFO : ", 0) == 0 && line.find("plays silently") != std::string::npos;
		return n;
	}
};
} // namespace

TEST(MusicVolume, ConversionsFollowTheApproximations)
{
	EXPECT_EQ(zeMusicPercentToLevel(100), 0);
	EXPECT_EQ(zeMusicPercentToLevel(0), -10000);
	EXPECT_EQ(zeMusicPercentToLevel(150), 0);
	EXPECT_EQ(zeMusicPercentToLevel(100000), 0);
	// 0.5 has mantissa 1: log10 is exactly -0.30103, so -602.06 truncated.
	EXPECT_EQ(zeMusicPercentToLevel(50), -602);
	EXPECT_EQ(zeMusicPercentToLevel(25), -1204);
	// Only exponent and mantissa are read.
	for (int p : {1, 7, 50, 99, 100, 250})
		EXPECT_EQ(zeMusicPercentToLevel(-p), zeMusicPercentToLevel(p)) << p;
	EXPECT_EQ(zeMusicLevelToPercent(0), 100);
	EXPECT_EQ(zeMusicLevelToPercent(-10000), 0);

	for (float x = 0.001f; x < 1000.0f; x *= 1.37f)
		EXPECT_NEAR(zeFastLog10(x), std::log10(x), 0.004) << x;
	for (float x = -5.0f; x <= 2.0f; x += 0.13f)
		EXPECT_NEAR(zeFastPow10(x) / std::pow(10.0f, x), 1.0, 0.035) << x;
	// Round trip: percent to level and back loses at most the approximations'
	// few percent and the truncation.
	for (int p = 5; p <= 100; ++p)
	{
		const int back = zeMusicLevelToPercent(zeMusicPercentToLevel(p));
		EXPECT_LE(back, p) << p;
		EXPECT_GE(back, p * 0.965 - 1) << p;
	}
}

TEST_F(MusicTest, VolumeByIdClampsAndIgnoresTheSign)
{
	ASSERT_EQ(zeLoadMusic(g_tone.c_str(), 1), 0);
	EXPECT_EQ(zeMusicVolume(1), 100);  // a new music is not attenuated
	zeSetMusicVolume(1, 0);
	EXPECT_EQ(zeMusicVolume(1), 0);
	zeSetMusicVolume(1, 150);
	EXPECT_EQ(zeMusicVolume(1), 100);
	zeSetMusicVolume(1, 50);
	const int half = zeMusicVolume(1);
	EXPECT_NEAR(half, 50, 2);
	zeSetMusicVolume(1, -50);
	EXPECT_EQ(zeMusicVolume(1), half);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
}

TEST_F(MusicTest, ErrorsCarryTheirTextsAndArgumentNumbers)
{
	const std::string missing = "Music ID 7 does not exist. id 7 does not exist";
	EXPECT_EQ(zePlayMusic(7), -1);
	expectError(missing, 1);
	EXPECT_EQ(zeStopMusic(7), -1);
	expectError(missing, 1);
	EXPECT_EQ(zePauseMusic(7), -1);
	expectError(missing, 1);
	EXPECT_EQ(zeResumeMusic(7), -1);
	expectError(missing, 1);
	EXPECT_EQ(zeSetMusicPosition(7, 100), -1);
	expectError(missing, 1);
	EXPECT_EQ(zeGetMusicPosition(7), -1);
	expectError(missing, 1);
	zeSetMusicVolume(7, 50);
	expectError(missing, 1);
	EXPECT_EQ(zeMusicVolume(7), 0);
	expectError(missing, 1);
	EXPECT_EQ(zePlayMusic(50), -1);
	expectError("Music ID 50 does not exist. invalid ID 50 greater or equals than 50", 1);

	// Exist and delete never report.
	EXPECT_EQ(zeMusicExist(7), 0);
	EXPECT_EQ(zeDeleteMusic(7), -1);
	EXPECT_EQ(zeDeleteMusic(-3), -1);
	EXPECT_EQ(zeGetError(nullptr), nullptr);

	EXPECT_EQ(zeLoadMusic(g_tone.c_str(), 50), -1);
	expectError("invalid Music ID 50 : invalid ID 50 greater or equals than 50", 2);
	EXPECT_EQ(zeLoadMusic(g_tone.c_str(), -1), -1);
	expectError("invalid Music ID -1 : invalid negative ID -1", 2);

	// Creation never replaces: the first music stays and keeps its state.
	ASSERT_EQ(zeLoadMusic(g_tone.c_str(), 3), 0);
	ASSERT_EQ(zeSetMusicPosition(3, 1234), 0);
	EXPECT_EQ(zeLoadMusic(g_tone.c_str(), 3), -1);
	expectError("invalid Music ID 3 : id 3 already exist", 2);
	EXPECT_EQ(zeGetMusicPosition(3), 1234);

	EXPECT_EQ(zeLoadMusic("no/such/file.mp3", 4), -1);
	expectError("Failed to load mp3", -1);
	EXPECT_EQ(zeMusicExist(4), 0);

	const std::string text = std::filesystem::temp_directory_path() / "zelv-music-not-mp3.mp3";
	std::string junk;
	for (int i = 0; i < 400; ++i)
		junk += "these bytes are plain text, not an mpeg audio stream. ";
	zetest::writeText(text, junk);
	EXPECT_EQ(zeLoadMusic(text.c_str(), 4), -1);
	expectError("Failed to load mp3", -1);
	EXPECT_EQ(zeMusicExist(4), 0);
	std::filesystem::remove(text);
	EXPECT_EQ(CZeMp3Player::liveCount(), 1);  // failed loads leave no player
}

TEST_F(MusicTest, PlaysPausesSeeksAndStopsOnTheAudioDevice)
{
	ASSERT_EQ(zeLoadMusic(g_tone.c_str(), 2), 0);
	EXPECT_EQ(silentLines(), 0) << "the dummy driver should open";
	EXPECT_EQ(zeGetMusicPosition(2), 0);

	Clock::time_point start = Clock::now();
	ASSERT_EQ(zePlayMusic(2), 0);
	sleepMs(300);
	expectPlayingAt(2, start, 0);

	// Paused: the position holds; resumed: it runs on from there.
	ASSERT_EQ(zePauseMusic(2), 0);
	const int held = zeGetMusicPosition(2);
	EXPECT_GT(held, 200);
	sleepMs(150);
	EXPECT_EQ(zeGetMusicPosition(2), held);
	start = Clock::now();
	ASSERT_EQ(zeResumeMusic(2), 0);
	sleepMs(200);
	expectPlayingAt(2, start, held);

	// Seeking while playing.
	start = Clock::now();
	ASSERT_EQ(zeSetMusicPosition(2, 2000), 0);
	expectPlayingAt(2, start, 2000);
	sleepMs(200);
	expectPlayingAt(2, start, 2000);

	// Playing a playing music restarts it from 0.
	start = Clock::now();
	ASSERT_EQ(zePlayMusic(2), 0);
	sleepMs(100);
	expectPlayingAt(2, start, 0);

	// Stopped: rewound, still; a seek is kept and playing starts there.
	ASSERT_EQ(zeStopMusic(2), 0);
	EXPECT_EQ(zeGetMusicPosition(2), 0);
	ASSERT_EQ(zeSetMusicPosition(2, 1500), 0);
	sleepMs(50);
	EXPECT_EQ(zeGetMusicPosition(2), 1500);
	EXPECT_EQ(zePauseMusic(2), 0);  // not playing: nothing
	EXPECT_EQ(zeGetMusicPosition(2), 1500);
	start = Clock::now();
	ASSERT_EQ(zePlayMusic(2), 0);
	sleepMs(150);
	expectPlayingAt(2, start, 1500);

	// Resuming a stopped music plays from 0.
	ASSERT_EQ(zeStopMusic(2), 0);
	start = Clock::now();
	ASSERT_EQ(zeResumeMusic(2), 0);
	sleepMs(150);
	expectPlayingAt(2, start, 0);

	// The end: the position stops at the length of the decoded audio.
	ASSERT_EQ(zeSetMusicPosition(2, g_toneLength - 100), 0);
	sleepMs(300);
	const int end = zeGetMusicPosition(2);
	EXPECT_NEAR(end, g_toneLength, g_tolerance);
	sleepMs(100);
	EXPECT_EQ(zeGetMusicPosition(2), end);
	ASSERT_EQ(zeSetMusicPosition(2, g_toneLength * 3), 0);
	EXPECT_EQ(zeGetMusicPosition(2), end);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
}

TEST_F(MusicTest, SilentPlayerKeepsTimeWithoutAnAudioDevice)
{
	zeTerm();
	start("nosuchdriver");  // SDL's audio cannot start: set-up still succeeds
	ASSERT_EQ(zeLoadMusic(g_tone.c_str(), 0), 0);
	ASSERT_EQ(zeLoadMusic(g_tone.c_str(), 1), 0);
	EXPECT_EQ(silentLines(), 1);

	Clock::time_point start = Clock::now();
	ASSERT_EQ(zePlayMusic(0), 0);
	sleepMs(250);
	expectPlayingAt(0, start, 0);
	EXPECT_EQ(zeGetMusicPosition(1), 0);  // the other music was not started

	ASSERT_EQ(zePauseMusic(0), 0);
	const int held = zeGetMusicPosition(0);
	sleepMs(100);
	EXPECT_EQ(zeGetMusicPosition(0), held);
	start = Clock::now();
	ASSERT_EQ(zeResumeMusic(0), 0);
	ASSERT_EQ(zeSetMusicPosition(0, 3000), 0);
	sleepMs(150);
	expectPlayingAt(0, start, 3000);

	ASSERT_EQ(zeSetMusicPosition(0, g_toneLength - 50), 0);
	sleepMs(150);
	EXPECT_EQ(zeGetMusicPosition(0), g_toneLength);
	ASSERT_EQ(zeStopMusic(0), 0);
	EXPECT_EQ(zeGetMusicPosition(0), 0);
}

TEST_F(MusicTest, LoadsFromAMountedArchive)
{
	std::ifstream file(g_tone, std::ios::binary);
	const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
	ASSERT_GT(bytes.size(), 1000u);
	const std::vector<char> zip = zetest::buildZip({{"music/packed.mp3", bytes}}, {"music/"});

	EXPECT_EQ(zeLoadMusic("music/packed.mp3", 5), -1);  // not a plain file
	zeClearError();
	ASSERT_EQ(zeMountArchiveMemory(zip.data(), zip.size()), 0);
	ASSERT_EQ(zeLoadMusic("music/packed.mp3", 5), 0);
	zeUnmountArchive();  // the player keeps its own copy of the bytes

	const Clock::time_point start = Clock::now();
	ASSERT_EQ(zePlayMusic(5), 0);
	sleepMs(150);
	expectPlayingAt(5, start, 0);
}

TEST_F(MusicTest, DeletingTwiceIsSilent)
{
	ASSERT_EQ(zeLoadMusic(g_tone.c_str(), 9), 0);
	ASSERT_EQ(zePlayMusic(9), 0);
	EXPECT_EQ(zeDeleteMusic(9), 0);
	EXPECT_EQ(zeMusicExist(9), 0);
	EXPECT_EQ(CZeMp3Player::liveCount(), 0);
	EXPECT_EQ(zeDeleteMusic(9), -1);
	EXPECT_EQ(zeGetError(nullptr), nullptr);
	// The ID can be used again.
	EXPECT_EQ(zeLoadMusic(g_tone.c_str(), 9), 0);
	EXPECT_EQ(zeMusicExist(9), 1);
}

TEST_F(MusicTest, ShutdownFreesEveryMusicAndItsThreads)
{
	zeTerm();
	const int threadsBefore = threadCount();
	start("dummy");
	for (int id : {0, 17, 49})
		ASSERT_EQ(zeLoadMusic(g_tone.c_str(), id), 0);
	ASSERT_EQ(zePlayMusic(0), 0);
	ASSERT_EQ(zePlayMusic(49), 0);
	ASSERT_EQ(zePauseMusic(49), 0);
	EXPECT_EQ(CZeMp3Player::liveCount(), 3);
	EXPECT_GT(threadCount(), threadsBefore);  // each device plays on its own thread
	sleepMs(50);

	zeTerm();
	EXPECT_EQ(CZeMp3Player::liveCount(), 0);
	EXPECT_EQ(zeGetContext()->musics, nullptr);
	EXPECT_EQ(threadCount(), threadsBefore);
	EXPECT_EQ(zeMusicExist(0), 0);
	EXPECT_EQ(zePlayMusic(0), -1);
	zeClearError();

	// A new set-up starts with an empty table.
	start("dummy");
	EXPECT_EQ(zeMusicExist(0), 0);
	ASSERT_EQ(zeLoadMusic(g_tone.c_str(), 0), 0);
}
