// Draws a texture over the current render target.
//ZELV_PP: sampler 2D Source layer=0 filter=linear address=clamp
//ZELV_PP: technique copy
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psCopy
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Source : register(s0);

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psCopy(float2 uv : TEXCOORD0) : COLOR
{
	return tex2D(Source, uv);
}
