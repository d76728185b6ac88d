#include "core/log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

namespace {

using Lines = std::vector<std::string>;

TEST(Log, EveryLineGetsTheTimeAndIndentAndEndsInCrLf) {
  ScratchDir dir;
  EnableLogFile(1);
  ASSERT_EQ(LogOpen("Log.txt"), 0);
  EXPECT_EQ(LogWrite("first\n"), -1);
  LogIndentIn();
  EXPECT_EQ(LogPrintf("second %d", 2), -1);
  LogIndentIn();
  LogWrite("x\r\ny\n");  // an existing CR LF is not doubled
  LogIndentOut();
  LogIndentOut();
  LogIndentOut();  // never below zero
  LogWrite("part ");
  LogPrintf("third");
  LogClose();

  std::string text = ReadWholeFile("Log.txt");
  EXPECT_EQ(LogLines(text), (Lines{"first", "\tsecond 2", "\t\tx", "\t\ty", "part third"}));
  // Every line feed is part of a CR LF pair.
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == '\n') {
      EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "at " << i;
    }
  }
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(Log, OpeningReplacesTheOldFile) {
  ScratchDir dir;
  dir.Write("Log.txt", "old contents\r\n");
  EnableLogFile(1);
  ASSERT_EQ(LogOpen("Log.txt"), 0);
  LogPrintf("new");
  LogClose();
  EXPECT_EQ(LogLines(ReadWholeFile("Log.txt")), (Lines{"new"}));
}

TEST(Log, OnlyARegularFileIsReplacedElseTheLibraryRunsWithoutALog) {
  ScratchDir dir;
  EnableLogFile(1);
  dir.Write("target.txt", "kept");
  std::filesystem::create_directory("empty");
  std::filesystem::create_symlink("target.txt", "link");
  std::filesystem::create_symlink("missing.txt", "dangling");
  for (const char* name : {"empty", "link", "dangling"}) {
    EXPECT_EQ(LogOpen(name), -1) << name;
    EXPECT_EQ(LogPrintf("lost"), -1);
    LogClose();
  }
  EXPECT_TRUE(std::filesystem::is_directory("empty"));
  EXPECT_TRUE(std::filesystem::is_symlink("link"));
  EXPECT_TRUE(std::filesystem::is_symlink("dangling"));
  EXPECT_FALSE(std::filesystem::exists("missing.txt"));
  EXPECT_EQ(ReadWholeFile("target.txt"), "kept");
}

TEST(Log, TurnedOffWritesNoFileAndStillAnswersMinusOne) {
  ScratchDir dir;
  EnableLogFile(0);
  LogOpen("Log.txt");
  EXPECT_EQ(LogPrintf("nothing"), -1);
  LogClose();
  EnableLogFile(1);
  EXPECT_FALSE(std::filesystem::exists("Log.txt"));
}

TEST(Log, NetworkLinesCarryTheErrorCode) {
  ScratchDir dir;
  EnableLogFile(1);
  LogOpen("Log.txt");
  LogSetNetError(10054);
  EXPECT_EQ(NetLogPrintf("acceptに失敗しました"), -1);
  LogSetNetError(0);
  LogClose();
  EXPECT_EQ(LogLines(ReadWholeFile("Log.txt")), (Lines{"ネットワークログ。acceptに失敗しました[10054]"}));
}

TEST(Log, OverlongLinesAreCutButStillEndTheLine) {
  ScratchDir dir;
  EnableLogFile(1);
  LogOpen("Log.txt");
  std::string longText(5000, 'a');
  LogPrintf("%s", longText.c_str());
  LogPrintf("next");
  LogClose();
  Lines lines = LogLines(ReadWholeFile("Log.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(2046, 'a'));
  EXPECT_EQ(lines[1], "next");
}

}  // namespace
