// Pixel arithmetic of the triangle variants into R5G6B5 images, field by
// field on the 5- and 6-bit values (never widened to 8 bits).
#pragma once
#include <cstdint>

// Kept apart from the blit operations of the same names.
namespace triops {

constexpr int RedOf16(uint32_t c) { return static_cast<int>((c >> 11) & 31); }
constexpr int GreenOf16(uint32_t c) { return static_cast<int>((c >> 5) & 63); }
constexpr int BlueOf16(uint32_t c) { return static_cast<int>(c & 31); }
constexpr uint32_t Pack16(int r, int g, int b) {
  return static_cast<uint32_t>(r) << 11 | static_cast<uint32_t>(g) << 5 | static_cast<uint32_t>(b);
}

// Each field moves toward s's by lerp(p, s_f - d_f), the lerp row's centre
// given (division by 255 truncated toward zero).
inline uint32_t MoveFieldsToward16(uint32_t d, uint32_t s, const int32_t* lerp) {
  const int r = RedOf16(d), g = GreenOf16(d), b = BlueOf16(d);
  return Pack16(r + lerp[RedOf16(s) - r], g + lerp[GreenOf16(s) - g], b + lerp[BlueOf16(s) - b]);
}

// Field products divided by 32 (red, blue) and 64 (green), on the fields in place.
inline uint32_t MultiplyFields16(uint32_t d, uint32_t s) {
  const uint32_t r = (((d & 0xF800u) * (s & 0xF800u)) >> 16) & 0xF800u;
  const uint32_t g = (((d & 0x07E0u) * (s & 0x07E0u)) >> 11) & 0x07E0u;
  const uint32_t b = ((d & 0x001Fu) * (s & 0x001Fu)) >> 5;
  return r | g | b;
}

// Saturating add of the fields in one 32-bit addition: bits 5, 11 and 16
// catch the carries, so the lowest bits of green and red come out as an OR.
inline uint32_t PackedAdd16(uint32_t d, uint32_t x) {
  const uint32_t sum = (d & 0xF7DEF7DFu) + (x & 0xF7DEF7DFu);
  const uint32_t carry = sum & 0x08210820u;
  return ((carry - (carry >> 5)) | ((d | x) & 0x0820u) | sum) & 0xFFFFu;
}

// Flooring subtract of the fields with guard bits at 5, 11 and 16.
inline uint32_t PackedSubtract16(uint32_t d, uint32_t x) {
  const uint32_t diff = (d | 0x08210820u) - (x & 0xF7DEF7DFu);
  const uint32_t borrow = diff & 0x08210820u;
  return (borrow - (borrow >> 5)) & diff & 0xFFFFu;
}

}  // namespace triops
