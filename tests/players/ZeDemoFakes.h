// Recording fakes of what the demo calls: scenes, musics, camera effects,
// faders, the loading screen, the window and the clock. Each call the demo
// makes is written to one trace as a line ("show 3", "fadein 1000 0", ...);
// answers come from the tables a test fills.
#pragma once

#include "frame/ZeFrameTestUtil.h"
#include "players/ZeDemo.h"
#include "players/ZeDemoCalls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zetest
{
// What a fake scene file holds.
struct SFakeScene
{
	int objects = 0, lights = 0, emitters = 0, cubeMaps = 0, cameraShaders = 0, effects = 0, renderer = 0;
	std::string audio;  // "" for none
	int audioOffset = 0;
	int loadResult = 0;
};

struct SFakeEngine
{
	std::vector<std::string> trace;
	std::map<std::string, SFakeScene> files;  // by scene file name
	std::map<int, std::string> loaded;        // scene ID -> file
	std::set<std::string> missing;            // music and shader paths that do not load
	std::map<int, std::string> musics;        // music ID -> path
	std::map<int, int> positions;             // music ID -> position (-1 unknown)
	std::set<int> cameraEffects;
	unsigned int clock = 0;
	int running = 1;
	int escape = 0;
	int cancelAtLoad = -1;  // the scene load (counted from 0) whose progress answer is read
	int sceneLoads = 0;
	bool screenShotFails = false;
	std::string lastFrame;  // what the last frame file written holds
	std::vector<int> progressShown;

	void record(const std::string& line) { trace.push_back(line); }
	// The trace lines that start with `prefix`.
	std::vector<std::string> lines(const std::string& prefix) const
	{
		std::vector<std::string> out;
		for (const std::string& line : trace)
			if (line.compare(0, prefix.size(), prefix) == 0)
				out.push_back(line);
		return out;
	}
	const SFakeScene* scene(int id) const
	{
		auto at = loaded.find(id);
		auto file = at == loaded.end() ? files.end() : files.find(at->second);
		return file == files.end() ? nullptr : &file->second;
	}
};

inline SFakeEngine*& fake()
{
	static SFakeEngine* engine = nullptr;
	return engine;
}

inline std::string joined(std::initializer_list<std::string> words)
{
	std::string out;
	for (const std::string& w : words)
		out += (out.empty() ? "" : " ") + w;
	return out;
}

inline std::string str(int v) { return std::to_string(v); }

inline int totalOf(int id, int SFakeScene::*field)
{
	const SFakeScene* s = fake()->scene(id);
	return s ? s->*field : -1;
}

// Installs the fakes in the demo's call table for the life of a test and
// captures the log.
class DemoFakes : public ::testing::Test
{
protected:
	void SetUp() override
	{
		fake() = &Engine;
		char cwd[PATH_MAX];
		ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
		Cwd = cwd;
		logLines().clear();
		zeSetLogSink(captureLog);
		SZeDemoCalls& c = zeDemoCalls();
		c.loadScene = [](const char* path, int sceneId, int o, int l, int e, int cm, int cs, int r, int fx, int reuse,
						  const char* group, int extra) {
			SFakeEngine& f = *fake();
			f.record(joined({"load", path, str(sceneId), str(o), str(l), str(e), str(cm), str(cs), str(r), str(fx),
				str(reuse), group, str(extra)}));
			if (f.cancelAtLoad == f.sceneLoads++ && c_callback)
				f.record("progress answer " + str(c_callback(50, c_user)));
			auto file = f.files.find(path);
			const int result = file == f.files.end() ? -1 : file->second.loadResult;
			if (result != -1)
				f.loaded[sceneId] = path;
			return result;
		};
		c.deleteScene = [](int id) { fake()->record("delete " + str(id)); };
		c.setLoadSceneCallback = [](ZeDemoSceneCallback callback, void* user) {
			c_callback = callback;
			c_user = user;
		};
		c.setSceneLoadWarnings = [](int flag) { fake()->record("warnings " + str(flag)); };
		c.sceneTotalObjects = [](int id) { return totalOf(id, &SFakeScene::objects); };
		c.sceneTotalLights = [](int id) { return totalOf(id, &SFakeScene::lights); };
		c.sceneTotalFxEmitters = [](int id) { return totalOf(id, &SFakeScene::emitters); };
		c.sceneTotalCubeMaps = [](int id) { return totalOf(id, &SFakeScene::cubeMaps); };
		c.sceneTotalCameraShaders = [](int id) { return totalOf(id, &SFakeScene::cameraShaders); };
		c.sceneTotalEffects = [](int id) { return totalOf(id, &SFakeScene::effects); };
		c.sceneHasRenderer = [](int id) { return totalOf(id, &SFakeScene::renderer); };
		c.getSceneAudio = [](int id) -> const char* {
			const SFakeScene* s = fake()->scene(id);
			return s && !s->audio.empty() ? s->audio.c_str() : nullptr;
		};
		c.getSceneAudioOffset = [](int id) {
			const SFakeScene* s = fake()->scene(id);
			return s ? s->audioOffset : 0;
		};
		c.prepareSceneRender = [](int id) { fake()->record("prepare " + str(id)); };
		c.showScene = [](int id) { fake()->record("show " + str(id)); };
		c.hideScene = [](int id) { fake()->record("hide " + str(id)); };
		c.stashScene = [](int id) { fake()->record("stash " + str(id)); };
		c.showSceneFxEmitters = [](int id) { fake()->record("emitters " + str(id)); };
		c.animateScene = [](int id, int t) { fake()->record("animate " + str(id) + " " + str(t)); };
		c.renderSceneCubeMaps = [](int id, int t) { fake()->record("cubemaps " + str(id) + " " + str(t)); };
		c.loadMusic = [](const char* path, int id) {
			fake()->record("music " + std::string(path) + " " + str(id));
			if (!fake()->missing.count(path))
				fake()->musics[id] = path;
			return 0;
		};
		c.deleteMusic = [](int id) {
			fake()->record("deletemusic " + str(id));
			return 0;
		};
		c.musicExist = [](int id) { return static_cast<int>(fake()->musics.count(id)); };
		c.playMusic = [](int id) {
			fake()->record("play " + str(id));
			return 0;
		};
		c.stopMusic = [](int id) {
			fake()->record("stop " + str(id));
			return 0;
		};
		c.getMusicPosition = [](int id) {
			auto at = fake()->positions.find(id);
			return at == fake()->positions.end() ? -1 : at->second;
		};
		c.makeCameraEffectFromFile = [](int id, const char* file) {
			fake()->record("effect " + str(id) + " " + file);
			if (!fake()->missing.count(file))
				fake()->cameraEffects.insert(id);
			return 0;
		};
		c.cameraEffectExist = [](int id) { return static_cast<int>(fake()->cameraEffects.count(id)); };
		c.showCameraEffect = [](int id) { fake()->record("on " + str(id)); };
		c.hideCameraEffect = [](int id) { fake()->record("off " + str(id)); };
		c.deleteCameraEffect = [](int id) { fake()->record("deleteeffect " + str(id)); };
		c.fadeIn = [](int time, int colour) { fake()->record("fadein " + str(time) + " " + str(colour)); };
		c.fadeOut = [](int time, int colour) { fake()->record("fadeout " + str(time) + " " + str(colour)); };
		c.stopFade = [] { fake()->record("stopfade"); };
		c.loadingScreenBegin = [] { fake()->record("loading begin"); };
		c.loadingScreenProgress = [](int percent) { fake()->progressShown.push_back(percent); };
		c.loadingScreenEnd = [] { fake()->record("loading end"); };
		c.setCameraRange = [](float n, float f) {
			std::ostringstream line;
			line << "range " << n << " " << f;
			fake()->record(line.str());
		};
		c.run = [] { return fake()->running; };
		c.sync = [] { fake()->record("sync"); };
		c.timer = [] { return fake()->clock; };
		c.sleep = [](int ms) { fake()->record("sleep " + str(ms)); };
		c.escapeKeyEverPressed = [] { return fake()->escape; };
		c.writeFrame = [](const char* file, int repeat) {
			SFakeEngine& f = *fake();
			f.record((repeat ? "repeat " : "shot ") + std::string(file));
			if (f.screenShotFails)
				return -1;
			if (!repeat)
				f.lastFrame = std::string("frame drawn before ") + file;
			writeText(file, f.lastFrame);
			return 0;
		};
		c.finishFrames = [] {
			fake()->record("finish");
			return 0;
		};
		c.holdFrameClock = [](unsigned int ms) { fake()->record("clock " + str(static_cast<int>(ms))); };
		c.releaseFrameClock = [] { fake()->record("clock released"); };
		c.seedRandom = [](unsigned int seed) { fake()->record("seed " + str(static_cast<int>(seed))); };
	}
	void TearDown() override
	{
		zeDemoCalls() = SZeDemoCalls();
		zeSetLogSink(nullptr);
		zeFileSetCurrentDir("");
		EXPECT_EQ(chdir(Cwd.c_str()), 0);
		fake() = nullptr;
		c_callback = nullptr;
	}

	// A description file in a scratch folder of the test.
	std::string writeDemo(const std::string& text)
	{
		if (Folder.empty())
		{
			char name[] = "/tmp/zelv-demo-XXXXXX";
			EXPECT_NE(mkdtemp(name), nullptr);
			Folder = name;
		}
		const std::string path = Folder + "/test.demo.ini";
		writeText(path, text);
		return path;
	}
	static std::unique_ptr<SZeDemo> newDemo() { return std::unique_ptr<SZeDemo>(new SZeDemo()); }
	// The log lines at error level.
	static std::vector<std::string> errors()
	{
		std::vector<std::string> out;
		for (const std::string& line : logLines())
			if (line.rfind("ERROR : ", 0) == 0)
				out.push_back(line.substr(8, line.find_last_not_of("\n") - 7));
		return out;
	}
	~DemoFakes() override
	{
		if (!Folder.empty())
			std::filesystem::remove_all(Folder);
	}

	SFakeEngine Engine;
	std::string Folder;
	std::string Cwd;
	static inline ZeDemoSceneCallback c_callback = nullptr;
	static inline void* c_user = nullptr;
};
} // namespace zetest
