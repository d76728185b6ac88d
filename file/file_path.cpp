#include "file/file_path.h"

#include <cstdint>
#include <cstring>

#include "core/helpers.h"
#include "platform/files.h"
#include "platform/text_encoding.h"

namespace {

constexpr size_t kMaxPath = 4096;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

uint8_t FoldAscii(uint8_t c) { return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + 32) : c; }

bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; a++, b++) {
    if (FoldAscii(static_cast<uint8_t>(*a)) != FoldAscii(static_cast<uint8_t>(*b))) return false;
  }
  return *a == *b;
}

// Appends "/" (unless at the start or after one) and the text; false when it does not fit.
bool AppendComponent(char* buffer, size_t bufferSize, size_t* length, const char* text) {
  size_t add = std::strlen(text);
  bool slash = *length > 0 && buffer[*length - 1] != '/';
  if (*length + (slash ? 1 : 0) + add + 1 > bufferSize) return false;
  if (slash) buffer[(*length)++] = '/';
  std::memcpy(buffer + *length, text, add + 1);
  *length += add;
  return true;
}

// Finds a directory entry equal to the name without regard to case.
bool FindEntryIgnoringCase(const char* directory, const char* name, char* found, size_t foundSize) {
  PlatformDir* dir = PlatformDirOpen(*directory ? directory : ".");
  if (!dir) return false;
  PlatformDirEntry entry;
  bool ok = false;
  while (PlatformDirNext(dir, &entry) == 0) {
    if (EqualsIgnoringCase(entry.name, name) && std::strlen(entry.name) < foundSize) {
      std::strcpy(found, entry.name);
      ok = true;
      break;
    }
  }
  PlatformDirClose(dir);
  return ok;
}

}  // namespace

size_t FindLastPathComponent(const char* path) {
  size_t start = 0;
  for (size_t i = 0; path[i];) {
    if (IsSeparator(path[i])) start = i + 1;
    i += SjisCharLength(path + i);
  }
  return start;
}

int ResolveNativePath(const char* path, char* buffer, size_t bufferSize) {
  if (!path || !buffer || bufferSize == 0) return -1;
  // Split into components, each turned into UTF-8 on its own.
  static_assert(kMaxPath >= 256);
  char components[64][256];
  int count = 0;
  bool absolute = IsSeparator(path[0]);
  for (size_t i = 0; path[i];) {
    if (IsSeparator(path[i])) {
      i++;
      continue;
    }
    char raw[256];
    size_t length = 0;
    while (path[i] && !IsSeparator(path[i])) {
      int n = SjisCharLength(path + i);
      if (length + n >= sizeof(raw)) return -1;
      std::memcpy(raw + length, path + i, n);
      length += n;
      i += n;
    }
    raw[length] = '\0';
    if (count >= 64) return -1;
    if (PlatformSjisToUtf8(raw, components[count], sizeof(components[count])) < 0) {
      std::memcpy(components[count], raw, length + 1);  // not Shift-JIS: keep the bytes
    }
    count++;
  }

  size_t length = 0;
  buffer[0] = '\0';
  if (absolute) {
    if (bufferSize < 2) return -1;
    std::strcpy(buffer, "/");
    length = 1;
  }
  for (int c = 0; c < count; c++) {
    if (!AppendComponent(buffer, bufferSize, &length, components[c])) return -1;
  }
  if (count == 0 || PlatformGetPathKind(buffer) != PlatformPathNone) return 0;

  // Not there as written: walk it component by component.
  length = absolute ? 1 : 0;
  buffer[length] = '\0';
  bool found = true;
  for (int c = 0; c < count; c++) {
    const char* name = components[c];
    char match[256];
    if (found && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
      size_t before = length;
      if (!AppendComponent(buffer, bufferSize, &length, name)) return -1;
      bool exists = PlatformGetPathKind(buffer) != PlatformPathNone;
      length = before;
      buffer[length] = '\0';
      if (!exists) {
        found = FindEntryIgnoringCase(buffer, name, match, sizeof(match));
        if (found) name = match;
      }
    }
    if (!AppendComponent(buffer, bufferSize, &length, name)) return -1;
  }
  return 0;
}

int NativeNameToLibrary(const char* name, char* buffer, size_t bufferSize) {
  if (PlatformUtf8ToSjis(name, buffer, bufferSize) >= 0) return 0;
  size_t length = std::strlen(name);
  if (length + 1 > bufferSize) return -1;
  std::memcpy(buffer, name, length + 1);
  return 0;
}

bool MatchFileNamePattern(const char* pattern, const char* name) {
  const char* p = pattern;
  const char* s = name;
  const char* starP = nullptr;
  const char* starS = nullptr;
  while (*s) {
    if (*p == '*') {
      starP = ++p;
      starS = s;
      continue;
    }
    if (*p) {
      int pn = SjisCharLength(p);
      int sn = SjisCharLength(s);
      bool same = *p == '?' ||
                  (pn == sn && (pn == 2 ? std::memcmp(p, s, 2) == 0
                                        : FoldAscii(static_cast<uint8_t>(*p)) ==
                                              FoldAscii(static_cast<uint8_t>(*s))));
      if (same) {
        p += pn;
        s += sn;
        continue;
      }
    }
    if (!starP) return false;
    starS += SjisCharLength(starS);
    s = starS;
    p = starP;
  }
  while (*p == '*') p++;
  return *p == '\0';
}
