// Test effect: the depth-normal pass of the light pre-pass pipeline ("main",
// into NormalRTT and DepthRTT) and the clear of both targets ("clear").
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: param float4x4 WorldView semantic=WorldView
//ZELV_PP: param float Glossiness default=0.5
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsMesh
//ZELV_PP: pixel psMesh
//ZELV_PP: cull none
//ZELV_PP: targets 2
//ZELV_PP: technique clear
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psClear
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none
//ZELV_PP: targets 2

#include "LppBuffers.hlsl"

float4x4 WorldViewProj;
float4x4 WorldView;
float Glossiness;

struct VsOut
{
	float4 Pos : POSITION;
	float3 Normal : TEXCOORD0;
	float Depth : TEXCOORD1;
};

VsOut vsMesh(float4 pos : POSITION, float3 normal : NORMAL)
{
	VsOut o;
	o.Pos = mul(pos, WorldViewProj);
	o.Normal = mul(float4(normal, 0.0), WorldView).xyz;
	o.Depth = mul(pos, WorldView).z;
	return o;
}

ZeDepthNormal psMesh(VsOut i)
{
	return zeWriteDepthNormal(i.Normal, Glossiness, i.Depth);
}

float4 vsQuad(float4 pos : POSITION) : POSITION
{
	return float4(pos.xy, 0.0, 1.0);
}

ZeDepthNormal psClear()
{
	ZeDepthNormal o;
	o.Normal = ZE_NORMAL_CLEAR;
	o.Depth = zeEncodeDepth(ZE_DEPTH_CLEAR);
	return o;
}
