#include <gtest/gtest.h>

#include <string>

#include "core/memory.h"
#include "file/file_access.h"
#include "file/stream.h"
#include "tests/support/scratch_dir.h"

namespace {

const std::string kData = "0123456789abcdef";

// One script of calls whose results are collected, so that a file and a
// memory stream over the same bytes can be compared call for call.
std::string Drive(const StreamAccess& s) {
  std::string log;
  auto note = [&log](auto value) { log += std::to_string(value) + ","; };
  char buffer[32] = {};
  note(StreamTell(s));
  note(StreamRead(s, buffer, 4, 2));  // 8 bytes
  log += std::string(buffer, 8) + ",";
  note(StreamTell(s));
  note(StreamRead(s, buffer, 3, 5));  // 8 bytes left: 2 whole elements
  note(StreamTell(s));
  note(StreamEof(s));
  note(StreamRead(s, buffer, 1, 1));
  note(StreamSeek(s, -5, 2));
  note(StreamTell(s));
  note(StreamEof(s));
  note(StreamSeek(s, 100, 1));
  note(StreamTell(s));
  note(StreamSeek(s, -100, 0));
  note(StreamTell(s));
  note(StreamSeek(s, 0, 7));
  note(StreamRead(s, buffer, 0, 3));
  note(s.functions.idle(s.handle));
  return log;
}

TEST(Streams, FileAndMemoryStreamsBehaveAlike) {
  ScratchDir dir;
  dir.Write("s.bin", kData);
  FileAccessHandle file = OpenFileForRead("s.bin", 0);
  ASSERT_NE(file, 0u);
  StreamAccess fileStream = FileStreamAccess(file);
  MemoryStream* memory = OpenMemoryStream(kData.data(), kData.size());
  ASSERT_NE(memory, nullptr);
  StreamAccess memoryStream = MemoryStreamAccess(memory);

  std::string fromFile = Drive(fileStream);
  EXPECT_EQ(fromFile, "0,2,01234567,8,2,16,1,0,0,11,0,0,16,0,0,-1,0,1,");
  EXPECT_EQ(Drive(memoryStream), fromFile);
  EXPECT_EQ(memory->endFlag, 0);  // cleared by the seeks
  EXPECT_EQ(StreamClose(fileStream), 0);
  EXPECT_EQ(StreamClose(memoryStream), 0);
}

TEST(Streams, MemoryStreamSetsItsEndFlagOnAReadAtTheEnd) {
  MemoryStream* memory = OpenMemoryStream(kData.data(), kData.size());
  StreamAccess s = MemoryStreamAccess(memory);
  char buffer[16];
  EXPECT_EQ(StreamRead(s, buffer, 16, 1), 1u);
  EXPECT_EQ(memory->endFlag, 0);
  EXPECT_EQ(StreamRead(s, buffer, 1, 1), 0u);
  EXPECT_EQ(memory->endFlag, 1);
  EXPECT_EQ(MemoryStreamClose(s.handle), 0);
}

TEST(Streams, AnEmptyMemoryStreamIsAtItsEndAndClosingFreesOnlyTheRecord) {
  MemTotals before = MemGetTotals();
  MemoryStream* memory = OpenMemoryStream(nullptr, 0);
  ASSERT_NE(memory, nullptr);
  StreamAccess s = MemoryStreamAccess(memory);
  EXPECT_EQ(StreamEof(s), 1);
  char c;
  EXPECT_EQ(StreamRead(s, &c, 1, 1), 0u);
  EXPECT_EQ(StreamClose(s), 0);
  EXPECT_EQ(MemGetTotals().liveBlocks, before.liveBlocks);
  EXPECT_EQ(OpenMemoryStream(nullptr, 5), nullptr);
  EXPECT_EQ(MemoryStreamClose(0), -1);
}

}  // namespace
