// zelv-demo-bench: the demo player in one process.
//
//   capture against play   a demo played in real time, then captured into a
//                          scratch folder, at the same window size; frames
//                          per second of each loop (from the end of the pause
//                          before the first frame to the end of the last
//                          frame; when capturing, until every file is
//                          written) and their ratio, for two demos:
//                            the sample demo (frames of about 20 ms under
//                            llvmpipe) captured at 30 frames per second;
//                            the light demo (bench/data/light.demo.ini: one
//                            lit object on the simple renderer with its
//                            4-sample antialiasing, the default without the
//                            light pre-pass; frames of about 2 to 4 ms at
//                            640x480 under llvmpipe) captured at 60 frames
//                            per second
//                          (goal: capture at least 0.9 of play for each)
//   start to first frame   a fresh engine set up and the demo loaded, prepared
//                          and begun, with the shader cache warm from the runs
//                          before, to the end of the first frame of the demo
//                          (goal: at most 1.5 s, the 200 ms pause included)
//
// Each is run five times; the medians are printed.
//
// Usage: xvfb-run -a build/bench/zelv-demo-bench [WIDTHxHEIGHT]   (default 640x480)
#include "api/ZeMusic.h"
#include "api/ZeObjectApi.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "players/ZeDemoCalls.h"
#include "players/ZeDemoPlayer.h"
#include "scene/CZeResourceManagerScene.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

const int PAUSE_MS = 200;
const int RUNS = 5;

// A demo to play and capture, and how the engine is set up for it.
struct SDemoCase
{
	const char* name;
	const char* path;
	float captureFps;
	int lightPrePass;
	int antialias;
};
const SDemoCase SAMPLE_DEMO = {"sample demo", ZELV_SOURCE_DIR "/samples/demo/sample.demo.ini", 30.0f, 1, 1};
const SDemoCase LIGHT_DEMO = {"light demo", ZELV_SOURCE_DIR "/bench/data/light.demo.ini", 60.0f, 0, 1};

// What the loop of one run did, seen through the demo's call table.
struct SLoopTimes
{
	Clock::time_point start;       // the pause before the first frame ended
	Clock::time_point firstFrame;  // the first frame of the loop ended
	Clock::time_point lastFrame;
	int frames = 0;
	bool looping = false;
} g_loop;

SZeDemoCalls g_engine;  // the engine's own functions

void sleepThenStart(int ms)
{
	g_engine.sleep(ms);
	if (ms == PAUSE_MS)
	{
		g_loop.looping = true;
		g_loop.start = Clock::now();
	}
}

void frameEnded()
{
	if (!g_loop.looping)
		return;
	g_loop.lastFrame = Clock::now();
	if (g_loop.frames++ == 0)
		g_loop.firstFrame = g_loop.lastFrame;
}

bool g_capturing = false;

void syncAndCount()
{
	g_engine.sync();
	// While capturing a frame ends when its file is asked for.
	if (!g_capturing)
		frameEnded();
}

int writeAndCount(const char* file, int repeat)
{
	const int result = g_engine.writeFrame(file, repeat);
	frameEnded();
	return result;
}

// The capture ends when its last file is on disk.
int finishAndTime()
{
	const int result = g_engine.finishFrames();
	if (g_loop.looping)
		g_loop.lastFrame = Clock::now();
	return result;
}

bool setUp(int width, int height, const SDemoCase& demo)
{
	SZeSetupParams params;
	zeInitSetupParams(&params);
	params.windowed = 1;
	params.width = width;
	params.height = height;
	params.vsync = 0;
	params.lightPrePass = demo.lightPrePass;
	params.antialias = demo.antialias;
	params.dataPrefix = ZELV_BINARY_DIR "/data";
	return zeSetup(&params) == 0 && zeGetContext()->driver->getDriverType() == irr::video::EDT_OPENGL;
}

// One run of a demo on a fresh engine; false when it fails.
bool runDemo(const SDemoCase& demo, int width, int height, const char* captureBase)
{
	g_loop = SLoopTimes();
	SZeDemoCalls& calls = zeDemoCalls();
	calls.sleep = sleepThenStart;
	calls.sync = syncAndCount;
	calls.writeFrame = writeAndCount;
	calls.finishFrames = finishAndTime;
	g_capturing = captureBase != nullptr;
	const bool ok = setUp(width, height, demo) &&
		(captureBase ? zeDemoCapture(demo.path, captureBase, demo.captureFps) : zeDemoPlay(demo.path)) == 0;
	zeTerm();
	return ok && g_loop.frames > 1;
}

double seconds(Clock::time_point from, Clock::time_point to)
{
	return std::chrono::duration<double>(to - from).count();
}

double median(std::vector<double> values)
{
	std::sort(values.begin(), values.end());
	return values[values.size() / 2];
}

// Seconds from a fresh engine's set-up to the end of the demo's first frame,
// the demo loaded, prepared and begun; -1 when it did not start.
double startToFirstFrame(const SDemoCase& demo, int width, int height)
{
	const Clock::time_point begin = Clock::now();
	g_loop = SLoopTimes();
	SZeDemoCalls& calls = zeDemoCalls();
	g_capturing = false;
	calls.run = [] { return g_loop.frames ? 0 : g_engine.run(); };
	const bool ok = setUp(width, height, demo) && zeDemoPlay(demo.path) == 0;
	zeTerm();
	calls.run = g_engine.run;
	return ok && g_loop.frames ? seconds(begin, g_loop.firstFrame) : -1.0;
}

// The medians' samples of one demo.
struct SMedians
{
	const SDemoCase* demo = nullptr;
	std::vector<double> play, capture, ratio, start;
};
} // namespace

int main(int argc, char** argv)
{
	int width = 640, height = 480;
	if (argc > 1 && std::sscanf(argv[1], "%dx%d", &width, &height) != 2)
	{
		std::fprintf(stderr, "usage: zelv-demo-bench [WIDTHxHEIGHT]\n");
		return 2;
	}
	setenv("ZELV_BATCH", "1", 1);
	setenv("SDL_AUDIODRIVER", "dummy", 0);
	zeSetLogLevel(EZELL_WARN);
	zeInstallEngineCore();
	zeRegisterSceneFactories();
	zeInstallMusic();
	zeInstallObjectApi();
	const std::string folder = std::filesystem::temp_directory_path().string() + "/zelv-demo-bench";
	const std::string base = folder + "/f";

	std::vector<SMedians> medians;
	for (const SDemoCase* demo : {&SAMPLE_DEMO, &LIGHT_DEMO})
	{
		SMedians m;
		m.demo = demo;
		for (int run = 0; run < RUNS; ++run)
		{
			if (!runDemo(*demo, width, height, nullptr))
			{
				std::fprintf(stderr, "zelv-demo-bench: the %s did not play (is there a display?)\n", demo->name);
				return 1;
			}
			const double playFps = g_loop.frames / seconds(g_loop.start, g_loop.lastFrame);
			const double firstFrame = seconds(g_loop.start, g_loop.firstFrame);
			// Into an empty folder: overwriting the last run's files waits for
			// the system to finish writing them to disk.
			std::filesystem::remove_all(folder);
			std::filesystem::create_directories(folder);
			if (!runDemo(*demo, width, height, base.c_str()))
			{
				std::fprintf(stderr, "zelv-demo-bench: the %s was not captured\n", demo->name);
				return 1;
			}
			const double captureFps = g_loop.frames / seconds(g_loop.start, g_loop.lastFrame);
			const int captured = g_loop.frames;
			m.play.push_back(playFps);
			m.capture.push_back(captureFps);
			m.ratio.push_back(captureFps / playFps);
			std::printf("%s, run %d: play %.1f fps, capture %.1f fps (%d frames), ratio %.3f; first frame of play "
						"after the pause %.1f ms\n",
				demo->name, run + 1, playFps, captureFps, captured, captureFps / playFps, firstFrame * 1000.0);
			if (demo != &SAMPLE_DEMO)
				continue;
			// Start to first frame: set-up, loading, preparation, pause, frame.
			const double start = startToFirstFrame(*demo, width, height);
			if (start < 0)
			{
				std::fprintf(stderr, "zelv-demo-bench: the %s did not start\n", demo->name);
				return 1;
			}
			m.start.push_back(start);
			std::printf("%s, run %d: start to first frame %.3f s\n", demo->name, run + 1, start);
		}
		medians.push_back(m);
	}
	std::filesystem::remove_all(folder);
	std::printf("%dx%d, medians of %d runs:\n", width, height, RUNS);
	for (const SMedians& m : medians)
	{
		std::printf("  %s:\n", m.demo->name);
		std::printf("    play                    %8.1f frames/s\n", median(m.play));
		std::printf("    capture at %2.0f fps       %8.1f frames/s\n", static_cast<double>(m.demo->captureFps),
			median(m.capture));
		std::printf("    capture / play          %8.3f   (goal: at least 0.9)\n", median(m.ratio));
		if (!m.start.empty())
			std::printf("    start to first frame    %8.3f s (goal: at most 1.5 s, warm shader cache)\n",
				median(m.start));
	}
	return 0;
}
