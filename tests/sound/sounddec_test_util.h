// Helpers of the decoder tests: byte builders, memory streams, test files.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/memory.h"
#include "file/stream.h"
#include "platform/wave_format.h"
#include "sound/sound_converter.h"

namespace sounddec_test {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline void PutId(Bytes& b, const char* id) {
  for (int i = 0; i < 4; i++) b.push_back(static_cast<uint8_t>(id[i]));
}
inline void PutChunk(Bytes& b, const char* id, const Bytes& body, bool pad = true) {
  PutId(b, id);
  Put32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (pad && (body.size() & 1)) b.push_back(0);
}
inline Bytes FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg, uint16_t align, uint16_t bits) {
  Bytes f;
  Put16(f, tag);
  Put16(f, channels);
  Put32(f, rate);
  Put32(f, avg);
  Put16(f, align);
  Put16(f, bits);
  return f;
}
// "RIFF" size "WAVE" followed by the chunks given as they are.
inline Bytes Riff(const Bytes& chunks) {
  Bytes b;
  PutId(b, "RIFF");
  Put32(b, static_cast<uint32_t>(chunks.size() + 4));
  PutId(b, "WAVE");
  b.insert(b.end(), chunks.begin(), chunks.end());
  return b;
}
// A plain PCM file: 18-byte fmt chunk and a data chunk.
inline Bytes PcmWav(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& data) {
  uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  Bytes fmt = FmtBody(1, channels, rate, rate * align, align, bits);
  Put16(fmt, 0);
  Bytes chunks;
  PutChunk(chunks, "fmt ", fmt);
  PutChunk(chunks, "data", data);
  return Riff(chunks);
}

inline Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline Bytes ReadTestFile(const std::string& name) { return ReadFileBytes(std::string(VARNOK_TEST_DATA) + "/sound/" + name); }
// The files tools/make_test_sounds.cpp makes at build time.
inline Bytes ReadMadeFile(const std::string& name) { return ReadFileBytes(std::string(VARNOK_SOUND_DATA) + "/" + name); }

inline std::vector<int16_t> ToSamples(const uint8_t* pcm, size_t bytes) {
  std::vector<int16_t> s(bytes / 2);
  for (size_t i = 0; i < s.size(); i++) s[i] = static_cast<int16_t>(ReadLe16(pcm + 2 * i));
  return s;
}

// A memory stream over bytes the fixture keeps, closed with it.
class MemorySource {
 public:
  explicit MemorySource(Bytes bytes) : bytes_(std::move(bytes)) {
    stream_ = OpenMemoryStream(bytes_.data(), bytes_.size());
  }
  ~MemorySource() { MemoryStreamClose(reinterpret_cast<StreamHandle>(stream_)); }
  MemorySource(const MemorySource&) = delete;
  MemorySource& operator=(const MemorySource&) = delete;
  StreamAccess access() const { return MemoryStreamAccess(stream_); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  MemoryStream* stream_;
};

// Opens a converter over bytes and reads it whole in pieces of a given size.
struct Decoded {
  int openResult = -1;
  WaveFormat format{};
  int64_t pcmSize = 0;
  Bytes pcm;
};
inline Decoded DecodeAll(const Bytes& file, size_t piece = 1000, size_t limit = 1 << 24) {
  Decoded d;
  MemorySource source(file);
  SoundConverter c;
  d.openResult = OpenSoundConverter(source.access(), &c);
  if (d.openResult != 0) return d;
  GetSoundConverterFormat(&c, &d.format);
  d.pcmSize = GetSoundConverterPcmSize(&c);
  Bytes buffer(piece);
  while (d.pcm.size() < limit) {
    int64_t got = ReadSoundConverterPcm(&c, buffer.data(), buffer.size());
    if (got <= 0) break;
    d.pcm.insert(d.pcm.end(), buffer.begin(), buffer.begin() + got);
  }
  CloseSoundConverter(&c);
  return d;
}

// Root-mean-square distance of channel ch of decoded samples from a sine.
inline double SineRmsError(const std::vector<int16_t>& s, int channels, int ch, double freq, double rate,
                           double amplitude, size_t skip) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = skip; i * channels + ch < s.size(); i++, n++) {
    double want = amplitude * std::sin(2 * M_PI * freq * static_cast<double>(i) / rate);
    double d = s[i * channels + ch] - want;
    sum += d * d;
  }
  return n ? std::sqrt(sum / static_cast<double>(n)) : 1e9;
}

// Blocks still live in the library's allocator: compared before and after a test.
inline int64_t LiveBlocks() { return MemGetTotals().liveBlocks; }

}  // namespace sounddec_test
