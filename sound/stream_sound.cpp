// Stream sounds: their sources, their ring (own or shared) and playing them.
#include "sound/stream_sound.h"

#include <algorithm>
#include <climits>

#include "core/core_api.h"
#include "core/log.h"
#include "core/memory.h"
#include "file/file_access.h"
#include "sound/sound_api.h"
#include "sound/sound_file.h"
#include "sound/sound_system.h"

namespace {

// A ring needs whole blocks and a refill unit of at least one block.
bool StreamableFormat(const WaveFormat& format) { return StreamUnitBytes(format) > 0; }

void CloseMemoryStream(MemoryStream*& memory) {
  if (memory) MemoryStreamClose(MemoryStreamAccess(memory).handle);
  memory = nullptr;
}

// The block becomes the source's own data, with a memory stream and a
// converter over it; on failure it is freed.
int OpenSourceOverData(StreamSoundSource* source, void* data, size_t size) {
  source->data = static_cast<uint8_t*>(data);
  source->dataSize = size;
  source->memory = OpenMemoryStream(data, size);
  if (source->memory && OpenSoundConverter(MemoryStreamAccess(source->memory), &source->converter) == 0) return 0;
  CloseMemoryStream(source->memory);
  MemFree(source->data);
  source->data = nullptr;
  return LogPrintf("音声データのオープンに失敗しました");
}

void CloseSource(StreamSoundSource* source, bool closeItsStream) {
  StreamAccess stream = source->converter.source;
  if (source->converter.openFlag) CloseSoundConverter(&source->converter);
  if (closeItsStream) StreamClose(stream);
  CloseMemoryStream(source->memory);
  MemFree(source->data);
  source->data = nullptr;
}

// The whole stream converted to PCM and kept as a WAV image.
int LoadPcmImage(const StreamAccess& stream, StreamSoundSource* source) {
  void* image;
  size_t size;
  if (LoadStreamToMemory(stream, &image, &size) != 0) return LogPrintf("音声データの読み込みに失敗しました");
  MemoryStream* memory = OpenMemoryStream(image, size);
  SoundConverter converter;
  WaveFormat format;
  void* pcm = nullptr;
  size_t pcmSize = 0;
  bool converted = false;
  if (memory && OpenSoundConverter(MemoryStreamAccess(memory), &converter) == 0) {
    converted = ConvertSoundToPcmMemory(&converter, &format, &pcm, &pcmSize) == 0;
    CloseSoundConverter(&converter);
  }
  CloseMemoryStream(memory);
  MemFree(image);
  if (!converted) return LogPrintf("音声データの変換に失敗しました");
  void* wav;
  size_t wavSize;
  int built = BuildWavImage(&wav, &wavSize, &format, kWaveFormatBytes, pcm, pcmSize);
  MemFree(pcm);
  if (built != 0) return LogPrintf("音声データの変換に失敗しました");
  return OpenSourceOverData(source, wav, wavSize);
}

int LoadFileImage(const StreamAccess& stream, StreamSoundSource* source) {
  void* image;
  size_t size;
  if (LoadStreamToMemory(stream, &image, &size) != 0) return LogPrintf("音声データの読み込みに失敗しました");
  return OpenSourceOverData(source, image, size);
}

// The ring for the first source: the shared one of shareHandle when that is
// a stream sound on its own ring with the same format, else a new one.
void SetUpRing(int handle, SoundRecord* record, int shareHandle) {
  SoundRecord* owner = shareHandle == -1 ? nullptr : GetSoundRecord(shareHandle);
  record->ringSize = StreamRingBytes(record->format);
  if (owner && owner != record && owner->kind == kSoundStream && owner->bufferOwner == -1 &&
      WaveFormatEquals(owner->format, record->format)) {
    record->kind = kSoundStream;
    record->bufferCount = 1;
    ListInsert(&g_soundSystem.streamSoundList, &record->node, handle, record);
    record->bufferOwner = shareHandle;
    owner->shareCount++;
  } else {
    CreateSoundHandleBuffers(&record->format, record->ringSize, kSoundStream, 1, handle);
    record->bufferOwner = -1;
  }
  record->shareCount = 0;
  record->currentPlayer = -1;
  record->ringUser = -1;
  record->deletePending = 0;
}

void RecountTotalSamples(SoundRecord* record) {
  int64_t total = 0;
  for (int i = 0; i < record->sourceCount; i++) {
    total += GetSoundConverterPcmSize(&record->sources[i].converter) / record->format.blockAlign;
  }
  record->totalSamples = total;
}

// Back to the very beginning of the first source.
void ResetStreamSound(SoundRecord* record) {
  record->readPosition = 0;
  record->playedBytes = 0;
  record->wrapPending = 0;
  record->repetition = 0;
  record->currentSource = 0;
  record->prepared = 0;
}

// A handle whose ring still stands at the start of its data.
bool NothingPlayed(const SoundRecord* record) {
  return record->prepared && record->playedBytes == 0 && record->lastCursor == 0;
}

}  // namespace

SoundRecord* StreamRingHolder(SoundRecord* record) {
  return record->bufferOwner == -1 ? record : FindSoundRecord(record->bufferOwner);
}

uint32_t StreamWholeBlocks(uint64_t bytes, const WaveFormat& format) {
  if (format.blockAlign == 0) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(bytes / format.blockAlign * format.blockAlign, UINT32_MAX));
}

uint32_t StreamRingBytes(const WaveFormat& format) { return StreamWholeBlocks(6ull * format.avgBytesPerSec, format); }
uint32_t StreamPrefillBytes(const WaveFormat& format) { return StreamWholeBlocks(4ull * format.avgBytesPerSec, format); }
uint32_t StreamUnitBytes(const WaveFormat& format) { return StreamWholeBlocks(format.avgBytesPerSec >> 3, format); }

int AddSreamSound(const StreamAccess& stream, int loopCount, int handle, int dataKind, int* openedOut,
                  int shareHandle) {
  SoundRecord* record = GetSoundRecord(handle);
  if (!record) return -1;
  if (record->sourceCount > 0 || record->bufferCount > 0) {
    if (record->kind != kSoundStream) {
      return LogWrite("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
    }
    if (CheckStreamSoundPlaying(handle) == 1) {
      return LogWrite("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
    }
  }
  if (record->sourceCount < 0 || record->sourceCount >= kMaxStreamSources) {
    return LogWrite("ストリーム風サウンドの制御データ領域がいっぱいです\n");
  }
  StreamSoundSource* source = &record->sources[record->sourceCount];
  *source = StreamSoundSource{};
  source->dataKind = dataKind;
  StreamSeek(stream, 0, 0);
  int opened = 1;
  switch (dataKind) {
    case kStreamDataPcmImage:
      if (LoadPcmImage(stream, source) != 0) return -1;
      break;
    case kStreamDataFileImage:
      if (LoadFileImage(stream, source) != 0) return -1;
      break;
    case kStreamDataOpenFile:
      if (OpenSoundConverter(stream, &source->converter) != 0) return LogPrintf("音声データのオープンに失敗しました");
      opened = 0;
      break;
    default:
      // Nothing says what such a source would hold, so none is made.
      return LogPrintf("音声データのオープンに失敗しました");
  }
  WaveFormat format;
  GetSoundConverterFormat(&source->converter, &format);
  if (record->sourceCount > 0 && !WaveFormatEquals(format, record->format)) {
    CloseSource(source, false);
    return LogPrintf("フォーマットの違う音声データは同時に使うことは出来ません");
  }
  if (record->sourceCount == 0) {
    if (!StreamableFormat(format)) {
      CloseSource(source, false);
      return LogPrintf("音声データのオープンに失敗しました");
    }
    record->format = format;
    SetUpRing(handle, record, shareHandle);
  }
  source->loopCount = static_cast<uint8_t>(std::clamp(loopCount, 0, 255));
  // A ring filled before this source came would never play it.
  if (record->sourceCount > 0) record->prepared = 0;
  record->sourceCount++;
  RecountTotalSamples(record);
  if (openedOut) *openedOut = opened;
  return 0;
}

int AddStreamSoundFile(const char* path, int loopCount, int handle, int dataKind, int shareHandle) {
  if (!path) return -1;
  FileAccessHandle file = FileAccessOpen(path, 0, 1, 0);
  if (file == 0) return LogPrintf("右記のＷＡＶファイルのロードに失敗しました：%s ", path);
  int opened = 0;
  if (AddSreamSound(FileStreamAccess(file), loopCount, handle, dataKind, &opened, shareHandle) != 0) {
    FileAccessClose(file);
    return LogPrintf("右記のＷＡＶファイルのセットアップに失敗しました：%s ", path);
  }
  if (opened) FileAccessClose(file);
  SoundRecord* record = GetSoundRecord(handle);
  record->openedByLibrary[record->sourceCount - 1] = 1;
  return 0;
}

int AddStreamSoundMemory(const void* fileImage, size_t size, int loopCount, int handle, int dataKind,
                         int shareHandle) {
  if (!fileImage && size > 0) return -1;
  MemoryStream* memory = OpenMemoryStream(fileImage, size);
  if (!memory) return LogWrite("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
  if (dataKind == kStreamDataOpenFile) dataKind = kStreamDataFileImage;
  int opened = 0;
  int result = AddSreamSound(MemoryStreamAccess(memory), loopCount, handle, dataKind, &opened, shareHandle);
  // Every kind kept here holds its own copy, so the caller's image is free again.
  CloseMemoryStream(memory);
  if (result != 0) return LogWrite("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
  SoundRecord* record = GetSoundRecord(handle);
  record->openedByLibrary[record->sourceCount - 1] = 1;
  return 0;
}

int GetStreamSoundBuffer(int handle, SoundRecord* record, WaveBuffer** bufferOut, int takeOver) {
  if (!record) return -1;
  if (record->kind != kSoundStream) {
    *bufferOut = &record->buffers[0];
    return 0;
  }
  SoundRecord* holder = StreamRingHolder(record);
  if (!holder) return -1;
  *bufferOut = &holder->buffers[0];
  if (holder->currentPlayer == handle) return 0;
  if (holder->currentPlayer != -1) {
    if (!takeOver) return -1;
    StopStreamSound(holder->currentPlayer);
  }
  holder->currentPlayer = handle;
  return 0;
}

int PrepareStreamSoundPlayback(int handle) {
  SoundRecord* record = FindSoundRecord(handle);
  if (!record || record->kind != kSoundStream || record->sourceCount == 0) return -1;
  WaveBuffer* ring;
  uint32_t status;
  if (GetStreamSoundBuffer(handle, record, &ring, 0) != 0 || GetWaveBufferStatus(ring, &status) != 0) return -1;
  if ((status & kAudioStatusPlaying) || record->prepared) return 0;
  // The ring is about to hold this handle's data: whoever filled it before
  // must fill it again before it plays.
  SoundRecord* holder = StreamRingHolder(record);
  if (holder->ringUser != handle && holder->ringUser != -1) {
    if (SoundRecord* previous = FindSoundRecord(holder->ringUser)) previous->prepared = 0;
  }
  holder->ringUser = handle;
  SetWaveBufferPosition(ring, 0);
  record->writePosition = kRingNotFilled;
  record->validDataStart = -1;
  record->lastCursor = 0;
  record->ending = 0;
  record->dataSinceRestart = 0;
  StreamSoundSource* source = &record->sources[record->currentSource];
  SeekSoundConverter(&source->converter, static_cast<int64_t>(record->readPosition / record->format.blockAlign));
  record->prepared = 1;
  RefillStreamSound(handle);
  return 0;
}

int PlayStreamSound(int handle, int playType, int topPositionFlag) {
  SoundRecord* record = FindSoundRecord(handle);
  WaveBuffer* ring;
  if (!record || GetStreamSoundBuffer(handle, record, &ring, 1) != 0) return -1;
  if (topPositionFlag == 0 && CheckStreamSoundPlaying(handle) == 1) return 0;
  StopStreamSound(handle);
  if (((playType ^ record->playType) & 2) != 0 && record->finished) ResetStreamSound(record);
  if (topPositionFlag == 1) {
    record->finished = 0;
    if (!NothingPlayed(record)) ResetStreamSound(record);
  }
  record->playType = playType;
  PrepareStreamSoundPlayback(handle);
  if (GetStreamSoundBuffer(handle, record, &ring, 0) != 0) return -1;
  PlayWaveBuffer(ring, 1);
  record->playStartTime = GetMilliCount();
  if (playType == 0) WaitWhileSoundPlaying(handle, false);
  return 0;
}

int StopStreamSound(int handle) {
  SoundRecord* record = FindSoundRecord(handle);
  if (!record || record->kind != kSoundStream) return -1;
  UpdateStreamSoundPosition(handle, -1);
  SoundRecord* holder = StreamRingHolder(record);
  if (!holder || holder->currentPlayer != handle) return 0;
  if (record->bufferOwner != -1) holder->currentPlayer = -1;
  uint32_t status;
  if (GetWaveBufferStatus(&holder->buffers[0], &status) != 0) return -1;
  if (status & kAudioStatusPlaying) StopWaveBuffer(&holder->buffers[0]);
  return 0;
}

int CheckStreamSoundPlaying(int handle) {
  SoundRecord* record = FindSoundRecord(handle);
  WaveBuffer* ring;
  uint32_t status;
  if (!record || GetStreamSoundBuffer(handle, record, &ring, 0) != 0) return 0;
  if (GetWaveBufferStatus(ring, &status) != 0) return 0;
  return (status & kAudioStatusPlaying) ? 1 : 0;
}

int GetStreamSoundPlayTime(int handle) {
  SoundRecord* record = FindSoundRecord(handle);
  if (!record || record->format.avgBytesPerSec == 0) return -1;
  UpdateStreamSoundPosition(handle, -1);
  double ms = static_cast<double>(record->playedBytes) / record->format.avgBytesPerSec * 1000.0;
  int64_t total = record->format.samplesPerSec ? record->totalSamples * 1000 / record->format.samplesPerSec : 0;
  return static_cast<int>(std::min<double>(ms, static_cast<double>(std::min<int64_t>(total, INT_MAX))));
}

int DeleteStreamSound(int handle, SoundRecord* record) {
  StopStreamSound(handle);
  if (record->bufferOwner != -1) {
    int ownerHandle = record->bufferOwner;
    record->bufferOwner = -1;
    if (SoundRecord* owner = FindSoundRecord(ownerHandle)) {
      owner->shareCount--;
      if (owner->currentPlayer == handle) owner->currentPlayer = -1;
      if (owner->ringUser == handle) owner->ringUser = -1;
      // The owner's record waited only for its last sharer.
      if (owner != record && owner->deletePending && owner->shareCount <= 0) DeleteSoundRecord(ownerHandle);
    }
  }
  if (record->shareCount != 0) {
    record->deletePending = 1;
    if (record->currentPlayer == handle) record->currentPlayer = -1;
    if (record->ringUser == handle) record->ringUser = -1;
    return 1;
  }
  ListUnlink(&record->node);
  for (int i = 0; i < record->sourceCount; i++) {
    StreamSoundSource* source = &record->sources[i];
    CloseSource(source, record->openedByLibrary[i] && source->dataKind == kStreamDataOpenFile);
  }
  record->sourceCount = 0;
  if (record->buffers[0].inUse) ReleaseWaveBuffer(&record->buffers[0]);
  return 0;
}
