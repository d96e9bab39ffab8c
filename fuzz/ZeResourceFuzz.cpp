// libFuzzer target for the resource blocks of a program file: the input is the
// file. Its trailer chain is read, every block found is read back, and a
// file whose chain checks out takes a new block 500 that then reads back
// whole, with the other blocks and the program image unchanged.
#include "frame/ZeLog.h"
#include "zersc/ZeResource.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
void quiet(const char*)
{
}

bool writeFile(const std::string& path, const uint8_t* data, size_t size)
{
	FILE* f = fopen(path.c_str(), "wb");
	if (!f)
		return false;
	const bool ok = (size == 0 || fwrite(data, 1, size, f) == size) && fclose(f) == 0;
	if (!ok)
		fclose(f);
	return ok;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	zeSetLogSink(quiet);
	static const std::string path = "/tmp/zelv-rsc-fuzz-" + std::to_string(getpid());
	if (!writeFile(path, data, size))
		return 0;
	const long long image = zeExecutableImageSize(path.c_str());
	if (image > static_cast<long long>(size))
		__builtin_trap();
	std::vector<char> block;
	std::vector<char> other;
	const bool had501 = zeReadResourceBlock(path.c_str(), 501, &other);
	for (int number : { 500, 501, 0 })
		if (zeReadResourceBlock(path.c_str(), number, &block) && block.size() > size)
			__builtin_trap();
	if (image >= 0)
	{
		static const char fresh[] = "a fresh block";
		if (zeWriteResourceBlock(path.c_str(), 500, fresh, sizeof(fresh)) != 0)
			__builtin_trap();
		if (!zeReadResourceBlock(path.c_str(), 500, &block) || std::string(block.begin(), block.end()) !=
																	std::string(fresh, sizeof(fresh)))
			__builtin_trap();
		if (zeExecutableImageSize(path.c_str()) != image)
			__builtin_trap();
		std::vector<char> after;
		if (had501 && (!zeReadResourceBlock(path.c_str(), 501, &after) || after != other))
			__builtin_trap();
	}
	unlink(path.c_str());
	return 0;
}
