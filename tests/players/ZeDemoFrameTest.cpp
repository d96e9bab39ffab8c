// Demo frames, the play and capture loops against recording fakes: part
// switches, time resets and music time, extras, shaders and faders in their
// windows, capture file names, times and log lines, and how a run ends.
#include "ZeDemoFakes.h"

#include "players/ZeDemoPlayer.h"

#include <limits>
#include <fstream>

using namespace zetest;

namespace
{
class DemoFrameTest : public DemoFakes
{
protected:
	SZeDemoPart& addPart(int time, int sceneId = -1)
	{
		SZeDemoPart& p = Demo->parts[Demo->partCount++];
		p.time = p.timeBase = time;
		p.musicId = p.paletteId = p.sceneId = -1;
		p.sceneId = sceneId;
		if (sceneId != -1)
			snprintf(p.filename, sizeof(p.filename), "s%d.zelv", sceneId);
		p.cameraNear = 0.1f;
		p.cameraFar = 1000.0f;
		return p;
	}
	static SZeDemoExtra& addExtra(SZeDemoPart& part, int sceneId, int time, int length, int flush = 0)
	{
		SZeDemoExtra& e = part.extras[part.extraCount++];
		e = SZeDemoExtra();
		e.sceneId = sceneId;
		if (sceneId != -1)
			snprintf(e.filename, sizeof(e.filename), "e%d.zelv", sceneId);
		e.time = time;
		e.length = length;
		e.flushObjects = flush;
		return e;
	}
	static void addShader(SZeDemoPart& part, int cameraEffectId, int time, int length)
	{
		SZeDemoShader& s = part.shaders[part.shaderCount++];
		s = SZeDemoShader();
		s.cameraEffectId = cameraEffectId;
		s.time = time;
		s.length = length;
	}
	static void addFader(SZeDemoPart& part, bool fadeOut, int time, int length, int fadeLength, int colour)
	{
		SZeDemoFader& f = part.faders[part.faderCount++];
		f.fadeOut = fadeOut ? 1 : 0;
		f.time = time;
		f.length = length;
		f.fadeLength = fadeLength;
		f.color = colour;
	}
	// The trace of one frame at a time (-1: the clock).
	std::vector<std::string> frame(int time)
	{
		Engine.trace.clear();
		EXPECT_EQ(zeDemoFrame(Demo.get(), &State, time), 0);
		return Engine.trace;
	}
	std::string readFile(const std::string& path)
	{
		std::ifstream in(path, std::ios::binary);
		return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
	}

	std::unique_ptr<SZeDemo> Demo = newDemo();
	SZeDemoPlayState State = {0, 0, -1, -1, -1, -1, 0};
	using Trace = std::vector<std::string>;
};
} // namespace

TEST_F(DemoFrameTest, AOnePartDemoEndsAtTheFirstSwitchShowingNothing)
{
	addPart(0, 4);
	EXPECT_EQ(frame(0), Trace{});
	EXPECT_EQ(State.ended, 1);
	EXPECT_EQ(State.partIndex, 0);
}

TEST_F(DemoFrameTest, NothingIsShownBeforeTheFirstPartsTime)
{
	SZeDemoPart& a = addPart(500, 3);
	a.cameraNear = 0.5f, a.cameraFar = 50.0f;
	addPart(2000);
	EXPECT_EQ(frame(100), Trace{"sync"});
	EXPECT_EQ(frame(499), Trace{"sync"});
	EXPECT_EQ(frame(600), (Trace{"range 0.5 50", "seed 0", "show 3", "animate 3 100", "cubemaps 3 100", "sync"}));
	EXPECT_EQ(frame(2000), Trace{});
	EXPECT_EQ(State.ended, 1);
}

// After a part with a time reset the demo time starts again at 0 and the
// following parts count from there.
TEST_F(DemoFrameTest, ATimeResetRestartsTheDemoTime)
{
	addPart(0, 1);
	SZeDemoPart& b = addPart(1000, 2);
	b.timeReset = 1, b.timeBase = 0;
	addPart(300, 3);
	addPart(600);
	frame(0);
	EXPECT_EQ(Engine.lines("animate"), Trace{"animate 1 0"});
	frame(1200);
	EXPECT_EQ(Engine.lines("animate"), Trace{"animate 2 0"});
	EXPECT_EQ(State.startTime, 1200);
	frame(1499);
	EXPECT_EQ(Engine.lines("animate"), Trace{"animate 2 299"});
	frame(1500);
	EXPECT_EQ(Engine.lines("show"), Trace{"show 3"});
	EXPECT_EQ(Engine.lines("animate"), Trace{"animate 3 0"});
	frame(1800);
	EXPECT_EQ(State.ended, 1);
}

// From the clock the time is the clock's; a part playing its own music
// follows the music's position from the part's time. A part with a music
// stops the music before it.
TEST_F(DemoFrameTest, APartsOwnMusicDrivesTheTime)
{
	SZeDemoPart& a = addPart(0, 1);
	a.musicId = 1;
	SZeDemoPart& b = addPart(1000, 2);
	b.musicId = 2;
	addPart(3000);
	State.startTime = 100;
	Engine.clock = 100;
	EXPECT_EQ(frame(-1), (Trace{"play 1", "range 0.1 1000", "seed 0", "show 1", "animate 1 0", "cubemaps 1 0", "sync"}));
	Engine.positions[1] = 400;
	Engine.clock = 5000;
	frame(-1);
	EXPECT_EQ(Engine.lines("animate"), Trace{"animate 1 400"});
	Engine.positions[1] = 1000;
	EXPECT_EQ(frame(-1), (Trace{"stop 1", "hide 1", "play 2", "range 0.1 1000", "seed 1", "show 2", "animate 2 0",
							 "cubemaps 2 0", "sync"}));
	EXPECT_EQ(State.musicId, 2);
	EXPECT_EQ(State.musicPartTime, 1000);
	Engine.positions[2] = 250;
	frame(-1);
	EXPECT_EQ(Engine.lines("animate"), Trace{"animate 2 250"});
	Engine.positions[2] = -1;  // position unknown: the clock
	Engine.clock = 2200;
	frame(-1);
	EXPECT_EQ(Engine.lines("animate"), Trace{"animate 2 1100"});
}

// Extras show their emitters when their window opens, are animated from
// their own start, are parked out of view when it closes and deleted only at
// a switch, when they flush. A flushing part's scene goes at the switch too.
TEST_F(DemoFrameTest, ExtrasLiveInTheirWindowsAndGoOnlyAtAFlushingSwitch)
{
	SZeDemoPart& a = addPart(0, 1);
	addExtra(a, 5, 100, 200, 1);
	addExtra(a, 6, 0, 1000);
	addExtra(a, -1, 0, 1000);
	SZeDemoPart& b = addPart(1000, 2);
	b.flushObjects = 1;
	addPart(1500, 3);
	addPart(2000);

	EXPECT_EQ(frame(0), (Trace{"range 0.1 1000", "seed 0", "show 1", "stash 5", "show 5", "stash 6", "show 6",
							"emitters 6", "animate 6 0", "animate 1 0", "cubemaps 1 0", "sync"}));
	EXPECT_EQ(frame(150), (Trace{"emitters 5", "animate 5 50", "animate 6 150", "animate 1 150", "cubemaps 1 150",
							  "sync"}));
	frame(250);
	EXPECT_EQ(Engine.lines("animate 5"), Trace{"animate 5 150"});
	frame(300);
	EXPECT_EQ(Engine.lines("stash"), Trace{"stash 5"});
	EXPECT_EQ(Engine.lines("animate 5"), Trace{});
	frame(400);
	EXPECT_EQ(Engine.lines("stash").size() + Engine.lines("delete").size(), 0u);

	EXPECT_EQ(frame(1000), (Trace{"hide 1", "hide 5", "delete 5", "hide 6", "range 0.1 1000", "seed 1", "show 2",
							   "animate 2 0", "cubemaps 2 0", "sync"}));
	EXPECT_EQ(Demo->parts[0].extras[0].sceneId, -1);
	frame(1500);
	EXPECT_EQ(Engine.lines("hide").front(), "hide 2");
	EXPECT_EQ(Engine.lines("delete"), Trace{"delete 2"});
	EXPECT_EQ(Demo->parts[1].sceneId, -1) << "not deleted again with the demo";
	Engine.trace.clear();
	zeDemoFreeScenes(Demo.get());
	EXPECT_EQ(Engine.trace, (Trace{"delete 1", "delete 6", "delete 3"}));
}

TEST_F(DemoFrameTest, ShadersTurnOnAndOffOnceInTheirWindowsOneAtATime)
{
	SZeDemoPart& a = addPart(0);
	addShader(a, 7, 100, 200);
	addShader(a, -1, 100, 200);  // not loaded
	addPart(5000);
	Trace seen;
	for (int t : {0, 50, 100, 150, 299, 300, 350, 150})
		for (const std::string& line : frame(t))
			if (line != "sync" && line.compare(0, 5, "range") && line.compare(0, 4, "seed"))
				seen.push_back(std::to_string(t) + " " + line);
	EXPECT_EQ(seen, (Trace{"100 on 7", "300 off 7"}));

	// Two windows opening in one frame: the second turns the first off.
	SZeDemoPart& b = Demo->parts[0];
	b.shaderCount = 0;
	addShader(b, 8, 1000, 100);
	addShader(b, 9, 1000, 500);
	frame(1050);
	EXPECT_EQ(Engine.trace, (Trace{"on 8", "off 8", "on 9", "sync"}));
	frame(1200);
	EXPECT_EQ(Engine.trace, Trace{"sync"}) << "the first is done";
	frame(1500);
	EXPECT_EQ(Engine.trace, (Trace{"off 9", "sync"}));
}

TEST_F(DemoFrameTest, ASecondFaderStopsTheFirst)
{
	SZeDemoPart& a = addPart(0);
	addFader(a, false, 0, 500, 400, 0xFF0000);
	addFader(a, true, 0, 800, 300, 0);
	addPart(5000);
	frame(0);
	EXPECT_EQ(Engine.lines("f"), (Trace{"fadein 400 16711680", "fadeout 300 0"}));
	EXPECT_EQ(Engine.lines("stopfade").size(), 1u);
	EXPECT_EQ(frame(600), Trace{"sync"});
	EXPECT_EQ(frame(800), (Trace{"stopfade", "sync"}));
	EXPECT_EQ(frame(900), Trace{"sync"});
}

// Capture: the clock held at every frame's time (loading and preparation at
// 0), one file per frame, the frame that ends the demo a copy of the last one
// drawn, and the log lines in order.
TEST_F(DemoFrameTest, CaptureWritesOneFilePerFrameAtTruncatedTimes)
{
	Engine.files = {{"a.zelv", SFakeScene()}};
	const std::string demo =
		writeDemo("[part1]\ntime = 0\nfilename = a.zelv\n[part2]\ntime = 300\n");
	const std::string base = Folder + "/shots/cap";
	std::filesystem::create_directories(Folder + "/shots");
	ASSERT_EQ(zeDemoCapture(demo.c_str(), base.c_str(), 7.0f), 0) << ::testing::PrintToString(errors());

	EXPECT_EQ(Engine.trace.front(), "clock 0") << "before loading";
	EXPECT_EQ(Engine.lines("clock"), (Trace{"clock 0", "clock 0", "clock 142", "clock 285", "clock 428",
										  "clock released"}));
	EXPECT_EQ(Engine.trace.back(), "clock released");
	EXPECT_EQ(Engine.lines("prepare"), Trace{"prepare 0"});
	EXPECT_EQ(Engine.lines("sleep"), Trace{"sleep 200"});
	EXPECT_EQ(Engine.lines("shot"), (Trace{"shot " + base + "_000000.bmp", "shot " + base + "_000001.bmp",
										 "shot " + base + "_000002.bmp"}));
	EXPECT_EQ(Engine.lines("repeat"), Trace{"repeat " + base + "_000003.bmp"});
	EXPECT_EQ(Engine.lines("finish").size(), 1u);
	EXPECT_EQ(readFile(base + "_000003.bmp"), readFile(base + "_000002.bmp"));
	EXPECT_FALSE(std::filesystem::exists(base + "_000004.bmp"));

	Trace info;
	for (const std::string& line : logLines())
		if (line.rfind("INFO : ", 0) == 0)
			info.push_back(line.substr(7, line.size() - 8));
	EXPECT_EQ(info, (Trace{"Start capturing: basename='" + base + "' fps=7.000000",
						 "Frame     0; time      0 ; " + base + "_000000.bmp",
						 "Frame     1; time    142 ; " + base + "_000001.bmp",
						 "Frame     2; time    285 ; " + base + "_000002.bmp",
						 "Frame     3; time    428 ; " + base + "_000003.bmp"}));

	// A rate of 0 is 30; a file that cannot be written ends the capture.
	logLines().clear();
	Engine.screenShotFails = true;
	EXPECT_EQ(zeDemoCapture(demo.c_str(), base.c_str(), 0.0f), -1);
	EXPECT_EQ(countLines("INFO : Start capturing: basename='" + base + "' fps=30.000000"), 1);
	EXPECT_EQ(countLines("INFO : Frame"), 0);
	// A negative, endless or not-a-number rate is refused before anything loads.
	Engine.trace.clear();
	EXPECT_EQ(zeDemoCapture(demo.c_str(), base.c_str(), -5.0f), -1);
	EXPECT_TRUE(Engine.trace.empty());
	EXPECT_EQ(errors().back(), "Cannot capture at -5 frames per second: the rate must be 0 (30) to 1000");
	for (float fps : {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), 1001.0f})
	{
		EXPECT_EQ(zeDemoCapture(demo.c_str(), base.c_str(), fps), -1);
		EXPECT_TRUE(Engine.trace.empty());
	}
}

TEST_F(DemoFrameTest, PlayEndsWithTheDemoOrEscapeAndACancelledLoadFails)
{
	Engine.files = {{"a.zelv", SFakeScene()}};
	const std::string demo = writeDemo("[part1]\ntime = 0\nfilename = a.zelv\n[part2]\ntime = 300\n");
	// A clock that moves 100 ms a call.
	zeDemoCalls().timer = [] { return fake()->clock += 100; };
	EXPECT_EQ(zeDemoPlay(demo.c_str()), 0);
	EXPECT_EQ(Engine.lines("animate"), (Trace{"animate 0 100", "animate 0 200"}));
	EXPECT_EQ(Engine.lines("clock").size(), 0u) << "play runs on the real clock";

	Engine.trace.clear();
	Engine.escape = 1;
	EXPECT_EQ(zeDemoPlay(demo.c_str()), 0);
	EXPECT_EQ(Engine.lines("animate").size(), 0u);
	EXPECT_EQ(Engine.lines("delete"), Trace{"delete 0"});

	// Escape during loading cancels: -1, without a message.
	Engine.files["a.zelv"].loadResult = 1;
	logLines().clear();
	EXPECT_EQ(zeDemoPlay(demo.c_str()), -1);
	EXPECT_TRUE(errors().empty());
}
