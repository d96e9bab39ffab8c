// zelv-demo-bench: the demo player on the sample demo, in one process.
//
//   capture against play   the sample demo played in real time, then
//                          captured at 30 frames per second into a scratch
//                          folder, at the same window size; frames per second
//                          of each loop (from the end of the pause before the
//                          first frame to the end of the last frame; when
//                          capturing, until every file is written) and their
//                          ratio
//                          (goal: capture at least 0.9 of play)
//   start to first frame   a fresh engine set up and the demo loaded, prepared
//                          and begun, with the shader cache warm from the runs
//                          before, to the end of the first frame of the demo
//                          (goal: at most 1.5 s, the 200 ms pause included)
//
// Each is run three times; the medians are printed.
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

const char* const SAMPLE_DEMO = ZELV_SOURCE_DIR "/samples/demo/sample.demo.ini";
const int PAUSE_MS = 200;
const int RUNS = 3;

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

bool setUp(int width, int height)
{
	SZeSetupParams params;
	zeInitSetupParams(&params);
	params.windowed = 1;
	params.width = width;
	params.height = height;
	params.vsync = 0;
	params.dataPrefix = ZELV_BINARY_DIR "/data";
	return zeSetup(&params) == 0 && zeGetContext()->driver->getDriverType() == irr::video::EDT_OPENGL;
}

// One run of the demo on a fresh engine; false when it fails.
bool runDemo(int width, int height, const char* captureBase)
{
	g_loop = SLoopTimes();
	SZeDemoCalls& calls = zeDemoCalls();
	calls.sleep = sleepThenStart;
	calls.sync = syncAndCount;
	calls.writeFrame = writeAndCount;
	calls.finishFrames = finishAndTime;
	g_capturing = captureBase != nullptr;
	const bool ok = setUp(width, height) &&
		(captureBase ? zeDemoCapture(SAMPLE_DEMO, captureBase, 30.0f) : zeDemoPlay(SAMPLE_DEMO)) == 0;
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
	std::filesystem::remove_all(folder);
	std::filesystem::create_directories(folder);
	const std::string base = folder + "/f";

	std::vector<double> play, capture, ratio, start;
	for (int run = 0; run < RUNS; ++run)
	{
		if (!runDemo(width, height, nullptr))
		{
			std::fprintf(stderr, "zelv-demo-bench: the demo did not play (is there a display?)\n");
			return 1;
		}
		const double playFps = g_loop.frames / seconds(g_loop.start, g_loop.lastFrame);
		const double firstFrame = seconds(g_loop.start, g_loop.firstFrame);
		if (!runDemo(width, height, base.c_str()))
		{
			std::fprintf(stderr, "zelv-demo-bench: the demo was not captured\n");
			return 1;
		}
		const double captureFps = g_loop.frames / seconds(g_loop.start, g_loop.lastFrame);
		const int captured = g_loop.frames;
		play.push_back(playFps);
		capture.push_back(captureFps);
		ratio.push_back(captureFps / playFps);

		// Start to first frame: set-up, loading, preparation, pause, frame.
		const Clock::time_point begin = Clock::now();
		g_loop = SLoopTimes();
		SZeDemoCalls& calls = zeDemoCalls();
		g_capturing = false;
		calls.run = [] { return g_loop.frames ? 0 : g_engine.run(); };
		const bool ok = setUp(width, height) && zeDemoPlay(SAMPLE_DEMO) == 0;
		zeTerm();
		calls.run = g_engine.run;
		if (!ok || !g_loop.frames)
		{
			std::fprintf(stderr, "zelv-demo-bench: the demo did not start\n");
			return 1;
		}
		start.push_back(seconds(begin, g_loop.firstFrame));
		std::printf("run %d: play %.1f fps, capture %.1f fps (%d frames), ratio %.3f; first frame of play after the "
					"pause %.1f ms; start to first frame %.3f s\n",
			run + 1, playFps, captureFps, captured, captureFps / playFps, firstFrame * 1000.0, start.back());
	}
	std::filesystem::remove_all(folder);
	std::printf("%dx%d, medians of %d runs:\n", width, height, RUNS);
	std::printf("  play                    %8.1f frames/s\n", median(play));
	std::printf("  capture at 30 fps       %8.1f frames/s\n", median(capture));
	std::printf("  capture / play          %8.3f   (goal: at least 0.9)\n", median(ratio));
	std::printf("  start to first frame    %8.3f s (goal: at most 1.5 s, warm shader cache)\n", median(start));
	return 0;
}
