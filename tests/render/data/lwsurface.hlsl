// Test effect reading the LightWave and HyperVoxel surface samplers. The
// samplers on material layers are always there; ALL_CHANNELS adds the other
// textured channels, which read only their own texture.
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: sampler 2D LW_Tex_BaseColor layer=0
//ZELV_PP: sampler 2D LW_Tex_Bump layer=1
//ZELV_PP: sampler CUBE LW_Tex_ReflectionImage layer=2
//ZELV_PP: sampler 2D LW_Tex_Specularity layer=3
//ZELV_PP: sampler 2D LW_Tex_Glossiness layer=5
//ZELV_PP: sampler 2D LWHV_Tex_Clip layer=6
#ifdef ALL_CHANNELS
//ZELV_PP: sampler 2D LW_Tex_Luminosity layer=none
//ZELV_PP: sampler 2D LW_Tex_Diffuse layer=none
//ZELV_PP: sampler 2D LW_Tex_Reflectivity layer=none
//ZELV_PP: sampler 2D LW_Tex_Transparency layer=none
//ZELV_PP: sampler 2D LW_Tex_Translucency layer=none
//ZELV_PP: sampler 2D LW_Tex_IOR layer=none
//ZELV_PP: sampler 2D LW_Tex_RefractionImage layer=none
#endif
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsMain
//ZELV_PP: pixel psMain

float4x4 WorldViewProj;
sampler2D LW_Tex_BaseColor;
sampler2D LW_Tex_Bump;
samplerCUBE LW_Tex_ReflectionImage;
sampler2D LW_Tex_Specularity;
sampler2D LW_Tex_Glossiness;
sampler2D LWHV_Tex_Clip;
#ifdef ALL_CHANNELS
sampler2D LW_Tex_Luminosity;
sampler2D LW_Tex_Diffuse;
sampler2D LW_Tex_Reflectivity;
sampler2D LW_Tex_Transparency;
sampler2D LW_Tex_Translucency;
sampler2D LW_Tex_IOR;
sampler2D LW_Tex_RefractionImage;
#endif

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

VsOut vsMain(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = mul(pos, WorldViewProj);
	o.Uv = uv;
	return o;
}

float4 psMain(VsOut i) : COLOR
{
	float4 c = tex2D(LW_Tex_BaseColor, i.Uv) + tex2D(LW_Tex_Bump, i.Uv) + texCUBE(LW_Tex_ReflectionImage, float3(i.Uv, 1))
		+ tex2D(LW_Tex_Specularity, i.Uv) + tex2D(LW_Tex_Glossiness, i.Uv) + tex2D(LWHV_Tex_Clip, i.Uv);
#ifdef ALL_CHANNELS
	c += tex2D(LW_Tex_Luminosity, i.Uv) + tex2D(LW_Tex_Diffuse, i.Uv) + tex2D(LW_Tex_Reflectivity, i.Uv)
		+ tex2D(LW_Tex_Transparency, i.Uv) + tex2D(LW_Tex_Translucency, i.Uv) + tex2D(LW_Tex_IOR, i.Uv)
		+ tex2D(LW_Tex_RefractionImage, i.Uv);
#endif
	return c;
}
