// The box fill: the rectangle's corners, clipping, the refusals, and each
// blend mode's pixel in both depths with and without a brightness (which
// scales the colour by a shift of 8). Destination 0x80402010 is blue 0x10,
// green 0x20, red 0x40 and a top byte 0x80; 0x1234 is red 2, green 17, blue 20.
#include "softrender/box_line.h"
#include "tri_test_util.h"

namespace {

using BoxFill32 = TriTest;
using BoxFill16 = TriTest;
using BoxFill = TriTest;

// Pixel (1, 1) of a 2 x 2 destination of the type filled with dest, after
// the whole image is filled with color.
uint32_t FillPixel(int32_t type, uint32_t dest, uint32_t color, const PixelCase& f) {
  f.Set(2, 2);
  TriImage dst(2, 2, type);
  dst.Fill(dest);
  FillBoxMemImg(&dst.img, nullptr, static_cast<int32_t>(color));
  return dst.Pixel(1, 1);
}
uint32_t Fill32(uint32_t dest, uint32_t color, const PixelCase& f) {
  return FillPixel(MemImgType32, dest, color, f);
}
uint32_t Fill16(uint32_t dest, uint32_t color, const PixelCase& f) {
  return FillPixel(MemImgType16, dest, color, f);
}

TEST_F(BoxFill32, CopyWritesAllFourBytes) {
  EXPECT_EQ(Fill32(0x80402010, 0x12345678, {}), 0x12345678u);
  EXPECT_EQ(Fill32(0x80402010, 0x12345678, {.mode = 1, .param = 255}), 0x12345678u);
  EXPECT_EQ(Fill32(0x80402010, 0x12345678, {.mode = 1, .param = 0}), 0x80402010u);
  // Brightness 255 leaves a channel; 254 takes 255 to 253 and 255 to 254
  // (255 * 255 >> 8), the top byte as given.
  EXPECT_EQ(Fill32(0, 0x11FFFFFF, {.blue = 254}), 0x11FEFEFDu);
}

TEST_F(BoxFill32, BlendMovesByFloorOfTheParameterOver256) {
  // 16 + floor(192 / 2) = 112, 32 + 96 = 128, 64 + 88 = 152; top byte kept.
  EXPECT_EQ(Fill32(0x80402010, 0x00F0E0D0, {.mode = 1, .param = 128}), 0x80988070u);
  // Red brightness 128: 240 -> 120, and 224 -> 223, 208 -> 207 under 255.
  EXPECT_EQ(Fill32(0x80402010, 0x00F0E0D0, {.mode = 1, .param = 128, .red = 128}), 0x805C7F6Fu);
}

TEST_F(BoxFill32, AddWeighsTheColourThroughTheProductTable) {
  // prod(128, 200) = 100 on each channel, then the packed add; no carry.
  EXPECT_EQ(Fill32(0x80402010, 0x00C8C8C8, {.mode = 2, .param = 128}), 0x00A48474u);
  // Blue brightness 128: 200 -> 100 -> prod 50; the others 199 -> 99, whose
  // lowest bits OR into green and red.
  EXPECT_EQ(Fill32(0x80402010, 0x00C8C8C8, {.mode = 2, .param = 128, .blue = 128}), 0x00A38342u);
  EXPECT_EQ(Fill32(0x80402010, 0x00FFFFFF, {.mode = 2, .param = 0}), 0x80402010u);
  EXPECT_EQ(Fill32(0x00F0F0F0, 0x00202020, {.mode = 2, .param = 255}), 0x01FFFFFFu);
}

TEST_F(BoxFill32, SubtractFloorsAtZeroWithTheGuardBits) {
  // Blue borrows (0); green 2 * (16 - 16) + 0; red 2 * (32 - 8) + 1.
  EXPECT_EQ(Fill32(0x80402010, 0x00102030, {.mode = 3, .param = 255}), 0x00310000u);
  // Red brightness 128: red 16 -> 8; green 32 -> 31, blue 48 -> 47.
  EXPECT_EQ(Fill32(0x80402010, 0x00102030, {.mode = 3, .param = 255, .red = 128}), 0x00390200u);
  EXPECT_EQ(Fill32(0x80402010, 0x00102030, {.mode = 3, .param = 0}), 0x80402010u);
}

TEST_F(BoxFill16, BlendMovesThroughTheLerpTable) {
  // Toward white at 128: 2 + 29 * 128 / 255 = 16, 17 + 23 = 40, 20 + 5 = 25.
  EXPECT_EQ(Fill16(0x1234, 0xFFFF, {.mode = 1, .param = 128}), 0x8519u);
  // Red brightness 128: 31 -> 15; 63 -> 62 and 31 -> 30 under 255.
  EXPECT_EQ(Fill16(0x1234, 0xFFFF, {.mode = 1, .param = 128, .red = 128}), 0x44F9u);
  EXPECT_EQ(Fill16(0x1234, 0xFFFF, {.mode = 1, .param = 0}), 0x1234u);
  EXPECT_EQ(Fill16(0x1234, 0xABCD, {.mode = 1, .param = 255}), 0xABCDu);
}

TEST_F(BoxFill16, AddAndSubtractInPackedFields) {
  EXPECT_EQ(Fill16(0x8000, 0x8000, {.mode = 2, .param = 255}), 0xF800u);  // red 16 + 16 saturates
  // Red brightness 128: 16 -> 8; 8 + 16 = 24.
  EXPECT_EQ(Fill16(0x8000, 0x8000, {.mode = 2, .param = 255, .red = 128}), 0xC000u);
  // Subtracting 0 still sets red's lowest bit from green's guard.
  EXPECT_EQ(Fill16(0x1234, 0x0000, {.mode = 3, .param = 255}), 0x1A14u);
  // White minus (15, 62, 30): blue 1, green 0, red 2 * 8 + 1.
  EXPECT_EQ(Fill16(0xFFFF, 0xFFFF, {.mode = 3, .param = 255, .red = 128}), 0x8801u);
  EXPECT_EQ(Fill16(0x1234, 0xFFFF, {.mode = 3, .param = 0}), 0x1234u);
}

TEST_F(BoxFill, CornersInEitherOrderAndClipping) {
  ResetTriDrawState(8, 6);
  TriImage a(8, 6, MemImgType32), b(8, 6, MemImgType32);
  const IntRect ordered{2, 1, 5, 4}, reversed{5, 4, 2, 1};
  FillBoxMemImg(&a.img, &ordered, 0x00ABCDEF);
  FillBoxMemImg(&b.img, &reversed, 0x00ABCDEF);
  for (int y = 0; y < 6; y++) {
    for (int x = 0; x < 8; x++) {
      const uint32_t want = x >= 2 && x < 5 && y >= 1 && y < 4 ? 0x00ABCDEFu : 0u;
      ASSERT_EQ(a.At32(x, y), want) << x << "," << y;
      ASSERT_EQ(b.At32(x, y), want) << x << "," << y;
    }
  }
  // Outside the draw area, or reaching past the image: only what is inside.
  SetArea(1, 1, 7, 5);
  const IntRect outside{7, 0, 20, 1}, huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  FillBoxMemImg(&a.img, &outside, 0x00111111);
  FillBoxMemImg(&b.img, &huge, 0x00222222);
  for (int y = 0; y < 6; y++) {
    for (int x = 0; x < 8; x++) {
      const bool inArea = x >= 1 && x < 7 && y >= 1 && y < 5;
      const bool inBox = x >= 2 && x < 5 && y >= 1 && y < 4;
      ASSERT_EQ(a.At32(x, y), inBox ? 0x00ABCDEFu : 0u) << x << "," << y;
      ASSERT_EQ(b.At32(x, y), inArea ? 0x00222222u : 0u) << x << "," << y;
    }
  }
}

TEST_F(BoxFill, LongRowsMatchTheirScalarPixels) {
  // Rows long enough for the vector spans, with a tail, in every mode.
  ResetTriDrawState(150, 3);
  const int modes[] = {1, 2, 3, 4, 10, 11};
  for (int mode : modes) {
    TriImage wide(150, 3, MemImgType32), one(1, 1, MemImgType32);
    for (int x = 0; x < 150; x++) {
      for (int y = 0; y < 3; y++) wide.At32(x, y) = 0x9A000000u + static_cast<uint32_t>(x * 0x010203 + y);
    }
    SetTriMode(mode, 77);
    const IntRect box{3, 0, 147, 3};
    FillBoxMemImg(&wide.img, &box, 0x00C0906A);
    for (int y = 0; y < 3; y++) {
      for (int x = 3; x < 147; x++) {
        one.At32(0, 0) = 0x9A000000u + static_cast<uint32_t>(x * 0x010203 + y);
        SetArea(0, 0, 1, 1);
        FillBoxMemImg(&one.img, nullptr, 0x00C0906A);
        SetArea(0, 0, 150, 3);
        ASSERT_EQ(wide.At32(x, y), one.At32(0, 0)) << "mode " << mode << " at " << x << "," << y;
      }
    }
  }
}

// Fills past the core's caches go to the processor's string stores where it
// has fast ones: a whole 4 MiB image of either depth, then a full-width band
// of it (gapless rows too), must hold exactly the colours and nothing more.
TEST_F(BoxFill, WholeLargeImagesAndFullWidthBands) {
  for (const int32_t type : {MemImgType32, MemImgType16}) {
    const int w = type == MemImgType32 ? 1024 : 2048, h = 1024;
    const uint32_t whole = type == MemImgType32 ? 0x00123456u : 0x89ABu;
    const uint32_t band = type == MemImgType32 ? 0x00FEDCBAu : 0x1357u;
    ResetTriDrawState(w, h);
    TriImage img(w, h, type);
    img.Fill(0);
    FillBoxMemImg(&img.img, nullptr, static_cast<int32_t>(whole));
    const IntRect rows{0, 5, w, 700};
    FillBoxMemImg(&img.img, &rows, static_cast<int32_t>(band));
    size_t wrong = 0;
    for (int y = 0; y < h; y++) {
      for (int x = 0; x < w; x++) wrong += img.Pixel(x, y) != (y >= 5 && y < 700 ? band : whole);
    }
    EXPECT_EQ(wrong, 0u) << "type " << type;
  }
}

TEST_F(BoxFill, PaletteAlphaAndSingleChannelImagesAreRefused) {
  ResetTriDrawState(2, 2);
  TriImage palette(2, 2, MemImgType32, 0, 1), alpha(2, 2, MemImgType32, 1), single(2, 2, MemImgTypeBlend8);
  FillBoxMemImg(&palette.img, nullptr, 0x7F);
  FillBoxMemImg(&alpha.img, nullptr, 0x7F);
  FillBoxMemImg(&single.img, nullptr, 0x7F);
  EXPECT_EQ(palette.At8(1, 1), 0u);
  EXPECT_EQ(alpha.At32(1, 1), 0u);
  EXPECT_EQ(single.At8(1, 1), 0u);
  FillBoxMemImg(nullptr, nullptr, 0x7F);
}

}  // namespace
