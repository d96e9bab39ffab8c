// The extension of a light node: the parameter block that the light buffer,
// the shadow maps and the volumetric lights read. It is attached to the light
// as an animator of type ZE_LIGHT_SCENE_NODE_EXT_TYPE.
#pragma once

#include "core/SZeLightExtParams.h"

#include <irrlicht.h>

// The animator type of light extensions.
const irr::scene::ESCENE_NODE_ANIMATOR_TYPE ZE_LIGHT_SCENE_NODE_EXT_TYPE =
	static_cast<irr::scene::ESCENE_NODE_ANIMATOR_TYPE>(4322);

class IZeLightSceneNodeExt : public irr::scene::ISceneNodeAnimator
{
public:
	// The light node (not held).
	virtual irr::scene::ISceneNode* getSceneNode() const = 0;
	// The light's parameters, defaults until written.
	virtual SZeLightExtParams& getParams() = 0;
	virtual const SZeLightExtParams& getParams() const = 0;
};

// The light's extension among its animators, or null; never creates one.
inline IZeLightSceneNodeExt* zeFindLightSceneNodeExt(irr::scene::ISceneNode* node)
{
	if (!node)
		return nullptr;
	const irr::scene::ISceneNodeAnimatorList& animators = node->getAnimators();
	for (irr::scene::ISceneNodeAnimatorList::ConstIterator it = animators.begin(); it != animators.end(); ++it)
		if ((*it)->getType() == ZE_LIGHT_SCENE_NODE_EXT_TYPE)
			return static_cast<IZeLightSceneNodeExt*>(*it);
	return nullptr;
}
