// A full-screen quad: two triangles in clip space with a material of its own,
// reported to the collection of material side records while it lives.
#pragma once

#include "libext/ZeMaterialExt.h"

#include <irrlicht.h>

class CZeScreenQuad
{
public:
	// Vertices in one colour with normals along z (-1: towards the viewer).
	explicit CZeScreenQuad(irr::video::SColor colour = irr::video::SColor(255, 255, 255, 255), irr::f32 normalZ = -1.0f);
	// Draws the quad with identity world, view and projection and its material,
	// then puts the driver's transforms back: the camera's stay for what follows.
	void render(irr::video::IVideoDriver* driver);
	// Draws the quad with an identity world transform and the view and
	// projection left as they are: the effect's binds still see the camera
	// (the effect's own transform puts the quad on the screen).
	void renderInCamera(irr::video::IVideoDriver* driver);
	irr::video::SMaterial& getMaterial() { return Material; }

private:
	irr::video::S3DVertex Vertices[4];
	irr::u16 Indices[6];
	irr::video::SMaterial Material;
	ze::CMaterialExtHolder Holding{Material};
};
