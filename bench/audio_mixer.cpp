// CPU time of the audio mixer for one second of 44.1 kHz stereo output with
// 32 playing buffers.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/audio_device.h"

namespace {

WaveFormat Format(uint16_t channels, uint32_t rate, uint16_t bits) {
  uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
  return WaveFormat{kWaveFormatPcm, channels, rate, rate * blockAlign, blockAlign, bits, 0};
}

// Rates of 0 take the output rate (no interpolation needed).
void MixOneSecond(benchmark::State& state, const std::vector<WaveFormat>& formats) {
  AudioSelectOutput(AudioOutputKind::Manual);
  AudioDevice* device = AudioDeviceCreate();
  if (!device || AudioDeviceInitialize(device) != 0) {
    state.SkipWithError("no device");
    return;
  }
  std::mt19937 rng(7);
  std::vector<AudioBuffer*> buffers;
  for (int i = 0; i < 32; i++) {
    const WaveFormat& f = formats[i % formats.size()];
    AudioBufferDesc description = {0, f.avgBytesPerSec * 2, &f};  // two seconds
    AudioBuffer* b = AudioBufferCreate(device, &description);
    void *p1, *p2;
    uint32_t s1, s2;
    AudioBufferLock(b, 0, description.bufferBytes, &p1, &s1, &p2, &s2);
    for (uint32_t k = 0; k < s1; k++) static_cast<uint8_t*>(p1)[k] = static_cast<uint8_t>(rng());
    AudioBufferUnlock(b, p1, s1, p2, s2);
    AudioBufferSetVolume(b, -1200);
    AudioBufferSetPan(b, static_cast<int32_t>(i * 300) - 4800);
    AudioBufferPlay(b, 1);
    buffers.push_back(b);
  }
  std::vector<int16_t> out(2 * 44100);
  for (auto _ : state) {
    AudioDeviceAdvanceFrames(device, 44100, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  for (AudioBuffer* b : buffers) AudioBufferRelease(b);
  AudioDeviceRelease(device);
  state.counters["buffers"] = 32;
}

void BM_MixSameRateStereo16(benchmark::State& state) {
  MixOneSecond(state, {Format(2, 44100, 16)});
}
BENCHMARK(BM_MixSameRateStereo16)->Unit(benchmark::kMillisecond);

void BM_MixResampledMixedFormats(benchmark::State& state) {
  MixOneSecond(state, {Format(2, 48000, 16), Format(1, 22050, 16), Format(2, 32000, 8), Format(1, 11025, 8),
                       Format(2, 44100, 16), Format(2, 96000, 24)});
}
BENCHMARK(BM_MixResampledMixedFormats)->Unit(benchmark::kMillisecond);

}  // namespace
