// The screen mode, the graphics start and end, colours and the present path.
#include "core/helpers.h"
#include "platform/frame_viewport.h"
#include "platform/present.h"
#include "tests/graphics/graphics_fixture.h"

namespace {

TEST_F(GraphicsTest, StartMakesABlackBackImageAndWorkImagesOfScreenSize) {
  MEMIMG* back = Back();
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->width, kWidth);
  EXPECT_EQ(back->height, kHeight);
  EXPECT_EQ(back->base->colorType, MemImgType32);
  EXPECT_EQ(back->base->alphaFlag, 0);
  EXPECT_TRUE(PixelsNotEqual(0).empty());
  EXPECT_EQ(g_drawSettings.drawTarget, back);
  EXPECT_EQ(g_drawSettings.drawScreen, -2);
  EXPECT_EQ(g_drawSettings.drawArea.right, kWidth);
  EXPECT_EQ(g_drawSettings.drawArea.bottom, kHeight);

  EXPECT_EQ(GetScreenWorkImage(0)->base->alphaFlag, 0);
  EXPECT_EQ(GetScreenWorkImage(1)->height, kHeight);
  EXPECT_EQ(GetScreenWorkImage(1)->base->alphaFlag, 1);
  EXPECT_EQ(window.width, kWidth);  // the window's client area is the screen
  EXPECT_EQ(presenter.width, kWidth);
  EXPECT_TRUE(Logged("ハードウェアアクセラレーションが使えないため、ソフトウェアレンダリングモードで起動します"));
}

TEST_F(GraphicsTest, ScreenModeIsCheckedAndOnlyTakenBeforeTheStart) {
  EXPECT_EQ(SetScreenMode(640, 480, 32, 60), -1);
  EXPECT_TRUE(Logged("ライブラリの起動後に画面モードは変更できません in SetScreenMode"));
  EXPECT_EQ(SetUseHardwareRendering(0), -1);
  Stop();

  EXPECT_EQ(SetScreenMode(0, 480, 32, 60), -1);
  EXPECT_EQ(SetScreenMode(640, -1, 32, 60), -1);
  EXPECT_EQ(SetScreenMode(640, 480, 24, 60), -1);
  EXPECT_EQ(SetScreenMode(9000, 480, 32, 60), -1);
  int width = 0, height = 0;
  GetScreenModeSize(&width, &height);
  EXPECT_EQ(width, kWidth);  // unchanged by the refusals
  EXPECT_EQ(height, kHeight);
  EXPECT_EQ(SetUseHardwareRendering(1), 0);
  Start(32);
}

TEST_F(GraphicsTest, ColoursPackInTheScreenFormat) {
  EXPECT_EQ(PackRgbToScreenColor(0x12, 0x34, 0x56), 0x123456);
  EXPECT_EQ(PackRgbToScreenColor(300, -5, 255), 0xFF00FF);
  int r = 0, g = 0, b = 0;
  EXPECT_EQ(UnpackScreenColorToRgb(0x7F123456, &r, &g, &b), 0);
  EXPECT_EQ(r, 0x12);
  EXPECT_EQ(g, 0x34);
  EXPECT_EQ(b, 0x56);

  Stop();
  Start(16);
  EXPECT_EQ(Back()->base->colorType, MemImgType16);
  EXPECT_EQ(GetScreenWorkImage(1)->base->alphaFlag, 1);
  EXPECT_EQ(MemImgBytesPerPixel(GetScreenWorkImage(1)->base), 4);
  // R5G6B5: 0xFF -> 31, 0x84 -> 33, 0x10 -> 2.
  EXPECT_EQ(PackRgbToScreenColor(0xFF, 0x84, 0x10), (31 << 11) | (33 << 5) | 2);
  // Fields widen with their bits repeated: 31 -> 255, 33 -> 0x86, 2 -> 0x10.
  EXPECT_EQ(UnpackScreenColorToRgb((31 << 11) | (33 << 5) | 2, &r, &g, &b), 0);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0x86);
  EXPECT_EQ(b, 0x10);
  EXPECT_EQ(presenter.bitsPerPixel, 16);

  // A graphic on a 16-bit screen is R5G6B5 too: 0xF0E0D0 -> (30, 56, 26),
  // shown again with each field's bits repeated: (0xF7, 0xE3, 0xD6).
  const int graph = MakeGraph(1, 1, {0xF0E0D0});
  EXPECT_EQ(DrawGraphAt(2, 3, graph, 0), 0);
  EXPECT_EQ(BackPixel(2, 3), (30u << 11) | (56u << 5) | 26u);
  EXPECT_EQ(PresentScreen(), 0);
  EXPECT_EQ(presenter.frame[3 * kWidth + 2], 0xF7E3D6u);
}

TEST_F(GraphicsTest, PresentHandsTheBackImageToTheWindow) {
  FillBack(0x00102030);
  const IntRect corner{kWidth - 1, kHeight - 1, kWidth, kHeight};
  FillMemImgRaw(Back(), &corner, 0xFFABCDEF);  // the fourth byte is not shown
  EXPECT_EQ(PresentScreen(), 0);
  EXPECT_EQ(presenter.presentCount, 1);
  EXPECT_EQ(presenter.frame[0], 0x102030u);
  EXPECT_EQ(presenter.frame.back(), 0xABCDEFu);
  LibraryEnd();
  EXPECT_FALSE(presenter.open);
  EXPECT_EQ(PresentScreen(), -1);
}

TEST_F(GraphicsTest, PresentKeepsTheRefreshRate) {
  Stop();
  ASSERT_EQ(SetScreenMode(kWidth, kHeight, 32, 200), 0);
  Start(32);
  ASSERT_EQ(SetScreenMode(kWidth, kHeight, 32, 60), -1);  // running: refused
  SetPresentPacingForTest(1);
  // Five frames at 200 Hz: the last four each wait their 5 ms.
  int64_t start = GetMicroCount();
  for (int i = 0; i < 5; i++) ASSERT_EQ(PresentScreen(), 0);
  EXPECT_GE(GetMicroCount() - start, 4 * 5000 - 1000);
  Stop();
  ASSERT_EQ(SetScreenMode(kWidth, kHeight, 32, 60), 0);
  Start(32);
}

TEST_F(GraphicsTest, AFailedPresenterFailsTheStartAndLeavesNothing) {
  Stop();
  int64_t blocks = MemGetTotals().liveBlocks;
  presenter.failOpen = true;
  SetPlatformWindow(&window);
  SetPlatformPresenter(&presenter);
  EXPECT_EQ(LibraryInit(), -1);
  EXPECT_EQ(GetBackScreenImage(), nullptr);
  EXPECT_EQ(MemGetTotals().liveBlocks, blocks);
  presenter.failOpen = false;
  Start(32);
}

TEST(FrameViewport, TheFrameIsScaledToFitAndCentred) {
  FrameViewport wide = FitFrameInWindow(2048, 768, 1024, 768);
  EXPECT_DOUBLE_EQ(wide.scale, 1.0);
  EXPECT_DOUBLE_EQ(wide.left, 512.0);
  EXPECT_DOUBLE_EQ(wide.top, 0.0);
  FrameViewport tall = FitFrameInWindow(512, 768, 1024, 768);
  EXPECT_DOUBLE_EQ(tall.scale, 0.5);
  EXPECT_DOUBLE_EQ(tall.left, 0.0);
  EXPECT_DOUBLE_EQ(tall.top, 192.0);
}

// The real window under SDL's dummy video driver: the presented frame is read
// back from the window's renderer.
TEST(GraphicsOnSdl, TheFrameReachesTheWindow) {
  ScratchDir dir;
  SetPlatformWindow(nullptr);
  SetPlatformPresenter(nullptr);
  SetPresentPacingForTest(0);
  ChangeWindowMode(1);
  ASSERT_EQ(SetScreenMode(8, 6, 32, 60), 0);
  ASSERT_EQ(LibraryInit(), 0);
  ASSERT_NE(GetPlatformWindow()->NativeHandle(), nullptr);

  FillMemImgRaw(GetBackScreenImage(), nullptr, 0x00204060);
  const IntRect box{2, 1, 5, 3};
  FillMemImgRaw(GetBackScreenImage(), &box, 0x00FF8000);
  ASSERT_EQ(PresentScreen(), 0);

  std::vector<uint32_t> shown;
  int width = 0, height = 0;
  ASSERT_EQ(GetPlatformPresenter()->ReadBack(&shown, &width, &height), 0);
  ASSERT_EQ(width, 8);
  ASSERT_EQ(height, 6);
  for (int y = 0; y < 6; y++) {
    for (int x = 0; x < 8; x++) {
      const bool inBox = x >= 2 && x < 5 && y >= 1 && y < 3;
      EXPECT_EQ(shown[static_cast<size_t>(y) * 8 + x], inBox ? 0xFF8000u : 0x204060u) << x << "," << y;
    }
  }

  // The window going away takes the renderer with it; presenting then shows nothing.
  GetPlatformWindow()->PostMessage(WM_CLOSE, 0, 0);
  EXPECT_EQ(ProcessWindowMessages(), -1);
  EXPECT_EQ(PresentScreen(), 0);
  EXPECT_EQ(GetPlatformPresenter()->ReadBack(&shown, &width, &height), -1);
  EXPECT_EQ(LibraryEnd(), 0);
  SetPresentPacingForTest(1);
}

}  // namespace
