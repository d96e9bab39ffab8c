// libFuzzer target for DDS images: the input is read from memory as a DDS file;
// an image that loads is read whole, every mip level of every slice, and its
// corner texels are read and copied, as texture creation does.
#include "frame/ZeLog.h"
#include "libext/ZeImageExt.h"
#include "scene/ZeMorphMapFile.h"

#include <cstdint>

namespace ze
{
namespace detail
{
// Defined in ZeImageExt.cpp.
bool getLevelBytes(ECOLOR_FORMAT format, irr::u32 width, irr::u32 height, irr::u64* bytes);
} // namespace detail
} // namespace ze

namespace
{
using namespace irr;

void quiet(const char*)
{
}

volatile u32 g_sink = 0;

u32 halve(u32 size, u32 level)
{
	return size >> level ? size >> level : 1;
}

void readImage(ze::IImageExt* image)
{
	const core::dimension2d<u32> size = image->getDimension();
	u32 sum = image->getSliceSize() + image->getPitch() + image->getBitsPerPixel();
	for (u32 level = 0; level < image->getMipLevelCount(); ++level)
	{
		u64 bytes = 0;
		if (!ze::detail::getLevelBytes(image->getFormat(), halve(size.Width, level), halve(size.Height, level), &bytes))
			__builtin_trap();  // a loaded image has a size its format can hold
		const u32 slices = image->isCubeMap() ? 6 : halve(image->getDepth(), level);
		for (u32 slice = 0; slice < slices; ++slice)
		{
			const u8* texels = static_cast<const u8*>(image->getMipLevelData(slice, level));
			if (!texels)
				__builtin_trap();
			for (u64 i = 0; i < bytes; ++i)
				sum += texels[i];
		}
	}
	const u32 xs[] = { 0, size.Width - 1 };
	const u32 ys[] = { 0, size.Height - 1 };
	for (u32 x : xs)
		for (u32 y : ys)
			sum += image->getPixel(x, y).color;
	u32 copy[4 * 4] = {};
	image->copyToScaling(copy, 4, 4, video::ECF_A8R8G8B8, 0);
	for (u32 texel : copy)
		sum += texel;
	g_sink = g_sink + sum;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	zeSetLogSink(quiet);
	io::IReadFile* file = zeCreateMemoryReadFile(data, static_cast<long>(size), "fuzz.dds");
	ze::IImageExt* image = ze::loadDDS(file);
	file->drop();
	if (image)
	{
		readImage(image);
		image->drop();
	}
	return 0;
}
