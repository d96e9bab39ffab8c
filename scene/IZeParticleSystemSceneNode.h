// A particle system: a scene node that owns a particle emitter, feeds it its
// world transformation, the active camera's position and the frame time, and
// draws the live particles as quads in the transparent pass. Turning the
// quads to the camera, their size, colour and fading are the particle
// effect's work: per particle the node delivers the quad corner (TEXCOORD0),
// the centre (POSITION0), (birth time, death time, 0) in seconds (NORMAL0)
// and, when drawn instanced, the velocity (TANGENT0).
#pragma once

#include "scene/IZeFxEmitter.h"

#include <irrlicht.h>

class IZeParticleSystemSceneNode : public irr::scene::ISceneNode
{
public:
	// The node's type code.
	static constexpr irr::scene::ESCENE_NODE_TYPE NODE_TYPE =
		static_cast<irr::scene::ESCENE_NODE_TYPE>(MAKE_IRR_ID('p', 't', 'c', 'z'));

	// At the origin, without rotation, at scale 1. The second form's extra
	// value is ignored.
	IZeParticleSystemSceneNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id)
		: irr::scene::ISceneNode(parent, manager, id, irr::core::vector3df(0.f, 0.f, 0.f),
			  irr::core::vector3df(0.f, 0.f, 0.f), irr::core::vector3df(1.f, 1.f, 1.f))
	{
	}
	IZeParticleSystemSceneNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id,
		irr::u32 extra)
		: IZeParticleSystemSceneNode(parent, manager, id)
	{
		(void)extra;
	}

	irr::scene::ESCENE_NODE_TYPE getType() const override { return NODE_TYPE; }

	// While false the node simulates but draws nothing (true at creation).
	virtual void setRenderEnabled(bool enabled) = 0;
	virtual IZeFxEmitter* getFxEmitter() = 0;
};
