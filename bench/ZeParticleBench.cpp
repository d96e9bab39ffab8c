// zelv-particle-bench: particle simulation speed on one core.
//
// One emitter on the shared pool holds all of its 262,144 particles (born in a
// box, living through the whole run) and moves them at 60 updates per second
// under velocity, resistance, gravity, jitter and curl noise from a smooth
// 64 x 64 x 64 table; once in birth order, once kept back to front for
// blending (the sort included) from a camera circling the box, so that the
// order changes from update to update. Items per second are particle updates
// per second; the goal is 20 million with sorting on, Release build. The
// turnover cases add births and deaths at a steady state near the same count;
// births take the records of the died all over the pool, and the updates keep
// the lists in memory order, so that unsorted is at least as fast as sorted.
// Then frames per second drawing 65,536 particles instanced against the plain
// quads (needs a display).
//
// Usage: xvfb-run -a zelv-particle-bench [Google Benchmark options]
#include "core/IZeManager.h"
#include "core/ZeEngineCore.h"
#include "effects/IZeEffectManager.h"
#include "effects/SZeMaterialExt.h"
#include "frame/ZeContext.h"
#include "frame/ZeEngine.h"
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "render/ZeRenderFactories.h"
#include "scene/CZeFxEmitter.h"
#include "scene/CZeGLParticleSystemSceneNode.h"
#include "scene/ZeCurlNoise.h"

#include <benchmark/benchmark.h>
#include <irrlicht.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace irr;

namespace
{
void quiet(const char*)
{
}

// A smooth, tiling field in every texel channel, loaded as the curl table.
bool loadCurlTable(IrrlichtDevice* device)
{
	const u32 w = 64;
	std::vector<char> bytes(w * w * w * 3);
	const f64 step = 2.0 * 3.14159265358979 / w;
	for (u32 z = 0; z < w; ++z)
		for (u32 y = 0; y < w; ++y)
			for (u32 x = 0; x < w; ++x)
			{
				char* texel = &bytes[3 * (x + y * w + z * w * w)];
				texel[0] = char(std::lround(100.0 * std::sin(step * (y + 2 * z))));
				texel[1] = char(std::lround(100.0 * std::sin(step * (z + 3 * x))));
				texel[2] = char(std::lround(100.0 * std::sin(step * (x + 2 * y))));
			}
	const std::string path = "/tmp/zelv-particle-bench-" + std::to_string(getpid()) + ".cache";
	FILE* f = std::fopen(path.c_str(), "wb");
	if (!f)
		return false;
	const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
	std::fclose(f);
	const bool loaded = written && zeCurlNoiseLoad(device, path.c_str());
	std::remove(path.c_str());
	return loaded;
}

// Births in a box, thrown outwards, on the shared pool.
void setBirths(CZeFxEmitter& emitter, f32 rate, f32 life, f32 lifeRange)
{
	emitter.initPool(0, true);
	emitter.setBirthRate(rate);
	emitter.setLifeTime(life, lifeRange);
	emitter.setGeneratorSize(8.f, 8.f, 8.f);
	emitter.setVelocity(0.f, 0.5f, 0.f);
	emitter.setExplosion(1.f);
	emitter.setVibration(0.5f, 0.f);
}

// Every force, the camera, and the order.
void setForces(CZeFxEmitter& emitter, bool sorted)
{
	emitter.setRandomVelocity(0.1f);
	emitter.setCurlNoisePower(1.f);
	emitter.setCurlNoiseFrequency(4.f);
	emitter.setResistance(0.5f, 0.f);
	emitter.setGravity(0.f, -0.1f, 0.f);
	emitter.setCameraPosition(0.f, 0.f, -20.f);
	emitter.setBlendMode(sorted ? 1 : 0);
}

// The camera of update k, circling the box at 20 units a quarter turn in
// about 1.3 seconds.
void moveCamera(CZeFxEmitter& emitter, u32 k)
{
	const f32 angle = 0.02f * f32(k);
	emitter.setCameraPosition(20.f * std::sin(angle), 2.f, -20.f * std::cos(angle));
}

// Fills the emitter's shared pool and sets every force.
void fill(CZeFxEmitter& emitter, bool sorted, u32& timeMs)
{
	setBirths(emitter, 1e9f, 1e6f, 0.f);
	emitter.update(timeMs);
	emitter.update(timeMs += 16);
	emitter.setBirthRate(0.f);
	setForces(emitter, sorted);
	emitter.update(timeMs += 16);
}

// ---- Simulation ------------------------------------------------------------------
void BM_ParticleUpdate(benchmark::State& state)
{
	CZeFxEmitter emitter;
	u32 timeMs = 1000;
	fill(emitter, state.range(0) != 0, timeMs);
	const u32 count = emitter.getParticleCount();
	if (count != ZE_SHARED_PARTICLE_POOL_CAPACITY)
	{
		state.SkipWithError("the shared pool was not filled");
		return;
	}
	u32 k = 0;
	for (auto _ : state)
	{
		moveCamera(emitter, ++k);
		emitter.update(timeMs += 16);
	}
	state.SetItemsProcessed(int64_t(state.iterations()) * count);
	state.counters["particles"] = count;
}
BENCHMARK(BM_ParticleUpdate)->ArgName("sorted")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same forces at a steady state of births and deaths: about 250,000
// particles living 1.5 to 2.5 seconds, the births of each update taking the
// records that the deaths before them gave back, all over the pool.
void BM_ParticleTurnover(benchmark::State& state)
{
	CZeFxEmitter emitter;
	u32 timeMs = 1000;
	setBirths(emitter, 0.95f * ZE_SHARED_PARTICLE_POOL_CAPACITY / 2.f, 2.f, 1.f);
	setForces(emitter, state.range(0) != 0);
	emitter.update(timeMs);
	for (u32 k = 0; k < 300; ++k)   // five seconds: past the longest life
		emitter.update(timeMs += 16);
	int64_t updates = 0;
	u32 k = 0;
	for (auto _ : state)
	{
		moveCamera(emitter, ++k);
		emitter.update(timeMs += 16);
		updates += emitter.getParticleCount();
	}
	state.SetItemsProcessed(updates);
	state.counters["particles"] = emitter.getParticleCount();
}
BENCHMARK(BM_ParticleTurnover)->ArgName("sorted")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// ---- Drawing -----------------------------------------------------------------------
// Frames per second of one node holding still particles in a box, with the
// default particle effect at 640x480: 65,536 instanced, and 16,384 (the plain
// path's limit) instanced and as plain quads. Needs a display with OpenGL
// 3.3; without one these report an error and the simulation runs alone.
struct SDrawEngine
{
	bool Tried = false;
	bool Ready = false;
	std::string Folder;
	IZeEffect* Effect = nullptr;

	bool start()
	{
		if (Tried)
			return Ready;
		Tried = true;
		if (!getenv("DISPLAY"))
			return false;
		char folder[] = "/tmp/zelv-particle-bench-XXXXXX";
		if (!mkdtemp(folder))
			return false;
		Folder = folder;
		unsetenv("ZELV_DRIVER");
		zeInstallEngineCore();
		zeRegisterRenderFactories();
		zeFileSetCurrentDir(ZELV_DATA_DIR);  // the engine's own shaders
		SZeSetupParams p;
		zeInitSetupParams(&p);
		p.windowed = 1;
		p.width = 640;
		p.height = 480;
		p.vsync = p.antialias = p.lightPrePass = 0;
		p.dataPrefix = Folder.c_str();
		if (zeSetup(&p) != 0 || !CZeGLParticleSystemSceneNode::isAvailable(zeGetContext()->driver))
			return false;
		Effect = zeGetManager()->getEffectManager()->createEffect("Particle.dae", -1, nullptr, nullptr);
		if (!Effect)
			return false;
		Effect->setFloatByName("LWHV_ParticleSize", 0.05f);
		scene::ISceneManager* smgr = zeGetContext()->sceneManager;
		smgr->setActiveCamera(smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -12), core::vector3df(0, 0, 0)));
		return Ready = true;
	}

	void stop()
	{
		if (Effect)
			Effect->drop();
		if (Tried && zeGetManager())
			zeTerm();
		std::error_code ignored;
		if (!Folder.empty())
			std::filesystem::remove_all(Folder, ignored);
	}
};
SDrawEngine g_draw;

void BM_ParticleDraw(benchmark::State& state)
{
	if (!g_draw.start())
	{
		state.SkipWithError("needs a display with OpenGL 3.3");
		return;
	}
	const bool instanced = state.range(0) != 0;
	const u32 particles = u32(state.range(1));
	video::IVideoDriver* driver = zeGetContext()->driver;
	scene::ISceneManager* smgr = zeGetContext()->sceneManager;
	CZeParticleSystemSceneNode* node = instanced
		? new CZeGLParticleSystemSceneNode(smgr->getRootSceneNode(), smgr, -1, 0u)
		: new CZeParticleSystemSceneNode(smgr->getRootSceneNode(), smgr, -1, 0u);
	node->drop();
	CZeFxEmitter& emitter = node->getEmitter();
	emitter.setBirthRate(0.f);
	zeParticleRandomSeed(1);
	for (u32 i = 0; i < particles; ++i)
	{
		const f32 x = 8.f * (f32(zeParticleRandom()) / 32767.f - 0.5f);
		const f32 y = 6.f * (f32(zeParticleRandom()) / 32767.f - 0.5f);
		const f32 z = 8.f * (f32(zeParticleRandom()) / 32767.f - 0.5f);
		emitter.addStaticParticle(x, y, z, 0, 4000000000u);
	}
	SZeMaterialExt record;
	record.Effect = g_draw.Effect;
	record.Node = node;
	g_draw.Effect->getPassMaterial(0, 0, node->getMaterial(0));
	ze::setMaterialUserData(node->getMaterial(0), &record);
	for (auto _ : state)
	{
		driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
		smgr->drawAll();
		driver->endScene();
	}
	node->remove();
	state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
	state.counters["drawn"] = std::min(particles, instanced ? particles : ZE_PARTICLE_PLAIN_QUADS);
}
BENCHMARK(BM_ParticleDraw)
	->ArgNames({"instanced", "particles"})
	->Args({1, 65536})
	->Args({1, 16384})
	->Args({0, 16384})
	->Unit(benchmark::kMillisecond)
	->UseRealTime();
} // namespace

int main(int argc, char** argv)
{
	zeSetLogSink(quiet);
	IrrlichtDevice* device = createDevice(video::EDT_NULL);
	if (!device || !loadCurlTable(device))
	{
		std::fprintf(stderr, "zelv-particle-bench: cannot load the curl-noise table\n");
		return 1;
	}
	benchmark::Initialize(&argc, argv);
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	g_draw.stop();
	zeCurlNoiseFree();
	device->drop();
	return 0;
}
