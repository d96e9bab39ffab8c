// The antialiasing's lookup tables against properties of the method: the
// area table's mirror symmetries, range and total areas; the search table
// against a pixel-by-pixel walk along random edge rows; and the engine's
// PNG copies against what the tool makes.
#include "ZeSmaaLookup.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <random>

using namespace irr;
using namespace zesmaa;

namespace
{
// Classes 1 and 2 trade places when the picture is flipped across the line.
int flipped(int c)
{
	return c == 1 ? 2 : c == 2 ? 1 : c;
}
} // namespace

// ---- Area table ------------------------------------------------------------------------
TEST(SmaaLookup, AreasAreMirrorSymmetricAndWithinHalfAPixel)
{
	for (int c1 = 0; c1 < 4; ++c1)
		for (int c2 = 0; c2 < 4; ++c2)
			for (int left = 0; left < AREA_DISTANCES; ++left)
				for (int right = 0; right < AREA_DISTANCES; ++right)
				{
					const SArea a = area(c1, c2, left, right);
					ASSERT_GE(a.Other, 0.0);
					ASSERT_GE(a.This, 0.0);
					ASSERT_LE(a.Other, 0.5);
					ASSERT_LE(a.This, 0.5);
					// Left and right mirrored.
					const SArea m = area(c2, c1, right, left);
					ASSERT_NEAR(a.Other, m.Other, 1e-12) << c1 << c2 << " " << left << " " << right;
					ASSERT_NEAR(a.This, m.This, 1e-12);
					// Flipped across the line: the two sides trade.
					const SArea f = area(flipped(c1), flipped(c2), left, right);
					ASSERT_NEAR(a.Other, f.This, 1e-12);
					ASSERT_NEAR(a.This, f.Other, 1e-12);
					// Ends that do not turn one way give nothing.
					if ((c1 == 0 || c1 == 3) && (c2 == 0 || c2 == 3))
					{
						ASSERT_EQ(a.Other + a.This, 0.0);
					}
				}
}

TEST(SmaaLookup, AreasAlongALineAddUpToTheRevectorisedTriangles)
{
	for (int length = 1; length <= 20; ++length)
	{
		double lShape = 0, zOther = 0, zThis = 0, uThis = 0;
		for (int left = 0; left < length; ++left)
		{
			const int right = length - 1 - left;
			const SArea l = area(2, 0, left, right);
			EXPECT_EQ(l.Other, 0.0);
			lShape += l.This;
			const SArea z = area(2, 1, left, right);
			zOther += z.Other;
			zThis += z.This;
			uThis += area(2, 2, left, right).This;
		}
		// Half a pixel high over half the line: a triangle of length / 8,
		// once for an L, on either side for a Z, twice on one side for a U.
		EXPECT_NEAR(lShape, length / 8.0, 1e-9) << length;
		EXPECT_NEAR(zOther, length / 8.0, 1e-9) << length;
		EXPECT_NEAR(zThis, length / 8.0, 1e-9) << length;
		EXPECT_NEAR(uThis, length / 4.0, 1e-9) << length;
	}
	// A single step (45 degrees): an eighth of a pixel on each side.
	EXPECT_NEAR(area(2, 1, 0, 0).This, 0.125, 1e-12);
	EXPECT_NEAR(area(2, 1, 0, 0).Other, 0.125, 1e-12);
	// The area shrinks away from the turning end.
	EXPECT_GT(area(2, 0, 0, 9).This, area(2, 0, 1, 8).This);
	EXPECT_GT(area(2, 0, 1, 8).This, area(2, 0, 4, 5).This);
}

TEST(SmaaLookup, AreaTexelsHoldTheAreasAtTheirPlaces)
{
	const std::vector<uint8_t> texels = areaTexels();
	ASSERT_EQ(texels.size(), static_cast<size_t>(AREA_SIZE * AREA_SIZE * 3));
	for (int c1 = 0; c1 < 4; ++c1)
		for (int c2 = 0; c2 < 4; ++c2)
			for (int left : {0, 1, 7, 32})
				for (int right : {0, 3, 32})
				{
					const SArea a = area(c1, c2, left, right);
					const size_t at = (static_cast<size_t>(c2 * AREA_DISTANCES + right) * AREA_SIZE +
						static_cast<size_t>(c1 * AREA_DISTANCES + left)) * 3;
					EXPECT_NEAR(texels[at] / 255.0, a.Other, 0.5 / 255);
					EXPECT_NEAR(texels[at + 1] / 255.0, a.This, 0.5 / 255);
					EXPECT_EQ(texels[at + 2], 0);
				}
}

// ---- Search table -------------------------------------------------------------------------
namespace
{
// One row of a line's pixels: whether each carries the line, and the
// crossing edges on its leading border, on this side and the other.
struct SRow
{
	std::vector<bool> Line, Cross, CrossOther;
};

// Pixels past `start` (exclusive) that still belong to its line, walking one
// pixel at a time: backwards a pixel needs the line and ends it with a
// crossing on its own border; forwards a crossing on the next pixel's border
// ends the line before that pixel.
int walk(const SRow& row, int start, int step)
{
	int n = 0;
	if (step < 0)
	{
		if (row.Cross[start] || row.CrossOther[start])
			return 0;
		for (int q = start - 1; q >= 0 && row.Line[q]; --q)
		{
			++n;
			if (row.Cross[q] || row.CrossOther[q])
				break;
		}
		return n;
	}
	for (int q = start + 1; q < static_cast<int>(row.Line.size()) && row.Line[q] && !row.Cross[q] && !row.CrossOther[q];
		 ++q)
		++n;
	return n;
}

// The pass's search: pairs fetched two pixels at a time as the bilinear
// reads combine them, decoded by the table; the same arithmetic as the shader.
int search(const SRow& row, int start, int step, const std::vector<uint8_t>& table)
{
	const int direction = step > 0 ? 1 : 0;
	const int first = step > 0 ? start + 1 : start;
	int crossing = 0, line = 0, s = 0;
	for (s = 0; s < 16; ++s)
	{
		const int b = first + step * 2 * s;
		const int a = b + step;
		crossing = searchCode(row.Cross[b], row.Cross[a], row.CrossOther[b], row.CrossOther[a]);
		line = searchCode(row.Line[b], row.Line[a], false, false);
		if (!(line >= 28 && crossing == 0))
			break;
	}
	if (s == 16)
		s = 15;
	const int found = static_cast<int>(std::lround(table[static_cast<size_t>(line) * SEARCH_WIDTH +
		static_cast<size_t>(direction * SEARCH_CODES + crossing)] / 255.0 * 2.0));
	return 2 * s + found - (direction ? 0 : 1);
}
} // namespace

TEST(SmaaLookup, SearchTableFindsTheLineEndsAWalkFinds)
{
	const std::vector<uint8_t> table = searchTexels();
	ASSERT_EQ(table.size(), static_cast<size_t>(SEARCH_WIDTH * SEARCH_HEIGHT));
	std::mt19937 random(18);
	const int size = 80, start = 40;
	int checked = 0;
	for (int round = 0; round < 4000; ++round)
	{
		// Long lines with a few breaks and crossings at random places.
		const double breaks = (round % 4 + 1) / 40.0;
		std::bernoulli_distribution gap(breaks), cross(breaks / 2);
		SRow row;
		for (int i = 0; i < size; ++i)
		{
			row.Line.push_back(!gap(random));
			row.Cross.push_back(cross(random));
			row.CrossOther.push_back(cross(random));
		}
		row.Line[start] = true;
		for (int step : {-1, 1})
		{
			const int expected = std::min(walk(row, start, step), step < 0 ? 31 : 32);
			ASSERT_EQ(search(row, start, step, table), expected) << "round " << round << " step " << step;
			++checked;
		}
	}
	EXPECT_EQ(checked, 8000);
	// Every pair of bits gives its own code in both channels.
	std::vector<int> seen;
	for (int i = 0; i < 16; ++i)
		seen.push_back(searchCode(i & 8, i & 4, i & 2, i & 1));
	std::sort(seen.begin(), seen.end());
	EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
	EXPECT_EQ(seen.back(), 32);
}

// ---- Files ---------------------------------------------------------------------------------
TEST(SmaaLookup, TheEngineCopiesAreWhatTheToolWrites)
{
	SIrrlichtCreationParameters params;
	params.DriverType = video::EDT_NULL;
	params.LoggingLevel = ELL_NONE;
	IrrlichtDevice* device = createDeviceEx(params);
	ASSERT_TRUE(device);
	video::IVideoDriver* driver = device->getVideoDriver();
	struct SFile
	{
		const char* Name;
		int Width, Height, Channels;
		std::vector<uint8_t> Texels;
	};
	for (const SFile& f : {SFile{"AreaTexDX9.png", AREA_SIZE, AREA_SIZE, 3, areaTexels()},
			 SFile{"SearchTex.png", SEARCH_WIDTH, SEARCH_HEIGHT, 1, searchTexels()}})
	{
		SCOPED_TRACE(f.Name);
		video::IImage* image = driver->createImageFromFile((std::string(ZELV_SOURCE_DIR "/data/textures/") + f.Name).c_str());
		ASSERT_TRUE(image);
		ASSERT_EQ(image->getDimension(), core::dimension2d<u32>(f.Width, f.Height));
		int wrong = 0;
		for (int y = 0; y < f.Height; ++y)
			for (int x = 0; x < f.Width; ++x)
			{
				const video::SColor c = image->getPixel(x, y);
				const uint8_t* t = &f.Texels[(static_cast<size_t>(y) * f.Width + x) * f.Channels];
				wrong += c.getRed() != t[0] || c.getGreen() != (f.Channels == 3 ? t[1] : t[0]);
			}
		EXPECT_EQ(wrong, 0);
		image->drop();
	}
	device->drop();
}
