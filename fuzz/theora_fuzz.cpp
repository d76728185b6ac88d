// libFuzzer target: arbitrary bytes opened as an Ogg Theora movie, then its
// frames moved, sought and converted while the decoder thread runs (seed it
// with the movies the build makes under test_movies/).
#include <algorithm>
#include <cstring>

#include "movie/theora_decoder.h"
#include "movie/yuv_convert.h"

namespace {

// One input at a time, read through a file table over memory.
const uint8_t* g_data;
int64_t g_size;
int64_t g_position;

size_t Read(void* buffer, size_t size, size_t count, FileAccessHandle) {
  if (size == 0) return 0;
  const int64_t n = std::min<int64_t>(static_cast<int64_t>(size * count), g_size - g_position) / static_cast<int64_t>(size);
  std::memcpy(buffer, g_data + g_position, static_cast<size_t>(n) * size);
  g_position += n * static_cast<int64_t>(size);
  return static_cast<size_t>(n);
}

int Seek(FileAccessHandle, int64_t offset, int origin) {
  const int64_t base = origin == 0 ? 0 : origin == 1 ? g_position : g_size;
  g_position = std::clamp<int64_t>(base + offset, 0, g_size);
  return 0;
}

int AtEnd(FileAccessHandle) { return g_position >= g_size ? 1 : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int tables = InitYuvToRgbTables();
  (void)tables;
  g_data = data;
  g_size = static_cast<int64_t>(size);
  g_position = 0;
  FileAccessTable table{};
  table.read = Read;
  table.seek = Seek;
  table.eof = AtEnd;
  TheoraMovieContext* movie = OpenTheoraMovie(&table, 1, 3);
  if (!movie) return 0;
  TheoraMovieInfo info;
  GetTheoraMovieInfo(movie, &info);
  for (int32_t step : {1, 5, info.frameCount - 1, 2}) {
    AdvanceTheoraFrame(movie, step);
    UpdateTheoraFrameImage(movie, 1, 0);
  }
  SeekTheoraFrame(movie, info.frameCount / 2);
  UpdateTheoraFrameImage(movie, 1, 0);
  CloseTheoraMovie(movie);
  return 0;
}
