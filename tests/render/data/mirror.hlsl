// Test effect: a mirror. Each pixel shows the cube map on layer 4 (a LightWave
// surface's reflection image) along the view direction reflected about the
// surface normal.
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: param float4x4 World semantic=World
//ZELV_PP: param float4 Eye semantic=CameraPosition
//ZELV_PP: sampler CUBE LW_Tex_ReflectionImage layer=4 filter=point address=clamp
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsMirror
//ZELV_PP: pixel psMirror
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float3 Normal : TEXCOORD0;
	float3 WorldPos : TEXCOORD1;
};

float4x4 WorldViewProj;
float4x4 World;
float4 Eye;
samplerCUBE LW_Tex_ReflectionImage;

VsOut vsMirror(float4 pos : POSITION, float3 normal : NORMAL)
{
	VsOut o;
	o.Pos = mul(pos, WorldViewProj);
	o.Normal = mul(normal, (float3x3)World);
	o.WorldPos = mul(pos, World).xyz;
	return o;
}

float4 psMirror(VsOut i) : COLOR
{
	float3 view = normalize(i.WorldPos - Eye.xyz);
	float3 dir = reflect(view, normalize(i.Normal));
	return float4(texCUBE(LW_Tex_ReflectionImage, dir).rgb, 1);
}
