// Test effect without a rectangle or a colour: the whole quad in yellow.
//ZELV_PP: technique fill
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psYellow
//ZELV_PP: ztest off
//ZELV_PP: zwrite off
//ZELV_PP: cull none

float4 vsQuad(float4 pos : POSITION) : POSITION
{
	return float4(pos.xy, 0, 1);
}

float4 psYellow() : COLOR
{
	return float4(1, 1, 0, 1);
}
