// What the sample post effects share: the full-screen quad and the frame
// they read on layer 0 (register s0).
//ZELV_PP: sampler 2D Source layer=0 filter=linear address=clamp

sampler2D Source : register(s0);

struct PostIn
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

PostIn vsPost(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	PostIn o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}
