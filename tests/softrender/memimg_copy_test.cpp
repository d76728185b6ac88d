#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/memory.h"
#include "graphics/directdraw_pixel_format.h"
#include "image/graph_image.h"
#include "softrender/memimg.h"

namespace {

// A GraphImage over a vector the test owns.
struct TestImage {
  GraphImage image{};
  std::vector<uint8_t> pixels;

  TestImage(int width, int height, int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    SetupColorFormat(&image.format, bits, r, g, b, a);
    image.width = width;
    image.height = height;
    image.pitch = (width * (bits / 8) + 3) & ~3;
    pixels.assign(static_cast<size_t>(image.pitch) * height, 0);
    image.pixels = pixels.data();
  }
  void Put32(int x, int y, uint32_t v) { std::memcpy(&pixels[y * image.pitch + x * 4], &v, 4); }
  void Put8(int x, int y, uint8_t v) { pixels[y * image.pitch + x] = v; }
  // Row 0 of a 32-bit image, from x = 0.
  void PutRow(std::initializer_list<uint32_t> values) {
    int x = 0;
    for (uint32_t v : values) Put32(x++, 0, v);
  }
};

TestImage Xrgb(int width, int height) { return TestImage(width, height, 32, 0xFF0000, 0xFF00, 0xFF, 0); }
TestImage Argb(int width, int height) {
  return TestImage(width, height, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
}
TestImage Indexed(int width, int height) { return TestImage(width, height, 8, 0xFF0000, 0xFF00, 0xFF, 0); }

uint32_t Get32(const MEMIMG& img, int x, int y) {
  uint32_t v;
  std::memcpy(&v, img.pixels + y * img.base->pitch + x * 4, 4);
  return v;
}
uint16_t Get16(const MEMIMG& img, int x, int y, int bytesPerPixel = 2) {
  uint16_t v;
  std::memcpy(&v, img.pixels + y * img.base->pitch + x * bytesPerPixel, 2);
  return v;
}

std::vector<uint8_t> FirstRowRuns(const MEMIMG& img) {
  std::vector<uint8_t> codes;
  const uint8_t* p = img.base->runTable;
  do codes.push_back(*p); while (*p++ != kRunRowEnd);
  return codes;
}

TEST(MemImgFormats, PaletteAndSingleChannelDescriptions) {
  // Palette formats are 8 bits and keep their type's masks for the entries;
  // flags count as set when non-zero.
  const ColorFormat* f = GetMemImgColorFormat(MemImgType16, 7, -2);
  EXPECT_EQ(f, GetMemImgColorFormat(MemImgType16, 1, 1));
  EXPECT_EQ(f->bitsPerPixel, 8);
  EXPECT_EQ(f->greenMask, 0x07E0u);
  EXPECT_EQ(f->alphaMask, 0xFF0000u);
  EXPECT_EQ(GetMemImgColorFormat(MemImgType16, 1, 0)->bytesPerPixel, 4);
  // Single-channel types ignore the flags: one value in every channel.
  f = GetMemImgColorFormat(MemImgTypeSingle16, 1, 1);
  EXPECT_EQ(f, GetMemImgColorFormat(MemImgTypeSingle16, 0, 0));
  EXPECT_EQ(f->bytesPerPixel, 2);
  EXPECT_EQ(f->redMask & f->greenMask & f->blueMask & f->alphaMask, 0xFFFFu);
  EXPECT_EQ(f->alphaWidth, 16);
  EXPECT_EQ(GetMemImgColorFormat(static_cast<uint32_t>(-1), 0, 0), nullptr);

  const DirectDrawPixelFormat* dd = GetMemImgDirectDrawPixelFormat(MemImgType32, 1, 0);
  EXPECT_EQ(dd->size, 32u);
  EXPECT_EQ(dd->flags, 0x40u);
  EXPECT_EQ(dd->bitCount, 32u);
  EXPECT_EQ(dd->alphaMask, 0xFF000000u);
  EXPECT_EQ(GetMemImgDirectDrawPixelFormat(MemImgTypeBlend8, 0, 0)->redMask, 0xFFu);
  EXPECT_EQ(GetMemImgDirectDrawPixelFormat(4, 0, 0), nullptr);
}

TEST(MemImgCopy, WholeViewCopyPreparesTheRunTable) {
  TestImage src = Xrgb(20, 20);
  for (int y = 0; y < 20; y++) {
    for (int x = 0; x < 20; x++) src.Put32(x, y, (x + y) % 3 == 0 ? 0x00FF00FFu : 0x00102030u + x);
  }
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 10, 10, -1, 0x00FF00FF, MemImgType32, 0, 0, 1, nullptr), 0);
  // The rectangle at (5, 5) still counts as whole: only sizes are compared.
  ASSERT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &img, 5, 5, 10, 10, 0, 0, 0), 0);
  for (int y = 0; y < 10; y++) {
    for (int x = 0; x < 10; x++) {
      const int sx = x + 5, sy = y + 5;
      const uint32_t expect = (sx + sy) % 3 == 0 ? 0x00FF00FFu : 0x00102030u + sx;
      EXPECT_EQ(Get32(img, x, y) & 0xFFFFFF, expect) << x << "," << y;
    }
  }
  EXPECT_EQ(img.base->runTableValid, 1);
  EXPECT_EQ(img.base->premulValid, 0);  // no alpha
  EXPECT_EQ(MemImgRunTableUsable(&img), 1);
  // Row 0 holds source (5..14, 5): transparent where (x + 10) % 3 == 0, i.e. x = 2, 5, 8.
  EXPECT_EQ(FirstRowRuns(img), (std::vector<uint8_t>{0x41, 0x00, 0x41, 0x00, 0x41, 0x00, 0x40, 0xC0}));

  // A copy of 9 x 10 pixels leaves both flags cleared.
  img.base->premulValid = 1;
  ASSERT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &img, 0, 0, 9, 10, 1, 0, 0), 0);
  EXPECT_EQ(img.base->runTableValid, 0);
  EXPECT_EQ(img.base->premulValid, 0);
  ReleaseMemImg(&img);
}

TEST(MemImgCopy, ThirtyTwoBitColourIntoSixteenBitImages) {
  TestImage src = Xrgb(3, 1);
  src.PutRow({0x00088FF8, 0x00FFFFFF, 0x00000000});  // first: red 0x08, green 0x8F, blue 0xF8
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 3, 1, -1, 0, MemImgType16, 0, 0, 0, nullptr), 0);
  ASSERT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &img, 0, 0, 3, 1, 0, 0, 0), 0);
  // 0x08 >> 3 = 1, 0x8F >> 2 = 35, 0xF8 >> 3 = 31: 1 << 11 | 35 << 5 | 31.
  EXPECT_EQ(Get16(img, 0, 0), 0x0C7F);
  EXPECT_EQ(Get16(img, 1, 0), 0xFFFF);
  EXPECT_EQ(Get16(img, 2, 0), 0x0000);
  ReleaseMemImg(&img);
}

TEST(MemImgCopy, AlphaFromAnAlphaImageAndThePremultipliedBuffer) {
  TestImage colour = Xrgb(2, 1);
  colour.PutRow({0x003264C8, 0x00FFFFFF});  // first: red 50, green 100, blue 200
  TestImage alpha = Xrgb(2, 1);  // its red channel is the alpha
  alpha.PutRow({0x00800000, 0x00000000});

  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 2, 1, -1, 0, MemImgType32, 0, 1, 1, nullptr), 0);
  ASSERT_EQ(CopyGraphImageToMemImg(&colour.image, &alpha.image, &img, 0, 0, 2, 1, 0, 0, 0), 0);
  EXPECT_EQ(Get32(img, 0, 0), 0x803264C8u);
  EXPECT_EQ(Get32(img, 1, 0), 0x00FFFFFFu);
  EXPECT_EQ(img.base->premulValid, 1);
  const uint8_t premul[8] = {100, 50, 25, 128, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(img.premulPixels, premul, 8), 0);
  EXPECT_EQ(FirstRowRuns(img), (std::vector<uint8_t>{0x80, 0x00, 0xC0}));
  ReleaseMemImg(&img);

  // 16-bit colour with alpha: the colour in bytes 0-1, the alpha in byte 2.
  TestImage argb = Argb(2, 1);
  argb.PutRow({0xFFF8FCF8, 0x40000000});
  MEMIMG img16{};
  ASSERT_EQ(CreateMemImg(&img16, 2, 1, -1, 0, MemImgType16, 0, 1, 1, nullptr), 0);
  ASSERT_EQ(CopyGraphImageToMemImg(&argb.image, nullptr, &img16, 0, 0, 2, 1, 0, 0, 0), 0);
  EXPECT_EQ(Get16(img16, 0, 0, 4), 0xFFFF);
  EXPECT_EQ(img16.pixels[2], 0xFF);
  EXPECT_EQ(Get16(img16, 1, 0, 4), 0x0000);
  EXPECT_EQ(img16.pixels[6], 0x40);
  EXPECT_EQ(FirstRowRuns(img16), (std::vector<uint8_t>{0x40, 0x80, 0xC0}));
  ReleaseMemImg(&img16);
}

TEST(MemImgCopy, TransparentColourBecomesAlphaZero) {
  TestImage src = Xrgb(3, 1);
  src.PutRow({0x00FF00FF, 0x00123456, 0x00FF00FF});
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 3, 1, -1, 0x00FF00FF, MemImgType32, 0, 1, 1, nullptr), 0);
  ASSERT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &img, 0, 0, 3, 1, 0, 0, 1), 0);
  EXPECT_EQ(Get32(img, 0, 0) >> 24, 0u);
  EXPECT_EQ(Get32(img, 1, 0), 0xFF123456u);
  EXPECT_EQ(Get32(img, 2, 0) >> 24, 0u);
  EXPECT_EQ(FirstRowRuns(img), (std::vector<uint8_t>{0x00, 0x40, 0x00, 0xC0}));
  ReleaseMemImg(&img);
}

TEST(MemImgCopy, PaletteImagesConvertTheirPalette) {
  TestImage src = Indexed(4, 2);
  src.image.format.palette[3] = PaletteEntry{0xFF, 0x80, 0x08, 0x77};
  src.image.format.palette[255] = PaletteEntry{0x07, 0x03, 0xFF, 0};
  const uint8_t indices[8] = {0, 3, 3, 1, 5, 3, 0, 2};
  for (int i = 0; i < 8; i++) src.Put8(i % 4, i / 4, indices[i]);

  MEMIMG p16{};
  ASSERT_EQ(CreateMemImg(&p16, 4, 2, -1, 3, MemImgType16, 1, 0, 1, nullptr), 0);
  ASSERT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &p16, 0, 0, 4, 2, 0, 0, 0), 0);
  for (int i = 0; i < 8; i++) EXPECT_EQ(p16.pixels[(i / 4) * p16.base->pitch + i % 4], indices[i]);
  EXPECT_EQ(p16.base->paletteCount, 6);  // highest index 5, plus one
  const auto* pal16 = static_cast<const uint16_t*>(p16.base->palette);
  EXPECT_EQ(pal16[3], 0x0C1F);
  EXPECT_EQ(pal16[255], 0xF800);  // blue 7 and green 3 fall below their fields
  EXPECT_EQ(pal16[0], 0x0000);
  EXPECT_EQ(std::memcmp(p16.base->paletteCopy, p16.base->palette, 512), 0);
  // Index 3 is the transparent colour.
  EXPECT_EQ(FirstRowRuns(p16), (std::vector<uint8_t>{0x40, 0x01, 0x40, 0xC0}));
  ReleaseMemImg(&p16);

  MEMIMG p32{};
  ASSERT_EQ(CreateMemImg(&p32, 4, 2, -1, 0xFFFF, MemImgType32, 1, 0, 0, nullptr), 0);
  ASSERT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &p32, 0, 0, 4, 2, 0, 0, 0), 0);
  const auto* pal32 = static_cast<const uint8_t*>(p32.base->palette);
  const uint8_t entry3[4] = {0xFF, 0x80, 0x08, 0x00};
  EXPECT_EQ(std::memcmp(pal32 + 12, entry3, 4), 0);
  EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(p32.base->paletteCopy) + 12, entry3, 4), 0);
  EXPECT_EQ(p32.base->runTableValid, 0);  // no run table buffer
  ReleaseMemImg(&p32);
}

TEST(MemImgCopy, BlendImagesTakeTheRedChannel) {
  TestImage src = Xrgb(3, 1);
  src.PutRow({0x00C01020, 0x0000FFFF, 0x00FF0000});
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 4, 2, -1, 0, MemImgTypeBlend8, 0, 0, 0, nullptr), 0);
  std::memset(img.pixels, 0x55, img.base->pitch * 2);
  ASSERT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &img, 0, 0, 3, 1, 1, 1, 0), 0);
  const uint8_t* row1 = img.pixels + img.base->pitch;
  EXPECT_EQ(row1[0], 0x55);
  EXPECT_EQ(row1[1], 0xC0);
  EXPECT_EQ(row1[2], 0x00);
  EXPECT_EQ(row1[3], 0xFF);
  EXPECT_EQ(img.pixels[1], 0x55);
  ReleaseMemImg(&img);
}

TEST(MemImgCopy, FailuresLeaveTheImageAlone) {
  const int64_t before = MemGetTotals().liveBlocks;
  TestImage src = Indexed(4, 4);
  src.image.format.palette[1] = PaletteEntry{1, 2, 3, 0};
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 4, 4, -1, 0, MemImgType32, 1, 0, 1, nullptr), 0);
  img.base->runTableValid = 1;
  img.base->paletteCount = 9;
  // An empty rectangle: the converter's failure, nothing touched.
  EXPECT_LT(CopyGraphImageToMemImg(&src.image, nullptr, &img, 0, 0, 0, 4, 0, 0, 0), 0);
  // Rectangles that do not fit either image are refused.
  EXPECT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &img, 1, 0, 4, 4, 0, 0, 0), -1);
  EXPECT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &img, 0, 0, 4, 4, 0, 1, 0), -1);
  EXPECT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &img, -1, 0, 2, 2, 0, 0, 0), -1);
  EXPECT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &img, 0x7FFFFFFF, 0, 2, 2, 0, 0, 0), -1);
  EXPECT_EQ(img.base->runTableValid, 1);
  EXPECT_EQ(img.base->paletteCount, 9);
  const uint8_t zeros[4] = {};
  EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(img.base->palette) + 4, zeros, 4), 0);

  MEMIMG released{};
  EXPECT_EQ(CopyGraphImageToMemImg(&src.image, nullptr, &released, 0, 0, 1, 1, 0, 0, 0), -1);
  ReleaseMemImg(&img);
  EXPECT_EQ(MemGetTotals().liveBlocks, before);
}

TEST(MemImgConvertBlit, CopiesARectangleWithConversion) {
  MEMIMG src{}, dst{};
  ASSERT_EQ(CreateMemImg(&src, 4, 3, -1, 0, MemImgType32, 0, 0, 1, nullptr), 0);
  ASSERT_EQ(CreateMemImg(&dst, 5, 5, -1, 0, MemImgType16, 0, 0, 1, nullptr), 0);
  FillMemImgRaw(&src, nullptr, 0x00F8FC00);  // red 0xF8, green 0xFC, blue 0
  const uint32_t white = 0x00FFFFFF;
  std::memcpy(src.pixels + src.base->pitch + 4, &white, 4);
  FillMemImgRaw(&dst, nullptr, 0x1234);
  dst.base->runTableValid = 1;

  const IntRect rect{1, 1, 3, 3};
  EXPECT_EQ(ConvertBlitMemImg(&dst, &src, &rect, 2, 0), 0);
  EXPECT_EQ(Get16(dst, 1, 0), 0x1234);
  EXPECT_EQ(Get16(dst, 2, 0), 0xFFFF);
  EXPECT_EQ(Get16(dst, 3, 0), 0xFFE0);
  EXPECT_EQ(Get16(dst, 2, 1), 0xFFE0);
  EXPECT_EQ(Get16(dst, 2, 2), 0x1234);
  EXPECT_EQ(dst.base->runTableValid, 1);  // the flags are left as they are

  // Null takes the whole source; empty and ill-fitting rectangles fail.
  EXPECT_EQ(ConvertBlitMemImg(&dst, &src, nullptr, 0, 2), 0);
  EXPECT_EQ(Get16(dst, 3, 4), 0xFFE0);
  EXPECT_EQ(Get16(dst, 4, 4), 0x1234);
  const IntRect empty{2, 2, 2, 3};
  EXPECT_EQ(ConvertBlitMemImg(&dst, &src, &empty, 0, 0), -1);
  EXPECT_EQ(ConvertBlitMemImg(&dst, &src, nullptr, 2, 0), -1);
  const IntRect wide{0, 0, 5, 1};
  EXPECT_EQ(ConvertBlitMemImg(&dst, &src, &wide, 0, 0), -1);
  ReleaseMemImg(&src);
  ReleaseMemImg(&dst);
}

}  // namespace
