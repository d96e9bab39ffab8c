// Sample render-command shader: the frame (s0) tinted by TintColor,
// multiplied with TINT_MULTIPLY, else mixed in by a quarter, plus the glow
// texture on s1.
#include "SamplePost.hlsl"
//ZELV_PP: param float3 TintColor default=1,1,1
//ZELV_PP: sampler 2D Glow layer=1 filter=linear address=clamp
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsPost
//ZELV_PP: pixel psTint
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

float3 TintColor;
sampler2D Glow : register(s1);

float4 psTint(PostIn i) : COLOR
{
	float3 frame = tex2D(Source, i.Uv).rgb;
#ifdef TINT_MULTIPLY
	frame *= TintColor;
#else
	frame = lerp(frame, TintColor, 0.25);
#endif
	return float4(frame + tex2D(Glow, i.Uv).rgb, 1);
}
