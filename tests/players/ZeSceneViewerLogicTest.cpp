// The scene viewer's logic without an engine: times and frames, the overlay
// texts, the playback driven by a fake clock and a fake music, the idle count
// and the shader-folder poll over fake watches.
#include "api/ZeWatch.h"
#include "frame/ZeLog.h"
#include "players/CZeShaderFolders.h"
#include "players/CZeViewerPlayback.h"
#include "players/ZeViewerTiming.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace
{
std::vector<std::string> g_log;

void captureLog(const char* line)
{
	g_log.push_back(line);
}

// ---- Times, frames and texts ----------------------------------------------------------------
TEST(ViewerTiming, FramesAndTimesConvertBothWays)
{
	CZeViewerTiming timing;
	timing.set(10, 30, 2000);
	EXPECT_DOUBLE_EQ(timing.frameOf(0), 10.0);
	EXPECT_DOUBLE_EQ(timing.frameOf(1000), 40.0);
	EXPECT_DOUBLE_EQ(timing.frameOf(50), 11.5);
	EXPECT_EQ(timing.timeOf(10.0), 0);
	EXPECT_EQ(timing.timeOf(40.0), 1000);
	// Truncated toward zero on both sides of the first frame.
	EXPECT_EQ(timing.timeOf(10.5), 16);
	EXPECT_EQ(timing.timeOf(9.5), -16);
	for (int t : {0, 33, 1000, 1999, 123456})
		EXPECT_NEAR(timing.timeOf(timing.frameOf(t)), t, 1) << t;
}

TEST(ViewerTiming, AFrameRateOfZeroGivesTimeZeroAndSaysSoOnce)
{
	g_log.clear();
	zeSetLogSink(captureLog);
	CZeViewerTiming timing;
	timing.set(5, 0, 0);
	EXPECT_EQ(timing.timeOf(5.0), 0);
	EXPECT_EQ(timing.timeOf(500.0), 0);
	EXPECT_EQ(timing.timeOf(-7.0), 0);
	EXPECT_DOUBLE_EQ(timing.frameOf(1234), 5.0);
	zeSetLogSink(nullptr);
	ASSERT_EQ(g_log.size(), 1u);
	EXPECT_NE(g_log[0].find("frame rate of 0"), std::string::npos) << g_log[0];
}

TEST(ViewerTiming, TheOverlayShowsFrameMinutesSecondsTenthsAndMilliseconds)
{
	CZeViewerTiming timing;
	timing.set(10, 30, 0);
	EXPECT_EQ(timing.timeText(0), "Frame=10.00 time=0mn0sec0 millisec=0");
	EXPECT_EQ(timing.timeText(83456), "Frame=2513.68 time=1mn23sec4 millisec=83456");
	// Past an hour the minutes go on counting; the tenths stay one digit.
	EXPECT_EQ(timing.timeText(3723999), "Frame=111729.97 time=62mn3sec9 millisec=3723999");
	timing.set(0, 25, 0);
	EXPECT_EQ(timing.timeText(40), "Frame=1.00 time=0mn0sec0 millisec=40");
	EXPECT_EQ(timing.timeText(59999), "Frame=1499.97 time=0mn59sec9 millisec=59999");
}

TEST(ViewerTiming, TheFrameRateTextCoversThirtyFrames)
{
	EXPECT_EQ(zeViewerFpsText(500), "FPS=60.00 (16.67 ms/frm)");
	EXPECT_EQ(zeViewerFpsText(3000), "FPS=10.00 (100.00 ms/frm)");
	// Thirty frames within one millisecond count as one millisecond.
	EXPECT_EQ(zeViewerFpsText(0), zeViewerFpsText(1));
}

// ---- Playback -----------------------------------------------------------------------------------
// A music that keeps time on the test's clock and writes down what it is told.
class FakeMusic : public IZeViewerMusic
{
public:
	explicit FakeMusic(const long long* clock) : Clock(clock) {}
	int position() override { return Open ? heard() : -1; }
	void seek(int ms) override
	{
		At = ms;
		Since = *Clock;
		Calls.push_back("seek " + std::to_string(ms));
	}
	void play() override
	{
		if (Playing)
			At = 0;
		Playing = true;
		Since = *Clock;
		Calls.push_back("play");
	}
	void pause() override
	{
		At = heard();
		Playing = false;
		Calls.push_back("pause");
	}
	void resume() override
	{
		Playing = true;
		Since = *Clock;
		Calls.push_back("resume");
	}
	std::string last() const { return Calls.empty() ? "" : Calls.back(); }

	const long long* Clock;
	bool Open = true;  // false: the player reports no position
	bool Playing = false;
	int At = 0;
	long long Since = 0;
	std::vector<std::string> Calls;

private:
	int heard() const { return Playing ? At + static_cast<int>(*Clock - Since) : At; }
};

// A scene of frames 0 to 60 at 30 frames per second (2 s), driven pass by pass.
class Playback : public ::testing::Test
{
protected:
	void SetUp() override
	{
		P.timing().set(0, 30, 2000);
		g_log.clear();
		zeSetLogSink(captureLog);
	}
	void TearDown() override { zeSetLogSink(nullptr); }

	// One pass at the clock's time with these keys; the time shown.
	int pass(SZeViewerKeys keys = SZeViewerKeys())
	{
		return P.update(Now, P.passTime(Now), keys);
	}
	// Presses a key (down for one pass, up for the next); the time shown last.
	int tap(bool SZeViewerKeys::*key)
	{
		SZeViewerKeys down = SZeViewerKeys();
		down.*key = true;
		pass(down);
		return pass();
	}
	static SZeViewerKeys held(bool SZeViewerKeys::*key, bool shift = false)
	{
		SZeViewerKeys k = SZeViewerKeys();
		k.*key = true;
		k.shift = shift;
		return k;
	}

	long long Now = 10000;
	CZeViewerPlayback P;
};

TEST_F(Playback, RunsWithTheClockAndPausesAndRunsOnWithSpace)
{
	P.start(Now, false, false, 0);
	EXPECT_EQ(pass(), 0);
	EXPECT_TRUE(P.takeAnimate());
	Now += 700;
	EXPECT_EQ(pass(), 700);
	EXPECT_TRUE(P.takeAnimate());
	// Space pauses at the time of the pass; the time stays while paused and
	// the scene is not animated again.
	Now += 100;
	tap(&SZeViewerKeys::space);
	EXPECT_TRUE(P.paused());
	EXPECT_EQ(P.pausedTime(), 800);
	P.takeAnimate();
	Now += 5000;
	EXPECT_EQ(pass(), 800);
	EXPECT_FALSE(P.takeAnimate());
	// Held down over many passes, Space acts once.
	SZeViewerKeys space = held(&SZeViewerKeys::space);
	pass(space);
	Now += 300;
	pass(space);
	pass();
	EXPECT_FALSE(P.paused());
	EXPECT_EQ(pass(), 1100);
	Now += 250;
	EXPECT_EQ(pass(), 1350);
}

TEST_F(Playback, TheEndPausesThereAndSpaceStartsAgainFromZero)
{
	P.start(Now, false, false, 0);
	Now += 1990;
	EXPECT_EQ(pass(), 1990);
	EXPECT_FALSE(P.paused());
	Now += 500;
	EXPECT_EQ(pass(), 2000);
	EXPECT_TRUE(P.paused());
	EXPECT_EQ(P.pausedTime(), 2000);
	Now += 1000;
	EXPECT_EQ(pass(), 2000);
	tap(&SZeViewerKeys::space);
	EXPECT_FALSE(P.paused());
	Now += 40;
	EXPECT_EQ(pass(), 40);
}

TEST_F(Playback, EnterTogglesLoopingWhichWrapsTheTimeAtTheEnd)
{
	P.start(Now, false, false, 0);
	SZeViewerKeys enter = held(&SZeViewerKeys::enter);
	for (int i = 0; i < 4; ++i)
		pass(enter);
	pass();
	EXPECT_TRUE(P.looping()) << "held down, Enter toggles once";
	Now += 2100;
	pass();
	EXPECT_FALSE(P.paused());
	Now += 10;
	EXPECT_EQ(pass(), 110);
	// Off again: the next end pauses.
	tap(&SZeViewerKeys::enter);
	EXPECT_FALSE(P.looping());
	Now += 2000;
	EXPECT_EQ(pass(), 2000);
	EXPECT_TRUE(P.paused());
}

TEST_F(Playback, StepKeysMoveThePausedTimeWithinTheScene)
{
	P.start(Now, true, false, 0);
	EXPECT_TRUE(P.paused());
	EXPECT_EQ(pass(held(&SZeViewerKeys::forward)), 5);
	EXPECT_EQ(pass(held(&SZeViewerKeys::forward)), 10);
	EXPECT_EQ(pass(held(&SZeViewerKeys::forward, true)), 60);
	EXPECT_EQ(pass(held(&SZeViewerKeys::back)), 55);
	for (int i = 0; i < 10; ++i)
		pass(held(&SZeViewerKeys::back, true));
	EXPECT_EQ(pass(), 0);
	for (int i = 0; i < 50; ++i)
		pass(held(&SZeViewerKeys::forward, true));
	EXPECT_EQ(pass(), 2000);
	EXPECT_TRUE(P.paused());
	// Each moved time animates once.
	pass(held(&SZeViewerKeys::back));
	EXPECT_TRUE(P.takeAnimate());
	EXPECT_FALSE(P.takeAnimate());
}

TEST_F(Playback, StepKeysMoveTheRunningClockAndBackPastZeroPausesAtZero)
{
	P.start(Now, false, false, 0);
	Now += 100;
	pass(held(&SZeViewerKeys::forward));
	EXPECT_EQ(pass(), 110);
	pass(held(&SZeViewerKeys::forward, true));
	EXPECT_EQ(pass(), 210);
	for (int i = 0; i < 2; ++i)
		pass(held(&SZeViewerKeys::back, true));
	EXPECT_EQ(pass(), 10);
	EXPECT_FALSE(P.paused());
	pass(held(&SZeViewerKeys::back, true));
	EXPECT_TRUE(P.paused());
	EXPECT_EQ(pass(), 0);
}

TEST_F(Playback, StartsAtAFrameWithinTheSceneAndPausedWhenAsked)
{
	P.start(Now, false, true, 30);
	EXPECT_EQ(pass(), 1000);
	P.start(Now, true, true, 45);
	EXPECT_TRUE(P.paused());
	Now += 500;
	EXPECT_EQ(pass(), 1500);
	// Before the first frame: 0; past the last: the end.
	P.timing().set(10, 30, 2000);
	P.start(Now, true, true, 3);
	EXPECT_EQ(pass(), 0);
	P.start(Now, true, true, 1000);
	EXPECT_EQ(pass(), 2000);
}

TEST_F(Playback, TheMusicGivesTheTimeAndFollowsPausesStepsAndRestarts)
{
	FakeMusic music(&Now);
	CZeViewerPlayback p(&music);
	p.timing().set(10, 30, 2000);
	p.setAudioOffset(83);
	auto step = [&](SZeViewerKeys keys = SZeViewerKeys()) { return p.update(Now, p.passTime(Now), keys); };

	p.start(Now, false, false, 0);
	EXPECT_EQ(music.Calls, (std::vector<std::string>{"seek 83", "play"}));
	// The music runs ahead of the clock: the music's time is shown.
	Now += 500;
	music.At += 20;
	EXPECT_EQ(step(), 520);
	// A player that reports no position leaves the clock in charge.
	music.Open = false;
	EXPECT_EQ(step(), 500);
	music.Open = true;

	step(held(&SZeViewerKeys::space));
	EXPECT_EQ(music.last(), "pause");
	EXPECT_EQ(p.pausedTime(), 520);
	step();
	Now += 3000;
	EXPECT_EQ(step(), 520);
	step(held(&SZeViewerKeys::space));
	EXPECT_EQ(music.Calls.end()[-2], "seek 603");
	EXPECT_EQ(music.last(), "resume");
	Now += 100;
	EXPECT_EQ(step(), 620);

	// Stepping while running moves the music with the clock.
	step(held(&SZeViewerKeys::forward, true));
	EXPECT_EQ(music.last(), "seek " + std::to_string(620 + 100 + 83));
	// Back past 0: paused at 0 with the music.
	for (int i = 0; i < 10; ++i)
		step(held(&SZeViewerKeys::back, true));
	EXPECT_TRUE(p.paused());
	EXPECT_EQ(music.last(), "pause");
	EXPECT_EQ(step(), 0);
}

TEST_F(Playback, ALoopTakesTheMusicRoundWithTheAnimation)
{
	FakeMusic music(&Now);
	CZeViewerPlayback p(&music);
	p.timing().set(0, 30, 2000);
	auto step = [&](SZeViewerKeys keys = SZeViewerKeys()) { return p.update(Now, p.passTime(Now), keys); };
	p.start(Now, false, false, 0);
	step(held(&SZeViewerKeys::enter));
	Now += 2030;
	step();
	EXPECT_EQ(music.last(), "seek 30");
	Now += 100;
	EXPECT_EQ(step(), 130);
	EXPECT_FALSE(p.paused());
}

TEST_F(Playback, ARebuildKeepsTheFrameShownUnderTheNewTiming)
{
	// Paused at frame 30 of a scene from frame 0 at 30 frames a second ...
	P.start(Now, true, true, 30);
	EXPECT_EQ(pass(), 1000);
	P.takeAnimate();
	// ... rebuilt as a scene from frame 10 at 60 frames a second, 10 s long.
	P.keepFrame(Now, 10, 60, 10000);
	EXPECT_TRUE(P.takeAnimate()) << "a rebuilt scene is animated again";
	const int expected = static_cast<int>((30 - 10) * 1000.0 / 60);
	EXPECT_EQ(pass(), expected);

	// Running, the clock moves so that the same frame shows now.
	CZeViewerPlayback running;
	running.timing().set(0, 25, 4000);
	running.start(Now, false, false, 0);
	Now += 2000;
	EXPECT_EQ(running.update(Now, running.passTime(Now), SZeViewerKeys()), 2000);  // frame 50
	running.keepFrame(Now, 20, 50, 4000);
	EXPECT_EQ(running.passTime(Now), 600);  // (50 - 20) / 50 s
	EXPECT_FALSE(running.paused());
}

TEST_F(Playback, AHostFrameMovesTheTimeAndKeepsTheState)
{
	P.start(Now, false, false, 0);
	P.takeAnimate();
	P.moveTo(Now, 1500);
	EXPECT_EQ(pass(), 1500);
	EXPECT_FALSE(P.paused());
	tap(&SZeViewerKeys::space);
	P.takeAnimate();
	P.moveTo(Now, 300);
	EXPECT_TRUE(P.takeAnimate());
	EXPECT_EQ(pass(), 300);
	EXPECT_TRUE(P.paused());
}

TEST(ViewerRideSpeed, StartsAtTheRequestedSpeedAndStepsWithinItsRange)
{
	EXPECT_EQ(zeViewerRideSpeed(0), 1000);
	EXPECT_EQ(zeViewerRideSpeed(-5), 1000);
	EXPECT_EQ(zeViewerRideSpeed(250), 250);
	EXPECT_EQ(zeViewerRideSpeed(2147483647), ZE_VIEWER_MAX_RIDE_SPEED);
	EXPECT_EQ(zeViewerRideSpeedStep(250, 10), 260);
	EXPECT_EQ(zeViewerRideSpeedStep(5, -10), 1);
	EXPECT_EQ(zeViewerRideSpeedStep(ZE_VIEWER_MAX_RIDE_SPEED - 5, 10), ZE_VIEWER_MAX_RIDE_SPEED);
	EXPECT_EQ(zeViewerRideSpeedStep(2147483647, 10), ZE_VIEWER_MAX_RIDE_SPEED);
	EXPECT_EQ(zeViewerRideSpeedStep(-2147483647 - 1, -10), 1);
}

TEST_F(Playback, APausedInactiveViewerDrawsOnePassInTen)
{
	P.start(Now, true, false, 0);
	// The first pass refreshes.
	EXPECT_FALSE(P.skipIdlePass(false));
	pass();
	P.takeAnimate();
	for (int round = 0; round < 3; ++round)
	{
		for (int i = 0; i < 9; ++i)
			EXPECT_TRUE(P.skipIdlePass(false)) << round << " " << i;
		EXPECT_FALSE(P.skipIdlePass(false)) << round;
	}
	// An active window draws every pass and starts the count again.
	for (int i = 0; i < 5; ++i)
		EXPECT_TRUE(P.skipIdlePass(false));
	EXPECT_FALSE(P.skipIdlePass(true));
	for (int i = 0; i < 9; ++i)
		EXPECT_TRUE(P.skipIdlePass(false));
	EXPECT_FALSE(P.skipIdlePass(false));
	// A refresh asked for is drawn at once.
	P.moveTo(Now, 100);
	EXPECT_FALSE(P.skipIdlePass(false));
	// A running viewer never idles.
	P.takeAnimate();
	tap(&SZeViewerKeys::space);
	for (int i = 0; i < 20; ++i)
		EXPECT_FALSE(P.skipIdlePass(false));
}

// ---- Shader folders -------------------------------------------------------------------------------
// Watches that report what the test puts in them and record what is done.
struct FakeWatches
{
	std::vector<std::string> made;
	std::vector<bool> refused = std::vector<bool>(6, false);
	std::vector<bool> alive = std::vector<bool>(6, false);
	std::vector<std::vector<std::string>> changed = std::vector<std::vector<std::string>>(6);
	std::vector<bool> signalled = std::vector<bool>(6, false);
	std::vector<const char*> lists[6];
	std::vector<std::string> updated;
	std::vector<int> resets;
	std::vector<int> sleeps;
} g_watches;

SZeShaderFolderCalls fakeCalls()
{
	SZeShaderFolderCalls calls;
	calls.folderExists = [](const char*) { return true; };
	// As the watch table: an ID in use is refused.
	calls.makeFolderWatch = [](const char* path, int id) {
		g_watches.made.push_back(std::to_string(id) + " " + path);
		const size_t i = static_cast<size_t>(id);
		if (g_watches.refused[i] || g_watches.alive[i])
			return -1;
		g_watches.alive[i] = true;
		return 0;
	};
	calls.folderWatchExist = [](int id) { return g_watches.alive[static_cast<size_t>(id)] ? 1 : 0; };
	calls.folderWatchChanged = [](int id) { return g_watches.signalled[static_cast<size_t>(id)] ? 1 : 0; };
	calls.getFolderWatchChanges = [](int id, const char*** list) {
		std::vector<const char*>& names = g_watches.lists[id];
		names.clear();
		for (const std::string& name : g_watches.changed[static_cast<size_t>(id)])
			names.push_back(name.c_str());
		*list = names.data();
		return static_cast<int>(names.size());
	};
	calls.resetFolderWatch = [](int id) {
		g_watches.resets.push_back(id);
		g_watches.signalled[static_cast<size_t>(id)] = false;
	};
	calls.updateShaders = [](int count, const char* const* files) {
		for (int i = 0; i < count; ++i)
			g_watches.updated.push_back(files[i]);
	};
	calls.sleep = [](int ms) { g_watches.sleeps.push_back(ms); };
	return calls;
}

class ShaderFolders : public ::testing::Test
{
protected:
	void SetUp() override { g_watches = FakeWatches(); }
};

TEST_F(ShaderFolders, TheSixFoldersUnderTheDataPrefixAreWatched)
{
	for (const char* prefix : {"/data", "/data/", "C:\\data\\"})
	{
		g_watches = FakeWatches();
		CZeShaderFolders folders(fakeCalls());
		EXPECT_EQ(folders.watch(prefix), 6);
		const std::string p = std::string(prefix) + (prefix == std::string("/data") ? "/" : "");
		EXPECT_EQ(g_watches.made, (std::vector<std::string>{"0 " + p + "shaders", "1 " + p + "shadersHV",
			"2 " + p + "shadersPP", "3 " + p + "shadersPP2", "4 " + p + "shadersSURF", "5 " + p + "shadersSURF2"}));
	}
}

TEST_F(ShaderFolders, NothingHappensUntilAWatchReportsAChange)
{
	CZeShaderFolders folders(fakeCalls());
	folders.watch("/data");
	g_watches.changed[2] = {"/data/shadersPP/a.hlsl"};
	for (int i = 0; i < 3; ++i)
		EXPECT_EQ(folders.poll(), 0);
	EXPECT_TRUE(g_watches.sleeps.empty());
	EXPECT_TRUE(g_watches.updated.empty());
	EXPECT_TRUE(g_watches.resets.empty());

	g_watches.signalled[2] = true;
	EXPECT_EQ(folders.poll(), 1);
	EXPECT_EQ(g_watches.sleeps, std::vector<int>{200});
	EXPECT_EQ(g_watches.updated, std::vector<std::string>{"/data/shadersPP/a.hlsl"});
	EXPECT_EQ(g_watches.resets, (std::vector<int>{0, 1, 2, 3, 4, 5}));
	EXPECT_EQ(folders.poll(), 0) << "re-armed";
}

TEST_F(ShaderFolders, OneUpdateTakesTheFirstHundredChangedFiles)
{
	CZeShaderFolders folders(fakeCalls());
	folders.watch("/data");
	std::vector<std::string> expected;
	for (int id : {1, 3, 4})
	{
		g_watches.signalled[static_cast<size_t>(id)] = true;
		for (int i = 0; i < 40; ++i)
		{
			g_watches.changed[static_cast<size_t>(id)].push_back("/w" + std::to_string(id) + "/" + std::to_string(i));
			if (expected.size() < 100)
				expected.push_back(g_watches.changed[static_cast<size_t>(id)].back());
		}
	}
	// A watch that reports nothing adds nothing, whatever its list holds.
	g_watches.changed[0] = {"/w0/stale"};
	EXPECT_EQ(folders.poll(), 100);
	EXPECT_EQ(g_watches.updated, expected);
	EXPECT_EQ(g_watches.resets.size(), 6u);
}

TEST_F(ShaderFolders, AFolderThatCannotBeWatchedIsLeftOut)
{
	g_watches.refused[0] = g_watches.refused[3] = true;
	CZeShaderFolders folders(fakeCalls());
	EXPECT_EQ(folders.watch("/data"), 4);
	g_watches.signalled[0] = true;  // never asked
	EXPECT_EQ(folders.poll(), 0);
	g_watches.signalled[5] = true;
	g_watches.changed[5] = {"/data/shadersSURF2/x.hlsl"};
	EXPECT_EQ(folders.poll(), 1);
	EXPECT_EQ(g_watches.resets, (std::vector<int>{1, 2, 4, 5}));
	EXPECT_EQ(g_watches.made.size(), 6u) << "a refused watch is not asked for again";
}

// Watching again (the viewer's next run) keeps the watches that still exist
// and makes again only those that are gone.
TEST_F(ShaderFolders, WatchingAgainKeepsTheWatchesThatExist)
{
	CZeShaderFolders folders(fakeCalls());
	EXPECT_EQ(folders.watch("/data"), 6);
	EXPECT_EQ(folders.watch("/data"), 6);
	EXPECT_EQ(g_watches.made.size(), 6u);
	g_watches.alive = std::vector<bool>(6, false);
	EXPECT_EQ(folders.watch("/data"), 6);
	EXPECT_EQ(g_watches.made.size(), 12u);
}

// With the engine's own watches: a shader folder made after the start is
// watched from the next poll, and a file then written in it is handed on.
TEST_F(ShaderFolders, AFolderMadeAfterTheStartIsWatched)
{
	char pattern[] = "/tmp/zelv-shaders-XXXXXX";
	ASSERT_NE(mkdtemp(pattern), nullptr);
	const std::string prefix = pattern;
	SZeShaderFolderCalls calls = zeShaderFolderCalls();
	calls.updateShaders = fakeCalls().updateShaders;
	calls.sleep = [](int) {};
	{
		CZeShaderFolders folders(calls);
		EXPECT_EQ(folders.watch(prefix.c_str()), 0);
		ASSERT_EQ(mkdir((prefix + "/shadersPP").c_str(), 0755), 0);
		EXPECT_EQ(folders.poll(), 0);
		std::ofstream(prefix + "/shadersPP/glow.hlsl") << "float4 glow;";
		const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
		while (g_watches.updated.empty() && std::chrono::steady_clock::now() < end)
		{
			folders.poll();
			std::this_thread::sleep_for(std::chrono::milliseconds(5));
		}
		EXPECT_EQ(g_watches.updated, std::vector<std::string>{prefix + "/shadersPP/glow.hlsl"});
	}
	zeFreeAllWatches();
	std::filesystem::remove_all(prefix);
}
} // namespace
