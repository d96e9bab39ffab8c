// The ".lwo" (LWOB and LWO2) and ".obj" mesh loader of the engine: the Open
// Asset Import Library reads the file (LightWave files made readable for it
// first, ZeLwoUpgrade.h), and its triangles become the 3D library's static
// meshes with their materials, textures and texture coordinates, in the
// library's conventions (left-handed, clockwise front faces, V down).
#pragma once

#include <irrlicht.h>

namespace ze
{
// A new loader for ".lwo" and ".obj" files (the caller drops it). A file the
// loader refuses logs why and gives null.
irr::scene::IMeshLoader* createAssimpMeshLoader(irr::scene::ISceneManager* sceneManager);
// Adds the loader to the scene manager ahead of the library's own loaders of
// those extensions (loaders added later are asked first).
void registerAssimpMeshLoader(irr::scene::ISceneManager* sceneManager);
} // namespace ze
