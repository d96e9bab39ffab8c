// Improved gradient noise with a lattice that wraps at integer periods.
#include "core/ZeEngineCore.h"

#include <cmath>

namespace
{
// A fixed shuffle of 0..255 (repeated once so that sums of two entries index it).
struct SPermutation
{
	unsigned char P[512];
	SPermutation()
	{
		for (int i = 0; i < 256; ++i)
			P[i] = static_cast<unsigned char>(i);
		unsigned int state = 0x2545F491u;
		for (int i = 255; i > 0; --i)
		{
			state = state * 1664525u + 1013904223u;
			const int j = static_cast<int>((state >> 8) % static_cast<unsigned int>(i + 1));
			const unsigned char t = P[i];
			P[i] = P[j];
			P[j] = t;
		}
		for (int i = 0; i < 256; ++i)
			P[256 + i] = P[i];
	}
};

const SPermutation& permutation()
{
	static const SPermutation table;
	return table;
}

// The twelve edge directions of a cube, four of them twice, so that a hash's
// low four bits pick one.
const float GRADIENTS[16][3] = {
	{ 1, 1, 0 }, { -1, 1, 0 }, { 1, -1, 0 }, { -1, -1, 0 },
	{ 1, 0, 1 }, { -1, 0, 1 }, { 1, 0, -1 }, { -1, 0, -1 },
	{ 0, 1, 1 }, { 0, -1, 1 }, { 0, 1, -1 }, { 0, -1, -1 },
	{ 1, 1, 0 }, { 0, -1, 1 }, { -1, 1, 0 }, { 0, -1, -1 } };

float fade(float t)
{
	return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

float lerp(float t, float a, float b)
{
	return a + t * (b - a);
}

float grad(int hash, float x, float y, float z)
{
	const float* g = GRADIENTS[hash & 15];
	return g[0] * x + g[1] * y + g[2] * z;
}

// A lattice coordinate wrapped into 0..period-1 (also below zero) and then
// into the table; periods of 0 or less leave it to the table's own 256.
int wrap(long long i, int period)
{
	if (period > 0)
	{
		i %= period;
		if (i < 0)
			i += period;
	}
	return static_cast<int>(i & 255);
}

// Splits a coordinate into its lattice cell and the offset in it.
long long cell(float v, float* offset)
{
	const double f = std::floor(static_cast<double>(v));
	*offset = static_cast<float>(static_cast<double>(v) - f);
	return std::fabs(f) < 1e15 ? static_cast<long long>(f) : 0;
}
} // namespace

float zePerlinNoise3Periodic(float x, float y, float z, int px, int py, int pz)
{
	if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
		return 0.0f;
	float fx, fy, fz;
	const long long cx = cell(x, &fx), cy = cell(y, &fy), cz = cell(z, &fz);
	const int x0 = wrap(cx, px), x1 = wrap(cx + 1, px);
	const int y0 = wrap(cy, py), y1 = wrap(cy + 1, py);
	const int z0 = wrap(cz, pz), z1 = wrap(cz + 1, pz);
	const unsigned char* p = permutation().P;

	const int a0 = p[x0] + y0, a1 = p[x0] + y1;
	const int b0 = p[x1] + y0, b1 = p[x1] + y1;
	const int aa0 = p[p[a0] + z0], aa1 = p[p[a0] + z1];
	const int ab0 = p[p[a1] + z0], ab1 = p[p[a1] + z1];
	const int ba0 = p[p[b0] + z0], ba1 = p[p[b0] + z1];
	const int bb0 = p[p[b1] + z0], bb1 = p[p[b1] + z1];

	const float u = fade(fx), v = fade(fy), w = fade(fz);
	const float near = lerp(v, lerp(u, grad(aa0, fx, fy, fz), grad(ba0, fx - 1, fy, fz)),
		lerp(u, grad(ab0, fx, fy - 1, fz), grad(bb0, fx - 1, fy - 1, fz)));
	const float far = lerp(v, lerp(u, grad(aa1, fx, fy, fz - 1), grad(ba1, fx - 1, fy, fz - 1)),
		lerp(u, grad(ab1, fx, fy - 1, fz - 1), grad(bb1, fx - 1, fy - 1, fz - 1)));
	const float n = lerp(w, near, far);
	return n < -1.0f ? -1.0f : (n > 1.0f ? 1.0f : n);
}
