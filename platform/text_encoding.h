// Conversion between the library's Shift-JIS (code page 932) byte strings and
// the UTF-8 of the rest of the machine (file names, clipboard, fonts, text input).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Converts a zero-terminated string into the buffer (zero-terminated).
// Returns the length written, or -1 when the text is not valid in its
// encoding or does not fit.
int PlatformSjisToUtf8(const char* text, char* buffer, size_t bufferSize);
int PlatformUtf8ToSjis(const char* text, char* buffer, size_t bufferSize);

// Lenient forms for text from outside (clipboard, typed text, dropped files):
// characters that the target cannot hold (and malformed input bytes) become
// the substitute character, or are dropped when it is 0. When memory runs
// out the output is left empty.
enum class TextConversion { Clean, Substituted, OutOfMemory };
TextConversion Cp932ToUtf8(std::string_view cp932, std::string* utf8, char substitute = '?');
TextConversion Utf8ToCp932(std::string_view utf8, std::string* cp932, char substitute = '?');
