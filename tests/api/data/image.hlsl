// Test 2D effect: the inverse of Image, tinted by Color, over Rectangle.
//ZELV_PP: param float4 Rectangle
//ZELV_PP: param float4 Color default=1,1,1,1
//ZELV_PP: param float4 Screen semantic=ScreenSize
//ZELV_PP: sampler 2D Image layer=none filter=point address=clamp
//ZELV_PP: technique image
//ZELV_PP: pass
//ZELV_PP: vertex vsBox
//ZELV_PP: pixel psInvert
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

#include "rect.hlsli"

float4 Color;
sampler2D Image;

float4 psInvert(float2 uv : TEXCOORD0) : COLOR
{
	return float4((1 - tex2D(Image, uv).rgb) * Color.rgb, 1);
}
