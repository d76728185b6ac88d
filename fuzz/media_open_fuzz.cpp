// libFuzzer target: arbitrary bytes as a movie file for the multimedia-stream
// player over FFmpeg: the open's steps, a few frames and the close (seed it
// with the colors.avi, colors.mp4 and tone.avi that the build makes under
// test_movies/).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics/directdraw.h"
#include "movie/directshow_movie.h"
#include "movie/movie.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/varnok_media_fuzz_" + std::to_string(getpid()) + ".avi";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  MovieRecord movie{};
  if (OpenDirectShowMovie(GetDirectDrawObject(), &movie, path.c_str(), nullptr, nullptr, 0) == 0) {
    movie.playType = 1;
    for (int i = 0; i < 8 && !movie.stopped; i++) UpdateDirectShowMovieFrame(&movie, 1);
  }
  CloseDirectShowMovie(&movie);
  return 0;
}
