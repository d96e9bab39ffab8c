// Glow: the source masked by its alpha, down-sampled through the chain of
// reduced screen targets, each level blurred and the levels added back up
// onto the output; light streaks (SZeLightStreak, SZeRenderSettings.h) join
// in at the half-size level.
#pragma once

#include "effects/IZeEffectManager.h"
#include "render/CZePostEffect.h"
#include "render/SZeRenderSettings.h"

#include <irrlicht.h>

class CZePostGlow
{
public:
	CZePostGlow() = default;
	virtual ~CZePostGlow() = default;
	CZePostGlow(const CZePostGlow&) = delete;
	CZePostGlow& operator=(const CZePostGlow&) = delete;

	// Keeps the down-sample, blur and compose effects and the streak record
	// (none owned) and the targets: half[0..2], then pairs of the quarter,
	// eighth, sixteenth, thirty-second and sixty-fourth screens (the last pair
	// is not drawn); creates the alpha-mask pass from `file`. false with
	// "CZePostGlow failed to load <file>".
	bool load(CZePostEffect* downSample, CZePostEffect* blur, CZePostEffect* compose, SZeLightStreak* streak,
		irr::video::ITexture* const half[3], irr::video::ITexture* const quarter[2],
		irr::video::ITexture* const eighth[2], irr::video::ITexture* const sixteenth[2],
		irr::video::ITexture* const thirtySecond[2], irr::video::ITexture* const sixtyFourth[2],
		IZeEffectManager* effects, const char* file);

	// Adds the glow of `source` onto `output` by `intensity`. The radius (in
	// pixels of the screen) decides the levels: 1/8 above 16, 1/16 above 24,
	// 1/32 above 32. The glow is left in "HalfScreen[1]". A source that is
	// "HalfScreen[1]" itself is copied into "HalfScreen[2]" first (logged as
	// an error), or the glow is skipped when that cannot be done.
	virtual void render(irr::video::IVideoDriver* driver, irr::video::ITexture* output, irr::video::ITexture* source,
		irr::f32 radius, irr::f32 intensity, bool withStreaks);

	CZePostEffect& getAlphaMask() { return AlphaMask; }

private:
	enum ETarget
	{
		H0, H1, H2, Q0, Q1, E0, E1, S0, S1, T0, T1, X0, X1, TARGET_COUNT
	};

	CZePostEffect* DownSample = nullptr;
	CZePostEffect* Blur = nullptr;
	CZePostEffect* Compose = nullptr;
	SZeLightStreak* Streak = nullptr;
	irr::video::ITexture* Targets[TARGET_COUNT] = {};
	CZePostEffect AlphaMask;  // "GlowAlphaMul.hlsl"
};
