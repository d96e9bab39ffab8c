// Sample floor: its base colour and image repeated TileScale times across
// the surface when USE_TILES is set.
#include "SampleSurface.hlsl"
//ZELV_PP: param float TileScale default=1
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vsSurface
//ZELV_PP: pixel psFloor

float TileScale;

float4 psFloor(SurfaceIn i) : COLOR
{
	float2 uv = i.Uv;
#ifdef USE_TILES
	uv *= TileScale;
#endif
	return float4(shade(baseColor(uv), i.Normal, i.Place), 1);
}
