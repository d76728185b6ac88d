#include "core/varnok.h"

namespace {

constexpr int kKeyEscape = 0x01;

int GameInit() {
  SetWindowTitle("Tamblor  ver0.7");
  EnableLogFile(0);
  if (SetScreenMode(1024, 768, 32, 60) != 0) return -1;
  ChangeWindowMode(1);
  if (LibraryInit() == -1) return -1;
  SetRunWhenInactive(1);
  SetTextureFilterMode(1);
  SelectDrawScreen(-2);
  return 0;
}

void MainLoop() {
  for (;;) {
    PresentScreen();
    uint8_t keys[256] = {};
    GetAllKeyStates(keys);
    if (keys[kKeyEscape]) return;
    if (ProcessWindowMessages() != 0) return;
    SetBlendMode(1, 255);
    DrawRectangle(0, 0, 1024, 768, PackRgbToScreenColor(16, 16, 16), 1);
  }
}

}  // namespace

int main() {
  if (GameInit() == -1) return -1;
  MainLoop();
  LibraryEnd();
  return 0;
}
