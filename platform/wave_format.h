// The sound format record shared by the decoders, the codecs and the audio
// device: the fields of a RIFF WAVE "fmt " chunk followed by the extra size.
// On disk and in byte comparisons it is 18 little-endian bytes; in memory it
// is a plain struct (its size is not 18), so use the byte helpers below.
#pragma once
#include <cstddef>
#include <cstdint>

struct WaveFormat {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
  uint16_t extraSize;
};

constexpr size_t kWaveFormatBytes = 18;
constexpr uint16_t kWaveFormatPcm = 1;
// The highest sample rate the audio device mixes; decoders refuse higher ones.
constexpr uint32_t kWaveFormatMaxRate = 768000;

inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline void WriteLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The 18 bytes of the record.
inline void WaveFormatToBytes(const WaveFormat& f, uint8_t out[kWaveFormatBytes]) {
  WriteLe16(out + 0, f.formatTag);
  WriteLe16(out + 2, f.channels);
  WriteLe32(out + 4, f.samplesPerSec);
  WriteLe32(out + 8, f.avgBytesPerSec);
  WriteLe16(out + 12, f.blockAlign);
  WriteLe16(out + 14, f.bitsPerSample);
  WriteLe16(out + 16, f.extraSize);
}

// Reads at least 16 bytes; with fewer than 18 the extra size is 0.
inline WaveFormat WaveFormatFromBytes(const uint8_t* bytes, size_t size) {
  WaveFormat f{};
  if (size < 16) return f;
  f.formatTag = ReadLe16(bytes + 0);
  f.channels = ReadLe16(bytes + 2);
  f.samplesPerSec = ReadLe32(bytes + 4);
  f.avgBytesPerSec = ReadLe32(bytes + 8);
  f.blockAlign = ReadLe16(bytes + 12);
  f.bitsPerSample = ReadLe16(bytes + 14);
  f.extraSize = size >= 18 ? ReadLe16(bytes + 16) : 0;
  return f;
}

// Plain PCM: the block and byte rate follow from the channels and bits.
constexpr WaveFormat PcmWaveFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample) {
  const auto blockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
  return {kWaveFormatPcm, channels, samplesPerSec, samplesPerSec * blockAlign, blockAlign, bitsPerSample, 0};
}

// Byte-for-byte equality of the 18-byte forms.
inline bool WaveFormatEquals(const WaveFormat& a, const WaveFormat& b) {
  return a.formatTag == b.formatTag && a.channels == b.channels && a.samplesPerSec == b.samplesPerSec &&
         a.avgBytesPerSec == b.avgBytesPerSec && a.blockAlign == b.blockAlign && a.bitsPerSample == b.bitsPerSample &&
         a.extraSize == b.extraSize;
}
