// Test post effect: the inverse of the texture on layer 0, only left of Cover.
//ZELV_PP: sampler 2D Source layer=0 filter=point address=clamp
//ZELV_PP: param float Cover default=1
//ZELV_PP: technique invert
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psInvert
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Source : register(s0);
float Cover;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psInvert(float2 uv : TEXCOORD0) : COLOR
{
	clip(Cover - uv.x);
	return float4(1 - tex2D(Source, uv).rgb, 1);
}
