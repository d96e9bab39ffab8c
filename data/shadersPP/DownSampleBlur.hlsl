// Halves an image: each target pixel averages the 4 x 4 source pixels around
// it with four bilinear reads, each of which averages 2 x 2. Alpha, the glow
// mask of a frame, is averaged with the colour.
//ZELV_PP: sampler 2D Source layer=0 filter=linear address=clamp
//ZELV_PP: param float4 TexelSize semantic=RenderTargetSizeInverse
//ZELV_PP: technique down
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psDown
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Source : register(s0);
float4 TexelSize;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psDown(float2 uv : TEXCOORD0) : COLOR
{
	// One source pixel is half a target pixel.
	float2 step = TexelSize.xy * 0.5;
	float4 sum = tex2D(Source, uv + float2(-step.x, -step.y)) + tex2D(Source, uv + float2(step.x, -step.y)) +
		tex2D(Source, uv + float2(-step.x, step.y)) + tex2D(Source, uv + float2(step.x, step.y));
	return sum * 0.25;
}
