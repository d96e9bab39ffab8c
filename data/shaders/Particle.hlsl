// The default particle effect ("Particle.dae"): every particle a sprite facing
// the camera, LWHV_ParticleSize world units wide, masked by the clip image
// (the emitter's particle image; the engine's default one is a soft disc).
// The surface's values reach it through the surface bind (LWHV_...), its
// switches as macros:
//   USE_TEX_COLOR       the clip image's colour instead of LWHV_Color
//   USE_COLOR_GRADIENT  colour from the colour gradient over the particle's age
//   USE_SIZE_GRADIENT   size from the size gradient over the particle's age
//   USE_ROTATION        the sprite turned by LWHV_Rotation degrees
//   USE_BLEND_ALPHA, USE_BLEND_ADD, USE_BLEND_SUB  blending (alpha and additive
//                       follow the surface's material type; subtractive is set
//                       here); without any of them the sprite blends by alpha.
// Gradient key positions are the particle's age in percent of its life.
// Particle-system nodes give each quad corner the corner (TEXCOORD0, 0 to 1),
// the particle's centre (POSITION0) and its birth and death time in seconds
// (NORMAL0); they draw with the identity world transformation.
//ZELV_PP: define ZELV_INSTANCED
//ZELV_PP: param float4x4 View semantic=View
//ZELV_PP: param float4x4 Projection semantic=Projection
//ZELV_PP: param float Time semantic=Time
//ZELV_PP: param float LWHV_ParticleSize default=0.2
//ZELV_PP: param float4 LWHV_Color default=1,1,1,1
//ZELV_PP: param float LWHV_Rotation
//ZELV_PP: param float LWHV_ColorKeyCount
//ZELV_PP: param float LWHV_ColorKeyPosition[9]
//ZELV_PP: param float4 LWHV_ColorKeyValue[9]
//ZELV_PP: param float LWHV_SizeKeyCount
//ZELV_PP: param float LWHV_SizeKeyPosition[9]
//ZELV_PP: param float LWHV_SizeKeyValue[9]
//ZELV_PP: sampler 2D LWHV_Tex_Clip layer=0 filter=linear address=clamp
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsParticle
//ZELV_PP: pixel psParticle
//ZELV_PP: zwrite off
//ZELV_PP: cull none
#if defined(USE_BLEND_SUB)
//ZELV_PP: blend one one
//ZELV_PP: blendop revsubtract
#elif !defined(USE_BLEND_ALPHA) && !defined(USE_BLEND_ADD)
//ZELV_PP: material trans_alphach
//ZELV_PP: blend alpha
#endif

float4x4 View;
float4x4 Projection;
float Time;
float LWHV_ParticleSize;
float4 LWHV_Color;
float LWHV_Rotation;
float LWHV_ColorKeyCount;
float LWHV_ColorKeyPosition[9];
float4 LWHV_ColorKeyValue[9];
float LWHV_SizeKeyCount;
float LWHV_SizeKeyPosition[9];
float LWHV_SizeKeyValue[9];
sampler2D LWHV_Tex_Clip;

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
	float4 Color : COLOR0;
};

// The particle's age in percent of its life (100 once it is over).
float agePercent(float3 life)
{
	float span = max(life.y - life.x, 0.0001);
	return saturate((Time - life.x) / span) * 100;
}

#ifdef USE_COLOR_GRADIENT
float4 gradientColor(float age)
{
	float4 c = LWHV_ColorKeyValue[0];
	for (int i = 0; i < 8; ++i)
	{
		float a = LWHV_ColorKeyPosition[i];
		float b = LWHV_ColorKeyPosition[i + 1];
		if (i < LWHV_ColorKeyCount && age >= a)
			c = lerp(LWHV_ColorKeyValue[i], LWHV_ColorKeyValue[i + 1], saturate((age - a) / max(b - a, 0.0001)));
	}
	return c;
}
#endif

#ifdef USE_SIZE_GRADIENT
float gradientSize(float age)
{
	float s = LWHV_SizeKeyValue[0];
	for (int i = 0; i < 8; ++i)
	{
		float a = LWHV_SizeKeyPosition[i];
		float b = LWHV_SizeKeyPosition[i + 1];
		if (i < LWHV_SizeKeyCount && age >= a)
			s = lerp(LWHV_SizeKeyValue[i], LWHV_SizeKeyValue[i + 1], saturate((age - a) / max(b - a, 0.0001)));
	}
	return s;
}
#endif

VsOut vsParticle(float2 corner : TEXCOORD0, float4 centre : POSITION0, float3 life : NORMAL0)
{
	VsOut o;
	float age = agePercent(life);
	float size = LWHV_ParticleSize;
#ifdef USE_SIZE_GRADIENT
	size = gradientSize(age);
#endif
	// Turned to the camera: the corner moves in the view plane, v downwards.
	float2 offset = float2(corner.x - 0.5, 0.5 - corner.y);
#ifdef USE_ROTATION
	float angle = radians(LWHV_Rotation);
	float s = sin(angle);
	float c = cos(angle);
	offset = float2(offset.x * c - offset.y * s, offset.x * s + offset.y * c);
#endif
	float4 eye = mul(centre, View);
	eye.xy += offset * size;
	o.Pos = mul(eye, Projection);
	o.Uv = corner;
	o.Color = LWHV_Color;
#ifdef USE_COLOR_GRADIENT
	o.Color = gradientColor(age);
#endif
	return o;
}

float4 psParticle(VsOut i) : COLOR
{
	float4 clip = tex2D(LWHV_Tex_Clip, i.Uv);
	float4 c = i.Color;
#ifdef USE_TEX_COLOR
	c.rgb *= clip.rgb;
#endif
	float alpha = c.a * clip.a;
#if defined(USE_BLEND_ADD) || defined(USE_BLEND_SUB)
	// Added or taken away: the mask scales the colour itself.
	return float4(c.rgb * alpha, alpha);
#else
	return float4(c.rgb, alpha);
#endif
}
