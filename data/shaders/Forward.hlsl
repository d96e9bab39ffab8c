// The engine's material effect for transparent surfaces, drawn after the
// solid ones by the light pre-pass renderer: a LightWave surface
// (LwSurface.hlsl says which values and textures, and which macros switch
// them on) lit here by up to eight of the frame's lights (the forward-light
// bind: ForwardLight...), blended over the picture by its opacity.
//
// Techniques:
//   forward  the lit surface, alpha its opacity. With USE_OUTDEPTH it also
//            writes its view depth into a second target (DepthRTT) with its
//            opacity, so that the depth there is blended towards it.
//   depth    normal, glossiness and view depth into NormalRTT and DepthRTT.
//   shadow   the depth a light sees, into a shadow map.
//
// Lights fade as the light buffer's do (LppLightPass.hlsl): (1 - d^2 / r^2)^2
// to the radius, spot lights from full at the inner cone to nothing at the outer.
//ZELV_PP: param float ForwardLightCount semantic=ForwardLightCount
//ZELV_PP: param float4 ForwardLightPosition[8] semantic=ForwardLightPosition
//ZELV_PP: param float4 ForwardLightDirection[8] semantic=ForwardLightDirection
//ZELV_PP: param float4 ForwardLightColor[8] semantic=ForwardLightColor
//ZELV_PP: param float4 ForwardLightCone[8] semantic=ForwardLightCone
//ZELV_PP: technique forward
//ZELV_PP: pass
//ZELV_PP: vertex zeLwVertex
//ZELV_PP: pixel psForward
//ZELV_PP: material trans_alphach
//ZELV_PP: zwrite off
//ZELV_PP: cull none
#ifdef USE_OUTDEPTH
//ZELV_PP: targets 2
#endif

#include "LwSurface.hlsl"

float ForwardLightCount;
float4 ForwardLightPosition[8];
float4 ForwardLightDirection[8];
float4 ForwardLightColor[8];
float4 ForwardLightCone[8];

#ifdef USE_OUTDEPTH
struct ForwardOut
{
	float4 Colour : COLOR0;
	float4 Depth : COLOR1;
};
#else
struct ForwardOut
{
	float4 Colour : COLOR0;
};
#endif

ForwardOut psForward(ZeLwPixelIn i, float face : VFACE)
{
	ZeLwSurface s = zeLwSurface(i, face);
	// Lighting in world space.
	float3 position = mul(float4(i.ViewPos, 1.0), ViewInverse).xyz;
	float3 n = normalize(mul(float4(s.Normal, 0.0), ViewInverse).xyz);
	float3 toEye = normalize(ViewInverse[3].xyz - position);
	float exponent = exp2(1.0 + 10.0 * saturate(s.Glossiness));
	float3 diffuse = float3(0.0, 0.0, 0.0);
	float3 back = float3(0.0, 0.0, 0.0);
	float3 specular = float3(0.0, 0.0, 0.0);
	for (int k = 0; k < 8; ++k)
	{
		if (k >= (int)ForwardLightCount)
			break;
		float4 p = ForwardLightPosition[k];
		float4 d = ForwardLightDirection[k];
		float3 l = -d.xyz;
		float attenuation = 1.0;
		if (p.w < 1.5)
		{
			float3 toLight = p.xyz - position;
			float distance2 = dot(toLight, toLight);
			l = toLight * rsqrt(max(distance2, 1e-12));
			float fade = saturate(1.0 - distance2 * d.w);
			attenuation = fade * fade;
			if (p.w > 0.5)
			{
				float2 cone = ForwardLightCone[k].xy;
				attenuation *= saturate((dot(-l, d.xyz) - cone.y) / max(cone.x - cone.y, 1e-4));
			}
		}
		float3 colour = ForwardLightColor[k].rgb * attenuation;
		float nl = dot(n, l);
		diffuse += colour * saturate(nl);
		back += colour * saturate(-nl);
		specular += colour * pow(saturate(dot(n, normalize(l + toEye))), exponent) * saturate(nl);
	}
	ForwardOut o;
	o.Colour = float4(zeLwShade(s, diffuse, back, specular), s.Opacity);
#ifdef USE_OUTDEPTH
	o.Depth = float4(zeEncodeDepth(i.ViewPos.z).r, 0.0, 0.0, s.Opacity);
#endif
	return o;
}
