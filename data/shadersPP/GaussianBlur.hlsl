// One direction of a Gaussian blur: "Direction" (1, 0) or (0, 1), "Radius"
// in pixels of the target (three standard deviations), the result scaled by
// "Intensity". Fifteen taps; past a radius of 7 pixels they spread apart and
// the bilinear reads fill between them.
//ZELV_PP: sampler 2D Source layer=0 filter=linear address=clamp
//ZELV_PP: param float2 Direction default=1,0
//ZELV_PP: param float Radius default=4
//ZELV_PP: param float Intensity default=1
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

sampler2D Source : register(s0);
float2 Direction;
float Radius;
float Intensity;
float4 TexelSize;

static const int HALF_TAPS = 7;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psBlur(float2 uv : TEXCOORD0) : COLOR
{
	float sigma = max(Radius / 3.0, 0.3);
	float spacing = max(Radius / HALF_TAPS, 1.0);
	float2 stride = Direction * TexelSize.xy * spacing;
	float3 sum = float3(0, 0, 0);
	float total = 0.0;
	for (int i = -HALF_TAPS; i <= HALF_TAPS; ++i)
	{
		float x = i * spacing;
		float w = exp(-x * x / (2.0 * sigma * sigma));
		sum += tex2Dlod(Source, float4(uv + stride * i, 0, 0)).rgb * w;
		total += w;
	}
	return float4(sum / total * Intensity, 1);
}
