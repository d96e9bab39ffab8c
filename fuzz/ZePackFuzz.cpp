// libFuzzer target for packed data: the input is an archive, unscrambled as
// the program loads it. The scene-pack test reads it, and extraction into a
// scratch folder must write nothing but files of ExeExtract's three folders.
#include "frame/ZeLog.h"
#include "zersc/ZePack.h"
#include "zersc/ZeResource.h"

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
void quiet(const char*)
{
}

// Everything extraction wrote is a plain file in Images, Objects or Scenes.
bool onlyExtractFolders(const fs::path& root)
{
	for (const auto& entry : fs::recursive_directory_iterator(root))
	{
		const fs::path relative = fs::relative(entry.path(), root);
		const std::string first = relative.begin()->string();
		if (first != "ExeExtract")
			return false;
		const auto depth = std::distance(relative.begin(), relative.end());
		const bool folder = entry.is_directory() && !entry.is_symlink();
		const bool file = entry.is_regular_file() && !entry.is_symlink();
		if (depth > 3 || (depth < 3 && !folder) || (depth == 3 && !file))
			return false;
	}
	return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	zeSetLogSink(quiet);
	static const fs::path root = "/tmp/zelv-pack-fuzz-" + std::to_string(getpid());
	std::error_code error;
	fs::remove_all(root, error);
	fs::create_directories(root, error);

	zeIsScenePack(data, size);
	// The program's own path: a scrambled block, unscrambled on load.
	std::vector<uint8_t> block(data, data + size);
	zeScrambleWords(block.data(), block.size());
	zeScrambleWords(block.data(), block.size());
	if (block != std::vector<uint8_t>(data, data + size))
		__builtin_trap();
	zeExtractPack(data, size, root.c_str(), 1u << 20);
	if (!onlyExtractFolders(root))
		__builtin_trap();
	fs::remove_all(root, error);
	return 0;
}
