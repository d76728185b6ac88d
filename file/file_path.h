// Library paths (Shift-JIS; '\' or '/' between directories, a '\' that is the
// trail byte of a two-byte character belongs to the character) and their
// native form on this machine.
#pragma once
#include <cstddef>

// Offset of the first byte after the last separator of the path (0 when it has none).
size_t FindLastPathComponent(const char* path);

// The native path for a library path: UTF-8 with '/' between components.
// When that does not exist, each component is looked up without regard to
// case, one at a time. Returns 0 with the buffer filled (the path may still
// not exist), or -1 when it does not fit.
int ResolveNativePath(const char* path, char* buffer, size_t bufferSize);

// A native name back in Shift-JIS (the bytes as they stand when they have no
// Shift-JIS form). 0, or -1 when it does not fit.
int NativeNameToLibrary(const char* name, char* buffer, size_t bufferSize);

// '*' and '?' wildcards over Shift-JIS names, two-byte characters whole,
// ASCII letters without case.
bool MatchFileNamePattern(const char* pattern, const char* name);
