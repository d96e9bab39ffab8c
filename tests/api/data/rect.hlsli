// The screen quad moved onto a rectangle given in pixels from the top left.
float4 Rectangle;
float4 Screen;

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

VsOut vsBox(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	float2 pixel = Rectangle.xy + uv * Rectangle.zw;
	o.Pos = float4(pixel.x / Screen.x * 2 - 1, 1 - pixel.y / Screen.y * 2, 0, 1);
	o.Uv = uv;
	return o;
}
