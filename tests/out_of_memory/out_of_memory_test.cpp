// The library's main entry points with memory running out at every single
// allocation in turn, on the real platform (SDL's dummy drivers, FreeType).
// Each run is a child process, so that a crash is told apart from the fatal
// exits the library takes on purpose. A run must end with no exception out
// of the library, nothing of the tagged allocator left behind, a log line
// for the failure, and (under the sanitizers) no leak of anything else.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "core/core_api.h"
#include "core/memory.h"
#include "core/window.h"
#include "font/font_api.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "input/input_api.h"
#include "platform/audio_device.h"
#include "sound/sound_api.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

namespace {

std::atomic<int64_t> g_newCountdown{0};
std::atomic<bool> g_newFailed{false};

void* Allocate(size_t size) noexcept {
  if (g_newCountdown.load(std::memory_order_relaxed) > 0 && g_newCountdown.fetch_sub(1) == 1) {
    g_newFailed.store(true);
    return nullptr;
  }
  return std::malloc(size ? size : 1);
}

void* AllocateOrThrow(size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

enum Outcome : int {
  kNotReached = 10,      // the run needed fewer allocations: every one has been tried
  kHandled = 11,
  kThrew = 12,
  kLeftBlocks = 13,
  kUnlogged = 14,
  kIncomplete = 15,      // with nothing failing, the run did not get through
  kFatalExit = 255,      // the library's own fatal exit, exit(-1)
};

// Made before memory starts failing: only the library's allocations may fail.
struct DataFiles {
  std::string picture = std::string(VARNOK_TEST_DATA) + "/images/gradient8.png";
  std::string sound = std::string(VARNOK_TEST_DATA) + "/sound/ima_mono.wav";
  std::string music = std::string(VARNOK_TEST_DATA) + "/sound/ogg_stereo.ogg";
};

// What a game does in its first frames, through the public header only.
// Texts are longer than a string keeps inline, so that they allocate. True
// when the run got through to the dropped file.
bool RunEntryPoints(const DataFiles& files) {
  // The mix is stepped by hand and frames are shown unpaced: SDL's audio
  // thread takes long to stop, the pacing waits, and neither allocates.
  AudioSelectOutput(AudioOutputKind::Manual);
  SetPresentPacingForTest(0);
  SetWindowTitle("out of memory, every allocation");
  ChangeWindowMode(1);
  SetScreenMode(64, 48, 32, 60);
  if (LibraryInit() != 0) return false;
  const int graph = LoadGraphFile(files.picture.c_str(), 0);
  const int blend = LoadBlendGraphFile(files.picture.c_str());
  SetBlendGraphParams(blend, 128, 255);
  DrawGraphAt(1, 1, graph, 0);
  SetBlendGraphParams(-1, 0, 0);
  DrawGraphRotated(20, 20, 1.5, 0.5, graph, 1, 0);
  DrawGraphPartStretched(30, 0, 60, 30, 0, 0, 4, 4, graph, 0);
  const int font = CreateFontToHandle(nullptr, 12, 4, 2, -1, -1, 0);
  DrawStringWithFontHandle(0, 30, "Ab\x82\xa0", PackRgbToScreenColor(255, 255, 255), font);
  DrawStringWithDefaultFont(0, 0, "x", PackRgbToScreenColor(255, 0, 0));
  const int sound = LoadSoundFile(files.sound.c_str(), 2, -1);
  PlaySoundHandle(sound, 1, 1);
  SetCreateSoundMode(3);
  const int music = LoadSoundFile(files.music.c_str(), 1, -1);
  SetSoundLoopPositionMs(10, music);
  PlaySoundHandle(music, 3, 1);
  PutClipboardText("clipboard text of some length");
  char text[64];
  GetClipboardTextInto(text, sizeof(text));
  // Events the platform turns into messages that carry text.
  SDL_Event event{};
  event.type = SDL_DROPFILE;
  event.drop.file = SDL_strdup("a dropped file with a long name.txt");
  if (SDL_PushEvent(&event) != 1) SDL_free(event.drop.file);
  event = SDL_Event{};
  event.type = SDL_TEXTINPUT;
  SDL_strlcpy(event.text.text, "typed \xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\xE3\x81\x88 text", sizeof(event.text.text));
  SDL_PushEvent(&event);
  event = SDL_Event{};
  event.type = SDL_TEXTEDITING;
  SDL_strlcpy(event.edit.text, "\xE3\x81\x8B\xE3\x81\x91\xE3\x81\x93\xE3\x81\x95\xE3\x81\x97",
              sizeof(event.edit.text));
  event.edit.start = 3;
  SDL_PushEvent(&event);
  // Five messages a pass: enough passes for every character typed.
  for (int i = 0; i < 8; i++) {
    ProcessWindowMessages();
    uint8_t keys[256];
    GetAllKeyStates(keys);
    GetMouseButtonState();
    PresentScreen();
  }
  const bool dropped = TakeDroppedFileName(text, sizeof(text)) > 0;
  DeleteFontHandle(font);
  DeleteSoundHandle(music);
  DeleteGraphHandle(graph);
  LibraryEnd();
  return dropped;
}

// One run with the countdown'th allocation failing; exits with its Outcome.
[[noreturn]] void Child(bool operatorNew, int64_t countdown) {
  const int64_t blocksBefore = MemGetTotals().liveBlocks;
  const DataFiles files;
  bool threw = false, complete = false;
  if (operatorNew) {
    g_newCountdown.store(countdown);
  } else {
    MemFailAllocation(countdown);
  }
  try {
    complete = RunEntryPoints(files);
  } catch (...) {
    threw = true;
  }
  g_newCountdown.store(0);
  const bool reached = operatorNew ? g_newFailed.load() : MemInjectedFailureHappened();
  MemFailAllocation(0);
  LibraryEnd();
  int outcome = kHandled;
  if (threw) {
    outcome = kThrew;
  } else if (MemGetTotals().liveBlocks != blocksBefore) {
    outcome = kLeftBlocks;
  } else if (!reached) {
    outcome = complete ? kNotReached : kIncomplete;
  } else if (ReadWholeFile("Log.txt").find("メモリの確保に失敗しました") == std::string::npos) {
    outcome = kUnlogged;
  }
  std::exit(outcome);
}

// Runs the entry points once per allocation until a run needs no more;
// returns how many allocations were failed.
int FailEachAllocation(bool operatorNew) {
  ScratchDir dir;
  for (int64_t countdown = 1;; countdown++) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) Child(operatorNew, countdown);
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string log = ReadWholeFile("Log.txt");
    if (WIFSIGNALED(status)) {
      ADD_FAILURE() << "allocation " << countdown << ": signal " << WTERMSIG(status) << "\n" << log;
      return -1;
    }
    const int outcome = WEXITSTATUS(status);
    if (outcome == kNotReached) return static_cast<int>(countdown - 1);
    if (outcome == kHandled) continue;
    // A fatal exit is the library's answer to some failures; it still shuts
    // down first. What a half-made object holds may then be reported left
    // behind: the process ends anyway.
    if (outcome == kFatalExit && log.find("解放されていないメモリブロックは") != std::string::npos) continue;
    ADD_FAILURE() << "allocation " << countdown << ": outcome " << outcome << "\n" << log;
    return -1;
  }
}

TEST(OutOfMemory, EveryTaggedAllocationMayFail) { EXPECT_GT(FailEachAllocation(false), 0); }

TEST(OutOfMemory, EveryOperatorNewMayFail) { EXPECT_GT(FailEachAllocation(true), 0); }

}  // namespace
