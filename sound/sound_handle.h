// The sound table and the record behind every sound handle, shared by the
// whole sounds and the stream sounds.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/handle.h"
#include "core/list.h"
#include "file/stream.h"
#include "platform/wave_format.h"
#include "sound/sound_converter.h"
#include "sound/wave_buffer.h"

constexpr int kMaxSoundHandles = 4096;
constexpr int kMaxSoundBuffers = 10;
constexpr int kMaxStreamSources = 3;

enum SoundKind : int32_t {
  kSoundWhole = 0,
  kSoundStream = 1,
};

// Where a stream source's data lives.
enum StreamDataKind : int32_t {
  kStreamDataPcmImage = 0,   // converted whole, kept as a WAV image
  kStreamDataNone = 1,       // holds nothing: refused when added
  kStreamDataFileImage = 2,  // the file image, decoded while playing
  kStreamDataOpenFile = 3,   // decoded from the open file while playing
};

// A source plays loopCount + 1 times; this count plays it endlessly,
// restarting at its loop start.
constexpr uint8_t kStreamLoopEndless = 255;

struct StreamSoundSource {
  uint8_t loopCount;
  int32_t dataKind;
  uint8_t* data;  // owned; null for data kind 3
  size_t dataSize;
  MemoryStream* memory;  // over data; null for data kind 3
  uint32_t loopStart;    // in samples
  SoundConverter converter;
};

struct SoundRecord {
  WaveBuffer buffers[kMaxSoundBuffers];  // a stream sound uses only the first
  WaveFormat format;
  int32_t kind;
  int32_t playType;        // of the last play of a stream sound
  uint32_t playStartTime;  // GetMilliCount of the last successful play

  // Stream sounds.
  int32_t bufferOwner;    // handle whose ring this one plays on; -1 its own
  int32_t shareCount;     // handles playing on this one's ring
  int32_t currentPlayer;  // handle using this (owner's) ring now; -1 none
  int32_t ringUser;       // handle whose data the ring holds; -1 none
  int32_t deletePending;  // deleted while others still share its ring
  uint32_t ringSize;
  int32_t writePosition;   // kRingNotFilled until the pre-fill
  int32_t validDataStart;  // -1 before the pre-fill
  StreamSoundSource sources[kMaxStreamSources];
  uint8_t openedByLibrary[kMaxStreamSources];
  int32_t sourceCount;
  int32_t currentSource;
  int32_t repetition;
  uint64_t readPosition;  // bytes of the current source read into the ring
  int64_t totalSamples;
  uint64_t playedBytes;
  uint32_t lastCursor;
  uint8_t prepared;
  uint8_t ending;
  uint8_t wrapPending;
  uint8_t finished;
  uint8_t dataSinceRestart;  // a byte was written since the last loop restart
  uint32_t loopRestartBytes;
  uint32_t endPosition;
  uint32_t cursorAtEnd;
  uint32_t travelSinceEnd;  // cursor movement since the data ended
  uint32_t switchPosition;
  ListNode node;

  // Whole sounds.
  uint32_t pcmSize;
  uint8_t* pcm;  // owned
  uint8_t dataPresent[kMaxSoundBuffers];
  int32_t bufferCount;
  int32_t currentBuffer;
};

// The record of a live handle (not deleted, nor waiting for its sharers),
// null otherwise or while the sound system is not started.
SoundRecord* GetSoundRecord(int handle);
// Also finds a record whose deletion waits for its sharers.
SoundRecord* FindSoundRecord(int handle);

// A new record in a free slot with -1; with the value of a deleted handle,
// the same handle rebuilt in its slot. The handle, or -1.
int AddSoundData(int handle);
// The buffers of a handle: kind 0 bufferCount whole-sound buffers, kind 1
// the stream ring. 0 or -1.
int CreateSoundHandleBuffers(const WaveFormat* format, uint32_t byteSize, int kind, int bufferCount, int handle);
// Stops every playing buffer of a whole sound; -1 when a status cannot be read.
int StopSoundHandleBuffers(SoundRecord* record);
// Frees the record and its slot, whatever it still holds.
void FreeSoundSlot(int handle);
// Deletes the handle even when its record waits for sharers. 0 or -1.
int DeleteSoundRecord(int handle);
// Play type 0's wait: window messages are processed until the sound has
// ended or the window is gone; whole sounds sleep 1 ms between passes,
// stream sounds do not.
void WaitWhileSoundPlaying(int handle, bool sleep);

// Number of live records, and one past the highest occupied slot.
int GetSoundHandleCount();
int GetSoundHandleHighWater();
