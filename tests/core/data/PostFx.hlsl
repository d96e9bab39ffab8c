// Post-processing passes written the Direct3D 9 way: a full-screen quad,
// neighbour offsets computed in the vertex shader, tap tables with flat
// initialisers, a 1D colour ramp, and code paths for other compilers.
//
// vsQuad / psBlur         seven-tap horizontal blur from a weights table
// vsEdges / psEdges       luminance edges against the four neighbours
// vsEdges / psSmooth      the antialiasing pass over those edges
// vsQuad / psBrightPass   the bloom bright pass
// vsQuad / psCombine      scene plus scaled bloom
// vsQuad / psToneRamp     luminance through a 1D colour ramp

float4 PixelSize : register(c0);  // 1 / width, 1 / height
float EdgeThreshold : register(c1);
float BloomThreshold;
float BloomScale;

sampler2D Colour : register(s0);
sampler2D Bloom : register(s1);
sampler1D Ramp : register(s2);

static const float3 LUMA = float3(0.299, 0.587, 0.114);

// Offsets in pixels, then the weights of a 1 6 15 20 15 6 1 kernel.
static const float2 BLUR_OFFSETS[7] = {
	-3, 0,   -2, 0,
	-1, 0,    0, 0,  // the centre tap
	 1, 0,    2, 0,
	 3, 0
};
static const float BLUR_WEIGHTS[7] = { 0.015625, 0.09375, 0.234375, 0.3125, 0.234375, 0.09375, 0.015625 };

struct QuadOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

struct EdgesOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
	float4 Offset[2] : TEXCOORD1;  // left and top, then right and bottom
};

float luma(float4 c)
{
	return dot(c.rgb, LUMA);
}

QuadOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	QuadOut o;
	o.Pos = pos;
	o.Uv = uv;
	return o;
}

float4 psBlur(float2 uv : TEXCOORD0) : COLOR0
{
	float4 sum = 0;
	for (int i = 0; i < 7; i++)
		sum += tex2D(Colour, uv + BLUR_OFFSETS[i] * PixelSize.xy) * BLUR_WEIGHTS[i];
	return sum;
}

EdgesOut vsEdges(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	EdgesOut o;
	o.Pos = pos;
	o.Uv = uv;
	o.Offset[0] = uv.xyxy + PixelSize.xyxy * float4(-1, 0, 0, -1);
	o.Offset[1] = uv.xyxy + PixelSize.xyxy * float4(1, 0, 0, 1);
	return o;
}

float4 psEdges(float2 uv : TEXCOORD0, float4 offset[2] : TEXCOORD1) : COLOR0
{
	const float centre = luma(tex2D(Colour, uv));
	float4 around;
	around.x = luma(tex2D(Colour, offset[0].xy));
	around.y = luma(tex2D(Colour, offset[0].zw));
	around.z = luma(tex2D(Colour, offset[1].xy));
	around.w = luma(tex2D(Colour, offset[1].zw));
	return step(EdgeThreshold, abs(centre - around));
}

float4 psSmooth(float2 uv : TEXCOORD0, float4 leftTop : TEXCOORD1, float4 rightBottom : TEXCOORD2) : COLOR0
{
	const float4 c = tex2D(Colour, uv);
	const float4 l = tex2D(Colour, leftTop.xy);
	const float4 t = tex2D(Colour, leftTop.zw);
	const float4 r = tex2D(Colour, rightBottom.xy);
	const float4 b = tex2D(Colour, rightBottom.zw);
	const float lo = min(min(luma(l), luma(r)), min(luma(t), luma(b)));
	const float hi = max(max(luma(l), luma(r)), max(luma(t), luma(b)));
	if (max(hi, luma(c)) - min(lo, luma(c)) < EdgeThreshold)
		return c;
	return c * 0.5 + (l + t + r + b) * 0.125;
}

float4 psBrightPass(float2 uv : TEXCOORD0) : COLOR0
{
	float4 c = tex2D(Colour, uv);
#if defined(GL_ARB_texture_gather) || defined(GL_core_profile)
	c = textureGather(Colour, uv);  // a GLSL path; never for this compiler
#else
	const float l = luma(c);
	c.rgb *= saturate(l - BloomThreshold) / max(l, 0.0001);
#endif
	return c;
}

float4 psCombine(float2 uv : TEXCOORD0) : COLOR0
{
	return tex2D(Colour, uv) + tex2D(Bloom, uv) * BloomScale;
}

float4 psToneRamp(float2 uv : TEXCOORD0) : COLOR0
{
	return tex1D(Ramp, luma(tex2D(Colour, uv)));
}
