// Unwraps a cube map into a latitude-longitude image: u runs once around the
// horizon with +Z in the middle, v from straight up (top) to straight down.
//ZELV_PP: sampler CUBE CubeMap layer=0 filter=linear address=clamp
//ZELV_PP: technique latlong
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psLatLong
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

static const float PI = 3.14159265;

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

samplerCUBE CubeMap : register(s0);

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psLatLong(float2 uv : TEXCOORD0) : COLOR
{
	float longitude = (uv.x * 2.0 - 1.0) * PI;
	float latitude = (0.5 - uv.y) * PI;
	float3 direction = float3(cos(latitude) * sin(longitude), sin(latitude), cos(latitude) * cos(longitude));
	return texCUBE(CubeMap, direction);
}
