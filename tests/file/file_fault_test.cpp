// Every reader of files under every file fault, struck at each of its calls
// in turn: short and empty reads, failing seeks and tells, a file cut short
// or emptied under the reader. Whatever the reader makes of it, it comes back
// (the fault table stops a reader that loops), leaks nothing and leaves no
// file open.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/memory.h"
#include "file/file_access.h"
#include "file/stream.h"
#include "image/image_api.h"
#include "sound/sound_converter.h"
#include "sound/sound_file.h"
#include "tests/support/file_faults.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

namespace {

// The decoders as a stream sound uses them: from the open file, read whole,
// sought back and read again, and decoded whole.
void DecodeFromFile(const char* path) {
  FileAccessHandle file = FileAccessOpen(path, 0, 1, 0);
  if (!file) return;
  SoundConverter c;
  if (OpenSoundConverter(FileStreamAccess(file), &c) == 0) {
    static uint8_t buffer[4096];
    for (int i = 0; i < 256 && ReadSoundConverterPcm(&c, buffer, sizeof(buffer)) > 0; i++) {
    }
    SeekSoundConverter(&c, 100);
    ReadSoundConverterPcm(&c, buffer, sizeof(buffer));
    void* pcm = nullptr;
    size_t size = 0;
    if (ConvertSoundToPcmMemory(&c, nullptr, &pcm, &size) == 0) MemFree(pcm);
    CloseSoundConverter(&c);
  }
  FileAccessClose(file);
}

void LoadImage(const char* path) {
  GraphImage image;
  if (LoadGraphImageFromFile(path, &image) == 0) ReleaseGraphImage(&image);
}

void LoadWhole(const char* path) {
  void* data = nullptr;
  size_t size = 0;
  if (LoadFileToMemory(path, &data, &size) == 0) MemFree(data);
}

void ReadLines(const char* path) {
  FileAccessHandle file = OpenFileForRead(path, 0);
  if (!file) return;
  char line[7];
  while (ReadFileLine(line, sizeof(line), file) >= 0) {
  }
  FileAccessClose(file);
}

struct Reader {
  const char* name;
  std::string bytes;
  void (*read)(const char* path);
};

std::string TestFile(const char* relative) {
  return ReadWholeFile((std::filesystem::path(VARNOK_TEST_DATA) / relative).string());
}

TEST(FileFaults, EveryReaderComesBackFromEveryFaultAtEveryCall) {
  // A PCM file: the one decoder that reads the open file while playing.
  std::string pcm("RIFF\x34\x04\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0data\x10\x04\0\0", 44);
  pcm.resize(pcm.size() + 0x410, '\x11');
  // Lines in every ending, and two-byte characters across the buffer's edges.
  const std::string text("ab\r\ncd\0e\x81\x40\x81\x40\x81\x40\r\n\x82", 17);
  const std::vector<Reader> readers = {
      {"png", TestFile("images/gradient8.png"), LoadImage},
      {"jpeg", TestFile("images/gradient16.jpg"), LoadImage},
      {"pcm wav", pcm, DecodeFromFile},
      {"ima wav", TestFile("sound/ima_mono.wav"), DecodeFromFile},
      {"ms adpcm wav", TestFile("sound/msadpcm_mono.wav"), DecodeFromFile},
      {"a-law wav", TestFile("sound/alaw_mono.wav"), DecodeFromFile},
      {"mp3", TestFile("sound/mp3_tagged.mp3"), DecodeFromFile},
      {"ogg", TestFile("sound/ogg_stereo.ogg"), DecodeFromFile},
      {"whole file", TestFile("sound/ogg_stereo.ogg"), LoadWhole},
      {"lines", text + std::string(40, 'x') + "\r\n", ReadLines},
  };

  ScratchDir dir;
  for (FileFault fault : kEveryFileFault) {
    for (const Reader& reader : readers) {
      for (int k = 1;; k++) {
        ASSERT_LT(k, 500) << "a fault that never stops striking";
        dir.Write("f", reader.bytes);
        const int64_t blocks = MemGetTotals().liveBlocks;
        FileFaultScope faults(fault, k);
        reader.read("f");
        const std::string where = std::string(reader.name) + ", " + FileFaultName(fault) + " at " + std::to_string(k);
        EXPECT_EQ(faults.OpenFiles(), 0) << where;
        EXPECT_EQ(MemGetTotals().liveBlocks, blocks) << where;
        if (!faults.Struck()) break;
      }
    }
  }
}

}  // namespace
