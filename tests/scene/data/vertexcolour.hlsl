// Test effect: meshes in their vertex colours.
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsMesh
//ZELV_PP: pixel psVertex
//ZELV_PP: cull none

float4x4 WorldViewProj;

struct VsOut
{
	float4 Pos : POSITION;
	float4 Col : COLOR0;
};

VsOut vsMesh(float4 pos : POSITION, float4 col : COLOR0)
{
	VsOut o;
	o.Pos = mul(pos, WorldViewProj);
	o.Col = col;
	return o;
}

float4 psVertex(VsOut i) : COLOR { return i.Col; }
