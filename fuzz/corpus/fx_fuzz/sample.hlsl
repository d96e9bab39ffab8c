// A sample effect.
//ZELV_PP: param float4x4 WorldViewProj semantic=WorldViewProjection
//ZELV_PP: param float4 Tint default=1,0.5,0.25,1
//ZELV_PP: param float Lights[3] default=1,2
//ZELV_PP: sampler 2D BaseMap layer=0 texture="base map.png" filter=point address=clamp srgb=on
//ZELV_PP: sampler CUBE Reflection layer=5 target=CubeRTT address=mirror
//ZELV_PP: sampler 3D Noise
//ZELV_PP: technique main
//ZELV_PP: annotation render "lightpost"
//ZELV_PP: annotation rendertarget "HalfScreen[1]"
//ZELV_PP:   pass base
//ZELV_PP:     vertex vsMain
//ZELV_PP:     pixel psMain
//ZELV_PP:     material trans_alphach
//ZELV_PP:     zwrite off
//ZELV_PP:     ztest always
//ZELV_PP:     cull front
//ZELV_PP:   pass
//ZELV_PP:     vertex vsMain
//ZELV_PP:     pixel psAdd
//ZELV_PP:     blend add
//ZELV_PP: technique depth
//ZELV_PP:   pass
//ZELV_PP:     vertex vsDepth
//ZELV_PP:     pixel psDepth
//ZELV_PP:     blend srcalpha invsrcalpha one invsrcalpha
//ZELV_PP:     blendop revsubtract
//ZELV_PP:     ztest off
//ZELV_PP:     targets 2
float4 psMain() : COLOR { return Tint; }
