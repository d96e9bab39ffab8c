// Sample particle effect: sprites facing the camera, LWHV_ParticleSize wide,
// in the particles' colour (times the clip image's with USE_TEX_COLOR),
// masked by the clip image, brightened by Glow and added to the frame.
//ZELV_PP: define ZELV_INSTANCED
//ZELV_PP: param float4x4 View semantic=View
//ZELV_PP: param float4x4 Projection semantic=Projection
//ZELV_PP: param float LWHV_ParticleSize default=0.2
//ZELV_PP: param float4 LWHV_Color default=1,1,1,1
//ZELV_PP: param float Glow default=1
//ZELV_PP: sampler 2D LWHV_Tex_Clip layer=0 filter=linear address=clamp
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsSpark
//ZELV_PP: pixel psSpark
//ZELV_PP: zwrite off
//ZELV_PP: cull none
//ZELV_PP: blend add

float4x4 View;
float4x4 Projection;
float LWHV_ParticleSize;
float4 LWHV_Color;
float Glow;
sampler2D LWHV_Tex_Clip;

struct SparkOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

SparkOut vsSpark(float2 corner : TEXCOORD0, float4 centre : POSITION0)
{
	SparkOut o;
	float4 eye = mul(centre, View);
	eye.xy += float2(corner.x - 0.5, 0.5 - corner.y) * LWHV_ParticleSize;
	o.Pos = mul(eye, Projection);
	o.Uv = corner;
	return o;
}

float4 psSpark(SparkOut i) : COLOR
{
	float4 clip = tex2D(LWHV_Tex_Clip, i.Uv);
	float3 c = LWHV_Color.rgb;
#ifdef USE_TEX_COLOR
	c *= clip.rgb;
#endif
	float mask = LWHV_Color.a * clip.a;
	return float4(c * mask * Glow, mask);
}
