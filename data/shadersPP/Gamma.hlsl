// Converts linear colour to the sRGB curve (alpha as it is).
//ZELV_PP: sampler 2D Source layer=0 filter=point address=clamp
//ZELV_PP: technique gamma
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psGamma
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

float4 psGamma(float2 uv : TEXCOORD0) : COLOR
{
	float4 c = tex2D(Source, uv);
	float3 linearPart = saturate(c.rgb);
	float3 low = linearPart * 12.92;
	float3 high = 1.055 * pow(linearPart, 1.0 / 2.4) - 0.055;
	return float4(lerp(low, high, step(0.0031308, linearPart)), c.a);
}
