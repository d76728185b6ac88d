// A presenter without a screen for tests: keeps the last frame shown.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/present.h"

class ScriptedPresenter : public PlatformPresenter {
 public:
  int Open(int frameWidth, int frameHeight, int bitsPerPixel) override;
  void Close() override;
  int Present(const uint8_t* pixels, int pitch) override;
  int ReadBack(std::vector<uint32_t>* pixels, int* width, int* height) override;
  void ForgetWindow() override {}

  // What the test sets up.
  bool failOpen = false;
  bool keepFrames = true;  // false: frames are counted, not copied (for timing the rest)

  // What the library did.
  bool open = false;
  int width = 0, height = 0, bitsPerPixel = 0;
  int presentCount = 0;
  std::vector<uint32_t> frame;  // the last frame, one 0x00RRGGBB value per pixel
};
