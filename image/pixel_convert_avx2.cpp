// The conversion kernels for AVX2. This file alone is compiled for it (and
// with the loop vectoriser at full strength); the conversion calls its table
// only on processors that have AVX2.
#include "image/pixel_convert.h"

#if defined(__AVX2__)
extern const PixelKernelTable kPixelKernelsAvx2 = pixel_convert::MakeTable();
#else
extern const PixelKernelTable kPixelKernelsAvx2 = {};
#endif
