// Morphological antialiasing, pass 3: neighbourhood blending. Each pixel
// takes the colours of its neighbours by the weights of pass 2: from the one
// above by its own G, the one to the left by its own A, the one below by the
// R of that pixel and the one to the right by the B of that pixel. Only the
// direction with the larger weight blends, so a corner is not blended twice.
//ZELV_PP: sampler 2D Colour layer=0 filter=point address=clamp
//ZELV_PP: sampler 2D BlendTex layer=1 filter=point address=clamp
//ZELV_PP: param float4 TexelSize semantic=RenderTargetSizeInverse
//ZELV_PP: technique blend
//ZELV_PP: pass
//ZELV_PP: vertex vsQuad
//ZELV_PP: pixel psBlend
//ZELV_PP: zwrite off
//ZELV_PP: ztest off
//ZELV_PP: cull none

struct VsOut
{
	float4 Pos : POSITION;
	float2 Uv : TEXCOORD0;
};

sampler2D Colour : register(s0);
sampler2D BlendTex : register(s1);
float4 TexelSize;

VsOut vsQuad(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
	VsOut o;
	o.Pos = float4(pos.xy, 0, 1);
	o.Uv = uv;
	return o;
}

float4 colourAt(float2 uv)
{
	return tex2Dlod(Colour, float4(uv, 0, 0));
}

float4 psBlend(float2 uv : TEXCOORD0) : COLOR
{
	float2 px = TexelSize.xy;
	float4 own = tex2Dlod(BlendTex, float4(uv, 0, 0));
	float fromTop = own.g;
	float fromLeft = own.a;
	float fromBottom = tex2Dlod(BlendTex, float4(uv + float2(0, px.y), 0, 0)).r;
	float fromRight = tex2Dlod(BlendTex, float4(uv + float2(px.x, 0), 0, 0)).b;
	float4 here = colourAt(uv);
	float vertical = max(fromTop, fromBottom);
	float horizontal = max(fromLeft, fromRight);
	if (max(vertical, horizontal) <= 0.0)
		return here;
	float4 result;
	if (vertical >= horizontal)
		result = here * (1.0 - fromTop - fromBottom) + colourAt(uv - float2(0, px.y)) * fromTop +
			colourAt(uv + float2(0, px.y)) * fromBottom;
	else
		result = here * (1.0 - fromLeft - fromRight) + colourAt(uv - float2(px.x, 0)) * fromLeft +
			colourAt(uv + float2(px.x, 0)) * fromRight;
	return float4(result.rgb, here.a);
}
