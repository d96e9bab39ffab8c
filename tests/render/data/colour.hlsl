// Test effect: meshes in their vertex colours ("main"), in green ("depth"),
// and a flat fill of Color over the part of the target left of Cover ("fill").
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: param float4 Color default=0,0,0,1
//ZELV_PP: param float Cover default=1
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsMesh
//ZELV_PP: pixel psVertex
//ZELV_PP: cull none
//ZELV_PP: technique depth
//ZELV_PP: pass
//ZELV_PP: vertex vsMesh
//ZELV_PP: pixel psGreen
//ZELV_PP: cull none
//ZELV_PP: technique fill
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psFill
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float4 Col : COLOR0;
	float2 Uv : TEXCOORD0;
};

float4x4 WorldViewProj;
float4 Color;
float Cover;

VsOut vsMesh(float4 pos : POSITION, float4 col : COLOR0)
{
	VsOut o;
	o.Pos = mul(pos, WorldViewProj);
	o.Col = col;
	o.Uv = float2(0, 0);
	return o;
}

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Col = float4(1, 1, 1, 1);
	o.Uv = uv;
	return o;
}

float4 psVertex(float4 col : COLOR0) : COLOR { return col; }
float4 psGreen(float4 col : COLOR0) : COLOR { return float4(0, 1, 0, 1); }

float4 psFill(float4 col : COLOR0, float2 uv : TEXCOORD0) : COLOR
{
	clip(Cover - uv.x);
	return Color;
}
