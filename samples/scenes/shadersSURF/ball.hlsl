// Sample ball: a lit surface with a rim of RimColor where it turns away from
// the eye (USE_RIM), its strength 1 - N.V raised to RimPower (RIM_POWER when
// that is not set), moved by RimBias, cut into RimSteps bands and masked by
// RimMask. RimOffset tilts the rim; RimLight adds the light buffer when it
// exists; bit 0 of RimFlags shows the rim alone.
#include "SampleSurface.hlsl"
//ZELV_PP: param float3 RimColor default=1,1,1
//ZELV_PP: param float RimPower
//ZELV_PP: param int RimSteps
//ZELV_PP: param float3 RimOffset
//ZELV_PP: param float RimBias
//ZELV_PP: param int RimFlags
//ZELV_PP: sampler 2D RimMask layer=none filter=linear address=wrap
//ZELV_PP: sampler 2D RimLight layer=none filter=point address=clamp
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsSurface
//ZELV_PP: pixel psBall

#ifndef RIM_POWER
#define RIM_POWER 2
#endif

float3 RimColor;
float RimPower;
int RimSteps;
float3 RimOffset;
float RimBias;
int RimFlags;
sampler2D RimMask;
sampler2D RimLight;

float4 psBall(SurfaceIn i) : COLOR
{
	float3 lit = shade(baseColor(i.Uv), i.Normal, i.Place);
#ifdef USE_RIM
	float3 n = normalize(normalize(i.Normal) + RimOffset);
	float facing = saturate(dot(n, normalize(Eye.xyz - i.Place)));
	float power = RimPower > 0 ? RimPower : RIM_POWER;
	float rim = saturate(pow(1 - facing, power) + RimBias);
	if (RimSteps > 1)
		rim = floor(rim * RimSteps) / RimSteps;
	rim *= tex2D(RimMask, i.Uv).r;
	float3 edge = RimColor * rim + tex2D(RimLight, i.Uv).rgb * 0.1;
	lit = abs(fmod(RimFlags, 2)) > 0.5 ? edge : lit + edge;
#endif
	return float4(lit, 1);
}
