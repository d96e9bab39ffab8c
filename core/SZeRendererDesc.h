// What a renderer is made from: the effect file that materials drawn solid
// compile with and the one for transparent materials (IZeRenderer::
// getMaterialEffect hands them out). The command renderer adds its commands.
#pragma once

#include <irrlicht.h>

struct SZeRendererDesc
{
	irr::core::stringc FirstEffectFile = "Lpp.hlsl";
	irr::core::stringc SecondEffectFile = "Forward.hlsl";
};
