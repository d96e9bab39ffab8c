// zelv-frame-bench: the system layer's frame end against the 3D library
// drawing and presenting the same frame (a cube, a GUI box, the backdrop).
//
//   FrameEndAgainstPlainDrawing   frames in pairs, each timed: the library's
//                                 begin scene, scene graph, GUI, end scene;
//                                 then zeSync with no screenshot asked for
//   FrameEndKeeping               zeSync once a screenshot has been asked for
//                                 on a swap that loses the back buffer: every
//                                 frame is kept
//
// Pairing the frames keeps the machine's drift out of the comparison. Prints
// the medians and the ratio of the frame end to plain drawing (goal: at most
// 1.05 at 1920x1080).
//
// Usage: xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/zelv-frame-bench [WIDTHxHEIGHT] [Google Benchmark options]
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeLog.h"
#include "frame/ZeSetup.h"
#include "frame/ZeWindow.h"
#include "frame/ZeWindowPlatform.h"

#include <benchmark/benchmark.h>

#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace irr;

namespace
{
bool setUp(int width, int height)
{
	setenv("ZELV_BATCH", "1", 1);
	SZeSetupParams params;
	zeInitSetupParams(&params);
	params.windowed = 1;
	params.width = width;
	params.height = height;
	params.vsync = 0;
	params.antialias = 0;
	if (zeSetup(&params) != 0)
		return false;
	SZeContext* c = zeGetContext();
	if (c->driver->getDriverType() != video::EDT_OPENGL)
		return false;
	c->backdrop = video::SColor(255, 20, 40, 120);
	scene::ISceneNode* cube = c->sceneManager->addCubeSceneNode(10.0f, nullptr, -1, core::vector3df(0, 0, 30));
	cube->setMaterialFlag(video::EMF_LIGHTING, false);
	gui::IGUIStaticText* box = c->gui->addStaticText(L"", core::recti(40, 30, 240, 130), true);
	box->setDrawBackground(true);
	box->setBackgroundColor(video::SColor(255, 255, 255, 255));
	return true;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void FrameEndAgainstPlainDrawing(benchmark::State& state)
{
	SZeContext* c = zeGetContext();
	double plain = 0;
	double frameEnd = 0;
	for (auto _ : state)
	{
		auto start = std::chrono::steady_clock::now();
		c->driver->beginScene(true, true, c->backdrop);
		c->sceneManager->drawAll();
		c->gui->drawAll();
		c->driver->endScene();
		const double plainSeconds = secondsSince(start);
		start = std::chrono::steady_clock::now();
		zeSync();
		const double frameEndSeconds = secondsSince(start);
		plain += plainSeconds;
		frameEnd += frameEndSeconds;
		state.SetIterationTime(plainSeconds + frameEndSeconds);
	}
	const double frames = static_cast<double>(state.iterations());
	state.counters["plain_ms"] = plain * 1e3 / frames;
	state.counters["frame_end_ms"] = frameEnd * 1e3 / frames;
	state.counters["ratio"] = frameEnd / plain;
}

void FrameEndKeeping(benchmark::State& state)
{
	zeSetSwapKeepsBackBufferForTests(0);
	const std::string shot = "/tmp/zelv-frame-bench-" + std::to_string(getpid()) + ".bmp";
	zeSync();
	if (zeScreenShot(shot.c_str()) != 0)
		state.SkipWithError("the screenshot failed");
	remove(shot.c_str());
	for (auto _ : state)
		zeSync();
}

// Keeps the medians of the pairs' counters besides printing them.
class CMedians : public benchmark::ConsoleReporter
{
public:
	void ReportRuns(const std::vector<Run>& runs) override
	{
		for (const Run& run : runs)
			if (run.aggregate_name == "median" && run.run_name.function_name == "FrameEndAgainstPlainDrawing")
				Pairs = run.counters;
		ConsoleReporter::ReportRuns(runs);
	}
	benchmark::UserCounters Pairs;
};
} // namespace

// Kept frames stay on once asked for, so the keeping run comes last.
BENCHMARK(FrameEndAgainstPlainDrawing)->Unit(benchmark::kMillisecond)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(FrameEndKeeping)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

int main(int argc, char** argv)
{
	benchmark::Initialize(&argc, argv);
	int width = 1920;
	int height = 1080;
	if (argc > 1 && sscanf(argv[1], "%dx%d", &width, &height) != 2)
	{
		fprintf(stderr, "usage: zelv-frame-bench [WIDTHxHEIGHT] [benchmark options]\n");
		return 2;
	}
	zeSetLogSink([](const char*) {});
	if (!setUp(width, height))
	{
		fprintf(stderr, "zelv-frame-bench: cannot open a %dx%d OpenGL window (needs a display)\n", width, height);
		zeTerm();
		return 1;
	}
	CMedians reporter;
	benchmark::RunSpecifiedBenchmarks(&reporter);
	zeTerm();
	if (reporter.Pairs.count("ratio"))
		printf("%dx%d: frame end %.3f ms, plain drawing %.3f ms, ratio %.3f (goal <= 1.05)\n", width, height,
			reporter.Pairs["frame_end_ms"].value, reporter.Pairs["plain_ms"].value, reporter.Pairs["ratio"].value);
	return 0;
}
