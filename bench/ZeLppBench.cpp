// zelv-lpp-bench: one frame through the light pre-pass renderer against the
// same scene drawn by the 3D library's fixed-function drawAll, at 640x480.
//
// The scene: a sphere of about 10,000 triangles on a floor, 8 point lights and
// one spot light whose shadow map the sphere casts into; the light pre-pass
// frame adds glow, depth of field, morphological antialiasing and gamma. The
// library's frame draws a copy of the meshes with its own materials and the
// same lights (it lights with the first eight).
//
//   LppAgainstFixedFunction   frames in pairs, each timed: the library's begin
//                             scene, drawAll, end scene; then the engine's
//                             frame end through the light pre-pass renderer
//   LppSteps                  frames whose steps are each finished on the GPU
//                             (glFinish) and timed: where the time goes
//
// Prints the medians, the ratio of the light pre-pass frame to the library's
// (goal: at most 4) and the mean time of every step, the slowest marked.
//
// Usage: xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/zelv-lpp-bench [Google Benchmark options]
#include "core/IZeManager.h"
#include "core/IZeRendererCtxAdv.h"
#include "core/IZeServices.h"
#include "core/ZeEngineCore.h"
#include "effects/IZeEffectManager.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "frame/ZeWindow.h"
#include "libext/CZeMeshSceneNodes.h"
#include "render/CZeRendererLpp.h"
#include "render/IZeLightSceneNodeExt.h"
#include "render/IZeSceneNodeExt.h"
#include "render/IZeSurfaceLightwave.h"
#include "render/ZeRenderFactories.h"

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace irr;

namespace
{
const int WIDTH = 640, HEIGHT = 480;

double secondsSince(std::chrono::steady_clock::time_point start)
{
	return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct SScene
{
	std::vector<scene::ISceneNode*> Lpp;    // drawn with the engine's material effects
	std::vector<scene::ISceneNode*> Plain;  // the same meshes with the library's materials
	void show(bool lpp)
	{
		for (scene::ISceneNode* n : Lpp)
			n->setVisible(lpp);
		for (scene::ISceneNode* n : Plain)
			n->setVisible(!lpp);
	}
};
SScene g_scene;

// The mesh twice: with a white LightWave surface drawn through the current
// renderer's effect, casting shadows, and with the library's lit material.
bool addMesh(scene::IMesh* mesh, const core::vector3df& position)
{
	SZeContext* c = zeGetContext();
	IZeManager* manager = zeGetManager();
	scene::IMeshSceneNode* plain = ze::addMeshSceneNode(c->sceneManager, mesh);
	scene::IMeshSceneNode* node = ze::addMeshSceneNode(c->sceneManager, mesh);
	mesh->drop();
	plain->setPosition(position);
	node->setPosition(position);
	plain->getMaterial(0).SpecularColor = video::SColor(255, 60, 60, 60);
	plain->getMaterial(0).Shininess = 40.0f;
	IZeSceneNodeExt* ext = manager->getSceneManager()->getSceneNodeExt(node);
	IZeSurface* surface = manager->getSurfaceManager()->createSurfaceByType(MAKE_IRR_ID('l', 'w', 's', 'r'));
	if (!ext || !surface)
		return false;
	surface->initFromMaterial(plain->getMaterial(0));
	ext->setMaterialSurface(0, surface);
	ext->setCastShadow(true);
	surface->drop();
	SZeMacro macros[24] = {};
	u32 count = 20;
	s32 type = 0;
	core::stringc file;
	u32 room = 4;
	if (!surface->getEffectCompileParameters(type, macros, count, node) ||
		!zeGetCurrentRenderer()->getMaterialEffect(file, macros + count, room, static_cast<video::E_MATERIAL_TYPE>(type)))
		return false;
	IZeEffect* effect = manager->getEffectManager()->createEffect(zeFindDataFile(file.c_str()), type, macros, nullptr);
	if (!effect)
		return false;
	ext->setMaterialEffect(0, effect, 0, 0);
	effect->drop();
	g_scene.Lpp.push_back(node);
	g_scene.Plain.push_back(plain);
	return true;
}

bool setUp()
{
	setenv("ZELV_BATCH", "1", 1);
	zeInstallEngineCore();
	zeRegisterRenderFactories();
	zeFileSetCurrentDir(ZELV_DATA_DIR);
	SZeSetupParams params;
	zeInitSetupParams(&params);
	params.windowed = 1;
	params.width = WIDTH;
	params.height = HEIGHT;
	params.vsync = 0;
	params.antialias = 1;
	params.lightPrePass = 1;
	if (zeSetup(&params) != 0 || !zeGetRendererCtxAdv())
		return false;
	SZeContext* c = zeGetContext();
	scene::ISceneManager* smgr = c->sceneManager;
	smgr->setActiveCamera(smgr->addCameraSceneNode(nullptr, core::vector3df(0, 6, -14), core::vector3df(0, 1, 0)));
	const scene::IGeometryCreator* shapes = smgr->getGeometryCreator();
	// 2 x 71 x 70 = 9,940 triangles, and a floor of 50.
	if (!addMesh(shapes->createSphereMesh(3.0f, 71, 71), core::vector3df(0, 3, 0)) ||
		!addMesh(shapes->createHillPlaneMesh(core::dimension2df(4, 4), core::dimension2du(5, 5), nullptr, 0,
			core::dimension2df(0, 0), core::dimension2df(1, 1)), core::vector3df(0, 0, 0)))
		return false;
	IZeSceneManager* service = zeGetManager()->getSceneManager();
	for (int i = 0; i < 8; ++i)
	{
		const f32 a = core::PI * 2.0f * i / 8.0f;
		scene::ILightSceneNode* light = smgr->addLightSceneNode(nullptr,
			core::vector3df(std::cos(a) * 7.0f, 2.0f + (i % 3), std::sin(a) * 7.0f),
			video::SColorf(0.3f + 0.1f * (i % 4), 0.3f, 0.5f - 0.05f * (i % 4)), 9.0f);
		light->getLightData().Radius = 9.0f;
		service->getLightSceneNodeExt(light);
	}
	scene::ILightSceneNode* spot = smgr->addLightSceneNode(nullptr, core::vector3df(4, 12, -2), video::SColorf(1, 1, 1), 30.0f);
	spot->setLightType(video::ELT_SPOT);
	spot->setRotation(core::vector3df(70, -20, 0));
	spot->getLightData().Radius = 30.0f;
	spot->getLightData().OuterCone = 35.0f;
	spot->getLightData().InnerCone = 25.0f;
	spot->enableCastShadow(true);
	service->getLightSceneNodeExt(spot);

	SZeRenderParams& r = c->render;
	r.glowEnable = 1;
	r.glowIntensity = 1.0f;
	r.glowRadius = 24.0f;
	r.dofMode = 1;
	r.dofFocalDistance = 14.0f;
	r.dofFStop = 2.8f;
	r.colorSpaceViewer = 1;
	const int antialias[6] = {0, 1, 1, 0, 0, 0};  // SMAA as the last step
	std::copy(antialias, antialias + 6, r.antialias);
	c->backdrop = video::SColor(0, 20, 40, 80);
	return true;
}

void LppAgainstFixedFunction(benchmark::State& state)
{
	SZeContext* c = zeGetContext();
	double plain = 0;
	double lpp = 0;
	for (auto _ : state)
	{
		g_scene.show(false);
		auto start = std::chrono::steady_clock::now();
		c->driver->beginScene(true, true, c->backdrop);
		c->sceneManager->drawAll();
		c->driver->endScene();
		glFinish();
		const double plainSeconds = secondsSince(start);
		g_scene.show(true);
		start = std::chrono::steady_clock::now();
		zeEndFrame();
		glFinish();
		const double lppSeconds = secondsSince(start);
		plain += plainSeconds;
		lpp += lppSeconds;
		state.SetIterationTime(plainSeconds + lppSeconds);
	}
	const double frames = static_cast<double>(state.iterations());
	state.counters["plain_ms"] = plain * 1e3 / frames;
	state.counters["lpp_ms"] = lpp * 1e3 / frames;
	state.counters["ratio"] = lpp / plain;
}

// Seconds spent in each step, every step finished on the GPU before the next.
struct SStepTimes
{
	double Seconds[CZeRendererLpp::STEP_COUNT + 1] = {};
	u32 Current = 0;
	std::chrono::steady_clock::time_point Start;
	u64 Frames = 0;
};
SStepTimes g_steps;

void stepHook(void*, u32 step)
{
	glFinish();
	const auto now = std::chrono::steady_clock::now();
	if (g_steps.Current)
		g_steps.Seconds[g_steps.Current] += std::chrono::duration<double>(now - g_steps.Start).count();
	g_steps.Current = step;
	g_steps.Start = now;
}

void LppSteps(benchmark::State& state)
{
	CZeRendererLpp* renderer = dynamic_cast<CZeRendererLpp*>(zeGetCurrentRenderer());
	if (!renderer)
	{
		state.SkipWithError("the light pre-pass renderer is not current");
		return;
	}
	g_scene.show(true);
	renderer->setStepHook(stepHook, nullptr);
	for (auto _ : state)
	{
		zeEndFrame();
		stepHook(nullptr, 0);  // closes the last step (the present is not counted)
		++g_steps.Frames;
	}
	renderer->setStepHook(nullptr, nullptr);
}

class CMedians : public benchmark::ConsoleReporter
{
public:
	void ReportRuns(const std::vector<Run>& runs) override
	{
		for (const Run& run : runs)
			if (run.aggregate_name == "median" && run.run_name.function_name == "LppAgainstFixedFunction")
				Pairs = run.counters;
		ConsoleReporter::ReportRuns(runs);
	}
	benchmark::UserCounters Pairs;
};

const char* const STEP_NAMES[CZeRendererLpp::STEP_COUNT + 1] = {"", "ready", "fetch, post values",
	"prepare scene, camera, lights", "node lists", "glow switch", "camera cut", "save projection", "jitter",
	"clear BackRTT[0]", "depth clear", "depth and normal pass", "free shadow maps", "light pass and shadow maps",
	"post chain lightpost", "solid pass", "post chain solidpost", "transparent pass", "post chain prepost",
	"volumetric lights", "antialias at 2", "glow source", "transparent effects", "glow", "depth of field",
	"camera post effects", "antialias at 1?", "gamma", "antialias at 1 / copy", "finish scene", "debug thumbnails",
	"restore projection"};
} // namespace

BENCHMARK(LppAgainstFixedFunction)->Unit(benchmark::kMillisecond)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(LppSteps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(60);

int main(int argc, char** argv)
{
	benchmark::Initialize(&argc, argv);
	zeSetLogSink([](const char*) {});
	if (!setUp())
	{
		fprintf(stderr, "zelv-lpp-bench: cannot start the light pre-pass renderer on a %dx%d OpenGL window (needs a "
			"display)\n", WIDTH, HEIGHT);
		zeTerm();
		return 1;
	}
	for (int i = 0; i < 3; ++i)  // shader programs and targets warm
		zeEndFrame();
	CMedians reporter;
	benchmark::RunSpecifiedBenchmarks(&reporter);
	zeTerm();
	if (reporter.Pairs.count("ratio"))
		printf("%dx%d: light pre-pass frame %.3f ms, fixed-function drawAll %.3f ms, ratio %.2f (goal <= 4)\n", WIDTH,
			HEIGHT, reporter.Pairs["lpp_ms"].value, reporter.Pairs["plain_ms"].value, reporter.Pairs["ratio"].value);
	if (g_steps.Frames)
	{
		u32 slowest = 1;
		double total = 0;
		for (u32 s = 1; s <= CZeRendererLpp::STEP_COUNT; ++s)
		{
			total += g_steps.Seconds[s];
			if (g_steps.Seconds[s] > g_steps.Seconds[slowest])
				slowest = s;
		}
		printf("steps, each finished on the GPU (mean of %llu frames, %.3f ms in all):\n",
			static_cast<unsigned long long>(g_steps.Frames), total * 1e3 / g_steps.Frames);
		for (u32 s = 1; s <= CZeRendererLpp::STEP_COUNT; ++s)
			printf("  %2u %-30s %8.3f ms%s\n", s, STEP_NAMES[s], g_steps.Seconds[s] * 1e3 / g_steps.Frames,
				s == slowest ? "  <- slowest" : "");
	}
	return 0;
}
