// Light scattered in the air inside a spot light's cone, added over the
// picture. Each pixel samples its view ray where it runs within the light's
// radius r, up to the scene's depth: the air in the cone glows with a density
// LightConeBase + (1 - LightConeBase) (1 - d^2 / r^2) at a distance d from
// the light, fading to nothing over the outer SoftEdgeRatio of the cone's
// angle. The sum, times the step length / r and LightPower, at most
// IntensityClamp, is added in LightColor.
//
// Macros: USE_SHADOW darkens the samples the light's shadow map (layer 1)
// hides; USE_PROJIMAGE tints them with the light's image (layer 2 with a
// shadow map, else 1). QUALITY_1 to QUALITY_4 take 16, 32, 48 or 64 samples;
// without them 24.
#include "VolumetricCommon.hlsl"
//ZELV_PP: param float3 LightPosition
//ZELV_PP: param float3 LightColor
//ZELV_PP: param float LightRadius default=1
//ZELV_PP: param float LightPower default=1
//ZELV_PP: param float LightTanThetaSqr default=1
//ZELV_PP: param float LightConeBase
//ZELV_PP: param float SoftEdgeRatio
//ZELV_PP: param float IntensityClamp default=1000000
//ZELV_PP: param float4x4 invConeTransform
#if defined(USE_SHADOW) || defined(USE_PROJIMAGE)
//ZELV_PP: param float4x4 LightWorldViewProj
#endif
#ifdef USE_SHADOW
//ZELV_PP: sampler 2D ShadowMap layer=1 filter=point address=clamp
#endif
#if defined(USE_PROJIMAGE) && defined(USE_SHADOW)
//ZELV_PP: sampler 2D ProjImage layer=2 filter=linear address=clamp
#elif defined(USE_PROJIMAGE)
//ZELV_PP: sampler 2D ProjImage layer=1 filter=linear address=clamp
#endif
//ZELV_PP: technique volumetric
//ZELV_PP: pass
//ZELV_PP: vertex vsVolume
//ZELV_PP: pixel psSpot
//ZELV_PP: blend add
//ZELV_PP: zwrite off
//ZELV_PP: ztest always

#if defined(QUALITY_1)
#define STEPS 16
#elif defined(QUALITY_2)
#define STEPS 32
#elif defined(QUALITY_3)
#define STEPS 48
#elif defined(QUALITY_4)
#define STEPS 64
#else
#define STEPS 24
#endif

float3 LightPosition;
float3 LightColor;
float LightRadius;
float LightPower;
float LightTanThetaSqr;
float LightConeBase;
float SoftEdgeRatio;
float IntensityClamp;
float4x4 invConeTransform;
float4x4 LightWorldViewProj;
#ifdef USE_SHADOW
sampler2D ShadowMap;
#endif
#ifdef USE_PROJIMAGE
sampler2D ProjImage;
#endif

// The light reaching a world point (before LightColor and LightPower).
float3 inScattered(float3 p)
{
	// The cone's frame: the light at the origin, shining along +z.
	float3 local = mul(invConeTransform, float4(p, 1.0)).xyz;
	if (local.z <= 0.0)
		return float3(0.0, 0.0, 0.0);
	float ratio2 = dot(local.xy, local.xy) / (local.z * local.z * LightTanThetaSqr);
	if (ratio2 >= 1.0)
		return float3(0.0, 0.0, 0.0);
	float edge = saturate((1.0 - sqrt(ratio2)) / max(SoftEdgeRatio, 0.001));
	float falloff = saturate(1.0 - dot(local, local) / (LightRadius * LightRadius));
	float3 light = (LightConeBase + (1.0 - LightConeBase) * falloff) * edge;
#if defined(USE_SHADOW) || defined(USE_PROJIMAGE)
	float4 lp = mul(float4(p, 1.0), LightWorldViewProj);
	float2 uv = lp.xy / lp.w * float2(0.5, -0.5) + 0.5;
#endif
#ifdef USE_SHADOW
	float stored = tex2Dlod(ShadowMap, float4(uv, 0.0, 0.0)).r;
	light *= stored >= lp.w / zeSpotShadowFar(LightRadius) - 0.0005 ? 1.0 : 0.0;
#endif
#ifdef USE_PROJIMAGE
	light *= tex2Dlod(ProjImage, float4(uv, 0.0, 0.0)).rgb;
#endif
	return light;
}

float4 psSpot(float4 clip : TEXCOORD0) : COLOR
{
	float3 ray = worldRay(clip);
	float3 fromLight = CameraPosition.xyz - LightPosition;
	float centre = -dot(fromLight, ray);
	float chordSq = LightRadius * LightRadius - (dot(fromLight, fromLight) - centre * centre);
	if (chordSq <= 0.0)
		return float4(0.0, 0.0, 0.0, 0.0);
	float halfChord = sqrt(chordSq);
	float enter = max(centre - halfChord, 0.0);
	float leave = min(centre + halfChord, sceneDistance(clip, ray));
	if (leave <= enter)
		return float4(0.0, 0.0, 0.0, 0.0);
	float stride = (leave - enter) / STEPS;
	float3 sum = float3(0.0, 0.0, 0.0);
	for (int i = 0; i < STEPS; ++i)
		sum += inScattered(CameraPosition.xyz + ray * (enter + (i + 0.5) * stride));
	return float4(LightColor * min(sum * stride / LightRadius * LightPower, IntensityClamp), 0.0);
}
