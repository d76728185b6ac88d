// The per-pass work of stream sounds: counting what the cursor has played,
// and writing data (or silence after the end) ahead of it.
#include <algorithm>
#include <climits>
#include <cstring>

#include "core/log.h"
#include "sound/sound_system.h"
#include "sound/stream_sound.h"

namespace {

constexpr int32_t kTargetLead128 = 384;  // three seconds, in 1/128 s

// Bytes from a forward to b around the ring.
uint32_t Forward(uint32_t a, uint32_t b, uint32_t ring) { return b >= a ? b - a : ring - a + b; }

// The ring of a prepared stream sound that is the current player of it.
WaveBuffer* PlayingRing(int handle, SoundRecord* record) {
  if (!record || record->kind != kSoundStream || !record->prepared) return nullptr;
  SoundRecord* holder = StreamRingHolder(record);
  if (!holder || holder->currentPlayer != handle) return nullptr;
  return &holder->buffers[0];
}

void MoveCursorTo(SoundRecord* record, uint32_t cursor) {
  if (cursor == record->lastCursor || record->ringSize == 0) return;
  const uint32_t ring = record->ringSize;
  const uint32_t last = record->lastCursor;
  const uint32_t moved = Forward(last, cursor, ring);
  if (record->ending) record->travelSinceEnd = static_cast<uint32_t>(std::min<uint64_t>(
                          static_cast<uint64_t>(record->travelSinceEnd) + moved, UINT32_MAX));
  record->lastCursor = cursor;
  // A cursor that has come to the restart point (or stands on it) plays the
  // restarted data.
  if (record->wrapPending && Forward(last, record->switchPosition, ring) <= moved) {
    record->playedBytes = Forward(record->switchPosition, cursor, ring) + record->loopRestartBytes;
    record->wrapPending = 0;
    return;
  }
  record->playedBytes += moved;
}

// The cursor must lie in the window of data written ahead of it.
bool CursorInWindow(const SoundRecord* record, uint32_t cursor) {
  const int64_t start = record->validDataStart, write = record->writePosition, c = cursor;
  if (start < 0 || write < 0) return false;
  if (start < write) return start <= c && c <= write;
  return !(write < c && c < start);
}

uint32_t RingOffset(const SoundRecord* record, const RingLock* lock) {
  uint64_t offset = static_cast<uint64_t>(lock->offset) + lock->filled;
  return record->ringSize ? static_cast<uint32_t>(offset % record->ringSize) : 0;
}

// Where the next byte of the lock goes and how much room is left in that piece.
uint8_t* NextByte(RingLock* lock, uint32_t* room) {
  if (lock->filled < lock->size1) {
    *room = lock->size1 - lock->filled;
    return lock->part1 + lock->filled;
  }
  uint32_t second = lock->filled - lock->size1;
  *room = lock->part2 && second < lock->size2 ? lock->size2 - second : 0;
  return *room ? lock->part2 + second : nullptr;
}

int LockRing(WaveBuffer* ring, uint32_t offset, uint32_t bytes, RingLock* lock) {
  void *part1, *part2 = nullptr;
  uint32_t size1, size2 = 0;
  if (LockWaveBuffer(ring, offset, bytes, &part1, &size1, &part2, &size2) != 0) return -1;
  *lock = {static_cast<uint8_t*>(part1), size1, static_cast<uint8_t*>(part2), size2, offset, 0};
  return 0;
}

void UnlockRing(WaveBuffer* ring, const RingLock& lock) {
  UnlockWaveBuffer(ring, lock.part1, lock.size1, lock.part2, lock.size2);
}

void SeekSource(SoundRecord* record, int64_t sample) {
  SeekSoundConverter(&record->sources[record->currentSource].converter, sample);
}

// The data has run out: silence behind it, and the refill stops writing.
int EndStreamData(SoundRecord* record, RingLock* lock, uint32_t cursor) {
  record->ending = 1;
  record->endPosition = RingOffset(record, lock);
  record->cursorAtEnd = cursor;
  record->travelSinceEnd = 0;
  WriteSoundSilence(record, lock, StreamUnitBytes(record->format));
  return -1;
}

// A restart that would deliver nothing since the last one would loop for
// ever without writing; such a sound ends instead.
int RestartStreamData(SoundRecord* record, RingLock* lock, uint32_t cursor, uint32_t restartSample) {
  if (!record->dataSinceRestart) return EndStreamData(record, lock, cursor);
  record->readPosition = static_cast<uint64_t>(restartSample) * record->format.blockAlign;
  record->loopRestartBytes = static_cast<uint32_t>(std::min<uint64_t>(record->readPosition, UINT32_MAX));
  record->wrapPending = 1;
  record->switchPosition = RingOffset(record, lock);
  record->dataSinceRestart = 0;
  SeekSource(record, restartSample);
  return 0;
}

// The current source has ended.
int AdvanceStreamSoundSource(SoundRecord* record, RingLock* lock, uint32_t cursor) {
  StreamSoundSource* source = &record->sources[record->currentSource];
  if (record->repetition < INT32_MAX) record->repetition++;
  if (source->loopCount == kStreamLoopEndless) return RestartStreamData(record, lock, cursor, source->loopStart);
  if (record->repetition <= source->loopCount) {
    record->readPosition = 0;
    SeekSource(record, 0);
    return 0;
  }
  record->repetition = 0;
  if (record->currentSource + 1 < record->sourceCount) {
    record->currentSource++;
    record->readPosition = 0;
    SeekSource(record, 0);
    return 0;
  }
  record->finished = 1;
  if (record->playType != 3) return EndStreamData(record, lock, cursor);
  record->currentSource = 0;
  return RestartStreamData(record, lock, cursor, 0);
}

void AdvanceWritePosition(SoundRecord* record, uint32_t amount) {
  int64_t write = static_cast<int64_t>(record->writePosition) + amount;
  if (write >= record->ringSize) write -= record->ringSize;
  int64_t start = write - StreamPrefillBytes(record->format);
  if (start < 0) start += record->ringSize;
  record->writePosition = static_cast<int32_t>(write);
  record->validDataStart = static_cast<int32_t>(start);
}

// The ending state: stop once the cursor has passed the end of the data,
// else keep silence ahead of it.
int RefillEnding(SoundRecord* record, WaveBuffer* ring, uint32_t cursor) {
  if (record->travelSinceEnd > Forward(record->cursorAtEnd, record->endPosition, record->ringSize)) {
    StopWaveBuffer(ring);
    record->ending = 0;
    return 0;
  }
  if (!CursorInWindow(record, cursor)) return -1;
  const uint32_t unit = StreamUnitBytes(record->format);
  RingLock lock;
  if (LockRing(ring, static_cast<uint32_t>(record->writePosition), unit, &lock) != 0) return -1;
  WriteSoundSilence(record, &lock, unit);
  UnlockRing(ring, lock);
  AdvanceWritePosition(record, unit);
  return 0;
}

}  // namespace

int UpdateStreamSoundPosition(int handle, int64_t cursor) {
  SoundRecord* record = FindSoundRecord(handle);
  WaveBuffer* ring = PlayingRing(handle, record);
  if (!ring) return 0;
  uint32_t position = static_cast<uint32_t>(cursor);
  if (cursor < 0 && GetWaveBufferPosition(ring, &position) != 0) return -1;
  MoveCursorTo(record, position);
  return 0;
}

uint32_t WriteStreamSoundData(RingLock* lock, SoundConverter* converter, uint32_t bytes) {
  uint32_t written = 0;
  while (written < bytes) {
    uint32_t room;
    uint8_t* next = NextByte(lock, &room);
    if (!next) break;
    int64_t got = ReadSoundConverterPcm(converter, next, std::min(room, bytes - written));
    if (got <= 0) break;
    lock->filled += static_cast<uint32_t>(got);
    written += static_cast<uint32_t>(got);
  }
  return written;
}

uint32_t WriteSoundSilence(const SoundRecord* record, RingLock* lock, uint32_t bytes) {
  const uint8_t silence = record->format.bitsPerSample == 8 ? 0x7F : 0;
  uint32_t written = 0;
  while (written < bytes) {
    uint32_t room;
    uint8_t* next = NextByte(lock, &room);
    if (!next) break;
    uint32_t n = std::min(room, bytes - written);
    std::memset(next, silence, n);
    lock->filled += n;
    written += n;
  }
  return written;
}

int RefillStreamSound(int handle) {
  if (!IsSoundSystemStarted()) return -1;
  SoundRecord* record = FindSoundRecord(handle);
  WaveBuffer* ring = PlayingRing(handle, record);
  if (!ring) return 0;
  uint32_t status, cursor;
  if (GetWaveBufferStatus(ring, &status) != 0 || GetWaveBufferPosition(ring, &cursor) != 0) return -1;
  MoveCursorTo(record, cursor);
  if (record->ending) return RefillEnding(record, ring, cursor);

  const WaveFormat& format = record->format;
  const bool prefill = !(status & kAudioStatusPlaying);
  uint32_t offset = 0, amount;
  if (prefill) {
    if (record->writePosition != kRingNotFilled) return 0;
    amount = StreamPrefillBytes(format);
  } else {
    if (!CursorInWindow(record, cursor)) return -1;
    uint64_t lead = Forward(cursor, static_cast<uint32_t>(record->writePosition), record->ringSize);
    int64_t lead128 = static_cast<int64_t>(lead * 128 / format.avgBytesPerSec);
    amount = lead128 < kTargetLead128
                 ? StreamWholeBlocks(static_cast<uint64_t>(kTargetLead128 - lead128) * format.avgBytesPerSec >> 7, format)
                 : StreamUnitBytes(format);
    offset = static_cast<uint32_t>(record->writePosition);
  }
  RingLock lock;
  if (amount == 0 || LockRing(ring, offset, amount, &lock) != 0) return amount == 0 ? 0 : -1;
  while (lock.filled < amount && !record->ending) {
    StreamSoundSource* source = &record->sources[record->currentSource];
    uint32_t written = WriteStreamSoundData(&lock, &source->converter, amount - lock.filled);
    if (written > 0) {
      record->readPosition += written;
      record->dataSinceRestart = 1;
    } else {
      AdvanceStreamSoundSource(record, &lock, cursor);
    }
  }
  UnlockRing(ring, lock);
  if (prefill) {
    record->validDataStart = 0;
    record->writePosition = static_cast<int32_t>(amount);
  } else {
    AdvanceWritePosition(record, amount);
  }
  return 0;
}

int RefillAllStreamSounds() {
  if (!IsSoundSystemStarted()) return -1;
  List* list = &g_soundSystem.streamSoundList;
  for (ListNode* node = ListFirst(list); node && !ListAtEnd(node); node = node->next) RefillStreamSound(node->handle);
  return 0;
}
