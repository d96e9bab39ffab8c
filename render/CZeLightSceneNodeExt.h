// The light extension: the light's parameter block, defaults at creation.
#pragma once

#include "render/IZeLightSceneNodeExt.h"

class CZeLightSceneNodeExt : public IZeLightSceneNodeExt
{
public:
	explicit CZeLightSceneNodeExt(irr::scene::ISceneNode* light) : Light(light) {}

	// Animator part: nothing to animate, no attributes, no events.
	void serializeAttributes(irr::io::IAttributes*, irr::io::SAttributeReadWriteOptions* = 0) const override {}
	void deserializeAttributes(irr::io::IAttributes*, irr::io::SAttributeReadWriteOptions* = 0) override {}
	void animateNode(irr::scene::ISceneNode*, irr::u32) override {}
	// A light extension for the other light with a copy of the parameters.
	irr::scene::ISceneNodeAnimator* createClone(irr::scene::ISceneNode* node,
		irr::scene::ISceneManager* newManager = 0) override;
	bool isEventReceiverEnabled() const override { return false; }
	bool OnEvent(const irr::SEvent&) override { return false; }
	irr::scene::ESCENE_NODE_ANIMATOR_TYPE getType() const override { return ZE_LIGHT_SCENE_NODE_EXT_TYPE; }
	bool hasFinished() const override { return false; }

	irr::scene::ISceneNode* getSceneNode() const override { return Light; }
	SZeLightExtParams& getParams() override { return Params; }
	const SZeLightExtParams& getParams() const override { return Params; }

private:
	irr::scene::ISceneNode* Light;  // not held
	SZeLightExtParams Params;
};
