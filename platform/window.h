// The main window and its message queue. The library core is message driven:
// the platform turns the machine's window events into the messages below and
// the core's window procedure handles them one at a time.
#pragma once
#include <cstdint>
#include <string>

#include "core/types.h"

// Message numbers, as the window procedure and its callers know them.
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_ACTIVATEAPP = 0x001C;  // wParam 1 activated, 0 deactivated
constexpr uint32_t WM_DISPLAYCHANGE = 0x007E;
constexpr uint32_t WM_KEYDOWN = 0x0100;  // wParam virtual key; lParam bit 30 set on a repeat
constexpr uint32_t WM_KEYUP = 0x0101;    // wParam virtual key
constexpr uint32_t WM_CHAR = 0x0102;     // wParam one Shift-JIS byte (two messages for a two-byte character)
constexpr uint32_t WM_IME_STARTCOMPOSITION = 0x010D;
constexpr uint32_t WM_IME_ENDCOMPOSITION = 0x010E;
constexpr uint32_t WM_IME_COMPOSITION = 0x010F;  // lParam GCS_* flags: the parts of the IME's text that changed
constexpr uint32_t WM_IME_SETCONTEXT = 0x0281;
constexpr uint32_t WM_IME_NOTIFY = 0x0282;  // wParam IMN_*
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;  // wParam bits 16-31: signed delta, 120 per notch forward
constexpr uint32_t WM_DROPFILES = 0x0233;   // text = one dropped file's path (Shift-JIS)
constexpr uint32_t MM_MCINOTIFY = 0x03B9;
constexpr uint32_t WM_INPUT_FLAG_A = 0x046F;   // private: wParam 1 sets the flag, else clears it
constexpr uint32_t WM_INPUT_FLAG_B = 0x0470;   // private: as above
constexpr uint32_t WM_SOCKET_EVENT = 0x0505;   // private: wParam socket, lParam event | error << 16

constexpr uint32_t GCS_COMPSTR = 0x0008;
constexpr uint32_t GCS_COMPCLAUSE = 0x0020;
constexpr uint32_t GCS_CURSORPOS = 0x0080;
constexpr uint32_t GCS_RESULTSTR = 0x0800;

constexpr uint32_t IMN_OPENCANDIDATE = 3;
constexpr uint32_t IMN_CLOSECANDIDATE = 4;
constexpr uint32_t IMN_CHANGECANDIDATE = 5;
constexpr uint32_t IMN_SETOPENSTATUS = 8;
constexpr uint32_t IMN_SETCANDIDATEPOS = 9;

constexpr int kWheelDelta = 120;

struct WindowMessage {
  uint32_t message = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
  std::string text;  // Shift-JIS payload of the messages that carry one
};

struct WindowSettings {
  const char* title = "";  // Shift-JIS
  int width = 640;         // client area, in frame pixels
  int height = 480;
  bool windowed = false;
  bool cursorVisible = true;
};

class PlatformWindow {
 public:
  virtual ~PlatformWindow() = default;

  // The display, opened before the window is made and closed after it is gone;
  // -1 where there is none that a person would see.
  virtual int OpenDisplay() = 0;
  // After an OpenDisplay that failed: what was named (the video driver, the
  // display) and why it did not open, as one line for the user; empty when
  // nothing was named at all.
  virtual const char* DisplayFailure() = 0;
  virtual void CloseDisplay() = 0;
  virtual int DesktopBitsPerPixel() = 0;  // bytes per pixel x 8 of the desktop
  // Full screen shows the frame scaled to fit the desktop, so any size is
  // offered where there is a desktop.
  virtual bool DisplayOffersSize(int width, int height) = 0;

  virtual int Create(const WindowSettings& settings) = 0;  // 0 or -1
  virtual void Destroy() = 0;  // the core's window procedure gets WM_DESTROY from the core
  virtual bool Exists() = 0;
  virtual void SetTitle(const char* title) = 0;  // Shift-JIS
  virtual int SetWindowed(bool windowed) = 0;
  virtual void SetCursorVisible(bool visible) = 0;
  // Size of the frame that the window shows scaled with its aspect kept; mouse
  // positions are mapped back to it.
  virtual void SetFrameSize(int width, int height) = 0;
  virtual void GetMousePosition(int* x, int* y) = 0;  // frame pixels
  virtual IntRect GetClientRectOnScreen() = 0;
  virtual void* NativeHandle() = 0;  // SDL_Window* of the real window, else null

  // Next message, false when none is waiting. Events that carry no message
  // (mouse motion, exposure...) are consumed on the way and never counted.
  virtual bool PollMessage(WindowMessage* out) = 0;
  // Queues a message behind those already waiting; callable from any thread.
  virtual void PostMessage(uint32_t message, uint64_t wParam, int64_t lParam) = 0;
};

// The window the library uses: the SDL one unless a test installed another.
PlatformWindow* GetPlatformWindow();
void SetPlatformWindow(PlatformWindow* window);  // null restores the SDL one
