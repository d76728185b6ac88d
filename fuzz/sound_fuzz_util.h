// Shared by the sound decoder fuzz targets: opens a converter over the bytes
// and drives every operation, with the amounts bounded so a run stays short.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/memory.h"
#include "file/stream.h"
#include "sound/sound_converter.h"

inline void FuzzSoundConverter(const uint8_t* data, size_t size) {
  MemoryStream* memory = OpenMemoryStream(data, size);
  if (!memory) return;
  SoundConverter converter;
  if (OpenSoundConverter(MemoryStreamAccess(memory), &converter) == 0) {
    static uint8_t buffer[4099];
    int64_t total = 0;
    while (total < (1 << 22)) {
      int64_t got = ReadSoundConverterPcm(&converter, buffer, sizeof(buffer));
      if (got <= 0) break;
      total += got;
    }
    int64_t pcmSize = GetSoundConverterPcmSize(&converter);
    SeekSoundConverter(&converter, 7);
    ReadSoundConverterPcm(&converter, buffer, sizeof(buffer));
    converter.loopPoint = static_cast<uint64_t>(pcmSize / 2);
    SeekSoundConverter(&converter, pcmSize / 3 / (converter.format.blockAlign ? converter.format.blockAlign : 1));
    ReadSoundConverterPcm(&converter, buffer, sizeof(buffer));
    if (pcmSize >= 0 && pcmSize < (1 << 22)) {
      void* pcm = nullptr;
      size_t pcmBytes = 0;
      if (ConvertSoundToPcmMemory(&converter, nullptr, &pcm, &pcmBytes) == 0) MemFree(pcm);
    }
    CloseSoundConverter(&converter);
  }
  MemoryStreamClose(reinterpret_cast<StreamHandle>(memory));
}
