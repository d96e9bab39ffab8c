// Sample glass: the lit base colour, seen through as far as the surface is
// transparent.
#include "SampleSurface.hlsl"
//ZELV_PP: param float LW_Transparency
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsSurface
//ZELV_PP: pixel psGlass
//ZELV_PP: material trans_alphach
//ZELV_PP: blend alpha
//ZELV_PP: zwrite off

float LW_Transparency;

float4 psGlass(SurfaceIn i) : COLOR
{
	return float4(shade(baseColor(i.Uv), i.Normal, i.Place), 1 - saturate(LW_Transparency));
}
