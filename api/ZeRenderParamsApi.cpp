#include "api/ZeRenderParamsApi.h"

#include "frame/ZeContext.h"
#include "frame/ZeLog.h"

#include <cmath>

namespace
{
SZeRenderParams& params()
{
	return zeGetContext()->render;
}
} // namespace

void zeSetColorSpaceViewer(int mode)
{
	params().colorSpaceViewer = mode;
}

void zeSetGlowSettings(int enable, float intensity, float radius)
{
	SZeRenderParams& r = params();
	r.glowEnable = enable;
	r.glowIntensity = intensity;
	r.glowRadius = radius;
}

void zeEnableStreak(int on)
{
	params().streakEnable = on;
}

void zeSetStreakParams(float glowMin, float keyR, float keyG, float keyB, float keyMatch, float colorizeR,
	float colorizeG, float colorizeB, float attenuation, float angle, float compose)
{
	const float values[11] = {glowMin, keyR, keyG, keyB, keyMatch, colorizeR, colorizeG, colorizeB, attenuation,
		angle, compose};
	for (int i = 0; i < 11; ++i)
		params().streak[i] = values[i];
}

void zeEnableBloom(int on)
{
	params().bloomEnable = on;
}

void zeSetBloomParams(float specularMin, float compose)
{
	params().bloom[0] = specularMin;
	params().bloom[1] = compose;
}

void zeEnableAmbientOcclusion(int on)
{
	params().ambientOcclusionEnable = on;
}

void zeSetAmbientOcclusionParams(float distanceReach, float maxDepthDecline, float depthAliasingEpsilon,
	float outputMultiplier)
{
	float* ao = params().ambientOcclusion;
	ao[0] = distanceReach;
	ao[1] = maxDepthDecline;
	ao[2] = depthAliasingEpsilon;
	ao[3] = outputMultiplier;
}

void zeEnableShadows(int on)
{
	params().shadowEnable = on;
}

void zeSetShadowEpsilon(float epsilon)
{
	if (!std::isfinite(epsilon))
	{
		zeSetError(1, "Shadow epsilon %g is not a finite number", static_cast<double>(epsilon));
		return;
	}
	params().shadowEpsilon = epsilon;
}

void zeSetAntialiasParams(int jitter, int location, int mode, int blending, int blendingWeight, int limitEnable,
	float limit)
{
	SZeRenderParams& r = params();
	const int values[6] = {jitter, location, mode, blending, blendingWeight, limitEnable};
	for (int i = 0; i < 6; ++i)
		r.antialias[i] = values[i];
	r.antialiasFloat = limit;
}
