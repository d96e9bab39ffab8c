// Test pictures drawn per pixel, without antialiasing, into the current
// target: "halfplane" paints Inside where Line.x * x + Line.y * y + Line.z < 0
// for the pixel centre (x, y) in pixels from the top left, Outside elsewhere;
// "rect" paints Inside within Rect (x0, y0, x1, y1 in pixels), Outside
// elsewhere; "spot" paints Inside within Rect and leaves the rest.
//ZELV_PP: param float4 Inside default=1,1,1,1
//ZELV_PP: param float4 Outside default=0,0,0,1
//ZELV_PP: param float3 Line default=1,0,0
//ZELV_PP: param float4 Rect default=0,0,0,0
//ZELV_PP: param float4 TargetSize semantic=RenderTargetSize
//ZELV_PP: technique halfplane
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psHalfPlane
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none
//ZELV_PP: technique rect
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psRect
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none
//ZELV_PP: technique spot
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psSpot
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

float4 Inside;
float4 Outside;
float3 Line;
float4 Rect;
float4 TargetSize;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psHalfPlane(float2 uv : TEXCOORD0) : COLOR
{
	float2 p = uv * TargetSize.xy;
	return dot(Line, float3(p, 1)) < 0.0 ? Inside : Outside;
}

bool inRect(float2 uv)
{
	float2 p = uv * TargetSize.xy;
	return p.x >= Rect.x && p.x < Rect.z && p.y >= Rect.y && p.y < Rect.w;
}

float4 psRect(float2 uv : TEXCOORD0) : COLOR
{
	return inRect(uv) ? Inside : Outside;
}

float4 psSpot(float2 uv : TEXCOORD0) : COLOR
{
	if (!inRect(uv))
		discard;
	return Inside;
}
