// Demo descriptions read and loaded against recording fakes of the engine:
// every key into its field, the refusals and caps, IDs handed out across
// parts, the parts' times from their scenes' music, the loading screen's
// progress and cancel, and freeing.
#include "ZeDemoFakes.h"

#include <cstring>

using namespace zetest;

namespace
{
// Part sections named part0, part1, ... each with a time.
std::string parts(int count)
{
	std::string text;
	for (int i = 0; i < count; ++i)
		text += "[part" + std::to_string(i) + "]\ntime = " + std::to_string(i * 100) + "\n";
	return text;
}

class DemoLoadTest : public DemoFakes
{
protected:
	// Parses, resets the IDs and works out the times, as loading does.
	int timesOf(const std::string& text, SZeDemo* demo)
	{
		int ids[EZEDC_COUNT] = {0, 1, 0, 0, 0, 0, 0, 0, 1, 1};
		if (zeDemoParseIni(demo, writeDemo(text).c_str()) != 0)
			return -2;
		zeDemoResetIds(demo);
		EXPECT_EQ(zeDemoLoadScenes(demo, ids), 0);
		return zeDemoComputePartTimes(demo);
	}
};
} // namespace

TEST_F(DemoLoadTest, EveryKeyOfADescriptionReachesItsField)
{
	const std::string text = "[setup]\nmusicdirectory = music\npalettedirectory = pal\nshadersdirectory = fx\n"
							 "[notes]\ntime = 5\n"
							 "[Intro Part]\ntime = 1500\ntimereset = 1\nmusic = song.mp3\npalette = warm.pal\n"
							 "palette.g = 7\npalette.b = 9\ndirectory = scenes\nfilename = a.zscn\n"
							 "camerarange = 0.5 250\nreuseobjects = 1\nflushobjects = 1\n"
							 "extra.0.directory = ex\nextra.0.filename = e0.zelv\nextra.0.time = 10\nextra.0.length = 20\n"
							 "extra.0.reuseobjects = 1\nextra.0.flushobjects = 1\n"
							 "extra.1.directory = only-a-folder\n"
							 "extra.3.directory = ex3\nextra.3.filename = e3.zelv\n"
							 "shader.1.name = glow.hlsl\nshader.1.time = 30\nshader.1.length = 40\n"
							 "shader.5.name = wave.hlsl\n"
							 "fader.0.time = 50\nfader.0.length = 60\nfader.0.fadelength = 70\nfader.0.color = 255\n"
							 "fader.0.fadein = 0\n"
							 "fader.2.time = 0\n"
							 "[part2]\n";
	auto demo = newDemo();
	ASSERT_EQ(zeDemoParseIni(demo.get(), writeDemo(text).c_str()), 0);
	EXPECT_STREQ(demo->musicDirectory, "music");
	EXPECT_STREQ(demo->paletteDirectory, "pal");
	EXPECT_STREQ(demo->shadersDirectory, "fx");
	ASSERT_EQ(demo->partCount, 2) << "only sections whose name holds \"part\"";

	const SZeDemoPart& p = demo->parts[0];
	EXPECT_STREQ(p.name, "intro part");
	EXPECT_EQ(p.time, 1500);
	EXPECT_EQ(p.timeReset, 1);
	EXPECT_EQ(p.timeBase, 0);
	EXPECT_STREQ(p.music, "song.mp3");
	EXPECT_STREQ(p.palette, "warm.pal");
	EXPECT_EQ(p.paletteChannel, 1);
	EXPECT_EQ(p.paletteValue, 7);
	EXPECT_STREQ(p.directory, "scenes");
	EXPECT_STREQ(p.filename, "a.zscn");
	EXPECT_FLOAT_EQ(p.cameraNear, 0.5f);
	EXPECT_FLOAT_EQ(p.cameraFar, 250.0f);
	EXPECT_EQ(p.reuseObjects, 1);
	EXPECT_EQ(p.flushObjects, 1);

	ASSERT_EQ(p.extraCount, 2) << "an extra needs both its folder and its file";
	EXPECT_STREQ(p.extras[0].directory, "ex");
	EXPECT_STREQ(p.extras[0].filename, "e0.zelv");
	EXPECT_EQ(p.extras[0].time, 10);
	EXPECT_EQ(p.extras[0].length, 20);
	EXPECT_EQ(p.extras[0].reuseObjects, 1);
	EXPECT_EQ(p.extras[0].flushObjects, 1);
	EXPECT_STREQ(p.extras[1].filename, "e3.zelv") << "packed in index order";
	EXPECT_EQ(p.extras[1].time + p.extras[1].length + p.extras[1].reuseObjects + p.extras[1].flushObjects, 0);

	ASSERT_EQ(p.shaderCount, 2);
	EXPECT_STREQ(p.shaders[0].name, "glow.hlsl");
	EXPECT_EQ(p.shaders[0].time, 30);
	EXPECT_EQ(p.shaders[0].length, 40);
	EXPECT_STREQ(p.shaders[1].name, "wave.hlsl");
	EXPECT_EQ(p.shaders[1].time + p.shaders[1].length, 0);

	ASSERT_EQ(p.faderCount, 2);
	EXPECT_EQ(p.faders[0].time, 50);
	EXPECT_EQ(p.faders[0].length, 60);
	EXPECT_EQ(p.faders[0].fadeLength, 70);
	EXPECT_EQ(p.faders[0].color, 255);
	EXPECT_EQ(p.faders[0].fadeOut, 0) << "\"fadein\" present, whatever its value";
	EXPECT_EQ(p.faders[1].time, 0);
	EXPECT_EQ(p.faders[1].length, 1000);
	EXPECT_EQ(p.faders[1].fadeLength, 1000);
	EXPECT_EQ(p.faders[1].color, 0);
	EXPECT_EQ(p.faders[1].fadeOut, 1);

	const SZeDemoPart& q = demo->parts[1];
	EXPECT_EQ(q.time, -1);
	EXPECT_EQ(q.timeBase, -1);
	EXPECT_EQ(q.paletteChannel, -1);
	EXPECT_FLOAT_EQ(q.cameraNear, 0.1f);
	EXPECT_FLOAT_EQ(q.cameraFar, 1000.0f);
	EXPECT_EQ(q.extraCount + q.shaderCount + q.faderCount, 0);

	zeDemoResetIds(demo.get());
	for (const SZeDemoPart* part : {&p, &q})
		EXPECT_EQ(part->musicId & part->paletteId & part->sceneId & part->firstObjectId & part->firstLightId &
			part->firstFxEmitterId & part->firstCubeMapId, -1);
	EXPECT_EQ(p.extras[0].sceneId & p.extras[1].firstCubeMapId, -1);
	EXPECT_EQ(p.shaders[0].cameraEffectId & p.shaders[1].cameraEffectId, -1);
}

TEST_F(DemoLoadTest, RefusedDescriptionsSayWhy)
{
	const struct
	{
		const char* text;
		const char* message;
	} cases[] = {
		{"[setup]\nmusicdirectory = m\n[intro]\ntime = 0\n", "No parts!"},
		{nullptr, "Fail to parse ini"},
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.message);
		logLines().clear();
		auto demo = newDemo();
		const std::string path = c.text ? writeDemo(c.text) : "/nonexistent/x.demo.ini";
		EXPECT_EQ(zeDemoParseIni(demo.get(), path.c_str()), -1);
		EXPECT_EQ(errors(), std::vector<std::string>{c.message});
	}
	auto demo = newDemo();
	EXPECT_EQ(zeDemoParseIni(demo.get(), nullptr), -1);
	EXPECT_EQ(errors().back(), "Fail to load (null)");

	// 64 parts fit; the 65th refuses the file, which is then not loaded at all.
	EXPECT_EQ(zeDemoParseIni(newDemo().get(), writeDemo(parts(64)).c_str()), 0);
	logLines().clear();
	EXPECT_EQ(zeDemoLoad(newDemo().get(), writeDemo(parts(65)).c_str(), std::vector<int>(EZEDC_COUNT).data()), -1);
	EXPECT_EQ(errors(), std::vector<std::string>{"Too many parts (max 64)"});
	EXPECT_TRUE(Engine.trace.empty());
}

TEST_F(DemoLoadTest, ListsAndTextsAreCutToTheirRecords)
{
	const std::string name = "part" + std::string(46, 'x');
	std::string text = "[" + name + "]\ntime = 0\nfilename = " + std::string(200, 'f') + "\n";
	for (int i = 0; i < 20; ++i)
	{
		const std::string n = std::to_string(i);
		text += "extra." + n + ".directory = d" + n + "\nextra." + n + ".filename = e" + n + "\n";
		text += "shader." + n + ".name = s" + n + "\n";
	}
	auto demo = newDemo();
	ASSERT_EQ(zeDemoParseIni(demo.get(), writeDemo(text).c_str()), 0);
	const SZeDemoPart& p = demo->parts[0];
	EXPECT_EQ(p.extraCount, 15);
	EXPECT_STREQ(p.extras[14].filename, "e14");
	EXPECT_EQ(p.shaderCount, 10);
	EXPECT_STREQ(p.shaders[9].name, "s9");
	EXPECT_EQ(std::string(p.name), name.substr(0, 39));
	EXPECT_EQ(std::string(p.filename), std::string(127, 'f'));
	EXPECT_EQ(countLines("WARN : ZeDemo: '"), 2);
}

// Scenes take the counters as their first IDs and advance them by what they
// hold; extras load the same way in extra mode; musics and palettes count on
// their own; one shader file named twice (in any case) is one camera effect.
TEST_F(DemoLoadTest, IdsAreHandedOutAcrossPartsAndExtras)
{
	SFakeScene a;
	a.objects = 3, a.lights = 2, a.emitters = 1, a.cubeMaps = 1, a.cameraShaders = 2, a.renderer = 1, a.effects = 4;
	SFakeScene e;
	e.objects = 2, e.emitters = 5;
	Engine.files = {{"a.zscn", a}, {"e.zelv", e}, {"b.zelv", SFakeScene()}};
	const std::string text = "[setup]\nmusicdirectory = m\nshadersdirectory = fx\n"
							 "[part1]\ntime = 0\nmusic = x.mp3\npalette = p\ndirectory = s\nfilename = a.zscn\n"
							 "reuseobjects = 1\nextra.0.directory = ex\nextra.0.filename = e.zelv\n"
							 "shader.0.name = Warm.hlsl\nshader.1.name = glow.hlsl\n"
							 "[part2]\ntime = 100\nmusic = x.mp3\npalette = q\ndirectory = s\nfilename = b.zelv\n"
							 "shader.0.name = warm.HLSL\n"
							 "[part3]\ntime = 200\n";
	auto demo = newDemo();
	int ids[EZEDC_COUNT] = {0, 1, 0, 0, 0, 0, 0, 0, 1, 1};
	ASSERT_EQ(zeDemoLoad(demo.get(), writeDemo(text).c_str(), ids), 0) << ::testing::PrintToString(errors());

	const std::vector<std::string> expected = {
		"warnings 1",
		"loading begin",
		"load a.zscn 0 1 0 0 0 0 0 0 1 s 0",
		"load e.zelv 1 4 2 1 1 2 1 4 0 ex 1",
		"load b.zelv 2 6 2 6 1 2 1 4 0 s 0",
		"music m/x.mp3 1",
		"music m/x.mp3 2",
		"effect 2 fx/Warm.hlsl",
		"effect 3 fx/glow.hlsl",
		"loading end",
	};
	EXPECT_EQ(Engine.trace, expected);
	const SZeDemoPart* p = demo->parts;
	EXPECT_EQ(p[0].sceneId, 0);
	EXPECT_EQ(p[0].firstObjectId, 1);
	EXPECT_EQ(p[0].extras[0].sceneId, 1);
	EXPECT_EQ(p[0].extras[0].firstObjectId, 4);
	EXPECT_EQ(p[0].extras[0].firstLightId, 2);
	EXPECT_EQ(p[0].extras[0].firstFxEmitterId, 1);
	EXPECT_EQ(p[0].extras[0].firstCubeMapId, 1);
	EXPECT_EQ(p[1].sceneId, 2);
	EXPECT_EQ(p[1].firstFxEmitterId, 6);
	EXPECT_EQ(p[2].sceneId, -1);
	EXPECT_EQ(p[0].paletteId, 1);
	EXPECT_EQ(p[1].paletteId, 2);
	EXPECT_EQ(p[0].musicId, 1);
	EXPECT_EQ(p[1].musicId, 2);
	EXPECT_EQ(p[0].shaders[0].cameraEffectId, 2);
	EXPECT_EQ(p[0].shaders[1].cameraEffectId, 3);
	EXPECT_EQ(p[1].shaders[0].cameraEffectId, 2);
	const int after[EZEDC_COUNT] = {3, 6, 2, 6, 1, 4, 1, 4, 3, 3};
	EXPECT_EQ(std::vector<int>(ids, ids + EZEDC_COUNT), std::vector<int>(after, after + EZEDC_COUNT));

	// Freeing: musics, then scenes (extras with their part), then camera effects.
	Engine.trace.clear();
	zeDemoFree(demo.get());
	const std::vector<std::string> freed = {"deletemusic 1", "deletemusic 2", "delete 0", "delete 1", "delete 2",
		"deleteeffect 2", "deleteeffect 3", "deleteeffect 2"};
	EXPECT_EQ(Engine.trace, freed);
	EXPECT_EQ(p[0].sceneId & p[0].musicId & p[0].paletteId & p[0].shaders[0].cameraEffectId, -1);
	Engine.trace.clear();
	zeDemoFree(demo.get());
	EXPECT_TRUE(Engine.trace.empty()) << "freed once";
}

TEST_F(DemoLoadTest, WhatDoesNotLoadStopsTheLoadWithItsName)
{
	SFakeScene broken;
	broken.loadResult = -1;
	Engine.files = {{"ok.zelv", SFakeScene()}, {"broken.zelv", broken}};
	Engine.missing = {"m/gone.mp3", "fx/gone.hlsl"};
	const struct
	{
		const char* part;
		const char* message;
	} cases[] = {
		{"filename = broken.zelv\n", "Fail to load scene broken.zelv"},
		{"filename = ok.zelv\nextra.2.directory = x\nextra.2.filename = broken.zelv\n",
			"Fail to load in scene ok.zelv the extra id=0 broken.zelv"},
		{"music = gone.mp3\n", "Fail to load music gone.mp3"},
		{"shader.0.name = gone.hlsl\n", "Failed to load shader fx/gone.hlsl"},
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.message);
		logLines().clear();
		int ids[EZEDC_COUNT] = {0, 1, 0, 0, 0, 0, 0, 0, 1, 1};
		const std::string text = "[setup]\nmusicdirectory = m\nshadersdirectory = fx\n[part1]\ntime = 0\n" +
			std::string(c.part) + "[part2]\ntime = 10\n";
		EXPECT_EQ(zeDemoLoad(newDemo().get(), writeDemo(text).c_str(), ids), -1);
		EXPECT_EQ(errors(), std::vector<std::string>{c.message});
	}
}

// A part without a time continues the music before it at its scene's audio
// offset; a part with a time whose scene has audio starts the scene's music.
TEST_F(DemoLoadTest, PartTimesFollowTheScenesMusic)
{
	SFakeScene song;
	song.audio = "C:\\audio\\Song.wav";
	SFakeScene later = song;
	later.audioOffset = 2500;
	SFakeScene other;
	other.audio = "other.ogg";
	SFakeScene own;
	own.audio = "own.wav";
	own.audioOffset = 1500;
	Engine.files = {{"song.zelv", song}, {"later.zelv", later}, {"other.zelv", other}, {"own.zelv", own},
		{"silent.zelv", SFakeScene()}};
	auto demo = newDemo();
	ASSERT_EQ(timesOf("[p1part]\ntime = 1000\nfilename = song.zelv\n"
					  "[p2part]\nfilename = later.zelv\n"
					  "[p3part]\ntime = 6000\ntimereset = 1\nmusic = own.mp3\n"
					  "[p4part]\nfilename = own.zelv\n"
					  "[p5part]\ntime = 9000\nfilename = silent.zelv\n",
				  demo.get()),
		0) << ::testing::PrintToString(errors());
	const SZeDemoPart* p = demo->parts;
	EXPECT_STREQ(p[0].music, "Song.mp3") << "the scene's audio file, as an mp3";
	EXPECT_EQ(p[0].time, 1000);
	EXPECT_EQ(p[1].time, 3500) << "offset 2500 + the time base of the part holding the music";
	EXPECT_EQ(p[1].timeBase, 3500);
	EXPECT_STREQ(p[1].music, "");
	EXPECT_EQ(p[3].time, 1500) << "after a time reset the music's part counts from 0";
	EXPECT_EQ(p[4].time, 9000);
	EXPECT_STREQ(p[4].music, "");

	const struct
	{
		const char* text;
		const char* message;
	} cases[] = {
		{"[apart]\nmusic = a.mp3\nfilename = song.zelv\n",
			"Part apart: no time, but music specified in the part, impossible to determine time begin of the part"},
		{"[apart]\nfilename = silent.zelv\n",
			"Part apart: no time, and no music specified in scene, impossible to determine time begin of the part"},
		{"[apart]\nfilename = later.zelv\n",
			"Part apart: when no time in part and a music in the scene, there must be a music before"},
		{"[apart]\ntime = 0\nmusic = song.mp3\n[bpart]\ntime = 10\ntimereset = 1\n[cpart]\nfilename = later.zelv\n",
			"Part cpart: timereset no supported before a part that has a music within the scene"},
		{"[apart]\ntime = 0\nfilename = other.zelv\n[bpart]\nfilename = later.zelv\n",
			"Part bpart: when no time in part, the music in the scene must be the same than the previous music"},
		{"[apart]\ntime = 0\nmusic = song.MP3\n[bpart]\ntime = 10\nfilename = song.zelv\n",
			"Part bpart: music within the scene, with a time in the part :the music must not be the same music than "
			"previous"},
		{"[apart]\ntime = 0\nfilename = later.zelv\n",
			"Part apart: music within the scene, with a time in the part :the music offset within the scene must be "
			"zero"},
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.message);
		logLines().clear();
		Engine.loaded.clear();
		EXPECT_EQ(timesOf(c.text, newDemo().get()), -1);
		EXPECT_EQ(errors(), std::vector<std::string>{c.message});
	}
}

TEST_F(DemoLoadTest, ProgressCoversEachPartsShareAndEscapeOrACloseCancels)
{
	SZeDemoProgress progress = {1, 4};
	for (const auto& step : std::vector<std::pair<int, int>>{{0, 25}, {50, 37}, {100, 50}, {33, 33}})
	{
		Engine.progressShown.clear();
		EXPECT_EQ(zeDemoShowProgress(step.first, &progress), 0);
		EXPECT_EQ(Engine.progressShown, std::vector<int>{step.second}) << step.first;
	}
	Engine.escape = 1;
	EXPECT_EQ(zeDemoShowProgress(0, &progress), 1);
	Engine.escape = 0;
	Engine.running = 0;
	EXPECT_EQ(zeDemoShowProgress(0, &progress), 1);

	// A cancel during a part's load ends the load at once, silently, with 1;
	// the slot it used is freed with the demo.
	SFakeScene cancelled;
	cancelled.loadResult = 1;
	Engine.files = {{"a.zelv", SFakeScene()}, {"b.zelv", cancelled}};
	Engine.running = 1;
	Engine.cancelAtLoad = 0;
	logLines().clear();
	int ids[EZEDC_COUNT] = {0, 1, 0, 0, 0, 0, 0, 0, 1, 1};
	auto demo = newDemo();
	EXPECT_EQ(zeDemoLoad(demo.get(),
				  writeDemo("[p1part]\ntime = 0\nfilename = a.zelv\n[p2part]\ntime = 5\nfilename = b.zelv\n"
							"[p3part]\nfilename = c.zelv\n[end part]\ntime = 9\n")
					  .c_str(),
				  ids),
		1);
	EXPECT_EQ(Engine.lines("progress answer"), std::vector<std::string>{"progress answer 0"});
	EXPECT_EQ(Engine.lines("load ").size(), 2u) << "nothing after the cancel";
	EXPECT_EQ(Engine.progressShown.back(), 12) << "part 0 of 4 at 50 percent";
	EXPECT_TRUE(errors().empty());
	Engine.trace.clear();
	zeDemoFree(demo.get());
	EXPECT_EQ(Engine.lines("delete "), (std::vector<std::string>{"delete 0", "delete 1"}));
}
