#include "sound/sound_handle.h"

#include "core/log.h"
#include "core/memory.h"
#include "sound/sound_api.h"
#include "sound/sound_system.h"
#include "sound/stream_sound.h"

namespace {

// Check numbers run 0..2047, so one comes back only after 2,048 new handles.
constinit HandleTable<SoundRecord, kMaxSoundHandles> g_soundTable{.type = HandleTypeSound, .firstCheck = 0,
                                                                   .nextCheck = 0};

int ReleaseWholeSound(SoundRecord* record) {
  if (record->buffers[0].inUse) StopSoundHandleBuffers(record);
  for (int i = 0; i < record->bufferCount && i < kMaxSoundBuffers; i++) {
    if (record->buffers[i].inUse) ReleaseWaveBuffer(&record->buffers[i]);
  }
  MemFree(record->pcm);
  record->pcm = nullptr;
  return 0;
}

}  // namespace

SoundRecord* FindSoundRecord(int handle) {
  if (!IsSoundSystemStarted()) return nullptr;
  return g_soundTable.Get(handle);
}

SoundRecord* GetSoundRecord(int handle) {
  SoundRecord* record = FindSoundRecord(handle);
  return record && !record->deletePending ? record : nullptr;
}

int AddSoundData(int handle) {
  bool rebuild = handle != -1 && handle >= 0 && HandleKind(handle) == HandleTypeSound &&
                 HandleSlot(handle) < kMaxSoundHandles && !g_soundTable.records[HandleSlot(handle)];
  if (!rebuild && g_soundTable.count >= kMaxSoundHandles) return LogWrite("サウンドの数が許容量を越えました\n");
  auto* record = static_cast<SoundRecord*>(VN_ALLOC_ZEROED(sizeof(SoundRecord)));
  if (!record) return LogPrintf("メモリ領域の確保に失敗しました in AddSoundData");
  record->sourceCount = 0;
  record->bufferOwner = -1;
  record->currentPlayer = -1;
  record->ringUser = -1;
  return rebuild ? g_soundTable.Restore(handle, record) : g_soundTable.AddAboveHighest(record);
}

void FreeSoundSlot(int handle) { MemFree(g_soundTable.Remove(handle)); }

int DeleteSoundRecord(int handle) {
  SoundRecord* record = FindSoundRecord(handle);
  if (!record) return -1;
  if (record->kind == kSoundStream) {
    // The record stays while other handles still play on its ring.
    if (DeleteStreamSound(handle, record) == 1) return 0;
  } else {
    ReleaseWholeSound(record);
  }
  FreeSoundSlot(handle);
  return 0;
}

int DeleteSoundHandle(int handle, int) {
  if (!GetSoundRecord(handle)) return -1;
  return DeleteSoundRecord(handle);
}

int DeleteAllSoundHandles() {
  if (!IsSoundSystemStarted()) return -1;
  for (int slot = 0; slot < kMaxSoundHandles; slot++) {
    int handle = g_soundTable.HandleAt(slot);
    if (handle != -1) DeleteSoundRecord(handle);
  }
  return 0;
}

int GetSoundHandleCount() { return g_soundTable.count; }
int GetSoundHandleHighWater() { return g_soundTable.highWater; }

// The mode belongs to the running sound system: its start sets it back to 0.
int SetCreateSoundMode(int mode) {
  if (!IsSoundSystemStarted() || mode < 0 || mode > 3) return -1;
  g_soundSystem.createSoundMode = mode;
  return 0;
}

int GetCreateSoundMode() { return IsSoundSystemStarted() ? g_soundSystem.createSoundMode : -1; }
