#include "scene/ZeCurlNoise.h"

#include "core/IZeManager.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace irr;

namespace
{
// The current table; the built-in one is W = 1 with one zero texel.
struct SCurlNoiseTable
{
	u32 Width = 1;
	u32 Slice = 1;
	std::vector<s8> Texels = std::vector<s8>(3, 0);
};

SCurlNoiseTable& table()
{
	static SCurlNoiseTable current;
	return current;
}

// An integer lattice coordinate wrapped into 0 to W - 1.
u32 wrap(s64 i, u32 width)
{
	s64 r = i % static_cast<s64>(width);
	if (r < 0)
		r += width;
	return static_cast<u32>(r);
}
} // namespace

u32 zeCurlNoiseWidth()
{
	return table().Width;
}

const s8* zeCurlNoiseData()
{
	return table().Texels.data();
}

void zeCurlNoiseFree()
{
	table() = SCurlNoiseTable();
}

bool zeCurlNoiseLoad(IrrlichtDevice* device, const char* file)
{
	zeCurlNoiseFree();
	io::IReadFile* in = device && file ? device->getFileSystem()->createAndOpenFile(file) : nullptr;
	if (!in)
	{
		zeEngineLog(3, "failed to open CurlNoise3D file");
		return false;
	}
	const long size = in->getSize();
	bool ok = false;
	if (size < 0 || size % 3 != 0)
		zeEngineLog(3, "CurlNoise3D file not multiple of 3 bytes");
	else
	{
		const u32 width = static_cast<u32>(std::floor(std::cbrt(static_cast<f64>(size) / 3.0) + 0.5));
		if (width == 0 || static_cast<s64>(width) * width * width * 3 != size)
			zeEngineLog(3, "CurlNoise3D file not have W = H = D (sz=%d)", static_cast<int>(width));
		else
		{
			SCurlNoiseTable loaded;
			loaded.Width = width;
			loaded.Slice = width * width;
			loaded.Texels.assign(static_cast<size_t>(size), 0);
			if (in->read(loaded.Texels.data(), static_cast<u32>(size)) != static_cast<s32>(size))
				zeEngineLog(3, "failed to read CurlNoise3D file");
			else
			{
				table() = std::move(loaded);
				ok = true;
			}
		}
	}
	in->drop();
	return ok;
}

bool zeCurlNoiseSave(IrrlichtDevice* device, const char* file)
{
	if (!device || !file)
		return false;
	// Written beside the cache and renamed over it: a cut write never leaves a short cache.
	const std::string part = std::string(file) + ".part";
	io::IWriteFile* out = device->getFileSystem()->createAndWriteFile(part.c_str(), false);
	if (!out)
		return false;
	const SCurlNoiseTable& t = table();
	const s32 size = static_cast<s32>(t.Texels.size());
	const bool written = out->write(t.Texels.data(), static_cast<u32>(size)) == size;
	out->drop();
	if (!written || std::rename(part.c_str(), file) != 0)
	{
		std::remove(part.c_str());
		return false;
	}
	return true;
}

void zeCurlNoiseTexel(u32 x, u32 y, u32 z, f32 out[4])
{
	const SCurlNoiseTable& t = table();
	const s8* texel = &t.Texels[3 * (static_cast<size_t>(x) + static_cast<size_t>(y) * t.Width +
		static_cast<size_t>(z) * t.Slice)];
	out[0] = texel[0];
	out[1] = texel[1];
	out[2] = texel[2];
	out[3] = 0.0f;
}

void zeCurlNoiseSample(const f32 point[3], f32 out[4])
{
	out[0] = out[1] = out[2] = out[3] = 0.0f;
	if (!std::isfinite(point[0]) || !std::isfinite(point[1]) || !std::isfinite(point[2]))
		return;
	const u32 width = table().Width;
	u32 i0[3], i1[3];
	f32 t[3];
	for (int a = 0; a < 3; ++a)
	{
		const f64 f = std::floor(static_cast<f64>(point[a]));
		t[a] = static_cast<f32>(point[a] - f);
		// Far points keep their fraction; the cell wraps in 64 bits.
		const s64 cell = f < -9.0e18 || f > 9.0e18 ? 0 : static_cast<s64>(f);
		i0[a] = wrap(cell, width);
		i1[a] = wrap(static_cast<s64>(i0[a]) + 1, width);
	}
	for (int corner = 0; corner < 8; ++corner)
	{
		const u32 x = corner & 1 ? i1[0] : i0[0];
		const u32 y = corner & 2 ? i1[1] : i0[1];
		const u32 z = corner & 4 ? i1[2] : i0[2];
		const f32 weight = (corner & 1 ? t[0] : 1 - t[0]) * (corner & 2 ? t[1] : 1 - t[1]) *
			(corner & 4 ? t[2] : 1 - t[2]);
		f32 texel[4];
		zeCurlNoiseTexel(x, y, z, texel);
		out[0] += weight * texel[0];
		out[1] += weight * texel[1];
		out[2] += weight * texel[2];
	}
}
