// Showing finished frames in the main window. The real presenter copies each
// frame into an SDL streaming texture and draws it scaled to the window with
// its aspect kept; the scripted one keeps the frames for tests.
#pragma once
#include <cstdint>
#include <vector>

class PlatformPresenter {
 public:
  virtual ~PlatformPresenter() = default;

  // Prepares for frames of the size; bitsPerPixel 16 means R5G6B5 rows, any
  // other value X8R8G8B8 rows. 0 or -1.
  virtual int Open(int frameWidth, int frameHeight, int bitsPerPixel) = 0;
  virtual void Close() = 0;
  // Shows one frame of the opened size; 0 or -1.
  virtual int Present(const uint8_t* pixels, int pitch) = 0;
  // What the window shows now, as 0x00RRGGBB values of its own size. 0 or -1.
  virtual int ReadBack(std::vector<uint32_t>* pixels, int* width, int* height) = 0;
  // The main window is about to go: let go of everything made on it.
  virtual void ForgetWindow() = 0;
};

// The presenter the library uses: the SDL one unless a test installed another.
PlatformPresenter* GetPlatformPresenter();
void SetPlatformPresenter(PlatformPresenter* presenter);  // null restores the SDL one

// Called by the window before it is destroyed.
void PlatformPresenterWindowGone();
