// Light scattered in the air around a point light, added over the picture.
// The air inside the light's radius r glows with a density 1 - d^2 / r^2 at a
// distance d from the light; each pixel adds the density integrated along its
// view ray up to the scene's depth, divided by 4r/3 (what a ray straight
// through the light collects), times LightPower, at most IntensityClamp, in
// LightColor. Drawn on the back faces of a sphere around the light or on a
// full-screen quad; the scene's depth comes from DepthRTT (LppBuffers.hlsl).
#include "VolumetricCommon.hlsl"
//ZELV_PP: param float3 LightPosition
//ZELV_PP: param float3 LightColor
//ZELV_PP: param float LightRadius default=1
//ZELV_PP: param float LightPower default=1
//ZELV_PP: param float IntensityClamp default=1000000
//ZELV_PP: technique volumetric
//ZELV_PP: pass
//ZELV_PP: vertex vsVolume
//ZELV_PP: pixel psPoint
//ZELV_PP: blend add
//ZELV_PP: zwrite off
//ZELV_PP: ztest always

float3 LightPosition;
float3 LightColor;
float LightRadius;
float LightPower;
float IntensityClamp;

float4 psPoint(float4 clip : TEXCOORD0) : COLOR
{
	float3 ray = worldRay(clip);
	float3 fromLight = CameraPosition.xyz - LightPosition;
	float centre = -dot(fromLight, ray);
	float miss2 = dot(fromLight, fromLight) - centre * centre;
	float r2 = LightRadius * LightRadius;
	float chordSq = r2 - miss2;
	if (chordSq <= 0.0)
		return float4(0.0, 0.0, 0.0, 0.0);
	float halfChord = sqrt(chordSq);
	float enter = max(centre - halfChord, 0.0);
	float leave = min(centre + halfChord, sceneDistance(clip, ray));
	if (leave <= enter)
		return float4(0.0, 0.0, 0.0, 0.0);
	// The density along the ray at s from its closest point to the light is
	// 1 - (miss2 + s^2) / r2.
	float s0 = enter - centre;
	float s1 = leave - centre;
	float amount = ((s1 - s0) * (1.0 - miss2 / r2) - (s1 * s1 * s1 - s0 * s0 * s0) / (3.0 * r2)) / (4.0 * LightRadius / 3.0);
	return float4(LightColor * min(amount * LightPower, IntensityClamp), 0.0);
}
