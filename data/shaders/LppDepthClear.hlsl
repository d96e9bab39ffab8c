// Clears the light pre-pass buffers (LppBuffers.hlsl) before the depth and
// normal pass: NormalRTT to a zero normal ("no surface"), DepthRTT to far
// away. Drawn on a screen quad into both targets at once.
//ZELV_PP: technique clear
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psClear
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none
//ZELV_PP: targets 2

#include "LppBuffers.hlsl"

float4 vsQuad(float4 pos : POSITION) : POSITION
{
	return float4(pos.xy, 0, 1);
}

ZeDepthNormal psClear()
{
	ZeDepthNormal o;
	o.Normal = ZE_NORMAL_CLEAR;
	o.Depth = zeEncodeDepth(ZE_DEPTH_CLEAR);
	return o;
}
