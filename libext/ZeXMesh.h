// The ".x" mesh loader of the engine: text and binary ".x" files into skinned
// meshes whose buffers keep, for every vertex, its index in the file's mesh,
// and the two "MeshMaterialsUVs" values of their material.
#pragma once

#include <irrlicht.h>

namespace ze
{
// A skinned-mesh buffer with the ".x" tables. The skinned mesh owns it like
// its other buffers.
struct SSkinMeshBufferExt : public irr::scene::SSkinMeshBuffer
{
	// One entry per vertex: the vertex's index in the mesh as the file numbers it.
	irr::core::array<irr::u32> OriginalVerticesIndices;
	irr::u32 MeshMaterialsUVs[2] = { 0, 0 };
	bool HasMeshMaterialsUVs = false;
};

// The buffer's table of source-vertex indices (exactly its vertex count of
// entries), or null for buffers that have none.
const irr::u32* getOriginalVerticesIndices(const irr::scene::IMeshBuffer* buffer);
// The buffer's two "MeshMaterialsUVs" values; false (and zeros) when it has none.
bool getMeshMaterialsUVs(const irr::scene::IMeshBuffer* buffer, irr::u32* value0, irr::u32* value1);

// A new loader for ".x" files (the caller drops it).
irr::scene::IMeshLoader* createXMeshLoader(irr::scene::ISceneManager* sceneManager);
// Registers our loaders with the scene manager, ahead of the library's own.
void registerMeshLoaders(irr::scene::ISceneManager* sceneManager);
} // namespace ze
