// The game as a player meets it: a real window on a virtual X display with
// no window manager, clicks made with the X server's own pointer, the round's
// music played through SDL, and screenshots of the title and of a round
// written into the build folder's screenshots for review.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "core/helpers.h"
#include "core/varnok.h"
#include "game/bgm.h"
#include "game/bullets.h"
#include "game/character.h"
#include "game/effects.h"
#include "game/food.h"
#include "game/frame_loop.h"
#include "game/input_record.h"
#include "graphics/screen.h"
#include "platform/audio_device.h"
#include "platform/frame_viewport.h"
#include "platform/present.h"
#include "platform/window.h"
#include "softrender/memimg.h"
#include "tests/game/game_harness.h"
#include "tests/support/environment_value.h"
#include "tests/support/image_files.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/x_server.h"

// Last: Xlib's macros would clash with names above.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

bool Shell(const std::string& command) { return std::system((command + " > /dev/null 2>&1").c_str()) == 0; }

void Frames(int count) {
  for (int i = 0; i < count; i++) ASSERT_TRUE(RunFrame());
}

// Runs frames until the condition holds; the bound is far beyond what the X
// server and SDL need to hand over an event, however loaded the machine.
bool FramesUntil(const std::function<bool()>& condition) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until || !RunFrame()) return false;
  }
  return true;
}

void WritePng(const char* name, const std::vector<uint32_t>& pixels, int width, int height) {
  WriteScreenshotPng(std::filesystem::path(TAMBLOR_BUILD_DIR) / "screenshots" / name, pixels, width, height);
}

void Screenshot(const char* name) {
  std::vector<uint32_t> shown;
  int width = 0, height = 0;
  ASSERT_EQ(GetPlatformPresenter()->ReadBack(&shown, &width, &height), 0);
  WritePng(name, shown, width, height);
}

// A pixel of the frame drawn last, 0x00RRGGBB.
uint32_t FramePixel(int x, int y) {
  const MEMIMG* back = GetBackScreenImage();
  uint32_t pixel;
  std::memcpy(&pixel, back->pixels + static_cast<int64_t>(y) * back->base->pitch + x * 4, 4);
  return pixel & 0xFFFFFF;
}

// The game's window as the X server holds it: its size and what it shows,
// 0x00RRGGBB, whatever SDL believes of it.
struct ServerWindow {
  unsigned long id = 0;
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

ServerWindow ReadGameWindowFromServer(const std::string& displayName) {
  ServerWindow shown;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(static_cast<SDL_Window*>(GetPlatformWindow()->NativeHandle()), &info)) return shown;
  Display* display = XOpenDisplay(displayName.c_str());
  if (!display) return shown;
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, info.info.x11.window, &attributes)) {
    XImage* image = XGetImage(display, info.info.x11.window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image) {
      shown.id = info.info.x11.window;
      shown.width = attributes.width;
      shown.height = attributes.height;
      for (int y = 0; y < shown.height; y++)
        for (int x = 0; x < shown.width; x++) shown.pixels.push_back(XGetPixel(image, x, y) & 0xFFFFFF);
      XDestroyImage(image);
    }
  }
  XCloseDisplay(display);
  return shown;
}

// The game started on its own virtual X server, from a scratch folder holding
// the build's data and, when given, a config.ini; the library ends with it.
class GameOnXServer {
 public:
  explicit GameOnXServer(const char* configIni) {
    if (!display_.name().empty()) {
      std::filesystem::create_directory_symlink(std::filesystem::path(TAMBLOR_BUILD_DIR) / "data",
                                                dir_.path() / "data");
      if (configIni) dir_.Write("config.ini", configIni);
      SetPresentPacingForTest(0);
      SetAllowMultipleInstances(1);
      ChangeWindowMode(0);  // as a fresh program starts
      initResult = GameInit();
    }
  }
  ~GameOnXServer() {
    // The round goes with the lib}  // namespace
    // The round goes with the library it ran on.
    ClearCharacters();
    ClearBullets();
    ResetSpawner();
    ClearEffects();
    g_gameState = saved_;
    LibraryEnd();
    ChangeWindowMode(windowed_);
    SetPresentPacingForTest(1);
  }
  const std::string& display() const { return display_.name(); }
  // The pointer goes to the frame pixel through the game's window and clicks
  // there, through the X server; false when the game never saw it.
  bool Click(const ServerWindow& window, int frameX, int frameY) {
    const FrameViewport view = FitFrameInWindow(window.width, window.height, 1024, 768);
    const std::string xdotool = "DISPLAY=" + display() + " xdotool ";
    const long x = static_cast<long>(std::floor(view.left + (frameX + 0.5) * view.scale));
    const long y = static_cast<long>(std::floor(view.top + (frameY + 0.5) * view.scale));
    const std::string to = std::to_string(x) + " " + std::to_string(y);
    if (!Shell(xdotool + "mousemove --window " + std::to_string(window.id) + " " + to)) return false;
    if (!FramesUntil([&] { return g_input.mouseX == frameX && g_input.mouseY == frameY; })) return false;
    if (!Shell(xdotool + "mousedown 1") || !FramesUntil([] { return g_input.left >= 1; })) return false;
    return Shell(xdotool + "mouseup 1") && FramesUntil([] { return g_input.left <= 0; });
  }

  int initResult = -1;

 private:
  const GameState saved_ = g_gameState;
  const int windowed_ = GetWindowModeFlag();
  XServerForTest display_{1280, 1024, false};
  // No sound card is assumed: SDL's own silent driver takes the mix. SDL's
  // own renderer presents, as on a machine without a GPU, so no GL driver is
  // loaded: Mesa's, unloaded at the end, leaves blocks the leak checker
  // cannot name.
  EnvironmentValue video_{"SDL_VIDEODRIVER", "x11"}, server_{"DISPLAY", display_.name().c_str()},
      audio_{"SDL_AUDIODRIVER", "dummy"}, renderer_{"SDL_RENDER_DRIVER", "software"},
      framebuffer_{"SDL_FRAMEBUFFER_ACCELERATION", "0"};
  ScratchDir dir_;
};

bool CanRunOnXServer() { return HasGameData() && Shell("command -v Xvfb") && Shell("command -v xdotool"); }

TEST(GameOnScreen, AClickOnNormalStartsARoundWithItsMusic) {
  if (!CanRunOnXServer()) GTEST_SKIP() << "no game data in the build folder, or no Xvfb or xdotool";
  GameOnXServer game("#FULLSCREEN_MODE\r\n0\r\n");
  ASSERT_FALSE(game.display().empty());
  ASSERT_EQ(game.initResult, 0);
  SeedRandom(22);
  Frames(150);  // the title's letters have landed
  Screenshot("title.png");

  ASSERT_TRUE(game.Click(ReadGameWindowFromServer(game.display()), 694, 530));
  ASSERT_TRUE(FramesUntil([] { return g_gameState.scene == kSceneRound; }));
  EXPECT_EQ(g_gameState.settings.difficulty, kDifficultyNormal);

  // The music plays through SDL's audio device, and its time moves on.
  EXPECT_EQ(AudioDeviceOutput(AudioDeviceActive()), AudioOutputKind::Sdl);
  ASSERT_EQ(g_bgm.playing, 1);
  EXPECT_EQ(CheckSoundHandlePlaying(g_bgm.soundHandle), 1);
  const int started = GetSoundCurrentTime(g_bgm.soundHandle);
  EXPECT_TRUE(FramesUntil([&] { return GetSoundCurrentTime(g_bgm.soundHandle) > started; }));

  Frames(600);
  Screenshot("round.png");
}

// Full screen is the default. With no window manager to carry it out, the
// window must cover the desktop all the same, the frame scaled to fit it,
// and the pointer must land where the player sees it.
TEST(GameOnScreen, FullScreenWithoutAWindowManagerShowsTheWholeTitleAndTakesAClickOnCarnival) {
  if (!CanRunOnXServer()) GTEST_SKIP() << "no game data in the build folder, or no Xvfb or xdotool";
  GameOnXServer game(nullptr);
  ASSERT_FALSE(game.display().empty());
  ASSERT_EQ(game.initResult, 0);
  ASSERT_EQ(GetWindowModeFlag(), 0);
  SeedRandom(22);
  Frames(150);
  // The frame just drawn, shown now, is what the server must hold.
  PresentScreen();
  const ServerWindow shown = ReadGameWindowFromServer(game.display());
  ASSERT_GT(shown.width, 0);
  WritePng("title-fullscreen.png", shown.pixels, shown.width, shown.height);
  // The window covers the 1280 x 1024 desktop. The frame shows scaled by
  // 1280 / 1024 = 1.25 to 1280 x 960, with (1024 - 960) / 2 = 32 black rows
  // above and below it; its outer ring is at least the title's dark grey
  // (16, 16, 16), never black.
  ASSERT_EQ(shown.width, 1280);
  ASSERT_EQ(shown.height, 1024);
  int litBars = 0, blackEdges = 0;
  for (int y = 0; y < 1024; y++)
    for (int x = 0; x < 1280; x++) {
      const uint32_t p = shown.pixels[static_cast<size_t>(y) * 1280 + x];
      if (y < 32 || y >= 992) {
        litBars += p != 0;
      } else if (y == 32 || y == 991 || x == 0 || x == 1279) {
        blackEdges += (p & 0xFF) < 15 || ((p >> 8) & 0xFF) < 15 || ((p >> 16) & 0xFF) < 15;
      }
    }
  EXPECT_EQ(litBars, 0);
  EXPECT_EQ(blackEdges, 0);
  // Every letter of the title and every difficulty button is drawn in it.
  const uint32_t background = 0x101010;
  for (int i = 0; i < 7; i++) EXPECT_NE(FramePixel(224 + 96 * i, 256), background) << "letter " << i;
  const int buttons[4][2] = {{726, 490}, {694, 530}, {662, 570}, {630, 610}};
  for (const auto& b : buttons) EXPECT_NE(FramePixel(b[0], b[1]), background) << b[0] << ", " << b[1];

  ASSERT_TRUE(game.Click(shown, 630, 610));
  ASSERT_TRUE(FramesUntil([] { return g_gameState.scene == kSceneRound; }));
  EXPECT_EQ(g_gameState.settings.difficulty, kDifficultyCarnival);
}

}  // namespace
