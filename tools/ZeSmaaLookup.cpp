#include "ZeSmaaLookup.h"

#include <irrlicht.h>

#include <algorithm>
#include <cmath>

using namespace irr;

namespace zesmaa
{
namespace
{
// Height of the revectorised segment at an end of class c, in pixels towards
// the other side.
double endHeight(int c)
{
	return c == 1 ? 0.5 : c == 2 ? -0.5 : 0.0;
}

// The integral over [x0, x1] of a segment that goes linearly from height h at
// x = from to 0 at x = to (either order), limited to the segment.
double underSegment(double h, double from, double to, double x0, double x1)
{
	const double lo = std::max(x0, std::min(from, to));
	const double hi = std::min(x1, std::max(from, to));
	if (hi <= lo || h == 0.0)
		return 0.0;
	const double yLo = h * (lo - to) / (from - to);
	const double yHi = h * (hi - to) / (from - to);
	return 0.5 * (yLo + yHi) * (hi - lo);
}

uint8_t byte(double v)
{
	return static_cast<uint8_t>(std::lround(std::min(std::max(v, 0.0), 1.0) * 255.0));
}
} // namespace

// ---- Area table ------------------------------------------------------------------------
SArea area(int c1, int c2, int left, int right)
{
	const double length = left + right + 1;
	const double middle = length / 2.0;
	const double x0 = left;
	const double x1 = left + 1.0;
	SArea result{0.0, 0.0};
	const double parts[2] = {underSegment(endHeight(c1), 0.0, middle, x0, x1),
		underSegment(endHeight(c2), length, middle, x0, x1)};
	for (double part : parts)
	{
		if (part > 0.0)
			result.Other += part;
		else
			result.This -= part;
	}
	return result;
}

std::vector<uint8_t> areaTexels()
{
	std::vector<uint8_t> texels(static_cast<size_t>(AREA_SIZE) * AREA_SIZE * 3, 0);
	for (int c1 = 0; c1 < 4; ++c1)
		for (int c2 = 0; c2 < 4; ++c2)
			for (int left = 0; left < AREA_DISTANCES; ++left)
				for (int right = 0; right < AREA_DISTANCES; ++right)
				{
					const SArea a = area(c1, c2, left, right);
					const size_t x = static_cast<size_t>(c1 * AREA_DISTANCES + left);
					const size_t y = static_cast<size_t>(c2 * AREA_DISTANCES + right);
					uint8_t* t = &texels[(y * AREA_SIZE + x) * 3];
					t[0] = byte(a.Other);
					t[1] = byte(a.This);
				}
	return texels;
}

// ---- Search table -------------------------------------------------------------------------
int searchCode(bool b, bool a, bool otherB, bool otherA)
{
	return 21 * b + 7 * a + 3 * otherB + otherA;
}

namespace
{
// The four bits of a code, or false when no bits give it.
bool decode(int code, bool bits[4])
{
	for (int i = 0; i < 16; ++i)
	{
		const bool b = i & 8, a = i & 4, otherB = i & 2, otherA = i & 1;
		if (searchCode(b, a, otherB, otherA) == code)
		{
			bits[0] = b;
			bits[1] = a;
			bits[2] = otherB;
			bits[3] = otherA;
			return true;
		}
	}
	return false;
}
} // namespace

int searchExtent(int direction, int crossingCode, int lineCode)
{
	bool crossing[4];
	bool line[4];
	if (!decode(crossingCode, crossing) || !decode(lineCode, line))
		return 0;
	// A crossing edge lies on a pixel's left (or top) border on either side.
	const bool crossB = crossing[0] || crossing[2];
	const bool crossA = crossing[1] || crossing[3];
	const bool lineB = line[0];
	const bool lineA = line[1];
	if (direction == 0)
	{
		// Backwards the line has reached b's far neighbour: b belongs when it
		// carries the line, and a too unless a crossing edge at b's border
		// (between b and a) ends the line there.
		if (!lineB)
			return 0;
		return crossB || !lineA ? 1 : 2;
	}
	// Forwards the line has reached the pixel before b: a crossing edge on
	// b's border ends it before b, one on a's border before a.
	if (crossB || !lineB)
		return 0;
	return crossA || !lineA ? 1 : 2;
}

std::vector<uint8_t> searchTexels()
{
	std::vector<uint8_t> texels(static_cast<size_t>(SEARCH_WIDTH) * SEARCH_HEIGHT, 0);
	for (int direction = 0; direction < 2; ++direction)
		for (int crossing = 0; crossing < SEARCH_CODES; ++crossing)
			for (int line = 0; line < SEARCH_CODES; ++line)
				texels[static_cast<size_t>(line) * SEARCH_WIDTH + static_cast<size_t>(direction * SEARCH_CODES + crossing)] =
					byte(searchExtent(direction, crossing, line) / 2.0);
	return texels;
}

// ---- Files ---------------------------------------------------------------------------------
namespace
{
bool writePng(video::IVideoDriver* driver, const std::string& path, u32 width, u32 height, u32 channels,
	const std::vector<uint8_t>& texels, std::string* error)
{
	video::IImage* image = driver->createImage(video::ECF_R8G8B8, core::dimension2d<u32>(width, height));
	if (!image)
	{
		*error = "cannot make an image for " + path;
		return false;
	}
	for (u32 y = 0; y < height; ++y)
		for (u32 x = 0; x < width; ++x)
		{
			const uint8_t* t = &texels[(static_cast<size_t>(y) * width + x) * channels];
			const u32 g = channels == 3 ? t[1] : t[0];
			const u32 b = channels == 3 ? t[2] : t[0];
			image->setPixel(x, y, video::SColor(255, t[0], g, b));
		}
	const bool written = driver->writeImageToFile(image, path.c_str());
	image->drop();
	if (!written)
		*error = "cannot write " + path;
	return written;
}
} // namespace

bool writeLookupFiles(const std::string& folder, std::string* error)
{
	SIrrlichtCreationParameters params;
	params.DriverType = video::EDT_NULL;
	params.LoggingLevel = ELL_NONE;
	IrrlichtDevice* device = createDeviceEx(params);
	if (!device)
	{
		*error = "cannot start the image writer";
		return false;
	}
	video::IVideoDriver* driver = device->getVideoDriver();
	const bool ok = writePng(driver, folder + "/AreaTexDX9.png", AREA_SIZE, AREA_SIZE, 3, areaTexels(), error) &&
		writePng(driver, folder + "/SearchTex.png", SEARCH_WIDTH, SEARCH_HEIGHT, 1, searchTexels(), error);
	device->drop();
	return ok;
}
} // namespace zesmaa
