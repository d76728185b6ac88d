// Row kernels of the pixel conversion, generated per pair of pixel layouts and
// per source of the alpha, for the pairs that loading pictures, making blend
// images and copying between memory images use. Each writes exactly what the
// general conversion writes: channels of 8 bits or fewer narrow by their top
// bits and widen by repeating theirs, and an intermediate of 8 bits loses
// nothing on the way between such widths. Compiled twice, at the baseline and
// for AVX2; the conversion picks a table at run time.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <utility>

enum class PixelLayout : uint8_t {
  Argb8888,  // 32-bit, alpha in the top byte
  Xrgb8888,  // 32-bit, the top byte unused (written 0)
  Rgb565,    // 16-bit
  Rgb565A,   // 32-bit: R5G6B5 in bytes 0-1, alpha in byte 2, byte 3 unused
  Single8,   // one 8-bit value
  Count,
};
constexpr int kPixelLayoutCount = static_cast<int>(PixelLayout::Count);

// Where the destination's alpha comes from.
enum class AlphaFrom : uint8_t {
  Source,      // the source's own alpha, full when it has none
  AlphaImage,  // the red channel of a 32-bit alpha image at the same place
  SourceRed,   // the source's red channel, colour written 0 (single-channel targets)
  Count,
};
constexpr int kAlphaFromCount = static_cast<int>(AlphaFrom::Count);

using PixelRowKernel = void (*)(uint8_t* dest, const uint8_t* src, const uint8_t* alpha, int32_t width);
using PixelKernelTable = std::array<PixelRowKernel, kPixelLayoutCount * kPixelLayoutCount * kAlphaFromCount>;

constexpr int PixelKernelIndex(PixelLayout from, PixelLayout to, AlphaFrom alpha) {
  return (static_cast<int>(from) * kPixelLayoutCount + static_cast<int>(to)) * kAlphaFromCount +
         static_cast<int>(alpha);
}

// The baseline kernels and the AVX2 ones (null without AVX2 support built).
extern const PixelKernelTable kPixelKernels;
extern const PixelKernelTable kPixelKernelsAvx2;

// Local to each file that makes a table: the same kernel compiled for AVX2
// must never stand in for the baseline one.
namespace pixel_convert {
namespace {

template <PixelLayout L>
struct Layout;

template <>
struct Layout<PixelLayout::Argb8888> {
  using Pixel = uint32_t;
  static constexpr bool kAlpha = true;
  static uint32_t R(uint32_t p) { return (p >> 16) & 0xFF; }
  static uint32_t G(uint32_t p) { return (p >> 8) & 0xFF; }
  static uint32_t B(uint32_t p) { return p & 0xFF; }
  static uint32_t A(uint32_t p) { return p >> 24; }
  static Pixel Pack(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return a << 24 | r << 16 | g << 8 | b; }
};

template <>
struct Layout<PixelLayout::Xrgb8888> : Layout<PixelLayout::Argb8888> {
  static constexpr bool kAlpha = false;
  static uint32_t A(uint32_t) { return 0xFF; }
  static Pixel Pack(uint32_t r, uint32_t g, uint32_t b, uint32_t) { return r << 16 | g << 8 | b; }
};

template <>
struct Layout<PixelLayout::Rgb565> {
  using Pixel = uint16_t;
  static constexpr bool kAlpha = false;
  static uint32_t R(uint32_t p) { return ((p >> 8) & 0xF8) | ((p >> 13) & 0x07); }
  static uint32_t G(uint32_t p) { return ((p >> 3) & 0xFC) | ((p >> 9) & 0x03); }
  static uint32_t B(uint32_t p) { return ((p << 3) & 0xF8) | ((p >> 2) & 0x07); }
  static uint32_t A(uint32_t) { return 0xFF; }
  static Pixel Pack(uint32_t r, uint32_t g, uint32_t b, uint32_t) {
    return static_cast<Pixel>((r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3);
  }
};

template <>
struct Layout<PixelLayout::Rgb565A> : Layout<PixelLayout::Rgb565> {
  using Pixel = uint32_t;
  static constexpr bool kAlpha = true;
  static uint32_t A(uint32_t p) { return (p >> 16) & 0xFF; }
  static Pixel Pack(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return a << 16 | Layout<PixelLayout::Rgb565>::Pack(r, g, b, 0);
  }
};

template <>
struct Layout<PixelLayout::Single8> {
  using Pixel = uint8_t;
  static constexpr bool kAlpha = true;
};

template <PixelLayout From, PixelLayout To, AlphaFrom Alpha>
constexpr bool KernelExists() {
  if (From == PixelLayout::Single8) return false;
  // A single channel takes the red channel; nothing else writes one.
  if ((To == PixelLayout::Single8) != (Alpha == AlphaFrom::SourceRed)) return false;
  // An alpha image only matters to a destination with alpha.
  if (Alpha == AlphaFrom::AlphaImage && !Layout<To>::kAlpha) return false;
  return true;
}

template <PixelLayout From, PixelLayout To, AlphaFrom Alpha>
void ConvertRow(uint8_t* __restrict dest, const uint8_t* __restrict src, const uint8_t* __restrict alpha,
                int32_t width) {
  using S = Layout<From>;
  using D = Layout<To>;
  using SP = typename S::Pixel;
  using DP = typename D::Pixel;
  if constexpr (From == To && Alpha == AlphaFrom::Source &&
                (From == PixelLayout::Argb8888 || From == PixelLayout::Rgb565)) {
    std::memcpy(dest, src, sizeof(SP) * static_cast<size_t>(width));  // every bit kept
    return;
  }
  for (int32_t x = 0; x < width; x++) {
    SP p;
    std::memcpy(&p, src + sizeof(SP) * x, sizeof(SP));
    DP out;
    constexpr bool kEightBit = From == PixelLayout::Argb8888 || From == PixelLayout::Xrgb8888;
    constexpr bool k565 = To == PixelLayout::Rgb565 || To == PixelLayout::Rgb565A;
    if constexpr (kEightBit && k565 && Alpha != AlphaFrom::SourceRed) {
      // The same bits as unpacking and packing, taken from the pixel in
      // place: fewer steps for the vectoriser.
      uint32_t v = ((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F);
      if constexpr (To == PixelLayout::Rgb565A) {
        uint32_t a = S::A(p);
        if constexpr (Alpha == AlphaFrom::AlphaImage) {
          uint32_t q;
          std::memcpy(&q, alpha + 4 * x, 4);
          a = (q >> 16) & 0xFF;
        }
        v |= a << 16;
      }
      out = static_cast<DP>(v);
    } else if constexpr (Alpha == AlphaFrom::SourceRed) {
      out = static_cast<DP>(S::R(p));
    } else {
      uint32_t a = S::A(p);
      if constexpr (Alpha == AlphaFrom::AlphaImage) {
        uint32_t q;
        std::memcpy(&q, alpha + 4 * x, 4);
        a = (q >> 16) & 0xFF;
      }
      out = static_cast<DP>(D::Pack(S::R(p), S::G(p), S::B(p), a));
    }
    std::memcpy(dest + sizeof(DP) * x, &out, sizeof(DP));
  }
}

template <size_t I>
constexpr PixelRowKernel Entry() {
  constexpr auto from = static_cast<PixelLayout>(I / kAlphaFromCount / kPixelLayoutCount);
  constexpr auto to = static_cast<PixelLayout>(I / kAlphaFromCount % kPixelLayoutCount);
  constexpr auto alpha = static_cast<AlphaFrom>(I % kAlphaFromCount);
  if constexpr (KernelExists<from, to, alpha>()) {
    return &ConvertRow<from, to, alpha>;
  } else {
    return nullptr;
  }
}

constexpr PixelKernelTable MakeTable() {
  return []<size_t... I>(std::index_sequence<I...>) {
    return PixelKernelTable{Entry<I>()...};
  }(std::make_index_sequence<std::tuple_size_v<PixelKernelTable>>{});
}

}  // namespace
}  // namespace pixel_convert
