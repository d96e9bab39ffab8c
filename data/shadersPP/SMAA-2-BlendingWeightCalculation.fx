// Morphological antialiasing, pass 2: blending weights. For the edge line on
// the pixel's top border (and, transposed, on its left border) it finds how
// far the line runs either way and how its ends turn, and reads from the
// area table how much of the pixel, and of the pixel across the line, the
// revectorised edge gives to the other colour:
//   R: the pixel above takes this pixel's colour by R; G: this pixel takes
//   the colour of the pixel above by G; B and A the same with the pixel to
//   the left.
// The searches fetch two pixels of the line at once with bilinear filtering
// and decode the fetch through the search table; both tables come from
// tools/ZeSmaaLookup.h, which defines their layout. Pixels without edges are
// discarded (the cleared target keeps 0 there).
//ZELV_PP: sampler 2D EdgesTex layer=0 filter=linear address=clamp
//ZELV_PP: sampler 2D AreaTex layer=1 filter=linear address=clamp
//ZELV_PP: sampler 2D SearchTex layer=2 filter=point address=clamp
//ZELV_PP: param float4 TexelSize semantic=RenderTargetSizeInverse
//ZELV_PP: technique weights
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psWeights
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D EdgesTex : register(s0);
sampler2D AreaTex : register(s1);
sampler2D SearchTex : register(s2);
float4 TexelSize;

// Pairs of pixels fetched per direction: lines are followed up to 32 pixels.
static const int SEARCH_STEPS = 16;
static const float AREA_DISTANCES = 33.0;
static const float AREA_SIZE = 132.0;
static const float SEARCH_CODES = 33.0;
static const float SEARCH_WIDTH = 66.0;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float2 edgesAt(float2 uv)
{
	return tex2Dlod(EdgesTex, float4(uv, 0, 0)).rg;
}

// How many pixels of the last fetched pair belong to the line (0, 1 or 2),
// from the codes of the fetched crossing and line channels.
float extent(float direction, float crossing, float lineCode)
{
	float2 code = round(float2(crossing, lineCode) * 32.0);
	float2 uv = (float2(direction * SEARCH_CODES + code.x, code.y) + 0.5) / float2(SEARCH_WIDTH, SEARCH_CODES);
	return round(tex2Dlod(SearchTex, float4(uv, 0, 0)).r * 2.0);
}

// Distance from the pixel at `uv` to the end of its line along `along` (one
// pixel in uv), `across` pointing one pixel towards the other side. `swap`
// is 0 for horizontal lines (line in G, crossings in R), 1 for vertical ones.
float searchLine(float2 uv, float2 along, float2 across, float direction, float swap)
{
	// The first pair: the pixel itself and the one beyond it backwards; the
	// pixel after it and the one beyond forwards.
	float2 first = direction > 0.5 ? uv + along : uv;
	float2 way = direction > 0.5 ? float2(1, 1) : float2(-1, -1);
	// 3/4 on b and 1/4 on a along the line, 7/8 on this side across it.
	float2 fetchOffset = way * along * 0.25 + across * 0.125;
	float2 e = float2(0, 0);
	int steps = 0;
	for (int i = 0; i < SEARCH_STEPS; ++i)
	{
		e = edgesAt(first + way * along * (2.0 * i) + fetchOffset);
		e = lerp(e.xy, e.yx, swap);  // x: crossing, y: line
		steps = i;
		if (!(e.y > 0.86 && e.x < 0.015))
			break;
	}
	float found = extent(direction, e.x, e.y);
	// Backwards the pair of step s starts 2s pixels away and the line reached
	// the pixel after it; forwards it starts 2s + 1 away and the line reached
	// the pixel before it.
	return direction > 0.5 ? 2.0 * steps + found : 2.0 * steps + found - 1.0;
}

// The class of the crossing edges on the border that starts at `uv`'s pixel
// (0 none, 1 towards the other side, 2 towards this side, 3 both), read
// with one fetch that weighs this side 3/4 and the other 1/4.
float crossingClass(float2 uv, float2 across, float swap)
{
	float2 e = edgesAt(uv + across * 0.25);
	float k = round(4.0 * lerp(e.x, e.y, swap));
	float other = (k == 1.0 || k == 4.0) ? 1.0 : 0.0;
	float here = k >= 3.0 ? 2.0 : 0.0;
	return other + here;
}

// The two weights of the line along `along` through the pixel at `uv`.
float2 lineWeights(float2 uv, float2 along, float2 across, float swap)
{
	float back = searchLine(uv, along, across, 0.0, swap);
	float ahead = searchLine(uv, along, across, 1.0, swap);
	float c1 = crossingClass(uv - along * back, across, swap);
	float c2 = crossingClass(uv + along * (ahead + 1.0), across, swap);
	float2 d = min(float2(back, ahead), AREA_DISTANCES - 1.0);
	float2 texel = float2(c1, c2) * AREA_DISTANCES + d + 0.5;
	return tex2Dlod(AreaTex, float4(texel / AREA_SIZE, 0, 0)).rg;
}

float4 psWeights(float2 uv : TEXCOORD0) : COLOR
{
	float2 px = TexelSize.xy;
	float2 edges = edgesAt(uv);
	if (dot(edges, float2(1, 1)) == 0.0)
		discard;
	float4 weights = float4(0, 0, 0, 0);
	if (edges.g > 0.0)
		weights.rg = lineWeights(uv, float2(px.x, 0), float2(0, -px.y), 0.0);
	if (edges.r > 0.0)
		weights.ba = lineWeights(uv, float2(0, px.y), float2(-px.x, 0), 1.0);
	return weights;
}
