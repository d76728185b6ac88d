// Where the rotated blit puts the source: angles, scales, the centre pixel,
// the mirrored form, clipping, and inputs far outside the usual ranges.
// Expected placements are worked out from the corner and inverse-mapping
// rules for a 4 x 4 source centred on (10, 10).
#include <cmath>
#include <random>
#include <utility>

#include "softrender/rotate_blit.h"
#include "tri_test_util.h"

namespace {

using RotGeometry = TriTest;

constexpr uint32_t kEmpty = 0xEE000000;

// Source pixel (x, y) holds 0xFF00yyxx-like values that name it.
uint32_t Named(int x, int y) { return 0xFF000000u | static_cast<uint32_t>(y) << 8 | static_cast<uint32_t>(x); }

void FillNamed(TriImage& src) {
  for (int y = 0; y < src.img.height; y++)
    for (int x = 0; x < src.img.width; x++) src.At32(x, y) = Named(x, y);
}

using SourceAt = std::pair<int, int> (*)(int x, int y);

// Every destination pixel: inside [x0, x1] x [y0, y1] the named source pixel
// `at` gives, elsewhere untouched.
void ExpectPlacement(const TriImage& dst, int x0, int y0, int x1, int y1, SourceAt at) {
  for (int y = 0; y < dst.img.height; y++) {
    for (int x = 0; x < dst.img.width; x++) {
      const bool inside = x >= x0 && x <= x1 && y >= y0 && y <= y1;
      const uint32_t want = inside ? Named(at(x, y).first, at(x, y).second) : kEmpty;
      ASSERT_EQ(dst.At32(x, y), want) << "at " << x << "," << y;
    }
  }
}

struct Scene {
  TriImage src{4, 4, MemImgType32};
  TriImage dst{24, 24, MemImgType32};
  Scene() {
    ResetTriDrawState(24, 24);
    FillNamed(src);
    dst.Fill(kEmpty);
  }
  void Draw(float angle, float scale, int turn = 0, int cx = 10, int cy = 10) {
    RotateBlitMemImg(&dst.img, &src.img, cx, cy, angle, scale, 0, turn, nullptr);
  }
};

bool In(int v, int lo, int hi) { return v >= lo && v <= hi; }

struct PlacementCase {
  const char* why;
  float angle, scale;
  int turn;
  int x0, y0, x1, y1;
  SourceAt at;
};

TEST_F(RotGeometry, AnglesScalesAndTheMirror) {
  const PlacementCase cases[] = {
      {"angle 0, scale 1: pixel for pixel at (cx - W/2, cy - H/2)", 0.0f, 1.0f, 0, 8, 8, 11, 11,
       [](int x, int y) { return std::pair{x - 8, y - 8}; }},
      {"scale 2: U = (x - 10) / 2 + 2, every source pixel doubled", 0.0f, 2.0f, 0, 6, 6, 13, 13,
       [](int x, int y) { return std::pair{(x - 6) / 2, (y - 6) / 2}; }},
      {"scale 0.5: U = (x - 10) * 2 + 2, every second pixel from the centre", 0.0f, 0.5f, 0, 9, 9, 10, 10,
       [](int x, int y) { return std::pair{(x - 9) * 2, (y - 9) * 2}; }},
      // cos rounds to 0 in 14.18 and sin to 1: the source's top row runs
      // down the right-hand column (clockwise).
      {"quarter turn: U = y - 8, V = 12 - x", 1.5707964f, 1.0f, 0, 9, 8, 12, 11,
       [](int x, int y) { return std::pair{y - 8, 12 - x}; }},
      {"negative scale: a half turn about the centre pixel", 0.0f, -1.0f, 0, 9, 9, 12, 12,
       [](int x, int y) { return std::pair{12 - x, 12 - y}; }},
      // Corners (12, 8), (8, 8), (12, 12), (8, 12) receive u = 0, 4, 0, 4; the
      // triangles sample pixel x at u = 12 - x, so column 8 (u = 4) is outside.
      {"turn flag: mirrored through two triangles", 0.0f, 1.0f, 1, 9, 8, 12, 11,
       [](int x, int y) { return std::pair{12 - x, y - 8}; }},
  };
  for (const PlacementCase& c : cases) {
    SCOPED_TRACE(c.why);
    Scene s;
    s.Draw(c.angle, c.scale, c.turn);
    ExpectPlacement(s.dst, c.x0, c.y0, c.x1, c.y1, c.at);
  }
}

TEST_F(RotGeometry, OddSizesPutTheCentrePixelOnTheCentre) {
  Scene s;
  TriImage odd(3, 3, MemImgType32);
  FillNamed(odd);
  RotateBlitMemImg(&s.dst.img, &odd.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  // Source (1, 1) = (W >> 1, H >> 1) lands on (10, 10).
  ExpectPlacement(s.dst, 9, 9, 11, 11, [](int x, int y) { return std::pair{x - 9, y - 9}; });
}

TEST_F(RotGeometry, DrawAreaClipsTheWalk) {
  Scene s;
  SetArea(9, 10, 11, 24);
  s.Draw(0.0f, 1.0f);
  ExpectPlacement(s.dst, 9, 10, 10, 11, [](int x, int y) { return std::pair{x - 8, y - 8}; });
}

TEST_F(RotGeometry, FarCentreWithLargeScaleShowsItsVisiblePart) {
  Scene s;
  // The image spans (-300000 .. 100000) on both axes; every visible pixel
  // maps to U = (x + 100000) / 100000 + 2, source column 3.
  s.Draw(0.0f, 100000.0f, 0, -100000, -100000);
  ExpectPlacement(s.dst, 0, 0, 23, 23, [](int, int) { return std::pair{3, 3}; });
}

TEST_F(RotGeometry, ExtremeInputsStayInsideTheDrawArea) {
  Scene s;
  SetArea(4, 4, 20, 20);
  const float angles[] = {0.0f, 0.3f, -2.0f, 1e30f};
  const float scales[] = {1e-30f, 1e-7f, 3e38f, -3e38f, 8192.0f};
  const int centres[] = {INT32_MIN, -5000, 10, 5000, INT32_MAX};
  for (float angle : angles)
    for (float scale : scales)
      for (int c : centres)
        for (int turn = 0; turn < 2; turn++) {
          s.Draw(angle, scale, turn, c, 10);
          s.Draw(angle, scale, turn, 10, c);
        }
  // Not-a-number inputs and a zero scale draw nothing.
  s.Draw(NAN, 1.0f);
  s.Draw(0.0f, NAN);
  s.Draw(0.0f, 0.0f);
  s.Draw(INFINITY, 1.0f);
  for (int y = 0; y < 24; y++) {
    for (int x = 0; x < 24; x++) {
      if (!(In(x, 4, 19) && In(y, 4, 19))) {
        ASSERT_EQ(s.dst.At32(x, y), kEmpty) << x << "," << y;
      }
    }
  }
}

TEST_F(RotGeometry, RunsFoundByDivisionMatchThePixelByPixelTest) {
  std::mt19937 rng(7);
  TriImage src(13, 9, MemImgType32);
  FillNamed(src);
  for (int n = 0; n < 300; n++) {
    ResetTriDrawState(40, 40);
    SetArea(static_cast<int>(rng() % 8), static_cast<int>(rng() % 8), 40 - static_cast<int>(rng() % 8),
            40 - static_cast<int>(rng() % 8));
    const float angle = static_cast<float>(rng() % 20000) / 1000.0f - 10.0f;
    const float scale = (static_cast<float>(rng() % 4000) / 1000.0f + 0.05f) * (rng() % 4 == 0 ? -1.0f : 1.0f);
    const int cx = static_cast<int>(rng() % 60) - 10, cy = static_cast<int>(rng() % 60) - 10;
    TriImage byDivision(40, 40, MemImgType32), byPixel(40, 40, MemImgType32);
    RotateBlitMemImg(&byDivision.img, &src.img, cx, cy, angle, scale, 0, 0, nullptr);
    SetRotateExactRunsForTest(0);
    RotateBlitMemImg(&byPixel.img, &src.img, cx, cy, angle, scale, 0, 0, nullptr);
    SetRotateExactRunsForTest(1);
    ASSERT_EQ(byDivision.Pixels(), byPixel.Pixels()) << "angle " << angle << " scale " << scale << " at " << cx
                                                     << "," << cy;
  }
}

TEST_F(RotGeometry, SourcesTallerThanTheRowTableAreDrawnWhole) {
  ResetTriDrawState(8, 8);
  TriImage tall(2, 5000, MemImgType32);
  FillNamed(tall);
  TriImage dst(8, 8, MemImgType32);
  dst.Fill(kEmpty);
  // V = y + 2498 + 2500: source rows 4998 and 4999 land on rows 0 and 1.
  RotateBlitMemImg(&dst.img, &tall.img, 4, -2498, 0.0f, 1.0f, 0, 0, nullptr);
  ExpectPlacement(dst, 3, 0, 4, 1, [](int x, int y) { return std::pair{x - 3, 4998 + y}; });
}

TEST_F(RotGeometry, BlendImageIsReadAtTheSameSourcePixel) {
  Scene s;
  TriImage blend(4, 4, MemImgTypeBlend8);
  // Weight 255 only under source column 1; everywhere else 0.
  for (int y = 0; y < 4; y++) blend.At8(1, y) = 255;
  SetMemImgBorderTable(128, 255);  // weight = blend value
  ASSERT_EQ(MemImgBorderTable[0], 0);
  ASSERT_EQ(MemImgBorderTable[255], 255);
  s.dst.Fill(0xFF000000u);
  RotateBlitMemImg(&s.dst.img, &s.src.img, 10, 10, 1.5707964f, 1.0f, 0, 0, &blend.img);
  // After the quarter turn source column 1 is destination row 9; a weight of
  // 255 moves a black destination to floor(s * 255 / 256): blue 1 becomes 0,
  // green (the source row) v becomes v - 1.
  for (int y = 0; y < 24; y++) {
    for (int x = 0; x < 24; x++) {
      uint32_t want = 0xFF000000u;
      if (In(x, 9, 12) && y == 9 && x < 12) want = 0xFF000000u | static_cast<uint32_t>(11 - x) << 8;
      ASSERT_EQ(s.dst.At32(x, y), want) << x << "," << y;
    }
  }
}

}  // namespace
