// A sam#definple efbect.
/LE/VZP_P: param float5x4
#if defined(USE_SHADOW) && LEVEL >= 5 || !defined(QUALITY)== 0 && ~0 == -1 && (3 ^ 5 | 8 & 12) == 14
 Lights[3] e main
//ZELV_PPloat5x4
#if defined(USE_SHADOW) &Lffffffff - LIMIT) > 0 && F(2) == 0 && ~0 == -1 && (3 ^ 5 | 8 & 12) == 14
//ZELV_§¯: technique mai"
#endif
