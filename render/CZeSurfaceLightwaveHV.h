// The HyperVoxel surface of particle emitters ('lwhv').
#pragma once

#include "render/IZeSurfaceLightwaveHV.h"

class CZeSurfaceLightwaveHV : public IZeSurfaceLightwaveHV
{
public:
	CZeSurfaceLightwaveHV() = default;
	CZeSurfaceLightwaveHV(const CZeSurfaceLightwaveHV& other);
	CZeSurfaceLightwaveHV& operator=(const CZeSurfaceLightwaveHV&) = delete;

	irr::u32 getType() const override { return ZE_SURFACE_LIGHTWAVE_HV; }
	void initFromMaterial(const irr::video::SMaterial& material) override;
	void applyToMaterial(irr::video::SMaterial& material) const override;
	bool hasNormalMap() const override { return false; }
	bool getEffectCompileParameters(irr::s32& materialType, SZeMacro* macros, irr::u32& count,
		irr::scene::ISceneNode* node) override;
	bool setEffectTextures(IZeEffect* effect) override;
	bool setEffectTextureOnMaterial(irr::video::SMaterial& material, IZeEffect* effect, irr::u32 technique,
		irr::u32 pass) override;
	IZeSurface* clone() const override;
	void* getParams() override { return &Params; }

	// Key counts past ZE_HV_GRADIENT_MAX_KEYS are cut to it.
	void setParams(const SZeLightwaveHVParams& params) override;

private:
	SZeLightwaveHVParams Params;
};
