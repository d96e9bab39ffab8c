// The engine core's own scene-manager service: plain and animated mesh nodes,
// clones, vertex index colours and the scene time. The render level derives
// from it to add node extensions and cube maps. While it lives, the scene
// manager's materials (nodes, meshes, mesh cache) keep their side records
// through collections.
#pragma once

#include "core/IZeServices.h"
#include "libext/ZeMaterialExt.h"

class CZeSceneManagerService : public IZeSceneManager
{
public:
	explicit CZeSceneManagerService(irr::scene::ISceneManager* sceneManager);

	irr::scene::ISceneNode* addMeshSceneNode(const char* file, irr::scene::ISceneNode* parent = 0, irr::s32 id = -1) override;
	irr::scene::ISceneNode* cloneSceneNode(irr::scene::ISceneNode* node) override;
	void setMeshVertexIndexColors(irr::scene::IMesh* mesh) override;
	void setSceneTime(irr::u32 milliseconds) override { SceneTime = milliseconds; }
	irr::u32 getSceneTime() const override { return SceneTime; }
	// Node extensions and cube maps come with the render-level service: these
	// log "not available" and return null.
	IZeSceneNodeExt* getSceneNodeExt(irr::scene::ISceneNode* node) override;
	IZeLightSceneNodeExt* getLightSceneNodeExt(irr::scene::ISceneNode* light) override;
	IZeCubeMap* createCubeMap(irr::u32 size, ze::ECOLOR_FORMAT format, bool withLatLong) override;

	// The mesh of a file through the scene manager's mesh cache; ".x", ".lwo"
	// and ".obj" files load only through the engine's own loaders (a file they
	// refuse must not fall through to the library's, which take truncated
	// files, hang or crash on others). Null on failure.
	static irr::scene::IAnimatedMesh* loadMesh(irr::scene::ISceneManager* sceneManager, const irr::io::path& path);

private:
	irr::scene::ISceneManager* SceneManager;
	irr::u32 SceneTime = 0;
	ze::CMaterialExtHolder Holding;
};
