#include "core/varnok.h"
#include "core/window.h"  // IsKeyDownByMessage, until the input devices are read

namespace {

constexpr int kVirtualKeyEscape = 0x1B;

int GameInit() {
  SetWindowTitle("Tamblor  ver0.7");
  EnableLogFile(0);
  ChangeWindowMode(1);
  if (LibraryInit() == -1) return -1;
  SetRunWhenInactive(1);
  return 0;
}

void MainLoop() {
  for (;;) {
    if (IsKeyDownByMessage(kVirtualKeyEscape)) return;
    if (ProcessWindowMessages() != 0) return;
  }
}

}  // namespace

int main() {
  if (GameInit() == -1) return -1;
  MainLoop();
  LibraryEnd();
  return 0;
}
