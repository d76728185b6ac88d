// What the graphics layer offers of DirectDraw: its object is the platform's
// system-memory stand-in; it has no primary surface and no capabilities.
#pragma once
#include <cstdint>

#include "platform/directdraw.h"

struct GraphImage;

// The capability fields the movie overlay reads.
struct DirectDrawCaps {
  uint32_t caps;
  uint32_t alignBoundarySource;
  uint32_t alignSizeSource;
  uint32_t alignBoundaryDest;
  uint32_t alignSizeDest;
};

DirectDrawObject* GetDirectDrawObject();
// Always 0: read as "no DirectDraw primary surface" and "DirectDraw-surface
// mode is off".
int QueryStubZero();
void GetDirectDrawCaps(DirectDrawCaps* caps);
// Sets the image's colour format from the pixel format.
void ConvertDirectDrawPixelFormat(const DirectDrawPixelFormat* format, GraphImage* image);
