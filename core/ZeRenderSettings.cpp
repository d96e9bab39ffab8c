// The advanced context's shader files, and the per-frame copy of the engine's
// render parameters and camera effects into the advanced context.
#include "core/IZeRendererCtxAdv.h"
#include "core/ZeEngineCore.h"
#include "frame/ZeContext.h"
#include "frame/ZeFile.h"

using namespace irr;

namespace
{
const char* const SHADER_FILES[EZERSF_COUNT] = {"LppDepthClear.hlsl", "LppLightPass.hlsl", "LppShadowDepth.hlsl",
	"GaussianBlur.hlsl", "DownSampleBlur.hlsl", "ComposeUpSample.hlsl", "LightStreakMaxInt.hlsl",
	"LightStreakDraw.hlsl", "GlowAlphaMul.hlsl", "DofCocArtist.hlsl", "DofCocPhysical.hlsl", "Dof.hlsl", "Gamma.hlsl",
	"BlendAntialias.hlsl", "VolumetricSpotLight.hlsl", "VolumetricPointLight.hlsl", "SMAA-1-LumaEdgeDetection.fx",
	"SMAA-2-BlendingWeightCalculation.fx", "SMAA-3-NeighborhoodBlending.fx", "AreaTexDX9.png", "SearchTex.png"};

ZeCameraEffectSource g_cameraEffects = nullptr;

void copyColour(f32 to[4], const float from[3])
{
	to[0] = from[0];
	to[1] = from[1];
	to[2] = from[2];
	to[3] = 1.0f;
}
} // namespace

const char* zeRendererShaderFileName(u32 index)
{
	return index < EZERSF_COUNT ? SHADER_FILES[index] : "";
}

SZeRendererShaderFiles zeFindRendererShaderFiles(bool antialias)
{
	SZeRendererShaderFiles files;
	files.Antialias = antialias;
	for (u32 i = 0; i < EZERSF_COUNT; ++i)
		files.Files[i] = zeFindDataFile(SHADER_FILES[i]);
	return files;
}

void zeSetCameraEffectSource(ZeCameraEffectSource source)
{
	g_cameraEffects = source;
}

void zeApplyRenderSettings(int baking)
{
	IZeRendererCtxAdv* context = zeGetRendererCtxAdv();
	if (!context)
		return;
	const SZeRenderParams& p = zeGetContext()->render;

	SZeRenderSettings& s = *context->getRenderSettings();
	s.DofEnable = p.dofMode != 0;
	s.FocalDistance = p.dofFocalDistance;
	s.FStop = p.dofFStop;
	s.DofMode = p.advancedDofMode != 0 ? 1.0f : 0.0f;
	s.DofFocalRangeMin = p.advancedDof[0];
	s.DofFocalRangeMax = p.advancedDof[1];
	s.DofFocalRangeFocused = p.advancedDof[2];
	s.DofRadiusScale = p.advancedDof[3];
	s.GlowEnable = p.glowEnable != 0;
	s.GlowIntensity = p.glowIntensity;
	s.GlowRadius = p.glowRadius;
	s.StreakEnable = p.streakEnable != 0;
	s.BloomEnable = p.bloomEnable != 0;
	s.BloomSpecularMin = p.bloom[0];
	s.BloomCompose = p.bloom[1];
	s.SsaoEnable = p.ambientOcclusionEnable != 0;
	for (u32 i = 0; i < 4; ++i)
		s.Ssao[i] = p.ambientOcclusion[i];
	s.ShadowOverride = p.shadowEnable != 0;
	s.ShadowEpsilon = p.shadowEpsilon;
	s.StereoEnable = p.stereoMode != 0;
	s.Stereo[0] = p.stereoSeparation;
	s.Stereo[1] = static_cast<f32>(p.stereoUseConvergence);
	s.Stereo[2] = p.stereoConvergence;
	s.GammaEnable = p.colorSpaceViewer != 0;
	s.AntialiasLocation = static_cast<u32>(p.antialias[1]);

	// Eleven values: glow minimum, colour key, key match, colorize, attenuation, angle, compose.
	SZeLightStreakParams& streak = *context->getLightStreak();
	streak.GlowMin = p.streak[0];
	copyColour(streak.ColorKey, p.streak + 1);
	streak.KeyMatch = p.streak[4];
	copyColour(streak.Colorize, p.streak + 5);
	streak.Attenuation = p.streak[8];
	streak.Angle = p.streak[9];
	streak.Compose = p.streak[10];

	// Six integers (jitter, location, mode, blending, blending weight, limit switch) and the limit.
	SZeAntialiasParams& antialias = *context->getAntialias();
	antialias.Jitter = static_cast<u32>(p.antialias[0]);
	antialias.Mode = static_cast<u32>(p.antialias[2]);
	antialias.Blending = static_cast<u32>(p.antialias[3]);
	antialias.BlendingWeight = static_cast<u32>(p.antialias[4]);
	antialias.ValueLimitEnable = p.antialias[5] != 0;
	antialias.ValueLimit = p.antialiasFloat;

	static core::array<IZeEffect*> effects;
	effects.set_used(0);
	if (!baking && g_cameraEffects)
		g_cameraEffects(effects);
	context->setPostEffects(effects);

	if (baking)
	{
		s.GlowEnable = false;
		s.StreakEnable = false;
		s.GammaEnable = false;
		s.Baking = true;
	}
	else
		s.Baking = false;
}
