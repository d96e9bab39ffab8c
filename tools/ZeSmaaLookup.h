// The two lookup tables of the morphological antialiasing's blending-weight
// pass, computed from the method's definition, and their PNG files.
//
// Index:
//   - Edges, crossings and the pattern classes
//   - Area table
//   - Search table
//   - Files
//
// ---- Edges, crossings and the pattern classes --------------------------------------
// The edges texture holds, per pixel, R = an edge on its left border and G =
// an edge on its top border. A horizontal edge line runs along the top border
// of a row of pixels; the vertical case is its transpose (rows become columns,
// R and G swap), so one set of tables serves both.
//
// Along a line, "this side" is the row (or column) of the pixel being shaded,
// "the other side" the row above it (or the column left of it). At each end of
// the line a crossing edge may turn towards the other side (class 1), towards
// this side (class 2), both ways (class 3) or not at all (class 0).
//
// The line is revectorised as the method describes: from each end that turns
// one way, a straight segment runs from half a pixel towards the turn, at the
// end, to the line itself at the middle of the line. The part of a pixel
// between that segment and the line belongs to the colour beyond the line:
// on the other side, the other pixel takes this pixel's colour by that area;
// on this side, this pixel takes the other pixel's colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zesmaa
{
// ---- Area table ------------------------------------------------------------------------
// Distances from the shaded pixel to either end of its line, 0 to 32 (longer
// ones are read as 32), for each of the 4 x 4 pairs of end classes.
const int AREA_DISTANCES = 33;
const int AREA_SIZE = 4 * AREA_DISTANCES;  // 132 x 132 texels

struct SArea
{
	double Other;  // the other pixel takes this pixel's colour by this much
	double This;   // this pixel takes the other pixel's colour by this much
};

// The coverage of the shaded pixel `left` pixels from the first end and
// `right` pixels from the second, with end classes c1 and c2 (0 to 3). Both
// parts lie in 0 .. 0.5.
SArea area(int c1, int c2, int left, int right);

// The table as 8-bit RGB texels, rows from the top: texel (c1 * 33 + left,
// c2 * 33 + right) holds R = Other and G = This, each x 255 rounded; B is 0.
std::vector<uint8_t> areaTexels();

// ---- Search table -------------------------------------------------------------------------
// A search along a line fetches two neighbouring pixels at once with bilinear
// filtering: b, next to the part of the line already found, weighted 3/4 and
// a, one pixel farther, weighted 1/4, along the line; this side weighted 7/8
// and the other side 1/8 across it. A fetched channel is then k / 32 with
//   k = 21 b + 7 a + 3 b' + a'
// (b', a': the same pixels on the other side), which tells all four apart.
// The line's channel (G for horizontal lines) reads b and a; the crossing
// channel (R) reads both sides. The table gives how many of b and a (0, 1 or
// 2) still belong to the line: texel (direction * 33 + crossing k, line k),
// direction 0 searching back (left or up), 1 forward (right or down), value
// x 127.5 rounded (0, 128, 255).
const int SEARCH_CODES = 33;
const int SEARCH_WIDTH = 2 * SEARCH_CODES;  // 66 x 33 texels
const int SEARCH_HEIGHT = SEARCH_CODES;

// The channel code of four edge bits.
int searchCode(bool b, bool a, bool otherB, bool otherA);
// How many of the fetched pair belong to the line (0 to 2); codes that no
// four bits give read 0.
int searchExtent(int direction, int crossingCode, int lineCode);
// The table as 8-bit grey texels, rows from the top.
std::vector<uint8_t> searchTexels();

// ---- Files ---------------------------------------------------------------------------------
// Writes "AreaTexDX9.png" and "SearchTex.png" into a folder; false with a
// message in `error` on failure.
bool writeLookupFiles(const std::string& folder, std::string* error);
} // namespace zesmaa
