//ZELV_PP: technique t
//ZELV_PP: pass
//ZELV_PP: vertex vs
//ZELV_PP: pixel ps
#if ((((1))))
#include "self.fxh"
#endif
