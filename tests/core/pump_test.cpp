// The library's start, end and message processing over a scripted window.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/core_api.h"
#include "core/memory.h"
#include "core/window.h"
#include "platform/clipboard.h"
#include "platform/instance_lock.h"
#include "platform/scripted_window.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

namespace {

using Lines = std::vector<std::string>;

bool HasLine(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class ScriptedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatformWindow(&window);
    EnableLogFile(1);
    SetWindowTitle("test");
    ChangeWindowMode(1);
    SetRunWhenInactive(0);
    ShowMouseCursor(1);
  }
  void TearDown() override {
    LibraryEnd();
    SetPlatformWindow(nullptr);
  }
  Lines EndAndReadLog() {
    LibraryEnd();
    return LogLines(ReadWholeFile("Log.txt"));
  }

  ScratchDir dir;
  ScriptedWindow window;
};

TEST_F(ScriptedLibrary, StartsWithTheSettingsAndEndsWithAnEmptyLeakReport) {
  SetWindowTitle("Tamblor  ver0.7");
  ShowMouseCursor(0);
  ASSERT_EQ(LibraryInit(), 0);
  EXPECT_EQ(LibraryInit(), 0);  // already started
  EXPECT_TRUE(window.exists);
  EXPECT_EQ(window.title, "Tamblor  ver0.7");
  EXPECT_TRUE(window.windowed);
  EXPECT_FALSE(window.cursorVisible);
  EXPECT_EQ(GetMainWindow(), &window);
  EXPECT_EQ(GetWindowActiveFlag(), 1);
  EXPECT_EQ(GetWindowModeFlag(), 1);
  EXPECT_EQ(GetWindowClosingFlag(), 0);
  EXPECT_EQ(ProcessWindowMessages(), 0);

  // Settings made after the start reach the window at once.
  SetWindowTitle("other");
  EXPECT_EQ(window.title, "other");
  ShowMouseCursor(1);
  EXPECT_TRUE(window.cursorVisible);
  EXPECT_EQ(ChangeWindowMode(0), 0);
  EXPECT_FALSE(window.windowed);
  EXPECT_EQ(GetWindowModeFlag(), 0);
  ChangeWindowMode(1);

  Lines lines = EndAndReadLog();
  EXPECT_EQ(window.destroyCount, 1);
  EXPECT_FALSE(window.displayOpen);
  EXPECT_EQ(GetMainWindow(), nullptr);
  EXPECT_EQ(ProcessWindowMessages(), -1);
  EXPECT_EQ(LibraryEnd(), 0);  // not started
  EXPECT_EQ(lines.front(), "Varnok の初期化を開始します");
  EXPECT_EQ(lines.back(), "解放されていないメモリブロックは 0 個 ( 計 0 バイト ) でした");
  for (const std::string& line : lines) EXPECT_NE(line[0], '!') << line;
}

TEST_F(ScriptedLibrary, AtMostFiveMessagesArePassedOnPerPass) {
  ASSERT_EQ(LibraryInit(), 0);
  for (int i = 0; i < 7; i++) window.PushWheel(1);
  EXPECT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(GetMouseWheelCount(0), 5);
  EXPECT_EQ(window.WaitingCount(), 2u);
  EXPECT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(GetMouseWheelCount(1), 7);
  EXPECT_EQ(GetMouseWheelCount(0), 0);
}

TEST_F(ScriptedLibrary, WheelCountsNotchesEitherWay) {
  ASSERT_EQ(LibraryInit(), 0);
  window.PushWheel(-2);
  window.Push(WM_MOUSEWHEEL, static_cast<uint64_t>(30) << 16);  // a fine wheel still counts one
  window.Push(WM_MOUSEWHEEL, static_cast<uint64_t>(static_cast<uint16_t>(-360)) << 16);
  ProcessWindowMessages();
  EXPECT_EQ(GetMouseWheelCount(1), -4);
}

TEST_F(ScriptedLibrary, ActivationIsFollowedAndTheInactiveWaitEndsOnReactivation) {
  ASSERT_EQ(LibraryInit(), 0);
  window.PushActivation(false);
  ProcessWindowMessages();
  EXPECT_EQ(GetWindowActiveFlag(), 0);

  // Waits through passes until the activation arrives.
  window.PushWheel(1);
  window.PushActivation(true);
  window.PushWheel(1);
  WaitWhileInactive();
  EXPECT_EQ(GetWindowActiveFlag(), 1);
  EXPECT_EQ(GetMouseWheelCount(1), 2);

  // Running in the background: no wait at all.
  SetRunWhenInactive(1);
  window.PushActivation(false);
  ProcessWindowMessages();
  window.PushActivation(true);
  WaitWhileInactive();
  EXPECT_EQ(window.WaitingCount(), 1u);
  EXPECT_EQ(GetWindowActiveFlag(), 0);
}

TEST_F(ScriptedLibrary, ClosingTheWindowEndsMessageProcessing) {
  ASSERT_EQ(LibraryInit(), 0);
  window.PushClose();
  window.PushWheel(1);  // never handled: the window is gone
  EXPECT_EQ(ProcessWindowMessages(), -1);
  EXPECT_EQ(GetWindowClosingFlag(), 1);
  EXPECT_EQ(GetWindowDestroyedFlag(), 1);
  EXPECT_FALSE(window.exists);
  EXPECT_EQ(GetMouseWheelCount(0), 0);
  EXPECT_EQ(ProcessWindowMessages(), -1);
  WaitWhileInactive();  // returns at once without a window
  Lines lines = EndAndReadLog();
  EXPECT_EQ(window.destroyCount, 1);
  EXPECT_EQ(lines.back(), "解放されていないメモリブロックは 0 個 ( 計 0 バイト ) でした");
}

TEST_F(ScriptedLibrary, PrivateAndUnknownMessagesAreConsumedQuietly) {
  ASSERT_EQ(LibraryInit(), 0);
  window.PostMessage(WM_SOCKET_EVENT, 3, 1);
  window.PostMessage(WM_INPUT_FLAG_A, 1, 0);
  window.PostMessage(WM_INPUT_FLAG_B, 0, 0);
  window.PostMessage(MM_MCINOTIFY, 1, 0);
  window.PostMessage(0x7777, 0, 0);
  EXPECT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(window.WaitingCount(), 0u);
}

TEST_F(ScriptedLibrary, DroppedFilesAreKeptOldestFirstAndFreedAtTheEnd) {
  ASSERT_EQ(LibraryInit(), 0);
  window.PushDroppedFile("data\\\x93\xfa\x96\x7b.png");
  window.PushDroppedFile("second.txt");
  window.PushDroppedFile("third.txt");
  ProcessWindowMessages();
  EXPECT_EQ(GetDroppedFileCount(), 3);
  char name[64];
  EXPECT_EQ(TakeDroppedFileName(name, sizeof(name)), 13);
  EXPECT_STREQ(name, "data\\\x93\xfa\x96\x7b.png");
  char small[4];
  EXPECT_EQ(TakeDroppedFileName(small, sizeof(small)), 10);  // the full length, the name cut
  EXPECT_STREQ(small, "sec");
  EXPECT_EQ(GetDroppedFileCount(), 1);
  // The third is still listed at the end: the end frees it.
  Lines lines = EndAndReadLog();
  EXPECT_EQ(GetDroppedFileCount(), 0);
  EXPECT_EQ(TakeDroppedFileName(name, sizeof(name)), -1);
  EXPECT_EQ(lines.back(), "解放されていないメモリブロックは 0 個 ( 計 0 バイト ) でした");
}

TEST_F(ScriptedLibrary, AFailedWindowShutsDownAgainAndAllowsAnotherStart) {
  window.failCreate = true;
  EXPECT_EQ(LibraryInit(), -1);
  EXPECT_FALSE(window.displayOpen);
  Lines lines = LogLines(ReadWholeFile("Log.txt"));
  EXPECT_TRUE(HasLine(lines, "メインウインドウの作成に失敗しました"));
  EXPECT_EQ(lines.back(), "解放されていないメモリブロックは 0 個 ( 計 0 バイト ) でした");
  window.failCreate = false;
  EXPECT_EQ(LibraryInit(), 0);
  EXPECT_TRUE(window.exists);
}

TEST_F(ScriptedLibrary, ATwentyFourBitDesktopIsRefused) {
  window.desktopBitsPerPixel = 24;
  EXPECT_EQ(LibraryInit(), -1);
  EXPECT_EQ(window.createCount, 0);
  EXPECT_TRUE(HasLine(LogLines(ReadWholeFile("Log.txt")), "24ビットカラーのデスクトップには対応していません"));
}

TEST_F(ScriptedLibrary, NoDisplayMeansNoStart) {
  window.failOpenDisplay = true;
  EXPECT_EQ(LibraryInit(), -1);
  EXPECT_EQ(window.createCount, 0);
  EXPECT_EQ(LibraryEnd(), 0);
}

TEST_F(ScriptedLibrary, FullScreenTooLargeForTheDisplayFallsBackToWindowMode) {
  ChangeWindowMode(0);
  SetMainWindowClientSize(1024, 768);
  window.desktopWidth = 800;
  window.desktopHeight = 600;
  ASSERT_EQ(LibraryInit(), 0);
  EXPECT_TRUE(window.windowed);
  EXPECT_EQ(GetWindowModeFlag(), 1);
  EXPECT_EQ(window.width, 1024);
  LibraryEnd();

  window.desktopWidth = 1920;
  window.desktopHeight = 1080;
  ChangeWindowMode(0);
  ASSERT_EQ(LibraryInit(), 0);
  EXPECT_FALSE(window.windowed);
  SetMainWindowClientSize(640, 480);
}

TEST_F(ScriptedLibrary, ASecondRunningCopyIsRefusedUnlessAllowed) {
  char title[64];
  std::snprintf(title, sizeof(title), "instance test %d", static_cast<int>(getpid()));
  SetWindowTitle(title);
  int ready[2], release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The other copy: holds the name until told to go.
    char c = PlatformAcquireInstanceLock(title) == 0 ? 'y' : 'n';
    (void)!write(ready[1], &c, 1);
    (void)!read(release[0], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');

  SetAllowMultipleInstances(0);
  EXPECT_EQ(LibraryInit(), -1);
  EXPECT_EQ(window.createCount, 0);
  SetAllowMultipleInstances(1);
  EXPECT_EQ(LibraryInit(), 0);
  LibraryEnd();

  (void)!write(release[1], "x", 1);
  int status = 0;
  waitpid(child, &status, 0);
  SetAllowMultipleInstances(0);
  EXPECT_EQ(LibraryInit(), 0);  // the other copy is gone
  SetAllowMultipleInstances(1);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST(Clipboard, TextComesWholeOrNotAtAll) {
  ScriptedClipboard clipboard;
  SetPlatformClipboard(&clipboard);
  char buffer[16];
  EXPECT_EQ(GetClipboardTextInto(nullptr, 0), -1);  // holds no text
  EXPECT_EQ(PutClipboardText("a\x82\xa0z"), 0);
  EXPECT_EQ(clipboard.text, "a\x82\xa0z");
  EXPECT_EQ(GetClipboardTextInto(nullptr, 0), 5);
  EXPECT_EQ(GetClipboardTextInto(buffer, sizeof(buffer)), 0);
  EXPECT_STREQ(buffer, "a\x82\xa0z");
  EXPECT_EQ(GetClipboardTextInto(buffer, 3), 0);  // no room for the whole character
  EXPECT_STREQ(buffer, "a");
  EXPECT_EQ(GetClipboardTextInto(buffer, 0), -1);

  clipboard.available = false;
  EXPECT_EQ(GetClipboardTextInto(nullptr, 0), -1);
  EXPECT_EQ(PutClipboardText("x"), 0);  // 0 even when it cannot be opened
  EXPECT_EQ(clipboard.setCount, 1);
  EXPECT_EQ(PutClipboardText(nullptr), 0);
  SetPlatformClipboard(nullptr);
}

}  // namespace
