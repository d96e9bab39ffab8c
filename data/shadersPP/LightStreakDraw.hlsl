// Light streaks, step 2: one pass of a streak along "direction" (unit, in
// target pixels). Pass n ("passn" 1, 2, 3) reads four pixels 4^(n-1) pixels
// apart, weighted "attenuation" to the power of their distance, so three
// passes reach 63 pixels. Farther reads lean towards "colorize".
//ZELV_PP: sampler 2D Source layer=0 filter=linear address=clamp
//ZELV_PP: param float2 direction default=1,0
//ZELV_PP: param float3 colorize default=0,0.5,1
//ZELV_PP: param float attenuation default=0.95
//ZELV_PP: param float passn default=1
//ZELV_PP: param float4 TexelSize semantic=RenderTargetSizeInverse
//ZELV_PP: technique streak
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psStreak
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Source : register(s0);
float2 direction;
float3 colorize;
float attenuation;
float passn;
float4 TexelSize;

static const float REACH = 63.0;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psStreak(float2 uv : TEXCOORD0) : COLOR
{
	float spacing = pow(4.0, passn - 1.0);
	float3 sum = float3(0, 0, 0);
	float total = 0.0;
	for (int s = 0; s < 4; ++s)
	{
		float distance = spacing * s;
		float w = pow(saturate(attenuation), distance);
		float3 tint = lerp(float3(1, 1, 1), colorize, distance / REACH);
		sum += tex2Dlod(Source, float4(uv + direction * TexelSize.xy * distance, 0, 0)).rgb * tint * w;
		total += w;
	}
	return float4(sum / total, 1);
}
