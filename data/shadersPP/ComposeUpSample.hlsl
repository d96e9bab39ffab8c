// Adds an image, scaled by "Intensity", onto the target (bilinear up-sampling
// when the target is larger). The target's alpha stays as it is.
//ZELV_PP: sampler 2D Source layer=0 filter=linear address=clamp
//ZELV_PP: param float Intensity default=1
//ZELV_PP: technique compose
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psCompose
//ZELV_PP: blend add
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Source : register(s0);
float Intensity;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psCompose(float2 uv : TEXCOORD0) : COLOR
{
	return float4(tex2D(Source, uv).rgb * Intensity, 0);
}
