// libFuzzer target for the curl-noise readers: an input that starts with
// "DDS " is a noise volume made into a table through the NULL driver's image
// loading, any other input a cache file. A table that loads is sampled at
// points taken from the input and made into the image for shaders.
#include "frame/ZeLog.h"
#include "libext/ZeImageExt.h"
#include "scene/ZeCurlNoise.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

namespace
{
using namespace irr;

void quiet(const char*)
{
}

IrrlichtDevice* device()
{
	static IrrlichtDevice* const made = [] {
		IrrlichtDevice* d = createDevice(video::EDT_NULL);
		d->getLogger()->setLogLevel(ELL_NONE);
		ze::registerImageLoaders(d->getVideoDriver());
		return d;
	}();
	return made;
}

// A scratch file of this process holding the input.
std::string writeInput(const uint8_t* data, size_t size, const char* extension)
{
	const std::string name = "/tmp/zelv-curl-fuzz-" + std::to_string(getpid()) + extension;
	FILE* out = fopen(name.c_str(), "wb");
	if (!out)
		__builtin_trap();
	if (size && fwrite(data, 1, size, out) != size)
		__builtin_trap();
	fclose(out);
	return name;
}

void checkTable(const uint8_t* data, size_t size)
{
	const u32 width = zeCurlNoiseWidth();
	if (width == 0 || width > 1024)
		__builtin_trap();
	// Points from the input's bytes, any float (not finite ones too).
	for (size_t at = 0; at + 12 <= size && at < 12 * 8; at += 12)
	{
		f32 point[3], out[4];
		std::memcpy(point, data + at, sizeof(point));
		zeCurlNoiseSample(point, out);
		for (f32 v : out)
			if (!(v >= -128.0f && v <= 127.0f))
				__builtin_trap();
	}
	video::IImage* image = zeCurlNoiseCreateImage(device()->getVideoDriver());
	if (!image || ze::getDepth(image) != width || image->getDimension().Width != width)
		__builtin_trap();
	image->drop();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	zeSetLogSink(quiet);
	const bool volume = size >= 4 && std::memcmp(data, "DDS ", 4) == 0;
	const std::string file = writeInput(data, size, volume ? ".dds" : ".cache");
	const bool loaded = volume ? zeCurlNoiseFromImage(device()->getVideoDriver(), file.c_str())
							   : zeCurlNoiseLoad(device(), file.c_str());
	std::remove(file.c_str());
	if (loaded)
		checkTable(data, size);
	else if (zeCurlNoiseWidth() != 1)
		__builtin_trap();  // a refusal leaves the zero table
	zeCurlNoiseFree();
	return 0;
}
