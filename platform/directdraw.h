// A system-memory stand-in for the DirectDraw object that movie streams draw
// into: it makes plain surfaces of a described size and pixel format, which
// are locked for their pixels. No primary surface, no overlays, no video
// memory: a description asking for those is refused.
#pragma once
#include <cstdint>

// The 32-byte pixel-format record.
struct DirectDrawPixelFormat {
  uint32_t size;      // 32
  uint32_t flags;     // kDirectDrawPixelFormatRgb
  uint32_t fourCC;
  uint32_t bitCount;
  uint32_t redMask;
  uint32_t greenMask;
  uint32_t blueMask;
  uint32_t alphaMask;
};
static_assert(sizeof(DirectDrawPixelFormat) == 32);

constexpr uint32_t kDirectDrawPixelFormatRgb = 0x40;

// Surface capability bits of a description.
constexpr uint32_t kDirectDrawCapsOffscreenPlain = 0x40;
constexpr uint32_t kDirectDrawCapsOverlay = 0x80;
constexpr uint32_t kDirectDrawCapsSystemMemory = 0x800;
constexpr uint32_t kDirectDrawCapsVideoMemory = 0x4000;

struct DirectDrawSurfaceDesc {
  uint32_t caps;
  int32_t width;
  int32_t height;
  int32_t pitch;  // bytes a row, set by the surface
  DirectDrawPixelFormat pixelFormat;
};

struct DirectDrawObject;
struct DirectDrawSurface;

// The one stand-in object; it lives as long as the process.
DirectDrawObject* GetSystemMemoryDirectDraw();
// A zero-filled surface with one reference, or null (bad size or format,
// overlay or video memory asked for, no memory).
DirectDrawSurface* DirectDrawCreateSurface(DirectDrawObject* object, const DirectDrawSurfaceDesc* desc);
void DirectDrawAddRefSurface(DirectDrawSurface* surface);
// The surface goes with its last reference.
void DirectDrawReleaseSurface(DirectDrawSurface* surface);
void DirectDrawGetSurfaceDesc(const DirectDrawSurface* surface, DirectDrawSurfaceDesc* desc);
// 0 with the top-left pixel and the pitch, -1 while it is locked already.
int DirectDrawLockSurface(DirectDrawSurface* surface, void** pixels, int32_t* pitch);
void DirectDrawUnlockSurface(DirectDrawSurface* surface);
