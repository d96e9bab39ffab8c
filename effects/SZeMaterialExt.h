// The record a material's user data points to (through the material's side
// record, ze::setMaterialUserData): which effect, technique and pass draw the
// material, and for which node and surface. Node extensions begin their
// per-material record with it. Materials answer it only while it lives
// (ze::SMaterialUserData).
#pragma once

#include "libext/ZeMaterialExt.h"

#include <irrlicht.h>

class IZeEffect;

// The tag word every record starts with; the material renderer ignores user
// data without it.
const irr::u32 ZE_MATERIAL_EXT_TAG = 0x123456;

struct SZeMaterialExt : ze::SMaterialUserData
{
	irr::u32 Tag = ZE_MATERIAL_EXT_TAG;
	IZeEffect* Effect = nullptr;             // not held by the record
	irr::s32 Technique = 0;
	irr::s32 Pass = 0;
	irr::scene::ISceneNode* Node = nullptr;  // the node drawing the material, or null
	irr::u32 Surface = 0;                    // the material's index in its node
};
