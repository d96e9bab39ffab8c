// zelv-xmesh-bench: ".x" reading speed for files with many materials.
//
// Each generated text file has N named materials at the top level and one
// mesh of N triangles whose material list refers to every material by name
// (N references, N buffers). Times the reader alone (tables from memory) and
// the whole load through the loader on the NULL driver.
//
// Usage: zelv-xmesh-bench [Google Benchmark options]
#include "frame/ZeLog.h"
#include "libext/ZeXMesh.h"
#include "libext/ZeXMeshParser.h"

#include <benchmark/benchmark.h>
#include <irrlicht.h>

#include <cstdio>
#include <string>

using namespace irr;

namespace
{
void quiet(const char*)
{
}

std::string manyMaterials(u32 n)
{
	std::string text = "xof 0303txt 0032\n";
	char line[256];
	for (u32 m = 0; m < n; ++m)
	{
		std::snprintf(line, sizeof(line),
			"Material Surface_%u { 0.8;0.6;0.4;1.0;; 12.0; 0.2;0.2;0.2;; 0.0;0.0;0.0;; }\n", m);
		text += line;
	}
	std::snprintf(line, sizeof(line), "Mesh Body {\n%u;\n", 3 * n);
	text += line;
	for (u32 v = 0; v < 3 * n; ++v)
	{
		std::snprintf(line, sizeof(line), "%u.0;%u.5;%u.25;%s\n", v % 97, v % 89, v / 3, v + 1 < 3 * n ? "," : ";");
		text += line;
	}
	std::snprintf(line, sizeof(line), "%u;\n", n);
	text += line;
	for (u32 f = 0; f < n; ++f)
	{
		std::snprintf(line, sizeof(line), "3;%u,%u,%u;%s\n", 3 * f, 3 * f + 1, 3 * f + 2, f + 1 < n ? "," : ";");
		text += line;
	}
	std::snprintf(line, sizeof(line), "MeshMaterialList {\n%u;\n%u;\n", n, n);
	text += line;
	for (u32 f = 0; f < n; ++f)
	{
		std::snprintf(line, sizeof(line), "%u%s", f, f + 1 < n ? "," : ";;\n");
		text += line;
	}
	for (u32 m = 0; m < n; ++m)
	{
		std::snprintf(line, sizeof(line), "{ Surface_%u }\n", m);
		text += line;
	}
	text += "}\n}\n";
	return text;
}

void BM_ReadMaterialReferences(benchmark::State& state)
{
	zeSetLogSink(quiet);
	const std::string text = manyMaterials(u32(state.range(0)));
	for (auto _ : state)
	{
		ze::xfile::File file;
		std::string error;
		const bool read = ze::xfile::parseFile(reinterpret_cast<const unsigned char*>(text.data()), text.size(), file, error);
		if (!read || file.Meshes.size() != 1 || file.Meshes[0].Materials.back() != int(state.range(0)) - 1)
		{
			state.SkipWithError("the file did not read as written");
			break;
		}
		benchmark::DoNotOptimize(file.Meshes.data());
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
	state.counters["file_KB"] = double(text.size()) / 1024.0;
	zeSetLogSink(nullptr);
}
BENCHMARK(BM_ReadMaterialReferences)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);

void BM_LoadMaterialReferences(benchmark::State& state)
{
	zeSetLogSink(quiet);
	IrrlichtDevice* device = createDevice(video::EDT_NULL);
	device->getLogger()->setLogLevel(ELL_NONE);
	scene::IMeshLoader* loader = ze::createXMeshLoader(device->getSceneManager());
	const std::string text = manyMaterials(u32(state.range(0)));
	io::IReadFile* file = device->getFileSystem()->createMemoryReadFile(
		const_cast<char*>(text.data()), s32(text.size()), "bench.x", false);
	for (auto _ : state)
	{
		scene::IAnimatedMesh* mesh = loader->createMesh(file);
		if (!mesh || mesh->getMeshBufferCount() != u32(state.range(0)))
		{
			state.SkipWithError("the file did not load as written");
			if (mesh)
				mesh->drop();
			break;
		}
		mesh->drop();
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
	file->drop();
	loader->drop();
	device->drop();
	zeSetLogSink(nullptr);
}
BENCHMARK(BM_LoadMaterialReferences)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
