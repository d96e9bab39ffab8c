// Tinted, textured surface with a depth technique.
//ZELV_PP: define USE_TINT 1
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: param float4 Tint default=1,1,1,1
//ZELV_PP: param float Threshold semantic=BloomThreshold
//ZELV_PP: sampler 2D BaseMap layer=0 filter=trilinear address=wrap srgb=on
//ZELV_PP: sampler CUBE Reflection layer=1 address=clamp
//ZELV_PP: sampler 2D Depth layer=none target=DepthRTT filter=point
//ZELV_PP: technique main
//ZELV_PP: annotation render "solidpost"
//ZELV_PP:   pass base
//ZELV_PP:     vertex vsMain
//ZELV_PP:     pixel psMain
//ZELV_PP:     material solid
//ZELV_PP:   pass glow
//ZELV_PP:     vertex vsMain
//ZELV_PP:     pixel psGlow
//ZELV_PP:     blend add
//ZELV_PP:     zwrite off
#ifdef USE_SHADOW
//ZELV_PP: technique shadow
//ZELV_PP:   pass
//ZELV_PP:     vertex vsMain
//ZELV_PP:     pixel psDepth
//ZELV_PP:     cull front
#endif
//ZELV_PP: technique depth
//ZELV_PP:   pass
//ZELV_PP:     vertex vsMain
//ZELV_PP:     pixel psNormalDepth
//ZELV_PP:     targets 2

float4x4 WorldViewProj;
float4 Tint;
float Threshold;
sampler2D BaseMap;
samplerCUBE Reflection;
sampler2D Depth;

struct VsOut { float4 Pos : POSITION; float2 Uv : TEXCOORD0; float3 Dir : TEXCOORD1; float Depth : TEXCOORD2; };
struct Targets { float4 Normal : COLOR0; float4 Depth : COLOR1; };

VsOut vsMain(float4 pos : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = mul(pos, WorldViewProj);
	o.Uv = uv;
	o.Dir = normal;
	o.Depth = o.Pos.z / o.Pos.w;
	return o;
}

float4 psMain(VsOut i) : COLOR
{
	float4 c = tex2D(BaseMap, i.Uv) + 0.2 * texCUBE(Reflection, i.Dir);
#if USE_TINT
	c *= Tint;
#endif
	return c;
}

float4 psGlow(VsOut i) : COLOR { return max(tex2D(BaseMap, i.Uv) - Threshold, 0); }
float4 psDepth(VsOut i) : COLOR { return i.Depth; }
Targets psNormalDepth(VsOut i)
{
	Targets t;
	t.Normal = float4(normalize(i.Dir) * 0.5 + 0.5, 1);
	t.Depth = float4(i.Depth, tex2D(Depth, i.Uv).r, 0, 1);
	return t;
}
