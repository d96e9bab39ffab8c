// The engine core's own scene-manager service: plain and animated mesh nodes,
// clones, vertex index colours and the scene time.
#pragma once

#include "core/IZeServices.h"

class CZeSceneManagerService : public IZeSceneManager
{
public:
	explicit CZeSceneManagerService(irr::scene::ISceneManager* sceneManager);

	irr::scene::ISceneNode* addMeshSceneNode(const char* file, irr::scene::ISceneNode* parent = 0, irr::s32 id = -1) override;
	irr::scene::ISceneNode* cloneSceneNode(irr::scene::ISceneNode* node) override;
	void setMeshVertexIndexColors(irr::scene::IMesh* mesh) override;
	void setSceneTime(irr::u32 milliseconds) override { SceneTime = milliseconds; }
	irr::u32 getSceneTime() const override { return SceneTime; }

private:
	irr::scene::ISceneManager* SceneManager;
	irr::u32 SceneTime = 0;
};
