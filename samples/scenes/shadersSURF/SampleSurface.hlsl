// What the sample surfaces share: the transforms, the LightWave values that
// the surface bind serves (LW_...), a sun from above with a sky light, and
// the vertex shader. Each surface file includes it and adds its technique.
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: param float4x4 World semantic=World
//ZELV_PP: param float4 Eye semantic=CameraPosition
//ZELV_PP: param float3 LW_BaseColor default=1,1,1
//ZELV_PP: param float LW_Luminosity
//ZELV_PP: param float LW_Diffuse default=1
//ZELV_PP: param float LW_Specularity
//ZELV_PP: param float LW_Glossiness default=0.4
#ifdef USE_TEX_COLOR
//ZELV_PP: sampler 2D LW_Tex_BaseColor layer=0 filter=trilinear address=wrap srgb=on
#endif

float4x4 WorldViewProj;
float4x4 World;
float4 Eye;
float3 LW_BaseColor;
float LW_Luminosity;
float LW_Diffuse;
float LW_Specularity;
float LW_Glossiness;
#ifdef USE_TEX_COLOR
sampler2D LW_Tex_BaseColor;
#endif

static const float3 SUN = float3(0.37, 0.86, -0.35);

struct SurfaceIn
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
	float3 Normal : TEXCOORD1;
	float3 Place : TEXCOORD2;
};

SurfaceIn vsSurface(float4 pos : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0)
{
	SurfaceIn o;
	o.Pos = mul(pos, WorldViewProj);
	o.Uv = uv;
	o.Normal = mul(float4(normal, 0), World).xyz;
	o.Place = mul(pos, World).xyz;
	return o;
}

// The base colour, times its image when it has one.
float3 baseColor(float2 uv)
{
	float3 c = LW_BaseColor;
#ifdef USE_TEX_COLOR
	c *= tex2D(LW_Tex_BaseColor, uv).rgb;
#endif
	return c;
}

// Sun and sky on both sides of the surface, a highlight as glossy as the
// surface is, and its own glow.
float3 shade(float3 base, float3 normal, float3 place)
{
	float3 n = normalize(normal);
	float3 toEye = normalize(Eye.xyz - place);
	n = dot(n, toEye) < 0 ? -n : n;
	float sun = saturate(dot(n, SUN));
	float sky = 0.5 + 0.5 * n.y;
	float3 halfway = normalize(SUN + toEye);
	float highlight = pow(saturate(dot(n, halfway)), exp2(1 + 10 * LW_Glossiness)) * LW_Specularity;
	return base * (LW_Diffuse * (0.75 * sun + 0.3 * sky) + LW_Luminosity) + highlight;
}
