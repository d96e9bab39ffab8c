// The advanced renderer context that the light pre-pass and command
// renderers share: its per-frame records, which the engine fills from its
// render parameters before each frame (zeApplyRenderSettings), and the list
// of shader files it is made from. The context itself lives in render/
// (CZeRendererCtxAdv); the engine core knows it through this interface.
//
// Index:
//   - SZeRenderSettings
//   - SZeLightStreakParams
//   - SZeAntialiasParams
//   - SZeRendererShaderFiles
//   - IZeRendererCtxAdv
#pragma once

#include "core/IZeRenderer.h"

#include <irrlicht.h>

class IZeEffect;

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

// ---- SZeLightStreakParams ----------------------------------------------------------
// The values of the light streaks (the render record SZeLightStreak adds its passes).
struct SZeLightStreakParams
{
	irr::f32 GlowMin = 0.0f;
	irr::f32 KeyMatch = 0.8f;
	irr::f32 ColorKey[4] = {1.0f, 1.0f, 1.0f, 1.0f};
	irr::f32 Angle = 0.0f;                 // degrees
	irr::f32 Colorize[4] = {0.0f, 0.5f, 1.0f, 1.0f};
	irr::f32 Attenuation = 0.5f;
	irr::f32 Compose = 1.0f;
};

// ---- SZeAntialiasParams ------------------------------------------------------------
// The temporal antialiasing's switches, copied from the scene's antialiasing
// channels each frame (CZePostAntialias adds its passes).
struct SZeAntialiasParams
{
	irr::u32 Mode = 1;            // 1 runs the morphological antialiasing
	irr::u32 Jitter = 0;          // 0-3: 1, 2, 4, 8 positions; other: random
	irr::u32 Blending = 0;        // 0 off, 1 plain, 2 reprojected
	irr::u32 BlendingWeight = 0;  // 0: by the jitter; 1-9: 1 .. 1/256; above: 1/2
	bool ValueLimitEnable = false;
	irr::f32 ValueLimit = 0.0f;
};

// ---- SZeRendererShaderFiles ----------------------------------------------------------
// The advanced context's shader and texture files, in this order.
enum EZE_RENDERER_SHADER_FILE
{
	EZERSF_DEPTH_CLEAR = 0,     // "LppDepthClear.hlsl"
	EZERSF_LIGHT_PASS,          // "LppLightPass.hlsl"
	EZERSF_SHADOW_DEPTH,        // "LppShadowDepth.hlsl"
	EZERSF_GAUSSIAN_BLUR,       // "GaussianBlur.hlsl"
	EZERSF_DOWN_SAMPLE_BLUR,    // "DownSampleBlur.hlsl"
	EZERSF_COMPOSE_UP_SAMPLE,   // "ComposeUpSample.hlsl"
	EZERSF_STREAK_MAX_INTENSITY,// "LightStreakMaxInt.hlsl"
	EZERSF_STREAK_DRAW,         // "LightStreakDraw.hlsl"
	EZERSF_GLOW_ALPHA_MUL,      // "GlowAlphaMul.hlsl"
	EZERSF_DOF_COC_ARTIST,      // "DofCocArtist.hlsl"
	EZERSF_DOF_COC_PHYSICAL,    // "DofCocPhysical.hlsl"
	EZERSF_DOF,                 // "Dof.hlsl"
	EZERSF_GAMMA,               // "Gamma.hlsl"
	EZERSF_BLEND_ANTIALIAS,     // "BlendAntialias.hlsl"
	EZERSF_VOLUMETRIC_SPOT,     // "VolumetricSpotLight.hlsl"
	EZERSF_VOLUMETRIC_POINT,    // "VolumetricPointLight.hlsl"
	EZERSF_SMAA_EDGES,          // "SMAA-1-LumaEdgeDetection.fx"
	EZERSF_SMAA_WEIGHTS,        // "SMAA-2-BlendingWeightCalculation.fx"
	EZERSF_SMAA_NEIGHBOURHOOD,  // "SMAA-3-NeighborhoodBlending.fx"
	EZERSF_SMAA_AREA,           // "AreaTexDX9.png"
	EZERSF_SMAA_SEARCH,         // "SearchTex.png"
	EZERSF_COUNT
};

struct SZeRendererShaderFiles
{
	bool Antialias = false;  // loads the morphological and temporal antialiasing
	irr::core::stringc Files[EZERSF_COUNT];
};

// The file name of an entry ("LppDepthClear.hlsl", ...); "" past the last.
const char* zeRendererShaderFileName(irr::u32 index);
// The record with every name resolved through the data-file search.
SZeRendererShaderFiles zeFindRendererShaderFiles(bool antialias);

// ---- IZeRendererCtxAdv ---------------------------------------------------------------
class IZeRendererCtxAdv : public IZeRendererCtx
{
public:
	virtual SZeRenderSettings* getRenderSettings() = 0;
	virtual SZeLightStreakParams* getLightStreak() = 0;
	virtual SZeAntialiasParams* getAntialias() = 0;
	// The camera effects of the frame, in order: the post chain holds them
	// (and lets the previous list go); returns their count.
	virtual irr::u32 setPostEffects(const irr::core::array<IZeEffect*>& effects) = 0;
};
