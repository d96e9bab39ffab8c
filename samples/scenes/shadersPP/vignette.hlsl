// Sample camera shader: the frame darkened towards its edges, by Strength at
// the corners, around Center (x, y in 0 to 1).
#include "SamplePost.hlsl"
//ZELV_PP: param float Strength default=0.5
//ZELV_PP: param float3 Center default=0.5,0.5,0
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsPost
//ZELV_PP: pixel psVignette
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

float Strength;
float3 Center;

float4 psVignette(PostIn i) : COLOR
{
	float reach = length((i.Uv - Center.xy) * 1.4142);
	float3 c = tex2D(Source, i.Uv).rgb * (1 - Strength * saturate(reach * reach));
	return float4(c, 1);
}
