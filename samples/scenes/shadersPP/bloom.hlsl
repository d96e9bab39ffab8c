// Sample render-command shader: what is brighter than Threshold, for a glow
// texture.
#include "SamplePost.hlsl"
//ZELV_PP: param float Threshold default=0.8
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsPost
//ZELV_PP: pixel psBloom
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

float Threshold;

float4 psBloom(PostIn i) : COLOR
{
	float3 c = tex2D(Source, i.Uv).rgb;
	return float4(max(c - Threshold, 0) / max(1 - Threshold, 0.001), 1);
}
