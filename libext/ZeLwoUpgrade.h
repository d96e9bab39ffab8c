// LightWave object bytes made ready for the Open Asset Import Library, which
// reads only LWO2 data that follows a "LAYR" chunk: an LWOB (LightWave 5) file
// is rewritten as an LWO2 file with one layer, and an LWO2 file whose points
// come before any layer gets a layer in front. Every size in the input is
// checked against its container; what does not fit is left out.
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
	ELU_REWRITTEN      // out holds the rewritten file
};

// Looks at a whole file in memory and writes its readable form into out.
E_LWO_UPGRADE zeUpgradeLwo(const unsigned char* data, size_t size, std::string* out);
} // namespace ze
