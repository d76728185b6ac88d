#include <atomic>
#include <cstdlib>

#include "platform/directdraw.h"

struct DirectDrawObject {
  int unused;
};

struct DirectDrawSurface {
  std::atomic<int32_t> references;
  DirectDrawSurfaceDesc desc;
  bool locked;
  uint8_t* pixels;
};

namespace {

constexpr int32_t kMaxSide = 16384;

DirectDrawObject g_object;

}  // namespace

DirectDrawObject* GetSystemMemoryDirectDraw() { return &g_object; }

DirectDrawSurface* DirectDrawCreateSurface(DirectDrawObject* object, const DirectDrawSurfaceDesc* desc) {
  if (!object || !desc || (desc->caps & (kDirectDrawCapsOverlay | kDirectDrawCapsVideoMemory))) return nullptr;
  const uint32_t bits = desc->pixelFormat.bitCount;
  if (desc->width <= 0 || desc->height <= 0 || desc->width > kMaxSide || desc->height > kMaxSide ||
      (bits != 16 && bits != 24 && bits != 32)) {
    return nullptr;
  }
  const int32_t pitch = (desc->width * static_cast<int32_t>(bits / 8) + 3) & ~3;
  auto* pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(pitch) * static_cast<size_t>(desc->height), 1));
  if (!pixels) return nullptr;
  auto* surface = new DirectDrawSurface{};
  surface->references = 1;
  surface->desc = *desc;
  surface->desc.pitch = pitch;
  surface->pixels = pixels;
  return surface;
}

void DirectDrawAddRefSurface(DirectDrawSurface* surface) { surface->references++; }

void DirectDrawReleaseSurface(DirectDrawSurface* surface) {
  if (!surface || --surface->references > 0) return;
  std::free(surface->pixels);
  delete surface;
}

void DirectDrawGetSurfaceDesc(const DirectDrawSurface* surface, DirectDrawSurfaceDesc* desc) { *desc = surface->desc; }

int DirectDrawLockSurface(DirectDrawSurface* surface, void** pixels, int32_t* pitch) {
  if (surface->locked) return -1;
  surface->locked = true;
  *pixels = surface->pixels;
  *pitch = surface->desc.pitch;
  return 0;
}

void DirectDrawUnlockSurface(DirectDrawSurface* surface) { surface->locked = false; }
