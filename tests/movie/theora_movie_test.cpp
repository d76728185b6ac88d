// The Theora player and the movie handles over the generated movies: the
// picture of each frame after seeks, advances and wraps with stocks of every
// size, playback by the clock and by the sound track, pausing with the
// window, and files that are no movie or a broken one.
#include "core/handle.h"
#include "core/helpers.h"
#include "file/file_access.h"
#include "movie/yuv_convert.h"
#include "platform/audio_device.h"
#include "sound/sound_api.h"
#include "sound/sound_system.h"
#include "tests/movie/movie_fixture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/timer.h"

namespace movie_test {
namespace {

using TheoraPlayer = MovieTest;

// The library's clock stands still unless a test moves it, so the frame a
// clock time shows never depends on how fast the machine runs the test.
class MovieGraphics : public MovieTest {
 public:
  void SetUp() override {
    MovieTest::SetUp();
    now = 1000000000;
    SetClockSourceForTest([] { return now; });
  }
  void TearDown() override {
    SetClockSourceForTest(nullptr);
    MovieTest::TearDown();
  }
  static void Wait(double seconds) { now += static_cast<int64_t>(seconds * 1e6); }

  static inline int64_t now = 0;
};

struct OpenFile {
  FileAccessHandle file;
  TheoraMovieContext* movie;
};

OpenFile OpenTheora(const std::string& path, int stock) {
  const FileAccessHandle file = FileAccessOpen(path.c_str(), 0, 1, 0);
  return {file, file ? OpenTheoraMovie(GetFileAccessTable(), file, stock) : nullptr};
}

void Close(OpenFile& f) {
  if (f.movie) CloseTheoraMovie(f.movie);
  if (f.file) FileAccessClose(f.file);
}

// Converts the current frame and tells which grey frame it shows.
int ShownFrame(TheoraMovieContext* movie) {
  if (UpdateTheoraFrameImage(movie, 1, 0) != 1) return -2;
  const int frame = GrayFrameOf(FrameImageAt(movie, 5, 7));
  const int corner = GrayFrameOf(FrameImageAt(movie, 63, 47));
  return frame == corner ? frame : -3;
}

TEST_F(TheoraPlayer, OpensOnFrameZeroWithEveryFrameIndexed) {
  OpenFile f = OpenTheora(MovieFile("gray420.ogv"), 10);
  ASSERT_NE(f.movie, nullptr);
  TheoraMovieInfo info;
  GetTheoraMovieInfo(f.movie, &info);
  EXPECT_EQ(info.framesPerSecond, 10.0);
  EXPECT_EQ(info.frameCount, kGrayFrames);
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 48);
  EXPECT_EQ(GetTheoraCurrentFrame(f.movie), 0);
  EXPECT_EQ(GrayFrameOf(FrameImageAt(f.movie, 0, 0)), 0);
  EXPECT_EQ(GetTheoraFrameImage(f.movie)->format.bitsPerPixel, 32);
  EXPECT_EQ(GetTheoraYuvSurface(f.movie), nullptr);
  // The frame is converted once: a second update has nothing to do.
  EXPECT_EQ(UpdateTheoraFrameImage(f.movie, 1, 1), 0);
  Close(f);
}

// Key frames come every 8 frames, so most targets start at an earlier page
// and decode forward; out-of-range targets are clamped.
TEST_F(TheoraPlayer, SeeksShowTheirTargetFrame) {
  OpenFile f = OpenTheora(MovieFile("gray420.ogv"), 10);
  ASSERT_NE(f.movie, nullptr);
  const int targets[][2] = {{29, 29}, {3, 3}, {17, 17}, {8, 8}, {0, 0}, {25, 25}, {16, 16}, {40, 29}, {-5, 0}};
  for (const auto& [target, frame] : targets) {
    SeekTheoraFrame(f.movie, target);
    EXPECT_EQ(GetTheoraCurrentFrame(f.movie), frame);
    EXPECT_EQ(ShownFrame(f.movie), frame) << "seek to " << target;
  }
  Close(f);
}

// Round and round the movie: steps inside the stock, steps past it, single
// steps with a small stock, a stock larger than the whole movie, and steps
// of more than a whole round.
TEST_F(TheoraPlayer, AdvancingWrapsThroughTheEndWithAnyStock) {
  struct Case {
    int stock, step, steps;
  };
  const Case cases[] = {{10, 7, 20}, {10, 13, 12}, {3, 1, 65}, {40, 11, 10}, {10, 29, 8}, {1, 4, 20}, {10, 77, 6}};
  for (const Case& c : cases) {
    OpenFile f = OpenTheora(MovieFile("gray420.ogv"), c.stock);
    ASSERT_NE(f.movie, nullptr);
    int expected = 0;
    for (int i = 0; i < c.steps; i++) {
      AdvanceTheoraFrame(f.movie, c.step);
      expected = (expected + c.step) % kGrayFrames;
      ASSERT_EQ(GetTheoraCurrentFrame(f.movie), expected);
      ASSERT_EQ(ShownFrame(f.movie), expected) << "stock " << c.stock << " step " << c.step << " #" << i;
    }
    Close(f);
  }
}

TEST_F(TheoraPlayer, ClosingWhileTheThreadDecodesWaitsForIt) {
  for (int round = 0; round < 3; round++) {
    OpenFile f = OpenTheora(MovieFile("bench640.ogv"), 10);
    ASSERT_NE(f.movie, nullptr);
    AdvanceTheoraFrame(f.movie, 20 + round);
    Close(f);
  }
}

// Counts the decoding thread's waits while its stock is full, by whether
// they are a sleep of a millisecond, and waits as it was asked to.
class TheoraThreadWaits : public MovieTest {
 public:
  void SetUp() override {
    MovieTest::SetUp();
    SetTheoraThreadWaitForTest(Wait);
  }
  void TearDown() override {
    SetTheoraThreadWaitForTest(nullptr);
    MovieTest::TearDown();
  }
  static void Wait(const TheoraMovieContext* c, int32_t milliseconds) {
    if (c->threadState.load(std::memory_order_relaxed) == kTheoraStockFull) {
      (milliseconds == 1 ? fullSleeps : fullOthers).fetch_add(1);
    }
    if (milliseconds > 0) {
      PlatformSleepMs(static_cast<uint32_t>(milliseconds));
    } else {
      std::this_thread::yield();
    }
  }

  static inline std::atomic<int> fullSleeps{0}, fullOthers{0};
};

// A movie left alone with its stock full has nothing to do for as long as it
// stays open: its thread sleeps rather than asking for the processor again
// at once. Counted by waits, not time: each case watches twenty of them.
TEST_F(TheoraThreadWaits, AFullStockSleepsAMillisecondAtATime) {
  struct Case {
    const char* what;
    int stock;
    void (*act)(TheoraMovieContext*);
  };
  const Case cases[] = {
      {"opened and left alone", 10, [](TheoraMovieContext*) {}},
      {"a stock larger than the movie", 40, [](TheoraMovieContext*) {}},
      {"advanced inside the stock", 10, [](TheoraMovieContext* m) { AdvanceTheoraFrame(m, 7); }},
      {"sought to a stock through the end", 10, [](TheoraMovieContext* m) { SeekTheoraFrame(m, 25); }},
      {"played frame by frame", 3,
       [](TheoraMovieContext* m) {
         for (int i = 0; i < 12; i++) {
           AdvanceTheoraFrame(m, 1);
           UpdateTheoraFrameImage(m, 1, 0);
         }
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenFile f = OpenTheora(MovieFile("gray420.ogv"), c.stock);
    ASSERT_NE(f.movie, nullptr);
    c.act(f.movie);
    fullSleeps = 0;
    fullOthers = 0;
    // Twenty waits take some twenty milliseconds; the bound, which no busy
    // machine comes near, makes a thread that never waits full a failure
    // rather than a hang.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (fullSleeps.load() + fullOthers.load() < 20 && std::chrono::steady_clock::now() < giveUp) {
      PlatformSleepMs(1);
    }
    EXPECT_GE(fullSleeps.load() + fullOthers.load(), 20) << "the thread did not wait with its stock full";
    EXPECT_EQ(fullOthers.load(), 0);
    Close(f);
  }
}

TEST_F(MovieGraphics, LoadingAMovieShowsFrameZeroAndLeavesItStopped) {
  const int graph = LoadGraphFile(MovieFile("gray420.ogv").c_str(), 0);
  ASSERT_NE(graph, -1);
  int width = 0, height = 0;
  QueryGraphSize(graph, &width, &height);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  const int movie = MovieOfGraph(graph);
  EXPECT_EQ(HandleKind(movie), HandleTypeMovie);
  EXPECT_EQ(GrayFrameOf(RgbAt(ImageOfGraph(graph), 31, 20)), 0);
  const MovieRecord* record = GetMovieRecord(movie);
  EXPECT_EQ(record->theoraFlag, 1);
  EXPECT_EQ(record->soundTrack, -1);
  EXPECT_EQ(record->stopped, 1);
  EXPECT_EQ(record->playIntent, 0);
  EXPECT_EQ(record->playType, 1);
  // A stopped movie stays on its frame, and still hands it on.
  SetClock(movie, 2.0);
  EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
  EXPECT_EQ(GetTheoraCurrentFrame(record->theora), 0);
  EXPECT_EQ(record->frameProduced, 1);
  EXPECT_EQ(GrayFrameOf(RgbAt(Back(), 10, 10)), 0);
  EXPECT_EQ(DeleteGraphHandle(graph), 0);
  EXPECT_EQ(GetMovieRecord(movie), nullptr);
}

TEST_F(MovieGraphics, TheClockDrivesPlaybackAndALoopWraps) {
  const int graph = LoadGraphFile(MovieFile("gray420.ogv").c_str(), 0);
  const int movie = MovieOfGraph(graph);
  StartPlaying(movie, 3);
  // 3.45 s is frame 34, which a loop shows as frame 4.
  SetClock(movie, 3.45);
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(GrayFrameOf(RgbAt(ImageOfGraph(graph), 3, 3)), 4);
  SetClock(movie, 1.25);
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(GrayFrameOf(RgbAt(ImageOfGraph(graph), 3, 3)), 12);
  // Backwards on the clock is forwards through the wrap.
  SetClock(movie, 0.55);
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(GrayFrameOf(RgbAt(ImageOfGraph(graph), 3, 3)), 5);
  EXPECT_EQ(GetMovieRecord(movie)->stopped, 0);
  DeleteGraphHandle(graph);
}

TEST_F(MovieGraphics, WithoutALoopTheLastFrameEndsTheMovie) {
  const int graph = LoadGraphFile(MovieFile("gray420.ogv").c_str(), 0);
  const int movie = MovieOfGraph(graph);
  StartPlaying(movie, 1);
  SetClock(movie, 7.0);
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(GrayFrameOf(RgbAt(ImageOfGraph(graph), 3, 3)), kGrayFrames - 1);
  EXPECT_EQ(GetMovieRecord(movie)->stopped, 0);
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(GetMovieRecord(movie)->stopped, 1);
  EXPECT_EQ(GetMovieRecord(movie)->playIntent, 0);
  // Ended movies are not resumed with the window.
  ResumeAllMovies();
  EXPECT_EQ(GetMovieRecord(movie)->stopped, 1);
  DeleteGraphHandle(graph);
}

TEST_F(MovieGraphics, TheWindowPausesMoviesAndTheyGoOnFromTheFrameShown) {
  const int graph = LoadGraphFile(MovieFile("gray420.ogv").c_str(), 0);
  const int movie = MovieOfGraph(graph);
  StartPlaying(movie, 3);
  SetClock(movie, 1.25);
  DrawGraphAt(0, 0, graph, 0);
  window.PushActivation(false);
  ProcessWindowMessages();
  const MovieRecord* record = GetMovieRecord(movie);
  EXPECT_EQ(record->stopped, 1);
  EXPECT_EQ(record->playIntent, 1);
  // While paused the clock may run on as it likes: the picture stays.
  SetClock(movie, 2.75);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(GetTheoraCurrentFrame(record->theora), 12);
  window.PushActivation(true);
  ProcessWindowMessages();
  EXPECT_EQ(record->stopped, 0);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(GetTheoraCurrentFrame(record->theora), 12);
  EXPECT_EQ(GrayFrameOf(RgbAt(ImageOfGraph(graph), 3, 3)), 12);
  // A tenth of a second and a half later, one frame on.
  Wait(0.15);
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(GetTheoraCurrentFrame(record->theora), 13);
  EXPECT_EQ(GrayFrameOf(RgbAt(ImageOfGraph(graph), 3, 3)), 13);
  DeleteGraphHandle(graph);
}

// An odd picture size shows the decoder's whole frame; 4:4:4 colours come
// through the formula: red, green, blue and cyan quadrants.
TEST_F(MovieGraphics, OddSizesAndFullChroma) {
  struct Probe {
    int x, y;
    Rgb rgb;
  };
  struct Case {
    const char* file;
    int width, height, tolerance;
    std::vector<Probe> probes;
  };
  const Case cases[] = {
      {"odd420.ogv", 64, 48, 3, {{10, 10, {51, 51, 51}}, {40, 30, {190, 190, 190}}}},
      {"color444.ogv", 32, 32, 6,
       {{8, 8, {254, 0, 0}}, {24, 8, {0, 255, 0}}, {8, 24, {0, 0, 255}}, {24, 24, {0, 255, 255}}}},
  };
  for (const Case& c : cases) {
    const int graph = LoadGraphFile(MovieFile(c.file).c_str(), 0);
    ASSERT_NE(graph, -1) << c.file;
    int width = 0, height = 0;
    QueryGraphSize(graph, &width, &height);
    EXPECT_EQ(width, c.width) << c.file;
    EXPECT_EQ(height, c.height) << c.file;
    for (const Probe& p : c.probes) {
      const Rgb got = RgbAt(ImageOfGraph(graph), p.x, p.y);
      EXPECT_NEAR(got.r, p.rgb.r, c.tolerance) << c.file << " at " << p.x << "," << p.y;
      EXPECT_NEAR(got.g, p.rgb.g, c.tolerance) << c.file << " at " << p.x << "," << p.y;
      EXPECT_NEAR(got.b, p.rgb.b, c.tolerance) << c.file << " at " << p.x << "," << p.y;
    }
    DeleteGraphHandle(graph);
  }
}

TEST_F(MovieGraphics, AHundredMoviesAndNoMoreAndStaleHandlesRefused) {
  const std::string path = MovieFile("gray420.ogv");
  std::vector<int> movies;
  for (int i = 0; i < kMovieSlots; i++) {
    movies.push_back(OpenMovie(path.c_str(), nullptr, nullptr, 0));
    ASSERT_NE(movies.back(), -1);
    EXPECT_EQ(HandleSlot(movies.back()), i);
  }
  const size_t logSize = ReadWholeFile("Log.txt").size();
  EXPECT_EQ(OpenMovie(path.c_str(), nullptr, nullptr, 0), -1);
  EXPECT_EQ(ReadWholeFile("Log.txt").size(), logSize) << "the full table is refused without a message";

  const int stale = movies[37];
  EXPECT_EQ(CloseMovie(stale), 0);
  movies[37] = OpenMovie(path.c_str(), nullptr, nullptr, 0);
  EXPECT_EQ(HandleSlot(movies[37]), 37);
  EXPECT_NE(movies[37], stale);
  EXPECT_EQ(GetMovieRecord(stale), nullptr);
  EXPECT_EQ(CloseMovie(stale), -1);
  EXPECT_EQ(PauseMovie(stale, 0), -1);
  EXPECT_EQ(SetMovieFrameCallback(stale, nullptr, 0), -1);
  EXPECT_EQ(UpdateMovieFrame(stale, 0), 0);
  for (int movie : movies) EXPECT_EQ(CloseMovie(movie), 0);
}

std::string Bytes(const std::string& path) { return ReadWholeFile(path); }

TEST_F(MovieGraphics, FilesThatAreNoMovieAreRefused) {
  const std::string gray = Bytes(MovieFile("gray420.ogv"));
  std::string corruptHeaders = gray;
  for (size_t i = 28; i < 500 && i < corruptHeaders.size(); i += 3) corruptHeaders[i] ^= 0x5A;
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty.ogv", ""},
      {"text.ogv", "this is not a movie at all"},
      {"magic_only.ogv", "OggS"},
      {"first_page.ogv", gray.substr(0, 60)},
      {"headers_cut.ogv", gray.substr(0, 400)},
      {"corrupt_headers.ogv", corruptHeaders},
      {"audio_only.ogv", Bytes(std::string(VARNOK_TEST_DATA) + "/sound/ogg_stereo.ogg")},
  };
  for (const Case& c : cases) {
    dir.Write(c.name, c.bytes);
    EXPECT_EQ(LoadGraphFile(c.name, 0), -1) << c.name;
  }
  int refusals = 0, noImages = 0;
  const std::vector<std::string> lines = LogLines(ReadWholeFile("Log.txt"));
  for (const std::string& line : lines) {
    refusals += line.find("ムービーファイルオープン処理時にエラーが発生しました") != std::string::npos;
    noImages += line == "対応していない画像形式です";
  }
  EXPECT_EQ(refusals, static_cast<int>(std::size(cases)));
  // Neither the image loaders nor the movie layer took them: each keeps its
  // image failure lines too.
  EXPECT_EQ(noImages, static_cast<int>(std::size(cases)));
  for (const Case& c : cases) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string("画像ファイルの読み込みに失敗しました：") + c.name), 1)
        << c.name;
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         std::string("グラフィックファイルの読み込みに失敗しました：") + c.name + " in LoadGraphFile"),
              1)
        << c.name;
  }
}

// A movie is no image, but it loads: the log says neither that it is an
// image of no known format nor that loading the file failed. Both players,
// with sound and without.
TEST_F(MovieGraphics, AMovieThatLoadsLeavesNoImageFailureLines) {
  for (const char* name : {"gray420.ogv", "sound420.ogv", "colors.mp4", "colors.m2v", "colors.avi"}) {
    const int graph = LoadGraphFile(MovieFile(name).c_str(), 0);
    ASSERT_NE(graph, -1) << name;
    EXPECT_EQ(HandleKind(MovieOfGraph(graph)), HandleTypeMovie) << name;
    EXPECT_EQ(DeleteGraphHandle(graph), 0) << name;
  }
  for (const std::string& line : LogLines(ReadWholeFile("Log.txt"))) {
    for (const char* failure :
         {"対応していない画像形式です", "画像ファイルの読み込みに失敗しました", "グラフィックファイルの読み込みに失敗しました"}) {
      EXPECT_EQ(line.find(failure), std::string::npos) << line;
    }
  }
}

// Broken data after good headers: whatever opens plays round twice without
// hanging on a frame that never comes.
TEST_F(MovieGraphics, BrokenDataPlaysThroughOrIsRefused) {
  const std::string gray = Bytes(MovieFile("gray420.ogv"));
  std::string corruptData = gray;
  for (size_t i = 1500; i < corruptData.size(); i += 37) corruptData[i] ^= 0xA5;
  std::string stutter = gray.substr(0, 2600) + gray.substr(1800);
  const std::pair<const char*, std::string> cases[] = {
      {"cut.ogv", gray.substr(0, gray.size() * 2 / 3)},
      {"corrupt.ogv", corruptData},
      {"stutter.ogv", stutter},
  };
  for (const auto& [name, bytes] : cases) {
    dir.Write(name, bytes);
    const int graph = LoadGraphFile(name, 0);
    if (graph == -1) continue;
    TheoraMovieContext* theora = GetMovieRecord(MovieOfGraph(graph))->theora;
    if (!theora) {  // refused by the Theora player, taken by the other one
      DeleteGraphHandle(graph);
      continue;
    }
    TheoraMovieInfo info;
    GetTheoraMovieInfo(theora, &info);
    for (int i = 0; i < 2 * info.frameCount; i++) {
      AdvanceTheoraFrame(theora, 1);
      UpdateTheoraFrameImage(theora, 1, 0);
    }
    DeleteGraphHandle(graph);
  }
}

class MovieSoundTrack : public ManualSoundMovieTest {
 public:
  // Each frame runs the library's per-frame work, which refills the sound track.
  static void RunSound(double seconds) { ManualSoundMovieTest::RunSound(seconds, [] { ProcessWindowMessages(); }); }
};

TEST_F(MovieSoundTrack, TheSoundTrackIsTheClockAndDecidesTheLength) {
  const int graph = LoadGraphFile(MovieFile("sound420.ogv").c_str(), 0);
  ASSERT_NE(graph, -1);
  const int movie = MovieOfGraph(graph);
  const MovieRecord* record = GetMovieRecord(movie);
  ASSERT_NE(record->soundTrack, -1);
  EXPECT_EQ(GrayFrameOf(RgbAt(ImageOfGraph(graph), 3, 3)), 0);
  StartPlaying(movie, 1);
  RunSound(1.25);
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(GrayFrameOf(RgbAt(ImageOfGraph(graph), 3, 3)), 12);
  // The microsecond clock plays no part while there is a sound track.
  SetClock(movie, 0.35);
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(GetTheoraCurrentFrame(record->theora), 12);
  // Paused with the window, the sound stands still too.
  PauseAllMovies();
  RunSound(1.0);
  ResumeAllMovies();
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(GetTheoraCurrentFrame(record->theora), 12);
  // Past the sound's end the picture stays on the last frame, still playing.
  RunSound(3.0);
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(GrayFrameOf(RgbAt(ImageOfGraph(graph), 3, 3)), kGrayFrames - 1);
  EXPECT_EQ(record->stopped, 0);
  DeleteGraphHandle(graph);
}

}  // namespace
}  // namespace movie_test
