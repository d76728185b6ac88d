#include "game/config.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/varnok.h"
#include "game/game_state.h"

namespace {

// Room for a line of 255 bytes; a longer one goes on as the next line.
constexpr int kLineBytes = 256;

int32_t ClampVolume(int32_t value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

// Leading blanks, an optional sign, then digits up to the first other
// character; a number too large for 32 bits holds at the limit.
int32_t ReadDecimal(const char* text) {
  while (*text && std::isspace(static_cast<unsigned char>(*text))) text++;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; text++) {
    value = value * 10 + (*text - '0');
    if (value > INT32_MAX) value = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int32_t>(value);
}

void ApplyValue(GameConfig& config, int key, char* valueLine) {
  int32_t value = ParseLastInt(valueLine);
  switch (key) {
    case 0: config.SEVOL = ClampVolume(value); break;
    case 1: config.BGMVOL = ClampVolume(value); break;
    case 2: config.FULLSCREEN_MODE = value > 0 ? 1 : 0; break;
    case 3: config.DRAW_TIMESCORE_MAINGAME = value > 0 ? 1 : 0; break;
  }
}

constexpr const char* kKeys[4] = {"#SEVOL", "#BGMVOL", "#FULLSCREEN_MODE", "#DRAW_TIMESCORE_MAINGAME"};

}  // namespace

int ReadTextLine(char* line, int size, FileAccessHandle file) {
  int64_t start = FileAccessTell(file);
  unsigned char peek[3] = {};
  if (start == 0) {
    // A byte-order mark, as some editors put in front of UTF-8 text.
    const size_t got = FileAccessRead(peek, 1, 3, file);
    if (got == 3 && peek[0] == 0xEF && peek[1] == 0xBB && peek[2] == 0xBF) start = 3;
    FileAccessSeek(file, start, 0);
  }
  const int length = ReadFileLine(line, size, file);
  if (length < 0) return length;
  int end = 0;
  while (end < length && line[end] != '\r' && line[end] != '\n') end++;
  if (end == length) return length;
  // The bytes after the first CR or LF decide how long the line end is: CR LF
  // and the CR CR LF of a text written twice in text mode are one end, as is
  // LF CR, unless that CR starts a CR LF of its own.
  const int64_t after = start + end + 1;
  FileAccessSeek(file, after, 0);
  peek[0] = peek[1] = 0;
  FileAccessRead(peek, 1, 2, file);
  int64_t skip = 0;
  if (line[end] == '\r') {
    if (peek[0] == '\n') skip = 1;
    else if (peek[0] == '\r' && peek[1] == '\n') skip = 2;
  } else if (peek[0] == '\r' && peek[1] != '\n') {
    skip = 1;
  }
  line[end] = '\0';
  FileAccessSeek(file, after + skip, 0);
  return end;
}

int32_t ParseLastInt(char* line) {
  const char* last = nullptr;
  for (char* token = std::strtok(line, "="); token; token = std::strtok(nullptr, "=")) last = token;
  return last ? ReadDecimal(last) : 0;
}

void ReadConfig() {
  GameConfig& config = g_gameState.config;
  config.SEVOL = 212;
  config.BGMVOL = 255;
  config.FULLSCREEN_MODE = 1;
  config.DRAW_TIMESCORE_MAINGAME = 1;

  FileAccessHandle file = OpenFileForRead("config.ini", 0);
  if (file == 0) return;
  char line[kLineBytes];
  while (IsFileAtEnd(file) == 0) {
    if (ReadTextLine(line, kLineBytes, file) < 0) break;
    for (int key = 0; key < 4; key++) {
      if (std::strcmp(line, kKeys[key]) != 0) continue;
      // A key on the last line has no value: the setting keeps its value.
      if (ReadTextLine(line, kLineBytes, file) >= 0) ApplyValue(config, key, line);
      break;
    }
  }
  FileAccessClose(file);
}

void SaveConfig() {
  const GameConfig& config = g_gameState.config;
  // Binary mode with explicit CR LF, the file's own line end.
  std::FILE* out = std::fopen("config.ini", "wb");
  if (!out) return;
  std::fprintf(out, "#SEVOL\r\n%d\r\n#BGMVOL\r\n%d\r\n#FULLSCREEN_MODE\r\n%d\r\n#DRAW_TIMESCORE_MAINGAME\r\n%d\r\n",
               config.SEVOL, config.BGMVOL, config.FULLSCREEN_MODE ? 1 : 0,
               config.DRAW_TIMESCORE_MAINGAME ? 1 : 0);
  std::fclose(out);
}
