// The setters of the per-frame render and post-processing parameters: each a
// plain store into the engine context (SZeRenderParams), which the frame end
// hands to the renderers. Scene animation and scripts write them.
#pragma once

// The colour-space word of the viewer.
void zeSetColorSpaceViewer(int mode);
void zeSetGlowSettings(int enable, float intensity, float radius);
void zeEnableStreak(int on);
// Glow minimum, colour key (three), key match, colorize (three), attenuation,
// angle, compose: eleven values.
void zeSetStreakParams(float glowMin, float keyR, float keyG, float keyB, float keyMatch, float colorizeR,
	float colorizeG, float colorizeB, float attenuation, float angle, float compose);
void zeEnableBloom(int on);
// Specular minimum, compose.
void zeSetBloomParams(float specularMin, float compose);
void zeEnableAmbientOcclusion(int on);
void zeSetAmbientOcclusionParams(float distanceReach, float maxDepthDecline, float depthAliasingEpsilon,
	float outputMultiplier);
void zeEnableShadows(int on);
// A finite number; another is refused with "Shadow epsilon %g is not a finite
// number" (argument 1) and the epsilon kept.
void zeSetShadowEpsilon(float epsilon);
// Jitter, location, mode, blending, blending weight, velocity-limit switch
// (six integers) and the velocity limit.
void zeSetAntialiasParams(int jitter, int location, int mode, int blending, int blendingWeight, int limitEnable,
	float limit);
