#include "graphics/draw_settings.h"

#include <gtest/gtest.h>

#include "graphics/graphics_api.h"
#include "softrender/blend_tables.h"
#include "softrender/memimg.h"

namespace {

class DrawSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetBlendGraphLookup(nullptr);
    SetDefaultDrawSettings(640, 480);
  }
  void TearDown() override { SetBlendGraphLookup(nullptr); }
};

TEST_F(DrawSettingsTest, BlendModeIsStoredAsGivenAndTheParameterClamped) {
  EXPECT_EQ(SetBlendMode(BlendAlpha, 300), 0);
  EXPECT_EQ(g_drawSettings.blendMode, BlendAlpha);
  EXPECT_EQ(g_drawSettings.blendParam, 255);
  EXPECT_EQ(SetBlendMode(-7, -1), 0);
  EXPECT_EQ(g_drawSettings.blendMode, -7);
  EXPECT_EQ(g_drawSettings.blendParam, 0);
  EXPECT_EQ(SetBlendMode(99, 128), 0);
  EXPECT_EQ(g_drawSettings.blendMode, 99);
  EXPECT_EQ(g_drawSettings.blendParam, 128);

  g_drawSettings.drawingSuspended = 1;
  SetBlendMode(BlendAdd, 10);
  EXPECT_EQ(g_drawSettings.blendMode, 99);
  g_drawSettings.drawingSuspended = 0;
}

TEST_F(DrawSettingsTest, BrightnessBytesAreBlueGreenRed) {
  EXPECT_EQ(SetDrawBrightnessRgb(300, 128, -5), 0);
  EXPECT_EQ(g_drawSettings.brightness[0], 0);    // blue
  EXPECT_EQ(g_drawSettings.brightness[1], 128);  // green
  EXPECT_EQ(g_drawSettings.brightness[2], 255);  // red
  EXPECT_EQ(DrawBrightnessRgb(g_drawSettings), 0xFF8000u);

  EXPECT_EQ(SetDrawBrightnessPacked(0xAB123456), 0);
  EXPECT_EQ(g_drawSettings.brightness[0], 0x56);
  EXPECT_EQ(g_drawSettings.brightness[1], 0x34);
  EXPECT_EQ(g_drawSettings.brightness[2], 0x12);
  EXPECT_EQ(g_drawSettings.brightness[3], 0);
  EXPECT_EQ(DrawBrightnessRgb(g_drawSettings), 0x123456u);
}

MEMIMG* g_lookupImage = nullptr;
int32_t g_lookupWidth = 0, g_lookupHeight = 0;
constexpr int32_t kBlendGraph = 0x08010005;

MEMIMG* LookupOne(int32_t graph, int32_t* width, int32_t* height) {
  if (graph != kBlendGraph || !g_lookupImage) return nullptr;
  *width = g_lookupWidth;
  *height = g_lookupHeight;
  return g_lookupImage;
}

TEST_F(DrawSettingsTest, BlendGraphSetsImageAndBorderTable) {
  MEMIMG blend{};
  ASSERT_EQ(CreateMemImg(&blend, 16, 8, -1, 0, MemImgTypeBlend8, 0, 0, 0, nullptr), 0);
  g_lookupImage = &blend;
  g_lookupWidth = 16;
  g_lookupHeight = 8;
  SetBlendGraphLookup(LookupOne);

  EXPECT_EQ(SetBlendGraphParams(12345, 0, 0), -1);  // not a graphic
  EXPECT_EQ(g_drawSettings.blendImage, nullptr);

  EXPECT_EQ(SetBlendGraphParams(kBlendGraph, 400, 255), 0);
  EXPECT_EQ(g_drawSettings.blendImage, &blend);
  EXPECT_EQ(g_drawSettings.borderParam, 255);
  EXPECT_EQ(MemImgBorderTable[254], 0);  // parameter 255, range 255
  EXPECT_EQ(MemImgBorderTable[255], 1);

  EXPECT_EQ(CheckBlendGraphSize(16, 8), 0);
  EXPECT_EQ(CheckBlendGraphSize(17, 8), -1);
  EXPECT_EQ(CheckBlendGraphSize(16, 9), -1);

  // A blend graphic that went away fails the check.
  g_lookupImage = nullptr;
  EXPECT_EQ(CheckBlendGraphSize(1, 1), -1);

  EXPECT_EQ(SetBlendGraphParams(-1, 0, 0), 0);
  EXPECT_EQ(g_drawSettings.blendImage, nullptr);
  EXPECT_EQ(MemImgBorderTable[0], 255);
  ReleaseMemImg(&blend);
}

}  // namespace
