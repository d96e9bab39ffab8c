// Cube maps addressed by ID (the cube-map table of the engine context, IDs 0
// to 999). The table's record holds the creation reference of its map; node
// extensions that use a map hold their own.
#pragma once

class IZeCubeMap;

// Functions taking an ID report "CubeMap ID %d does not exist. %s" (argument
// 1) for a missing one, except the exist, get and delete functions.

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
// Clears the map, so that it counts as not rendered and is captured again.
void zeCubeMapUpdate(int id);
// 1 when the map was captured since its creation or last clear, else 0.
int zeCubeMapIsRendered(int id);
// Captures the scene around the position into the map through the current
// renderer, inside the frame. 0, or -1 with "Failed to render cube map" (-1)
// when the frame could not capture all six faces.
int zeRenderCubeMap(int id, float x, float y, float z);
