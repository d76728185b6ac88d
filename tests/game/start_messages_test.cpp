// A start that goes wrong says why on the standard error, in one line: the
// program itself, started as a player starts it, headless. Lines that the
// libraries write (Xlib's for a display that refuses) may come before it.
#include <SDL.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/instance_lock.h"
#include "platform/sdl_subsystem.h"
#include "tests/support/environment_value.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/x_server.h"

extern char** environ;

namespace {

struct GameRun {
  // Of the standard error, without its line end: the last that is not empty
  // of a game that ends, the first of one that runs on.
  std::string line;
  bool exited = false;    // by itself, before it was stopped
  int status = -1;        // its exit status when it did
};

// Starts the game in the working folder and reads what it writes on the
// standard error: a game that should end until it ends, one that runs on
// until its first line, and then stops it.
GameRun RunGameUntilItSpeaks(bool shouldEnd) {
  GameRun run;
  int fds[2];
  if (pipe(fds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  const std::string program = std::string(TAMBLOR_BUILD_DIR) + "/tamblor";
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = -1;
  const bool started = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  // A bound far beyond a start on a loaded machine, so a silent game fails
  // the test rather than hanging it.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  bool closed = false;
  std::string line;
  for (char c; started;) {
    pollfd wait{fds[0], POLLIN, 0};
    if (poll(&wait, 1, 100) == 0) {
      if (std::chrono::steady_clock::now() > until) break;
      continue;
    }
    if (read(fds[0], &c, 1) != 1) {
      closed = true;  // the game is ending
      break;
    }
    if (c != '\n') {
      line += c;
      continue;
    }
    if (!line.empty()) run.line = line;
    line.clear();
    if (!shouldEnd) break;
  }
  close(fds[0]);
  if (closed && !line.empty()) run.line = line;
  if (!started) return run;
  int status = 0;
  if (!closed && waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return run;
  }
  if (closed) waitpid(pid, &status, 0);
  run.exited = WIFEXITED(status);
  run.status = WEXITSTATUS(status);
  return run;
}

// What SDL itself says when the x11 driver is named where no display is:
// the reason the game must pass on, whatever SDL's words.
std::string SdlReasonForX11WithoutADisplay() {
  EnvironmentValue driver("SDL_VIDEODRIVER", "x11"), x("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", nullptr);
  if (PlatformInitSdlSubsystem(SDL_INIT_VIDEO) == 0) {
    PlatformQuitSdlSubsystem(SDL_INIT_VIDEO);
    return "(SDL started x11 without a display)";
  }
  return SDL_GetError();
}

TEST(StartMessages, ASecondCopyAMissingDataFolderAndNoDisplayEachSayWhatWentWrong) {
  ScratchDir dir;
  // The lock lives in the scratch folder, so no other copy on the machine counts.
  EnvironmentValue runtime("XDG_RUNTIME_DIR", dir.path().c_str()), video("SDL_VIDEODRIVER", "dummy"),
      audio("SDL_AUDIODRIVER", "dummy");
  char lockPath[4096];
  ASSERT_TRUE(PlatformInstanceLockPath("Tamblor  ver0.7", lockPath, sizeof(lockPath)));
  const std::string sdlReason = SdlReasonForX11WithoutADisplay();
  // The game is given no cookie: no authority file of the machine counts.
  const std::string noCookies = (dir.path() / "no-cookies").string();
  std::optional<XServerForTest> refusing;
  if (HasProgram("Xvfb")) refusing.emplace(320, 240, false, true);
  const std::string refusingName = refusing ? refusing->name() : "";
  const char* refusingDisplay = refusingName.c_str();
  // Xvfb makes one screen, 0, unless told otherwise.
  std::optional<XServerForTest> oneScreen;
  if (HasProgram("Xvfb")) oneScreen.emplace(320, 240, false);
  const std::string oneScreenName = oneScreen ? oneScreen->name() : "";
  const std::string thirdScreen = oneScreenName + ".3";
  const std::string letterScreen = oneScreenName + ".x";

  struct Case {
    const char* what;
    bool otherCopy;
    bool noDisplay;  // as a player starts it outside a graphical session
    const char* driver;   // SDL_VIDEODRIVER named then, or null
    const char* display;  // DISPLAY named then, or null
    std::string says;
    bool exits;
    const std::optional<XServerForTest>* server = nullptr;  // the test's own, that display names
  } cases[] = {
      {"a second copy", true, false, nullptr, nullptr,
       std::string("Another copy of this program is already running (it holds the lock file ") + lockPath + ")", true},
      {"no data folder", false, false, nullptr, nullptr,
       "Tamblor: no game data in " + (dir.path() / "data").string() +
           "; start the game from the folder that holds data/ (build/ after tools/run-game.sh)",
       false},
      // x11 named is not a display: without one named it cannot start.
      {"a driver that fails", false, true, "x11", nullptr,
       "The display could not be opened (SDL_VIDEODRIVER=x11): " + sdlReason, true},
      // No X server takes that number: the test servers pick the lowest free ones.
      // SDL then falls back to a driver that shows nothing.
      {"a display that does not answer", false, true, nullptr, ":9997",
       "The display could not be opened (DISPLAY=:9997): no display named there answered, and SDL's offscreen "
       "driver shows nothing",
       true},
      {"no display", false, true, nullptr, nullptr,
       "No display was found: this program needs a graphical session (an X11 or Wayland desktop, named by DISPLAY "
       "or WAYLAND_DISPLAY)",
       true},
      // Xlib says why first; SDL falls back as above.
      {"a display that refuses", false, true, nullptr, refusingDisplay,
       "The display could not be opened (DISPLAY=" + refusingName +
           "): the X server named by DISPLAY answered but refused the connection",
       true, &refusing},
      // The server takes the game, but not on a screen it does not have.
      {"a screen the server does not have", false, true, nullptr, thirdScreen.c_str(),
       "The display could not be opened (DISPLAY=" + oneScreenName +
           ".3): the X server named by DISPLAY answered, but has no screen 3",
       true, &oneScreen},
      // Xlib opens no display for such a value: neither the server that
      // answers nor one that does not is asked.
      {"a screen that is not a number", false, true, nullptr, letterScreen.c_str(),
       "The display could not be opened (DISPLAY=" + oneScreenName +
           ".x): DISPLAY is malformed: its screen, after the dot, is not a number",
       true, &oneScreen},
      {"a screen that is not a number, where nothing answers", false, true, nullptr, ":9997.x",
       "The display could not be opened (DISPLAY=:9997.x): DISPLAY is malformed: its screen, after the dot, is not a "
       "number",
       true},
  };
  // A row that cannot be tried here is passed over, not the rows after it.
  std::vector<std::string> skipped;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A console with a graphics card of its own is a display to SDL, found
    // when no driver is named; these rows need a machine without one.
    if (c.noDisplay && !c.driver && std::filesystem::exists("/dev/dri")) {
      skipped.push_back(std::string(c.what) + ": /dev/dri is a display to SDL here");
      continue;
    }
    if (c.server) {
      if (!*c.server) {
        skipped.push_back(std::string(c.what) + ": no Xvfb");
        continue;
      }
      if ((*c.server)->name().empty()) {
        ADD_FAILURE() << "the test's X server did not start";
        continue;
      }
    }
    if (c.otherCopy) {
      ASSERT_EQ(PlatformAcquireInstanceLock("Tamblor  ver0.7"), 0);
    }
    std::optional<EnvironmentValue> noDriver, noX, noWayland, noAuthority;
    if (c.noDisplay) {
      noDriver.emplace("SDL_VIDEODRIVER", c.driver);
      noX.emplace("DISPLAY", c.display);
      noWayland.emplace("WAYLAND_DISPLAY", nullptr);
      noAuthority.emplace("XAUTHORITY", noCookies.c_str());
    }
    const auto started = std::chrono::steady_clock::now();
    const GameRun run = RunGameUntilItSpeaks(c.exits);
    const auto took = std::chrono::steady_clock::now() - started;
    PlatformReleaseInstanceLock();
    EXPECT_EQ(run.line, c.says);
    EXPECT_EQ(run.exited, c.exits);
    // Not left running where nobody sees it: it ends at once (the bound is
    // far above a failed start, even under the sanitizers).
    if (c.noDisplay) {
      EXPECT_LT(took, std::chrono::seconds(10));
    }
    // A failed start ends with -1, as ever; a game without data runs on.
    if (c.exits) {
      EXPECT_EQ(run.status, 255);
    }
  }
  std::string notes;
  for (const std::string& note : skipped) notes += "\n  " + note;
  if (skipped.size() == std::size(cases)) GTEST_SKIP() << "no row could be tried:" << notes;
  if (!skipped.empty()) std::cout << "Rows passed over:" << notes << "\n";
}

}  // namespace
