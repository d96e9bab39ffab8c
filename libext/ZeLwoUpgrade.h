// LightWave object bytes made ready for the Open Asset Import Library, which
// reads only LWO2 data that follows a "LAYR" chunk and trusts the sizes and
// indices it finds (reading past its buffer otherwise). An LWOB (LightWave 5)
// file is rewritten as an LWO2 file with one layer. An LWO2 file is checked
// chunk by chunk: points before any layer, or after their layer's own points,
// get a layer in front; layers get numbers of their own and parents that
// exist and close no loop; polygons, polygon tags and vertex maps keep only
// entries that fit their chunk and name points, polygons and tags that exist
// (a polygon with a missing point becomes a single point, so the others keep
// their numbers), and a layer keeps only its first polygon list; surfaces,
// clips and envelopes whose subchunks run past them, or whose names run past
// them, are left out. A file with no polygon to draw is refused (the library
// leaks what it built of it), and so is one whose smoothed polygons crowd so
// many corners at so few points that the library's smoothing, which compares
// the corners at a point pairwise, would take minutes.
#pragma once

#include <cstddef>
#include <string>

namespace ze
{
// What zeUpgradeLwo did.
enum E_LWO_UPGRADE
{
	ELU_NOT_LWO = 0,   // not a LightWave object: out is untouched
	ELU_UNCHANGED,     // an LWO2 file the library reads as it is: out is untouched
	ELU_REWRITTEN,     // out holds the rewritten file
	ELU_REFUSED        // the library must not read it: out is untouched, `refusal` says why
};

// Looks at a whole file in memory and writes its readable form into out; a
// refused file's reason goes to `refusal` when given.
E_LWO_UPGRADE zeUpgradeLwo(const unsigned char* data, size_t size, std::string* out, std::string* refusal = nullptr);
} // namespace ze
