// Movie tests: the library started on a scripted window with a 32-bit
// screen, the generated test movies, and readers of a movie graphic's pixels.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "core/memory.h"
#include "graphics/graph_handle.h"
#include "movie/movie.h"
#include "movie/theora_decoder.h"
#include "platform/audio_device.h"
#include "platform/media_stream.h"
#include "sound/sound_system.h"
#include "tests/support/scripted_screen.h"

namespace movie_test {

// gray420.ogv: frame n is a flat grey of luma 20 + 7n, chroma 128; 30 frames
// at 10 a second. Red and blue of that grey by the fixed-point tables:
// 19070 (Y - 16) / 16384, cut toward zero.
constexpr int kGrayFrames = 30;
constexpr int GrayOfFrame(int n) { return 19070 * (4 + 7 * n) / 16384; }
// Frames differ by about 8 steps of grey; the encoder's rounding stays within 3.
constexpr int kGrayTolerance = 3;

inline std::string MovieFile(const std::string& name) {
  return (std::filesystem::path(VARNOK_MOVIE_DATA) / name).string();
}

struct Rgb {
  int r, g, b;
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& c) {
  return out << "(" << c.r << "," << c.g << "," << c.b << ")";
}

inline Rgb RgbAt(const MEMIMG* image, int x, int y) {
  const uint32_t v = ScriptedScreenTest::PixelOf(image, x, y);
  return {static_cast<int>(v >> 16 & 0xFF), static_cast<int>(v >> 8 & 0xFF), static_cast<int>(v & 0xFF)};
}

// A pixel of a 32-bit frame image (bytes blue, green, red, unused).
inline Rgb FrameImageAt(const GraphImage* image, int x, int y) {
  const uint8_t* p = static_cast<const uint8_t*>(image->pixels) + y * image->pitch + x * 4;
  return {p[2], p[1], p[0]};
}

inline Rgb FrameImageAt(TheoraMovieContext* movie, int x, int y) {
  return FrameImageAt(GetTheoraFrameImage(movie), x, y);
}

// The grey frame that the colour shows, or -1 when it is none of them.
inline int GrayFrameOf(const Rgb& c) {
  for (int n = 0; n < kGrayFrames; n++) {
    if (std::abs(c.r - GrayOfFrame(n)) <= kGrayTolerance && std::abs(c.b - GrayOfFrame(n)) <= kGrayTolerance &&
        std::abs(c.g - GrayOfFrame(n)) <= kGrayTolerance) {
      return n;
    }
  }
  return -1;
}

// The process's peak resident size since the last reset, which a test makes
// before the work it measures: the peak is then what the test itself made,
// whatever ran before it in the same process.
inline int64_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  }
  ADD_FAILURE() << "no VmHWM in /proc/self/status";
  return 0;
}
// ThreadSanitizer's shadow of every page written, and its allocator's
// zeroing, make the resident size several times the program's own;
// AddressSanitizer keeps what is freed in quarantine, up to 256 MB, so a
// demuxer that allocates a piece per packet grows it by that much. The
// normal build measures the peaks.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnPeaks = false;
#else
constexpr bool kOwnPeaks = true;
#endif
// The peak after the reset: the size resident now.
inline int64_t ResetPeakResident() {
  std::ofstream reset("/proc/self/clear_refs");
  reset << "5" << std::flush;
  EXPECT_TRUE(reset.good()) << "the peak could not be reset";
  return PeakResidentBytes();
}

class MovieTest : public ScriptedScreenTest {
 public:
  void SetUp() override {
    StartScreen(64, 48, 32);
    blocksAtStart = MemGetTotals().liveBlocks;
  }
  void TearDown() override {
    EXPECT_EQ(MemGetTotals().liveBlocks, blocksAtStart) << "blocks left behind";
    StopScreen();
  }

  static int MovieOfGraph(int graph) {
    GraphHandleRecord* record = LookupGraphHandle(graph);
    return record ? record->original->movie : -1;
  }
  static const MEMIMG* ImageOfGraph(int graph) { return &LookupGraphHandle(graph)->image; }

  // What a starting entry point would do: play intent with the play type,
  // and the resume step that starts every movie meant to play.
  static void StartPlaying(int movie, int playType) {
    MovieRecord* record = GetMovieRecord(movie);
    record->playType = playType;
    record->playIntent = 1;
    ResumeAllMovies();
  }
  // Puts a clock-driven movie's clock at the time.
  static void SetClock(int movie, double seconds) {
    GetMovieRecord(movie)->startTime = GetMicroCount() - static_cast<int64_t>(seconds * 1e6);
  }

  int64_t blocksAtStart = 0;
};

// The sound output advances only when the test runs it, by the seconds in
// frames of 1/60 s (or as many a second as given), each followed by what a
// new frame of the game does.
class ManualSoundMovieTest : public MovieTest {
 public:
  void SetUp() override {
    AudioSelectOutput(AudioOutputKind::Manual);
    MovieTest::SetUp();
  }
  void TearDown() override {
    SetMediaStreamClockForTest(nullptr);
    SetMediaDecoderCoresForTest(0);
    SetMediaVideoPacketBoundForTest(0);
    MovieTest::TearDown();
    AudioSelectOutput(AudioOutputKind::Sdl);
  }
  // The stream service's clock, which AdvanceSound moves with the sound.
  static inline uint64_t serviceMicros = 0;
  static void UseServiceClock() {
    serviceMicros = 1000000;
    SetMediaStreamClockForTest([] { return serviceMicros; });
  }
  static void AdvanceSound(uint32_t frames, int16_t* out) {
    ASSERT_EQ(AudioDeviceAdvanceFrames(g_soundSystem.device, frames, out), 0);
    serviceMicros += uint64_t{frames} * 1000000 / AudioDeviceMixRate(g_soundSystem.device);
  }
  template <typename EachFrame>
  static void RunSound(double seconds, EachFrame eachFrame, int framesPerSecond = 60) {
    const uint32_t perFrame = AudioDeviceMixRate(g_soundSystem.device) / framesPerSecond;
    for (int i = 0; i < static_cast<int>(seconds * framesPerSecond); i++) {
      AdvanceSound(perFrame, nullptr);
      eachFrame();
    }
  }
};

}  // namespace movie_test
