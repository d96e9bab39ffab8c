// The depth of shadow casters as a light sees them, into a shadow map
// (LppBuffers.hlsl): the light's view depth divided by its far distance.
// Drawn with the light's view and projection as the driver's transforms.
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: param float4x4 WorldView semantic=WorldView
//ZELV_PP: param float4x4 LightProjection semantic=Projection
//ZELV_PP: technique shadow
//ZELV_PP: pass
//ZELV_PP: vertex vsDepth
//ZELV_PP: pixel psDepth
//ZELV_PP: cull none

#include "LppBuffers.hlsl"

float4x4 WorldViewProj;
float4x4 WorldView;
float4x4 LightProjection;

struct VsOut
{
	float4 Pos : POSITION;
	float Depth : TEXCOORD0;
};

VsOut vsDepth(float4 pos : POSITION)
{
	VsOut o;
	o.Pos = mul(pos, WorldViewProj);
	o.Depth = mul(pos, WorldView).z;
	return o;
}

float4 psDepth(float depth : TEXCOORD0) : COLOR
{
	return zeEncodeShadowDepth(depth, zeProjectionFar(LightProjection));
}
