// Glow source: the colour masked by its alpha (how much the surface glows),
// down-sampled by the bilinear read when the target is smaller.
//ZELV_PP: sampler 2D Source layer=0 filter=linear address=clamp
//ZELV_PP: technique mask
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psMask
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

float4 psMask(float2 uv : TEXCOORD0) : COLOR
{
	float4 c = tex2D(Source, uv);
	return float4(c.rgb * c.a, 1);
}
