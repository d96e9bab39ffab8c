// Depth of field blur along one direction: "angle" in radians from the x
// axis, the circle of confusion in the source's alpha scaled by
// "radiusScale" and MaxRadius pixels. A sample counts where its own circle
// reaches this pixel, so sharp pixels do not bleed into blurred ones. Keeps
// the circle in alpha for the next pass.
//ZELV_PP: sampler 2D Source layer=0 filter=linear address=clamp
//ZELV_PP: sampler 2D Depth layer=1 filter=point address=clamp
//ZELV_PP: param float angle default=0
//ZELV_PP: param float radiusScale default=1
//ZELV_PP: param float MaxRadius default=8
//ZELV_PP: param float4 TexelSize semantic=RenderTargetSizeInverse
//ZELV_PP: technique blur
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psBlur
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

static const int TAPS = 6;

sampler2D Source : register(s0);
sampler2D Depth : register(s1);
float angle;
float radiusScale;
float MaxRadius;
float4 TexelSize;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psBlur(float2 uv : TEXCOORD0) : COLOR
{
	float4 centre = tex2D(Source, uv);
	float pixels = MaxRadius * radiusScale;
	float radius = centre.a * pixels;
	float2 stride = float2(cos(angle), sin(angle)) * TexelSize.xy;
	float3 sum = centre.rgb;
	float weight = 1.0;
	for (int i = 1; i <= TAPS; ++i)
	{
		float reach = radius * i / TAPS;
		for (int side = -1; side <= 1; side += 2)
		{
			float4 s = tex2D(Source, uv + stride * reach * side);
			float w = saturate(s.a * pixels - reach + 1.0);
			sum += s.rgb * w;
			weight += w;
		}
	}
	return float4(sum / weight, centre.a);
}
