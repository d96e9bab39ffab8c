// Test surface effect: meshes in one colour; a parameter of its own for each
// engine macro the test looks for, so the macros show on the built effect.
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: param float4 Tint default=1,1,1,1
#ifdef USE_NODECUBEMAP
//ZELV_PP: param float NodeCubeMap
#endif
#ifdef USE_TEX_REFLECIMG
//ZELV_PP: param float ReflectionImage
#endif
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsMesh
//ZELV_PP: pixel psTint
//ZELV_PP: cull none

float4x4 WorldViewProj;
float4 Tint;

float4 vsMesh(float4 pos : POSITION) : POSITION
{
	return mul(pos, WorldViewProj);
}

float4 psTint() : COLOR
{
	return Tint;
}
