// The DDS reader: 2D, cube and volume files with their mip levels, in the
// uncompressed, DXT and float formats of ZeImageExt.h. The whole file is read
// into memory first and every count is checked against the bytes present.
#include "frame/ZeLog.h"
#include "libext/ZeImageExt.h"

#include <cstring>
#include <new>
#include <vector>

using namespace irr;

namespace ze
{
namespace detail
{
// Defined in ZeImageExt.cpp.
bool getLevelBytes(ECOLOR_FORMAT format, u32 width, u32 height, u64* bytes);
u32 getMaxMipLevels(u32 width, u32 height, u32 depth);
IImageExt* createImageLevels(ECOLOR_FORMAT format, u32 width, u32 height, u32 depth, bool cube, u32 levels);
void* getMipLevelStorage(IImageExt* image, u32 slice, u32 level);
} // namespace detail

namespace
{
const u32 HEADER_BYTES = 128;  // magic and header
const u32 MAX_SIZE = 16384;
const u32 MAX_DEPTH = 2048;
const u32 MAX_LEVELS = 16;
const u64 MAX_DATA_BYTES = u64(1) << 30;

// Header flags
const u32 DDSD_DEPTH = 0x800000;
// Pixel format flags
const u32 DDPF_ALPHAPIXELS = 0x1;
const u32 DDPF_FOURCC = 0x4;
const u32 DDPF_RGB = 0x40;
const u32 DDPF_LUMINANCE = 0x20000;
// caps2
const u32 DDSCAPS2_CUBEMAP = 0x200;
const u32 DDSCAPS2_CUBEMAP_ALLFACES = 0xFC00;
const u32 DDSCAPS2_VOLUME = 0x200000;

u32 fourCC(const char* code)
{
	return u32(u8(code[0])) | u32(u8(code[1])) << 8 | u32(u8(code[2])) << 16 | u32(u8(code[3])) << 24;
}

u32 readU32(const u8* p)
{
	return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
}

u32 halve(u32 size, u32 level)
{
	const u32 s = size >> level;
	return s ? s : 1;
}

// After the copy: texels whose layout differs from the format stored.
enum EFIXUP
{
	EF_NONE,
	EF_OPAQUE_32,     // X8R8G8B8: alpha byte to 255
	EF_OPAQUE_16,     // X1R5G5B5: alpha bit set
	EF_SWAP_RB,       // A8B8G8R8
	EF_SWAP_RB_OPAQUE // X8B8G8R8
};

struct SPixelFormat
{
	ECOLOR_FORMAT format;
	EFIXUP fixup;
};

bool decodePixelFormat(const u8* pf, SPixelFormat* out)
{
	const u32 flags = readU32(pf + 4);
	const u32 code = readU32(pf + 8);
	const u32 bits = readU32(pf + 12);
	const u32 r = readU32(pf + 16), g = readU32(pf + 20), b = readU32(pf + 24);
	const u32 a = (flags & DDPF_ALPHAPIXELS) ? readU32(pf + 28) : 0;
	out->fixup = EF_NONE;
	if (flags & DDPF_FOURCC)
	{
		static const struct
		{
			u32 code;
			ECOLOR_FORMAT format;
		} codes[] = {
			{ fourCC("DXT1"), ECF_DXT1 }, { fourCC("DXT2"), ECF_DXT2 }, { fourCC("DXT3"), ECF_DXT3 },
			{ fourCC("DXT4"), ECF_DXT4 }, { fourCC("DXT5"), ECF_DXT5 },
			{ 111, ECF_R16F }, { 112, ECF_G16R16F }, { 113, ECF_A16B16G16R16F },
			{ 114, ECF_R32F }, { 115, ECF_G32R32F }, { 116, ECF_A32B32G32R32F },
		};
		for (const auto& c : codes)
			if (c.code == code)
			{
				out->format = c.format;
				return true;
			}
		return false;
	}
	if (flags & DDPF_RGB)
	{
		if (bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF && (a == 0xFF000000 || a == 0))
		{
			out->format = ECF_A8R8G8B8;
			out->fixup = a ? EF_NONE : EF_OPAQUE_32;
			return true;
		}
		if (bits == 32 && r == 0xFF && g == 0xFF00 && b == 0xFF0000 && (a == 0xFF000000 || a == 0))
		{
			out->format = ECF_A8R8G8B8;
			out->fixup = a ? EF_SWAP_RB : EF_SWAP_RB_OPAQUE;
			return true;
		}
		if (bits == 24 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF && a == 0)
		{
			out->format = ECF_R8G8B8;
			return true;
		}
		if (bits == 16 && r == 0xF800 && g == 0x7E0 && b == 0x1F && a == 0)
		{
			out->format = ECF_R5G6B5;
			return true;
		}
		if (bits == 16 && r == 0x7C00 && g == 0x3E0 && b == 0x1F && (a == 0x8000 || a == 0))
		{
			out->format = ECF_A1R5G5B5;
			out->fixup = a ? EF_NONE : EF_OPAQUE_16;
			return true;
		}
		return false;
	}
	if ((flags & DDPF_LUMINANCE) && bits == 8 && a == 0)
	{
		out->format = ECF_L8;
		return true;
	}
	return false;
}

void applyFixup(u8* p, u64 bytes, EFIXUP fixup)
{
	switch (fixup)
	{
	case EF_OPAQUE_32:
		for (u64 i = 3; i < bytes; i += 4)
			p[i] = 0xFF;
		break;
	case EF_OPAQUE_16:
		for (u64 i = 1; i < bytes; i += 2)
			p[i] |= 0x80;
		break;
	case EF_SWAP_RB:
	case EF_SWAP_RB_OPAQUE:
		for (u64 i = 0; i + 3 < bytes; i += 4)
		{
			const u8 t = p[i];
			p[i] = p[i + 2];
			p[i + 2] = t;
			if (fixup == EF_SWAP_RB_OPAQUE)
				p[i + 3] = 0xFF;
		}
		break;
	case EF_NONE:
		break;
	}
}

// Reads the file (up to the largest size we could use) from its start.
bool readAll(io::IReadFile* file, std::vector<u8>* data)
{
	const long size = file->getSize();
	if (size < 0)
		return false;
	const u64 wanted = u64(size) < HEADER_BYTES + MAX_DATA_BYTES ? u64(size) : HEADER_BYTES + MAX_DATA_BYTES;
	try
	{
		data->resize(static_cast<size_t>(wanted));
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	if (!file->seek(0))
		return false;
	u64 done = 0;
	while (done < wanted)
	{
		const s32 got = file->read(data->data() + done, static_cast<u32>(wanted - done));
		if (got <= 0)
			break;
		done += static_cast<u32>(got);
	}
	data->resize(static_cast<size_t>(done));
	return true;
}

IImageExt* refuse(const char** reason, const char* text)
{
	*reason = text;
	return nullptr;
}

// The image, or null with the reason.
IImageExt* parse(const std::vector<u8>& data, const char** reason)
{
	if (data.size() < 4 || std::memcmp(data.data(), "DDS ", 4) != 0)
		return refuse(reason, "not a DDS file");
	if (data.size() < HEADER_BYTES)
		return refuse(reason, "truncated header");
	const u8* h = data.data() + 4;
	if (readU32(h) != 124)
		return refuse(reason, "header size is not 124");
	const u32 flags = readU32(h + 4);
	const u32 height = readU32(h + 8);
	const u32 width = readU32(h + 12);
	const u32 headerDepth = readU32(h + 20);
	const u32 mipMapCount = readU32(h + 24);
	const u32 caps2 = readU32(h + 108);
	if (width == 0 || height == 0 || width > MAX_SIZE || height > MAX_SIZE)
		return refuse(reason, "width or height out of range");

	SPixelFormat pf;
	if (!decodePixelFormat(h + 72, &pf))
		return refuse(reason, "unknown pixel format");

	const bool cube = (caps2 & DDSCAPS2_CUBEMAP) != 0;
	if (cube && (caps2 & DDSCAPS2_CUBEMAP_ALLFACES) != DDSCAPS2_CUBEMAP_ALLFACES)
		return refuse(reason, "cube map without all six faces");
	if (cube && width != height)
		return refuse(reason, "cube map faces are not square");
	u32 depth = 1;
	const bool volume = (caps2 & DDSCAPS2_VOLUME) != 0 || ((flags & DDSD_DEPTH) && headerDepth > 1);
	if ((flags & DDSD_DEPTH) || volume)
	{
		if (headerDepth == 0 || headerDepth > MAX_DEPTH)
			return refuse(reason, "depth out of range");
		if (volume)
			depth = headerDepth;
	}
	if (cube && volume)
		return refuse(reason, "both cube map and volume");

	if (mipMapCount > MAX_LEVELS)
		return refuse(reason, "too many mip levels");
	const u32 levels = mipMapCount > 1 ? mipMapCount : 1;
	if (levels > detail::getMaxMipLevels(width, height, depth))
		return refuse(reason, "more mip levels than the size allows");

	// Bytes of each level (all its slices) and of one face's whole chain.
	u64 levelBytes[MAX_LEVELS];
	u64 chain = 0;
	for (u32 level = 0; level < levels; ++level)
	{
		u64 slice;
		if (!detail::getLevelBytes(pf.format, halve(width, level), halve(height, level), &slice))
			return refuse(reason, "size overflow");
		levelBytes[level] = slice * halve(depth, level);  // at most 2^32 * 2^11
		chain += levelBytes[level];
	}
	const u32 faces = cube ? 6 : 1;
	const u64 needed = chain * faces;
	if (needed > MAX_DATA_BYTES)
		return refuse(reason, "image too large");
	if (needed > data.size() - HEADER_BYTES)
		return refuse(reason, "truncated data");

	IImageExt* image = detail::createImageLevels(pf.format, width, height, cube ? 6 : depth, cube, levels);
	if (!image)
		return refuse(reason, "out of memory");
	const u8* src = data.data() + HEADER_BYTES;
	for (u32 face = 0; face < faces; ++face)
		for (u32 level = 0; level < levels; ++level)
		{
			// A level's slices lie together both in the file and in the image.
			u8* dst = static_cast<u8*>(detail::getMipLevelStorage(image, face, level));
			std::memcpy(dst, src, static_cast<size_t>(levelBytes[level]));
			applyFixup(dst, levelBytes[level], pf.fixup);
			src += levelBytes[level];
		}
	return image;
}

bool hasDDSExtension(const io::path& name)
{
	const u32 n = name.size();
	if (n < 4)
		return false;
	const char* ext = ".dds";
	for (u32 i = 0; i < 4; ++i)
	{
		char c = static_cast<char>(name[n - 4 + i]);
		if (c >= 'A' && c <= 'Z')
			c = static_cast<char>(c - 'A' + 'a');
		if (c != ext[i])
			return false;
	}
	return true;
}

class CZeImageLoaderDDS : public video::IImageLoader
{
public:
	bool isALoadableFileExtension(const io::path& filename) const override
	{
		return hasDDSExtension(filename);
	}

	bool isALoadableFileFormat(io::IReadFile* file) const override
	{
		if (!file)
			return false;
		const long start = file->getPos();
		char magic[4];
		const bool ok = file->seek(0) && file->read(magic, 4) == 4 && std::memcmp(magic, "DDS ", 4) == 0;
		file->seek(start);
		return ok;
	}

	video::IImage* loadImage(io::IReadFile* file) const override
	{
		return loadDDS(file);
	}
};
} // namespace

IImageExt* loadDDS(io::IReadFile* file)
{
	if (!file)
	{
		zeLog(EZELL_ERROR, "ZeImage: cannot read DDS file '%s': %s", "", "no file");
		return nullptr;
	}
	const char* reason = nullptr;
	IImageExt* image = nullptr;
	std::vector<u8> data;
	if (!readAll(file, &data))
		reason = "cannot read the file";
	else
		image = parse(data, &reason);
	if (!image)
		zeLog(EZELL_ERROR, "ZeImage: cannot read DDS file '%s': %s", file->getFileName().c_str(), reason);
	return image;
}

void registerImageLoaders(video::IVideoDriver* driver)
{
	if (!driver)
		return;
	for (u32 i = 0; i < driver->getImageLoaderCount(); ++i)
		if (dynamic_cast<CZeImageLoaderDDS*>(driver->getImageLoader(i)))
			return;
	CZeImageLoaderDDS* loader = new CZeImageLoaderDDS;
	driver->addExternalImageLoader(loader);
	loader->drop();
}
} // namespace ze
