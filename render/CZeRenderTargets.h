// The named render targets of the light pre-pass pipeline. They live in the
// driver's texture list; everything finds them again by name.
#pragma once

#include "libext/ZeColorFormat.h"

#include <irrlicht.h>

class CZeRenderTargets
{
public:
	// Makes the 26 targets ("BackRTT[0]" ... "ShadowMap.1024") in the format
	// (ECF_UNKNOWN: A8R8G8B8; the R32F ones and the shadow maps keep theirs),
	// sized from `size` (null: the screen's). true when all exist. The
	// driver's mip-map creation flag is left as it was.
	static bool create(irr::video::IVideoDriver* driver, ze::ECOLOR_FORMAT format,
		const irr::core::dimension2d<irr::u32>* size);
};
