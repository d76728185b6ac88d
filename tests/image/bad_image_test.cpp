#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/memory.h"
#include "image/image_api.h"
#include "image/image_loader.h"
#include "tests/support/image_files.h"

namespace {

namespace fs = std::filesystem;

// Other test runs on the machine may use the same names at the same time.
fs::path UniqueTempPath(const std::string& name) {
  return fs::temp_directory_path() / ("varnok_" + std::to_string(getpid()) + "_" + name);
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each bad file fails from a file and from memory, writes a log line and
// leaves no block behind.
TEST(BadImages, EveryFileOfTheCorpusFailsCleanly) {
  fs::path logPath = UniqueTempPath("bad_image_log.txt");
  ASSERT_EQ(LogOpen(logPath.c_str()), 0);
  int64_t blocks = MemGetTotals().liveBlocks;
  int files = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(VARNOK_TEST_DATA) / "bad_images")) {
    files++;
    std::vector<uint8_t> bytes = ReadAll(entry.path());
    GraphImage image;
    auto logSize = [&] { return fs::exists(logPath) ? fs::file_size(logPath) : 0; };
    uintmax_t before = logSize();
    EXPECT_EQ(LoadGraphImageFromMemory(bytes.data(), bytes.size(), &image), -1) << entry.path();
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(LoadGraphImageFromFile(entry.path().c_str(), &image), -1) << entry.path();
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_GT(logSize(), before) << entry.path();  // every line is flushed
    EXPECT_EQ(MemGetTotals().liveBlocks, blocks) << entry.path();
  }
  LogClose();
  fs::remove(logPath);
  EXPECT_GE(files, 20);
}

TEST(BadImages, TheGoodControlsOfTheCorpusLoad) {
  GraphImage image;
  fs::path dir = fs::path(VARNOK_TEST_DATA) / "images";
  ASSERT_EQ(LoadGraphImageFromFile((dir / "gradient8.png").c_str(), &image), 0);
  EXPECT_EQ(image.width, 8);
  // Row 1, column 2: samples (x * 7 + y * 3) for x = 6, 7, 8 of the row.
  EXPECT_EQ(PixelAt(image, 2, 1) & 0xFFFFFF, 0x2D343Bu);
  ReleaseGraphImage(&image);
  ASSERT_EQ(LoadGraphImageFromFile((dir / "gradient16.jpg").c_str(), &image), 0);
  EXPECT_EQ(image.width, 16);
  EXPECT_EQ(image.height, 16);
  ReleaseGraphImage(&image);
}

TEST(BadImages, EveryCutOfAGoodFileFails) {
  PngParams params;
  params.width = 5;
  params.height = 4;
  params.colorType = 6;
  params.samples.assign(5 * 4 * 4, 0x5A);
  std::vector<uint8_t> png = EncodePng(params);
  std::vector<uint8_t> jpeg = EncodeJpeg(16, 16, 3, std::vector<uint8_t>(16 * 16 * 3, 77));
  int64_t blocks = MemGetTotals().liveBlocks;
  for (const std::vector<uint8_t>* file : {&png, &jpeg}) {
    for (size_t cut = 0; cut < file->size(); cut++) {
      GraphImage image;
      ASSERT_EQ(LoadGraphImageFromMemory(file->data(), cut, &image), -1) << cut;
    }
    GraphImage image;
    ASSERT_EQ(LoadGraphImageFromMemory(file->data(), file->size(), &image), 0);
    ReleaseGraphImage(&image);
  }
  EXPECT_EQ(MemGetTotals().liveBlocks, blocks);
}

TEST(BadImages, FlippedBytesNeverCrash) {
  // Seeded damage: each load may fail or succeed, but must not crash or leak.
  std::vector<uint8_t> samples(32 * 16 * 3);
  for (size_t i = 0; i < samples.size(); i++) samples[i] = static_cast<uint8_t>(i * 13);
  PngParams params;
  params.width = 32;
  params.height = 16;
  params.samples = samples;
  std::vector<uint8_t> png = EncodePng(params);
  std::vector<uint8_t> jpeg = EncodeJpeg(32, 16, 3, samples, 80, true);
  int64_t blocks = MemGetTotals().liveBlocks;
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (const std::vector<uint8_t>* original : {&png, &jpeg}) {
    for (int round = 0; round < 300; round++) {
      std::vector<uint8_t> file = *original;
      for (int flips = 1 + next() % 4; flips > 0; flips--) file[next() % file.size()] ^= 1u << (next() % 8);
      GraphImage image;
      if (LoadGraphImageFromMemory(file.data(), file.size(), &image) == 0) ReleaseGraphImage(&image);
    }
  }
  EXPECT_EQ(MemGetTotals().liveBlocks, blocks);
}

TEST(ImageLoaders, TheLoaderIsChosenByContentNotByName) {
  const ImageLoader* loaders = GetImageLoaders();
  ASSERT_STREQ(loaders[0].name, "PNG");
  ASSERT_STREQ(loaders[1].name, "JPEG");
  EXPECT_EQ(loaders[2].name, nullptr);
  const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const uint8_t jpeg[3] = {0xFF, 0xD8, 0xFF};
  EXPECT_TRUE(IsPngData(png, 8));
  EXPECT_FALSE(IsPngData(png, 7));
  EXPECT_FALSE(IsJpegData(png, 8));
  EXPECT_TRUE(IsJpegData(jpeg, 3));
  EXPECT_FALSE(IsJpegData(jpeg, 2));

  // A PNG saved under a .jpg name still loads.
  PngParams params;
  params.samples = {1, 2, 3};
  std::vector<uint8_t> bytes = EncodePng(params);
  fs::path path = UniqueTempPath("really_a_png.JPG");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  GraphImage image;
  ASSERT_EQ(LoadGraphImageFromFile(path.c_str(), &image), 0);
  EXPECT_EQ(PixelAt(image, 0, 0) & 0xFFFFFF, 0x010203u);
  ReleaseGraphImage(&image);
  fs::remove(path);
  EXPECT_EQ(LoadGraphImageFromFile("no/such/picture.png", &image), -1);
}

}  // namespace
