#include "platform/text_encoding.h"

#include <iconv.h>

#include <cstring>

namespace {

int Convert(const char* to, const char* from, const char* text, char* buffer, size_t bufferSize) {
  if (!text || !buffer || bufferSize == 0) return -1;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return -1;
  char* in = const_cast<char*>(text);
  size_t inLeft = std::strlen(text);
  char* out = buffer;
  size_t outLeft = bufferSize - 1;
  size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
  if (result != static_cast<size_t>(-1)) result = iconv(cd, nullptr, nullptr, &out, &outLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1) || inLeft != 0) {
    buffer[0] = '\0';
    return -1;
  }
  *out = '\0';
  return static_cast<int>(out - buffer);
}

}  // namespace

int PlatformSjisToUtf8(const char* text, char* buffer, size_t bufferSize) {
  return Convert("UTF-8", "CP932", text, buffer, bufferSize);
}

int PlatformUtf8ToSjis(const char* text, char* buffer, size_t bufferSize) {
  return Convert("CP932", "UTF-8", text, buffer, bufferSize);
}
