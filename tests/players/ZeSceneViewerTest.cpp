// The scene viewer run for real: the zelv program on the sample scenes and on
// copies of them under the test run's X display, driven with xdotool, watched
// through window screenshots, its log and its exit status.
//
// Pictures are compared below the overlay (its two text lines take the top 30
// rows) on the minimal sample, which has no emitter and no jittered
// antialiasing, so that a still scene draws the same pixels every frame on
// either renderer.
#include "ZeZelvProcess.h"
#include "frame/ZeWindow.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include <X11/Xlib.h>

namespace
{
using zetest::BATCH;
using zetest::ZelvProcess;
using zetest::differingPixels;
using zetest::occurrences;
using zetest::SZelvShot;

const int OVERLAY_ROWS = 30;
const int FIRST_FRAME_SECONDS = ZelvProcess::FIRST_FRAME_SECONDS;
// Frames presented after a line the viewer logs while it takes a key or
// reaches a point: the frame of that pass may still be on its way to the
// display when the line comes, the second one was drawn after it.
const int SHOWN_FRAMES = ZelvProcess::TAKEN_FRAMES;
// Frames presented between two pictures that must be equal.
const int LATER_FRAMES = 5;
const std::string SAMPLES = ZELV_SOURCE_DIR "/samples/scenes";

std::string readFile(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes)
{
	std::ofstream(path, std::ios::binary) << bytes;
}

// The text pixels (near white) of a rectangle, one flag a pixel.
std::vector<bool> textPixels(const SZelvShot& shot, int x0, int y0, int x1, int y1)
{
	std::vector<bool> bright;
	for (int y = y0; y < y1 && y < shot.height; ++y)
		for (int x = x0; x < x1 && x < shot.width; ++x)
		{
			const unsigned char* p = shot.at(x, y);
			bright.push_back(p[0] > 200 && p[1] > 200 && p[2] > 200);
		}
	return bright;
}

int count(const std::vector<bool>& flags)
{
	int n = 0;
	for (bool f : flags)
		n += f ? 1 : 0;
	return n;
}

// The overlay's frame line, the ride speed and the ride mode's camera box.
std::vector<bool> frameLine(const SZelvShot& s)
{
	return textPixels(s, 0, 0, 300, 13);
}

std::vector<bool> rideSpeed(const SZelvShot& s)
{
	return textPixels(s, 105, 15, 200, 28);
}

std::vector<bool> cameraBox(const SZelvShot& s)
{
	return textPixels(s, 0, 31, 90, 60);
}

// The minimal sample's red ball: its pixels below the camera box.
int ballPixels(const SZelvShot& s)
{
	int n = 0;
	for (int y = 60; y < s.height; ++y)
		for (int x = 0; x < s.width; ++x)
		{
			const unsigned char* p = s.at(x, y);
			n += (p[0] > 60 && p[0] > 2 * p[1] && p[0] > 2 * p[2]) ? 1 : 0;
		}
	return n;
}

// A frame number sent to a window as the modeller's host sends it: a client
// message carrying the sync-frame event and the frame.
bool sendHostFrame(const std::string& window, long frame)
{
	Display* display = XOpenDisplay(nullptr);
	if (!display)
		return false;
	XEvent e = {};
	e.xclient.type = ClientMessage;
	e.xclient.window = std::stoul(window);
	e.xclient.message_type = XInternAtom(display, "ZELV_HOST_FRAME", False);
	e.xclient.format = 32;
	e.xclient.data.l[0] = ZE_SYNC_FRAME_EVENT;
	e.xclient.data.l[1] = frame;
	const bool sent = XSendEvent(display, e.xclient.window, False, NoEventMask, &e) != 0;
	XCloseDisplay(display);
	return sent;
}

class SceneViewerTest : public zetest::ZelvTest
{
protected:
	// A folder "scenes" of the test's own beside the sample objects, with the
	// minimal sample's text changed by the replacements; its path.
	std::string copyMinimal(const std::string& name, const std::vector<std::pair<std::string, std::string>>& edits = {})
	{
		const std::string scenes = Folder + "/scenes";
		std::system(("mkdir -p " + scenes + " && ln -sfn " + SAMPLES + "/objects " + scenes + "/objects").c_str());
		const std::string path = scenes + "/" + name;
		writeFile(path, edited(edits));
		return path;
	}
	static std::string edited(const std::vector<std::pair<std::string, std::string>>& edits)
	{
		std::string text = readFile(SAMPLES + "/minimal.zelv");
		for (const auto& edit : edits)
		{
			const size_t at = text.find(edit.first);
			EXPECT_NE(at, std::string::npos) << edit.first;
			if (at != std::string::npos)
				text.replace(at, edit.first.size(), edit.second);
		}
		return text;
	}

	SZelvShot shotUntil(ZelvProcess& v, const std::string& name, const std::function<bool(const SZelvShot&)>& met)
	{
		return v.shotUntil(shot(name), met);
	}
	SZelvShot fresh(ZelvProcess& v, const std::string& name, int frames)
	{
		return v.freshShot(shot(name), frames);
	}

	// The viewer's window, focused, once it says it drew its first frame (a
	// busy machine without a shader cache takes a while to compile the
	// effects); false when either does not come.
	static bool started(ZelvProcess& v)
	{
		return !v.window().empty() && v.waitForLog("ZeSceneViewer: first frame", 1, FIRST_FRAME_SECONDS);
	}

	// Space pressed until the viewer says it paused; the time it paused at
	// (ms), -1 when it did not say so.
	static int pauseHere(ZelvProcess& v)
	{
		if (!v.pressLogged("space", "ZeSceneViewer: paused at frame"))
			return -1;
		const std::string log = v.log();
		int ms = -1;
		std::sscanf(log.c_str() + log.rfind("ZeSceneViewer: paused at frame"), "ZeSceneViewer: paused at frame %*f (%d ms)",
			&ms);
		return ms;
	}

	void escape(ZelvProcess& v)
	{
		v.key("key", "Escape");
		EXPECT_EQ(v.exitStatus(), 0) << v.log();
		EXPECT_NE(v.log().find("Zelv Engine scene viewer ended"), std::string::npos) << v.log();
	}
};
} // namespace

TEST_F(SceneViewerTest, PlayingChangesThePictureAndSpaceHoldsIt)
{
	ZelvProcess v(Folder, {"-paused", SAMPLES + "/minimal.zelv"}, BATCH);
	ASSERT_TRUE(started(v)) << v.log();
	EXPECT_NE(v.log().find("Zelv Engine scene viewer started"), std::string::npos) << v.log();
	// Looping, so that the end of the two-second scene cannot stop it first.
	ASSERT_TRUE(v.pressLogged("Return", "ZeSceneViewer: looping on")) << v.log();
	ASSERT_TRUE(v.pressLogged("space", "ZeSceneViewer: running from frame 0.00")) << v.log();
	const SZelvShot a = v.screenshot(shot("a"));
	ASSERT_GT(a.width, 20) << "no screenshot";
	const SZelvShot b = shotUntil(v, "b", [&](const SZelvShot& s) { return differingPixels(a, s, OVERLAY_ROWS) > 100; });
	EXPECT_GT(differingPixels(a, b, OVERLAY_ROWS), 100) << "the ball turns while the scene plays";

	ASSERT_GE(pauseHere(v), 0) << v.log();
	const SZelvShot c = fresh(v, "c", SHOWN_FRAMES);
	const SZelvShot d = fresh(v, "d", LATER_FRAMES);
	ASSERT_GT(c.width, 20) << "no frame after the pause";
	EXPECT_EQ(differingPixels(c, d, OVERLAY_ROWS), 0);
	escape(v);
}

TEST_F(SceneViewerTest, RightWhilePausedMovesTheFrameInTheOverlay)
{
	ZelvProcess v(Folder, {"-paused", SAMPLES + "/minimal.zelv"}, BATCH);
	ASSERT_TRUE(started(v)) << v.log();
	const SZelvShot before = v.screenshot(shot("before"));
	ASSERT_GT(before.width, 20) << "no screenshot";
	const std::vector<bool> frameText = frameLine(before);
	EXPECT_GT(count(frameText), 20) << "the frame line";
	const SZelvShot moved = v.holdUntilShown("Right", shot("moved"), [&](const SZelvShot& s) {
		return frameLine(s) != frameText && differingPixels(before, s, OVERLAY_ROWS) > 100;
	});
	EXPECT_NE(frameLine(moved), frameText);
	EXPECT_GT(differingPixels(before, moved, OVERLAY_ROWS), 100) << "the scene shows the new frame";
	// Still paused: once Right is let go, the picture holds.
	const SZelvShot after = fresh(v, "after", SHOWN_FRAMES);
	ASSERT_GT(after.width, 20) << "no frame after Right";
	EXPECT_EQ(differingPixels(after, fresh(v, "later", LATER_FRAMES), OVERLAY_ROWS), 0);
	escape(v);
}

TEST_F(SceneViewerTest, EnterTogglesLoopingAtTheEndOfTheAnimation)
{
	ZelvProcess v(Folder, {SAMPLES + "/minimal.zelv"}, BATCH);
	ASSERT_TRUE(started(v)) << v.log();
	// Without looping the two-second scene stops at its end.
	ASSERT_TRUE(v.waitForLog("ZeSceneViewer: end of the animation, paused at frame 60.00")) << v.log();
	const SZelvShot end = fresh(v, "end", SHOWN_FRAMES);
	ASSERT_GT(end.width, 20) << "no frame after the end";
	EXPECT_EQ(differingPixels(end, fresh(v, "end2", LATER_FRAMES), OVERLAY_ROWS), 0);

	// Looping on, Space starts again from the first frame and the time goes
	// round past the end: paused again and again on the way, the viewer
	// says a time before the last one it said.
	ASSERT_TRUE(v.pressLogged("Return", "ZeSceneViewer: looping on")) << v.log();
	ASSERT_TRUE(v.pressLogged("space", "ZeSceneViewer: running from frame 0.00")) << v.log();
	int last = 0;
	bool round = false;
	for (int tries = 0; tries < 100 && !round; ++tries)
	{
		const int time = pauseHere(v);
		ASSERT_GE(time, 0) << v.log();
		round = time < last;
		last = time;
		ASSERT_TRUE(v.pressLogged("space", "ZeSceneViewer: running from frame")) << v.log();
	}
	EXPECT_TRUE(round) << v.log();
	EXPECT_EQ(occurrences(v.log(), "end of the animation"), 1) << v.log();
	const SZelvShot a = v.screenshot(shot("a"));
	ASSERT_GT(a.width, 20) << "no screenshot";
	const SZelvShot b = shotUntil(v, "b", [&](const SZelvShot& s) { return differingPixels(a, s, OVERLAY_ROWS) > 100; });
	EXPECT_GT(differingPixels(a, b, OVERLAY_ROWS), 100) << "still playing after the end";

	// Off again: the next end stops it.
	ASSERT_TRUE(v.pressLogged("Return", "ZeSceneViewer: looping off")) << v.log();
	EXPECT_TRUE(v.waitForLog("ZeSceneViewer: end of the animation", 2)) << v.log();
	escape(v);
}

TEST_F(SceneViewerTest, TheRightButtonEntersRideModeAndTheArrowsFlyTheCamera)
{
	// A slow ride (2 m/s), so that shots taken on a busy machine see the ball
	// come nearer before the camera is in it.
	ZelvProcess v(Folder, {"-paused", "-ridespeed", "200", SAMPLES + "/minimal.zelv"}, BATCH);
	ASSERT_TRUE(started(v)) << v.log();
	const SZelvShot walking = v.screenshot(shot("walking"));
	ASSERT_GT(walking.width, 20) << "no screenshot";
	EXPECT_EQ(count(cameraBox(walking)), 0) << "no camera box before riding";

	ASSERT_TRUE(v.rightClickLogged("ZeSceneViewer: ride mode on")) << v.log();
	const SZelvShot riding = fresh(v, "riding", SHOWN_FRAMES);
	ASSERT_GT(riding.width, 20) << "no frame in ride mode";
	const std::vector<bool> camera = cameraBox(riding);
	EXPECT_GT(count(camera), 40) << "X, Y, Z, H, P and B";
	EXPECT_GT(count(rideSpeed(riding)), 10) << "the ride speed";

	// While riding, Right strafes (the camera stood still until then) and
	// does not step the time, while it is held or after.
	const SZelvShot strafed =
		v.holdUntilShown("Right", shot("strafed"), [&](const SZelvShot& s) { return cameraBox(s) != camera; });
	EXPECT_NE(cameraBox(strafed), camera) << "the camera's position changed";
	EXPECT_EQ(frameLine(strafed), frameLine(riding));
	const SZelvShot aside = fresh(v, "aside", SHOWN_FRAMES);
	ASSERT_GT(aside.width, 20) << "no frame after Right";
	EXPECT_EQ(frameLine(aside), frameLine(riding));

	// Up flies forward: the ball comes nearer.
	const int ball = ballPixels(aside);
	EXPECT_GT(ball, 100) << "the ball in view";
	const SZelvShot flown = v.holdUntilShown("Up", shot("flown"), [&](const SZelvShot& s) {
		return cameraBox(s) != cameraBox(aside) && ballPixels(s) > ball + ball / 5;
	});
	EXPECT_NE(cameraBox(flown), cameraBox(aside)) << "the camera's position changed";
	EXPECT_GT(ballPixels(flown), ball + ball / 5) << "the view moved";

	// "2" speeds the ride up and "1" slows it down: the speed text changes.
	const std::vector<bool> speed = rideSpeed(fresh(v, "speed", SHOWN_FRAMES));
	const std::vector<bool> faster =
		rideSpeed(v.holdUntilShown("2", shot("faster"), [&](const SZelvShot& s) { return rideSpeed(s) != speed; }));
	EXPECT_NE(faster, speed);
	const std::vector<bool> settled = rideSpeed(fresh(v, "settled", SHOWN_FRAMES));
	EXPECT_NE(rideSpeed(v.holdUntilShown("1", shot("slower"), [&](const SZelvShot& s) { return rideSpeed(s) != settled; })),
		settled);

	// Out of ride mode the scene's camera is back and the box is gone.
	ASSERT_TRUE(v.rightClickLogged("ZeSceneViewer: ride mode off")) << v.log();
	const SZelvShot back = fresh(v, "back", SHOWN_FRAMES);
	ASSERT_GT(back.width, 20) << "no frame after ride mode";
	EXPECT_EQ(count(cameraBox(back)), 0);
	EXPECT_EQ(differingPixels(walking, back, OVERLAY_ROWS), 0);
	escape(v);
}

TEST_F(SceneViewerTest, F12TogglesTheRenderersDebugView)
{
	ZelvProcess v(Folder, {"-paused", SAMPLES + "/minimal.zelv"}, BATCH);
	ASSERT_TRUE(started(v)) << v.log();
	const SZelvShot scene = v.screenshot(shot("scene"));
	ASSERT_GT(scene.width, 20) << "no screenshot";
	// The debug view compiles its effects first: a while on a busy machine.
	const SZelvShot debug = v.holdUntilShown(
		"F12", shot("debug"), [&](const SZelvShot& s) { return differingPixels(scene, s, OVERLAY_ROWS) > 1000; });
	EXPECT_GT(differingPixels(scene, debug, OVERLAY_ROWS), 1000) << "the buffers shown";
	v.holdUntilShown("F12", shot("leaving"), [&](const SZelvShot& s) { return differingPixels(scene, s, OVERLAY_ROWS) < 1000; });
	EXPECT_EQ(differingPixels(scene, fresh(v, "again", SHOWN_FRAMES), OVERLAY_ROWS), 0);
	escape(v);
}

// Following the host (-syncupdate), a frame it sends is shown, paused or
// running as before; without -syncupdate its frames are left alone.
TEST_F(SceneViewerTest, AHostFrameMovesAFollowingViewerThere)
{
	for (const bool follow : {true, false})
	{
		SCOPED_TRACE(follow ? "following" : "not following");
		std::vector<std::string> args = {"-paused", SAMPLES + "/minimal.zelv"};
		if (follow)
			args.insert(args.begin(), "-syncupdate");
		ZelvProcess v(Folder, args, BATCH);
		ASSERT_TRUE(started(v)) << v.log();
		const SZelvShot before = v.screenshot(shot("before"));
		ASSERT_GT(before.width, 20) << "no screenshot";
		ASSERT_TRUE(sendHostFrame(v.id(), 45));
		if (follow)
		{
			const SZelvShot after =
				shotUntil(v, "after", [&](const SZelvShot& s) { return differingPixels(before, s, OVERLAY_ROWS) > 100; });
			EXPECT_GT(differingPixels(before, after, OVERLAY_ROWS), 100) << "the scene at the host's frame";
		}
		else
		{
			// A frame drawn after the message was taken.
			EXPECT_EQ(differingPixels(before, fresh(v, "after", SHOWN_FRAMES), OVERLAY_ROWS), 0);
		}
		EXPECT_TRUE(v.pressLogged("space", follow ? "running from frame 45.00" : "running from frame 0.00")) << v.log();
		escape(v);
	}
}

// With ride option 1 every object of the scene stops the camera: flying
// straight at the ball (a morph object, whose box collides) ends in front of
// it, while without the option the camera flies through.
TEST_F(SceneViewerTest, RidingWithCollisionStopsTheCameraAtTheObjects)
{
	const std::string scene = copyMinimal("level.zelv",
		{{"FP position 0 2 -8", "FP position 0 1 -8"}, {"FP rotation 0.2 0 0", "FP rotation 0 0 0"}});
	// A ride from the scene's camera with Up held for `ms`, as a user holds
	// it: how far it goes is the viewer's to say, when the ride ends.
	auto ride = [&](ZelvProcess& v, int ms) {
		float x = 0, y = 0, z = 0;
		EXPECT_TRUE(v.rightClickLogged("ZeSceneViewer: ride mode on")) << v.log();
		v.key("keydown", "Up");
		zetest::pause(ms);
		v.key("keyup", "Up");
		EXPECT_TRUE(v.rightClickLogged("ZeSceneViewer: ride mode off at")) << v.log();
		const std::string log = v.log();
		const size_t at = log.rfind("ride mode off at");
		EXPECT_NE(at, std::string::npos) << log;
		if (at != std::string::npos)
		{
			EXPECT_EQ(std::sscanf(log.c_str() + at, "ride mode off at (%f, %f, %f)", &x, &y, &z), 3);
		}
		return z;
	};
	// Long enough to fly through the ball without collision; a busy viewer
	// that saw Up for less of the time is given it longer.
	int hold = 1000;
	for (const bool collide : {false, true})
	{
		SCOPED_TRACE(collide ? "colliding" : "flying through");
		std::vector<std::string> args = {"-paused", scene};
		if (collide)
			args.insert(args.begin(), {"-rideopts", "1"});
		ZelvProcess v(Folder, args, BATCH);
		ASSERT_TRUE(started(v)) << v.log();
		float z = ride(v, hold);
		for (int tries = 0; tries < 4 && (collide ? z < -1.35f : z <= 1.0f); ++tries)
			z = ride(v, hold *= 2);
		if (collide)
			EXPECT_NEAR(z, -1.2f, 0.15f) << "stopped at the front of the ball's box (z = -1)";
		else
			EXPECT_GT(z, 1.0f) << "through the ball";
		EXPECT_EQ(v.log().find("ERROR"), std::string::npos) << v.log();
		escape(v);
	}
}

TEST_F(SceneViewerTest, ALightColourEditedWhileRunningChangesThePicture)
{
	const std::string scene = copyMinimal("edited.zelv");
	ZelvProcess v(Folder, {"-syncupdate", "-paused", scene}, BATCH);
	ASSERT_TRUE(started(v)) << v.log();
	const SZelvShot white = v.screenshot(shot("white"));
	ASSERT_GT(white.width, 20) << "no screenshot";
	writeFile(scene, edited({{"FP rawColor 1 0.95 0.9", "FP rawColor 0.1 1 0.1"}}));
	ASSERT_TRUE(v.waitForLog("Update Scene...")) << v.log();
	const SZelvShot green =
		shotUntil(v, "green", [&](const SZelvShot& s) { return differingPixels(white, s, OVERLAY_ROWS) > 100; });
	EXPECT_GT(differingPixels(white, green, OVERLAY_ROWS), 100);
	EXPECT_EQ(v.log().find("UPDATE SCENE FAILED"), std::string::npos) << v.log();
	// The frame shown is kept and the viewer stays paused.
	EXPECT_EQ(differingPixels(green, fresh(v, "still", LATER_FRAMES), OVERLAY_ROWS), 0);
	escape(v);
}

// A scene file held open by its writer longer than the viewer waits is not
// read: the overlay says so, and the viewer keeps the old scene and runs on.
// The writer's last write reloads it.
TEST_F(SceneViewerTest, ASceneCaughtHalfWrittenShowsTheOverlayAndTheNextWriteReloads)
{
	const std::string scene = copyMinimal("slow.zelv");
	ZelvProcess v(Folder, {"-syncupdate", "-paused", scene}, BATCH);
	ASSERT_TRUE(started(v)) << v.log();
	const SZelvShot before = v.screenshot(shot("before"));
	ASSERT_GT(before.width, 20) << "no screenshot";
	const auto overlaid = [](const SZelvShot& s) { return count(textPixels(s, 0, 31, 400, 45)) > 50; };
	EXPECT_EQ(count(textPixels(before, 0, 31, 400, 45)), 0);

	const std::string text = edited({{"FP rawColor 1 0.95 0.9", "FP rawColor 0.1 1 0.1"}});
	const int fd = open(scene.c_str(), O_WRONLY | O_TRUNC);
	ASSERT_GE(fd, 0);
	const size_t half = text.size() / 2;
	ASSERT_EQ(::write(fd, text.data(), half), static_cast<ssize_t>(half));
	ASSERT_TRUE(v.waitForLog("ERROR : UPDATE SCENE FAILED; Cannot read file")) << v.log();
	EXPECT_TRUE(overlaid(shotUntil(v, "failed", overlaid))) << "the overlay's text";
	EXPECT_TRUE(v.running());

	ASSERT_EQ(::write(fd, text.data() + half, text.size() - half), static_cast<ssize_t>(text.size() - half));
	close(fd);
	ASSERT_TRUE(v.waitForLog("Update Scene...")) << v.log();
	const SZelvShot reloaded = shotUntil(
		v, "reloaded", [&](const SZelvShot& s) { return !overlaid(s) && differingPixels(before, s, 45) > 100; });
	EXPECT_EQ(count(textPixels(reloaded, 0, 31, 400, 45)), 0) << "the overlay is gone";
	EXPECT_GT(differingPixels(before, reloaded, 45), 100) << "the new light";
	escape(v);
}

// A scene file that is written whole but cut short cannot be read: the
// overlay says so until a complete file comes.
TEST_F(SceneViewerTest, ATruncatedSceneGivesTheOverlayAndTheViewerStaysUp)
{
	const std::string scenes = Folder + "/scenes";
	std::system(("mkdir -p " + scenes + " && ln -sfn " + SAMPLES + "/objects " + scenes + "/objects").c_str());
	const std::string scene = scenes + "/cut.zscn";
	const std::string whole = readFile(SAMPLES + "/minimal.zscn");
	writeFile(scene, whole);
	ZelvProcess v(Folder, {"-syncupdate", "-paused", scene}, BATCH);
	ASSERT_TRUE(started(v)) << v.log();
	const auto overlaid = [](const SZelvShot& s) { return count(textPixels(s, 0, 31, 400, 45)) > 50; };
	writeFile(scene, whole.substr(0, whole.size() / 2));
	ASSERT_TRUE(v.waitForLog("ERROR : UPDATE SCENE FAILED")) << v.log();
	EXPECT_GT(count(textPixels(shotUntil(v, "cut", overlaid), 0, 31, 400, 45)), 50);
	EXPECT_TRUE(v.running());
	writeFile(scene, whole);
	ASSERT_TRUE(v.waitForLog("Update Scene...", 2)) << v.log();
	const SZelvShot back = shotUntil(v, "whole", [&](const SZelvShot& s) { return !overlaid(s); });
	EXPECT_EQ(count(textPixels(back, 0, 31, 400, 45)), 0);
	escape(v);
}

// A text scene caught half-written, its groups still open, is not complete
// yet: the viewer keeps the scene it shows and says so in the overlay until
// the whole file comes.
TEST_F(SceneViewerTest, AHalfWrittenTextSceneIsKeptOutUntilTheWholeFileComes)
{
	const std::string scene = copyMinimal("half.zelv");
	ZelvProcess v(Folder, {"-syncupdate", "-paused", scene}, BATCH);
	ASSERT_TRUE(started(v)) << v.log();
	const SZelvShot before = v.screenshot(shot("before"));
	ASSERT_GT(before.width, 20) << "no screenshot";
	const auto overlaid = [](const SZelvShot& s) { return count(textPixels(s, 0, 31, 400, 45)) > 50; };
	ASSERT_FALSE(overlaid(before));

	const std::string text = edited({{"FP rawColor 1 0.95 0.9", "FP rawColor 0.1 1 0.1"}});
	writeFile(scene, text.substr(0, text.find("\t{ Objects")));
	ASSERT_TRUE(v.waitForLog("Update Scene...")) << v.log();
	const SZelvShot cut = shotUntil(v, "cut", overlaid);
	EXPECT_TRUE(overlaid(cut)) << "the overlay's text";
	EXPECT_EQ(differingPixels(before, cut, 45), 0) << "the scene shown is kept";
	EXPECT_NE(v.log().find("zeBuildScene: 'half.zelv' is not complete"), std::string::npos) << v.log();

	writeFile(scene, text);
	ASSERT_TRUE(v.waitForLog("Update Scene...", 2)) << v.log();
	const SZelvShot whole = shotUntil(v, "whole",
		[&](const SZelvShot& s) { return !overlaid(s) && differingPixels(before, s, 45) > 100; });
	EXPECT_FALSE(overlaid(whole)) << "the overlay is gone";
	EXPECT_GT(differingPixels(before, whole, 45), 100) << "the new light";
	escape(v);
}

// A shader file of a watched folder under the data prefix, written while the
// viewer runs, is rebuilt and the surface drawn with it changes. The program
// runs from a folder of its own with a copy of the engine's data.
TEST_F(SceneViewerTest, AShaderEditedInAWatchedFolderIsRebuilt)
{
	const std::string bin = Folder + "/bin";
	ASSERT_EQ(std::system(("mkdir -p " + bin + " && cp -r " ZELV_BINARY_DIR "/data " ZELV_BINARY_DIR
		"/zelv-setup.ini " + bin + "/ && (ln " ZELV_BINARY_DIR "/zelv " + bin + "/zelv 2>/dev/null || cp "
		ZELV_BINARY_DIR "/zelv " + bin + "/zelv) && mkdir -p " + bin + "/data/shadersSURF").c_str()), 0);
	const std::string effect = bin + "/data/shadersSURF/ViewerTint.hlsl";
	auto tint = [](const char* colour) {
		return std::string("//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection\n"
						   "//ZELV_PP: technique main\n//ZELV_PP: pass\n//ZELV_PP: vertex vsTint\n"
						   "//ZELV_PP: pixel psTint\n"
						   "float4x4 WorldViewProj;\n"
						   "float4 vsTint(float4 pos : POSITION) : POSITION { return mul(pos, WorldViewProj); }\n"
						   "float4 psTint() : COLOR { return float4(") + colour + ", 1); }\n";
	};
	writeFile(effect, tint("1, 0, 0"));
	const std::string scene = copyMinimal("tinted.zelv", {{"STR name \"Ball_Red\"",
		"STR name \"Ball_Red\"\n{ Shader\nI4 applyToSurface 0\n{ Effect\nSTR filename \"shadersSURF/ViewerTint.hlsl\"\n}\n}"}});
	ZelvProcess v(Folder, {"-paused", scene}, BATCH, bin + "/zelv");
	ASSERT_TRUE(started(v)) << v.log();
	const SZelvShot red = v.screenshot(shot("red"));
	ASSERT_GT(red.width, 20) << "no screenshot";
	writeFile(effect, tint("0, 0, 1"));
	ASSERT_TRUE(v.waitForLog("ZeGPU: shader file changed: " + effect)) << v.log();
	// The red pixels of the first picture, and those of them that a picture shows blue.
	const auto tinted = [&](const SZelvShot& now) {
		std::pair<int, int> redBlue(0, 0);
		for (int y = OVERLAY_ROWS; y < red.height && now.width == red.width && now.height == red.height; ++y)
			for (int x = 0; x < red.width; ++x)
			{
				const unsigned char* r = red.at(x, y);
				const unsigned char* b = now.at(x, y);
				if (r[0] > 200 && r[1] < 50 && r[2] < 50)
				{
					++redBlue.first;
					redBlue.second += (b[0] < 50 && b[1] < 50 && b[2] > 200) ? 1 : 0;
				}
			}
		return redBlue;
	};
	const SZelvShot blue = shotUntil(v, "blue", [&](const SZelvShot& s) {
		const std::pair<int, int> redBlue = tinted(s);
		return redBlue.second == redBlue.first;
	});
	const std::pair<int, int> redBlue = tinted(blue);
	EXPECT_GT(redBlue.first, 100) << "the tinted surface";
	EXPECT_EQ(redBlue.second, redBlue.first);
	EXPECT_EQ(v.log().find("kept the previous program"), std::string::npos) << v.log();
	escape(v);
}

// The scene's music, found in the "music" folder beside the scene's folder,
// plays along, and the animation keeps to it: the music stands at the
// scene's audio offset past the animation time.
TEST_F(SceneViewerTest, MusicFoundBesideTheScenePlaysAndKeepsTheSceneInTime)
{
	// Frames 10 to 130 at 30 a second, the audio starting 0.25 s into the
	// scene's time: the music is 10/30 - 0.25 s = 83 ms ahead of the animation.
	const std::string scene = copyMinimal("song.zelv", {{"I4 frameStart 0", "I4 frameStart 10"},
		{"I4 frameEnd 60", "I4 frameEnd 130\nSTR loadAudio \"C:\\lw\\song.wav\"\nFP audioStartTime 0.25"}});
	ASSERT_EQ(std::system(("mkdir -p " + Folder + "/music && cp " ZELV_SOURCE_DIR "/samples/music/tone.mp3 " + Folder +
		"/music/song.mp3").c_str()), 0);
	ZelvProcess v(Folder, {"-paused", scene}, BATCH);
	ASSERT_TRUE(started(v)) << v.log();
	EXPECT_NE(v.log().find("Loaded Music ../music/song.mp3"), std::string::npos) << v.log();
	// Run, paused and run on until the scene has run for a second with its music.
	ASSERT_TRUE(v.pressLogged("space", "ZeSceneViewer: running from frame 10.00")) << v.log();
	for (int tries = 0; tries < 100; ++tries)
	{
		const int ms = pauseHere(v);
		ASSERT_GE(ms, 0) << v.log();
		if (ms > 1000)
			break;
		ASSERT_TRUE(v.pressLogged("space", "ZeSceneViewer: running from frame")) << v.log();
	}
	const std::string log = v.log();
	const std::string last = log.substr(log.rfind("ZeSceneViewer: paused at frame"));
	std::smatch m;
	ASSERT_TRUE(std::regex_search(last, m, std::regex("paused at frame [0-9.]+ \\(([0-9]+) ms\\), music at ([0-9-]+) ms")))
		<< log;
	const int time = std::stoi(m[1]), music = std::stoi(m[2]);
	EXPECT_GT(time, 1000) << "the scene ran with the music";
	EXPECT_LT(time, 4000);
	EXPECT_NEAR(music - time, 83, 2);
	escape(v);
}

TEST_F(SceneViewerTest, BinaryLoadsAGoodSceneAndFreesItAndFailsOnABrokenOne)
{
	for (const char* name : {"showcase.zscn", "showcase.zelv", "minimal.zscn"})
	{
		SCOPED_TRACE(name);
		ZelvProcess v(Folder, {"-binary", SAMPLES + "/" + name}, BATCH);
		EXPECT_EQ(v.exitStatus(30), 0) << v.log();
		EXPECT_EQ(v.log().find("ERROR"), std::string::npos) << v.log();
	}
	const std::string whole = readFile(SAMPLES + "/minimal.zscn");
	const std::string broken = write("broken.zscn", whole.substr(0, whole.size() - 7));
	{
		ZelvProcess v(Folder, {"-binary", broken}, BATCH);
		EXPECT_EQ(v.exitStatus(30), 1) << v.log();
		EXPECT_NE(v.log().find("Failed to load scene"), std::string::npos) << v.log();
	}
	{
		// Folders and names longer than any fixed buffer would take (a folder
		// over 2 KB, the whole path within the system's limit).
		std::string deep = Folder;
		for (int i = 0; i < 9; ++i)
			deep += "/" + std::string(240, 'd');
		const std::string scene = deep + "/" + std::string(200, 's') + ".zelv";
		ASSERT_EQ(std::system(("mkdir -p " + deep + " && ln -s " + SAMPLES + "/objects " + deep + "/objects && cp " +
			SAMPLES + "/minimal.zelv " + scene).c_str()), 0);
		ZelvProcess v(Folder, {"-binary", scene}, BATCH);
		EXPECT_EQ(v.exitStatus(30), 0) << v.log();
		EXPECT_EQ(v.log().find("ERROR"), std::string::npos) << v.log();
	}
	{
		// Nobody to choose a file in batch mode.
		ZelvProcess v(Folder, std::vector<std::string>{"-binary"}, BATCH);
		EXPECT_EQ(v.exitStatus(30), 1) << v.log();
		EXPECT_NE(v.log().find("no scene file to load"), std::string::npos) << v.log();
	}
}

TEST_F(SceneViewerTest, ASceneThatCannotBeLoadedEndsWithItsMessage)
{
	const std::string broken = write("broken.zelv", "{ Scene\nXX what\n}\n");
	ZelvProcess v(Folder, {broken}, BATCH);
	EXPECT_EQ(v.exitStatus(30), 1) << v.log();
	EXPECT_NE(v.log().find("Failed to load scene"), std::string::npos) << v.log();
	EXPECT_EQ(v.log().find("Zelv Engine scene viewer ended"), std::string::npos) << v.log();
}

// An error box waits for its user. Escape closes it, the viewer runs on, and
// the next Escape ends it cleanly (the GUI no longer hands keys to the box).
// A plain kill ends a box as a close does: "-binary" on a cut scene exits
// with its failure.
TEST_F(SceneViewerTest, ErrorBoxesEndOnEscapeAndOnAKill)
{
	const ZelvProcess::Environment boxes;
	const std::string scene = copyMinimal("mute.zelv",
		{{"I4 frameEnd 60", "I4 frameEnd 60\nSTR loadAudio \"C:\\lw\\nothere.wav\""}});
	ZelvProcess v(Folder, {"-paused", scene}, boxes);
	ASSERT_TRUE(v.waitForLog("ERROR : Fail to find nothere.mp3", 1, FIRST_FRAME_SECONDS)) << v.log();
	ASSERT_FALSE(v.window().empty()) << v.log();
	v.key("key", "Escape");
	ASSERT_TRUE(v.waitForLog("ZeSceneViewer: first frame", 1, FIRST_FRAME_SECONDS)) << v.log();
	escape(v);

	const std::string whole = readFile(SAMPLES + "/minimal.zscn");
	ZelvProcess binary(Folder, {"-binary", write("cut.zscn", whole.substr(0, whole.size() - 7))}, boxes);
	ASSERT_TRUE(binary.waitForLog("ERROR : Failed to load scene", 1, FIRST_FRAME_SECONDS)) << binary.log();
	kill(binary.pid(), SIGTERM);
	EXPECT_EQ(binary.exitStatus(), 1) << binary.log();
}

// The full sample, in its binary form, opens with no error and draws: its
// flash (frames 20 to 30) whitens the middle of the picture, which is dark
// once the flash is over. The window is looked at once the viewer says which
// frame it drew first.
TEST_F(SceneViewerTest, TheFullSampleOpensWithNoErrorAndFlashesOnItsFrames)
{
	const auto middle = [](const SZelvShot& s) {
		long sum = 0, n = 0;
		for (int y = s.height * 3 / 8; y < s.height / 2; ++y)
			for (int x = s.width * 3 / 8; x < s.width * 5 / 8; ++x, ++n)
				sum += s.at(x, y)[0] + s.at(x, y)[1] + s.at(x, y)[2];
		return n ? static_cast<int>(sum / (3 * n)) : -1;
	};
	int brightness[2] = {};
	const int frames[] = {24, 40};
	for (int i = 0; i < 2; ++i)
	{
		SCOPED_TRACE(frames[i]);
		ZelvProcess v(Folder, {"-paused", "-framestart", std::to_string(frames[i]), SAMPLES + "/full.zscn"}, BATCH);
		ASSERT_TRUE(started(v)) << v.log();
		const std::string log = v.log();
		std::smatch m;
		ASSERT_TRUE(std::regex_search(log, m, std::regex("first frame ([0-9.]+) drawn"))) << log;
		EXPECT_NEAR(std::stod(m[1]), frames[i], 0.05);
		const SZelvShot s = v.screenshot(shot("full" + std::to_string(frames[i])));
		ASSERT_GT(s.width, 20) << "no screenshot";
		brightness[i] = middle(s);
		escape(v);
		EXPECT_EQ(v.log().find("ERROR"), std::string::npos) << v.log();
	}
	EXPECT_GT(brightness[0], 200) << "the flash";
	EXPECT_LT(brightness[1], 100) << "no flash";
}
