// Shift-JIS (code page 932) byte strings of the library to and from UTF-8.
#pragma once
#include <cstddef>

// Converts a zero-terminated string into the buffer (zero-terminated).
// Returns the length written, or -1 when the text is not valid in its
// encoding or does not fit.
int PlatformSjisToUtf8(const char* text, char* buffer, size_t bufferSize);
int PlatformUtf8ToSjis(const char* text, char* buffer, size_t bufferSize);
