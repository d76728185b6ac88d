#include "sound/music.h"

#include <cstring>

#include "core/core_api.h"
#include "core/handle.h"
#include "core/log.h"
#include "core/memory.h"
#include "file/file_path.h"
#include "platform/files.h"
#include "platform/music.h"
#include "sound/sound_api.h"
#include "sound/sound_system.h"

MusicGlobals g_music;

namespace {

constexpr int kStopMessagePasses = 5;

// Check numbers run 0..2047, as the sound table's do.
constinit HandleTable<MidiRecord, kMaxMidiHandles> g_midiTable{.type = HandleTypeMusic, .firstCheck = 0,
                                                                .nextCheck = 0};

bool SynthesiserMode() { return g_soundSystem.musicMode == 1; }

}  // namespace

int AddMidiData() {
  if (g_midiTable.count >= kMaxMidiHandles) return LogPrintf("ミュージックデータの数が許容量を越えました");
  auto* record = static_cast<MidiRecord*>(VN_ALLOC_ZEROED(sizeof(MidiRecord)));
  if (!record) return LogPrintf("メモリ領域の確保に失敗しました in AddMidiData");
  return g_midiTable.AddAboveHighest(record);
}

MidiRecord* GetMidiRecord(int handle) { return IsSoundSystemStarted() ? g_midiTable.Get(handle) : nullptr; }

int GetMidiHandleCount() { return g_midiTable.count; }
int GetMidiHandleHighWater() { return g_midiTable.highWater; }

int GetMidiHandleState(int handle) {
  MidiRecord* record = GetMidiRecord(handle);
  if (!record) return -1;
  return SynthesiserMode() ? record->playing : g_music.sequencerPlaying;
}

int PollMusicPlaying() {
  if (!IsSoundSystemStarted()) return -1;
  if (!SynthesiserMode()) return 0;
  for (int slot = 0; slot < g_midiTable.highWater; slot++) {
    MidiRecord* record = g_midiTable.records[slot];
    if (!record || !record->playing) continue;
    const int playing = GetPlatformMusic()->IsSegmentPlaying(record->segment) ? 1 : 0;
    if (record->playConfirmed) {
      record->playing = playing;
    } else if (playing) {
      // Until the segment has been seen playing, a "not playing" answer only
      // means it has not started yet.
      record->playConfirmed = 1;
    }
  }
  return 0;
}

int OnMusicNotify() {
  PlatformMusic* music = GetPlatformMusic();
  if (g_music.sequencerLoop == 1) {
    music->PlaySequencer(g_music.sequencerDevice, 0, GetMainWindow());
    g_music.sequencerPlaying = 1;
  } else if (g_music.sequencerPlaying == 1) {
    music->CloseSequencer(g_music.sequencerDevice);
    g_music.sequencerPlaying = 0;
  }
  return 0;
}

int StopMidiPlayback(int handle) {
  MidiRecord* record = GetMidiRecord(handle);
  if (!record) return -1;
  g_music.sequencerLoop = 0;
  if (SynthesiserMode()) {
    GetPlatformMusic()->StopSegment(record->segment);
  } else {
    OnMusicNotify();  // with the loop flag cleared, this closes a playing sequencer
    // Let the sequencer's own notification of the stop arrive and be handled.
    for (int i = 0; i < kStopMessagePasses; i++) ProcessWindowMessages();
  }
  DeleteTempMidiFile();
  record->playing = 0;
  record->playConfirmed = 0;
  return 0;
}

int DeleteMidiHandle(int handle) {
  if (!GetMidiRecord(handle)) return -1;
  if (GetMidiHandleState(handle) == 1) StopMidiPlayback(handle);
  MidiRecord* record = g_midiTable.Remove(handle);
  if (record->segment) GetPlatformMusic()->ReleaseSegment(record->segment);
  if (record->midiData) {
    std::memset(record->midiData, 0, record->midiSize);
    MemFree(record->midiData);
  }
  MemFree(record);
  return 0;
}

int DeleteAllMidiHandles() {
  if (!IsSoundSystemStarted()) return -1;
  for (int slot = 0; slot < kMaxMidiHandles && g_midiTable.count > 0; slot++) {
    const int handle = g_midiTable.HandleAt(slot);
    if (handle != -1) DeleteMidiHandle(handle);
  }
  return 0;
}

int StopMusicTrack() {
  const int handle = g_music.currentMusic;
  if (handle == 0) return 0;
  if (g_music.currentMusicKind == 1) {
    StopSoundHandle(handle);
    DeleteSoundHandle(handle);
  } else {
    StopMidiPlayback(handle);
    DeleteMidiHandle(handle);
  }
  g_music.currentMusic = 0;
  return 0;
}

void DeleteTempMidiFile() {
  if (!g_music.tempMidiExists) return;
  char native[kTempMidiPathBytes];
  if (ResolveNativePath(g_music.tempMidiPath, native, sizeof(native)) == 0) PlatformFileRemove(native);
  g_music.tempMidiExists = 0;
}
