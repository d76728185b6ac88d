// Blend graphics loaded from picture files, weighing plain and stretched draws
// through the public calls. With border parameter 128 and range 255 the
// weight is the blend value itself, and a source s drawn over d without
// blending becomes (d * 256 + (s - d) * w) >> 8 in each channel.
#include "tests/graphics/graphics_fixture.h"
#include "tests/support/image_files.h"

namespace {

// Source 0xF0E0D0 over 0x102030, worked out per channel from the rule above.
uint32_t Weighed(int w) {
  switch (w) {
    case 0: return 0x102030;
    case 64: return 0x485058;   // (16*256 + 224*64) >> 8 = 72, (32*256 + 192*64) >> 8 = 80, ... 88
    case 76: return 0x52595F;   // 21120 >> 8 = 82, 22784 >> 8 = 89, 24448 >> 8 = 95
    case 128: return 0x808080;  // 32768 >> 8 in each channel
    case 150: return 0x93908D;  // 37696 >> 8 = 147, 36992 >> 8 = 144, 36288 >> 8 = 141
    case 255: return 0xEFDFCF;  // 61216 >> 8 = 239, 57152 >> 8 = 223, 53088 >> 8 = 207
    default: return 0xDEADBEEF;
  }
}

class BlendGraphFile : public GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    SetBlendMode(BlendNone, 255);
    source = MakeGraph(2, 2, std::vector<uint32_t>(4, 0xF0E0D0));
    ASSERT_NE(source, -1);
  }
  void TearDown() override {
    SetBlendGraphParams(-1, 0, 0);
    GraphicsTest::TearDown();
  }
  int Load(const char* name, int colorType, std::vector<uint8_t> samples) {
    PngParams png;
    png.width = 2;
    png.height = 2;
    png.colorType = colorType;
    png.samples = std::move(samples);
    const std::vector<uint8_t> bytes = EncodePng(png);
    dir.Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return LoadBlendGraphFile(name);
  }

  int source = -1;
};

TEST_F(BlendGraphFile, AlphaOrGreyLevelWeighsEachPixel) {
  struct Case {
    const char* name;
    int colorType;
    std::vector<uint8_t> samples;
    int weights[4];
  };
  const Case cases[] = {
      {"grey.png", 0, {0, 64, 128, 255}, {0, 64, 128, 255}},
      // Grey level (77 r + 151 g + 28 b) >> 8: red 19635 >> 8 = 76, green 38505 >> 8 = 150.
      {"colour.png", 2, {255, 0, 0, 0, 255, 0, 255, 255, 255, 0, 0, 0}, {76, 150, 255, 0}},
      // With alpha the colour is not looked at: all white here.
      {"alpha.png", 6, {255, 255, 255, 255, 255, 255, 255, 0, 255, 255, 255, 64, 255, 255, 255, 128},
       {255, 0, 64, 128}},
      {"grey-alpha.png", 4, {255, 150, 255, 76, 0, 0, 0, 255}, {150, 76, 0, 255}},
  };
  for (const Case& c : cases) {
    const int blend = Load(c.name, c.colorType, c.samples);
    ASSERT_NE(blend, -1) << c.name;
    ASSERT_EQ(SetBlendGraphParams(blend, 128, 255), 0);
    FillBack(0x102030);
    EXPECT_EQ(DrawGraphAt(3, 4, source, 0), 0);
    for (int i = 0; i < 4; i++) {
      EXPECT_EQ(BackPixel(3 + i % 2, 4 + i / 2), Weighed(c.weights[i])) << c.name << " pixel " << i;
    }
    EXPECT_EQ(PixelsNotEqual(0x102030).size(), static_cast<size_t>(4 - std::count(c.weights, c.weights + 4, 0)));
    EXPECT_EQ(SetBlendGraphParams(-1, 0, 0), 0);
    EXPECT_EQ(DeleteGraphHandle(blend), 0);
  }
}

TEST_F(BlendGraphFile, AStretchedDrawReadsTheBlendValueAtTheSourcePixel) {
  const int blend = Load("grey.png", 0, {0, 64, 128, 255});
  ASSERT_EQ(SetBlendGraphParams(blend, 128, 255), 0);
  FillBack(0x102030);
  // 2 x 2 doubled into (-2, 0)-(2, 4): the left edge cuts off source column 0,
  // so every drawn pixel comes from column 1, rows 0 (weight 64) and 1 (255).
  EXPECT_EQ(DrawGraphPartStretched(-2, 0, 2, 4, 0, 0, 2, 2, source, 0), 0);
  EXPECT_EQ(PixelsNotEqual(0x102030), (std::vector<std::pair<int, int>>{
                                          {0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}, {0, 3}, {1, 3}}));
  for (int y = 0; y < 4; y++) {
    for (int x = 0; x < 2; x++) EXPECT_EQ(BackPixel(x, y), Weighed(y < 2 ? 64 : 255)) << x << "," << y;
  }
  // Range 0 makes the ramp a hard step at the parameter: 64 weighs 0, 255 weighs 255.
  ASSERT_EQ(SetBlendGraphParams(blend, 128, 0), 0);
  FillBack(0x102030);
  EXPECT_EQ(DrawGraphPartStretched(-2, 0, 2, 4, 0, 0, 2, 2, source, 0), 0);
  EXPECT_EQ(PixelsNotEqual(0x102030), (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}, {0, 3}, {1, 3}}));
  EXPECT_EQ(BackPixel(1, 3), Weighed(255));

  EXPECT_EQ(LoadBlendGraphFile("missing.png"), -1);
  EXPECT_TRUE(Logged("グラフィックファイルの読み込みに失敗しました：missing.png in LoadBlendGraphFile"));
}

}  // namespace
