#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "file/file_access.h"
#include "file/stream.h"
#include "image/image_api.h"
#include "platform/files.h"
#include "sound/sound_file.h"
#include "tests/support/scratch_dir.h"

namespace {

using namespace std::string_literals;

TEST(FileAccess, HandlesNameSlotsAndRunOutAtFiveHundredTwelve) {
  ScratchDir dir;
  dir.Write("f.bin", "0123456789");
  std::vector<FileAccessHandle> handles;
  for (int i = 0; i < kFileAccessSlots; i++) {
    FileAccessHandle h = OpenFileForRead("f.bin", 0);
    ASSERT_EQ(h, kFileAccessHandleTag | static_cast<uint32_t>(i));
    handles.push_back(h);
  }
  EXPECT_EQ(OpenFileForRead("f.bin", 0), 0u);
  EXPECT_EQ(FileAccessClose(handles[100]), 0);
  EXPECT_EQ(FileAccessClose(handles[100]), -1);
  EXPECT_EQ(OpenFileForRead("f.bin", 0), handles[100]);
  for (FileAccessHandle h : handles) EXPECT_EQ(FileAccessClose(h), 0);
}

TEST(FileAccess, BadHandlesFail) {
  ScratchDir dir;
  dir.Write("f.bin", "abc");
  FileAccessHandle open = OpenFileForRead("f.bin", 0);
  ASSERT_NE(open, 0u);
  char buffer[4];
  for (FileAccessHandle bad : {0u, 5u, kFileAccessHandleTag | 511u, kFileAccessHandleTag | 512u, 0xFFFFFFFFu,
                               0xE0000000u | (open & 0xFFFu)}) {
    EXPECT_EQ(FileAccessTell(bad), -1) << bad;
    EXPECT_EQ(FileAccessSeek(bad, 0, 0), -1);
    EXPECT_EQ(FileAccessRead(buffer, 1, 1, bad), 0u);
    EXPECT_EQ(IsFileAtEnd(bad), -1);
    EXPECT_EQ(FileAccessClose(bad), -1);
  }
  EXPECT_EQ(OpenFileForRead("missing.bin", 0), 0u);
  EXPECT_EQ(OpenFileForRead(nullptr, 0), 0u);
  EXPECT_EQ(OpenFileForRead(".", 0), 0u);  // a directory is no file
  FileAccessClose(open);
}

TEST(FileAccess, PathsTakeEitherSeparatorAndAnyCase) {
  ScratchDir dir;
  dir.Write("Data/Graphic/Pic.PNG", "png");
  dir.Write("data2/x.txt", "lower");
  for (const char* path : {"Data\\Graphic\\Pic.PNG", "data/graphic/pic.png", "DATA\\GRAPHIC/PIC.png",
                           ".\\data\\graphic\\..\\Graphic\\pic.png", "Data\\\\Graphic\\pic.png"}) {
    FileAccessHandle h = OpenFileForRead(path, 0);
    EXPECT_NE(h, 0u) << path;
    char text[4] = {};
    EXPECT_EQ(FileAccessRead(text, 1, 3, h), 3u);
    EXPECT_STREQ(text, "png");
    FileAccessClose(h);
  }
  std::string absolute = (dir.path() / "DATA" / "graphic" / "pic.png").string();
  FileAccessHandle h = OpenFileForRead(absolute.c_str(), 0);
  EXPECT_NE(h, 0u);
  FileAccessClose(h);
  EXPECT_EQ(OpenFileForRead("data\\graphic\\missing.png", 0), 0u);
  EXPECT_EQ(OpenFileForRead("nowhere\\pic.png", 0), 0u);
}

TEST(FileAccess, ATrailByteOf0x5CIsNoSeparator) {
  ScratchDir dir;
  dir.Write("表/Ａ.txt", "kanji");  // 表 is 0x95 0x5C, Ａ 0x82 0x60 in Shift-JIS
  for (const char* path : {"\x95\x5C\\\x82\x60.txt", "\x95\x5C/\x82\x60.TXT"}) {
    FileAccessHandle h = OpenFileForRead(path, 0);
    EXPECT_NE(h, 0u) << path;
    FileAccessClose(h);
  }
}

TEST(FileAccess, SeeksStayWithinTheFile) {
  ScratchDir dir;
  dir.Write("f.bin", "0123456789");
  FileAccessHandle h = OpenFileForRead("f.bin", 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(FileAccessSeek(h, 4, 0), 0);
  EXPECT_EQ(FileAccessTell(h), 4);
  EXPECT_EQ(FileAccessSeek(h, -2, 1), 0);
  EXPECT_EQ(FileAccessTell(h), 2);
  EXPECT_EQ(FileAccessSeek(h, -3, 2), 0);
  EXPECT_EQ(FileAccessTell(h), 7);
  EXPECT_EQ(FileAccessSeek(h, 50, 0), 0);
  EXPECT_EQ(FileAccessTell(h), 10);
  EXPECT_EQ(IsFileAtEnd(h), 1);
  EXPECT_EQ(FileAccessSeek(h, -50, 1), 0);
  EXPECT_EQ(FileAccessTell(h), 0);
  EXPECT_EQ(FileAccessSeek(h, INT64_MAX, 1), 0);
  EXPECT_EQ(FileAccessTell(h), 10);
  EXPECT_EQ(FileAccessSeek(h, INT64_MIN, 2), 0);
  EXPECT_EQ(FileAccessTell(h), 0);
  EXPECT_EQ(FileAccessSeek(h, 0, 3), -1);
  FileAccessClose(h);
}

TEST(FileAccess, AFileThatShrinksUnderItsReaderEndsWhereTheReadsStop) {
  ScratchDir dir;
  dir.Write("f.bin", "0123456789");
  FileAccessHandle h = OpenFileForRead("f.bin", 0);
  ASSERT_NE(h, 0u);
  std::filesystem::resize_file("f.bin", 4);
  char buffer[8] = {};
  EXPECT_EQ(FileAccessRead(buffer, 1, 6, h), 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(IsFileAtEnd(h), 1);
  // Seeks no longer reach the size seen at open.
  EXPECT_EQ(FileAccessSeek(h, 0, 2), 0);
  EXPECT_EQ(FileAccessTell(h), 4);
  EXPECT_EQ(FileAccessSeek(h, 8, 0), 0);
  EXPECT_EQ(FileAccessTell(h), 4);
  EXPECT_EQ(FileAccessRead(buffer, 1, 1, h), 0u);
  FileAccessClose(h);
}

TEST(FileAccess, OnlyRegularFilesOpenAndANamedPipeDoesNotWait) {
  // A pipe with no writer would hold a plain open for ever.
  ScratchDir dir;
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  std::filesystem::create_directory("folder");
  for (const char* path : {"pipe", "folder", "/dev/null"}) {
    EXPECT_EQ(OpenFileForRead(path, 0), 0u) << path;
    GraphImage image;
    EXPECT_EQ(LoadGraphImageFromFile(path, &image), -1) << path;
    void* data = nullptr;
    size_t size = 0;
    EXPECT_EQ(LoadFileToMemory(path, &data, &size), -1) << path;
  }
}

TEST(FileAccess, DirectorySearchMatchesWildcardsWithoutCase) {
  ScratchDir dir;
  dir.Write("dir/a.TXT", "1");
  dir.Write("dir/b.txt", "22");
  dir.Write("dir/c.png", "333");
  dir.Write("dir/sub/d.txt", "");
  FileFindInfo info;
  std::vector<std::string> names;
  FileFindHandle f = FileAccessFindFirst("dir\\*.txt", &info);
  ASSERT_NE(f, 0u);
  do {
    names.push_back(info.name);
    EXPECT_EQ(info.size, static_cast<int64_t>(names.back() == "a.TXT" ? 1 : 2));
  } while (FileAccessFindNext(f, &info) == 0);
  EXPECT_EQ(FileAccessFindClose(f), 0);
  EXPECT_EQ(FileAccessFindClose(f), -1);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.TXT", "b.txt"}));

  f = FileAccessFindFirst("DIR/s?b", &info);
  ASSERT_NE(f, 0u);
  EXPECT_STREQ(info.name, "sub");
  EXPECT_EQ(info.isDirectory, 1);
  FileAccessFindClose(f);
  EXPECT_EQ(FileAccessFindFirst("dir/*.bmp", &info), 0u);
  EXPECT_EQ(FileAccessFindFirst("nodir/*", &info), 0u);
}

TEST(FileAccess, CurrentDirectoryGoesThroughTheTable) {
  ScratchDir dir;
  dir.Write("Sub/f.txt", "x");
  char before[4096];
  ASSERT_EQ(FileAccessGetCurrentDirectory(before, sizeof(before)), 0);
  EXPECT_EQ(FileAccessSetCurrentDirectory("sub"), 0);
  FileAccessHandle h = OpenFileForRead("f.txt", 0);
  EXPECT_NE(h, 0u);
  FileAccessClose(h);
  EXPECT_EQ(FileAccessSetCurrentDirectory(before), 0);
  char tiny[2];
  EXPECT_EQ(FileAccessGetCurrentDirectory(tiny, sizeof(tiny)), -1);
}

TEST(FileAccess, AReplacedTableTakesEveryCall) {
  static int opens = 0;
  FileAccessTable table = *GetPlainFileAccessTable();
  table.open = [](const char*, int, int, int) -> FileAccessHandle {
    opens++;
    return 0;
  };
  SetFileAccessTable(&table);
  EXPECT_EQ(OpenFileForRead("anything", 0), 0u);
  EXPECT_EQ(FileAccessOpen("anything", 0, 1, 0), 0u);
  EXPECT_EQ(opens, 2);
  SetFileAccessTable(nullptr);
  EXPECT_EQ(GetFileAccessTable()->open, GetPlainFileAccessTable()->open);
}

TEST(FileAccess, TempFilesAreNewEmptyAndWritable) {
  char path1[4096], path2[4096];
  intptr_t a = CreateTempFile(path1, sizeof(path1));
  intptr_t b = CreateTempFile(path2, sizeof(path2));
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  EXPECT_STRNE(path1, path2);
  EXPECT_EQ(std::filesystem::path(path1).filename().string().rfind("tmp", 0), 0u);
  EXPECT_EQ(std::filesystem::file_size(path1), 0u);
  EXPECT_EQ(PlatformFileWrite(a, "hello", 5), 5);
  PlatformFileClose(a);
  PlatformFileClose(b);
  EXPECT_EQ(std::filesystem::file_size(path1), 5u);
  std::filesystem::remove(path1);
  std::filesystem::remove(path2);
  char tiny[4];
  EXPECT_EQ(CreateTempFile(tiny, sizeof(tiny)), 0);
}

TEST(FileAccess, TheEndClosesWhatIsStillOpen) {
  ScratchDir dir;
  dir.Write("f.bin", "abc");
  InitFileSystem();
  FileAccessHandle h = OpenFileForRead("f.bin", 0);
  ASSERT_NE(h, 0u);
  EndFileSystem();
  EXPECT_EQ(FileAccessTell(h), -1);
}

}  // namespace
