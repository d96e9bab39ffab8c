// One light added into the light buffer (LppBuffers.hlsl) from the depth and
// normal targets, drawn on a light volume or on a full-screen quad.
//
// Macros: USE_DISTANT, USE_POINT or USE_SPOTLIGHT choose the light; with
// USE_SPOTLIGHT, USE_SHADOW reads the light's shadow map, softened by one of
// USE_SH0 (one sample), USE_SH1 (2 x 2 samples over 1 texel), USE_SH2 (3 x 3
// over 2 texels), USE_SH4 (4 x 4 over 4), USE_SH8 (5 x 5 over 8), USE_SH16
// (6 x 6 over 16) or USE_SH32 (7 x 7 over 32).
//
// Point and spot lights fade with (1 - d^2 / r^2)^2 to nothing at their radius
// r; a spot light fades from full at its inner cone to nothing at its outer
// cone. Lights are in view space (LightDirection is the way the light shines).
// In shadow the light's colour becomes ShadowColor.
//ZELV_PP: param float4x4 WorldViewProjection
//ZELV_PP: param float4x4 ProjectionInverse semantic=ProjectionInverse
//ZELV_PP: param float3 LightColor
#if defined(USE_DISTANT) || defined(USE_SPOTLIGHT)
//ZELV_PP: param float3 LightDirection
#endif
#if defined(USE_POINT) || defined(USE_SPOTLIGHT)
//ZELV_PP: param float3 LightPosition
//ZELV_PP: param float InvLightRadiusSqr
#endif
#ifdef USE_SPOTLIGHT
//ZELV_PP: param float2 SpotlightAngles
#endif
#ifdef USE_SHADOW
//ZELV_PP: param float4x4 ShadowWorldViewProj
//ZELV_PP: param float ShadowMaxD default=1
//ZELV_PP: param float3 ShadowColor
//ZELV_PP: param float2 ShadowMapSize default=512,512
//ZELV_PP: param float ShadowEpsilon
//ZELV_PP: sampler 2D ShadowMap layer=none filter=point address=clamp
#endif
//ZELV_PP: sampler 2D NormalRTT layer=none filter=point address=clamp
//ZELV_PP: sampler 2D DepthRTT layer=none filter=point address=clamp
//ZELV_PP: technique light
//ZELV_PP: pass
//ZELV_PP: vertex vsLight
//ZELV_PP: pixel psLight
//ZELV_PP: blend add
//ZELV_PP: zwrite off

#include "LppBuffers.hlsl"

#if defined(USE_SH1)
#define SHADOW_TAPS 2
#define SHADOW_REACH 0.5
#elif defined(USE_SH2)
#define SHADOW_TAPS 3
#define SHADOW_REACH 1.0
#elif defined(USE_SH4)
#define SHADOW_TAPS 4
#define SHADOW_REACH 2.0
#elif defined(USE_SH8)
#define SHADOW_TAPS 5
#define SHADOW_REACH 4.0
#elif defined(USE_SH16)
#define SHADOW_TAPS 6
#define SHADOW_REACH 8.0
#elif defined(USE_SH32)
#define SHADOW_TAPS 7
#define SHADOW_REACH 16.0
#else
#define SHADOW_TAPS 1
#define SHADOW_REACH 0.0
#endif

float4x4 WorldViewProjection;
float4x4 ProjectionInverse;
float3 LightColor;
float3 LightDirection;
float3 LightPosition;
float InvLightRadiusSqr;
float2 SpotlightAngles;
float4x4 ShadowWorldViewProj;
float ShadowMaxD;
float3 ShadowColor;
float2 ShadowMapSize;
float ShadowEpsilon;
sampler2D NormalRTT;
sampler2D DepthRTT;
#ifdef USE_SHADOW
sampler2D ShadowMap;
#endif

struct VsOut
{
	float4 Pos : POSITION;
	float4 Clip : TEXCOORD0;
};

VsOut vsLight(float4 pos : POSITION)
{
	VsOut o;
	o.Pos = mul(pos, WorldViewProjection);
	o.Clip = o.Pos;
	return o;
}

#ifdef USE_SHADOW
// 1 where the view-space point sees the light, 0 in shadow, between at soft
// edges. The point is first moved off its surface along the normal by the
// size of the map's texels there (and the reach of the softening), so that
// a surface never shadows itself.
float lightVisibility(float3 viewPosition, float3 normal)
{
	float4 p = mul(float4(viewPosition, 1.0), ShadowWorldViewProj);
	if (p.w <= 0.0)
		return 1.0;
	float xScale = length(float3(ShadowWorldViewProj._m00, ShadowWorldViewProj._m10, ShadowWorldViewProj._m20));
	float texelSize = 2.0 * p.w / (xScale * ShadowMapSize.x);
	p = mul(float4(viewPosition + normal * texelSize * (1.0 + SHADOW_REACH), 1.0), ShadowWorldViewProj);
	float2 uv = p.xy / p.w * float2(0.5, -0.5) + 0.5;
	float depth = p.w / ShadowMaxD - ShadowEpsilon;
	float2 texel = 1.0 / ShadowMapSize;
	float spacing = SHADOW_TAPS > 1 ? 2.0 * SHADOW_REACH / (SHADOW_TAPS - 1) : 0.0;
	float lit = 0.0;
	for (int y = 0; y < SHADOW_TAPS; ++y)
	{
		for (int x = 0; x < SHADOW_TAPS; ++x)
		{
			float2 offset = (float2(x, y) * spacing - SHADOW_REACH) * texel;
			float stored = tex2Dlod(ShadowMap, float4(uv + offset, 0.0, 0.0)).r;
			lit += stored >= depth ? 1.0 : 0.0;
		}
	}
	return lit / (SHADOW_TAPS * SHADOW_TAPS);
}
#endif

float4 psLight(float4 clip : TEXCOORD0) : COLOR
{
	float2 uv = zeScreenUv(clip);
	float4 normalTexel = tex2D(NormalRTT, uv);
	float3 n = zeDecodeNormal(normalTexel);
	float3 p = zeViewRay(clip, ProjectionInverse) * zeDecodeDepth(tex2D(DepthRTT, uv));

#ifdef USE_DISTANT
	float3 l = -LightDirection;
	float attenuation = 1.0;
#else
	float3 toLight = LightPosition - p;
	float distance2 = dot(toLight, toLight);
	float3 l = toLight * rsqrt(max(distance2, 1e-12));
	float fade = saturate(1.0 - distance2 * InvLightRadiusSqr);
	float attenuation = fade * fade;
#ifdef USE_SPOTLIGHT
	float cone = dot(-l, LightDirection);
	attenuation *= saturate((cone - SpotlightAngles.y) / max(SpotlightAngles.x - SpotlightAngles.y, 1e-4));
#endif
#endif

	float3 colour = LightColor;
#ifdef USE_SHADOW
	colour = lerp(ShadowColor, LightColor, lightVisibility(p, n));
#endif
	float nl = saturate(dot(n, l));
	float3 h = l - p * rsqrt(max(dot(p, p), 1e-12));
	h *= rsqrt(max(dot(h, h), 1e-12));
	float specular = pow(saturate(dot(n, h)), zeSpecularExponent(normalTexel)) * nl * attenuation;
	return zeEncodeLight(colour * nl * attenuation, specular * zeLuminance(colour));
}
