// The LightWave surface model shared by the engine's material effects
// (Lpp.hlsl, the solid pass that reads the light buffer; Forward.hlsl, the
// forward pass of transparent surfaces): the surface's values through the
// surface bind (LW_<channel>), its textures through the LW_Tex_<channel>
// samplers, and the "depth" and "shadow" techniques of both files.
// Include it after the file's own first technique.
//
// A surface at a pixel:
//   colour        LW_BaseColor, times its texture, times the vertex colour
//                 unless LW_VertexColoring is 0
//   luminosity    LW_Luminosity (or its texture): light of its own, in the colour
//   diffuse       LW_Diffuse (or its texture): the share of light it scatters
//   specular      LW_Specularity (or its texture), highlights tinted towards
//                 the colour by LW_ColorHighlights; LW_Glossiness (or its
//                 texture) sets their size (LppBuffers.hlsl)
//   reflection    LW_Reflectivity (or its texture) of the reflection image:
//                 a cube map (USE_TEX_REFLECCUBE) or a latitude-longitude
//                 image as cubemaptolatlong.hlsl makes them; the node's cube
//                 map seen from CubeMapPosition, through its box
//                 (CubeMapAABBPosition, CubeMapAABBScale: centre and size)
//                 with USE_CUBEMAPAABB; LW_ReflectionBlurring blurs it
//   transparency  LW_Transparency; a transparency texture's alpha is the
//                 opacity, scaled by 1 - LW_Transparency
//   translucency  LW_Translucency (or its texture): light from behind
//   normal        the vertex normal; USE_TEX_NORMAL bends it by the normal
//                 map (tangent space, x right, y up) scaled by LW_Bump, with
//                 the mesh's tangents (TEXCOORD1, TEXCOORD2) or, with
//                 USE_COMPTANGENT, tangents from the pixel's derivatives
//   glow          LW_GlowValue where LW_Glow is on (the glow mask in alpha)
//   sides         back faces are dropped unless LW_Sidedness is 3
// Scalar textures give their value (their luminance) instead of the channel's.
// Textures read the first texture coordinates, or the second with
// USE_UV2_TEX_<CHANNEL>: TEXCOORD1 with USE_UV2, the tangent mesh's binormal
// slot (TEXCOORD2 x, y) with USE_UV2INTEX2.
//
// The textures take the material's texture layers in the order colour,
// normal, specularity, glossiness, reflection image, transparency,
// luminosity, diffuse, reflectivity, translucency, each the next free layer;
// a surface with more than eight textures reads the value of the channels
// past the eighth layer instead.

#ifndef ZE_LW_SURFACE_HLSL
#define ZE_LW_SURFACE_HLSL

#include "LppBuffers.hlsl"

//ZELV_PP: technique depth
//ZELV_PP: pass
//ZELV_PP: vertex zeLwVertex
//ZELV_PP: pixel zeLwDepth
//ZELV_PP: cull none
//ZELV_PP: targets 2
//ZELV_PP: technique shadow
//ZELV_PP: pass
//ZELV_PP: vertex zeLwVertex
//ZELV_PP: pixel zeLwShadow
//ZELV_PP: cull none

//ZELV_PP: param float4x4 WorldViewProjection semantic=WorldViewProjection
//ZELV_PP: param float4x4 WorldView semantic=WorldView
//ZELV_PP: param float4x4 WorldViewInverseTranspose semantic=WorldViewInverseTranspose
//ZELV_PP: param float4x4 ViewInverse semantic=ViewInverse
//ZELV_PP: param float4x4 Projection semantic=Projection
//ZELV_PP: param float3 LW_BaseColor default=0.78,0.78,0.78
//ZELV_PP: param float LW_Luminosity
//ZELV_PP: param float LW_Diffuse default=1
//ZELV_PP: param float LW_Specularity
//ZELV_PP: param float LW_Glossiness default=0.4
//ZELV_PP: param float LW_Reflectivity
//ZELV_PP: param float LW_Transparency
//ZELV_PP: param float LW_Translucency
//ZELV_PP: param float LW_Bump default=1
//ZELV_PP: param float LW_ColorHighlights
//ZELV_PP: param float LW_ReflectionBlurring
//ZELV_PP: param float LW_Glow
//ZELV_PP: param float LW_GlowValue
//ZELV_PP: param float LW_Sidedness
//ZELV_PP: param float LW_VertexColoring default=1
//ZELV_PP: param float3 AmbientLight semantic=AmbientLight
//ZELV_PP: param float BloomSpecMin semantic=BloomSpecMin default=2
//ZELV_PP: param float BloomThreshold semantic=BloomThreshold default=1
#ifdef USE_NODECUBEMAP
//ZELV_PP: param float3 CubeMapPosition
#ifdef USE_CUBEMAPAABB
//ZELV_PP: param float3 CubeMapAABBPosition
//ZELV_PP: param float3 CubeMapAABBScale
#endif
#endif

// ---- Texture layers -------------------------------------------------------------------
#if defined(USE_TEX_REFLECCUBE)
#define ZE_REFLECTION_CUBE 1
#else
#define ZE_REFLECTION_CUBE 0
#endif
#ifdef USE_TEX_COLOR
#define ZE_T_COLOR 1
#else
#define ZE_T_COLOR 0
#endif
#ifdef USE_TEX_NORMAL
#define ZE_T_NORMAL 1
#else
#define ZE_T_NORMAL 0
#endif
#ifdef USE_TEX_SPECULAR
#define ZE_T_SPECULAR 1
#else
#define ZE_T_SPECULAR 0
#endif
#ifdef USE_TEX_GLOSSINESS
#define ZE_T_GLOSSINESS 1
#else
#define ZE_T_GLOSSINESS 0
#endif
#ifdef USE_TEX_REFLECIMG
#define ZE_T_REFLECIMG 1
#else
#define ZE_T_REFLECIMG 0
#endif
#ifdef USE_TEX_TRANSPARENCY
#define ZE_T_TRANSPARENCY 1
#else
#define ZE_T_TRANSPARENCY 0
#endif
#ifdef USE_TEX_LUMINOSITY
#define ZE_T_LUMINOSITY 1
#else
#define ZE_T_LUMINOSITY 0
#endif
#ifdef USE_TEX_DIFFUSE
#define ZE_T_DIFFUSE 1
#else
#define ZE_T_DIFFUSE 0
#endif
#ifdef USE_TEX_REFLECTIVITY
#define ZE_T_REFLECTIVITY 1
#else
#define ZE_T_REFLECTIVITY 0
#endif
#ifdef USE_TEX_TRANSLUCENCY
#define ZE_T_TRANSLUCENCY 1
#else
#define ZE_T_TRANSLUCENCY 0
#endif
#define ZE_L_COLOR 0
#define ZE_L_NORMAL (ZE_L_COLOR + ZE_T_COLOR)
#define ZE_L_SPECULAR (ZE_L_NORMAL + ZE_T_NORMAL)
#define ZE_L_GLOSSINESS (ZE_L_SPECULAR + ZE_T_SPECULAR)
#define ZE_L_REFLECIMG (ZE_L_GLOSSINESS + ZE_T_GLOSSINESS)
#define ZE_L_TRANSPARENCY (ZE_L_REFLECIMG + ZE_T_REFLECIMG)
#define ZE_L_LUMINOSITY (ZE_L_TRANSPARENCY + ZE_T_TRANSPARENCY)
#define ZE_L_DIFFUSE (ZE_L_LUMINOSITY + ZE_T_LUMINOSITY)
#define ZE_L_REFLECTIVITY (ZE_L_DIFFUSE + ZE_T_DIFFUSE)
#define ZE_L_TRANSLUCENCY (ZE_L_REFLECTIVITY + ZE_T_REFLECTIVITY)
#define ZE_MAP_COLOR (ZE_T_COLOR && ZE_L_COLOR < 8)
#define ZE_MAP_NORMAL (ZE_T_NORMAL && ZE_L_NORMAL < 8)
#define ZE_MAP_SPECULAR (ZE_T_SPECULAR && ZE_L_SPECULAR < 8)
#define ZE_MAP_GLOSSINESS (ZE_T_GLOSSINESS && ZE_L_GLOSSINESS < 8)
#define ZE_MAP_REFLECIMG (ZE_T_REFLECIMG && ZE_L_REFLECIMG < 8)
#define ZE_MAP_TRANSPARENCY (ZE_T_TRANSPARENCY && ZE_L_TRANSPARENCY < 8)
#define ZE_MAP_LUMINOSITY (ZE_T_LUMINOSITY && ZE_L_LUMINOSITY < 8)
#define ZE_MAP_DIFFUSE (ZE_T_DIFFUSE && ZE_L_DIFFUSE < 8)
#define ZE_MAP_REFLECTIVITY (ZE_T_REFLECTIVITY && ZE_L_REFLECTIVITY < 8)
#define ZE_MAP_TRANSLUCENCY (ZE_T_TRANSLUCENCY && ZE_L_TRANSLUCENCY < 8)
#if ZE_MAP_COLOR
#if ZE_L_COLOR == 0
//ZELV_PP: sampler 2D LW_Tex_BaseColor layer=0 filter=trilinear address=wrap
#endif
#endif
#if ZE_MAP_NORMAL
#if ZE_L_NORMAL == 0
//ZELV_PP: sampler 2D LW_Tex_Bump layer=0 filter=trilinear address=wrap
#elif ZE_L_NORMAL == 1
//ZELV_PP: sampler 2D LW_Tex_Bump layer=1 filter=trilinear address=wrap
#endif
#endif
#if ZE_MAP_SPECULAR
#if ZE_L_SPECULAR == 0
//ZELV_PP: sampler 2D LW_Tex_Specularity layer=0 filter=trilinear address=wrap
#elif ZE_L_SPECULAR == 1
//ZELV_PP: sampler 2D LW_Tex_Specularity layer=1 filter=trilinear address=wrap
#elif ZE_L_SPECULAR == 2
//ZELV_PP: sampler 2D LW_Tex_Specularity layer=2 filter=trilinear address=wrap
#endif
#endif
#if ZE_MAP_GLOSSINESS
#if ZE_L_GLOSSINESS == 0
//ZELV_PP: sampler 2D LW_Tex_Glossiness layer=0 filter=trilinear address=wrap
#elif ZE_L_GLOSSINESS == 1
//ZELV_PP: sampler 2D LW_Tex_Glossiness layer=1 filter=trilinear address=wrap
#elif ZE_L_GLOSSINESS == 2
//ZELV_PP: sampler 2D LW_Tex_Glossiness layer=2 filter=trilinear address=wrap
#elif ZE_L_GLOSSINESS == 3
//ZELV_PP: sampler 2D LW_Tex_Glossiness layer=3 filter=trilinear address=wrap
#endif
#endif
#if ZE_MAP_REFLECIMG
#if ZE_L_REFLECIMG == 0 && ZE_REFLECTION_CUBE
//ZELV_PP: sampler CUBE LW_Tex_ReflectionImage layer=0 filter=linear address=clamp
#elif ZE_L_REFLECIMG == 0
//ZELV_PP: sampler 2D LW_Tex_ReflectionImage layer=0 filter=linear address=wrap
#elif ZE_L_REFLECIMG == 1 && ZE_REFLECTION_CUBE
//ZELV_PP: sampler CUBE LW_Tex_ReflectionImage layer=1 filter=linear address=clamp
#elif ZE_L_REFLECIMG == 1
//ZELV_PP: sampler 2D LW_Tex_ReflectionImage layer=1 filter=linear address=wrap
#elif ZE_L_REFLECIMG == 2 && ZE_REFLECTION_CUBE
//ZELV_PP: sampler CUBE LW_Tex_ReflectionImage layer=2 filter=linear address=clamp
#elif ZE_L_REFLECIMG == 2
//ZELV_PP: sampler 2D LW_Tex_ReflectionImage layer=2 filter=linear address=wrap
#elif ZE_L_REFLECIMG == 3 && ZE_REFLECTION_CUBE
//ZELV_PP: sampler CUBE LW_Tex_ReflectionImage layer=3 filter=linear address=clamp
#elif ZE_L_REFLECIMG == 3
//ZELV_PP: sampler 2D LW_Tex_ReflectionImage layer=3 filter=linear address=wrap
#elif ZE_L_REFLECIMG == 4 && ZE_REFLECTION_CUBE
//ZELV_PP: sampler CUBE LW_Tex_ReflectionImage layer=4 filter=linear address=clamp
#elif ZE_L_REFLECIMG == 4
//ZELV_PP: sampler 2D LW_Tex_ReflectionImage layer=4 filter=linear address=wrap
#endif
#endif
#if ZE_MAP_TRANSPARENCY
#if ZE_L_TRANSPARENCY == 0
//ZELV_PP: sampler 2D LW_Tex_Transparency layer=0 filter=trilinear address=wrap
#elif ZE_L_TRANSPARENCY == 1
//ZELV_PP: sampler 2D LW_Tex_Transparency layer=1 filter=trilinear address=wrap
#elif ZE_L_TRANSPARENCY == 2
//ZELV_PP: sampler 2D LW_Tex_Transparency layer=2 filter=trilinear address=wrap
#elif ZE_L_TRANSPARENCY == 3
//ZELV_PP: sampler 2D LW_Tex_Transparency layer=3 filter=trilinear address=wrap
#elif ZE_L_TRANSPARENCY == 4
//ZELV_PP: sampler 2D LW_Tex_Transparency layer=4 filter=trilinear address=wrap
#elif ZE_L_TRANSPARENCY == 5
//ZELV_PP: sampler 2D LW_Tex_Transparency layer=5 filter=trilinear address=wrap
#endif
#endif
#if ZE_MAP_LUMINOSITY
#if ZE_L_LUMINOSITY == 0
//ZELV_PP: sampler 2D LW_Tex_Luminosity layer=0 filter=trilinear address=wrap
#elif ZE_L_LUMINOSITY == 1
//ZELV_PP: sampler 2D LW_Tex_Luminosity layer=1 filter=trilinear address=wrap
#elif ZE_L_LUMINOSITY == 2
//ZELV_PP: sampler 2D LW_Tex_Luminosity layer=2 filter=trilinear address=wrap
#elif ZE_L_LUMINOSITY == 3
//ZELV_PP: sampler 2D LW_Tex_Luminosity layer=3 filter=trilinear address=wrap
#elif ZE_L_LUMINOSITY == 4
//ZELV_PP: sampler 2D LW_Tex_Luminosity layer=4 filter=trilinear address=wrap
#elif ZE_L_LUMINOSITY == 5
//ZELV_PP: sampler 2D LW_Tex_Luminosity layer=5 filter=trilinear address=wrap
#elif ZE_L_LUMINOSITY == 6
//ZELV_PP: sampler 2D LW_Tex_Luminosity layer=6 filter=trilinear address=wrap
#endif
#endif
#if ZE_MAP_DIFFUSE
#if ZE_L_DIFFUSE == 0
//ZELV_PP: sampler 2D LW_Tex_Diffuse layer=0 filter=trilinear address=wrap
#elif ZE_L_DIFFUSE == 1
//ZELV_PP: sampler 2D LW_Tex_Diffuse layer=1 filter=trilinear address=wrap
#elif ZE_L_DIFFUSE == 2
//ZELV_PP: sampler 2D LW_Tex_Diffuse layer=2 filter=trilinear address=wrap
#elif ZE_L_DIFFUSE == 3
//ZELV_PP: sampler 2D LW_Tex_Diffuse layer=3 filter=trilinear address=wrap
#elif ZE_L_DIFFUSE == 4
//ZELV_PP: sampler 2D LW_Tex_Diffuse layer=4 filter=trilinear address=wrap
#elif ZE_L_DIFFUSE == 5
//ZELV_PP: sampler 2D LW_Tex_Diffuse layer=5 filter=trilinear address=wrap
#elif ZE_L_DIFFUSE == 6
//ZELV_PP: sampler 2D LW_Tex_Diffuse layer=6 filter=trilinear address=wrap
#elif ZE_L_DIFFUSE == 7
//ZELV_PP: sampler 2D LW_Tex_Diffuse layer=7 filter=trilinear address=wrap
#endif
#endif
#if ZE_MAP_REFLECTIVITY
#if ZE_L_REFLECTIVITY == 0
//ZELV_PP: sampler 2D LW_Tex_Reflectivity layer=0 filter=trilinear address=wrap
#elif ZE_L_REFLECTIVITY == 1
//ZELV_PP: sampler 2D LW_Tex_Reflectivity layer=1 filter=trilinear address=wrap
#elif ZE_L_REFLECTIVITY == 2
//ZELV_PP: sampler 2D LW_Tex_Reflectivity layer=2 filter=trilinear address=wrap
#elif ZE_L_REFLECTIVITY == 3
//ZELV_PP: sampler 2D LW_Tex_Reflectivity layer=3 filter=trilinear address=wrap
#elif ZE_L_REFLECTIVITY == 4
//ZELV_PP: sampler 2D LW_Tex_Reflectivity layer=4 filter=trilinear address=wrap
#elif ZE_L_REFLECTIVITY == 5
//ZELV_PP: sampler 2D LW_Tex_Reflectivity layer=5 filter=trilinear address=wrap
#elif ZE_L_REFLECTIVITY == 6
//ZELV_PP: sampler 2D LW_Tex_Reflectivity layer=6 filter=trilinear address=wrap
#elif ZE_L_REFLECTIVITY == 7
//ZELV_PP: sampler 2D LW_Tex_Reflectivity layer=7 filter=trilinear address=wrap
#endif
#endif
#if ZE_MAP_TRANSLUCENCY
#if ZE_L_TRANSLUCENCY == 0
//ZELV_PP: sampler 2D LW_Tex_Translucency layer=0 filter=trilinear address=wrap
#elif ZE_L_TRANSLUCENCY == 1
//ZELV_PP: sampler 2D LW_Tex_Translucency layer=1 filter=trilinear address=wrap
#elif ZE_L_TRANSLUCENCY == 2
//ZELV_PP: sampler 2D LW_Tex_Translucency layer=2 filter=trilinear address=wrap
#elif ZE_L_TRANSLUCENCY == 3
//ZELV_PP: sampler 2D LW_Tex_Translucency layer=3 filter=trilinear address=wrap
#elif ZE_L_TRANSLUCENCY == 4
//ZELV_PP: sampler 2D LW_Tex_Translucency layer=4 filter=trilinear address=wrap
#elif ZE_L_TRANSLUCENCY == 5
//ZELV_PP: sampler 2D LW_Tex_Translucency layer=5 filter=trilinear address=wrap
#elif ZE_L_TRANSLUCENCY == 6
//ZELV_PP: sampler 2D LW_Tex_Translucency layer=6 filter=trilinear address=wrap
#elif ZE_L_TRANSLUCENCY == 7
//ZELV_PP: sampler 2D LW_Tex_Translucency layer=7 filter=trilinear address=wrap
#endif
#endif

// ---- Values -----------------------------------------------------------------------------
float4x4 WorldViewProjection;
float4x4 WorldView;
float4x4 WorldViewInverseTranspose;
float4x4 ViewInverse;
float4x4 Projection;
float3 LW_BaseColor;
float LW_Luminosity;
float LW_Diffuse;
float LW_Specularity;
float LW_Glossiness;
float LW_Reflectivity;
float LW_Transparency;
float LW_Translucency;
float LW_Bump;
float LW_ColorHighlights;
float LW_ReflectionBlurring;
float LW_Glow;
float LW_GlowValue;
float LW_Sidedness;
float LW_VertexColoring;
float3 AmbientLight;
float BloomSpecMin;
float BloomThreshold;
#ifdef USE_NODECUBEMAP
float3 CubeMapPosition;
#ifdef USE_CUBEMAPAABB
float3 CubeMapAABBPosition;
float3 CubeMapAABBScale;
#endif
#endif

#if ZE_MAP_COLOR
sampler2D LW_Tex_BaseColor;
#endif
#if ZE_MAP_NORMAL
sampler2D LW_Tex_Bump;
#endif
#if ZE_MAP_SPECULAR
sampler2D LW_Tex_Specularity;
#endif
#if ZE_MAP_GLOSSINESS
sampler2D LW_Tex_Glossiness;
#endif
#if ZE_MAP_REFLECIMG && ZE_REFLECTION_CUBE
samplerCUBE LW_Tex_ReflectionImage;
#elif ZE_MAP_REFLECIMG
sampler2D LW_Tex_ReflectionImage;
#endif
#if ZE_MAP_TRANSPARENCY
sampler2D LW_Tex_Transparency;
#endif
#if ZE_MAP_LUMINOSITY
sampler2D LW_Tex_Luminosity;
#endif
#if ZE_MAP_DIFFUSE
sampler2D LW_Tex_Diffuse;
#endif
#if ZE_MAP_REFLECTIVITY
sampler2D LW_Tex_Reflectivity;
#endif
#if ZE_MAP_TRANSLUCENCY
sampler2D LW_Tex_Translucency;
#endif

// ---- Vertices ----------------------------------------------------------------------------
struct ZeLwVertexIn
{
	float4 Pos : POSITION;
	float3 Normal : NORMAL;
	float4 Colour : COLOR0;
	float2 Uv : TEXCOORD0;
#if defined(USE_UV2) || (defined(USE_TEX_NORMAL) && !defined(USE_COMPTANGENT))
	float3 Tex1 : TEXCOORD1;
#endif
#if defined(USE_UV2INTEX2) || (defined(USE_TEX_NORMAL) && !defined(USE_COMPTANGENT))
	float3 Tex2 : TEXCOORD2;
#endif
};

struct ZeLwPixelIn
{
	float4 Pos : POSITION;
	float4 Clip : TEXCOORD0;
	float4 Uv : TEXCOORD1;          // first set, second set
	float3 ViewPos : TEXCOORD2;
	float3 ViewNormal : TEXCOORD3;
#if defined(USE_TEX_NORMAL) && !defined(USE_COMPTANGENT)
	float3 ViewTangent : TEXCOORD4;
	float3 ViewBinormal : TEXCOORD5;
#endif
	float4 Colour : COLOR0;
};

ZeLwPixelIn zeLwVertex(ZeLwVertexIn v)
{
	ZeLwPixelIn o;
	o.Pos = mul(v.Pos, WorldViewProjection);
	o.Clip = o.Pos;
	o.ViewPos = mul(v.Pos, WorldView).xyz;
	o.ViewNormal = mul(float4(v.Normal, 0.0), WorldViewInverseTranspose).xyz;
	o.Uv = float4(v.Uv, v.Uv);
#if defined(USE_UV2INTEX2)
	o.Uv.zw = v.Tex2.xy;
#elif defined(USE_UV2)
	o.Uv.zw = v.Tex1.xy;
#endif
#if defined(USE_TEX_NORMAL) && !defined(USE_COMPTANGENT)
	float3 tangent = v.Tex1;
#ifdef USE_UV2INTEX2
	float3 binormal = cross(v.Normal, v.Tex1);  // the binormal slot holds the second set
#else
	float3 binormal = v.Tex2;
#endif
	o.ViewTangent = mul(float4(tangent, 0.0), WorldView).xyz;
	o.ViewBinormal = mul(float4(binormal, 0.0), WorldView).xyz;
#endif
	o.Colour = v.Colour;
	return o;
}

// ---- The surface at a pixel ----------------------------------------------------------------
struct ZeLwSurface
{
	float3 Colour;
	float Luminosity;
	float Diffuse;
	float3 Specular;       // specularity in the highlights' colour
	float Glossiness;
	float Reflectivity;
	float3 Reflection;     // the reflection image seen along the reflected view ray
	float Opacity;
	float Translucency;
	float3 Normal;         // view space, unit
	float Glow;
};

// The texture coordinates of a channel: the second set with its USE_UV2_TEX_ macro.
#define ZE_LW_UV(i, SECOND) ((SECOND) ? (i).Uv.zw : (i).Uv.xy)
#ifdef USE_UV2_TEX_COLOR
#define ZE_UV2_COLOR 1
#else
#define ZE_UV2_COLOR 0
#endif
#ifdef USE_UV2_TEX_LUMINOSITY
#define ZE_UV2_LUMINOSITY 1
#else
#define ZE_UV2_LUMINOSITY 0
#endif
#ifdef USE_UV2_TEX_DIFFUSE
#define ZE_UV2_DIFFUSE 1
#else
#define ZE_UV2_DIFFUSE 0
#endif
#ifdef USE_UV2_TEX_SPECULAR
#define ZE_UV2_SPECULAR 1
#else
#define ZE_UV2_SPECULAR 0
#endif
#ifdef USE_UV2_TEX_GLOSSINESS
#define ZE_UV2_GLOSSINESS 1
#else
#define ZE_UV2_GLOSSINESS 0
#endif
#ifdef USE_UV2_TEX_REFLECTIVITY
#define ZE_UV2_REFLECTIVITY 1
#else
#define ZE_UV2_REFLECTIVITY 0
#endif
#ifdef USE_UV2_TEX_TRANSPARENCY
#define ZE_UV2_TRANSPARENCY 1
#else
#define ZE_UV2_TRANSPARENCY 0
#endif
#ifdef USE_UV2_TEX_TRANSLUCENCY
#define ZE_UV2_TRANSLUCENCY 1
#else
#define ZE_UV2_TRANSLUCENCY 0
#endif
#ifdef USE_UV2_TEX_NORMAL
#define ZE_UV2_NORMAL 1
#else
#define ZE_UV2_NORMAL 0
#endif

float zeLwScalar(float4 texel)
{
	return zeLuminance(texel.rgb);
}

// The view-space normal: the vertex normal turned towards the viewer on
// back faces, bent by the normal map.
float3 zeLwNormal(ZeLwPixelIn i, float face)
{
	float3 n = normalize(i.ViewNormal) * (face < 0.0 ? -1.0 : 1.0);
#if ZE_MAP_NORMAL
	float2 uv = ZE_LW_UV(i, ZE_UV2_NORMAL);
	float3 bent = tex2D(LW_Tex_Bump, uv).xyz * 2.0 - 1.0;
	bent.xy *= LW_Bump;
#ifdef USE_COMPTANGENT
	// Tangents from how position and texture coordinates change across the pixel.
	float3 dpx = ddx(i.ViewPos);
	float3 dpy = ddy(i.ViewPos);
	float2 dux = ddx(uv);
	float2 duy = ddy(uv);
	float3 px = cross(dpy, n);
	float3 py = cross(n, dpx);
	float3 t = px * dux.x + py * duy.x;
	float3 b = px * dux.y + py * duy.y;
	float scale = rsqrt(max(max(dot(t, t), dot(b, b)), 1e-20));
	t *= scale;
	b *= scale;
#else
	float3 t = i.ViewTangent;
	float3 b = i.ViewBinormal;
#endif
	n = normalize(t * bent.x + b * bent.y + n * max(bent.z, 0.0));
#endif
	return n;
}

// The reflection image along a view-space reflection direction.
float3 zeLwReflection(ZeLwPixelIn i, float3 viewDirection)
{
#if ZE_MAP_REFLECIMG
	float3 d = normalize(mul(float4(viewDirection, 0.0), ViewInverse).xyz);
#ifdef USE_CUBEMAPAABB
	// Where the ray from the surface meets the box, seen from the map's centre.
	float3 origin = mul(float4(i.ViewPos, 1.0), ViewInverse).xyz;
	float3 halfSize = 0.5 * CubeMapAABBScale;
	float3 safe = max(abs(d), 1e-6) * (step(0.0, d) * 2.0 - 1.0);
	float3 toMax = (CubeMapAABBPosition + halfSize - origin) / safe;
	float3 toMin = (CubeMapAABBPosition - halfSize - origin) / safe;
	float3 far3 = max(toMax, toMin);
	float distance = max(min(min(far3.x, far3.y), far3.z), 0.0);
	d = origin + d * distance - CubeMapPosition;
#endif
	float blur = 8.0 * saturate(LW_ReflectionBlurring);
#if ZE_REFLECTION_CUBE
	return texCUBEbias(LW_Tex_ReflectionImage, float4(d, blur)).rgb;
#else
	float2 latLong = float2(atan2(d.x, d.z) / 6.2831853 + 0.5, 0.5 - asin(clamp(d.y / max(length(d), 1e-6), -1.0, 1.0)) / 3.1415927);
	return tex2Dbias(LW_Tex_ReflectionImage, float4(latLong, 0.0, blur)).rgb;
#endif
#else
	return float3(0.0, 0.0, 0.0);
#endif
}

// The surface at the pixel; back faces of one-sided surfaces are dropped.
ZeLwSurface zeLwSurface(ZeLwPixelIn i, float face)
{
	if (face < 0.0 && LW_Sidedness < 2.5)
		discard;
	ZeLwSurface s;
	s.Colour = LW_BaseColor;
#if ZE_MAP_COLOR
	float4 colourTexel = tex2D(LW_Tex_BaseColor, ZE_LW_UV(i, ZE_UV2_COLOR));
	s.Colour *= colourTexel.rgb;
#endif
	if (LW_VertexColoring != 0.0)
		s.Colour *= i.Colour.rgb;
	s.Luminosity = LW_Luminosity;
#if ZE_MAP_LUMINOSITY
	s.Luminosity = zeLwScalar(tex2D(LW_Tex_Luminosity, ZE_LW_UV(i, ZE_UV2_LUMINOSITY)));
#endif
	s.Diffuse = LW_Diffuse;
#if ZE_MAP_DIFFUSE
	s.Diffuse = zeLwScalar(tex2D(LW_Tex_Diffuse, ZE_LW_UV(i, ZE_UV2_DIFFUSE)));
#endif
	float specularity = LW_Specularity;
#if ZE_MAP_SPECULAR
	specularity = zeLwScalar(tex2D(LW_Tex_Specularity, ZE_LW_UV(i, ZE_UV2_SPECULAR)));
#endif
	s.Specular = specularity * lerp(float3(1.0, 1.0, 1.0), s.Colour, saturate(LW_ColorHighlights));
	s.Glossiness = LW_Glossiness;
#if ZE_MAP_GLOSSINESS
	s.Glossiness = zeLwScalar(tex2D(LW_Tex_Glossiness, ZE_LW_UV(i, ZE_UV2_GLOSSINESS)));
#endif
	s.Opacity = 1.0 - saturate(LW_Transparency);
#if ZE_MAP_TRANSPARENCY
	s.Opacity *= tex2D(LW_Tex_Transparency, ZE_LW_UV(i, ZE_UV2_TRANSPARENCY)).a;
#endif
	s.Translucency = LW_Translucency;
#if ZE_MAP_TRANSLUCENCY
	s.Translucency = zeLwScalar(tex2D(LW_Tex_Translucency, ZE_LW_UV(i, ZE_UV2_TRANSLUCENCY)));
#endif
	s.Normal = zeLwNormal(i, face);
	s.Reflectivity = 0.0;
	s.Reflection = float3(0.0, 0.0, 0.0);
#if ZE_MAP_REFLECIMG
	s.Reflectivity = saturate(LW_Reflectivity);
#if ZE_MAP_REFLECTIVITY
	s.Reflectivity = zeLwScalar(tex2D(LW_Tex_Reflectivity, ZE_LW_UV(i, ZE_UV2_REFLECTIVITY)));
#endif
	s.Reflection = zeLwReflection(i, reflect(normalize(i.ViewPos), s.Normal));
#endif
	s.Glow = LW_Glow != 0.0 ? saturate(LW_GlowValue) : 0.0;
	return s;
}

// The lit colour: diffuse light (with translucency's light from behind),
// ambient light, highlights, luminosity, then the reflection over it.
float3 zeLwShade(ZeLwSurface s, float3 diffuseLight, float3 backLight, float3 specularLight)
{
	float3 lit = s.Colour * (s.Diffuse * diffuseLight + s.Translucency * backLight + AmbientLight) +
		s.Specular * specularLight + s.Colour * s.Luminosity;
	return lerp(lit, s.Reflection, s.Reflectivity);
}

// The glow mask: the surface's glow, and with bloom on its highlights past
// BloomSpecMin and its light past BloomThreshold.
float zeLwGlowMask(ZeLwSurface s, float3 colour, float3 specularLight)
{
	float mask = s.Glow;
	if (BloomSpecMin < 2.0)
		mask = max(mask, saturate(zeLuminance(s.Specular * specularLight) - BloomSpecMin));
	if (BloomThreshold < 1.0)
		mask = max(mask, saturate((zeLuminance(colour) - BloomThreshold) / (1.0 - BloomThreshold)));
	return mask;
}

// ---- The depth and shadow techniques ---------------------------------------------------------
ZeDepthNormal zeLwDepth(ZeLwPixelIn i, float face : VFACE)
{
	ZeLwSurface s = zeLwSurface(i, face);
	return zeWriteDepthNormal(s.Normal, s.Glossiness, i.ViewPos.z);
}

// Drawn with the light's view and projection as the driver's transforms.
float4 zeLwShadow(ZeLwPixelIn i, float face : VFACE) : COLOR
{
	if (face < 0.0 && LW_Sidedness < 2.5)
		discard;
	return zeEncodeShadowDepth(i.ViewPos.z, zeProjectionFar(Projection));
}

#endif
