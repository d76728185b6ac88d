#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "core/helpers.h"
#include "platform/no_throw.h"

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  TextConversion Convert(std::string_view in, std::string* out, char substitute, bool inputIsUtf8) {
    std::lock_guard<std::mutex> guard(lock_);
    out->clear();
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return TextConversion::Substituted;
    const TextConversion result = PlatformNoThrow("文字コードの変換", TextConversion::OutOfMemory, [&] {
      return ConvertAll(in, out, substitute, inputIsUtf8) ? TextConversion::Clean : TextConversion::Substituted;
    });
    if (result == TextConversion::OutOfMemory) out->clear();
    return result;
  }

 private:
  // False when something was substituted or dropped.
  bool ConvertAll(std::string_view in, std::string* out, char substitute, bool inputIsUtf8) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    bool clean = true;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[256];
    while (srcLeft > 0) {
      char* dst = buffer;
      size_t dstLeft = sizeof(buffer);
      size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out->append(buffer, static_cast<size_t>(dst - buffer));
      if (r != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (truncated sequence): skip one input character.
      clean = false;
      size_t skip = 1;
      if (inputIsUtf8) {
        // The character's lead byte and the continuation bytes that follow it.
        size_t length = Utf8Length(static_cast<unsigned char>(*src));
        while (skip < length && skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80) skip++;
      } else if (srcLeft >= 2 && IsMultiByteLeadByte(static_cast<uint8_t>(src[0])) &&
                 IsCp932Trail(static_cast<uint8_t>(src[1]))) {
        skip = 2;
      }
      if (skip > srcLeft) skip = srcLeft;
      src += skip;
      srcLeft -= skip;
      if (substitute) out->push_back(substitute);
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = buffer;
    size_t dstLeft = sizeof(buffer);
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
    out->append(buffer, static_cast<size_t>(dst - buffer));
    return clean;
  }

  static size_t Utf8Length(unsigned char c) {
    if (c >= 0xF0 && c <= 0xF7) return 4;
    if (c >= 0xE0) return c <= 0xEF ? 3 : 1;
    if (c >= 0xC2 && c <= 0xDF) return 2;
    return 1;
  }
  static bool IsCp932Trail(uint8_t c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

  iconv_t cd_;
  std::mutex lock_;
};

Converter& FromCp932() {
  static Converter converter("UTF-8", "CP932");
  return converter;
}

Converter& ToCp932() {
  static Converter converter("CP932", "UTF-8");
  return converter;
}

}  // namespace

TextConversion Cp932ToUtf8(std::string_view cp932, std::string* utf8, char substitute) {
  return FromCp932().Convert(cp932, utf8, substitute, false);
}

TextConversion Utf8ToCp932(std::string_view utf8, std::string* cp932, char substitute) {
  return ToCp932().Convert(utf8, cp932, substitute, true);
}

namespace {

int CopyOut(TextConversion result, const std::string& text, char* buffer, size_t bufferSize) {
  if (result != TextConversion::Clean || text.size() + 1 > bufferSize) {
    buffer[0] = '\0';
    return -1;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

}  // namespace

int PlatformSjisToUtf8(const char* text, char* buffer, size_t bufferSize) {
  if (!text || !buffer || bufferSize == 0) return -1;
  std::string out;
  return CopyOut(Cp932ToUtf8(text, &out, 0), out, buffer, bufferSize);
}

int PlatformUtf8ToSjis(const char* text, char* buffer, size_t bufferSize) {
  if (!text || !buffer || bufferSize == 0) return -1;
  std::string out;
  return CopyOut(Utf8ToCp932(text, &out, 0), out, buffer, bufferSize);
}
