// The engine's scene-manager service with the rendering pipeline's additions:
// node and light extensions made on demand, cube maps, and clones whose
// extensions own their materials.
#pragma once

#include "core/CZeSceneManagerService.h"
#include "core/IZeManager.h"

class IZeEffectManager;

class CZeSceneManagerServiceExt : public CZeSceneManagerService
{
public:
	// The manager is not held; it must outlive the service.
	CZeSceneManagerServiceExt(irr::IrrlichtDevice* device, IZeManager* manager);

	// The library copies a node's materials into its clone after cloning the
	// animators: the clone's extension then applies its materials again.
	irr::scene::ISceneNode* cloneSceneNode(irr::scene::ISceneNode* node) override;
	void setMeshVertexIndexColors(irr::scene::IMesh* mesh) override;
	IZeSceneNodeExt* getSceneNodeExt(irr::scene::ISceneNode* node) override;
	IZeLightSceneNodeExt* getLightSceneNodeExt(irr::scene::ISceneNode* light) override;
	IZeCubeMap* createCubeMap(irr::u32 size, ze::ECOLOR_FORMAT format, bool withLatLong) override;

private:
	irr::IrrlichtDevice* Device;
	IZeManager* Manager;
};

// The scene-manager factory of the rendering pipeline: null without a device.
IZeSceneManager* zeCreateSceneManagerServiceExt(IZeManager* manager);
// Lets the effect binds read "CubeMapPosition", "CubeMapAABBPosition" and
// "CubeMapAABBScale" from node extensions.
void zeRegisterNodeExtValues(IZeEffectManager* effects);
