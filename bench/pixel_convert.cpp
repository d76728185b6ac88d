// Pixel conversion of a 1024 x 768 picture between the common formats, the
// fast paths against the general conversion. Items are pixels.
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
};

void Convert(benchmark::State& state) {
  const ColorFormat& from = kFormats[state.range(0)];
  const ColorFormat& to = kFormats[state.range(1)];
  SetPixelConvertFastPathsForTest(state.range(2) != 0);
  std::vector<uint8_t> src(static_cast<size_t>(kWidth) * kHeight * from.bytesPerPixel);
  for (size_t i = 0; i < src.size(); i++) src[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  std::vector<uint8_t> dest(static_cast<size_t>(kWidth) * kHeight * to.bytesPerPixel);
  IntRect rect{0, 0, kWidth, kHeight};
  for (auto _ : state) {
    ConvertPixelRect(dest.data(), kWidth * to.bytesPerPixel, &to, src.data(), kWidth * from.bytesPerPixel, &from,
                     nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0);
    benchmark::DoNotOptimize(dest.data());
  }
  SetPixelConvertFastPathsForTest(true);
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// {from, to, fast}
BENCHMARK(Convert)
    ->Args({1, 1, 1})->Args({1, 1, 0})
    ->Args({0, 2, 1})->Args({0, 2, 0})
    ->Args({2, 0, 1})->Args({2, 0, 0})
    ->Args({1, 3, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace
