// The per-frame records of the advanced renderer context, filled by the
// engine from its render parameters and read by the renderers, the lighting
// and the post effects.
//
// Index:
//   - SZeRenderSettings
//   - SZeLightStreak
//   - SZeClearSettings
//   - SZeShadowTexBind
#pragma once

#include <irrlicht.h>

#include <memory>

class CZePostEffect;
class IZeEffectManager;

// ---- SZeRenderSettings -----------------------------------------------------------
struct SZeRenderSettings
{
	bool DofEnable = false;
	irr::f32 FocalDistance = 0.0f;         // semantic "FocalDistance"
	irr::f32 FStop = 0.0f;                 // semantic "FStop"
	irr::f32 DofMode = 0.0f;               // non-zero: the artist circle of confusion
	irr::f32 DofFocalRangeMin = 0.0f;      // semantic "DofFocalRangeMin"
	irr::f32 DofFocalRangeMax = 0.0f;      // semantic "DofFocalRangeMax"
	irr::f32 DofFocalRangeFocused = 0.0f;  // semantic "DofFocalRangeFocused"
	irr::f32 DofRadiusScale = 0.0f;
	bool GlowEnable = false;
	irr::f32 GlowIntensity = 0.0f;
	irr::f32 GlowRadius = 0.0f;
	bool StreakEnable = false;
	bool BloomEnable = false;
	irr::f32 BloomSpecularMin = 0.0f;
	irr::f32 BloomCompose = 0.0f;
	bool SsaoEnable = false;
	irr::f32 Ssao[4] = {};                 // distance reach, max depth decline, depth epsilon, output multiplier
	bool ShadowOverride = false;
	irr::f32 ShadowEpsilon = 0.0f;
	bool StereoEnable = false;
	irr::f32 Stereo[3] = {};
	bool GammaEnable = false;
	irr::u32 AntialiasLocation = 1;
	bool Baking = false;
};

// ---- SZeLightStreak ----------------------------------------------------------------
// Directional streaks from the brightest parts of an image (drawn by the
// glow, CZePostGlow.cpp).
struct SZeLightStreak
{
	irr::f32 GlowMin = 0.0f;
	irr::f32 KeyMatch = 0.8f;
	irr::f32 ColorKey[4] = {1.0f, 1.0f, 1.0f, 1.0f};
	irr::f32 Angle = 0.0f;                 // degrees
	irr::f32 Colorize[4] = {0.0f, 0.5f, 1.0f, 1.0f};
	irr::f32 Attenuation = 0.5f;
	irr::f32 Compose = 1.0f;
	// The context's compose-up-sample effect (not owned), and the streak's own
	// two passes: those that load makes are kept by the record.
	CZePostEffect* ComposeEffect = nullptr;
	CZePostEffect* MaxIntensityEffect = nullptr;  // "LightStreakMaxInt.hlsl"
	CZePostEffect* DrawEffect = nullptr;          // "LightStreakDraw.hlsl"

	SZeLightStreak();
	~SZeLightStreak();
	SZeLightStreak(const SZeLightStreak&) = delete;
	SZeLightStreak& operator=(const SZeLightStreak&) = delete;

	// Keeps the compose effect and creates the two passes; false (without a
	// message) when either fails.
	bool load(CZePostEffect* compose, IZeEffectManager* effects, const char* maxIntensityFile, const char* drawFile);
	// The bright parts of `source` into workB, three streak passes along the
	// angle and three against it between workA and workB, then added onto
	// `glow` by the compose value. Nothing without the three effects.
	void render(irr::video::IVideoDriver* driver, irr::video::ITexture* glow, irr::video::ITexture* source,
		irr::video::ITexture* workA, irr::video::ITexture* workB);

private:
	std::unique_ptr<CZePostEffect> OwnedMaxIntensity;
	std::unique_ptr<CZePostEffect> OwnedDraw;
};

// ---- SZeClearSettings ----------------------------------------------------------------
struct SZeClearSettings
{
	irr::u32 ClearColor = 0;   // 0xAARRGGBB
	irr::u32 ShowLightVolumes = 0;
};

// ---- SZeShadowTexBind ----------------------------------------------------------------
// A shadow map and the light that uses it this frame (null: free).
struct SZeShadowTexBind
{
	irr::video::ITexture* ShadowMap = nullptr;
	irr::scene::ISceneNode* Light = nullptr;
};
