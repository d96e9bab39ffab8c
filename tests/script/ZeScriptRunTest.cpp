// The zelv program running scripts as a user runs them: the sample scripts
// under the test run's X display, watched through window screenshots and
// ended with Escape, and scripts that fail, with their exit status and what
// they print.
#include "players/ZeZelvProcess.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{
using zetest::differingPixels;
using zetest::SZelvShot;
using zetest::ZelvProcess;

struct SRgb
{
	int r, g, b;
	bool near(int R, int G, int B, int tolerance = 4) const
	{
		return std::abs(r - R) <= tolerance && std::abs(g - G) <= tolerance && std::abs(b - B) <= tolerance;
	}
};

SRgb pixel(const SZelvShot& shot, int x, int y)
{
	const unsigned char* p = shot.at(x, y);
	return {p[0], p[1], p[2]};
}

// Pixels of the rectangle [x0, x1) x [y0, y1) for which `test` holds.
template <typename Test>
int count(const SZelvShot& shot, int x0, int y0, int x1, int y1, Test test)
{
	int n = 0;
	for (int y = y0; y < y1; ++y)
		for (int x = x0; x < x1; ++x)
			n += test(pixel(shot, x, y)) ? 1 : 0;
	return n;
}

const std::string SAMPLES = std::string(ZELV_SOURCE_DIR) + "/samples/scripts/";

class ScriptRunTest : public zetest::ZelvTest
{
protected:
	// Runs a sample and takes shots of its window until one shows what
	// `drawn` looks for, and, when `moving` is given, then until more than
	// that many pixels changed; ends it with Escape, which must give exit
	// status 0.
	void runSample(const char* name, const std::function<bool(const SZelvShot&)>& drawn, SZelvShot* first,
		SZelvShot* later, std::string* log, int moving = 0)
	{
		ZelvProcess run(Folder, SAMPLES + name);
		ASSERT_FALSE(run.window().empty()) << run.log();
		*first = run.shotUntil(shot("first"), drawn, ZelvProcess::FIRST_FRAME_SECONDS);
		ASSERT_EQ(first->width, 640) << "no screenshot";
		ASSERT_EQ(first->height, 480);
		if (moving)
		{
			*later = run.shotUntil(shot("later"), [&](const SZelvShot& s) { return differingPixels(*first, s) > moving; });
			ASSERT_EQ(later->width, 640) << "no screenshot";
		}
		run.key("key", "Escape");
		EXPECT_EQ(run.exitStatus(), 0) << run.log();
		*log = run.log();
	}
};
} // namespace

TEST_F(ScriptRunTest, TheTurningSampleShowsTheObjectItsTextAndTurnsIt)
{
	SZelvShot first, later;
	std::string log;
	auto backdrop = [](const SRgb& p) { return p.near(0x20, 0x30, 0x40); };
	auto gem = [&](const SZelvShot& s) { return count(s, 220, 140, 420, 340, [&](const SRgb& p) { return !backdrop(p); }); };
	auto text = [](const SZelvShot& s) {
		return count(s, 8, 8, 200, 48, [](const SRgb& p) { return p.r > 180 && p.g > 180 && p.b > 180; });
	};
	runSample("turning.lua", [&](const SZelvShot& s) { return gem(s) > 2000 && text(s) > 30; }, &first, &later, &log, 200);
	if (HasFatalFailure())
		return;
	for (int corner = 0; corner < 4; ++corner)
		EXPECT_TRUE(backdrop(pixel(first, corner % 2 ? 637 : 2, corner / 2 ? 477 : 2))) << "corner " << corner;
	EXPECT_GT(gem(first), 2000) << "the gem";
	EXPECT_GT(text(first), 30) << "the white text";
	EXPECT_EQ(count(first, 8, 60, 200, 200, [&](const SRgb& p) { return !backdrop(p); }), 0);
	EXPECT_GT(differingPixels(first, later), 200) << "the gem turns";
}

TEST_F(ScriptRunTest, TheDrawingSampleDrawsBoxesALineImagesAndText)
{
	SZelvShot shot, later;
	std::string log;
	// Looked at once the half second of fading in from black is over: the
	// fade darkens the backdrop and what is drawn over it at half alpha,
	// not the boxes drawn whole.
	runSample("drawing.lua", [](const SZelvShot& s) { return pixel(s, 600, 202).near(0x10, 0x20, 0x30, 1); }, &shot,
		&later, &log);
	if (HasFatalFailure())
		return;
	EXPECT_TRUE(pixel(shot, 60, 80).near(0xFF, 0x40, 0x20, 6)) << "the red box";
	EXPECT_TRUE(pixel(shot, 250, 240).near(0x28, 0x98, 0x38, 12)) << "the green box at half alpha over the backdrop";
	const SRgb overlap = pixel(shot, 170, 140);
	EXPECT_TRUE(overlap.r > 100 && overlap.g > 100 && overlap.b < 80) << "green over red";
	EXPECT_TRUE(pixel(shot, 600, 200).near(0x40, 0xFF, 0x40, 6)) << "the line";
	EXPECT_TRUE(pixel(shot, 600, 202).near(0x10, 0x20, 0x30)) << "the backdrop below the line";
	auto dark = [](const SRgb& p) { return p.r < 120 && p.r == p.g && p.g == p.b; };
	auto light = [](const SRgb& p) { return p.r > 140 && p.r == p.g && p.g == p.b; };
	EXPECT_GT(count(shot, 360, 60, 424, 124, dark), 1000) << "the checkerboard at its size";
	EXPECT_GT(count(shot, 360, 60, 424, 124, light), 1000);
	EXPECT_EQ(count(shot, 425, 60, 439, 124, light), 0);
	EXPECT_GT(count(shot, 440, 60, 620, 160, dark), 6000) << "the checkerboard stretched";
	EXPECT_GT(count(shot, 440, 60, 620, 160, light), 6000);
	auto gem = [](const SRgb& p) { return p.r > p.b + 40; };
	EXPECT_GT(count(shot, 20, 300, 180, 420, gem), 300) << "the gem rendered into the image";
	EXPECT_EQ(count(shot, 200, 280, 640, 480, gem), 0) << "and not into the frame";
	EXPECT_GT(count(shot, 8, 8, 300, 24, [](const SRgb& p) { return p.r > 180 && p.g > 180 && p.b < 160; }), 30)
		<< "the yellow text";
}

TEST_F(ScriptRunTest, TheSceneSampleLoadsAndPlaysTheScene)
{
	SZelvShot first, later;
	std::string log;
	auto drawn = [](const SZelvShot& s) {
		return count(s, 0, 40, 640, 480, [](const SRgb& p) { return !p.near(13, 18, 31, 6); });
	};
	// The scene and the line of text the script writes over it (a loading
	// screen has neither).
	auto text = [](const SZelvShot& s) {
		return count(s, 8, 8, 400, 24, [](const SRgb& p) { return p.r > 180 && p.g > 180 && p.b > 180; });
	};
	runSample("scene.lua", [&](const SZelvShot& s) { return drawn(s) > 640 * 440 / 4 && text(s) > 30; }, &first, &later,
		&log, 2000);
	if (HasFatalFailure())
		return;
	EXPECT_NE(log.find("loading the scene: 0%\n"), std::string::npos) << log;
	EXPECT_NE(log.find("loading the scene: 66%\n"), std::string::npos) << log;
	EXPECT_NE(log.find("objects:\t3\tlights:\t2\temitters:\t1\n"), std::string::npos) << log;
	EXPECT_GT(drawn(first), 640 * 440 / 4) << "the floor, the ball and the mirror";
	EXPECT_GT(text(first), 30) << "the script's text";
	EXPECT_GT(differingPixels(first, later), 2000) << "the scene plays";
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
			 SCase{"engine.lua", "ze.Setup(160, 120, 32, true)\nze.ShowObject(5)\n",
				 "engine.lua:2: bad argument #1 to 'ShowObject' (Object ID 5 does not exist."},
		 })
	{
		ZelvProcess run(Folder, write(c.file, c.text));
		EXPECT_EQ(run.exitStatus(), 1) << c.file;
		EXPECT_EQ(run.log().rfind(c.message, 0), 0u) << c.file << ": " << run.log();
	}
	ZelvProcess ends(Folder, write("ends.lua", "ze.Setup(160, 120, 32, true)\nprint(ze.IsSetup())\n"));
	EXPECT_EQ(ends.exitStatus(), 0);
	EXPECT_EQ(ends.log(), "true\n") << "the engine's log stays silent";
}
