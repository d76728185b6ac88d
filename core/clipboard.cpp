#include <cstring>
#include <string>

#include "core/core_api.h"
#include "core/helpers.h"
#include "platform/clipboard.h"

int GetClipboardTextInto(char* buffer, int bufferSize) {
  std::string text;
  if (GetPlatformClipboard()->GetText(&text) != 0) return -1;
  // The text ends at its first zero byte, as a C string would.
  text.resize(std::strlen(text.c_str()));
  if (!buffer) return text.size() >= 0x7FFFFFFEu ? -1 : static_cast<int>(text.size()) + 1;
  if (bufferSize <= 0) return -1;
  StrCopyWholeChars(buffer, text.c_str(), bufferSize);
  return 0;
}

int PutClipboardText(const char* text) {
  if (!text) return 0;
  GetPlatformClipboard()->SetText(text);
  return 0;
}
