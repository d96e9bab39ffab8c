// Depth of field, artist circle of confusion: sharp at the focused distance,
// growing linearly to the widest blur at the near and far ends of the focal
// range. Writes the source colour with the circle (0 .. 1) in alpha.
//ZELV_PP: sampler 2D Source layer=0 filter=point address=clamp
//ZELV_PP: sampler 2D Depth layer=1 filter=point address=clamp
//ZELV_PP: param float DofFocalRangeMin semantic=DofFocalRangeMin default=1
//ZELV_PP: param float DofFocalRangeMax semantic=DofFocalRangeMax default=100
//ZELV_PP: param float DofFocalRangeFocused semantic=DofFocalRangeFocused default=10
//ZELV_PP: technique coc
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psCoc
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Source : register(s0);
sampler2D Depth : register(s1);
float DofFocalRangeMin;
float DofFocalRangeMax;
float DofFocalRangeFocused;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psCoc(float2 uv : TEXCOORD0) : COLOR
{
	float depth = tex2D(Depth, uv).r;
	float nearSpan = max(DofFocalRangeFocused - DofFocalRangeMin, 0.0001);
	float farSpan = max(DofFocalRangeMax - DofFocalRangeFocused, 0.0001);
	float coc = depth < DofFocalRangeFocused ? (DofFocalRangeFocused - depth) / nearSpan
	                                         : (depth - DofFocalRangeFocused) / farSpan;
	return float4(tex2D(Source, uv).rgb, saturate(coc));
}
