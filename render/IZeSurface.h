// A surface: how one material of a node looks. It chooses the macros an
// effect is compiled with, binds its textures to the effect's samplers and
// can be written back into a library material. Node extensions hold one
// reference per material.
#pragma once

#include "core/IZeGpuProgramming.h"

#include <irrlicht.h>

class IZeEffect;

// Four-character type codes, first character in the lowest byte.
constexpr irr::u32 zeSurfaceTypeCode(char a, char b, char c, char d)
{
	return irr::u32(irr::u8(a)) | irr::u32(irr::u8(b)) << 8 | irr::u32(irr::u8(c)) << 16 | irr::u32(irr::u8(d)) << 24;
}
const irr::u32 ZE_SURFACE_LIGHTWAVE = zeSurfaceTypeCode('l', 'w', 's', 'r');
const irr::u32 ZE_SURFACE_LIGHTWAVE_HV = zeSurfaceTypeCode('l', 'w', 'h', 'v');

class IZeSurface : public irr::io::IAttributeExchangingObject
{
public:
	// Attribute exchange: surfaces keep none.
	void serializeAttributes(irr::io::IAttributes*, irr::io::SAttributeReadWriteOptions* = 0) const override {}
	void deserializeAttributes(irr::io::IAttributes*, irr::io::SAttributeReadWriteOptions* = 0) override {}

	// ZE_SURFACE_LIGHTWAVE or ZE_SURFACE_LIGHTWAVE_HV.
	virtual irr::u32 getType() const = 0;
	// Fills the surface from a library material.
	virtual void initFromMaterial(const irr::video::SMaterial& material) = 0;
	// Writes the surface into a library material.
	virtual void applyToMaterial(irr::video::SMaterial& material) const = 0;
	virtual bool hasNormalMap() const = 0;
	// The macros for an effect compiled for this surface on a node (may be
	// null). `count` in: the capacity of `macros` (0: write none); out: the
	// number written before the terminating {null, null}. false when the
	// capacity is too small (logged).
	virtual bool getEffectCompileParameters(irr::s32& materialType, SZeMacro* macros, irr::u32& count,
		irr::scene::ISceneNode* node) = 0;
	// Binds the surface's textures to the effect's samplers; false on the first
	// refusal (logged).
	virtual bool setEffectTextures(IZeEffect* effect) = 0;
	// The same textures into the material layers the samplers read in one
	// technique and pass.
	virtual bool setEffectTextureOnMaterial(irr::video::SMaterial& material, IZeEffect* effect, irr::u32 technique,
		irr::u32 pass) = 0;
	// A new surface (one reference, the caller's) with a copy of the parameters.
	virtual IZeSurface* clone() const = 0;
	// The parameter block: SZeLightwaveChannel[ZE_LIGHTWAVE_CHANNEL_COUNT] or
	// SZeLightwaveHVParams.
	virtual void* getParams() = 0;
};
