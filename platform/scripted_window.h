// A window without a screen for tests: the test queues the messages that the
// pump hands out and reads back what the library asked of the window.
#pragma once
#include <string>

#include "platform/window.h"
#include "platform/window_message_queue.h"

class ScriptedWindow : public PlatformWindow {
 public:
  int OpenDisplay() override;
  const char* DisplayFailure() override { return ""; }
  void CloseDisplay() override;
  int DesktopBitsPerPixel() override { return desktopBitsPerPixel; }
  bool DisplayOffersSize(int width, int height) override;
  int Create(const WindowSettings& settings) override;
  void Destroy() override;
  bool Exists() override { return exists; }
  void SetTitle(const char* text) override { title = text ? text : ""; }
  int SetWindowed(bool flag) override;
  void SetCursorVisible(bool visible) override { cursorVisible = visible; }
  void SetFrameSize(int width, int height) override;
  void GetMousePosition(int* x, int* y) override;
  IntRect GetClientRectOnScreen() override;
  void* NativeHandle() override { return nullptr; }
  bool PollMessage(WindowMessage* out) override;
  void PostMessage(uint32_t message, uint64_t wParam, int64_t lParam) override;

  // What the test queues.
  void Push(uint32_t message, uint64_t wParam = 0, int64_t lParam = 0, std::string text = {});
  void PushActivation(bool active) { Push(WM_ACTIVATEAPP, active ? 1 : 0); }
  void PushClose() { Push(WM_CLOSE); }
  void PushKeyDown(int virtualKey) { Push(WM_KEYDOWN, static_cast<uint64_t>(virtualKey), 1); }
  void PushKeyUp(int virtualKey) { Push(WM_KEYUP, static_cast<uint64_t>(virtualKey), 1); }
  void PushChar(uint8_t byte) { Push(WM_CHAR, byte, 1); }
  void PushWheel(int notches);
  void PushDroppedFile(std::string path) { Push(WM_DROPFILES, 0, 0, std::move(path)); }
  size_t WaitingCount() { return queue_.Size(); }

  // What the test sets up.
  int desktopBitsPerPixel = 32;
  int desktopWidth = 1920;
  int desktopHeight = 1080;
  bool failOpenDisplay = false;
  bool failCreate = false;
  int mouseX = 0, mouseY = 0;  // in frame pixels

  // What the library did.
  bool displayOpen = false;
  bool exists = false;
  int createCount = 0;
  int destroyCount = 0;
  std::string title;
  bool windowed = false;
  bool cursorVisible = true;
  int width = 0, height = 0;
  int frameWidth = 0, frameHeight = 0;

 private:
  WindowMessageQueue queue_;
};
