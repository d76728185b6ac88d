#include "graphics/directdraw.h"

#include "image/graph_image.h"

DirectDrawObject* GetDirectDrawObject() { return GetSystemMemoryDirectDraw(); }

int QueryStubZero() { return 0; }

void GetDirectDrawCaps(DirectDrawCaps* caps) { *caps = DirectDrawCaps{}; }

void ConvertDirectDrawPixelFormat(const DirectDrawPixelFormat* format, GraphImage* image) {
  SetupColorFormat(&image->format, static_cast<int>(format->bitCount), format->redMask, format->greenMask,
                   format->blueMask, format->alphaMask);
}
