// Images of our own colour formats with depth and mip levels: the top level's
// slices one after the other (what lock() gives), each mip level stored apart.
// Texel access and the copy operations cover the 8-bit formats on the first
// slice; compressed and float images only carry their bytes.
#include "libext/ZeImageExt.h"

#include <cstring>
#include <new>
#include <vector>

using namespace irr;

namespace ze
{
namespace detail
{
// Shared with the DDS reader (declared there again).
bool getLevelBytes(ECOLOR_FORMAT format, u32 width, u32 height, u64* bytes);
u32 getMaxMipLevels(u32 width, u32 height, u32 depth);
IImageExt* createImageLevels(ECOLOR_FORMAT format, u32 width, u32 height, u32 depth, bool cube, u32 levels);
void* getMipLevelStorage(IImageExt* image, u32 slice, u32 level);

// The largest image we make: all levels together.
const u64 MAX_IMAGE_BYTES = u64(1) << 30;

bool getLevelBytes(ECOLOR_FORMAT format, u32 width, u32 height, u64* bytes)
{
	if (static_cast<u32>(format) >= static_cast<u32>(ECF_UNKNOWN) || width == 0 || height == 0)
		return false;
	u64 units, unitBytes;
	if (isCompressed(format))
	{
		units = (u64(width) + 3) / 4 * ((u64(height) + 3) / 4);
		unitBytes = getLevelSize(format, 1, 1);  // one 4x4 block
	}
	else
	{
		units = u64(width) * height;
		unitBytes = getBytesPerTexel(format);
	}
	u64 total;
	if (unitBytes == 0 || __builtin_mul_overflow(units, unitBytes, &total))
		return false;
	*bytes = total;
	return true;
}

u32 getMaxMipLevels(u32 width, u32 height, u32 depth)
{
	u32 largest = width > height ? width : height;
	if (depth > largest)
		largest = depth;
	u32 levels = 1;
	while (largest > 1)
	{
		largest >>= 1;
		++levels;
	}
	return levels;
}
} // namespace detail

namespace
{
u32 halve(u32 size, u32 level)
{
	const u32 s = level < 32 ? size >> level : 0;
	return s ? s : 1;
}

bool hasTexelAccess(ECOLOR_FORMAT format)
{
	switch (format)
	{
	case ECF_A1R5G5B5:
	case ECF_R5G6B5:
	case ECF_R8G8B8:
	case ECF_A8R8G8B8:
	case ECF_L8:
		return true;
	default:
		return false;
	}
}

// R8G8B8 is stored as GL's BGR (the low three bytes of an A8R8G8B8 texel).
video::SColor readTexel(const u8* p, ECOLOR_FORMAT format)
{
	u16 v16;
	u32 v32;
	switch (format)
	{
	case ECF_A1R5G5B5:
		std::memcpy(&v16, p, 2);
		return video::SColor(video::A1R5G5B5toA8R8G8B8(v16));
	case ECF_R5G6B5:
		std::memcpy(&v16, p, 2);
		return video::SColor(video::R5G6B5toA8R8G8B8(v16));
	case ECF_R8G8B8:
		return video::SColor(255, p[2], p[1], p[0]);
	case ECF_A8R8G8B8:
		std::memcpy(&v32, p, 4);
		return video::SColor(v32);
	case ECF_L8:
		return video::SColor(255, p[0], p[0], p[0]);
	default:
		return video::SColor(0);
	}
}

void writeTexel(u8* p, ECOLOR_FORMAT format, const video::SColor& c)
{
	u16 v16;
	switch (format)
	{
	case ECF_A1R5G5B5:
		v16 = video::A8R8G8B8toA1R5G5B5(c.color);
		std::memcpy(p, &v16, 2);
		break;
	case ECF_R5G6B5:
		v16 = video::A8R8G8B8toR5G6B5(c.color);
		std::memcpy(p, &v16, 2);
		break;
	case ECF_R8G8B8:
		p[0] = static_cast<u8>(c.getBlue());
		p[1] = static_cast<u8>(c.getGreen());
		p[2] = static_cast<u8>(c.getRed());
		break;
	case ECF_A8R8G8B8:
		std::memcpy(p, &c.color, 4);
		break;
	case ECF_L8:
		p[0] = static_cast<u8>((77 * c.getRed() + 150 * c.getGreen() + 29 * c.getBlue() + 128) >> 8);
		break;
	default:
		break;
	}
}

// The library's own layouts, for raw targets (its R8G8B8 is red first).
bool writeIrrTexel(u8* p, video::ECOLOR_FORMAT format, const video::SColor& c)
{
	u16 v16;
	switch (format)
	{
	case video::ECF_A1R5G5B5:
		v16 = video::A8R8G8B8toA1R5G5B5(c.color);
		std::memcpy(p, &v16, 2);
		return true;
	case video::ECF_R5G6B5:
		v16 = video::A8R8G8B8toR5G6B5(c.color);
		std::memcpy(p, &v16, 2);
		return true;
	case video::ECF_R8G8B8:
		p[0] = static_cast<u8>(c.getRed());
		p[1] = static_cast<u8>(c.getGreen());
		p[2] = static_cast<u8>(c.getBlue());
		return true;
	case video::ECF_A8R8G8B8:
		std::memcpy(p, &c.color, 4);
		return true;
	default:
		return false;
	}
}

u32 mix(u32 src, u32 dst, u32 alpha)
{
	return (src * alpha + dst * (255 - alpha) + 127) / 255;
}

// src over dst.
video::SColor blendOver(const video::SColor& src, const video::SColor& dst)
{
	const u32 a = src.getAlpha();
	return video::SColor(a + (dst.getAlpha() * (255 - a) + 127) / 255,
		mix(src.getRed(), dst.getRed(), a),
		mix(src.getGreen(), dst.getGreen(), a),
		mix(src.getBlue(), dst.getBlue(), a));
}

video::SColor modulate(const video::SColor& a, const video::SColor& b)
{
	return video::SColor((a.getAlpha() * b.getAlpha() + 127) / 255,
		(a.getRed() * b.getRed() + 127) / 255,
		(a.getGreen() * b.getGreen() + 127) / 255,
		(a.getBlue() * b.getBlue() + 127) / 255);
}

class CZeImage : public IImageExt
{
public:
	static CZeImage* create(ECOLOR_FORMAT format, u32 width, u32 height, u32 depth, bool cube, u32 levels)
	{
		if (width == 0 || height == 0 || depth == 0 || levels == 0)
			return nullptr;
		if (cube && (depth != 6 || width != height))
			return nullptr;
		if (levels > detail::getMaxMipLevels(width, height, cube ? 1 : depth))
			return nullptr;
		std::vector<u64> sizes(levels);
		u64 total = 0;
		for (u32 level = 0; level < levels; ++level)
		{
			u64 slice;
			if (!detail::getLevelBytes(format, halve(width, level), halve(height, level), &slice))
				return nullptr;
			const u64 slices = cube ? 6 : halve(depth, level);
			if (__builtin_mul_overflow(slice, slices, &sizes[level]))
				return nullptr;
			if (sizes[level] > detail::MAX_IMAGE_BYTES - total)
				return nullptr;
			total += sizes[level];
		}
		CZeImage* image = new (std::nothrow) CZeImage(format, width, height, depth, cube);
		if (!image)
			return nullptr;
		try
		{
			image->m_levels.resize(levels);
			for (u32 level = 0; level < levels; ++level)
				image->m_levels[level].assign(static_cast<size_t>(sizes[level]), 0);
		}
		catch (const std::bad_alloc&)
		{
			image->drop();
			return nullptr;
		}
		return image;
	}

	// ---- The extension ------------------------------------------------------
	ECOLOR_FORMAT getFormat() const override { return m_format; }
	u32 getDepth() const override { return m_depth; }
	bool isCubeMap() const override { return m_cube; }
	u32 getSliceSize() const override { return static_cast<u32>(m_levels[0].size() / m_depth); }
	u32 getMipLevelCount() const override { return static_cast<u32>(m_levels.size()); }

	const void* getMipLevelData(u32 slice, u32 level) const override
	{
		return const_cast<CZeImage*>(this)->levelData(slice, level);
	}

	u8* levelData(u32 slice, u32 level)
	{
		if (level >= m_levels.size())
			return nullptr;
		const u32 slices = m_cube ? 6 : halve(m_depth, level);
		if (slice >= slices)
			return nullptr;
		std::vector<u8>& data = m_levels[level];
		return data.data() + data.size() / slices * slice;
	}

	// ---- The library's image ------------------------------------------------
	void* lock() override { return m_levels[0].data(); }
	void unlock() override {}
	const core::dimension2d<u32>& getDimension() const override { return m_size; }

	u32 getBitsPerPixel() const override
	{
		if (isCompressed(m_format))
			return getLevelSize(m_format, 1, 1) * 8 / 16;
		return getBytesPerTexel(m_format) * 8;
	}

	u32 getBytesPerPixel() const override { return getBytesPerTexel(m_format); }
	u32 getImageDataSizeInBytes() const override { return static_cast<u32>(m_levels[0].size()); }
	u32 getImageDataSizeInPixels() const override { return m_size.Width * m_size.Height * m_depth; }

	video::SColor getPixel(u32 x, u32 y) const override
	{
		if (x >= m_size.Width || y >= m_size.Height || !hasTexelAccess(m_format))
			return video::SColor(0);
		return readTexel(texel(x, y), m_format);
	}

	void setPixel(u32 x, u32 y, const video::SColor& color, bool blend = false) override
	{
		if (x >= m_size.Width || y >= m_size.Height || !hasTexelAccess(m_format))
			return;
		u8* p = const_cast<u8*>(texel(x, y));
		writeTexel(p, m_format, blend ? blendOver(color, readTexel(p, m_format)) : color);
	}

	video::ECOLOR_FORMAT getColorFormat() const override { return toIrrColorFormat(m_format); }

	u32 getRedMask() const override
	{
		switch (m_format)
		{
		case ECF_A1R5G5B5: return 0x1F << 10;
		case ECF_R5G6B5: return 0x1F << 11;
		case ECF_R8G8B8:
		case ECF_A8R8G8B8: return 0x00FF0000;
		case ECF_L8: return 0xFF;
		default: return 0;
		}
	}

	u32 getGreenMask() const override
	{
		switch (m_format)
		{
		case ECF_A1R5G5B5: return 0x1F << 5;
		case ECF_R5G6B5: return 0x3F << 5;
		case ECF_R8G8B8:
		case ECF_A8R8G8B8: return 0x0000FF00;
		case ECF_L8: return 0xFF;
		default: return 0;
		}
	}

	u32 getBlueMask() const override
	{
		switch (m_format)
		{
		case ECF_A1R5G5B5:
		case ECF_R5G6B5: return 0x1F;
		case ECF_R8G8B8:
		case ECF_A8R8G8B8: return 0x000000FF;
		case ECF_L8: return 0xFF;
		default: return 0;
		}
	}

	u32 getAlphaMask() const override
	{
		switch (m_format)
		{
		case ECF_A1R5G5B5: return 0x1 << 15;
		case ECF_A8R8G8B8: return 0xFF000000;
		default: return 0;
		}
	}

	// Bytes of a row of texels, or of a row of 4x4 blocks.
	u32 getPitch() const override
	{
		if (isCompressed(m_format))
			return (m_size.Width + 3) / 4 * getLevelSize(m_format, 1, 1);
		return m_size.Width * getBytesPerTexel(m_format);
	}

	// ---- Copies (first slice, nearest texel) --------------------------------
	void copyToScaling(void* target, u32 width, u32 height, video::ECOLOR_FORMAT format, u32 pitch) override
	{
		const u32 bytes = video::IImage::getBitsPerPixelFromFormat(format) / 8;
		if (!target || width == 0 || height == 0 || !hasTexelAccess(m_format) || video::IImage::isRenderTargetOnlyFormat(format))
			return;
		u64 rowBytes = u64(width) * bytes;
		if (pitch == 0)
		{
			if (rowBytes > 0xFFFFFFFFu)
				return;
			pitch = static_cast<u32>(rowBytes);
		}
		else if (pitch < rowBytes)
			return;
		u8* out = static_cast<u8*>(target);
		for (u32 y = 0; y < height; ++y)
		{
			const u32 sy = static_cast<u32>(u64(y) * m_size.Height / height);
			u8* row = out + u64(y) * pitch;
			for (u32 x = 0; x < width; ++x)
			{
				const u32 sx = static_cast<u32>(u64(x) * m_size.Width / width);
				writeIrrTexel(row + u64(x) * bytes, format, readTexel(texel(sx, sy), m_format));
			}
		}
	}

	void copyToScaling(video::IImage* target) override
	{
		if (!target || target == this || !hasTexelAccess(m_format))
			return;
		const core::dimension2d<u32>& size = target->getDimension();
		for (u32 y = 0; y < size.Height; ++y)
		{
			const u32 sy = static_cast<u32>(u64(y) * m_size.Height / size.Height);
			for (u32 x = 0; x < size.Width; ++x)
			{
				const u32 sx = static_cast<u32>(u64(x) * m_size.Width / size.Width);
				target->setPixel(x, y, readTexel(texel(sx, sy), m_format));
			}
		}
	}

	void copyTo(video::IImage* target, const core::position2d<s32>& pos) override
	{
		copyRect(target, pos, core::rect<s32>(0, 0, static_cast<s32>(m_size.Width), static_cast<s32>(m_size.Height)),
			nullptr, nullptr);
	}

	void copyTo(video::IImage* target, const core::position2d<s32>& pos, const core::rect<s32>& sourceRect,
		const core::rect<s32>* clipRect) override
	{
		copyRect(target, pos, sourceRect, clipRect, nullptr);
	}

	void copyToWithAlpha(video::IImage* target, const core::position2d<s32>& pos, const core::rect<s32>& sourceRect,
		const video::SColor& color, const core::rect<s32>* clipRect) override
	{
		copyRect(target, pos, sourceRect, clipRect, &color);
	}

	// Each target texel averages the source texels it covers, plus the bias.
	void copyToScalingBoxFilter(video::IImage* target, s32 bias, bool blend) override
	{
		if (!target || target == this || !hasTexelAccess(m_format))
			return;
		const core::dimension2d<u32>& size = target->getDimension();
		for (u32 y = 0; y < size.Height; ++y)
		{
			const u32 y0 = static_cast<u32>(u64(y) * m_size.Height / size.Height);
			u32 y1 = static_cast<u32>(u64(y + 1) * m_size.Height / size.Height);
			if (y1 <= y0)
				y1 = y0 + 1;
			for (u32 x = 0; x < size.Width; ++x)
			{
				const u32 x0 = static_cast<u32>(u64(x) * m_size.Width / size.Width);
				u32 x1 = static_cast<u32>(u64(x + 1) * m_size.Width / size.Width);
				if (x1 <= x0)
					x1 = x0 + 1;
				u64 sum[4] = { 0, 0, 0, 0 };
				for (u32 sy = y0; sy < y1; ++sy)
					for (u32 sx = x0; sx < x1; ++sx)
					{
						const video::SColor c = readTexel(texel(sx, sy), m_format);
						sum[0] += c.getAlpha();
						sum[1] += c.getRed();
						sum[2] += c.getGreen();
						sum[3] += c.getBlue();
					}
				const u64 count = u64(x1 - x0) * (y1 - y0);
				u32 channel[4];
				for (int i = 0; i < 4; ++i)
				{
					const s64 v = static_cast<s64>(sum[i] / count) + bias;  // truncated, as the library does
					channel[i] = static_cast<u32>(v < 0 ? 0 : (v > 255 ? 255 : v));
				}
				target->setPixel(x, y, video::SColor(channel[0], channel[1], channel[2], channel[3]), blend);
			}
		}
	}

	void fill(const video::SColor& color) override
	{
		if (!hasTexelAccess(m_format))
			return;
		const u32 bytes = getBytesPerTexel(m_format);
		u8* p = m_levels[0].data();
		const u64 count = u64(m_size.Width) * m_size.Height;
		for (u64 i = 0; i < count; ++i)
			writeTexel(p + i * bytes, m_format, color);
	}

private:
	CZeImage(ECOLOR_FORMAT format, u32 width, u32 height, u32 depth, bool cube)
		: m_format(format), m_size(width, height), m_depth(depth), m_cube(cube)
	{
	}

	const u8* texel(u32 x, u32 y) const
	{
		return m_levels[0].data() + (u64(y) * m_size.Width + x) * getBytesPerTexel(m_format);
	}

	// Copies sourceRect (clipped to this image) to pos in the target, clipped to
	// the target and clipRect; with `tint`, modulates and blends over the target.
	void copyRect(video::IImage* target, const core::position2d<s32>& pos, const core::rect<s32>& sourceRect,
		const core::rect<s32>* clipRect, const video::SColor* tint)
	{
		if (!target || target == this || !hasTexelAccess(m_format))
			return;
		const core::dimension2d<u32>& size = target->getDimension();
		s64 left = 0, top = 0, right = size.Width, bottom = size.Height;
		if (clipRect)
		{
			left = clipRect->UpperLeftCorner.X > left ? clipRect->UpperLeftCorner.X : left;
			top = clipRect->UpperLeftCorner.Y > top ? clipRect->UpperLeftCorner.Y : top;
			right = clipRect->LowerRightCorner.X < right ? clipRect->LowerRightCorner.X : right;
			bottom = clipRect->LowerRightCorner.Y < bottom ? clipRect->LowerRightCorner.Y : bottom;
		}
		const s64 sx0 = sourceRect.UpperLeftCorner.X > 0 ? sourceRect.UpperLeftCorner.X : 0;
		const s64 sy0 = sourceRect.UpperLeftCorner.Y > 0 ? sourceRect.UpperLeftCorner.Y : 0;
		const s64 sx1 = sourceRect.LowerRightCorner.X < s64(m_size.Width) ? sourceRect.LowerRightCorner.X : s64(m_size.Width);
		const s64 sy1 = sourceRect.LowerRightCorner.Y < s64(m_size.Height) ? sourceRect.LowerRightCorner.Y : s64(m_size.Height);
		const s64 dx = s64(pos.X) - sourceRect.UpperLeftCorner.X;
		const s64 dy = s64(pos.Y) - sourceRect.UpperLeftCorner.Y;
		for (s64 sy = sy0; sy < sy1; ++sy)
		{
			const s64 ty = sy + dy;
			if (ty < top || ty >= bottom)
				continue;
			for (s64 sx = sx0; sx < sx1; ++sx)
			{
				const s64 tx = sx + dx;
				if (tx < left || tx >= right)
					continue;
				video::SColor c = readTexel(texel(static_cast<u32>(sx), static_cast<u32>(sy)), m_format);
				if (tint)
					c = blendOver(modulate(c, *tint), target->getPixel(static_cast<u32>(tx), static_cast<u32>(ty)));
				target->setPixel(static_cast<u32>(tx), static_cast<u32>(ty), c);
			}
		}
	}

	ECOLOR_FORMAT m_format;
	core::dimension2d<u32> m_size;
	u32 m_depth;
	bool m_cube;
	std::vector<std::vector<u8>> m_levels;  // [0]: the top level, all slices
};
} // namespace

namespace detail
{
IImageExt* createImageLevels(ECOLOR_FORMAT format, u32 width, u32 height, u32 depth, bool cube, u32 levels)
{
	return CZeImage::create(format, width, height, depth, cube, levels);
}

void* getMipLevelStorage(IImageExt* image, u32 slice, u32 level)
{
	CZeImage* ours = dynamic_cast<CZeImage*>(image);
	return ours ? ours->levelData(slice, level) : nullptr;
}
} // namespace detail

IImageExt* createImage(ECOLOR_FORMAT format, u32 width, u32 height, u32 depth)
{
	return CZeImage::create(format, width, height, depth, false, 1);
}

u32 getDepth(const video::IImage* image)
{
	if (!image)
		return 0;
	const IImageExt* ours = dynamic_cast<const IImageExt*>(image);
	return ours ? ours->getDepth() : 1;
}
} // namespace ze
