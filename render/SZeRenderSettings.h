// The per-frame records of the advanced renderer context, filled by the
// engine from its render parameters and read by the renderers, the lighting
// and the post effects.
//
// The render settings, the streak values and the antialiasing switches are
// the engine core's records (core/IZeRendererCtxAdv.h).
//
// Index:
//   - SZeLightStreak
//   - SZeShadowTexBind
#pragma once

#include "core/IZeRendererCtxAdv.h"

#include <irrlicht.h>

#include <memory>

class CZePostEffect;
class IZeEffectManager;

// ---- SZeLightStreak ----------------------------------------------------------------
// Directional streaks from the brightest parts of an image (drawn by the
// glow, CZePostGlow.cpp).
struct SZeLightStreak : public SZeLightStreakParams
{
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

// ---- SZeShadowTexBind ----------------------------------------------------------------
// A shadow map and the light that uses it this frame (null: free).
struct SZeShadowTexBind
{
	irr::video::ITexture* ShadowMap = nullptr;
	irr::scene::ISceneNode* Light = nullptr;
};
