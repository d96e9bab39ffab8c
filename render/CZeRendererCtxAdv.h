// The advanced renderer context that the light pre-pass renderer and the
// command renderer share: the lighting objects (light buffer, shadow maps,
// light pass, volumetric lights), every post effect (post chain,
// morphological and temporal antialiasing, blurs, glow with light streaks,
// depth of field, gamma, the depth-clear pass), the shadow-map bindings, the
// semantic map through which post values reach the shaders, and the
// per-frame records the engine fills from its render parameters.
//
// The parts are reached through virtual getters, so that a caller's
// sequence of steps can be recorded with parts of its own.
#pragma once

#include "core/IZeManager.h"
#include "core/IZeRendererCtxAdv.h"
#include "effects/IZeEffectManager.h"
#include "render/CZePostAntialias.h"
#include "render/CZePostChain.h"
#include "render/CZePostEffect.h"
#include "render/CZePostGlow.h"
#include "render/CZePostSMAA.h"
#include "render/CZeRenderLightBuffer.h"
#include "render/CZeRenderLightPass.h"
#include "render/CZeRenderLightShadowMap.h"
#include "render/CZeRenderLightVolumetric.h"
#include "render/SZeRenderSettings.h"

#include <irrlicht.h>

#include <memory>

class CZeRendererCtxAdv : public IZeRendererCtxAdv
{
public:
	// The glow's reduced screen targets, in the order init finds them.
	static const irr::u32 GLOW_TARGET_COUNT = 13;

	// Makes every part; nothing is loaded before init.
	CZeRendererCtxAdv(irr::IrrlichtDevice* device, IZeManager* manager);
	~CZeRendererCtxAdv() override;
	CZeRendererCtxAdv(const CZeRendererCtxAdv&) = delete;
	CZeRendererCtxAdv& operator=(const CZeRendererCtxAdv&) = delete;

	// Finds the glow targets and the four shadow maps, makes the semantic map
	// with the post values, then loads the lighting, the antialiasing (when
	// the record asks for it) and every post effect from the files. false
	// with the reason logged ("CZeRendererCtxAdv failed to ..." or the
	// part's own message); a second call returns false and changes nothing.
	virtual bool init(const SZeRendererShaderFiles& files);
	bool isInitialised() const { return Initialised; }

	// ---- IZeRendererCtxAdv
	SZeClearRecord* getClearColor() override { return &Clear; }
	SZeRenderSettings* getRenderSettings() override { return &Settings; }
	SZeLightStreak* getLightStreak() override { return &LightStreak; }
	CZePostAntialias* getAntialias() override { return &Antialias; }
	irr::u32 setPostEffects(const irr::core::array<IZeEffect*>& effects) override;

	// Publishes the post values to the semantic map ("BloomSpecMin" 2.0 and
	// "BloomThreshold" 1.0 while bloom is off) and the shadow settings and
	// the light-volume display (the clear record's second word) to the light
	// buffer. Renderers call it once per frame before drawing.
	virtual void setPostParameters();
	// Frees every shadow map for the new frame (no light uses one).
	virtual void resetShadowBinds();

	// ---- Parts
	// Whether the antialiasing was asked for and loaded.
	virtual bool isAntialiasEnabled() const { return AntialiasEnabled; }
	virtual irr::core::array<SZeShadowTexBind>& getShadowBinds() { return ShadowBinds; }
	virtual CZeRenderLightBuffer* getLightBuffer() { return LightBuffer.get(); }
	virtual CZeRenderLightShadowMap* getShadowMapRenderer() { return ShadowMap.get(); }
	virtual CZeRenderLightPass* getLightPass() { return LightPass.get(); }
	virtual CZeRenderLightVolumetric* getVolumetric() { return Volumetric.get(); }
	virtual CZePostEffect* getDepthClear() { return &DepthClear; }
	virtual CZePostChain* getPostChain() { return &PostChain; }
	virtual CZePostSMAA* getSmaa() { return &Smaa; }
	virtual CZePostEffect* getGaussianBlur() { return &GaussianBlur; }
	virtual CZePostEffect* getDownSampleBlur() { return &DownSampleBlur; }
	virtual CZePostEffect* getComposeUpSample() { return &ComposeUpSample; }
	virtual CZePostGlow* getGlow() { return &Glow; }
	virtual SZePostDof* getDof() { return &Dof; }
	virtual CZePostEffect* getGamma() { return &Gamma; }
	IZeEffectBindSemanticMap* getSemanticMap() const { return SemanticMap; }

private:
	bool loadPostEffects(IZeEffectManager* effects, const SZeRendererShaderFiles& files,
		irr::video::ITexture* const glowTargets[GLOW_TARGET_COUNT]);

	bool AntialiasEnabled = false;
	irr::core::array<SZeShadowTexBind> ShadowBinds;
	std::unique_ptr<CZeRenderLightBuffer> LightBuffer;
	std::unique_ptr<CZeRenderLightShadowMap> ShadowMap;
	std::unique_ptr<CZeRenderLightPass> LightPass;
	std::unique_ptr<CZeRenderLightVolumetric> Volumetric;
	CZePostEffect DepthClear;
	CZePostChain PostChain;
	CZePostSMAA Smaa;
	CZePostEffect GaussianBlur;
	CZePostEffect DownSampleBlur;
	CZePostEffect ComposeUpSample;
	SZeLightStreak LightStreak;
	CZePostGlow Glow;
	SZePostDof Dof;
	CZePostEffect Gamma;
	CZePostAntialias Antialias;
	SZeClearRecord Clear = {0, 0};
	SZeRenderSettings Settings;
	IZeEffectBindSemanticMap* SemanticMap = nullptr;
	// Takes the semantic map out of the effect manager's binds and lets it go.
	void dropSemanticMap();
	bool Initialised = false;
	irr::IrrlichtDevice* Device;
	IZeManager* Manager;
};
