// zelv-mesh-import-bench: ".obj" and ".lwo" loading through the engine's
// loader on the NULL driver (Google Benchmark; no display needed).
//
// Two OBJ files of N triangles: a grid (the common case: each vertex shared
// by its neighbours) and N triangles on the same three points, each with
// texture coordinates of its own (N vertices at one position, none equal to
// another). Joining equal vertices must stay linear in N for both; comparing
// every vertex at a position with the others there took 42 s for N = 30000.
// A LightWave grid of N quads gives the LWO2 path for comparison.
//
// Usage: zelv-mesh-import-bench [Google Benchmark options]
#include "frame/ZeLog.h"
#include "libext/CZeAssimpMeshLoader.h"

#include <benchmark/benchmark.h>
#include <irrlicht.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

using namespace irr;

namespace
{
void quiet(const char*)
{
}

// Rows of a square grid of about n triangles.
u32 side(u32 n)
{
	u32 s = 1;
	while (2 * s * s < n)
		++s;
	return s;
}

std::string objGrid(u32 n)
{
	const u32 s = side(n);
	std::string text;
	char line[128];
	for (u32 y = 0; y <= s; ++y)
		for (u32 x = 0; x <= s; ++x)
		{
			std::snprintf(line, sizeof(line), "v %u %u 0\nvt %f %f\n", x, y, x / float(s), y / float(s));
			text += line;
		}
	for (u32 y = 0; y < s; ++y)
		for (u32 x = 0; x < s; ++x)
		{
			const u32 a = y * (s + 1) + x + 1, b = a + 1, c = a + s + 2, d = a + s + 1;
			std::snprintf(line, sizeof(line), "f %u/%u %u/%u %u/%u %u/%u\n", a, a, b, b, c, c, d, d);
			text += line;
		}
	return text;
}

std::string objOnePoint(u32 n)
{
	std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
	char line[128];
	for (u32 i = 0; i < n; ++i)
	{
		std::snprintf(line, sizeof(line), "vt %u 0\n", i);
		text += line;
	}
	for (u32 i = 1; i <= n; ++i)
	{
		std::snprintf(line, sizeof(line), "f 1/%u 2/%u 3/%u\n", i, i, i);
		text += line;
	}
	return text;
}

// The LWO2 grid: big-endian chunks, one layer, one surface.
struct SBytes
{
	std::string Data;
	SBytes& u2(u32 v)
	{
		Data += char(v >> 8);
		Data += char(v & 0xFF);
		return *this;
	}
	SBytes& u4(u32 v) { return u2(v >> 16).u2(v & 0xFFFF); }
	SBytes& f4(float f)
	{
		u32 bits;
		std::memcpy(&bits, &f, 4);
		return u4(bits);
	}
	SBytes& vx(u32 v) { return v < 0xFF00 ? u2(v) : u4(v | 0xFF000000u); }
	SBytes& chunk(const char* id, const SBytes& body)
	{
		Data.append(id, 4);
		u4(u32(body.Data.size()));
		Data += body.Data;
		if (body.Data.size() % 2)
			Data += '\0';
		return *this;
	}
};

std::string lwoGrid(u32 n)
{
	const u32 s = side(n);
	SBytes pnts, pols, ptag, surf, body;
	for (u32 y = 0; y <= s; ++y)
		for (u32 x = 0; x <= s; ++x)
			pnts.f4(float(x)).f4(float(y)).f4(0.0f);
	pols.Data = "FACE";
	ptag.Data = "SURF";
	for (u32 y = 0; y < s; ++y)
		for (u32 x = 0; x < s; ++x)
		{
			const u32 a = y * (s + 1) + x;
			pols.u2(4).vx(a).vx(a + s + 1).vx(a + s + 2).vx(a + 1);
			ptag.vx(y * s + x).u2(0);
		}
	surf.Data = std::string("Skin\0\0\0\0", 8);
	body.chunk("TAGS", SBytes{std::string("Skin\0\0", 6)});
	body.chunk("LAYR", SBytes().u2(0).u2(0).f4(0).f4(0).f4(0).u2(0));
	body.chunk("PNTS", pnts).chunk("POLS", pols).chunk("PTAG", ptag).chunk("SURF", surf);
	SBytes file;
	file.Data = "FORM";
	file.u4(u32(body.Data.size() + 4));
	file.Data += "LWO2" + body.Data;
	return file.Data;
}

void load(benchmark::State& state, const std::string& bytes, const char* name)
{
	zeSetLogSink(quiet);
	IrrlichtDevice* device = createDevice(video::EDT_NULL);
	device->getLogger()->setLogLevel(ELL_NONE);
	scene::IMeshLoader* loader = ze::createAssimpMeshLoader(device->getSceneManager());
	io::IReadFile* file = device->getFileSystem()->createMemoryReadFile(
		const_cast<char*>(bytes.data()), s32(bytes.size()), name, false);
	for (auto _ : state)
	{
		scene::IAnimatedMesh* mesh = loader->createMesh(file);
		if (!mesh)
		{
			state.SkipWithError("the file did not load");
			break;
		}
		mesh->drop();
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
	state.counters["file_KB"] = double(bytes.size()) / 1024.0;
	file->drop();
	loader->drop();
	device->drop();
	zeSetLogSink(nullptr);
}

void BM_ObjGrid(benchmark::State& state)
{
	load(state, objGrid(u32(state.range(0))), "grid.obj");
}
BENCHMARK(BM_ObjGrid)->Arg(2000)->Arg(8000)->Arg(32000)->Unit(benchmark::kMillisecond);

void BM_ObjCornersAtOnePoint(benchmark::State& state)
{
	load(state, objOnePoint(u32(state.range(0))), "point.obj");
}
BENCHMARK(BM_ObjCornersAtOnePoint)->Arg(2000)->Arg(8000)->Arg(32000)->Unit(benchmark::kMillisecond);

void BM_LwoGrid(benchmark::State& state)
{
	load(state, lwoGrid(u32(state.range(0))), "grid.lwo");
}
BENCHMARK(BM_LwoGrid)->Arg(2000)->Arg(8000)->Arg(32000)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
