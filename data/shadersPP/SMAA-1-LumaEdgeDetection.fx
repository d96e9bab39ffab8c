// Morphological antialiasing, pass 1: luma edge detection. Writes R = an
// edge on the pixel's left border, G = an edge on its top border, where the
// luma steps by at least Threshold and by at least half the largest step
// around it (local contrast adaptation: a faint edge beside a strong one is
// not an edge). Pixels without an edge are discarded, so the cleared target
// keeps 0 there.
//ZELV_PP: sampler 2D Colour layer=0 filter=linear address=clamp
//ZELV_PP: param float Threshold default=0.1
//ZELV_PP: param float4 TexelSize semantic=RenderTargetSizeInverse
//ZELV_PP: technique edges
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psEdges
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Colour : register(s0);
float Threshold;
float4 TexelSize;

static const float3 LUMA = float3(0.2126, 0.7152, 0.0722);
static const float CONTRAST_ADAPTATION = 2.0;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float luma(float2 uv)
{
	return dot(tex2Dlod(Colour, float4(uv, 0, 0)).rgb, LUMA);
}

float4 psEdges(float2 uv : TEXCOORD0) : COLOR
{
	float2 px = TexelSize.xy;
	float here = luma(uv);
	float left = luma(uv - float2(px.x, 0));
	float top = luma(uv - float2(0, px.y));
	float2 delta = abs(here - float2(left, top));
	float2 edges = step(Threshold, delta);
	if (dot(edges, float2(1, 1)) == 0.0)
		discard;

	// The largest step around the two borders.
	float right = luma(uv + float2(px.x, 0));
	float bottom = luma(uv + float2(0, px.y));
	float leftLeft = luma(uv - float2(2.0 * px.x, 0));
	float topTop = luma(uv - float2(0, 2.0 * px.y));
	float2 around = max(abs(here - float2(right, bottom)), abs(float2(left, top) - float2(leftLeft, topTop)));
	float largest = max(max(delta.x, delta.y), max(around.x, around.y));
	edges *= step(largest, CONTRAST_ADAPTATION * delta);
	if (dot(edges, float2(1, 1)) == 0.0)
		discard;
	return float4(edges, 0, 1);
}
