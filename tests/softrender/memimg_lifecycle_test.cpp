#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "graphics/draw_settings.h"
#include "softrender/memimg.h"

namespace {

int64_t LiveBlocks() { return MemGetTotals().liveBlocks; }

TEST(MemImgLifecycle, PitchAndPitchExponent) {
  struct Case {
    int32_t type, alpha, width, pitch, expectPitch, expectShift;
  };
  const Case cases[] = {
      {MemImgType32, 0, 3, -1, 16, 4},     // rows of 12 bytes round to 16, which is 2^4
      {MemImgType16, 0, 1, -1, 16, -1},    // rows of 2 bytes: 2^1 asked, 16 stored
      {MemImgType32, 0, 100, -1, 400, -1},
      {MemImgType32, 0, 10, 1024, 1024, 10},
      {MemImgType32, 0, 256, -1, 1024, 10},
      {MemImgType16, 1, 4, -1, 16, 4},     // 16-bit with alpha takes 4 bytes a pixel
      {MemImgTypeBlend8, 0, 8, 8, 8, 3},
  };
  for (const Case& c : cases) {
    MEMIMG img{};
    ASSERT_EQ(CreateMemImg(&img, c.width, 2, c.pitch, 0, c.type, 0, c.alpha, 0, nullptr), 0);
    EXPECT_EQ(img.base->pitch, c.expectPitch) << c.width;
    EXPECT_EQ(img.base->pitchShift, c.expectShift) << c.width;
    ReleaseMemImg(&img);
  }
}

TEST(MemImgLifecycle, FlagsAndBuffersFollowTheColourType) {
  const int64_t before = LiveBlocks();

  // Palette forces alpha off; flags given as any non-zero value are stored as 1.
  MEMIMG pal{};
  ASSERT_EQ(CreateMemImg(&pal, 5, 5, -1, 7, MemImgType32, 5, -3, 0, nullptr), 0);
  EXPECT_EQ(pal.base->paletteFlag, 1);
  EXPECT_EQ(pal.base->alphaFlag, 0);
  EXPECT_EQ(MemImgBytesPerPixel(pal.base), 1);
  ASSERT_NE(pal.base->palette, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(pal.base->paletteCopy),
            static_cast<uint8_t*>(pal.base->palette) + 1024);
  const std::vector<uint8_t> zeros(2048, 0);
  EXPECT_EQ(std::memcmp(pal.base->palette, zeros.data(), 2048), 0);

  MEMIMG alpha16{};
  ASSERT_EQ(CreateMemImg(&alpha16, 3, 3, -1, 0, MemImgType16, 0, 9, 1, nullptr), 0);
  EXPECT_EQ(alpha16.base->alphaFlag, 1);
  EXPECT_EQ(MemImgBytesPerPixel(alpha16.base), 4);
  EXPECT_NE(alpha16.premulPixels, nullptr);
  EXPECT_NE(alpha16.base->runTable, nullptr);

  // Single-channel types take neither palette nor alpha, and a blend image
  // gets no extra buffers even when asked.
  MEMIMG blend{};
  ASSERT_EQ(CreateMemImg(&blend, 4, 4, -1, 0, MemImgTypeBlend8, 1, 1, 1, nullptr), 0);
  EXPECT_EQ(blend.base->paletteFlag, 0);
  EXPECT_EQ(blend.base->alphaFlag, 0);
  EXPECT_EQ(blend.base->runTable, nullptr);
  EXPECT_EQ(blend.premulPixels, nullptr);

  MEMIMG single16{};
  ASSERT_EQ(CreateMemImg(&single16, 4, 4, -1, 0, MemImgTypeSingle16, 0, 1, 1, nullptr), 0);
  EXPECT_EQ(MemImgBytesPerPixel(single16.base), 2);
  EXPECT_NE(single16.base->runTable, nullptr);
  EXPECT_EQ(single16.base->premulPixels, nullptr);

  for (MEMIMG* img : {&pal, &alpha16, &blend, &single16}) {
    EXPECT_EQ(CheckValidMemImg(img), 1);
    ReleaseMemImg(img);
    EXPECT_EQ(CheckValidMemImg(img), 0);
    EXPECT_EQ(img->base, nullptr);
  }
  EXPECT_EQ(LiveBlocks(), before);
}

TEST(MemImgLifecycle, LiveRecordsAreNeverOverwritten) {
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 2, 2, -1, 0, MemImgType32, 0, 0, 0, nullptr), 0);
  MemImgBase* base = img.base;
  EXPECT_EQ(CreateMemImg(&img, 8, 8, -1, 0, MemImgType16, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(img.base, base);
  EXPECT_EQ(img.width, 2);

  // The simple form clears the record first (its callers hold no image
  // there) and takes the screen's type for -1.
  MEMIMG copy = img;
  SetScreenColorBitDepth(16);
  ASSERT_EQ(CreateMemImgSimple(&copy, 3, 3, -1), 0);
  SetScreenColorBitDepth(0);
  EXPECT_NE(copy.base, base);
  EXPECT_EQ(copy.base->colorType, MemImgType16);
  ReleaseMemImg(&copy);
  ReleaseMemImg(&img);

  // Releasing a record without the magic does nothing.
  MEMIMG empty{};
  empty.base = reinterpret_cast<MemImgBase*>(&empty);
  ReleaseMemImg(&empty);
  EXPECT_EQ(empty.base, reinterpret_cast<MemImgBase*>(&empty));
}

TEST(MemImgLifecycle, BadSizesAreRefusedAndLeaveNothingBehind) {
  const int64_t before = LiveBlocks();
  MEMIMG img{};
  EXPECT_EQ(CreateMemImg(&img, -1, 4, -1, 0, MemImgType32, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(CreateMemImg(&img, 4, -1, -1, 0, MemImgType32, 0, 0, 0, nullptr), -1);
  // A given pitch shorter than a row.
  EXPECT_EQ(CreateMemImg(&img, 4, 4, 15, 0, MemImgType32, 0, 0, 0, nullptr), -1);
  // A pitch that would not fit, and pitch x height that overflows 32 bits.
  EXPECT_EQ(CreateMemImg(&img, 0x40000000, 1, -1, 0, MemImgType32, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(CreateMemImg(&img, 65536, 65536, -1, 0, MemImgType32, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(CreateMemImg(&img, 4, 4, -1, 0, 4, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(CreateMemImg(&img, 4, 4, -1, 0, -1, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(CheckValidMemImg(&img), 0);
  EXPECT_EQ(img.base, nullptr);
  EXPECT_EQ(LiveBlocks(), before);

  // An empty image is still an image.
  ASSERT_EQ(CreateMemImg(&img, 0, 0, -1, 0, MemImgType32, 0, 0, 1, nullptr), 0);
  ReleaseMemImg(&img);
  EXPECT_EQ(LiveBlocks(), before);
}

TEST(MemImgLifecycle, ViewsShareTheBaseAndTheLastReleaseFreesIt) {
  const int64_t before = LiveBlocks();
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 10, 10, -1, 0, MemImgType32, 0, 1, 1, nullptr), 0);
  const int32_t pitch = img.base->pitch;
  EXPECT_EQ(pitch, 48);

  MEMIMG view{};
  DeriveMemImg(&view, &img, 2, 3, 4, 5);
  ASSERT_EQ(CheckValidMemImg(&view), 1);
  EXPECT_EQ(view.width, 4);
  EXPECT_EQ(view.height, 5);
  EXPECT_EQ(view.pixels, img.pixels + 3 * pitch + 2 * 4);
  EXPECT_EQ(view.premulPixels, img.premulPixels + 3 * pitch + 2 * 4);
  EXPECT_EQ(view.base, img.base);
  EXPECT_EQ(img.base->refCount, 2);

  // A view of a view is relative to its parent view.
  MEMIMG inner{};
  DeriveMemImg(&inner, &view, 1, 1, 3, 4);
  EXPECT_EQ(inner.pixels, img.pixels + 4 * pitch + 3 * 4);
  EXPECT_EQ(img.base->refCount, 3);
  MEMIMG outside{};
  DeriveMemImg(&outside, &view, 1, 1, 4, 4);
  EXPECT_EQ(CheckValidMemImg(&outside), 0);

  // Releasing the creating record first leaves the views usable.
  ReleaseMemImg(&img);
  EXPECT_EQ(view.base->refCount, 2);
  std::memset(view.pixels, 0xAB, 16);
  ReleaseMemImg(&inner);
  ReleaseMemImg(&view);
  EXPECT_EQ(LiveBlocks(), before);
}

TEST(MemImgLifecycle, ViewsOutsideTheSourceAreRefused) {
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 10, 10, -1, 0, MemImgType16, 0, 0, 0, nullptr), 0);
  const struct {
    int32_t x, y, w, h;
  } bad[] = {{6, 0, 5, 1}, {0, 6, 1, 5}, {-1, 0, 1, 1}, {0, 0, -1, 1}, {5, 5, 1, -5},
             {0x7FFFFFFF, 0, 1, 1}, {1, 0, 0x7FFFFFFF, 1}};  // the last two wrap in 32 bits
  for (const auto& b : bad) {
    MEMIMG view{};
    DeriveMemImg(&view, &img, b.x, b.y, b.w, b.h);
    EXPECT_EQ(CheckValidMemImg(&view), 0) << b.x << "," << b.y << "," << b.w << "," << b.h;
  }
  EXPECT_EQ(img.base->refCount, 1);

  // A released source gives no view.
  MEMIMG dead = img;
  ReleaseMemImg(&img);
  dead.magic = 0;
  MEMIMG view{};
  DeriveMemImg(&view, &dead, 0, 0, 1, 1);
  EXPECT_EQ(CheckValidMemImg(&view), 0);
}

TEST(MemImgLifecycle, CallerBuffersAreNeverFreed) {
  const int64_t before = LiveBlocks();
  std::vector<uint8_t> pixels(8 * 32, 0x5A);
  MEMIMG img{};
  ASSERT_EQ(CreateMemImg(&img, 8, 8, 32, 0, MemImgType32, 0, 1, 1, pixels.data()), 0);
  EXPECT_EQ(img.base->userBuffer, 1);
  EXPECT_EQ(img.pixels, pixels.data());
  MEMIMG view{};
  DeriveMemImg(&view, &img, 1, 1, 2, 2);
  ReleaseMemImg(&img);
  ReleaseMemImg(&view);
  // The vector frees its own memory; the allocator saw only our blocks.
  EXPECT_EQ(LiveBlocks(), before);
  EXPECT_EQ(pixels[0], 0x5A);
}

}  // namespace
