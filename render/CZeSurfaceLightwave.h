// The LightWave surface ('lwsr').
#pragma once

#include "render/IZeSurfaceLightwave.h"

class CZeSurfaceLightwave : public IZeSurfaceLightwave
{
public:
	CZeSurfaceLightwave();
	CZeSurfaceLightwave(const CZeSurfaceLightwave& other);
	CZeSurfaceLightwave& operator=(const CZeSurfaceLightwave&) = delete;

	irr::u32 getType() const override { return ZE_SURFACE_LIGHTWAVE; }
	void initFromMaterial(const irr::video::SMaterial& material) override;
	void applyToMaterial(irr::video::SMaterial& material) const override;
	bool hasNormalMap() const override { return Channels[EZELW_BUMP].Texture != nullptr; }
	bool getEffectCompileParameters(irr::s32& materialType, SZeMacro* macros, irr::u32& count,
		irr::scene::ISceneNode* node) override;
	bool setEffectTextures(IZeEffect* effect) override;
	bool setEffectTextureOnMaterial(irr::video::SMaterial& material, IZeEffect* effect, irr::u32 technique,
		irr::u32 pass) override;
	IZeSurface* clone() const override;
	void* getParams() override { return Channels; }

	void setParams(const SZeLightwaveChannel* channels) override;
	void setParamFloat(irr::u32 i, irr::f32 value) override;
	void setParamInt(irr::u32 i, irr::s32 value) override;
	void setParamFloat3(irr::u32 i, irr::f32 x, irr::f32 y, irr::f32 z) override;
	void setParamTexture(irr::u32 i, irr::video::ITexture* texture) override;
	void setParamFlag(irr::u32 i, irr::u8 srgb) override;
	irr::f32 getParamFloat(irr::u32 i) const override { return getParam(i).Value[0]; }
	irr::s32 getParamInt(irr::u32 i) const override { return getParam(i).getInt(); }
	const SZeLightwaveChannel& getParam(irr::u32 i) const override;
	irr::video::ITexture* getParamTexture(irr::u32 i) const override { return getParam(i).Texture; }

private:
	// Whether the reflection image is used (options >= 2 and an image).
	bool usesReflectionImage() const;
	bool isReflective() const;
	// The set of macro bits for a node (may be null).
	irr::u32 macroBits(irr::scene::ISceneNode* node) const;
	// Binds every textured channel; `material` null binds to the effect itself.
	bool bindTextures(IZeEffect* effect, irr::video::SMaterial* material, irr::u32 technique, irr::u32 pass);

	SZeLightwaveChannel Channels[ZE_LIGHTWAVE_CHANNEL_COUNT];
};
