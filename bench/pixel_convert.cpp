// Pixel conversion of a 1024 x 768 picture between the formats pictures are
// loaded into (X8R8G8B8 or A8R8G8B8 to the screen's types, to R5G6B5 with an
// alpha byte, to an 8-bit blend image) and back from 16 bits, through the
// generated kernels; `_general` is the general conversion on the same pair.
#include <benchmark/benchmark.h>

#include <vector>

#include "image/color_format.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;

ColorFormat Format(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorFormat f{};
  SetupColorFormat(&f, bits, r, g, b, a);
  return f;
}

const ColorFormat kFormats[] = {
    Format(32, 0xFF0000, 0xFF00, 0xFF, 0),            // 0 X8R8G8B8
    Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u),  // 1 A8R8G8B8
    Format(16, 0xF800, 0x07E0, 0x001F, 0),            // 2 R5G6B5
    Format(32, 0xF800, 0x07E0, 0x001F, 0xFF0000),     // 3 R5G6B5 + alpha byte
    Format(8, 0xFF, 0xFF, 0xFF, 0xFF),                // 4 one 8-bit value (blend images)
};

// Converts the whole picture from one format to another; level as
// SetPixelConvertLevelForTest (0: the general conversion).
void Convert(benchmark::State& state, int from, int to, int level) {
  const ColorFormat& source = kFormats[from];
  const ColorFormat& dest = kFormats[to];
  SetPixelConvertLevelForTest(level);
  std::vector<uint8_t> src(static_cast<size_t>(kWidth) * kHeight * source.bytesPerPixel);
  for (size_t i = 0; i < src.size(); i++) src[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * dest.bytesPerPixel);
  const bool red = to == 4;
  IntRect rect{0, 0, kWidth, kHeight};
  for (auto _ : state) {
    ConvertPixelRect(out.data(), kWidth * dest.bytesPerPixel, &dest, src.data(), kWidth * source.bytesPerPixel,
                     &source, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, red, red, 0, 0);
    benchmark::DoNotOptimize(out.data());
  }
  SetPixelConvertLevelForTest(-1);
  state.counters["Mpix/s"] =
      benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Named as the anchors' conversion cases where they have one.
const bool g_registered = [] {
  struct Case {
    const char* name;
    int from, to, level;
  };
  static const Case cases[] = {
      {"conv.argb_to_argb", 1, 1, -1},        {"conv.xrgb_to_565", 0, 2, -1},
      {"conv.565_to_xrgb", 2, 0, -1},         {"conv.argb_to_565a", 1, 3, -1},
      {"conv.xrgb_to_blend8", 0, 4, -1},      {"conv.argb_to_565a_general", 1, 3, 0},
  };
  for (const Case& c : cases) {
    benchmark::RegisterBenchmark(c.name, [&c](benchmark::State& state) { Convert(state, c.from, c.to, c.level); })
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
