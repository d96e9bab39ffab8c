// zelv-pack-bench: packing and extraction against the stock zip tools, in one
// run (Google Benchmark; no display needed; zip and unzip on the PATH).
//
//   pack against zip        the sample demo's files as "-demoexe" gathers
//                           them (its folders, scenes' objects and images,
//                           effects, music; no engine data), put into an
//                           archive file at deflate level 6, against
//                           `zip -6 -q` of the same file list; each iteration
//                           times both; counter "ratio" = ours / zip
//                           (goal: at most 1.0)
//   extract against unzip   a scene pack of the same bytes (every file an
//                           image at the root or an object in scene_backup/,
//                           so all of them are written) extracted into
//                           ExeExtract/, against `unzip -o -q` of the same
//                           archive into an empty folder; counter "ratio"
//                           (goal: at most 1.0)
//
// Usage: build/bench/zelv-pack-bench
#include "frame/ZeFile.h"
#include "frame/ZeLog.h"
#include "zersc/ZePack.h"
#include "zersc/ZePackArchive.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
using Clock = std::chrono::steady_clock;

const std::string SAMPLE_DEMO = std::string(ZELV_SOURCE_DIR) + "/samples/demo/sample.demo.ini";

void quiet(const char*)
{
}

double seconds(Clock::time_point start)
{
	return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string scratch()
{
	char name[] = "/tmp/zelv-pack-bench-XXXXXX";
	if (!mkdtemp(name))
		return "";
	return name;
}

bool shell(const std::string& command)
{
	return std::system(command.c_str()) == 0;
}

// The files "-demoexe" packs for the sample demo (without the engine data).
std::vector<std::string> demoFiles(const std::string& folder)
{
	std::vector<std::string> files;
	CZePackArchive archive(folder + "/list.zip");
	if (zePackDemoFiles(&archive, SAMPLE_DEMO.c_str()) == 0)
		for (const CZePackArchive::SEntry& entry : archive.entries())
			files.push_back(entry.path);
	return files;
}

void PackAgainstZip(benchmark::State& state)
{
	const std::string folder = scratch();
	const std::vector<std::string> files = demoFiles(folder);
	if (files.empty())
	{
		state.SkipWithError("the sample demo's files cannot be gathered");
		return;
	}
	std::ofstream(folder + "/files.txt") << [&] {
		std::string list;
		for (const std::string& file : files)
			list += file + "\n";
		return list;
	}();
	double ours = 0, zip = 0;
	for (auto _ : state)
	{
		fs::remove(folder + "/ours.zip");
		fs::remove(folder + "/zip.zip");
		Clock::time_point start = Clock::now();
		{
			CZePackArchive archive(folder + "/ours.zip");
			for (const std::string& file : files)
				zeZipAddRelative(&archive, "/", file);
			if (!archive.commit())
				state.SkipWithError("packing failed");
		}
		ours += seconds(start);
		start = Clock::now();
		if (!shell("zip -6 -q '" + folder + "/zip.zip' -@ < '" + folder + "/files.txt'"))
			state.SkipWithError("zip failed (is it installed?)");
		zip += seconds(start);
	}
	state.counters["files"] = static_cast<double>(files.size());
	state.counters["ours_ms"] = ours * 1000 / static_cast<double>(state.iterations());
	state.counters["zip_ms"] = zip * 1000 / static_cast<double>(state.iterations());
	state.counters["ratio"] = zip > 0 ? ours / zip : 0;
	state.counters["bytes_ours"] = static_cast<double>(fs::file_size(folder + "/ours.zip"));
	state.counters["bytes_zip"] = static_cast<double>(fs::file_size(folder + "/zip.zip"));
	fs::remove_all(folder);
}

void ExtractAgainstUnzip(benchmark::State& state)
{
	const std::string folder = scratch();
	const std::vector<std::string> files = demoFiles(folder);
	std::vector<char> pack;
	{
		CZePackArchive archive(folder + "/scene.zip");
		int n = 0;
		for (const std::string& file : files)
		{
			const bool image = file.size() > 4 && file.compare(file.size() - 4, 4, ".png") == 0;
			const std::string name =
				image ? std::to_string(n) + ".png" : "scene_backup/" + std::to_string(n) + ".lwo";
			archive.addFile(name, file);
			++n;
		}
		std::ofstream(folder + "/scene.zscn") << "scene";
		archive.addFile("zelv.zscn", folder + "/scene.zscn");
		if (!archive.commit())
		{
			state.SkipWithError("the scene pack cannot be made");
			return;
		}
		std::ifstream in(folder + "/scene.zip", std::ios::binary);
		pack.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
	}
	double ours = 0, unzip = 0;
	for (auto _ : state)
	{
		fs::remove_all(folder + "/ours");
		fs::remove_all(folder + "/unzip");
		fs::create_directories(folder + "/ours");
		Clock::time_point start = Clock::now();
		if (zeExtractPack(pack.data(), pack.size(), (folder + "/ours").c_str()) != 0)
			state.SkipWithError("extraction failed");
		ours += seconds(start);
		start = Clock::now();
		if (!shell("unzip -o -q '" + folder + "/scene.zip' -d '" + folder + "/unzip'"))
			state.SkipWithError("unzip failed (is it installed?)");
		unzip += seconds(start);
	}
	state.counters["entries"] = static_cast<double>(files.size() + 1);
	state.counters["ours_ms"] = ours * 1000 / static_cast<double>(state.iterations());
	state.counters["unzip_ms"] = unzip * 1000 / static_cast<double>(state.iterations());
	state.counters["ratio"] = unzip > 0 ? ours / unzip : 0;
	fs::remove_all(folder);
}
} // namespace

BENCHMARK(PackAgainstZip)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(ExtractAgainstUnzip)->Unit(benchmark::kMillisecond)->Iterations(50);

int main(int argc, char** argv)
{
	zeSetLogSink(quiet);
	benchmark::Initialize(&argc, argv);
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	return 0;
}
