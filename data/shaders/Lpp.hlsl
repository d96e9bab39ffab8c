// The engine's material effect for surfaces drawn solid by the light pre-pass
// renderer: a LightWave surface (LwSurface.hlsl says which values and
// textures, and which macros switch them on) lit by the light buffer.
//
// Techniques:
//   solid   the surface's colour from the light that LightRTT holds under
//           its pixel (LppBuffers.hlsl), the scene's ambient light, its own
//           luminosity and reflection; the glow mask in alpha. With
//           USE_OUTDEPTH it also writes its view depth into a second target
//           (DepthRTT).
//   depth   normal, glossiness and view depth into NormalRTT and DepthRTT.
//   shadow  the depth a light sees, into a shadow map.
//ZELV_PP: sampler 2D LightRTT layer=none filter=point address=clamp
//ZELV_PP: technique solid
//ZELV_PP: pass
//ZELV_PP: vertex zeLwVertex
//ZELV_PP: pixel psSolid
//ZELV_PP: cull none
#ifdef USE_OUTDEPTH
//ZELV_PP: targets 2
#endif

#include "LwSurface.hlsl"

sampler2D LightRTT;

#ifdef USE_OUTDEPTH
struct SolidOut
{
	float4 Colour : COLOR0;
	float4 Depth : COLOR1;
};
#else
struct SolidOut
{
	float4 Colour : COLOR0;
};
#endif

SolidOut psSolid(ZeLwPixelIn i, float face : VFACE)
{
	ZeLwSurface s = zeLwSurface(i, face);
	float4 light = tex2D(LightRTT, zeScreenUv(i.Clip));
	float3 diffuse = zeLightDiffuse(light);
	float3 specular = zeLightSpecular(light);
	// The light buffer holds the light on the front of the surface only:
	// translucency lets some of it through as if it came from behind.
	float3 colour = zeLwShade(s, diffuse, 0.5 * diffuse, specular);
	SolidOut o;
	o.Colour = float4(colour, zeLwGlowMask(s, colour, specular));
#ifdef USE_OUTDEPTH
	o.Depth = zeEncodeDepth(i.ViewPos.z);
#endif
	return o;
}
