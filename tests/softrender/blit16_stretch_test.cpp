// The stretched blit into R5G6B5 images: the two stepping rules, mirroring
// over 4-byte source pixels, and refused destinations.
#include <gtest/gtest.h>

#include "tests/softrender/blit16_reference.h"

namespace blit16test {
namespace {

using V = std::vector<uint16_t>;

class Blit16Stretch : public Blit16Test {
 protected:
  static V Row(const Image16& d, int y, int n) {
    V out;
    for (int x = 0; x < n; x++) out.push_back(d.Get16(x, y));
    return out;
  }
  static void Stretch(Image16& d, const Image16& s, IntRect r, int tflag = 0) {
    StretchBlitMemImg(&d.img, &s.img, &r, tflag, nullptr);
  }
};

TEST_F(Blit16Stretch, HalvingPicksColumnsByTheTwoRules) {
  Image16 s(8, 1), d(5, 1);
  for (int x = 0; x < 8; x++) s.Set16(x, 0, static_cast<uint16_t>(x + 1));
  // The copy keeps a pixel on a counter of exactly 0: 0, 1, 3, 5.
  d.Fill16(0);
  Stretch(d, s, {0, 0, 4, 1});
  EXPECT_EQ(Row(d, 0, 5), (V{1, 2, 4, 6, 0}));
  // So does the full-strength subtract: blue 31 - (1, 2, 4, 6), and red 1
  // from green's guard bit.
  SetState(BlendSubtract, 255);
  d.Fill16(31);
  Stretch(d, s, {0, 0, 4, 1});
  EXPECT_EQ(Row(d, 0, 5), (V{Rgb16(1, 0, 30), Rgb16(1, 0, 29), Rgb16(1, 0, 27), Rgb16(1, 0, 25), 31}));
  // Mode 1 at 128 moves on at 0: 0, 2, 4, 6, blue moved over 0 by 128 / 255.
  SetState(BlendAlpha, 128);
  d.Fill16(0);
  Stretch(d, s, {0, 0, 4, 1});
  EXPECT_EQ(Row(d, 0, 5), (V{0, 1, 2, 3, 0}));
}

TEST_F(Blit16Stretch, MirroredAlphaSourceStepsFourBytes) {
  // Alpha source 3 x 1, drawn twice as wide and mirrored, under the flag:
  // alpha 0 skipped, 255 copied.
  Image16 s(3, 1, 0, 1);
  s.Set(0, 0, 0x00FF0001);
  s.Set(1, 0, 0x00000002);
  s.Set(2, 0, 0xFFFF0003);
  Image16 d(7, 1);
  d.Fill16(0x0100);
  Stretch(d, s, {6, 0, 0, 1}, 1);
  EXPECT_EQ(Row(d, 0, 7), (V{3, 3, 0x0100, 0x0100, 1, 1, 0x0100}));
}

TEST_F(Blit16Stretch, MismatchedColourTypesDrawNothing) {
  Image16 s(2, 2), d16(4, 4);
  blit32test::Image d32(4, 4);
  s.Fill16(0xFFFF);
  d32.Fill(0);
  d16.Fill16(0);
  const IntRect r{0, 0, 4, 4};
  StretchBlitMemImg(&d32.img, &s.img, &r, 0, nullptr);
  for (uint32_t p : d32.Pixels()) ASSERT_EQ(p, 0u);
  // A destination with alpha is refused too.
  Image16 withAlpha(4, 4, 0, 1);
  withAlpha.Fill(0);
  StretchBlitMemImg(&withAlpha.img, &s.img, &r, 0, nullptr);
  for (uint32_t p : withAlpha.Pixels()) ASSERT_EQ(p, 0u);
  StretchBlitMemImg(&d16.img, &s.img, &r, 0, nullptr);
  for (uint16_t p : d16.Pixels16()) ASSERT_EQ(p, 0xFFFF);
}

}  // namespace
}  // namespace blit16test
