// Sample mirror: the reflection image (the object's cube map when it has
// one) seen along the eye's reflected ray, tinted by the base colour.
#include "SampleSurface.hlsl"
//ZELV_PP: param float LW_Reflectivity default=1
//ZELV_PP: sampler CUBE LW_Tex_ReflectionImage layer=2 filter=linear address=clamp
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsSurface
//ZELV_PP: pixel psMirror

float LW_Reflectivity;
samplerCUBE LW_Tex_ReflectionImage;

float4 psMirror(SurfaceIn i) : COLOR
{
	float3 n = normalize(i.Normal);
	float3 ray = reflect(normalize(i.Place - Eye.xyz), n);
	float3 seen = texCUBE(LW_Tex_ReflectionImage, ray).rgb;
	float3 lit = shade(baseColor(i.Uv), i.Normal, i.Place);
	return float4(lerp(lit, seen * LW_BaseColor, saturate(LW_Reflectivity)), 1);
}
