// Stream sounds: one ring buffer of six seconds kept three to four seconds
// ahead of its play cursor by a refill on every pass of the message loop,
// fed from one to three sources played one after another.
#pragma once
#include <cstddef>
#include <cstdint>

#include "file/stream.h"
#include "sound/sound_handle.h"

// The write position of a ring that has not been pre-filled yet.
constexpr int32_t kRingNotFilled = -800;

// The locked piece(s) of a ring and how much of them has been written.
struct RingLock {
  uint8_t* part1;
  uint32_t size1;
  uint8_t* part2;
  uint32_t size2;
  uint32_t offset;  // ring offset of the first locked byte
  uint32_t filled;
};

// Adds a source to the handle (the first one makes the ring, or joins the
// ring of shareHandle). openedOut receives 1 when the source keeps its own
// copy of the data, so the caller may close its stream. 0 or -1.
int AddSreamSound(const StreamAccess& source, int loopCount, int handle, int dataKind, int* openedOut,
                  int shareHandle);
int AddStreamSoundFile(const char* path, int loopCount, int handle, int dataKind, int shareHandle);
// The image stays the caller's; data kind 3 becomes 2.
int AddStreamSoundMemory(const void* fileImage, size_t size, int loopCount, int handle, int dataKind,
                         int shareHandle);

// Pre-fills the ring of a stream sound that is not prepared yet.
int PrepareStreamSoundPlayback(int handle);
int PlayStreamSound(int handle, int playType, int topPositionFlag);
int StopStreamSound(int handle);
int CheckStreamSoundPlaying(int handle);
int GetStreamSoundPlayTime(int handle);  // milliseconds
// Counts the bytes played up to the cursor (-1: read it from the ring).
int UpdateStreamSoundPosition(int handle, int64_t cursor);
// The per-pass work. 0, or -1 when the sound system is not started (or the
// cursor has left the written window, for one sound).
int RefillStreamSound(int handle);
int RefillAllStreamSounds();

// The ring the handle plays on; takeOver 1 stops another handle using it.
// 0 with the ring claimed for the handle, -1 when it is busy.
int GetStreamSoundBuffer(int handle, SoundRecord* record, WaveBuffer** bufferOut, int takeOver);
// Bytes written into the lock from the converter (up to bytes; stops at the
// first read that gives nothing).
uint32_t WriteStreamSoundData(RingLock* lock, SoundConverter* converter, uint32_t bytes);
// Fills up to bytes of the rest of the lock with silence.
uint32_t WriteSoundSilence(const SoundRecord* record, RingLock* lock, uint32_t bytes);

// The stream part of deleting a handle: 1 when the record must stay for its
// sharers (then flagged), else 0 with its sources and ring released.
int DeleteStreamSound(int handle, SoundRecord* record);

// The record whose ring a stream sound plays on: its own, or its owner's
// (null when the owner is gone).
SoundRecord* StreamRingHolder(SoundRecord* record);

// Sizes derived from a format, rounded down to whole blocks.
uint32_t StreamWholeBlocks(uint64_t bytes, const WaveFormat& format);
uint32_t StreamRingBytes(const WaveFormat& format);
uint32_t StreamPrefillBytes(const WaveFormat& format);
uint32_t StreamUnitBytes(const WaveFormat& format);
