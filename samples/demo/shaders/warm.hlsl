// The sample demo's full-screen shader: the frame warmed towards gold and
// brightened in its middle, fading out towards the edges.
//ZELV_PP: sampler 2D Source layer=0 filter=linear address=clamp
//ZELV_PP: param float3 Warmth default=1,0.8,0.35
//ZELV_PP: param float Amount default=0.45
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsWarm
//ZELV_PP: pixel psWarm
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

sampler2D Source : register(s0);
float3 Warmth;
float Amount;

struct WarmIn
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

WarmIn vsWarm(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	WarmIn o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psWarm(WarmIn i) : COLOR
{
	float3 frame = tex2D(Source, i.Uv).rgb;
	float middle = saturate(1 - length(i.Uv - 0.5) * 2);
	return float4(lerp(frame, frame * 0.5 + Warmth * 0.5, Amount * middle), 1);
}
