#include "platform/clipboard.h"

#include <SDL.h>

#include "platform/no_throw.h"
#include "platform/text_encoding.h"

namespace {

class SdlClipboard : public PlatformClipboard {
 public:
  int GetText(std::string* cp932) override {
    if (!SDL_WasInit(SDL_INIT_VIDEO) || !SDL_HasClipboardText()) return -1;
    char* utf8 = SDL_GetClipboardText();
    if (!utf8) return -1;
    const TextConversion result = Utf8ToCp932(utf8, cp932);
    SDL_free(utf8);
    return result == TextConversion::OutOfMemory ? -1 : 0;
  }

  int SetText(const char* cp932) override {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return -1;
    std::string utf8;
    if (Cp932ToUtf8(cp932 ? cp932 : "", &utf8) == TextConversion::OutOfMemory) return -1;
    return SDL_SetClipboardText(utf8.c_str()) == 0 ? 0 : -1;
  }
};

SdlClipboard g_sdlClipboard;
PlatformClipboard* g_clipboard = &g_sdlClipboard;

}  // namespace

PlatformClipboard* GetPlatformClipboard() { return g_clipboard; }

void SetPlatformClipboard(PlatformClipboard* clipboard) {
  g_clipboard = clipboard ? clipboard : &g_sdlClipboard;
}

int ScriptedClipboard::GetText(std::string* cp932) {
  if (!available || !hasText) return -1;
  return PlatformNoThrow("クリップボードの読み出し", -1, [&] {
    *cp932 = text;
    return 0;
  });
}

int ScriptedClipboard::SetText(const char* cp932) {
  if (!available) return -1;
  return PlatformNoThrow("クリップボードへの書き込み", -1, [&] {
    text = cp932 ? cp932 : "";
    hasText = true;
    setCount++;
    return 0;
  });
}
