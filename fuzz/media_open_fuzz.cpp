// libFuzzer target: arbitrary bytes as a movie file for the multimedia-stream
// player over FFmpeg: the open's steps, the movie set running as the player
// does (its sound playing on a manual output that each step advances), a
// few updates that read ahead and show frames, and the close. The file
// lies in a folder of its own beside a named pipe without a writer, so that
// playlists, lists and session descriptions that name it, the movie itself,
// files above it or the network meet what a hostile folder would hold: any
// of them that the player followed would hang, recurse or bind a socket
// (seed it with the colors.avi, colors.mp4, colors40.mp4, colors.m2v,
// tone.avi, changing.mov and rgba16.mov that the build makes under
// test_movies/ and the texts under tests/data/movie_texts/). The player's
// deadlines (five seconds for the open, for each read and for each update)
// run on a clock that moves a millisecond each time the player reads it,
// so that an input that runs them out takes 5,000 reads rather than 5 s of
// the fuzzer's time.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics/directdraw.h"
#include "movie/directshow_movie.h"
#include "movie/movie.h"
#include "platform/audio_device.h"
#include "platform/media_stream.h"

namespace {

uint64_t g_micros = 0;
uint64_t StepClock() { return g_micros += 1000; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = "/tmp/varnok_media_fuzz_" + std::to_string(getpid());
  static const std::string path = [] {
    mkdir(folder.c_str(), 0700);
    mkfifo((folder + "/pipe").c_str(), 0600);
    std::atexit([] {
      unlink((folder + "/pipe").c_str());
      unlink((folder + "/movie.avi").c_str());
      rmdir(folder.c_str());
    });
    return folder + "/movie.avi";
  }();
  // The stream's sound opens only on a device; this one plays only when told.
  static AudioDevice* const device = [] {
    AudioSelectOutput(AudioOutputKind::Manual);
    AudioDevice* made = AudioDeviceCreate();
    if (made && AudioDeviceInitialize(made) != 0) {
      AudioDeviceRelease(made);
      made = nullptr;
    }
    return made;
  }();
  SetMediaStreamClockForTest(StepClock);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  MovieRecord movie{};
  if (OpenDirectShowMovie(GetDirectDrawObject(), &movie, path.c_str(), nullptr, nullptr, 0) == 0) {
    movie.playType = 1;
    movie.playIntent = 1;
    RunDirectShowMovie(&movie);
    // Updates that may stay pending, as every draw makes them, and ones that
    // wait for a frame; between them a quarter second of sound plays.
    for (int i = 0; i < 8 && !movie.stopped; i++) {
      movie.directShow.lastUpdateCounter = -1;  // as a new frame would
      UpdateDirectShowMovieFrame(&movie, i % 2);
      if (device) AudioDeviceAdvanceFrames(device, AudioDeviceMixRate(device) / 4, nullptr);
    }
  }
  CloseDirectShowMovie(&movie);
  return 0;
}
