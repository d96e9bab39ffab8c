// zenoisevolume: writes the engine's noise volume, the 8-bit luminance volume
// DDS from which the curl-noise table is computed at the first start.
//   zenoisevolume out.dds [width]
// The volume is W x W x W texels (default 64, a multiple of 16) of two octaves
// of periodic gradient noise, so that it tiles on every axis.
#include "core/ZeEngineCore.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
void putU32(std::vector<unsigned char>& out, size_t offset, uint32_t value)
{
	for (int i = 0; i < 4; ++i)
		out[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

// The 128-byte DDS header of a W x W x W L8 volume without mip levels.
std::vector<unsigned char> header(uint32_t width)
{
	std::vector<unsigned char> h(128, 0);
	h[0] = 'D', h[1] = 'D', h[2] = 'S', h[3] = ' ';
	putU32(h, 4, 124);
	putU32(h, 8, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | 0x800000);  // caps, height, width, pitch, format, depth
	putU32(h, 12, width);                                      // height
	putU32(h, 16, width);                                      // width
	putU32(h, 20, width);                                      // row pitch
	putU32(h, 24, width);                                      // depth
	putU32(h, 76, 32);                                         // pixel format: size
	putU32(h, 80, 0x20000);                                    // luminance
	putU32(h, 88, 8);                                          // bits
	putU32(h, 92, 0xFF);                                       // luminance mask
	putU32(h, 108, 0x1000 | 0x8);                              // texture, complex
	putU32(h, 112, 0x200000);                                  // volume
	return h;
}

// A byte of noise: 128 + 127 times the weighted sum of a coarse octave (16
// texels a cell) and a finer one (8 texels a cell, shifted), both wrapping
// over W texels.
unsigned char texel(int x, int y, int z, int width)
{
	const float coarse = zePerlinNoise3Periodic(x / 16.0f, y / 16.0f, z / 16.0f, width / 16, width / 16, width / 16);
	const float fine = zePerlinNoise3Periodic(x / 8.0f + 0.5f, y / 8.0f + 0.25f, z / 8.0f + 0.75f, width / 8,
		width / 8, width / 8);
	const float value = 128.0f + 127.0f * (0.7f * coarse + 0.3f * fine);
	return static_cast<unsigned char>(std::lround(value < 0.0f ? 0.0f : value > 255.0f ? 255.0f : value));
}
} // namespace

int main(int argc, char** argv)
{
	const int width = argc == 3 ? std::atoi(argv[2]) : 64;
	if (argc < 2 || argc > 3 || width < 16 || width > 512 || width % 16 != 0)
	{
		fprintf(stderr, "usage: zenoisevolume out.dds [width: a multiple of 16, 16 to 512]\n");
		return 2;
	}
	std::vector<unsigned char> data = header(static_cast<uint32_t>(width));
	data.reserve(data.size() + static_cast<size_t>(width) * width * width);
	for (int z = 0; z < width; ++z)
		for (int y = 0; y < width; ++y)
			for (int x = 0; x < width; ++x)
				data.push_back(texel(x, y, z, width));
	// Written aside and renamed, so that a cut build leaves no short volume.
	const std::string part = std::string(argv[1]) + ".part";
	FILE* out = fopen(part.c_str(), "wb");
	bool ok = out && fwrite(data.data(), 1, data.size(), out) == data.size();
	if (out)
		ok = fclose(out) == 0 && ok;
	if (!ok || std::rename(part.c_str(), argv[1]) != 0)
	{
		std::remove(part.c_str());
		fprintf(stderr, "zenoisevolume: cannot write '%s'\n", argv[1]);
		return 1;
	}
	return 0;
}
