// Draw calls into the back image, with pixels worked out by hand from the
// blend rules: position, draw area, blend modes, brightness, transparency,
// blend graphics, cells and parts.
#include <cmath>

#include "core/helpers.h"
#include "softrender/rotate_blit.h"
#include "tests/graphics/graphics_fixture.h"

namespace {

using Pixels = std::vector<std::pair<int, int>>;

class Draw : public GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    SetBlendMode(BlendNone, 255);
  }
};

TEST_F(Draw, AGraphicLandsWithItsTopLeftAtThePoint) {
  const int graph = MakeGraph(2, 2, {0x112233, 0x445566, 0x778899, 0xAABBCC});
  EXPECT_EQ(DrawGraphAt(3, 4, graph, 0), 0);
  EXPECT_EQ(PixelsNotEqual(0), (Pixels{{3, 4}, {4, 4}, {3, 5}, {4, 5}}));
  EXPECT_EQ(BackPixel(3, 4), 0x112233u);
  EXPECT_EQ(BackPixel(4, 4), 0x445566u);
  EXPECT_EQ(BackPixel(3, 5), 0x778899u);
  EXPECT_EQ(BackPixel(4, 5), 0xAABBCCu);

  FillBack(0);
  EXPECT_EQ(DrawGraphAt(-1, -1, graph, 0), 0);  // clipped by the screen's edge
  EXPECT_EQ(PixelsNotEqual(0), (Pixels{{0, 0}}));
  EXPECT_EQ(BackPixel(0, 0), 0xAABBCCu);

  // Float positions are truncated toward zero.
  FillBack(0);
  EXPECT_EQ(DrawGraphAtFloat(2.9f, -0.5f, graph, 0), 0);
  EXPECT_EQ(BackPixel(2, 0), 0x112233u);
  EXPECT_EQ(BackPixel(3, 1), 0xAABBCCu);
}

TEST_F(Draw, TheDrawAreaClipsEveryDraw) {
  const int green = MakeGraph(4, 4, std::vector<uint32_t>(16, 0x00FF00));
  ASSERT_EQ(SetDrawClipArea(4, 4, 6, 6), 0);
  EXPECT_EQ(DrawGraphAt(3, 3, green, 0), 0);
  EXPECT_EQ(PixelsNotEqual(0), (Pixels{{4, 4}, {5, 4}, {4, 5}, {5, 5}}));
}

TEST_F(Draw, BlendModesMixWithTheBackImage) {
  const int light = MakeGraph(1, 1, {0xF0E0D0});
  const int dim = MakeGraph(1, 1, {0x403020});
  struct Case {
    int32_t mode, param, graph;
    uint32_t before, after;
  };
  const Case cases[] = {
      // d + floor((s - d) * 128 / 256): 0x30 -> 0x30 + 80 = 0x80, and so on.
      {BlendAlpha, 128, light, 0x102030, 0x808080},
      // Saturating add of the source scaled by p: prod(128, 0x40) = 0x20, ...
      {BlendAdd, 128, dim, 0x102030, 0x303840},
      // Packed subtract of prod(128, s) = (0x20, 0x18, 0x10) from 0x80 each:
      // blue 0x70; green 2 * (64 - 12) + 1 = 0x69; red 2 * (64 - 16) + 1 = 0x61.
      {BlendSubtract, 128, dim, 0x808080, 0x616970},
      {-1, 255, light, 0x102030, 0x102030},  // no software meaning: nothing
  };
  for (const Case& c : cases) {
    FillBack(c.before);
    SetBlendMode(c.mode, c.param);
    EXPECT_EQ(DrawGraphAt(1, 1, c.graph, 0), 0);
    EXPECT_EQ(BackPixel(1, 1), c.after) << "mode " << c.mode << " p " << c.param;
    EXPECT_EQ(BackPixel(0, 0), c.before);
  }
}

TEST_F(Draw, BrightnessScalesEachChannel) {
  const int graph = MakeGraph(1, 1, {0xF0E0D0});
  SetDrawBrightnessRgb(128, 255, 0);
  EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
  // prod(128, 0xF0) = 30720 / 255 = 120; prod(255, 0xE0) = 0xE0; prod(0, 0xD0) = 0.
  EXPECT_EQ(BackPixel(0, 0), 0x78E000u);
  SetDrawBrightnessPacked(0xFFFFFF);
  EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
  EXPECT_EQ(BackPixel(0, 0), 0xF0E0D0u);
}

TEST_F(Draw, TheTransparentFlagSkipsTheTransparentColourAndZeroAlpha) {
  const int keyed = MakeGraph(2, 1, {0x000000, 0x123456});
  FillBack(0xABCDEF);
  EXPECT_EQ(DrawGraphAt(0, 0, keyed, 1), 0);
  EXPECT_EQ(BackPixel(0, 0), 0xABCDEFu);
  EXPECT_EQ(BackPixel(1, 0), 0x123456u);
  EXPECT_EQ(DrawGraphAt(0, 0, keyed, 0), 0);
  EXPECT_EQ(BackPixel(0, 0), 0u);

  const int alpha = MakeGraph(3, 1, {0x00FF0000, 0xFF00FF00, 0x800000FF}, true);
  FillBack(0);
  EXPECT_EQ(DrawGraphAt(0, 0, alpha, 1), 0);
  EXPECT_EQ(BackPixel(0, 0), 0u);                     // alpha 0: skipped
  EXPECT_EQ(BackPixel(1, 0), 0xFF00FF00u);            // alpha 255: copied whole
  EXPECT_EQ(BackPixel(2, 0), 0x7Fu);                  // 255 * 128 >> 8
  FillBack(0);
  EXPECT_EQ(DrawGraphAt(0, 0, alpha, 0), 0);
  EXPECT_EQ(BackPixel(0, 0), 0u);
  EXPECT_EQ(BackPixel(1, 0), 0xFE00u);  // without the flag alpha 255 weighs too: 255 * 255 >> 8
}

TEST_F(Draw, ABlendGraphicWeighsThePixelsAndMustCoverTheGraphic) {
  const int light = MakeGraph(2, 2, std::vector<uint32_t>(4, 0xF0E0D0));
  const int big = MakeGraph(3, 3, std::vector<uint32_t>(9, 0xF0E0D0));
  const int blend = MakeBlendGraph(2, 2);
  ASSERT_NE(blend, -1);
  EXPECT_EQ(FillGraphWithColor(blend, 128, 0, 0, 0), 0);
  EXPECT_EQ(SetBlendGraphParams(light, 128, 255), -1);  // not a blend graphic
  // Parameter 128, range 255: the border table maps each value to itself.
  ASSERT_EQ(SetBlendGraphParams(blend, 128, 255), 0);
  FillBack(0x102030);
  EXPECT_EQ(DrawGraphAt(0, 0, light, 0), 0);
  EXPECT_EQ(BackPixel(1, 1), 0x808080u);  // weight 128, as alpha 128 above
  EXPECT_EQ(BackPixel(2, 2), 0x102030u);

  FillBack(0x102030);
  EXPECT_EQ(DrawGraphAt(0, 0, big, 0), -1);
  EXPECT_EQ(DrawGraphRotated(5, 5, 1.0, 0.0, big, 0, 0), -1);
  EXPECT_EQ(DrawGraphPartAt(0, 0, 0, 0, 3, 1, big, 0, 0), -1);
  EXPECT_EQ(DrawGraphPartAt(0, 0, 1, 1, 2, 2, big, 0, 0), 0);  // a part it covers
  EXPECT_EQ(BackPixel(0, 0), 0x808080u);

  // A deleted blend graphic refuses every draw until another is set.
  FillBack(0x102030);
  EXPECT_EQ(DeleteGraphHandle(blend), 0);
  EXPECT_EQ(DrawGraphAt(0, 0, light, 0), -1);
  EXPECT_TRUE(PixelsNotEqual(0x102030).empty());
  EXPECT_EQ(SetBlendGraphParams(-1, 0, 0), 0);
  EXPECT_EQ(DrawGraphAt(0, 0, big, 0), 0);
  EXPECT_EQ(BackPixel(2, 2), 0xF0E0D0u);
}

TEST_F(Draw, CellsOfADividedFileDrawTheirOwnPart) {
  int cells[4];
  ASSERT_EQ(LoadDivGraphFile(DataFile("images/gradient8.png").c_str(), 4, 2, 2, 4, 4, cells, 0), 0);
  EXPECT_EQ(DrawGraphAt(1, 2, cells[3], 0), 0);
  // Cell 3 starts at (4, 4) of the picture: red 21 * 4 + 3 * 4 = 96.
  EXPECT_EQ(BackPixel(1, 2), 0x60676Eu);
  // Its last pixel is (7, 7): red 21 * 7 + 3 * 7 = 168.
  EXPECT_EQ(BackPixel(4, 5), 0xA8AFB6u);
  EXPECT_EQ(PixelsNotEqual(0).size(), 16u);
}

TEST_F(Draw, PartsOfAGraphicPlainMirroredAndStretched) {
  const int graph = MakeGraph(3, 2, {0x010101, 0x020202, 0x030303, 0x040404, 0x050505, 0x060606});
  EXPECT_EQ(DrawGraphPartAt(5, 5, 1, 0, 2, 2, graph, 0, 0), 0);
  EXPECT_EQ(BackPixel(5, 5), 0x020202u);
  EXPECT_EQ(BackPixel(6, 5), 0x030303u);
  EXPECT_EQ(BackPixel(5, 6), 0x050505u);
  EXPECT_EQ(BackPixel(6, 6), 0x060606u);
  EXPECT_EQ(PixelsNotEqual(0).size(), 4u);

  FillBack(0);
  EXPECT_EQ(DrawGraphPartAt(5, 5, 1, 0, 2, 2, graph, 0, 1), 0);  // turned left to right
  EXPECT_EQ(BackPixel(5, 5), 0x030303u);
  EXPECT_EQ(BackPixel(6, 5), 0x020202u);
  EXPECT_EQ(BackPixel(5, 6), 0x060606u);
  EXPECT_EQ(PixelsNotEqual(0).size(), 4u);

  // Two pixels stretched into 4 x 2: each becomes a 2 x 2 block.
  FillBack(0);
  EXPECT_EQ(DrawGraphPartStretched(2, 3, 6, 5, 0, 0, 2, 1, graph, 0), 0);
  for (int y = 3; y < 5; y++) {
    for (int x = 2; x < 6; x++) EXPECT_EQ(BackPixel(x, y), x < 4 ? 0x010101u : 0x020202u) << x << "," << y;
  }
  EXPECT_EQ(PixelsNotEqual(0).size(), 8u);

  EXPECT_EQ(DrawGraphPartAt(0, 0, 2, 0, 2, 1, graph, 0, 0), -1);  // past the right edge
  EXPECT_EQ(DrawGraphPartAt(0, 0, 0, 0, 0, 1, graph, 0, 0), -1);
  EXPECT_EQ(DrawGraphPartStretched(0, 0, 4, 4, -1, 0, 2, 1, graph, 0), -1);
}

// gradient8.png: 8 x 8 RGB, red = 21x + 3y, green = red + 7, blue = red + 14.
constexpr uint32_t Gradient(int x, int y) {
  const uint32_t r = static_cast<uint32_t>(21 * x + 3 * y);
  return r << 16 | (r + 7) << 8 | (r + 14);
}

TEST_F(Draw, RotatedGraphicsAreCentredOnTheTruncatedPoint) {
  const int graph = MakeGraph(2, 2, {0x111111, 0x222222, 0x333333, 0x444444});
  // Angle 0, scale 1: the source's centre pixel (1, 1) on (5, 5), so its
  // top-left lands on (4, 4), pixel for pixel.
  EXPECT_EQ(DrawGraphRotatedFloat(5.9f, 5.2f, 1.0, 0.0, graph, 0, 0), 0);
  EXPECT_EQ(PixelsNotEqual(0), (Pixels{{4, 4}, {5, 4}, {4, 5}, {5, 5}}));
  EXPECT_EQ(BackPixel(4, 4), 0x111111u);
  EXPECT_EQ(BackPixel(5, 5), 0x444444u);

  // Scale 2: every source pixel a 2 x 2 block, (1, 1) still from (5, 5).
  FillBack(0);
  EXPECT_EQ(DrawGraphRotated(5, 5, 2.0, 0.0, graph, 0, 0), 0);
  EXPECT_EQ(PixelsNotEqual(0).size(), 16u);
  for (int y = 3; y < 7; y++) {
    for (int x = 3; x < 7; x++) {
      const uint32_t expected = 0x111111u * static_cast<uint32_t>(1 + (x >= 5) + 2 * (y >= 5));
      EXPECT_EQ(BackPixel(x, y), expected) << x << "," << y;
    }
  }

  // Turned: mirrored left to right through two triangles. The quad's first
  // corner, the top-right (6, 4), takes source column 0 at its own pixel, so
  // columns 6 and 5 show source columns 0 and 1 (and column 4 would be 2: outside).
  FillBack(0);
  EXPECT_EQ(DrawGraphRotated(5, 5, 1.0, 0.0, graph, 0, 1), 0);
  EXPECT_EQ(PixelsNotEqual(0), (Pixels{{5, 4}, {6, 4}, {5, 5}, {6, 5}}));
  EXPECT_EQ(BackPixel(5, 4), 0x222222u);
  EXPECT_EQ(BackPixel(6, 4), 0x111111u);
  EXPECT_EQ(BackPixel(5, 5), 0x444444u);
  EXPECT_EQ(BackPixel(6, 5), 0x333333u);

  // A zero or undefined scale or angle has no picture.
  FillBack(0);
  EXPECT_EQ(DrawGraphRotated(5, 5, 0.0, 0.0, graph, 0, 0), 0);
  EXPECT_EQ(DrawGraphRotated(5, 5, 1.0, std::nan(""), graph, 0, 0), 0);
  EXPECT_EQ(DrawGraphRotated(5, 5, 1e6, 0.0, graph, 0, 0), 0);
  EXPECT_TRUE(PixelsNotEqual(0).empty());
}

// A rotated draw first asks whether the graphic can reach the draw area at
// all; the answer must never hide a pixel the renderer would draw. Swept
// across every edge and past it, turned and enlarged, the draw call leaves
// the same pixels as the renderer called straight.
TEST_F(Draw, RotatedGraphicsOffTheDrawAreaAreSkippedWithoutLosingTheirEdges) {
  std::vector<uint32_t> pixels(5 * 3);
  for (size_t i = 0; i < pixels.size(); i++) pixels[i] = 0x101010u * static_cast<uint32_t>(i + 1);
  const int graph = MakeGraph(5, 3, pixels);
  MEMIMG* image = &LookupGraphHandle(graph)->image;
  ASSERT_EQ(SetDrawClipArea(2, 1, 13, 10), 0);
  const auto snapshot = [] {
    std::vector<uint32_t> all;
    for (int y = 0; y < kHeight; y++)
      for (int x = 0; x < kWidth; x++) all.push_back(BackPixel(x, y));
    return all;
  };
  int drawnSomewhere = 0;
  for (double angle : {0.0, 0.4, 0.785398, 1.5708, 2.9}) {
    for (double scale : {0.5, 1.0, 3.0, -2.0}) {
      for (int a = -20; a <= 20 + kWidth; a++) {
        // Along the top and bottom rows of the area, then its left and right columns.
        for (const auto& [x, y] : {std::pair{a, 1}, std::pair{a, 9}, std::pair{2, a}, std::pair{12, a}}) {
          FillBack(0);
          ASSERT_EQ(DrawGraphRotated(x, y, scale, angle, graph, 0, 0), 0);
          const std::vector<uint32_t> drawn = snapshot();
          FillBack(0);
          RotateBlitMemImg(Back(), image, x, y, static_cast<float>(angle), static_cast<float>(scale), 0, 0,
                           nullptr);
          ASSERT_EQ(drawn, snapshot()) << "centre " << x << "," << y << " angle " << angle << " scale " << scale;
          drawnSomewhere += !PixelsNotEqual(0).empty();
        }
      }
    }
  }
  EXPECT_GT(drawnSomewhere, 0);

  // Points far off, or nowhere, draw nothing: a float beyond the int range
  // stays on its own side, and NaN goes far off the left.
  FillBack(0);
  for (float far : {1.0e6f, -1.0e6f, 3.0e9f, -3.0e9f, std::nanf("")}) {
    EXPECT_EQ(DrawGraphRotatedFloat(far, 5.0f, 1.0, 0.0, graph, 0, 0), 0);
    EXPECT_EQ(DrawGraphRotatedFloat(5.0f, far, 9.0, 0.0, graph, 0, 0), 0);
    EXPECT_EQ(DrawGraphAtFloat(far, 5.0f, graph, 0), 0);
  }
  EXPECT_TRUE(PixelsNotEqual(0).empty());
}

TEST_F(Draw, AQuadTakesItsCornersClockwiseFromTheTopLeft) {
  const int graph = LoadGraphFile(DataFile("images/gradient8.png").c_str(), 0);
  // Top-left, top-right, bottom-right, bottom-left of an 8 x 8 square: each
  // pixel gets its own source pixel, and nothing beyond the square changes.
  EXPECT_EQ(DrawGraphOnQuadFloat(0, 0, 8, 0, 8, 8, 0, 8, graph, 0), 0);
  EXPECT_EQ(PixelsNotEqual(0).size(), 64u);
  for (int y = 0; y < 8; y++) {
    for (int x = 0; x < 8; x++) EXPECT_EQ(BackPixel(x, y), Gradient(x, y)) << x << "," << y;
  }
}

TEST_F(Draw, LinesLeaveOutTheirEndPoint) {
  const int color = PackRgbToScreenColor(0x20, 0x40, 0x60);
  EXPECT_EQ(DrawLine(0, 0, 4, 2, color, 1), 0);
  EXPECT_EQ(PixelsNotEqual(0), (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
  EXPECT_EQ(BackPixel(2, 1), 0x204060u);
}

TEST_F(Draw, RectanglesFilledAndOutlinedCoverEachPixelOnce) {
  const int color = PackRgbToScreenColor(0x10, 0x10, 0x10);
  EXPECT_EQ(DrawRectangle(4, 3, 1, 1, color, 1), 0);  // corners in either order
  Pixels filled;
  for (int y = 1; y < 3; y++) {
    for (int x = 1; x < 4; x++) filled.emplace_back(x, y);
  }
  EXPECT_EQ(PixelsNotEqual(0), filled);

  // Additive outline: a pixel drawn twice would show 0x202020.
  FillBack(0);
  SetBlendMode(BlendAdd, 255);
  EXPECT_EQ(DrawRectangle(1, 1, 5, 4, color, 0), 0);
  Pixels border;
  for (int y = 1; y < 4; y++) {
    for (int x = 1; x < 5; x++) {
      if (y == 2 && (x == 2 || x == 3)) continue;
      border.emplace_back(x, y);
    }
  }
  EXPECT_EQ(PixelsNotEqual(0), border);
  for (const auto& [x, y] : border) EXPECT_EQ(BackPixel(x, y), 0x101010u) << x << "," << y;

  // Two pixels wide, the outline is the whole box.
  FillBack(0);
  EXPECT_EQ(DrawRectangle(1, 1, 3, 5, color, 0), 0);
  EXPECT_EQ(PixelsNotEqual(0).size(), 8u);
  EXPECT_TRUE(PixelsNotEqual(0x101010).size() == static_cast<size_t>(kWidth * kHeight - 8));
}

TEST_F(Draw, ShapesTakeTheBrightnessByAShift) {
  // (channel * brightness) >> 8 for every channel once a brightness is set:
  // red 255 * 128 >> 8 = 0x7F, green 0x80 * 255 >> 8 = 0x7F, blue 0x40 * 255 >> 8 = 0x3F.
  SetDrawBrightnessRgb(128, 255, 255);
  EXPECT_EQ(DrawRectangle(0, 0, 1, 1, PackRgbToScreenColor(0xFF, 0x80, 0x40), 1), 0);
  EXPECT_EQ(BackPixel(0, 0), 0x7F7F3Fu);
}

TEST_F(Draw, ThickLinesAreTwoFilledTriangles) {
  const int color = PackRgbToScreenColor(0x20, 0x40, 0x60);
  // Corners (2, 4), (8, 4), (2, 6), (8, 6): rows 4 and 5, columns 2 to 8
  // (the triangles' right ends are included).
  EXPECT_EQ(DrawLine(2, 5, 8, 5, color, 2), 0);
  Pixels expected;
  for (int y = 4; y < 6; y++) {
    for (int x = 2; x <= 8; x++) expected.emplace_back(x, y);
  }
  EXPECT_EQ(PixelsNotEqual(0), expected);
  EXPECT_EQ(BackPixel(8, 5), 0x204060u);
  EXPECT_EQ(DrawLine(2, 5, 8, 5, color, 0), -1);
  EXPECT_EQ(DrawLine(2, 5, 2, 5, color, 3), 0);  // no length: nothing
  EXPECT_EQ(PixelsNotEqual(0), expected);
}

TEST_F(Draw, ShapesPastTheFixedPointOrIntRangeDrawNothing) {
  const int graph = MakeGraph(4, 4, std::vector<uint32_t>(16, 0x123456));
  const int color = PackRgbToScreenColor(0x20, 0x40, 0x60);
  // 8192 rows between corners: one more than the 14.18 set-up holds either way.
  EXPECT_EQ(DrawGraphOnQuadFloat(0, 0, 8, 0, 8, -8192, 0, -8192, graph, 0), 0);
  EXPECT_EQ(DrawGraphOnQuadFloat(0, -8192, 8, -8192, 8, 0, 0, 0, graph, 0), 0);
  // Thickness 8191 puts the corners half of 8191 above and below row 5,
  // rounded away from zero: rows 4101 and -4091.
  EXPECT_EQ(DrawLine(0, 5, 15, 5, color, 8191), 0);
  EXPECT_EQ(DrawLine(16, 85, 85, 85, color, 8191), 0);
  // Mirrored parts whose far edge lies past INT32_MAX.
  EXPECT_EQ(DrawGraphPartAt(INT32_MAX - 2, 0, 0, 0, 4, 4, graph, 0, 1), 0);
  EXPECT_EQ(DrawGraphPartAt(0, INT32_MAX - 1, 0, 0, 4, 4, graph, 0, 1), 0);
  EXPECT_TRUE(PixelsNotEqual(0).empty());

  // Just inside the range they draw. The quad maps 8 columns onto the 4 of
  // the graphic; column 8 lies on the source's right edge and is left alone.
  EXPECT_EQ(DrawGraphOnQuadFloat(0, 0, 8, 0, 8, 8191, 0, 8191, graph, 0), 0);
  Pixels quad;
  for (int y = 0; y < kHeight; y++) {
    for (int x = 0; x < 8; x++) quad.emplace_back(x, y);
  }
  EXPECT_EQ(PixelsNotEqual(0), quad);
  EXPECT_TRUE(PixelsNotEqual(0x123456).size() == static_cast<size_t>(kWidth * kHeight) - quad.size());
  // Thickness 8189: rows 4100 and -4090, the whole screen.
  EXPECT_EQ(DrawLine(0, 5, 15, 5, color, 8189), 0);
  EXPECT_TRUE(PixelsNotEqual(0x204060).empty());
}

TEST_F(Draw, DrawsWaitWhileTheWindowIsInactive) {
  SetRunWhenInactive(0);
  const int graph = MakeGraph(1, 1, {0x123456});
  window.PushActivation(false);
  ASSERT_EQ(ProcessWindowMessages(), 0);
  ASSERT_EQ(GetWindowActiveFlag(), 0);
  window.PushActivation(true);
  EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
  EXPECT_EQ(GetWindowActiveFlag(), 1);
  EXPECT_EQ(window.WaitingCount(), 0u);
  EXPECT_EQ(BackPixel(0, 0), 0x123456u);
}

TEST_F(Draw, InvalidHandlesDrawNothing) {
  const int graph = MakeGraph(1, 1, {0x123456});
  DeleteGraphHandle(graph);
  EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), -1);
  EXPECT_EQ(DrawGraphAtFloat(0, 0, graph, 0), -1);
  EXPECT_EQ(DrawGraphRotated(0, 0, 1.0, 0.0, graph, 0, 0), -1);
  EXPECT_EQ(DrawGraphRotatedFloat(0, 0, 1.0, 0.0, graph, 0, 0), -1);
  EXPECT_EQ(DrawGraphPartAt(0, 0, 0, 0, 1, 1, graph, 0, 0), -1);
  EXPECT_EQ(DrawGraphPartStretched(0, 0, 1, 1, 0, 0, 1, 1, graph, 0), -1);
  EXPECT_EQ(DrawGraphOnQuadFloat(0, 0, 1, 0, 1, 1, 0, 1, graph, 0), -1);
  EXPECT_EQ(DrawGraphAt(0, 0, -1, 0), -1);
  EXPECT_TRUE(PixelsNotEqual(0).empty());
  LibraryEnd();
  EXPECT_EQ(DrawLine(0, 0, 1, 1, 0, 1), -1);
  EXPECT_EQ(DrawRectangle(0, 0, 1, 1, 0, 1), -1);
}

}  // namespace
