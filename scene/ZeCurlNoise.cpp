#include "scene/ZeCurlNoise.h"

#include "core/IZeManager.h"
#include "core/ZeEngineCore.h"
#include "libext/ZeImageExt.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

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

// The largest table edge read from a cache or an image (a 3 GiB table).
const u32 MAX_WIDTH = 1024;
// The edge of the built-in generation.
const u32 DEFAULT_WIDTH = 64;

// An integer lattice coordinate wrapped into 0 to W - 1.
u32 wrap(s64 i, u32 width)
{
	s64 r = i % static_cast<s64>(width);
	if (r < 0)
		r += width;
	return static_cast<u32>(r);
}

// A table of W^3 zero texels, or false when it cannot be allocated.
bool allocate(SCurlNoiseTable* t, u32 width)
{
	try
	{
		t->Texels.assign(static_cast<size_t>(width) * width * width * 3, 0);
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	t->Width = width;
	t->Slice = width * width;
	return true;
}

// The curl of a three-component potential at (x, y, z) from its values one
// lattice step away on each side (differences not halved), each component
// truncated toward zero and kept as its low eight bits. The potential is
// called as potential(x, y, z, T out[3]).
template <typename T, typename Potential>
void curlAt(s32 x, s32 y, s32 z, const Potential& potential, s8* out)
{
	T xm[3], xp[3], ym[3], yp[3], zm[3], zp[3];
	potential(x - 1, y, z, xm);
	potential(x + 1, y, z, xp);
	potential(x, y - 1, z, ym);
	potential(x, y + 1, z, yp);
	potential(x, y, z - 1, zm);
	potential(x, y, z + 1, zp);
	const T curl[3] = { (yp[2] - ym[2]) - (zp[1] - zm[1]), (zp[0] - zm[0]) - (xp[2] - xm[2]),
		(xp[1] - xm[1]) - (yp[0] - ym[0]) };
	for (int i = 0; i < 3; ++i)
		out[i] = static_cast<s8>(static_cast<u8>(static_cast<s32>(curl[i]) & 0xFF));
}

// Fills every texel of a table of W^3 with the curl of a potential.
template <typename T, typename Potential>
void fillCurl(SCurlNoiseTable* t, const Potential& potential)
{
	const s32 w = static_cast<s32>(t->Width);
	s8* texel = t->Texels.data();
	for (s32 z = 0; z < w; ++z)
		for (s32 y = 0; y < w; ++y)
			for (s32 x = 0; x < w; ++x, texel += 3)
				curlAt<T>(x, y, z, potential, texel);
}

// The scalar of the built-in generation: 64 + 64 n, n the periodic gradient
// noise at a sixteenth of the coordinates, with a period of W / 16 cells so
// that it tiles over W texels.
f32 defaultScalar(s32 a, s32 b, s32 c)
{
	const int period = static_cast<int>(DEFAULT_WIDTH / 16);
	return 64.0f + 64.0f * zePerlinNoise3Periodic(static_cast<f32>(a) * 0.0625f, static_cast<f32>(b) * 0.0625f,
		static_cast<f32>(c) * 0.0625f, period, period, period);
}

// Three decorrelated channels of the scalar, each with a second octave at half weight.
void defaultPotential(s32 x, s32 y, s32 z, f32 out[3])
{
	out[0] = defaultScalar(x, y, z) + 0.5f * defaultScalar(2 * x, 2 * y, 2 * z);
	out[1] = defaultScalar(x + 31, y - 48, z + 13) + 0.5f * defaultScalar(2 * x + 31, 2 * y - 48, 2 * z + 13);
	out[2] = defaultScalar(x - 233, y - 113, z - 185) +
		0.5f * defaultScalar(2 * x - 233, 2 * y - 113, 2 * z - 185);
}

// Reads the whole buffer from the file in pieces the library's reads can
// count; false on a short read.
bool readAll(io::IReadFile* in, std::vector<s8>* data)
{
	const size_t piece = size_t(1) << 30;
	for (size_t done = 0; done < data->size();)
	{
		const size_t wanted = data->size() - done < piece ? data->size() - done : piece;
		if (in->read(data->data() + done, static_cast<u32>(wanted)) != static_cast<s32>(wanted))
			return false;
		done += wanted;
	}
	return true;
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

bool zeCurlNoiseCreateDefault()
{
	zeCurlNoiseFree();
	// The potential repeats over W texels to the bit (its lattice coordinates
	// are exact sixteenths), so it is computed once per texel and the curl
	// reads its neighbours wrapped.
	const s32 w = static_cast<s32>(DEFAULT_WIDTH);
	std::vector<f32> potential;
	SCurlNoiseTable made;
	try
	{
		potential.resize(static_cast<size_t>(w) * w * w * 3);
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	if (!allocate(&made, DEFAULT_WIDTH))
		return false;
	for (s32 z = 0, i = 0; z < w; ++z)
		for (s32 y = 0; y < w; ++y)
			for (s32 x = 0; x < w; ++x, i += 3)
				defaultPotential(x, y, z, &potential[static_cast<size_t>(i)]);
	fillCurl<f32>(&made, [&](s32 x, s32 y, s32 z, f32 out[3]) {
		const f32* p = &potential[3 * (static_cast<size_t>(wrap(x, DEFAULT_WIDTH)) +
			static_cast<size_t>(wrap(y, DEFAULT_WIDTH)) * DEFAULT_WIDTH +
			static_cast<size_t>(wrap(z, DEFAULT_WIDTH)) * DEFAULT_WIDTH * DEFAULT_WIDTH)];
		out[0] = p[0];
		out[1] = p[1];
		out[2] = p[2];
	});
	table() = std::move(made);
	return true;
}

bool zeCurlNoiseFromImage(video::IVideoDriver* driver, const char* file)
{
	zeCurlNoiseFree();
	video::IImage* image = driver && file ? driver->createImageFromFile(file) : nullptr;
	if (!image)
	{
		zeEngineLog(3, "CurlNoise3D: cannot load the noise volume %s", file ? file : "");
		return false;
	}
	const ze::IImageExt* ours = dynamic_cast<const ze::IImageExt*>(image);
	const u32 width = image->getDimension().Width;
	// Eight bits a texel, uncompressed, rows and slices packed.
	const bool bytes = image->getBitsPerPixel() == 8 && image->getPitch() == width &&
		!(ours && (ze::isCompressed(ours->getFormat()) || ours->isCubeMap()));
	if (!bytes || image->getDimension().Height != width || ze::getDepth(image) != width || width > MAX_WIDTH)
	{
		zeEngineLog(3, "CurlNoise3D: %s is not an 8-bit volume of W x W x W texels (W <= %u)", file, MAX_WIDTH);
		image->drop();
		return false;
	}
	SCurlNoiseTable made;
	if (!allocate(&made, width))
	{
		zeEngineLog(3, "CurlNoise3D: no memory for a table of %u^3 texels", width);
		image->drop();
		return false;
	}
	const u8* volume = static_cast<const u8*>(image->lock());
	if (!volume)
	{
		image->drop();
		return false;
	}
	// V(a, b, c): the byte at the coordinates wrapped into the volume.
	auto value = [&](s32 a, s32 b, s32 c) -> s32 {
		return volume[static_cast<size_t>(wrap(a, width)) + static_cast<size_t>(wrap(b, width)) * width +
			static_cast<size_t>(wrap(c, width)) * width * width];
	};
	fillCurl<s32>(&made, [&](s32 x, s32 y, s32 z, s32 out[3]) {
		out[0] = value(x, y, z) + (value(2 * x, 2 * y, 2 * z) >> 1);
		out[1] = value(x + 31, y - 48, z + 13) + (value(2 * x + 31, 2 * y - 48, 2 * z + 13) >> 1);
		out[2] = value(x - 233, y - 113, z - 185) + (value(2 * x - 233, 2 * y - 113, 2 * z - 185) >> 1);
	});
	image->unlock();
	image->drop();
	table() = std::move(made);
	return true;
}

video::IImage* zeCurlNoiseCreateImage(video::IVideoDriver*)
{
	// A volume image of our own: the driver's images have no depth.
	const SCurlNoiseTable& t = table();
	ze::IImageExt* image = ze::createImage(ze::ECF_A8R8G8B8, t.Width, t.Width, t.Width);
	if (!image)
	{
		zeEngineLog(3, "Fail to create 3D image for curl noise");
		return nullptr;
	}
	u8* out = static_cast<u8*>(image->lock());
	if (!out)
	{
		zeEngineLog(3, "Fail to create 3D image for curl noise");
		image->drop();
		return nullptr;
	}
	const size_t texels = t.Texels.size() / 3;
	for (size_t i = 0; i < texels; ++i, out += 4)
	{
		const s8* texel = &t.Texels[3 * i];
		out[0] = static_cast<u8>(texel[2] + 128);
		out[1] = static_cast<u8>(texel[1] + 128);
		out[2] = static_cast<u8>(texel[0] + 128);
		out[3] = 255;
	}
	image->unlock();
	return image;
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
		SCurlNoiseTable loaded;
		if (width == 0 || width > MAX_WIDTH || static_cast<s64>(width) * width * width * 3 != size)
			zeEngineLog(3, "CurlNoise3D file not have W = H = D (sz=%d)", static_cast<int>(width));
		else if (!allocate(&loaded, width) || !readAll(in, &loaded.Texels))
			zeEngineLog(3, "failed to read CurlNoise3D file");
		else
		{
			table() = std::move(loaded);
			ok = true;
		}
	}
	in->drop();
	return ok;
}

bool zeCurlNoiseSave(IrrlichtDevice* device, const char* file)
{
	if (!device || !file)
		return false;
	// Written beside the cache and renamed over it: a cut write never leaves a
	// short cache, and programs starting together each write their own part.
	const std::string part = std::string(file) + ".part" + std::to_string(getpid());
	io::IWriteFile* out = device->getFileSystem()->createAndWriteFile(part.c_str(), false);
	if (!out)
		return false;
	const std::vector<s8>& texels = table().Texels;
	const size_t piece = size_t(1) << 30;
	bool written = true;
	for (size_t done = 0; written && done < texels.size(); done += piece)
	{
		const size_t wanted = texels.size() - done < piece ? texels.size() - done : piece;
		written = out->write(texels.data() + done, static_cast<u32>(wanted)) == static_cast<s32>(wanted);
	}
	out->drop();
	// Closing flushes without telling whether it could: the part must hold every byte.
	if (written)
	{
		io::IReadFile* check = device->getFileSystem()->createAndOpenFile(part.c_str());
		written = check && static_cast<size_t>(check->getSize()) == texels.size();
		if (check)
			check->drop();
	}
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
