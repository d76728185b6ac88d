// The round's music: chosen per difficulty from data\bgm\list.txt, looped
// from the list's loop point.
#pragma once
#include <cstdint>

struct BgmState {
  const int32_t* volume;  // the settings file's BGMVOL
  uint8_t playing;        // a music file is loaded (cleared only by the next StartBgm)
  int32_t soundHandle;
  int32_t loopPosition;  // milliseconds
};

extern BgmState g_bgm;

// Replaces the loaded music by the one the list names for the key; nothing
// is loaded (playing stays 0) when the list, the entry or the file is missing.
void StartBgm(BgmState& bgm, const char* key);
// Stops the music; it stays loaded.
void StopBgm();
