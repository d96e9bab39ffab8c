// Colour formats of the engine, numbered as the engine's data and API number
// them, with the one explicit mapping to the 3D library's formats and to GL.
#pragma once

#include <irrlicht.h>

namespace ze
{
enum ECOLOR_FORMAT
{
	ECF_A1R5G5B5 = 0,
	ECF_R5G6B5 = 1,
	ECF_R8G8B8 = 2,
	ECF_A8R8G8B8 = 3,
	ECF_L8 = 4,
	ECF_DXT1 = 5,
	ECF_DXT2 = 6,
	ECF_DXT3 = 7,
	ECF_DXT4 = 8,
	ECF_DXT5 = 9,
	ECF_R16F = 10,
	ECF_G16R16F = 11,
	ECF_A16B16G16R16F = 12,
	ECF_R32F = 13,
	ECF_G32R32F = 14,
	ECF_A32B32G32R32F = 15,
	ECF_UNKNOWN = 16
};

// The library's format of the same name; irr::video::ECF_UNKNOWN when it has none (L8, DXT).
irr::video::ECOLOR_FORMAT toIrrColorFormat(ECOLOR_FORMAT format);
// Ours for a library format; ECF_UNKNOWN when none.
ECOLOR_FORMAT fromIrrColorFormat(irr::video::ECOLOR_FORMAT format);

// How GL stores a format.
struct SGLFormat
{
	int internalFormat;      // GLint
	unsigned int format;     // GLenum, 0 for compressed formats
	unsigned int type;       // GLenum, 0 for compressed formats
	bool compressed;
};
// false for ECF_UNKNOWN and out-of-range values.
bool getGLFormat(ECOLOR_FORMAT format, SGLFormat* out);

// Bytes of one texel, 0 for compressed formats.
irr::u32 getBytesPerTexel(ECOLOR_FORMAT format);
// Bytes of a width x height level (4x4 blocks for DXT); 0 for unknown formats.
irr::u32 getLevelSize(ECOLOR_FORMAT format, irr::u32 width, irr::u32 height);
bool isCompressed(ECOLOR_FORMAT format);
bool isFloat(ECOLOR_FORMAT format);
// "A8R8G8B8", ... for messages.
const char* getColorFormatName(ECOLOR_FORMAT format);
} // namespace ze
