#define LEVEL (QUALITY * 2 + 1)
#define SHIFTED (1 << LEVEL)
#define F(x) ((x) + 1)
#if defined(USE_SHADOW) && LEVEL >= 5 || !defined(QUALITY)
//ZELV_PP: technique shadow
//ZELV_PP: pass
//ZELV_PP: vertex vsMain
//ZELV_PP: pixel psDepth
//ZELV_PP: cull front
#elif SHIFTED % 3 == 2 ? LEVEL / 2 : -LEVEL >> 1
//ZELV_PP: technique other
//ZELV_PP: pass
//ZELV_PP: vertex vsMain
//ZELV_PP: pixel psOther
#else
#error no technique
#endif
#if 0 && 1 / 0
#error unreachable
#endif
#if (0x7fffffffffffffff - LIMIT) > 0 && F(2) == 0 && ~0 == -1 && (3 ^ 5 | 8 & 12) == 14
//ZELV_PP: technique main
#else
//ZELV_PP: technique fallback
#endif
//ZELV_PP: pass base
//ZELV_PP: vertex vsMain
//ZELV_PP: pixel psMain
//ZELV_PP: blend srcalpha invsrcalpha one zero
//ZELV_PP: blendop max
//ZELV_PP: ztest greaterequal
//ZELV_PP: targets 3
#undef LEVEL
#ifndef LEVEL
//ZELV_PP: annotation render "prepost"
#endif
