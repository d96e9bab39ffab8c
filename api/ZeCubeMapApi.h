// Cube maps addressed by ID (the cube-map table of the engine context, IDs 0
// to 999). The table's record holds the creation reference of its map; node
// extensions that use a map hold their own.
#pragma once

class IZeCubeMap;

// Makes a cube map of `size` per face in the engine's cube-map format, with a
// lat-long copy when latLong is not 0: 0, or -1 with "invalid CubeMap ID %d :
// %s" (1) when the ID is refused or in use, or "Failed to create cube map" (-1,
// the ID freed again).
int zeMakeCubeMap(int id, int size, int latLong);
// 1 when the ID holds a cube map, else 0; never reports.
int zeCubeMapExist(int id);
// The map of the ID, or null; never reports.
IZeCubeMap* zeGetCubeMap(int id);
// Takes the map off every object using it, drops it and frees the ID; a missing
// ID is ignored.
void zeDeleteCubeMap(int id);
