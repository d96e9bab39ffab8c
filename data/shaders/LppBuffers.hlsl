// What the light pre-pass targets hold, and the functions that write and read
// them. Included by the depth-normal pass of surfaces, the light pass, the
// shadow-depth pass and the volumetric lights; docs/effects.md describes the
// same contract.
//
//   NormalRTT  rgb  the surface's unit normal in view space, as n * 0.5 + 0.5
//              a    glossiness 0..1: specular exponent 2^(1 + 10 g), 2 to 2048
//              cleared to ZE_NORMAL_CLEAR, a zero normal: no surface there
//   DepthRTT   r    view-space depth: distance along the camera's view axis
//                   in world units (positive in front of the camera)
//              cleared to ZE_DEPTH_CLEAR
//   LightRTT   rgb  the lights' diffuse light summed: colour x N.L x attenuation
//                   (x shadow), linear and unbounded
//              a    the lights' specular light summed: (N.H)^exponent x N.L x
//                   attenuation (x shadow) x the luminance of the light's colour
//              cleared to 0; every light adds (blend one, one)
//   shadow maps  r  the light's view depth divided by its far distance, so
//                   0 at the light and 1 at the far end; cleared to 1 (white)
//
// A surface reads its light as zeLightDiffuse(t) and zeLightSpecular(t) of the
// LightRTT texel t under its pixel (zeScreenUv of its clip position).
//
// Screen positions: the vertex shader passes its clip position on, and the
// pixel shader finds its texel of the screen-size targets with zeScreenUv and
// its view ray with zeViewRay (which needs the camera's inverse projection,
// for example a matrix parameter with the semantic ProjectionInverse). This
// holds whether or not the target is drawn upside down for OpenGL.

#ifndef ZE_LPP_BUFFERS_HLSL
#define ZE_LPP_BUFFERS_HLSL

static const float ZE_DEPTH_CLEAR = 100000000.0;
static const float4 ZE_NORMAL_CLEAR = float4(0.5, 0.5, 0.5, 0.0);

// ---- Normal buffer -----------------------------------------------------------------
float4 zeEncodeNormal(float3 viewNormal, float glossiness)
{
	return float4(normalize(viewNormal) * 0.5 + 0.5, saturate(glossiness));
}

// The view-space unit normal of a texel; the zero vector where no surface was drawn.
float3 zeDecodeNormal(float4 texel)
{
	float3 n = texel.rgb * 2.0 - 1.0;
	float length2 = dot(n, n);
	return length2 > 0.25 ? n * rsqrt(length2) : float3(0.0, 0.0, 0.0);
}

float zeSpecularExponent(float4 normalTexel)
{
	return exp2(1.0 + 10.0 * normalTexel.a);
}

// ---- Depth buffer ------------------------------------------------------------------
float4 zeEncodeDepth(float viewDepth)
{
	return float4(viewDepth, 0.0, 0.0, 1.0);
}

float zeDecodeDepth(float4 texel)
{
	return texel.r;
}

// The two targets of the depth-normal pass, NormalRTT then DepthRTT.
struct ZeDepthNormal
{
	float4 Normal : COLOR0;
	float4 Depth : COLOR1;
};

ZeDepthNormal zeWriteDepthNormal(float3 viewNormal, float glossiness, float viewDepth)
{
	ZeDepthNormal o;
	o.Normal = zeEncodeNormal(viewNormal, glossiness);
	o.Depth = zeEncodeDepth(viewDepth);
	return o;
}

// ---- Light buffer -------------------------------------------------------------------
float zeLuminance(float3 colour)
{
	return dot(colour, float3(0.2126, 0.7152, 0.0722));
}

float4 zeEncodeLight(float3 diffuse, float specular)
{
	return float4(diffuse, specular);
}

float3 zeLightDiffuse(float4 texel)
{
	return texel.rgb;
}

// The specular intensity in the colour of the diffuse light that came with it.
float3 zeLightSpecular(float4 texel)
{
	return texel.a * texel.rgb / max(zeLuminance(texel.rgb), 0.0001);
}

// ---- Screen positions ----------------------------------------------------------------
// The texture coordinates of the pixel at a clip position in a screen-size target.
float2 zeScreenUv(float4 clipPosition)
{
	return clipPosition.xy / clipPosition.w * float2(0.5, -0.5) + 0.5;
}

// The view-space point at depth 1 on the pixel's ray: multiplied by the
// depth buffer's value it gives the surface's view-space position.
float3 zeViewRay(float4 clipPosition, float4x4 projectionInverse)
{
	float4 p = mul(float4(clipPosition.xy / clipPosition.w, 0.5, 1.0), projectionInverse);
	return p.xyz / p.z;
}

// ---- Shadow maps ---------------------------------------------------------------------
// The far distance of a light's projection: the z range of a left-handed
// perspective or orthographic projection matrix ends there.
float zeProjectionFar(float4x4 projection)
{
	return projection._m23 != 0.0 ? projection._m32 / (1.0 - projection._m22)
	                               : (1.0 - projection._m32) / projection._m22;
}

// What a shadow map holds for a point at a view depth from the light.
float4 zeEncodeShadowDepth(float lightViewDepth, float lightFar)
{
	return float4(lightViewDepth / lightFar, 0.0, 0.0, 1.0);
}

// The far distance of a spot light's shadow projection: its radius, at most 5000.
float zeSpotShadowFar(float radius)
{
	return min(radius, 5000.0);
}

#endif
