// Resources carried by the executable: data blocks appended to the ELF file,
// each closed by a trailer (magic, resource number, size).
#pragma once

#include <cstddef>

// Resource numbers.
enum EZE_RESOURCE
{
	EZERSC_PACKED_DATA = 500,  // the packed demo, scene or script data
	EZERSC_ENGINE_DATA = 501   // the engine's shaders and textures
};

// Whether the executable at `exePath` carries the resource.
bool zeResourceExistsIn(const char* exePath, int number);
// Whether the running executable carries the resource.
bool zeResourceExists(int number);
// The side file of an executable: its folder, its name without extension and
// ".dat" (program-wide buffer).
const char* zePackDatPath(const char* exePath);
// Resource 500 exists, or the side file of `exePath` opens through the file layer.
bool zePackedDataExists(const char* exePath);
