// A mesh whose vertices are displaced by weighted morph targets (and, for
// skinned meshes, skinned) before each frame.
#pragma once

#include <irrlicht.h>

class IZeMorphMesh : public irr::scene::IMesh
{
public:
	// Adds weights[k] x morph indices[k] (1-based) for k below count, after the
	// rest pose is restored. Index 0, indices above the morph count and zero
	// weights are skipped; morphs add up. The frame matters for skinned meshes.
	virtual void applyMorphs(irr::u32 count, const irr::u32* indices, const irr::f32* weights, irr::f32 frame) = 0;
	virtual irr::u32 getMorphCount() const = 0;
	virtual irr::u32 getFrameCount() const { return 0; }
	// A new morph mesh (reference count 1) with its own vertices and box; a
	// skinned one animates through the same skinned mesh.
	virtual IZeMorphMesh* clone() const = 0;
};
