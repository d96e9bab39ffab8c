// Test effect whose pixel shader does not compile.
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psBroken

float4 vsQuad(float4 pos : POSITION) : POSITION
{
	return pos;
}

float4 psBroken() : COLOR
{
	return undefinedValue;
}
