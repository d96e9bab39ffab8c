// Macros of #if lines share one budget over the file: the third A13 spends it.
#define A0 1
#define A1 A0 + A0
#define A2 A1 + A1
#define A3 A2 + A2
#define A4 A3 + A3
#define A5 A4 + A4
#define A6 A5 + A5
#define A7 A6 + A6
#define A8 A7 + A7
#define A9 A8 + A8
#define A10 A9 + A9
#define A11 A10 + A10
#define A12 A11 + A11
#define A13 A12 + A12
//ZELV_PP: technique main
//ZELV_PP: pass
//ZELV_PP: vertex vs
//ZELV_PP: pixel ps
#if A13
#endif
#if A13 > 2
//ZELV_PP: param float Many
#endif
#if defined(A13) && A13
#endif
