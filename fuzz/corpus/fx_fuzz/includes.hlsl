#include "common.fxh"
//ZELV_PP: include decls.fxh
#include "chain.fxh"
#include "fx/sub.fxh"
/* a block comment
//ZELV_PP: technique hidden
*/
//ZELV_PP: param float4x3 Bones[60] semantic=Bones
//ZELV_PP: param float Weights[4] default=0.5,0.25,true,false
//ZELV_PP: sampler CUBE Sky layer=none texture="sky box.dds" filter=anisotropic address=mirror
//ZELV_PP: sampler 3D Noise target=CurlNoise3D
//ZELV_PP: define EXTRA 1
#if EXTRA && COMMON == 3
//ZELV_PP: technique main
//ZELV_PP: pass \
   named
//ZELV_PP: vertex vs
//ZELV_PP: pixel ps
//ZELV_PP: material trans_add
#endif
