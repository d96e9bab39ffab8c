// Macros that double in the shader code share one budget with the #if lines.
#include "twice.fxh"
#define B0 +1
#define B1 B0 B0
#define B2 B1 B1
#define B3 B2 B2
#define B4 B3 B3
#define B5 B4 B4
#define B6 B5 B5
#define B7 B6 B6
#define B8 B7 B7
#define B9 B8 B8
#define B10 B9 B9
#define B11 B10 B10
#define B12 B11 B11
#define B13 B12 B12
#define B14 B13 B13
#define B15 B14 B14
#define B16 B15 B15
#define B17 B16 B16
#define B18 B17 B17
#define B19 B18 B18
#define B20 B19 B19
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vs
//ZELV_PP: pixel ps
#if 1 ? CAT(1, 0) == 10 : 0
float4 CAT(ps, Part)() : COLOR0 { return float4(0 TWICE(TWICE(B4)), 0, 0, 1); }
#endif
float4 ps() : COLOR0 { return float4(0 B20, 0, 0, 1); }
