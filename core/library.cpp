// Library start-up and shut-down, message processing and the work the library
// does on every pass of it. Each subsystem has its one line in these lists, in
// the order the subsystems depend on each other.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "core/core_api.h"
#include "core/helpers.h"
#include "core/library_lock.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/system_report.h"
#include "core/window.h"
#include "file/file_access.h"
#include "graphics/graph_handle.h"
#include "graphics/screen.h"
#include "input/char_input.h"
#include "input/input_system.h"
#include "movie/movie.h"
#include "movie/yuv_convert.h"
#include "network/http.h"
#include "network/network.h"
#include "platform/no_throw.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "sound/music.h"
#include "sound/sound_system.h"
#include "sound/stream_sound.h"

namespace {

constexpr int kMessagesPerPass = 5;

int g_started = 0;
int g_ending = 0;

// The platform knows nothing of the log; what it could not do is written here.
void LogPlatformFailure(const char* where) { LogPrintf("%sに必要なメモリの確保に失敗しました", where); }

// The start-up steps, in order. A step that fails returns -1; the caller
// then runs the shut-down sequence, which copes with a partial start.
int RunStartSequence() {
  SetPlatformFailureReporter(LogPlatformFailure);
  PlatformWindow* window = GetPlatformWindow();
  if (window->OpenDisplay() != 0) {
    // Before the log opens, and a program without a window would otherwise
    // end without a word.
    const char* failure = window->DisplayFailure();
    if (failure && *failure) {
      std::fprintf(stderr, "%s\n", failure);
    } else {
      std::fprintf(stderr,
                   "No display was found: this program needs a graphical session (an X11 or Wayland desktop, "
                   "named by DISPLAY or WAYLAND_DISPLAY)\n");
    }
    return -1;
  }

  // A full-screen size that the display cannot show falls back to window mode.
  int width, height;
  GetMainWindowClientSize(&width, &height);
  if (!GetWindowModeFlag() && !window->DisplayOffersSize(width, height)) SetWindowModeFlag(1);

  InitYuvToRgbTables();
  SetGraphMovieHooks(GetMovieGraphHooks());
  if (InitFileSystem() != 0) return -1;
  LogOpen();
  LogPrintf("Varnok の初期化を開始します");
  SeedRandom(GetMilliCount());
  ClearHttpTable();

  if (window->DesktopBitsPerPixel() == 24) {
    return LogPrintf("24ビットカラーのデスクトップには対応していません");
  }
  RunSystemReport();
  if (CreateMainWindow() != 0) return -1;
  // Only -1 is a failed start; the input start's 1 (keyboard without its event) is not.
  if (InitInputSystem() == -1) return -1;
  InitSoundSystem();  // its result is not tested: the library runs on without sound
  if (InitGraphicsSystem() != 0) return -1;  // it starts the font manager
  InitInputCharBuffer();
  InitDrawScreens();
  // Graphics: set up the 3D model tables here.

  LogPrintf("Varnok の初期化が完了しました");
  return 0;
}

// The shut-down steps, in order. Each copes with its subsystem not having started.
void RunEndSequence() {
  LogPrintf("Varnok の終了処理を開始します");
  // Fonts: DeleteFontHandle(<log console font>);
  DeleteAllHttpHandles();
  EndNetWork();
  StopMusicTrack();
  // Graphics: release the 3D model tables here.
  EndGraphicsSystem();  // it ends the font system
  EndInputSystem();
  TerminateSoundSystem();
  DestroyMainWindow();
  // Software renderer: release the remaining software images here.
  while (HasMainWindow() && ProcessWindowMessages() == 0) {
  }
  ResetMainWindowState();
  EndFileSystem();
  GetPlatformWindow()->CloseDisplay();
  LogPrintf("Varnok の終了処理が完了しました");
  MemDumpLeaks();
  LogClose();
}

// After the window messages of every pass.
void RunPerPassWork() {
  RefillAllStreamSounds();
  PollMusicPlaying();
  UpdateJoypadVibrationTimers();
  PumpNetWorkMessages(1);
  PumpAllHttpTransfers();
  ProcessStringInput();
}

// Before each 1 ms sleep while the window is inactive and the library waits.
void RunInactiveWaitWork() {
  PumpNetWorkMessages(1);
  PumpAllHttpTransfers();
  RefillAllStreamSounds();
  DrawMoviesToWindow();
}

}  // namespace

int LibraryInit() {
  LibraryLockGuard guard;
  if (g_started) return 0;
  // Started from here on, so that a fatal error during the start shuts down what stands.
  g_started = 1;
  if (RunStartSequence() != 0) {
    g_ending = 1;
    RunEndSequence();
    g_ending = 0;
    g_started = 0;
    return -1;
  }
  return 0;
}

int LibraryEnd() {
  LibraryLockGuard guard;
  if (!g_started || g_ending) return 0;
  g_ending = 1;
  RunEndSequence();
  g_ending = 0;
  g_started = 0;
  // The lock keeps no resources that would need releasing here.
  return 0;
}

int ProcessWindowMessages() {
  LibraryLockGuard guard;
  if (!HasMainWindow()) return -1;
  PlatformWindow* window = GetPlatformWindow();
  WindowMessage message;
  for (int i = 0; i < kMessagesPerPass && HasMainWindow(); i++) {
    if (!window->PollMessage(&message)) break;
    MainWindowProc(message);
  }
  if (HasMainWindow() && !GetWindowActiveFlag() && !GetRunWhenInactiveFlag()) {
    RunInactiveWaitWork();
    PlatformSleepMs(1);
  }
  RunPerPassWork();
  return HasMainWindow() ? 0 : -1;
}

void FatalErrorExit(const char* text) {
  LogWrite(text ? text : "");
  LogWrite("\n");
  LibraryEnd();
  std::exit(-1);
}

void FatalErrorExitFormatted(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  FatalErrorExit(text);
}
