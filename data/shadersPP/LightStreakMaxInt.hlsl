// Light streaks, step 1: the bright parts that streak. Each target pixel
// keeps the brightest of the 4 x 4 source pixels it covers (the target is a
// quarter of the source), counted only where the source's alpha reaches the
// glow minimum ("limitalpha": a soft step from x to y) and its hue matches
// "colorkey" ("limitcolor": a soft step of the cosine between the two
// colours).
//ZELV_PP: sampler 2D Source layer=0 filter=point address=clamp
//ZELV_PP: param float2 limitalpha default=0,0.02
//ZELV_PP: param float2 limitcolor default=0.79,0.81
//ZELV_PP: param float3 colorkey default=1,1,1
//ZELV_PP: param float4 TexelSize semantic=RenderTargetSizeInverse
//ZELV_PP: technique maxint
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psMaxInt
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Source : register(s0);
float2 limitalpha;
float2 limitcolor;
float3 colorkey;
float4 TexelSize;

static const float3 LUMA = float3(0.2126, 0.7152, 0.0722);

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psMaxInt(float2 uv : TEXCOORD0) : COLOR
{
	float3 key = normalize(max(colorkey, float3(0.0001, 0.0001, 0.0001)));
	float3 best = float3(0, 0, 0);
	float bestLuma = 0.0;
	for (int y = 0; y < 4; ++y)
		for (int x = 0; x < 4; ++x)
		{
			float2 at = uv + (float2(x, y) - 1.5) * 0.25 * TexelSize.xy;
			float4 c = tex2Dlod(Source, float4(at, 0, 0));
			float size = length(c.rgb);
			float match = size > 0.0 ? dot(c.rgb / size, key) : 0.0;
			float mask = smoothstep(limitalpha.x, limitalpha.y, c.a) * smoothstep(limitcolor.x, limitcolor.y, match);
			float3 masked = c.rgb * mask;
			float l = dot(masked, LUMA);
			if (l > bestLuma)
			{
				bestLuma = l;
				best = masked;
			}
		}
	return float4(best, 1);
}
