// The engine's scene-manager service with the scene content's nodes: morph
// meshes, skinned meshes shown through XM morph meshes, point clouds and
// particle systems.
#pragma once

#include "render/CZeSceneManagerServiceExt.h"

class CZeSceneManagerServiceScene : public CZeSceneManagerServiceExt
{
public:
	// The manager is not held; it must outlive the service.
	CZeSceneManagerServiceScene(irr::IrrlichtDevice* device, IZeManager* manager);

	// A morph-mesh node when the file has morph data; else a plain node for a
	// mesh without frames, an animated node for an animated mesh that is not
	// skinned, and a morph-mesh node over an XM morph mesh for a skinned mesh
	// with frames. Under the parent (default the root) at the origin; null on failure.
	irr::scene::ISceneNode* addMeshSceneNode(const char* file, irr::scene::ISceneNode* parent = 0,
		irr::s32 id = -1) override;
	irr::scene::ISceneNode* addPointCloudSceneNode(const char* file, irr::u32 pointCount,
		irr::scene::ISceneNode* parent = 0, irr::s32 id = -1) override;
	IZeMorphMesh* getMorphMesh(const char* file) override;
	// Particle-system nodes: instanced ones on OpenGL with instancing
	// (CZeGLParticleSystemSceneNode), plain ones otherwise. The on-mesh form
	// needs a mesh node (null without).
	IZeParticleSystemSceneNode* addParticleSystemSceneNode(irr::scene::ISceneNode* parent = 0, irr::s32 id = -1) override;
	IZeParticleSystemSceneNode* addParticleSystemSceneNodeEx(irr::u32 extra, irr::scene::ISceneNode* parent = 0,
		irr::s32 id = -1) override;
	IZeParticleSystemSceneNode* addParticleSystemSceneNodeOnMesh(irr::scene::IMeshSceneNode* meshNode,
		irr::scene::ISceneNode* parent = 0, irr::s32 id = -1) override;
	// The instanced particles' shared buffers go; their next draw makes them again.
	void onDeviceReset() override;

private:
	irr::IrrlichtDevice* Device;
};

// The scene-manager factory of the program: null without a device.
IZeSceneManager* zeCreateSceneManagerServiceScene(IZeManager* manager);
