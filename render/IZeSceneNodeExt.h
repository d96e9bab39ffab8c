// The extension every object node carries: per material the effect with its
// technique and pass, the surface, saved per-pass texture states and the
// indices of the effect's special techniques; for the whole node the shadow
// flag, a cube map with its box and a selection mask. It is attached to the
// node as an animator of type ZE_SCENE_NODE_EXT_TYPE, so it lives and dies
// with the node. The user data of the node's materials goes with it: copies of
// those materials still around then read no user data, and their side records
// go at the next collection that finds no held material reading them.
#pragma once

#include "effects/IZeEffect.h"
#include "effects/SZeMaterialExt.h"

#include <irrlicht.h>

class IZeSurface;
class IZeCubeMap;

// The animator type of node extensions.
const irr::scene::ESCENE_NODE_ANIMATOR_TYPE ZE_SCENE_NODE_EXT_TYPE =
	static_cast<irr::scene::ESCENE_NODE_ANIMATOR_TYPE>(4321);

// The effect techniques a material may have for special passes.
enum EZE_SPECIAL_TECHNIQUE
{
	EZEST_DEPTH = 0,       // "depth"
	EZEST_SHADOW = 1,      // "shadow"
	EZEST_REFLECTION = 2   // "reflection"
};

// Effect, technique and pass of one material, as saveEffects keeps them. The
// record holds a reference to its effect.
struct SZeNodeExtSavedEffect
{
	IZeEffect* Effect = nullptr;
	irr::s32 Technique = 0;
	irr::s32 Pass = 0;

	SZeNodeExtSavedEffect() = default;
	SZeNodeExtSavedEffect(IZeEffect* effect, irr::s32 technique, irr::s32 pass)
		: Effect(effect), Technique(technique), Pass(pass)
	{
		if (Effect)
			Effect->grab();
	}
	SZeNodeExtSavedEffect(const SZeNodeExtSavedEffect& other)
		: SZeNodeExtSavedEffect(other.Effect, other.Technique, other.Pass)
	{
	}
	SZeNodeExtSavedEffect& operator=(const SZeNodeExtSavedEffect& other)
	{
		if (other.Effect)
			other.Effect->grab();
		if (Effect)
			Effect->drop();
		Effect = other.Effect;
		Technique = other.Technique;
		Pass = other.Pass;
		return *this;
	}
	~SZeNodeExtSavedEffect()
	{
		if (Effect)
			Effect->drop();
	}
};

class IZeSceneNodeExt : public irr::scene::ISceneNodeAnimator
{
public:
	// The node (not held).
	virtual irr::scene::ISceneNode* getSceneNode() const = 0;

	virtual void setCastShadow(bool castShadow) = 0;
	virtual bool isCastShadow() const = 0;

	// Effects per material. Indices at or above the material count are
	// ignored by setters and give none from getters.
	virtual IZeEffect* getMaterialEffect(irr::u32 i) const = 0;
	// Holds the effect, finds its special techniques and applies the material.
	virtual void setMaterialEffect(irr::u32 i, IZeEffect* effect, irr::s32 technique, irr::s32 pass) = 0;
	// These change only what they name, and only when the material has an effect.
	virtual void setMaterialTechniquePass(irr::u32 i, irr::s32 technique, irr::s32 pass) = 0;
	virtual void setMaterialTechnique(irr::u32 i, irr::s32 technique) = 0;
	virtual void setMaterialPass(irr::u32 i, irr::s32 pass) = 0;
	virtual void removeMaterialEffect(irr::u32 i) = 0;
	virtual void removeAllMaterialEffects() = 0;

	// Surfaces per material, one reference held each.
	virtual IZeSurface* getMaterialSurface(irr::u32 i) const = 0;
	virtual void setMaterialSurface(irr::u32 i, IZeSurface* surface) = 0;
	virtual void removeMaterialSurface(irr::u32 i) = 0;
	virtual void removeAllMaterialSurfaces() = 0;

	// For mesh, animated-mesh and morph-mesh nodes: whether any mesh buffer
	// has a non-zero second "MeshMaterialsUVs" value, and the two values of
	// buffer i (true when i names a buffer).
	virtual bool hasMeshMaterialsUVs() = 0;
	virtual bool getMeshMaterialsUVs(irr::u32 i, irr::u32* value0, irr::u32* value1) = 0;
	virtual void setExtValue(irr::u32 value) = 0;
	// Whether a material whose surface has a normal map is used by a mesh buffer.
	virtual bool needTangents() = 0;
	// Gives a mesh node tangent vertices when its surfaces need them, then
	// applies every material again; false when the tangent copy cannot be made.
	virtual bool updateFromSurfaces() = 0;
	// The technique index of "depth", "shadow" or "reflection" in material
	// i's effect; -1 when it has none.
	virtual irr::s32 getMaterialSpecialTechnique(irr::u32 i, EZE_SPECIAL_TECHNIQUE kind) const = 0;

	// Swapping all materials to other techniques and back.
	virtual void saveEffects(irr::core::array<SZeNodeExtSavedEffect>& out) const = 0;
	virtual void restoreEffects(const irr::core::array<SZeNodeExtSavedEffect>& saved) = 0;

	// The cube map (held) and its texture as materials see it: an indirect
	// texture that follows the attached cube map.
	virtual void setCubeMap(IZeCubeMap* cubeMap) = 0;
	virtual IZeCubeMap* getCubeMap() const = 0;
	virtual irr::video::ITexture* getCubeMapTexture() const = 0;
	// Disabling an enabled box moves its position to 1000000 on each axis.
	virtual void setCubeMapAABBEnabled(bool enabled) = 0;
	virtual void setCubeMapAABB(const irr::core::vector3df& position, const irr::core::vector3df& scale) = 0;
	virtual bool isCubeMapAABBEnabled() const = 0;
	virtual const irr::core::vector3df& getCubeMapAABBPosition() const = 0;
	virtual const irr::core::vector3df& getCubeMapAABBScale() const = 0;

	virtual irr::u32 getSelectionMask() const = 0;
	// Returns the previous mask.
	virtual irr::u32 setSelectionMask(irr::u32 mask) = 0;

	// The number of material records (the node's materials at creation) and
	// the record material i's user data points to (null out of range).
	virtual irr::u32 getMaterialCount() const = 0;
	virtual const SZeMaterialExt* getMaterialRecord(irr::u32 i) const = 0;

	// The first material whose surface is `surface`, or -1.
	irr::s32 findMaterialSurfaceIndex(const IZeSurface* surface) const
	{
		if (!surface)
			return -1;
		for (irr::u32 i = 0; i < getMaterialCount(); ++i)
			if (getMaterialSurface(i) == surface)
				return static_cast<irr::s32>(i);
		return -1;
	}
};

// The node's extension among its animators, or null; never creates one.
inline IZeSceneNodeExt* zeFindSceneNodeExt(irr::scene::ISceneNode* node)
{
	if (!node)
		return nullptr;
	const irr::scene::ISceneNodeAnimatorList& animators = node->getAnimators();
	for (irr::scene::ISceneNodeAnimatorList::ConstIterator it = animators.begin(); it != animators.end(); ++it)
		if ((*it)->getType() == ZE_SCENE_NODE_EXT_TYPE)
			return static_cast<IZeSceneNodeExt*>(*it);
	return nullptr;
}
