// Test post effect: the texture on layer 0 times Gain (alpha 1).
//ZELV_PP: sampler 2D Source layer=0 filter=point address=clamp
//ZELV_PP: param float Gain default=0.5
//ZELV_PP: technique scale
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psScale
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Source : register(s0);
float Gain;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psScale(float2 uv : TEXCOORD0) : COLOR
{
	return float4(tex2D(Source, uv).rgb * Gain, 1);
}
