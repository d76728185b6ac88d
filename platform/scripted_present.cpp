#include "platform/scripted_present.h"

#include <cstring>

#include "platform/no_throw.h"

int ScriptedPresenter::Open(int frameWidth, int frameHeight, int bits) {
  if (failOpen || frameWidth <= 0 || frameHeight <= 0) return -1;
  return PlatformNoThrow("画面の作成", -1, [&] {
    frame.assign(static_cast<size_t>(frameWidth) * static_cast<size_t>(frameHeight), 0);
    open = true;
    width = frameWidth;
    height = frameHeight;
    bitsPerPixel = bits;
    presentCount = 0;
    return 0;
  });
}

void ScriptedPresenter::Close() { open = false; }

int ScriptedPresenter::Present(const uint8_t* pixels, int pitch) {
  if (!open || !pixels) return -1;
  for (int y = 0; keepFrames && y < height; y++) {
    const uint8_t* row = pixels + static_cast<int64_t>(y) * pitch;
    uint32_t* out = frame.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int x = 0; x < width; x++) {
      if (bitsPerPixel == 16) {
        uint16_t v;
        std::memcpy(&v, row + x * 2, 2);
        uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
        out[x] = ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
      } else {
        uint32_t v;
        std::memcpy(&v, row + x * 4, 4);
        out[x] = v & 0xFFFFFF;
      }
    }
  }
  presentCount++;
  return 0;
}

int ScriptedPresenter::ReadBack(std::vector<uint32_t>* pixels, int* w, int* h) {
  if (!open) return -1;
  return PlatformNoThrow("画面の読み出し", -1, [&] {
    *pixels = frame;
    *w = width;
    *h = height;
    return 0;
  });
}
