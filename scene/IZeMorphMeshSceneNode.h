// A scene node showing a morph mesh: a frame loop for skinned animation and
// weighted morph targets, applied to the mesh in the node's animation step.
#pragma once

#include <irrlicht.h>

class IZeMorphMesh;

class IZeMorphMeshSceneNode : public irr::scene::ISceneNode
{
public:
	IZeMorphMeshSceneNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id,
		const irr::core::vector3df& position, const irr::core::vector3df& rotation, const irr::core::vector3df& scale)
		: ISceneNode(parent, manager, id, position, rotation, scale)
	{
	}

	// Parent and scene manager default to the node's own.
	irr::scene::ISceneNode* clone(irr::scene::ISceneNode* newParent = nullptr,
		irr::scene::ISceneManager* newManager = nullptr) override = 0;

	// Clamped to the frame loop; the morphs are applied in the next animation step.
	virtual void setCurrentFrame(irr::f32 frame) = 0;
	// Ends are sorted and clamped to the mesh's frames; the current frame goes
	// to the start. A mesh without frames gives -1 to -1. Always true.
	virtual bool setFrameLoop(irr::s32 begin, irr::s32 end) = 0;
	virtual irr::s32 getStartFrame() const = 0;
	virtual irr::s32 getEndFrame() const = 0;
	// Morph indices are 1-based (0 names none); the arrays are copied.
	virtual void setMorphTargets(irr::u32 count, const irr::u32* indices, const irr::f32* weights) = 0;
	// A null mesh is ignored; a new mesh brings its materials and the whole frame range.
	virtual void setMesh(IZeMorphMesh* mesh) = 0;
	virtual IZeMorphMesh* getMesh() = 0;
};
