// The run-table blit against the plain blit of the same source, on seeded
// sprites whose rows take every shape the table's row records tell apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "tests/softrender/blit32_reference.h"

namespace blit32test {
namespace {

// The alpha of each pixel of one row, by a shape picked at random: wholly
// clear, wholly opaque, one pixel, a sprite row (clear, partial, opaque,
// partial, clear; any part may be empty or reach the row's ends), or runs
// of random classes and lengths.
std::vector<uint32_t> RowAlphas(int width, std::mt19937& rng) {
  std::vector<uint32_t> alpha(width, 0);
  const auto partial = [&] { return 1 + static_cast<uint32_t>(rng() % 254); };
  const auto cut = [&] { return static_cast<int>(rng() % (width + 1)); };
  switch (rng() % 6) {
    case 0: break;
    case 1: alpha.assign(width, 255); break;
    case 2: alpha[rng() % width] = rng() % 2 ? 255 : partial(); break;
    case 5:
      for (int x = 0; x < width;) {
        const uint32_t cls = rng() % 3;
        for (int n = 1 + static_cast<int>(rng() % 70); n > 0 && x < width; n--, x++) {
          alpha[x] = cls == 0 ? 0 : (cls == 1 ? 255 : partial());
        }
      }
      break;
    default: {
      int b[4] = {cut(), cut(), cut(), cut()};
      std::sort(b, b + 4);
      for (int x = b[0]; x < b[3]; x++) alpha[x] = x >= b[1] && x < b[2] ? 255 : partial();
    }
  }
  return alpha;
}

struct Depth {
  int32_t type;
  int dstBytes;
  int alphaShift;  // of the alpha in a source pixel
};

// Draws the sprite (pixels and its run table set) at (x, y) into a copy of
// back, through the table or (valid 0) through the plain blit.
std::vector<uint8_t> Draw(Image& sprite, int valid, const std::vector<uint8_t>& back, const Depth& depth,
                          int dw, int dh, int x, int y) {
  Image dst(dw, dh, depth.type);
  const size_t rowBytes = static_cast<size_t>(dw) * depth.dstBytes;
  for (int r = 0; r < dh; r++) std::memcpy(dst.Row(r), back.data() + r * rowBytes, rowBytes);
  sprite.img.base->runTableValid = valid;
  BlitMemImg(&dst.img, &sprite.img, x, y, 1, nullptr);
  std::vector<uint8_t> out;
  for (int r = 0; r < dh; r++) out.insert(out.end(), dst.Row(r), dst.Row(r) + rowBytes);
  return out;
}

class BlitRunTable : public Blit32Test {};

// Both depths, widths about the vector steps, several draw states and every
// span level; each sprite drawn whole (through the table) and clipped (not),
// then edited and its table rebuilt, and drawn again.
TEST_F(BlitRunTable, DrawsAsThePlainBlitDoes) {
  struct State {
    int32_t mode, param;
    uint8_t bright;
  };
  const State states[] = {{0, 255, 255}, {0, 255, 180}, {1, 128, 255}, {2, 200, 255}, {3, 77, 255}, {11, 255, 255}};
  const Depth depths[] = {{MemImgType32, 4, 24}, {MemImgType16, 2, 16}};
  std::mt19937 rng(20261207);
  for (const Depth& depth : depths) {
    for (int width : {1, 5, 8, 15, 16, 17, 33, 64, 70, 150}) {
      const int height = 1 + static_cast<int>(rng() % 12);
      Image sprite(width, height, depth.type, 0, 1, 0, 1);
      const int dw = width + 6, dh = height + 4;
      std::vector<uint8_t> back(static_cast<size_t>(dw) * dh * depth.dstBytes);
      for (auto& b : back) b = static_cast<uint8_t>(EdgeByte(rng));
      const auto setRow = [&](int y) {
        const std::vector<uint32_t> alpha = RowAlphas(width, rng);
        for (int x = 0; x < width; x++) sprite.Set(x, y, alpha[x] << depth.alphaShift | (EdgePixel(rng) & 0xFFFF));
      };
      for (int y = 0; y < height; y++) setRow(y);
      for (int edit = 0; edit < 2; edit++) {
        if (edit) {
          for (int y = 0; y < height; y++)
            if (rng() % 2) setRow(y);
        }
        BuildTransparencyRunTable(&sprite.img);
        for (const State& st : states) {
          SetState(st.mode, st.param);
          SetBright(st.bright, st.bright, st.bright);
          for (int level = 0; level <= 3; level++) {
            SCOPED_TRACE(testing::Message() << "type " << depth.type << " width " << width << " mode " << st.mode
                                            << " bright " << int{st.bright} << " level " << level << " edit " << edit);
            SetBlitSpanLevelForTest(level);
            // Whole at the destination's corners and inside it, then clipped by its edge.
            for (const auto& [x, y] : {std::pair{0, 0}, std::pair{6, 4}, std::pair{3, 2}, std::pair{-2, 1}}) {
              ASSERT_EQ(Draw(sprite, 1, back, depth, dw, dh, x, y), Draw(sprite, 0, back, depth, dw, dh, x, y))
                  << "at " << x << "," << y;
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace blit32test
