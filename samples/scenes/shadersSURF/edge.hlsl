// Sample surface in its base colour (and image), lit.
#include "SampleSurface.hlsl"
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsSurface
//ZELV_PP: pixel psEdge

float4 psEdge(SurfaceIn i) : COLOR
{
	return float4(shade(baseColor(i.Uv), i.Normal, i.Place), 1);
}
