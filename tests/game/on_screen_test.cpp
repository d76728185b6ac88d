// The game as a player meets it: a real window on a virtual X display, a
// click on NORMAL made with the X server's own pointer, the round's music
// played through SDL, and screenshots of the title and of a round written
// into the build folder's screenshots for review.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "core/helpers.h"
#include "core/varnok.h"
#include "game/bgm.h"
#include "game/bullets.h"
#include "game/character.h"
#include "game/effects.h"
#include "game/food.h"
#include "game/frame_loop.h"
#include "graphics/screen.h"
#include "platform/audio_device.h"
#include "platform/present.h"
#include "tests/game/game_harness.h"
#include "tests/support/environment_value.h"
#include "tests/support/image_files.h"
#include "tests/support/scratch_dir.h"

extern char** environ;

namespace {

bool Shell(const std::string& command) { return std::system((command + " > /dev/null 2>&1").c_str()) == 0; }

// An X server of our own, which writes its display number once it takes
// connections; stopped when the object goes.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    for (char c; pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n';) name_ += c;
    close(fds[0]);
    if (!name_.empty()) name_ = ":" + name_;
  }
  ~VirtualDisplay() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& name() const { return name_; }  // empty when it did not start

 private:
  pid_t pid_ = -1;
  std::string name_;
};

void Frames(int count) {
  for (int i = 0; i < count; i++) ASSERT_TRUE(RunFrame());
}

void Screenshot(const char* name) {
  std::vector<uint32_t> shown;
  int width = 0, height = 0;
  ASSERT_EQ(GetPlatformPresenter()->ReadBack(&shown, &width, &height), 0);
  PngParams png;
  png.width = static_cast<uint32_t>(width);
  png.height = static_cast<uint32_t>(height);
  for (uint32_t p : shown) png.samples.insert(png.samples.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
  const std::filesystem::path folder = std::filesystem::path(TAMBLOR_BUILD_DIR) / "screenshots";
  std::filesystem::create_directories(folder);
  const std::vector<uint8_t> bytes = EncodePng(png);
  std::ofstream(folder / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<std::streamsize>(bytes.size()));
}

TEST(GameOnScreen, AClickOnNormalStartsARoundWithItsMusic) {
  if (!HasGameData()) GTEST_SKIP() << "no game data in the build folder";
  if (!Shell("command -v Xvfb") || !Shell("command -v xdotool")) GTEST_SKIP() << "Xvfb or xdotool is not installed";
  VirtualDisplay display;
  ASSERT_FALSE(display.name().empty());
  // No sound card is assumed: SDL's own silent driver takes the mix. SDL's
  // own renderer presents, as on a machine without a GPU, so no GL driver is
  // loaded: Mesa's, unloaded at the end, leaves blocks the leak checker
  // cannot name.
  EnvironmentValue video("SDL_VIDEODRIVER", "x11"), server("DISPLAY", display.name().c_str()),
      audio("SDL_AUDIODRIVER", "dummy"), renderer("SDL_RENDER_DRIVER", "software"),
      framebuffer("SDL_FRAMEBUFFER_ACCELERATION", "0");
  ScratchDir dir;
  std::filesystem::create_directory_symlink(std::filesystem::path(TAMBLOR_BUILD_DIR) / "data", dir.path() / "data");
  dir.Write("config.ini", "#FULLSCREEN_MODE\r\n0\r\n");
  SetPresentPacingForTest(0);
  SetAllowMultipleInstances(1);
  const GameState saved = g_gameState;
  ASSERT_EQ(GameInit(), 0);
  SeedRandom(22);
  Frames(150);  // the title's letters have landed
  Screenshot("title.png");

  // The pointer moves onto the button and clicks it through the X server.
  const std::string xdotool = "DISPLAY=" + display.name() + " xdotool ";
  ASSERT_TRUE(Shell(xdotool + "search --sync --name Tamblor mousemove --window %1 694 530"));
  Frames(5);
  ASSERT_TRUE(Shell(xdotool + "mousedown 1"));
  Frames(5);
  ASSERT_TRUE(Shell(xdotool + "mouseup 1"));
  for (int frame = 0; frame < 30 && g_gameState.scene != kSceneRound; frame++) Frames(1);
  ASSERT_EQ(g_gameState.scene, kSceneRound);
  EXPECT_EQ(g_gameState.settings.difficulty, kDifficultyNormal);

  // The music plays through SDL's audio device, and its time moves on.
  EXPECT_EQ(AudioDeviceOutput(AudioDeviceActive()), AudioOutputKind::Sdl);
  ASSERT_EQ(g_bgm.playing, 1);
  EXPECT_EQ(CheckSoundHandlePlaying(g_bgm.soundHandle), 1);
  const int started = GetSoundCurrentTime(g_bgm.soundHandle);
  for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
       std::chrono::steady_clock::now() < until;) {
    Frames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GT(GetSoundCurrentTime(g_bgm.soundHandle), started);

  Frames(600);
  Screenshot("round.png");
  // The round goes with the library it ran on.
  ClearCharacters();
  ClearBullets();
  ResetSpawner();
  ClearEffects();
  g_gameState = saved;
  LibraryEnd();
  SetPresentPacingForTest(1);
}

}  // namespace
