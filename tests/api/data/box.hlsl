// Test 2D effect: fills Rectangle (pixels: x, y, width, height) with Color.
//ZELV_PP: param float4 Rectangle
//ZELV_PP: param float4 Color default=1,1,1,1
//ZELV_PP: param float4 Screen semantic=ScreenSize
//ZELV_PP: technique box
//ZELV_PP: pass
//ZELV_PP: vertex vsBox
//ZELV_PP: pixel psColor
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

#include "rect.hlsli"

float4 Color;

float4 psColor(float2 uv : TEXCOORD0) : COLOR
{
	return Color;
}
