// Depth of field, physical circle of confusion: a thin lens of FocalLength
// (scene units) at FStop focused at FocalDistance. Writes the source colour
// with the circle (0 sharp .. 1 widest blur) in alpha.
//ZELV_PP: sampler 2D Source layer=0 filter=point address=clamp
//ZELV_PP: sampler 2D Depth layer=1 filter=point address=clamp
//ZELV_PP: param float FocalDistance semantic=FocalDistance default=10
//ZELV_PP: param float FStop semantic=FStop default=2.8
//ZELV_PP: param float FocalLength default=0.05
//ZELV_PP: param float CocScale default=2000
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
float FocalDistance;
float FStop;
float FocalLength;
float CocScale;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psCoc(float2 uv : TEXCOORD0) : COLOR
{
	float depth = max(tex2D(Depth, uv).r, 0.0001);
	float focus = max(FocalDistance, FocalLength * 1.01);
	float aperture = FocalLength / max(FStop, 0.1);
	float coc = abs(aperture * FocalLength * (depth - focus) / (depth * (focus - FocalLength)));
	return float4(tex2D(Source, uv).rgb, saturate(coc * CocScale));
}
