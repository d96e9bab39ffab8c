// What the point and spot volumetric lights share: the volume's vertex
// shader, each pixel's view ray in world space and how far along it the
// scene's surface lies (DepthRTT, LppBuffers.hlsl).
//ZELV_PP: param float4x4 WorldViewProjection
//ZELV_PP: param float4x4 ViewProjectionInverse semantic=ViewProjectionInverse
//ZELV_PP: param float4x4 View semantic=View
//ZELV_PP: param float4 CameraPosition semantic=CameraPosition
//ZELV_PP: sampler 2D DepthRTT layer=none filter=point address=clamp

#include "LppBuffers.hlsl"

float4x4 WorldViewProjection;
float4x4 ViewProjectionInverse;
float4x4 View;
float4 CameraPosition;
sampler2D DepthRTT;

struct VsOut
{
	float4 Pos : POSITION;
	float4 Clip : TEXCOORD0;
};

VsOut vsVolume(float4 pos : POSITION)
{
	VsOut o;
	o.Pos = mul(pos, WorldViewProjection);
	o.Clip = o.Pos;
	return o;
}

// The unit direction from the camera through the pixel, in world space.
float3 worldRay(float4 clip)
{
	float4 p = mul(float4(clip.xy / clip.w, 0.5, 1.0), ViewProjectionInverse);
	return normalize(p.xyz / p.w - CameraPosition.xyz);
}

// The distance from the camera along the ray to the scene's surface.
float sceneDistance(float4 clip, float3 ray)
{
	float depth = zeDecodeDepth(tex2D(DepthRTT, zeScreenUv(clip)));
	float3 forward = float3(View._m02, View._m12, View._m22);
	return depth / max(dot(ray, forward), 1e-6);
}
