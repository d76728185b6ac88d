// A start that goes wrong says why on the standard error, in one line: the
// program itself, started as a player starts it, headless.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/instance_lock.h"
#include "tests/support/environment_value.h"
#include "tests/support/scratch_dir.h"

extern char** environ;

namespace {

struct GameRun {
  std::string firstLine;  // of the standard error, without its line end
  bool exited = false;    // by itself, before it was stopped
  int status = -1;        // its exit status when it did
};

// Starts the game in the working folder and reads the first line it writes
// on the standard error; a game that should end is then waited for, one
// still running is stopped.
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
  bool lineRead = false, closed = false;
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
    if (c == '\n' && !lineRead && !shouldEnd) break;
    if (c == '\n') lineRead = true;
    if (!lineRead) run.firstLine += c;
  }
  close(fds[0]);
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

TEST(StartMessages, ASecondCopyAMissingDataFolderAndNoDisplayEachSayWhatWentWrong) {
  ScratchDir dir;
  // The lock lives in the scratch folder, so no other copy on the machine counts.
  EnvironmentValue runtime("XDG_RUNTIME_DIR", dir.path().c_str()), video("SDL_VIDEODRIVER", "dummy"),
      audio("SDL_AUDIODRIVER", "dummy");
  char lockPath[4096];
  ASSERT_TRUE(PlatformInstanceLockPath("Tamblor  ver0.7", lockPath, sizeof(lockPath)));

  struct Case {
    const char* what;
    bool otherCopy;
    bool noDisplay;  // as a player starts it outside a graphical session
    const char* driver;   // SDL_VIDEODRIVER named then, or null
    const char* display;  // DISPLAY named then, or null
    std::string says;  // the whole line, or its start where SDL's reason follows
    bool reasonFollows;
    bool exits;
  } cases[] = {
      {"a second copy", true, false, nullptr, nullptr,
       std::string("Another copy of this program is already running (it holds the lock file ") + lockPath + ")", false,
       true},
      {"no data folder", false, false, nullptr, nullptr,
       "Tamblor: no game data in " + (dir.path() / "data").string() +
           "; start the game from the folder that holds data/ (build/ after tools/run-game.sh)",
       false, false},
      // x11 named is not a display: without one named it cannot start.
      {"a driver that fails", false, true, "x11", nullptr,
       "The display could not be opened (SDL_VIDEODRIVER=x11): ", true, true},
      // No X server takes that number: the test servers pick the lowest free ones.
      {"a display that does not answer", false, true, nullptr, ":9997",
       "The display could not be opened (DISPLAY=:9997): ", true, true},
      {"no display", false, true, nullptr, nullptr,
       "No display was found: this program needs a graphical session (an X11 or Wayland desktop, named by DISPLAY "
       "or WAYLAND_DISPLAY)",
       false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // A console with a graphics card of its own is a display to SDL, found
    // when no driver is named; the cases that follow need a machine without one.
    if (c.noDisplay && !c.driver && std::filesystem::exists("/dev/dri")) {
      GTEST_SKIP() << "/dev/dri is a display to SDL here: a start without one named cannot be tried";
    }
    if (c.otherCopy) {
      ASSERT_EQ(PlatformAcquireInstanceLock("Tamblor  ver0.7"), 0);
    }
    std::optional<EnvironmentValue> noDriver, noX, noWayland;
    if (c.noDisplay) {
      noDriver.emplace("SDL_VIDEODRIVER", c.driver);
      noX.emplace("DISPLAY", c.display);
      noWayland.emplace("WAYLAND_DISPLAY", nullptr);
    }
    const auto started = std::chrono::steady_clock::now();
    const GameRun run = RunGameUntilItSpeaks(c.exits);
    const auto took = std::chrono::steady_clock::now() - started;
    PlatformReleaseInstanceLock();
    if (c.reasonFollows) {
      // SDL's reason, whatever its words, follows what was named.
      EXPECT_EQ(run.firstLine.substr(0, c.says.size()), c.says);
      EXPECT_GT(run.firstLine.size(), c.says.size() + 2) << run.firstLine;
    } else {
      EXPECT_EQ(run.firstLine, c.says);
    }
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
}

}  // namespace
