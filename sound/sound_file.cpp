#include "sound/sound_file.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "file/file_access.h"
#include "sound/sound_stream_util.h"

namespace {

// Size by seeking to the end, one block, one read; -1 when the block cannot be had.
int ReadWholeStream(const StreamAccess& source, void** dataOut, size_t* sizeOut) {
  int64_t size = StreamLength(source);
  void* data = size >= 0 ? VN_ALLOC(size > 0 ? static_cast<size_t>(size) : 1) : nullptr;
  if (!data) return -1;
  *sizeOut = StreamRead(source, data, 1, static_cast<size_t>(size));
  *dataOut = data;
  return 0;
}

}  // namespace

int LoadFileToMemory(const char* path, void** dataOut, size_t* sizeOut) {
  if (!path || !dataOut || !sizeOut) return -1;
  FileAccessHandle file = FileAccessOpen(path, 0, 1, 0);
  if (file == 0) return LogPrintf("右記のファイルのオープンに失敗しました：%s", path);
  int result = ReadWholeStream(FileStreamAccess(file), dataOut, sizeOut);
  if (result != 0) LogPrintf("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
  FileAccessClose(file);
  return result;
}

int LoadStreamToMemory(const StreamAccess& source, void** dataOut, size_t* sizeOut) {
  if (!dataOut || !sizeOut) return -1;
  if (ReadWholeStream(source, dataOut, sizeOut) != 0)
    return LogPrintf("ストリームの読み込みに必要なメモリの確保に失敗しました");
  return 0;
}

void WriteWavHeader(uint8_t* out, const WaveFormat& format, uint32_t formatSize, uint32_t dataSize) {
  uint8_t formatBytes[kWaveFormatBytes];
  WaveFormatToBytes(format, formatBytes);
  std::memcpy(out, "RIFF", 4);
  WriteLe32(out + 4, 20 + formatSize + dataSize);
  std::memcpy(out + 8, "WAVEfmt ", 8);
  WriteLe32(out + 16, formatSize);
  std::memcpy(out + 20, formatBytes, formatSize);
  std::memcpy(out + 20 + formatSize, "data", 4);
  WriteLe32(out + 24 + formatSize, dataSize);
}

int BuildWavImage(void** imageOut, size_t* sizeOut, const WaveFormat* format, uint32_t formatSize, const void* data,
                  size_t dataSize) {
  if (!imageOut || !sizeOut || !format || formatSize < 16 || formatSize > kWaveFormatBytes || (dataSize > 0 && !data))
    return -1;
  uint64_t total = 28ull + formatSize + dataSize;
  if (total - 8 > UINT32_MAX) return -1;
  auto* image = static_cast<uint8_t*>(VN_ALLOC(static_cast<size_t>(total)));
  if (!image) return -1;
  WriteWavHeader(image, *format, formatSize, static_cast<uint32_t>(dataSize));
  if (dataSize > 0) std::memcpy(image + 28 + formatSize, data, dataSize);
  *imageOut = image;
  *sizeOut = static_cast<size_t>(total);
  return 0;
}
