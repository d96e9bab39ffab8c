// Test particle effect, for the plain and the instanced particle nodes: every
// particle a square Size units wide facing the camera, in Color ("main"), or
// showing what reached it ("life": red birth / 4, green death / 4 in seconds,
// blue the velocity's x).
//ZELV_PP: define ZELV_INSTANCED
//ZELV_PP: param float4x4 View semantic=View
//ZELV_PP: param float4x4 Projection semantic=Projection
//ZELV_PP: param float Size default=1
//ZELV_PP: param float4 Color default=1,1,1,1
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsBillboard
//ZELV_PP: pixel psColor
//ZELV_PP: zwrite off
//ZELV_PP: cull none
//ZELV_PP: technique life
//ZELV_PP: pass
//ZELV_PP: vertex vsBillboard
//ZELV_PP: pixel psLife
//ZELV_PP: zwrite off
//ZELV_PP: cull none

float4x4 View;
float4x4 Projection;
float Size;
float4 Color;

struct VsOut
{
	float4 Pos : POSITION;
	float3 Life : TEXCOORD0;
	float3 Velocity : TEXCOORD1;
};

VsOut vsBillboard(float2 corner : TEXCOORD0, float4 centre : POSITION0, float3 life : NORMAL0,
	float3 velocity : TANGENT0)
{
	VsOut o;
	float4 eye = mul(centre, View);
	eye.xy += float2(corner.x - 0.5, 0.5 - corner.y) * Size;
	o.Pos = mul(eye, Projection);
	o.Life = life;
	o.Velocity = velocity;
	return o;
}

float4 psColor(VsOut i) : COLOR { return Color; }
float4 psLife(VsOut i) : COLOR { return float4(i.Life.xy / 4, i.Velocity.x, 1); }
