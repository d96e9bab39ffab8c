// Temporal antialiasing: blends the current image (layer 0) with the history
// (layer 1): current x "Blend" + history x (1 - "Blend").
// USE_REPROJ_CAMERA reads the history where the pixel was in the last frame:
// the view depth in "DepthRTT" and the current camera ("CameraProjection",
// "CameraViewInverse", set by the antialiasing before the draw) give its
// world position, the last frame's camera (semantic LastViewProjection) its
// place then; a pixel that came from outside the screen takes the current
// image alone.
// USE_VLIMIT then holds the history within the range of the current pixel's
// 3 x 3 neighbourhood widened by "VLimit", so that what moved or changed does
// not leave trails.
//ZELV_PP: sampler 2D Current layer=0 filter=point address=clamp
//ZELV_PP: sampler 2D History layer=1 filter=linear address=clamp
//ZELV_PP: param float Blend default=1
//ZELV_PP: param float VLimit default=0
//ZELV_PP: param float4 TexelSize semantic=RenderTargetSizeInverse
#ifdef USE_REPROJ_CAMERA
//ZELV_PP: sampler 2D DepthRTT layer=none target=DepthRTT filter=point address=clamp
//ZELV_PP: param float4x4 CameraProjection
//ZELV_PP: param float4x4 CameraViewInverse
//ZELV_PP: param float4x4 LastViewProjection semantic=LastViewProjection
#endif
//ZELV_PP: technique blend
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psBlend
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Current : register(s0);
sampler2D History : register(s1);
float Blend;
float VLimit;
float4 TexelSize;
#ifdef USE_REPROJ_CAMERA
sampler2D DepthRTT : register(s2);
float4x4 CameraProjection;
float4x4 CameraViewInverse;
float4x4 LastViewProjection;
#endif

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 psBlend(float2 uv : TEXCOORD0) : COLOR
{
	float4 current = tex2D(Current, uv);
	float blend = Blend;
	float2 historyUv = uv;
#ifdef USE_REPROJ_CAMERA
	float depth = tex2D(DepthRTT, uv).r;
	float2 ndc = float2(uv.x * 2.0 - 1.0, 1.0 - uv.y * 2.0);
	// x = (ndc.x - P31) z / P11 undoes the projection, jitter included.
	float3 view = float3((ndc.x - CameraProjection._31) * depth / CameraProjection._11,
		(ndc.y - CameraProjection._32) * depth / CameraProjection._22, depth);
	float4 world = mul(float4(view, 1), CameraViewInverse);
	float4 last = mul(world, LastViewProjection);
	historyUv = last.xy / last.w * float2(0.5, -0.5) + 0.5;
	if (any(historyUv != saturate(historyUv)))
		blend = 1.0;
#endif
	float4 history = tex2D(History, historyUv);
#ifdef USE_VLIMIT
	float3 low = current.rgb;
	float3 high = current.rgb;
	for (int y = -1; y <= 1; ++y)
		for (int x = -1; x <= 1; ++x)
		{
			float3 c = tex2D(Current, uv + float2(x, y) * TexelSize.xy).rgb;
			low = min(low, c);
			high = max(high, c);
		}
	history.rgb = clamp(history.rgb, low - VLimit, high + VLimit);
#endif
	return float4(lerp(history.rgb, current.rgb, blend), current.a);
}
