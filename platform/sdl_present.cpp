// Frames to the main window through an SDL renderer and a streaming texture.
#include <SDL.h>

#include <cmath>

#include "platform/frame_viewport.h"
#include "platform/no_throw.h"
#include "platform/present.h"
#include "platform/window.h"
#include "platform/x11_window_size.h"

namespace {

class SdlPresenter : public PlatformPresenter {
 public:
  int Open(int frameWidth, int frameHeight, int bitsPerPixel) override {
    Close();
    if (frameWidth <= 0 || frameHeight <= 0) return -1;
    frameWidth_ = frameWidth;
    frameHeight_ = frameHeight;
    format_ = bitsPerPixel == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
    open_ = true;
    // A window without a screen (a test's scripted window) shows nothing.
    if (!CurrentWindow()) return 0;
    return MakeRenderer() == 0 ? 0 : (Close(), -1);
  }

  void Close() override {
    ForgetWindow();
    open_ = false;
  }

  int Present(const uint8_t* pixels, int pitch) override {
    if (!open_ || !pixels) return -1;
    SDL_Window* window = CurrentWindow();
    if (!window) return 0;
    // The window may have been made again since the renderer was.
    if (window != window_) ForgetWindow();
    if (!renderer_ && MakeRenderer() != 0) return -1;
    if (SDL_UpdateTexture(texture_, nullptr, pixels, pitch) != 0) return -1;
    Draw();
    SDL_RenderPresent(renderer_);
    return 0;
  }

  int ReadBack(std::vector<uint32_t>* pixels, int* width, int* height) override {
    if (!renderer_) return -1;
    int w = 0, h = 0;
    if (SDL_GetRendererOutputSize(renderer_, &w, &h) != 0 || w <= 0 || h <= 0) return -1;
    if (!PlatformNoThrow("画面の読み出し", false, [&] {
          pixels->assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
          return true;
        })) {
      return -1;
    }
    if (SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_RGB888, pixels->data(), w * 4) != 0) {
      return -1;
    }
    for (uint32_t& v : *pixels) v &= 0xFFFFFF;
    *width = w;
    *height = h;
    return 0;
  }

  void ForgetWindow() override {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
  }

 private:
  static SDL_Window* CurrentWindow() {
    return static_cast<SDL_Window*>(GetPlatformWindow()->NativeHandle());
  }

  int MakeRenderer() {
    SDL_Window* window = CurrentWindow();
    if (!window) return -1;
    // The loop is paced by the library, not by the display.
    renderer_ = SDL_CreateRenderer(window, -1, 0);
    if (!renderer_) renderer_ = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) return -1;
    texture_ = SDL_CreateTexture(renderer_, format_, SDL_TEXTUREACCESS_STREAMING, frameWidth_, frameHeight_);
    if (!texture_) {
      SDL_DestroyRenderer(renderer_);
      renderer_ = nullptr;
      return -1;
    }
    SDL_SetTextureScaleMode(texture_, SDL_ScaleModeLinear);
    window_ = window;
    // SDL makes the window anew for a renderer that needs OpenGL, at its
    // windowed size and place.
    FitWindowToServer(window, 0, 0);
    return 0;
  }

  // The frame scaled to fit, centred, on black.
  void Draw() {
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer_, &w, &h);
    FrameViewport view = FitFrameInWindow(w, h, frameWidth_, frameHeight_);
    SDL_Rect target{static_cast<int>(std::lround(view.left)), static_cast<int>(std::lround(view.top)),
                    static_cast<int>(std::lround(frameWidth_ * view.scale)),
                    static_cast<int>(std::lround(frameHeight_ * view.scale))};
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, &target);
  }

  bool open_ = false;
  int frameWidth_ = 0, frameHeight_ = 0;
  uint32_t format_ = SDL_PIXELFORMAT_RGB888;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
};

SdlPresenter g_sdlPresenter;
PlatformPresenter* g_presenter = &g_sdlPresenter;

}  // namespace

PlatformPresenter* GetPlatformPresenter() { return g_presenter; }

void SetPlatformPresenter(PlatformPresenter* presenter) {
  g_presenter = presenter ? presenter : &g_sdlPresenter;
}

void PlatformPresenterWindowGone() {
  // Whichever is installed, the SDL one must never keep a renderer of a dead window.
  g_sdlPresenter.ForgetWindow();
  if (g_presenter != &g_sdlPresenter) g_presenter->ForgetWindow();
}
