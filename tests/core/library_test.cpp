// The library's start and end on the real SDL window (headless: SDL's dummy driver).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/core_api.h"
#include "core/helpers.h"
#include "core/system_report.h"
#include "core/window.h"
#include "platform/window.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

namespace {

using Lines = std::vector<std::string>;

TEST(Library, StartsAndEndsOnTheSdlWindowWithACleanLeakReport) {
  ScratchDir dir;
  SetPlatformWindow(nullptr);
  EnableLogFile(1);
  SetWindowTitle("Tamblor  ver0.7");
  ChangeWindowMode(1);
  ASSERT_EQ(LibraryInit(), 0);
  EXPECT_NE(GetMainWindow(), nullptr);
  EXPECT_NE(GetPlatformWindow()->NativeHandle(), nullptr);
  EXPECT_EQ(GetOsCodeWord(), 264);
  for (int i = 0; i < 3; i++) EXPECT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(LibraryEnd(), 0);
  EXPECT_EQ(GetMainWindow(), nullptr);

  Lines lines = LogLines(ReadWholeFile("Log.txt"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Varnok の初期化を開始します");
  EXPECT_EQ(lines.back(), "解放されていないメモリブロックは 0 個 ( 計 0 バイト ) でした");
  for (const std::string& line : lines) EXPECT_NE(line[0], '!') << line;

  // And once more: the library starts again after an end.
  ASSERT_EQ(LibraryInit(), 0);
  EXPECT_EQ(LibraryEnd(), 0);
}

// The start-up report says which vector kernels run, and that a VARNOK_SIMD
// value it does not know was ignored rather than obeyed.
TEST(Library, LogsTheVectorLevelAndAnUnknownVarnokSimd) {
  const char* before = std::getenv("VARNOK_SIMD");
  const std::string kept = before ? before : "";
  const char* kLevelNames[4] = {"none", "SSE2", "AVX2", "AVX-512"};
  const std::string levelLine = std::string("ベクトル命令  ") + kLevelNames[VectorLevel()];
  const std::string warning = "環境変数 VARNOK_SIMD の値 avx3 は baseline、avx2、avx512 のどれでもないため無視しました";
  const struct {
    const char* value;  // null: unset
    bool warns;
  } cases[] = {{"avx3", true}, {"baseline", false}, {"", false}, {nullptr, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    if (c.value) setenv("VARNOK_SIMD", c.value, 1);
    else unsetenv("VARNOK_SIMD");
    {
      ScratchDir dir;
      SetPlatformWindow(nullptr);
      EnableLogFile(1);
      ChangeWindowMode(1);
      ASSERT_EQ(LibraryInit(), 0);
      EXPECT_EQ(LibraryEnd(), 0);
      const Lines lines = LogLines(ReadWholeFile("Log.txt"));
      EXPECT_EQ(std::count(lines.begin(), lines.end(), levelLine), 1);
      EXPECT_EQ(std::count(lines.begin(), lines.end(), warning), c.warns ? 1 : 0);
    }
  }
  if (before) setenv("VARNOK_SIMD", kept.c_str(), 1);
  else unsetenv("VARNOK_SIMD");
}

TEST(Library, ClosingTheSdlWindowEndsProcessing) {
  ScratchDir dir;
  SetPlatformWindow(nullptr);
  ChangeWindowMode(1);
  ASSERT_EQ(LibraryInit(), 0);
  GetPlatformWindow()->PostMessage(WM_CLOSE, 0, 0);
  EXPECT_EQ(ProcessWindowMessages(), -1);
  EXPECT_EQ(GetWindowClosingFlag(), 1);
  EXPECT_EQ(LibraryEnd(), 0);
}

TEST(LibraryDeathTest, FatalErrorLogsShutsDownAndExitsWithMinusOne) {
  GTEST_FLAG_SET(death_test_style, "fast");  // the child stays in this scratch directory
  ScratchDir dir;
  SetPlatformWindow(nullptr);
  EnableLogFile(1);
  ChangeWindowMode(1);
  EXPECT_EXIT(
      {
        LibraryInit();
        FatalErrorExitFormatted("致命的なエラー %d", 42);
      },
      ::testing::ExitedWithCode(255), "");
  Lines lines = LogLines(ReadWholeFile("Log.txt"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "致命的なエラー 42"), lines.end());
  EXPECT_EQ(lines.back(), "解放されていないメモリブロックは 0 個 ( 計 0 バイト ) でした");
}

}  // namespace
