// Loading, playing and querying sounds; whole sounds here, stream sounds
// passed on to the stream layer.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "core/core_api.h"
#include "core/log.h"
#include "core/memory.h"
#include "platform/timer.h"
#include "sound/sound_api.h"
#include "sound/sound_file.h"
#include "sound/sound_handle.h"
#include "sound/sound_system.h"
#include "sound/stream_sound.h"

namespace {

constexpr uint32_t kWholeBufferFlags = kAudioBufferCtrlVolume | kAudioBufferCtrlPan | kAudioBufferCtrlFrequency |
                                       kAudioBufferStatic | kAudioBufferGetCurrentPosition2;
constexpr uint32_t kWholeBufferFallbackFlags = kAudioBufferCtrlVolume | kAudioBufferCtrlPan | kAudioBufferStatic;
constexpr uint32_t kStreamBufferFlags = kAudioBufferGlobalFocus | kWholeBufferFlags;

bool IsPlaying(WaveBuffer* buffer) {
  uint32_t status = 0;
  return GetWaveBufferStatus(buffer, &status) == 0 && (status & kAudioStatusPlaying) != 0;
}

int CreateWholeSoundBuffers(SoundRecord* record, const WaveFormat* format, uint32_t byteSize, int bufferCount) {
  if (bufferCount < 1 || bufferCount > kMaxSoundBuffers) return -1;
  AudioBufferDesc description = {kWholeBufferFlags, byteSize, format};
  if (CreateWaveBuffer(&record->buffers[0], &description) != 0) {
    description.flags = kWholeBufferFallbackFlags;
    if (CreateWaveBuffer(&record->buffers[0], &description) != 0) {
      FatalErrorExit("DirectSoundBuffer の作成に失敗しました");
    }
  }
  int made = 1;
  while (made < bufferCount && DuplicateWaveBuffer(&record->buffers[0], &record->buffers[made]) == 0) made++;
  std::memset(record->dataPresent, 0, sizeof(record->dataPresent));
  record->bufferCount = made;
  record->kind = kSoundWhole;
  return 0;
}

int CopyPcmIntoBuffers(SoundRecord* record) {
  for (int i = 0; i < record->bufferCount; i++) {
    if (record->dataPresent[i] == 1) continue;
    void *part1, *part2;
    uint32_t size1, size2;
    if (LockWaveBuffer(&record->buffers[i], 0, record->pcmSize, &part1, &size1, &part2, &size2) != 0) {
      return LogPrintf("サウンドデータの転送に失敗しました_1");
    }
    std::memcpy(part1, record->pcm, size1);
    if (part2) std::memcpy(part2, record->pcm + size1, size2);
    if (UnlockWaveBuffer(&record->buffers[i], part1, size1, part2, size2) != 0) {
      return LogPrintf("サウンドデータの転送に失敗しました_2");
    }
  }
  return 0;
}

// The whole PCM of a file image, or -1 with its log line.
int ConvertImageToPcm(const void* fileImage, size_t size, WaveFormat* format, void** pcm, size_t* pcmSize) {
  MemoryStream* memory = OpenMemoryStream(fileImage, size);
  SoundConverter converter;
  if (!memory || OpenSoundConverter(MemoryStreamAccess(memory), &converter) != 0) {
    if (memory) MemoryStreamClose(MemoryStreamAccess(memory).handle);
    return LogPrintf("音声ファイルのＰＣＭへの変換に失敗しました");
  }
  int result = ConvertSoundToPcmMemory(&converter, format, pcm, pcmSize);
  CloseSoundConverter(&converter);
  MemoryStreamClose(MemoryStreamAccess(memory).handle);
  if (result != 0 || *pcmSize > UINT32_MAX) {
    if (result == 0) MemFree(*pcm);
    return LogPrintf("音声ファイルを格納するメモリ領域の確保に失敗しました");
  }
  return 0;
}

// A new stream sound over a file image or a file: prepared, or deleted.
int FinishStreamSound(int handle, int added) {
  if (added != 0) {
    DeleteSoundRecord(handle);
    return -1;
  }
  PrepareStreamSoundPlayback(handle);
  return handle;
}

int64_t TotalSamplesOf(const SoundRecord* record) {
  if (record->kind == kSoundStream) return record->totalSamples;
  if (record->kind == kSoundWhole && record->format.blockAlign) return record->pcmSize / record->format.blockAlign;
  return 0;
}

// A whole sound becomes a stream sound of its own PCM under the same handle.
int TurnIntoStreamSound(int handle, SoundRecord* record) {
  void* image;
  size_t size;
  if (BuildWavImage(&image, &size, &record->format, kWaveFormatBytes, record->pcm, record->pcmSize) != 0) {
    return LogWrite("ストリームサウンドハンドルの作成に失敗しました\n");
  }
  StopSoundHandle(handle);
  DeleteSoundRecord(handle);
  int result = -1;
  if (AddSoundData(handle) == handle) {
    MemoryStream* memory = OpenMemoryStream(image, size);
    int opened = 0;
    if (memory) {
      result = AddSreamSound(MemoryStreamAccess(memory), 0, handle, kStreamDataPcmImage, &opened, -1);
      MemoryStreamClose(MemoryStreamAccess(memory).handle);
    }
    if (result != 0) {
      LogWrite("ストリームサウンドハンドルの作成に失敗しました\n");
      DeleteSoundRecord(handle);
    }
  }
  MemFree(image);
  return result;
}

}  // namespace

void WaitWhileSoundPlaying(int handle, bool sleep) {
  int alive = ProcessWindowMessages();
  while (alive == 0 && CheckSoundHandlePlaying(handle) == 1) {
    if (sleep) PlatformSleepMs(1);
    alive = ProcessWindowMessages();
  }
}

int CreateSoundHandleBuffers(const WaveFormat* format, uint32_t byteSize, int kind, int bufferCount, int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record || !format) return -1;
  if (kind == kSoundWhole) return CreateWholeSoundBuffers(record, format, byteSize, bufferCount);
  if (kind != kSoundStream) return -1;
  AudioBufferDesc description = {kStreamBufferFlags, byteSize, format};
  if (CreateWaveBuffer(&record->buffers[0], &description) != 0) {
    FatalErrorExit("ストリーム風サウンドバッファの作成に失敗しました");
  }
  record->bufferCount = 1;
  record->kind = kSoundStream;
  ListInsert(&g_soundSystem.streamSoundList, &record->node, handle, record);
  return 0;
}

int StopSoundHandleBuffers(SoundRecord* record) {
  for (int i = 0; i < record->bufferCount; i++) {
    uint32_t status;
    if (GetWaveBufferStatus(&record->buffers[i], &status) != 0) return -1;
    if (status & kAudioStatusPlaying) StopWaveBuffer(&record->buffers[i]);
  }
  return 0;
}

int LoadSoundFile(const char* path, int bufferCount, int shareHandle) {
  if (!IsSoundSystemStarted() || !path) return -1;
  const int mode = g_soundSystem.createSoundMode;
  if (mode != 0) {
    int handle = AddSoundData(-1);
    if (handle == -1) return -1;
    return FinishStreamSound(handle, AddStreamSoundFile(path, 0, handle, mode, shareHandle));
  }
  void* image;
  size_t size;
  if (LoadFileToMemory(path, &image, &size) != 0) return LogPrintf("右記の音声ファイルのロードに失敗しました_1：%s", path);
  int handle = LoadWholeSound(image, size, std::min(bufferCount, kMaxSoundBuffers), -1);
  if (handle == -1) LogPrintf("右記の音声ファイルのロードに失敗しました_2：%s", path);
  MemFree(image);
  return handle;
}

int LoadWholeSound(const void* fileImage, size_t size, int bufferCount, int shareHandle) {
  if (!IsSoundSystemStarted() || (!fileImage && size > 0)) return -1;
  const int mode = g_soundSystem.createSoundMode;
  // Below one buffer the play index would have nothing to walk over.
  if (bufferCount > kMaxSoundBuffers || (mode == 0 && bufferCount < 1)) return -1;
  int handle = AddSoundData(-1);
  if (handle == -1) return -1;
  if (mode != 0) return FinishStreamSound(handle, AddStreamSoundMemory(fileImage, size, 0, handle, mode, shareHandle));

  WaveFormat format;
  void* pcm;
  size_t pcmSize;
  if (ConvertImageToPcm(fileImage, size, &format, &pcm, &pcmSize) != 0) {
    DeleteSoundRecord(handle);
    return -1;
  }
  SoundRecord* record = GetSoundRecord(handle);
  record->pcm = static_cast<uint8_t*>(pcm);
  record->pcmSize = static_cast<uint32_t>(pcmSize);
  record->format = format;
  if (CreateSoundHandleBuffers(&format, record->pcmSize, kSoundWhole, bufferCount, handle) != 0 ||
      CopyPcmIntoBuffers(record) != 0) {
    DeleteSoundRecord(handle);
    return -1;
  }
  return handle;
}

int PlaySoundHandle(int handle, int playType, int topPositionFlag) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (record->kind == kSoundStream) return PlayStreamSound(handle, playType, topPositionFlag);

  uint32_t resume = 0;
  if (record->buffers[record->currentBuffer].inUse) GetWaveBufferPosition(&record->buffers[record->currentBuffer], &resume);
  int index = record->currentBuffer + 1;
  if (index >= record->bufferCount) index = 0;
  record->currentBuffer = index;
  WaveBuffer* buffer = &record->buffers[index];
  uint32_t status;
  if (GetWaveBufferStatus(buffer, &status) != 0) return -1;
  if (status & kAudioStatusPlaying) {
    if (topPositionFlag == 0) return 0;
    StopWaveBuffer(buffer);
  }
  SetWaveBufferPosition(buffer, topPositionFlag == 1 ? 0 : resume);
  if (PlayWaveBuffer(buffer, playType == 3 ? 1 : 0) != 0) return -1;
  record->playStartTime = GetMilliCount();
  if (playType == 0) WaitWhileSoundPlaying(handle, true);
  return 0;
}

int StopSoundHandle(int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (record->kind == kSoundStream) return StopStreamSound(handle);
  return StopSoundHandleBuffers(record);
}

int CheckSoundHandlePlaying(int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (record->kind == kSoundStream) return CheckStreamSoundPlaying(handle);
  for (int i = 0; i < record->bufferCount; i++) {
    if (IsPlaying(&record->buffers[i])) return 1;
  }
  return 0;
}

int SetSoundVolume(int volume, int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (volume > 255) volume = 255;
  int32_t level = -10000;
  if (volume > 0) level = std::max(-10000, static_cast<int32_t>(1000.0 * std::log10(volume / 255.0)));
  for (int i = 0; i < record->bufferCount; i++) {
    if (record->buffers[i].inUse) SetWaveBufferVolume(&record->buffers[i], level);
  }
  return 0;
}

int SetSoundPan(int pan, int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  pan = std::clamp(pan, -10000, 10000);
  for (int i = 0; i < record->bufferCount; i++) {
    if (record->buffers[i].inUse) SetWaveBufferPan(&record->buffers[i], pan);
  }
  return 0;
}

int SetSoundLoopPosition(int sample, int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record || sample < 0 || sample >= TotalSamplesOf(record)) return -1;
  if (record->kind == kSoundWhole) {
    if (TurnIntoStreamSound(handle, record) != 0) return -1;
    record = GetSoundRecord(handle);
  }
  if (record->sourceCount >= 2) {
    return LogWrite("二つ以上の音声ファイルから作成されたサウンドハンドルにループポイントを指定する事は出来ません\n");
  }
  StreamSoundSource* source = &record->sources[0];
  source->loopStart = static_cast<uint32_t>(sample);
  source->converter.loopPoint = static_cast<uint64_t>(sample) * source->converter.format.blockAlign;
  source->loopCount = kStreamLoopEndless;
  // A ring filled before may already hold the end of a sound that now loops.
  if (CheckStreamSoundPlaying(handle) != 1) record->prepared = 0;
  return 0;
}

int SetSoundLoopPositionMs(int milliseconds, int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record || milliseconds < 0) return -1;
  double sample = static_cast<double>(record->format.samplesPerSec) * milliseconds * 0.001;
  // A position beyond any sample fails inside, like one just past the end.
  SetSoundLoopPosition(sample < INT_MAX ? static_cast<int>(sample) : INT_MAX, handle);
  return 0;
}

int GetSoundTotalSamples(int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  return static_cast<int>(std::min<int64_t>(TotalSamplesOf(record), INT_MAX));
}

int GetSoundTotalTime(int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record || record->format.samplesPerSec == 0) return -1;
  return static_cast<int>(std::min<int64_t>(TotalSamplesOf(record) * 1000 / record->format.samplesPerSec, INT_MAX));
}

int GetSoundCurrentTime(int handle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (record->kind == kSoundStream) return GetStreamSoundPlayTime(handle);
  uint32_t cursor;
  const WaveFormat& f = record->format;
  if (f.blockAlign == 0 || f.samplesPerSec == 0 ||
      GetWaveBufferPosition(&record->buffers[record->currentBuffer], &cursor) != 0) {
    return -1;
  }
  return static_cast<int>(cursor * 1000.0 / (static_cast<double>(f.blockAlign) * f.samplesPerSec));
}
