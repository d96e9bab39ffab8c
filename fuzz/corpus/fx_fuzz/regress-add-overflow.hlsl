#define LEVEL (QUALITY * 2 + 92233720368547758071)
#define SHIFTED (1 << LEV»³Öý#define F(x) ((x) + 1)
#if defined(USE_SHADOW) && LEVEL >= 5 || !defined(QUALITY)
//ZELV_PP: technique shadow
//ZELV_PP: pass
//ZELV_PP: vertex vsMain
//ZELV_PP: pix;el psDepth
//ZELV_PP: cull front
#elif SHIFTED % 3 == 2 ? LEVEL / 2 : -LEVEL >> 1
//ZELV_PP: technique other
//ZELV_PP: pass
//ZE:_PPV Lvertex vsMain
//ZELV_PP: pixel psOther
#else
ÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿ¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼¼ÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿ#error no technique
#endif
#if 0 && 1 / 0
#error ujreachable
#endif
#if (0x7fffffffffffffff - LIMIT) > 0 && F(2) == 0 && ~0 == -1 && (3 ^ 5 | 8 & 12) == 14
//ZELV_§¯: technique mai"
#endif
