// Sample camera shader: FlashImage in FlashColor over the frame, added with
// FLASH_ADD, else mixed in by half.
#include "SamplePost.hlsl"
//ZELV_PP: param float3 FlashColor default=1,1,1
//ZELV_PP: sampler 2D FlashImage layer=1 filter=linear address=clamp
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsPost
//ZELV_PP: pixel psFlash
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

float3 FlashColor;
sampler2D FlashImage;

float4 psFlash(PostIn i) : COLOR
{
	float3 frame = tex2D(Source, i.Uv).rgb;
	float3 flash = tex2D(FlashImage, i.Uv).rgb * FlashColor;
#ifdef FLASH_ADD
	return float4(frame + flash, 1);
#else
	return float4(lerp(frame, flash, 0.5), 1);
#endif
}
