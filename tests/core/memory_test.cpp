#include "core/memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/log.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

namespace {

using Lines = std::vector<std::string>;

// The log lines of one leak dump.
Lines DumpToLog() {
  EnableLogFile(1);
  LogOpen("Log.txt");
  MemDumpLeaks();
  LogClose();
  return LogLines(ReadWholeFile("Log.txt"));
}



TEST(Memory, TotalsFollowAllocationsAndFrees) {
  MemTotals before = MemGetTotals();
  void* a = MemAlloc(100, "a.cpp", 1);
  void* b = MemAllocZeroed(28, "b.cpp", 2);
  MemTotals during = MemGetTotals();
  EXPECT_EQ(during.liveBlocks - before.liveBlocks, 2);
  EXPECT_EQ(during.liveBytes - before.liveBytes, 128);
  EXPECT_GE(during.peakBytes, during.liveBytes);
  for (int i = 0; i < 28; i++) EXPECT_EQ(static_cast<char*>(b)[i], 0);
  MemFree(a);
  MemFree(b);
  MemFree(nullptr);
  MemTotals after = MemGetTotals();
  EXPECT_EQ(after.liveBlocks, before.liveBlocks);
  EXPECT_EQ(after.liveBytes, before.liveBytes);
}

TEST(Memory, ReallocKeepsTheContents) {
  auto* p = static_cast<char*>(MemAlloc(4, "", 0));
  std::memcpy(p, "abcd", 4);
  p = static_cast<char*>(MemRealloc(p, 1000, "", 0));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::memcmp(p, "abcd", 4), 0);
  p = static_cast<char*>(MemRealloc(p, 2, "", 0));
  EXPECT_EQ(std::memcmp(p, "ab", 2), 0);
  MemFree(p);
}

TEST(Memory, LeakReportListsEachLiveBlockWithItsTag) {
  ScratchDir dir;
  MemTotals before = MemGetTotals();
  void* a = MemAlloc(100, "source/very_long_name.cpp", 12);
  void* b = MemAlloc(7, "", 0);
  Lines lines = DumpToLog();
  // The tag keeps the last 15 characters of the file name.
  bool foundA = false, foundB = false;
  for (const std::string& line : lines) {
    if (line.find("ファイル:y_long_name.cpp  行:12  サイズ:100 バイト") != std::string::npos) foundA = true;
    if (line.find("ファイル:  行:0  サイズ:7 バイト") != std::string::npos) foundB = true;
  }
  EXPECT_TRUE(foundA);
  EXPECT_TRUE(foundB);
  char summary[128];
  std::snprintf(summary, sizeof(summary), "解放されていないメモリブロックは %lld 個 ( 計 %lld バイト ) でした",
                static_cast<long long>(before.liveBlocks + 2), static_cast<long long>(before.liveBytes + 107));
  EXPECT_EQ(lines.back(), summary);
  MemFree(a);
  MemFree(b);
}

TEST(Memory, DamagedHeaderIsReportedAndNeverTrusted) {
  ScratchDir dir;
  EnableLogFile(1);
  LogOpen("Log.txt");
  auto* first = static_cast<unsigned char*>(MemAlloc(16, "first.cpp", 1));
  auto* damaged = static_cast<unsigned char*>(MemAlloc(16, "damaged.cpp", 2));
  auto* last = static_cast<unsigned char*>(MemAlloc(16, "last.cpp", 3));
  EXPECT_EQ(MemCheckBlock(damaged), 0);
  // An underrun of the block: the bytes right before it belong to its header.
  unsigned char saved[8];
  std::memcpy(saved, damaged - 8, 8);
  std::memset(damaged - 8, 0xEE, 8);
  EXPECT_EQ(MemCheckBlock(damaged), -1);
  int64_t reportsBefore = MemGetTotals().damagedBlocks;
  int64_t liveBefore = MemGetTotals().liveBlocks;

  MemFree(damaged);  // refused: the block stays listed
  EXPECT_EQ(MemGetTotals().liveBlocks, liveBefore);
  EXPECT_EQ(MemRealloc(damaged, 64, "", 0), nullptr);
  EXPECT_EQ(MemGetTotals().damagedBlocks, reportsBefore + 2);
  MemDumpLeaks();  // lists the blocks on both sides of the damaged one
  LogClose();

  Lines lines = LogLines(ReadWholeFile("Log.txt"));
  int damageLines = 0;
  bool firstListed = false, lastListed = false, damagedListed = false;
  for (const std::string& line : lines) {
    if (line.rfind("メモリブロックのヘッダが壊れています", 0) == 0) damageLines++;
    if (line.find("ファイル:first.cpp") != std::string::npos) firstListed = true;
    if (line.find("ファイル:last.cpp") != std::string::npos) lastListed = true;
    if (line.find("ファイル:damaged.cpp") != std::string::npos) damagedListed = true;
  }
  EXPECT_EQ(damageLines, 3);  // free, realloc, dump
  EXPECT_TRUE(firstListed);
  EXPECT_TRUE(lastListed);
  EXPECT_FALSE(damagedListed);

  // Mended, the block frees normally and the neighbours' links still hold.
  std::memcpy(damaged - 8, saved, 8);
  EXPECT_EQ(MemCheckBlock(damaged), 0);
  MemFree(damaged);
  MemFree(first);
  MemFree(last);
  EXPECT_EQ(MemGetTotals().liveBlocks, liveBefore - 3);
}

}  // namespace
