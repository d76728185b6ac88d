// The system clipboard, holding text. The library speaks Shift-JIS to it.
#pragma once
#include <string>

class PlatformClipboard {
 public:
  virtual ~PlatformClipboard() = default;
  // The clipboard's text; -1 when it cannot be read or holds no text.
  virtual int GetText(std::string* cp932) = 0;
  // Replaces the clipboard's contents with the text; -1 when it cannot be written.
  virtual int SetText(const char* cp932) = 0;
};

// The clipboard the library uses: SDL's unless a test installed another.
PlatformClipboard* GetPlatformClipboard();
void SetPlatformClipboard(PlatformClipboard* clipboard);  // null restores SDL's

// A clipboard that tests fill and read.
class ScriptedClipboard : public PlatformClipboard {
 public:
  int GetText(std::string* cp932) override;
  int SetText(const char* cp932) override;

  bool available = true;  // false: the clipboard cannot be opened
  bool hasText = false;
  std::string text;
  int setCount = 0;
};
