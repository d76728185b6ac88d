#include "platform/scripted_window.h"

int ScriptedWindow::OpenDisplay() {
  if (failOpenDisplay) return -1;
  displayOpen = true;
  return 0;
}

void ScriptedWindow::CloseDisplay() {
  if (exists) Destroy();
  displayOpen = false;
}

bool ScriptedWindow::DisplayOffersSize(int w, int h) { return w <= desktopWidth && h <= desktopHeight; }

int ScriptedWindow::Create(const WindowSettings& settings) {
  if (!displayOpen || exists || failCreate) return -1;
  exists = true;
  createCount++;
  title = settings.title ? settings.title : "";
  width = frameWidth = settings.width;
  height = frameHeight = settings.height;
  windowed = settings.windowed;
  cursorVisible = settings.cursorVisible;
  return 0;
}

void ScriptedWindow::Destroy() {
  if (!exists) return;
  exists = false;
  destroyCount++;
}

int ScriptedWindow::SetWindowed(bool flag) {
  if (!exists) return -1;
  windowed = flag;
  return 0;
}

void ScriptedWindow::SetFrameSize(int w, int h) {
  frameWidth = w;
  frameHeight = h;
}

void ScriptedWindow::GetMousePosition(int* x, int* y) {
  *x = mouseX;
  *y = mouseY;
}

IntRect ScriptedWindow::GetClientRectOnScreen() { return {100, 50, 100 + width, 50 + height}; }

bool ScriptedWindow::PollMessage(WindowMessage* out) { return exists && queue_.Pop(out); }

void ScriptedWindow::PostMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
  Push(message, wParam, lParam);
}

void ScriptedWindow::Push(uint32_t message, uint64_t wParam, int64_t lParam, std::string text) {
  queue_.Push({message, wParam, lParam, std::move(text)});
}

void ScriptedWindow::PushWheel(int notches) {
  auto delta = static_cast<uint16_t>(static_cast<int16_t>(notches * kWheelDelta));
  Push(WM_MOUSEWHEEL, static_cast<uint64_t>(delta) << 16);
}
