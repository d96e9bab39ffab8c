// Images with depth (volume images), and the DDS reader for 2D, cube and
// volume files, reached through the driver's image loading like other images.
#pragma once

#include "libext/ZeColorFormat.h"

#include <irrlicht.h>

namespace ze
{
// An image of our own: any of our colour formats (L8, DXT1-5, float ...), a
// depth (1 for 2D images, 6 for cube images whose faces follow each other in
// the order +X, -X, +Y, -Y, +Z, -Z, N for volumes) and optional mip levels.
// lock() gives the top level's texels, all slices one after the other.
class IImageExt : public irr::video::IImage
{
public:
	virtual ECOLOR_FORMAT getFormat() const = 0;
	virtual irr::u32 getDepth() const = 0;
	virtual bool isCubeMap() const = 0;
	// Bytes of one slice of the top level.
	virtual irr::u32 getSliceSize() const = 0;
	// Mip levels stored (1 when only the top level).
	virtual irr::u32 getMipLevelCount() const = 0;
	// The texels of one mip level of one slice (face), or null.
	virtual const void* getMipLevelData(irr::u32 slice, irr::u32 level) const = 0;
};

// An empty (zeroed) volume image of width x height x depth texels; a new
// reference or null when the size or format cannot be made.
IImageExt* createImage(ECOLOR_FORMAT format, irr::u32 width, irr::u32 height, irr::u32 depth);
// Any image's depth: ours answer theirs, the library's 1; 0 for null.
irr::u32 getDepth(const irr::video::IImage* image);

// Registers the DDS reader with the driver, ahead of the library's own.
void registerImageLoaders(irr::video::IVideoDriver* driver);
// Reads a DDS file (2D, cube or volume; A8R8G8B8, X8R8G8B8, R8G8B8, R5G6B5,
// A1R5G5B5, L8, DXT1-5, R16F, G16R16F, A16B16G16R16F, R32F, G32R32F,
// A32B32G32R32F). A new reference, or null with an error naming the file when
// it is malformed or truncated.
IImageExt* loadDDS(irr::io::IReadFile* file);
} // namespace ze
