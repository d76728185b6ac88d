// A slow reference of what a drawn pixel becomes in an R5G6B5 image, written
// straight from the field rules (64-bit, field by field, the packed add and
// subtract as their carries and borrows are described, not as masks).
#pragma once
#include <cstdint>
#include <optional>
#include <random>

#include "blit32_reference.h"

namespace pixel16test {

// Fields in the order red, green, blue; widths and maxima.
constexpr int kFieldShift[3] = {11, 5, 0};
constexpr int kFieldBits[3] = {5, 6, 5};
constexpr int64_t kFieldMax[3] = {31, 63, 31};

inline int64_t Field(uint32_t word, int f) { return (word >> kFieldShift[f]) & kFieldMax[f]; }
inline uint16_t PackFields(const int64_t v[3]) {
  return static_cast<uint16_t>(v[0] << 11 | v[1] << 5 | v[2]);
}

// Field values where the rules have edges, and random ones between them.
inline int64_t EdgeField(std::mt19937& rng, int bits) {
  const int64_t max = (1 << bits) - 1;
  const int64_t edges[] = {0, 1, 2, max / 2, max / 2 + 1, max - 1, max};
  return rng() % 3 == 0 ? rng() & max : edges[rng() % 7];
}
inline uint16_t EdgeWord(std::mt19937& rng) {
  const int64_t f[3] = {EdgeField(rng, 5), EdgeField(rng, 6), EdgeField(rng, 5)};
  return PackFields(f);
}

// Saturating add: blue exact; green and red add their upper bits and take as
// lowest bit the OR of both lowest bits or the overflow of the field below.
inline uint16_t RefAdd16(const int64_t x[3], const int64_t d[3]) {
  int64_t out[3];
  const bool blueOver = x[2] + d[2] > 31;
  out[2] = blueOver ? 31 : x[2] + d[2];
  const int64_t u = (x[1] >> 1) + (d[1] >> 1);
  const int64_t lg = ((x[1] | d[1]) & 1) | (blueOver ? 1 : 0);
  out[1] = u <= 31 ? 2 * u + lg : 62 + lg;
  const int64_t v = (x[0] >> 1) + (d[0] >> 1);
  const int64_t lr = ((x[0] | d[0]) & 1) | (u > 31 ? 1 : 0);
  out[0] = v <= 15 ? 2 * v + lr : 31;
  return PackFields(out);
}

// Flooring subtract: blue exact; green and red subtract their upper bits,
// green's lowest bit 0, red's set when green did not borrow.
inline uint16_t RefSubtract16(const int64_t x[3], const int64_t d[3]) {
  int64_t out[3];
  out[2] = d[2] >= x[2] ? d[2] - x[2] : 0;
  const bool greenOk = (d[1] >> 1) >= (x[1] >> 1);
  out[1] = greenOk ? 2 * ((d[1] >> 1) - (x[1] >> 1)) : 0;
  out[0] = (d[0] >> 1) >= (x[0] >> 1) ? 2 * ((d[0] >> 1) - (x[0] >> 1)) + (greenOk ? 1 : 0) : 0;
  return PackFields(out);
}

// The new destination word, or nullopt when it stays. key is the raw source
// pixel (palette: the index; alpha sources: the 4-byte pixel, alpha in byte
// 2), color its colour word (palette: the entry), w the blend-image weight.
// The transparent compare is of the whole 32-bit key.
inline std::optional<uint16_t> RefPixel16(const blit32test::RefDraw& r, uint32_t key,
                                          uint32_t color, uint32_t w, uint16_t dest) {
  if (blit32test::RefDrawsNothing(r)) return std::nullopt;
  const int64_t a = r.alphaFlag && !r.palette ? (key >> 16) & 0xFF : 255;
  const std::optional<bool> weighs = blit32test::RefAlphaWeighs(r, key, a);
  if (!weighs) return std::nullopt;
  const bool alphaFactor = *weighs;
  const int mode = blit32test::RefMode(r);
  const bool bright = blit32test::RefBright(r);
  const int64_t p = r.param;
  const int brightIndex[3] = {2, 1, 0};  // RefDraw keeps blue, green, red

  int64_t weight = 1;
  int nWeights = 0;
  if (r.blendImage) {
    weight *= w;
    nWeights++;
  }
  if (alphaFactor) {
    weight *= a;
    nWeights++;
  }
  const int k = 8 * nWeights;
  const bool alphaFirst = r.orderings && (mode == 2 || mode == 3) && alphaFactor && bright && !r.blendImage;

  int64_t s[3], d[3], out[3];
  for (int f = 0; f < 3; f++) {
    d[f] = Field(dest, f);
    int64_t v = Field(color, f);
    if (mode == 10) v = kFieldMax[f] - v;
    if (alphaFirst) v = v * a >> 8;
    if (bright) v = r.bright[brightIndex[f]] * v / 255;
    s[f] = v;
  }
  auto moveBy = [&](int64_t dv, int64_t t) {
    if (nWeights == 0) return dv + p * (t - dv) / 255;  // truncated toward zero
    return (dv * (int64_t{1} << (k + 8)) + (t - dv) * weight * p) >> (k + 8);
  };
  switch (mode) {
    case 0:
      if (nWeights == 0 && !bright) return static_cast<uint16_t>(color);
      for (int f = 0; f < 3; f++) {
        out[f] = nWeights == 0 ? s[f] : (d[f] * (int64_t{1} << k) + (s[f] - d[f]) * weight) >> k;
      }
      return PackFields(out);
    case 1:
    case 10:
      for (int f = 0; f < 3; f++) out[f] = moveBy(d[f], s[f]);
      return PackFields(out);
    case 11:
      for (int f = 0; f < 3; f++) out[f] = moveBy(d[f], (s[f] * d[f]) >> kFieldBits[f]);
      if (r.orderings && alphaFactor && !r.blendImage && !bright) {
        // Green at 1/32 precision: the product in 1/32 units.
        const int64_t q = s[1] * d[1] / 2;
        const int64_t move = (q - 32 * d[1]) * a * p;
        out[1] = d[1] + (move >= 0 ? move / (1 << 21) : -((-move + (1 << 21) - 1) / (1 << 21)));
      }
      return PackFields(out);
    case 4:
      for (int f = 0; f < 3; f++) out[f] = (s[f] * d[f] * weight) >> (kFieldBits[f] + k);
      return PackFields(out);
    default:
      break;
  }
  int64_t x[3];
  for (int f = 0; f < 3; f++) x[f] = p * (alphaFirst ? s[f] : (s[f] * weight) >> k) / 255;
  return mode == 2 ? RefAdd16(x, d) : RefSubtract16(x, d);
}

}  // namespace pixel16test
