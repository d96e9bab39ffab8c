// What the curl-noise tests share: files of bytes, small DDS images written
// here, and the curl that an 8-bit volume gives, computed from its definition.
#pragma once

#include "scene/ZeCurlNoise.h"

#include <irrlicht.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zecurltest
{
using Bytes = std::vector<unsigned char>;

inline void writeBytes(const std::string& path, const Bytes& bytes)
{
	std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
		static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readBytes(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A DDS file: width x height texels, `depth` slices when nonzero (a volume),
// `bits` per texel as luminance (8) or A8R8G8B8 (32); caps2 overrides the
// volume or cube flags.
inline Bytes dds(uint32_t width, uint32_t height, uint32_t depth, uint32_t bits, const Bytes& texels,
	uint32_t caps2 = 0)
{
	Bytes h(128 + texels.size(), 0);
	auto put = [&](size_t offset, uint32_t value) {
		for (int i = 0; i < 4; ++i)
			h[offset + i] = static_cast<unsigned char>(value >> (8 * i));
	};
	h[0] = 'D', h[1] = 'D', h[2] = 'S', h[3] = ' ';
	put(4, 124);
	put(8, 0x1007 | (depth ? 0x800000 : 0));
	put(12, height);
	put(16, width);
	put(24, depth);
	put(76, 32);
	put(80, bits == 8 ? 0x20000 : 0x41);
	put(88, bits);
	put(92, bits == 8 ? 0xFF : 0xFF0000);
	put(96, bits == 8 ? 0 : 0xFF00);
	put(100, bits == 8 ? 0 : 0xFF);
	put(104, bits == 8 ? 0 : 0xFF000000);
	put(108, 0x1000);
	put(112, caps2 ? caps2 : depth ? 0x200000 : 0);
	std::copy(texels.begin(), texels.end(), h.begin() + 128);
	return h;
}

// The current curl-noise table's bytes.
inline Bytes curlTable()
{
	const irr::u32 w = zeCurlNoiseWidth();
	const unsigned char* data = reinterpret_cast<const unsigned char*>(zeCurlNoiseData());
	return Bytes(data, data + size_t(w) * w * w * 3);
}

// W^3 bytes of a fixed pseudo-random volume.
inline Bytes noiseBytes(uint32_t width, uint32_t seed)
{
	Bytes v(static_cast<size_t>(width) * width * width);
	for (unsigned char& b : v)
	{
		seed = seed * 1664525u + 1013904223u;
		b = static_cast<unsigned char>(seed >> 24);
	}
	return v;
}

// The table texel (x, y, z) that an 8-bit volume of edge W gives: the curl of
// the potential (V(p) + V(2p) / 2, V(p + a) + V(2p + a) / 2, V(p + b) + V(2p + b) / 2),
// a = (31, -48, 13), b = (-233, -113, -185), by central differences, mod 256.
inline void volumeCurl(const Bytes& v, int w, int x, int y, int z, signed char out[3])
{
	auto at = [&](int a, int b, int c) {
		auto m = [w](int i) { return ((i % w) + w) % w; };
		return static_cast<int>(v[static_cast<size_t>(m(a) + m(b) * w + m(c) * w * w)]);
	};
	auto p = [&](int i, int a, int b, int c) {
		static const int offsets[3][3] = { { 0, 0, 0 }, { 31, -48, 13 }, { -233, -113, -185 } };
		const int* o = offsets[i];
		return at(a + o[0], b + o[1], c + o[2]) + (at(2 * a + o[0], 2 * b + o[1], 2 * c + o[2]) >> 1);
	};
	const int c[3] = { (p(2, x, y + 1, z) - p(2, x, y - 1, z)) - (p(1, x, y, z + 1) - p(1, x, y, z - 1)),
		(p(0, x, y, z + 1) - p(0, x, y, z - 1)) - (p(2, x + 1, y, z) - p(2, x - 1, y, z)),
		(p(1, x + 1, y, z) - p(1, x - 1, y, z)) - (p(0, x, y + 1, z) - p(0, x, y - 1, z)) };
	for (int i = 0; i < 3; ++i)
		out[i] = static_cast<signed char>(static_cast<unsigned char>(c[i] & 0xFF));
}
} // namespace zecurltest
