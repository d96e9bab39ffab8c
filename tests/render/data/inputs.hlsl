// Test effect: a screen quad that shows one of its twenty inputs, the
// sampler of register s<Pick>, over the whole target.
//ZELV_PP: param float Pick default=0
//ZELV_PP: technique show
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psShow
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

float Pick;
sampler2D Input0 : register(s0);
sampler2D Input1 : register(s1);
sampler2D Input2 : register(s2);
sampler2D Input3 : register(s3);
sampler2D Input4 : register(s4);
sampler2D Input5 : register(s5);
sampler2D Input6 : register(s6);
sampler2D Input7 : register(s7);
sampler2D Input8 : register(s8);
sampler2D Input9 : register(s9);
sampler2D Input10 : register(s10);
sampler2D Input11 : register(s11);
sampler2D Input12 : register(s12);
sampler2D Input13 : register(s13);
sampler2D Input14 : register(s14);
sampler2D Input15 : register(s15);
sampler2D Input16 : register(s16);
sampler2D Input17 : register(s17);
sampler2D Input18 : register(s18);
sampler2D Input19 : register(s19);

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

// 1 for the input that Pick names, else 0.
float chosen(float i) { return abs(Pick - i) < 0.5 ? 1 : 0; }

float4 psShow(float2 uv : TEXCOORD0) : COLOR
{
	float4 c = float4(0, 0, 0, 0);
	c += chosen(0) * tex2D(Input0, uv);
	c += chosen(1) * tex2D(Input1, uv);
	c += chosen(2) * tex2D(Input2, uv);
	c += chosen(3) * tex2D(Input3, uv);
	c += chosen(4) * tex2D(Input4, uv);
	c += chosen(5) * tex2D(Input5, uv);
	c += chosen(6) * tex2D(Input6, uv);
	c += chosen(7) * tex2D(Input7, uv);
	c += chosen(8) * tex2D(Input8, uv);
	c += chosen(9) * tex2D(Input9, uv);
	c += chosen(10) * tex2D(Input10, uv);
	c += chosen(11) * tex2D(Input11, uv);
	c += chosen(12) * tex2D(Input12, uv);
	c += chosen(13) * tex2D(Input13, uv);
	c += chosen(14) * tex2D(Input14, uv);
	c += chosen(15) * tex2D(Input15, uv);
	c += chosen(16) * tex2D(Input16, uv);
	c += chosen(17) * tex2D(Input17, uv);
	c += chosen(18) * tex2D(Input18, uv);
	c += chosen(19) * tex2D(Input19, uv);
	return c;
}
