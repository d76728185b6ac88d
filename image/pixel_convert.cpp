#include "image/pixel_convert.h"

extern const PixelKernelTable kPixelKernels = pixel_convert::MakeTable();
