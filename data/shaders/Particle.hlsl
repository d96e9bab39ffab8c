// The default particle effect ("Particle.dae"): every particle a round,
// soft-edged sprite facing the camera, ParticleSize world units wide, in
// ParticleColor. Particle-system nodes give each quad corner the corner
// (TEXCOORD0, 0 to 1), the particle's centre (POSITION0) and its birth and
// death time in seconds (NORMAL0); instanced draws add the velocity
// (TANGENT0). The nodes draw with the identity world transformation.
//ZELV_PP: define ZELV_INSTANCED
//ZELV_PP: param float4x4 View semantic=View
//ZELV_PP: param float4x4 Projection semantic=Projection
//ZELV_PP: param float ParticleSize default=0.1
//ZELV_PP: param float4 ParticleColor default=1,1,1,1
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsParticle
//ZELV_PP: pixel psParticle
//ZELV_PP: material trans_alphach
//ZELV_PP: blend alpha
//ZELV_PP: zwrite off
//ZELV_PP: cull none

float4x4 View;
float4x4 Projection;
float ParticleSize;
float4 ParticleColor;

struct VsOut
{
	float4 Pos : POSITION;
	float2 Offset : TEXCOORD0;  // from the centre: -1 to 1 across the sprite
};

VsOut vsParticle(float2 corner : TEXCOORD0, float4 centre : POSITION0)
{
	VsOut o;
	// Turned to the camera: the corner moves in the view plane, v downwards.
	float2 offset = float2(corner.x - 0.5, 0.5 - corner.y);
	float4 eye = mul(centre, View);
	eye.xy += offset * ParticleSize;
	o.Pos = mul(eye, Projection);
	o.Offset = offset * 2;
	return o;
}

float4 psParticle(VsOut i) : COLOR
{
	float edge = saturate(1 - dot(i.Offset, i.Offset));
	return float4(ParticleColor.rgb, ParticleColor.a * edge);
}
