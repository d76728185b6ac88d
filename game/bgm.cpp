#include "game/bgm.h"

#include <cstring>

#include "core/varnok.h"
#include "game/config.h"
#include "game/resources.h"

BgmState g_bgm = {nullptr, 0, -1, 0};

namespace {

constexpr int kListLineBytes = 128;
constexpr const char* kBgmFolder = "data\\bgm";

// The entry of the key: the music file's name, then its loop line.
void LoadListedMusic(BgmState& bgm, const char* key, FileAccessHandle list) {
  char line[kListLineBytes];
  do {
    if (ReadTextLine(line, kListLineBytes, list) < 0) return;
  } while (std::strcmp(line, key) != 0);
  if (ReadTextLine(line, kListLineBytes, list) < 0) return;
  char path[kPathBytes];
  if (FormatPath(path, "%s\\%s", kBgmFolder, line) != 0) return;
  int handle = LoadSoundFile(path, 3, -1);
  if (handle == -1) return;
  bgm.soundHandle = handle;
  bgm.playing = 1;
  bgm.loopPosition = ReadTextLine(line, kListLineBytes, list) >= 0 ? ParseLastInt(line) : 0;
  if (bgm.loopPosition > 0) SetSoundLoopPositionMs(bgm.loopPosition, handle);
}

}  // namespace

void StartBgm(BgmState& bgm, const char* key) {
  if (bgm.playing) {
    DeleteSoundHandle(bgm.soundHandle, 0);
    bgm.playing = 0;
  }
  char path[kPathBytes];
  if (FormatPath(path, "%s\\%s", kBgmFolder, "list.txt") != 0) return;
  FileAccessHandle list = OpenFileForRead(path, 0);
  if (list == 0) return;
  LoadListedMusic(bgm, key, list);
  FileAccessClose(list);
}

void StopBgm() {
  if (g_bgm.playing) StopSoundHandle(g_bgm.soundHandle);
}
