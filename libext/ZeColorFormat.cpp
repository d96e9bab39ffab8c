#include "libext/ZeColorFormat.h"

#include <GL/gl.h>
#include <GL/glext.h>

namespace ze
{
namespace
{
struct SFormatInfo
{
	ECOLOR_FORMAT format;
	const char* name;
	irr::video::ECOLOR_FORMAT irrFormat;
	GLint internalFormat;
	GLenum glFormat;
	GLenum glType;
	irr::u32 bytesPerTexel;  // 0: compressed
	irr::u32 blockBytes;     // bytes of a 4x4 block for compressed formats
	bool isFloat;
};

// One row per format, in the engine's numbering; every mapping is by name.
const SFormatInfo g_formats[] = {
	{ ECF_A1R5G5B5, "A1R5G5B5", irr::video::ECF_A1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, 0, false },
	{ ECF_R5G6B5, "R5G6B5", irr::video::ECF_R5G6B5, GL_RGB5, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, 0, false },
	{ ECF_R8G8B8, "R8G8B8", irr::video::ECF_R8G8B8, GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, 3, 0, false },
	{ ECF_A8R8G8B8, "A8R8G8B8", irr::video::ECF_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 0, false },
	{ ECF_L8, "L8", irr::video::ECF_UNKNOWN, GL_LUMINANCE8, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1, 0, false },
	{ ECF_DXT1, "DXT1", irr::video::ECF_UNKNOWN, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 0, 8, false },
	{ ECF_DXT2, "DXT2", irr::video::ECF_UNKNOWN, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 0, 16, false },
	{ ECF_DXT3, "DXT3", irr::video::ECF_UNKNOWN, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 0, 16, false },
	{ ECF_DXT4, "DXT4", irr::video::ECF_UNKNOWN, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 0, 16, false },
	{ ECF_DXT5, "DXT5", irr::video::ECF_UNKNOWN, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 0, 16, false },
	{ ECF_R16F, "R16F", irr::video::ECF_R16F, GL_R16F, GL_RED, GL_HALF_FLOAT, 2, 0, true },
	{ ECF_G16R16F, "G16R16F", irr::video::ECF_G16R16F, GL_RG16F, GL_RG, GL_HALF_FLOAT, 4, 0, true },
	{ ECF_A16B16G16R16F, "A16B16G16R16F", irr::video::ECF_A16B16G16R16F, GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8, 0, true },
	{ ECF_R32F, "R32F", irr::video::ECF_R32F, GL_R32F, GL_RED, GL_FLOAT, 4, 0, true },
	{ ECF_G32R32F, "G32R32F", irr::video::ECF_G32R32F, GL_RG32F, GL_RG, GL_FLOAT, 8, 0, true },
	{ ECF_A32B32G32R32F, "A32B32G32R32F", irr::video::ECF_A32B32G32R32F, GL_RGBA32F, GL_RGBA, GL_FLOAT, 16, 0, true },
};
const irr::u32 FORMAT_COUNT = sizeof(g_formats) / sizeof(g_formats[0]);
static_assert(FORMAT_COUNT == ECF_UNKNOWN, "one row per format");

const SFormatInfo* info(ECOLOR_FORMAT format)
{
	const irr::u32 index = static_cast<irr::u32>(format);
	return index < FORMAT_COUNT ? &g_formats[index] : nullptr;
}
} // namespace

irr::video::ECOLOR_FORMAT toIrrColorFormat(ECOLOR_FORMAT format)
{
	const SFormatInfo* i = info(format);
	return i ? i->irrFormat : irr::video::ECF_UNKNOWN;
}

ECOLOR_FORMAT fromIrrColorFormat(irr::video::ECOLOR_FORMAT format)
{
	if (format == irr::video::ECF_UNKNOWN)
		return ECF_UNKNOWN;
	for (const SFormatInfo& i : g_formats)
		if (i.irrFormat == format)
			return i.format;
	return ECF_UNKNOWN;
}

bool getGLFormat(ECOLOR_FORMAT format, SGLFormat* out)
{
	const SFormatInfo* i = info(format);
	if (!i || !out)
		return false;
	out->internalFormat = i->internalFormat;
	out->format = i->glFormat;
	out->type = i->glType;
	out->compressed = i->blockBytes != 0;
	return true;
}

irr::u32 getBytesPerTexel(ECOLOR_FORMAT format)
{
	const SFormatInfo* i = info(format);
	return i ? i->bytesPerTexel : 0;
}

irr::u32 getLevelSize(ECOLOR_FORMAT format, irr::u32 width, irr::u32 height)
{
	const SFormatInfo* i = info(format);
	if (!i)
		return 0;
	if (i->blockBytes)
		return ((width + 3) / 4) * ((height + 3) / 4) * i->blockBytes;
	return width * height * i->bytesPerTexel;
}

bool isCompressed(ECOLOR_FORMAT format)
{
	const SFormatInfo* i = info(format);
	return i && i->blockBytes != 0;
}

bool isFloat(ECOLOR_FORMAT format)
{
	const SFormatInfo* i = info(format);
	return i && i->isFloat;
}

const char* getColorFormatName(ECOLOR_FORMAT format)
{
	const SFormatInfo* i = info(format);
	return i ? i->name : "UNKNOWN";
}
} // namespace ze
