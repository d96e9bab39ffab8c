#include "render/CZeLightSceneNodeExt.h"

using namespace irr;

scene::ISceneNodeAnimator* CZeLightSceneNodeExt::createClone(scene::ISceneNode* node, scene::ISceneManager*)
{
	CZeLightSceneNodeExt* clone = new CZeLightSceneNodeExt(node);
	clone->Params = Params;
	return clone;
}
