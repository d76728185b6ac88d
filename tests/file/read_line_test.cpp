#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "file/file_access.h"
#include "tests/support/scratch_dir.h"

namespace {

using namespace std::string_literals;

class ReadFileLineTest : public ::testing::Test {
 protected:
  FileAccessHandle Open(std::string_view bytes) {
    dir_.Write("lines.txt", bytes);
    handle_ = OpenFileForRead("lines.txt", 0);
    return handle_;
  }
  void TearDown() override {
    if (handle_) FileAccessClose(handle_);
  }
  // Reads one line with the given buffer size; the line comes back in `line`.
  int Line(int size) {
    std::memset(buffer_, 'Z', sizeof(buffer_));
    int n = ReadFileLine(buffer_, size, handle_);
    line = n >= 0 ? std::string(buffer_, static_cast<size_t>(n)) : "<end>";
    return n;
  }
  ScratchDir dir_;
  FileAccessHandle handle_ = 0;
  char buffer_[300];
  std::string line;
};

TEST_F(ReadFileLineTest, CrLfEndsALineAndALoneLfOrCrStaysInIt) {
  ASSERT_NE(Open("ab\r\ncd\nef\rg\r\nlast"), 0u);
  EXPECT_EQ(Line(256), 2);
  EXPECT_EQ(line, "ab");
  EXPECT_EQ(FileAccessTell(handle_), 4);
  EXPECT_EQ(Line(256), 7);
  EXPECT_EQ(line, "cd\nef\rg");
  EXPECT_EQ(FileAccessTell(handle_), 13);
  EXPECT_EQ(buffer_[7], '\0');
  EXPECT_EQ(Line(256), 4);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(IsFileAtEnd(handle_), 1);
}

TEST_F(ReadFileLineTest, AtTheEndGivesMinusOneAndLeavesTheBufferAlone) {
  ASSERT_NE(Open("x\r\n"), 0u);
  EXPECT_EQ(Line(256), 1);
  EXPECT_EQ(Line(256), -1);
  for (char c : buffer_) ASSERT_EQ(c, 'Z');
  FileAccessClose(handle_);
  ASSERT_NE(Open(""), 0u);
  EXPECT_EQ(Line(256), -1);
  for (char c : buffer_) ASSERT_EQ(c, 'Z');
}

TEST_F(ReadFileLineTest, ALongLineContinuesAsTheNextOne) {
  ASSERT_NE(Open("abcdef\r\nxy"), 0u);
  EXPECT_EQ(Line(4), 3);  // size 4 reads at most 3 bytes
  EXPECT_EQ(line, "abc");
  EXPECT_EQ(FileAccessTell(handle_), 3);
  EXPECT_EQ(Line(4), 3);
  EXPECT_EQ(line, "def");
  EXPECT_EQ(Line(4), 0);  // the CR LF alone
  EXPECT_EQ(FileAccessTell(handle_), 8);
  EXPECT_EQ(Line(4), 2);
  EXPECT_EQ(Line(4), -1);
  // A CR read as the last byte has no LF among the bytes read: it stays in the line.
  FileAccessClose(handle_);
  ASSERT_NE(Open("abc\r\nd"), 0u);
  EXPECT_EQ(Line(5), 4);
  EXPECT_EQ(line, "abc\r");
  EXPECT_EQ(Line(5), 2);
  EXPECT_EQ(line, "\nd");
  // Buffers too small to hold a byte read nothing.
  EXPECT_EQ(Line(1), -1);
  EXPECT_EQ(Line(0), -1);
}

TEST_F(ReadFileLineTest, TwoByteCharactersAreNeverSplitNorTakenForCr) {
  // 0x81 0x0D is one character: its trail byte is no CR.
  ASSERT_NE(Open("\x81\r\nz\r\n\x95\\\r\n"s), 0u);
  EXPECT_EQ(Line(256), 4);
  EXPECT_EQ(line, "\x81\r\nz");
  EXPECT_EQ(Line(256), 2);  // "表": its 0x5C trail byte is part of it
  EXPECT_EQ(line, "\x95\\");
  FileAccessClose(handle_);

  // The buffer ends between lead and trail byte: the character waits for the next line.
  ASSERT_NE(Open("a\x82\xA0\r\n"s), 0u);
  EXPECT_EQ(Line(3), 1);
  EXPECT_EQ(line, "a");
  EXPECT_EQ(FileAccessTell(handle_), 1);
  EXPECT_EQ(Line(3), 2);
  EXPECT_EQ(line, "\x82\xA0");
  EXPECT_EQ(Line(3), 0);
  EXPECT_EQ(Line(3), -1);
  FileAccessClose(handle_);

  // A lead byte that the file ends on, or one alone in a two-byte buffer, is
  // kept so that reading always moves on.
  ASSERT_NE(Open("ab\x82"s), 0u);
  EXPECT_EQ(Line(256), 3);
  EXPECT_EQ(Line(256), -1);
  FileAccessSeek(handle_, 2, 0);
  EXPECT_EQ(Line(2), 1);
  EXPECT_EQ(Line(2), -1);
}

TEST_F(ReadFileLineTest, NulEndsALineAndReadingGoesOnAfterIt) {
  ASSERT_NE(Open("ab\0cd\r\n\0"s), 0u);
  EXPECT_EQ(Line(256), 2);
  EXPECT_EQ(line, "ab");
  EXPECT_EQ(FileAccessTell(handle_), 3);
  EXPECT_EQ(Line(256), 2);
  EXPECT_EQ(line, "cd");
  EXPECT_EQ(Line(256), 0);
  EXPECT_EQ(Line(256), -1);
  FileAccessClose(handle_);

  // A NUL is no trail byte: the lead byte before it stands alone and the
  // length agrees with the string.
  ASSERT_NE(Open("a\x81\0b"s), 0u);
  EXPECT_EQ(Line(256), 2);
  EXPECT_EQ(line, "a\x81");
  EXPECT_EQ(std::strlen(buffer_), 2u);
  EXPECT_EQ(FileAccessTell(handle_), 3);
  EXPECT_EQ(Line(256), 1);
  EXPECT_EQ(line, "b");
}

TEST_F(ReadFileLineTest, ABadHandleGivesMinusOne) {
  EXPECT_EQ(ReadFileLine(buffer_, 256, 0), -1);
  EXPECT_EQ(ReadFileLine(buffer_, 256, kFileAccessHandleTag | 7), -1);
}

}  // namespace
