// Rectangles and images drawn through an effect on one screen quad shared by
// the whole engine; the frame's 2D list draws its commands with an effect
// through these.
#pragma once

#include "core/CZeScreenQuad.h"

#include <irrlicht.h>

// The quad: the whole viewport in clip space at depth 0, normal (0, 0, 1),
// colour 0, texture coordinates (0, 0) at the top left to (1, 1) at the
// bottom right. Its material becomes the effect's for each draw.
class FxDrawScreenQuad : public CZeScreenQuad
{
public:
	FxDrawScreenQuad() : CZeScreenQuad(irr::video::SColor(0), 1.0f) {}
};

// Draws the whole quad through technique 0, pass 0 of the effect of an ID,
// whose parameters "Rectangle" (x1, y1, x2 - x1, y2 - y1 in pixels) and
// "Color" (red, green, blue, alpha of the 0xAARRGGBB colour, each / 255) are
// set first when it has them; the effect places the rectangle. Nothing the
// draw used stays bound or held by the quad afterwards. 0, or -1 when the
// effect ID holds none (no message).
int zeDrawBoxWithEffect(const irr::core::rect<irr::s32>& rect, int effectId, irr::u32 colour);
// The same with the effect's sampler "Image" reading the texture for the draw.
int zeDrawImageWithEffect(const irr::core::rect<irr::s32>& rect, int effectId, irr::u32 colour,
	irr::video::ITexture* image);
// Frees the quad (engine shutdown); the next draw makes it again.
void zeFreeScreenQuad();
// Has the frame's 2D list draw its commands with an effect through these.
void zeInstallScreenQuadApi();
