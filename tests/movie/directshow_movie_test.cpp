// The multimedia-stream player: on the scripted service, every step of the
// open failing with its text and its release order, the temporary copy, the
// update rules and the release and re-open of the stream objects; on the
// FFmpeg service, the generated AVI and MP4 files played through their
// graphics, files that are no movie or too large a one, the clock across
// sound dropped ahead of a picture, the pictures held ahead and a slow
// machine's deadlines.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "graphics/directdraw.h"
#include "image/graph_image.h"
#include "movie/directshow_movie.h"
#include "platform/audio_device.h"
#include "platform/media_stream_scripted.h"
#include "platform/timer.h"
#include "sound/sound_system.h"
#include "tests/movie/movie_fixture.h"

namespace movie_test {
namespace {

using Names = std::vector<std::string>;

class ScriptedStreamMovies : public MovieTest {
 public:
  void SetUp() override {
    MovieTest::SetUp();
    SetMediaStreamService(&service);
    dir.Write("clip.avi", "not an Ogg file");
  }
  void TearDown() override {
    EXPECT_EQ(service.Live(), 0) << "objects left unreleased";
    SetMediaStreamService(nullptr);
    MovieTest::TearDown();
  }
  static uint32_t GraphValue(int graph) { return PixelOf(ImageOfGraph(graph), 1, 1); }

  ScriptedMediaStream service;
};

// After the open: the objects in the order the close releases them.
const Names kCloseOrder = {"surface4", "surface7", "sampleSurface", "sample",     "directDrawStream",
                           "amMediaStream", "videoStream", "basicAudio", "seeking", "directDraw4",
                           "control",  "graph",    "stream"};

// The close order less what is not made yet: the objects made up to step n.
Names MadeBefore(std::initializer_list<const char*> made, bool surfaceDropped = false) {
  Names out;
  if (surfaceDropped) out.push_back("surface");  // the sample took it over
  for (const std::string& name : kCloseOrder) {
    for (const char* m : made) {
      if (name == m) out.push_back(name);
    }
  }
  return out;
}

TEST_F(ScriptedStreamMovies, EachStepOfTheOpenFailsWithItsTextAndReleasesWhatItMade) {
  struct Case {
    const char* call;
    std::string text;
    Names released;
  };
  const std::string fileText = "ファイル:clip.avi が開けませんでした";
  const std::initializer_list<const char*> upToAudio = {"graph", "stream", "control", "directDraw4"};
  const std::initializer_list<const char*> upToStreams = {"graph",       "stream",        "control",
                                                          "directDraw4", "seeking",       "basicAudio",
                                                          "videoStream", "amMediaStream", "directDrawStream"};
  const Case cases[] = {
      {"CreateFilterGraph", "CLSID_FilterGraph の作成に失敗しました", {}},
      {"CreateMultiMediaStream", "IAMMultimediaインターフェイスを取得できませんでした！", {"graph"}},
      {"InitializeForReading", "ストリームを読み取り用にセットアップできませんでした！", {"graph", "stream"}},
      {"QueryMediaControl", "IID_IMediaControlインターフェイスの取得に失敗しました", {"graph", "stream"}},
      {"QueryDirectDraw4", "DirectDraw4オブジェクトを取得できませんでした", {"control", "graph", "stream"}},
      {"AddPrimaryVideoStream", "プライマリビデオストリームを追加できませんでした！", MadeBefore(upToAudio)},
      {"AddPrimaryAudioStream", "デフォルトサウンドレンダラを追加できませんでした！", MadeBefore(upToAudio)},
      {"OpenFile", fileText, MadeBefore(upToAudio)},
      {"QueryMediaSeeking", "メディアシーキングインターフェースの取得に失敗しました", MadeBefore(upToAudio)},
      {"QueryBasicAudio", "BasicAudio インターフェースの取得に失敗しました",
       MadeBefore({"graph", "stream", "control", "directDraw4", "seeking"})},
      {"GetPrimaryVideoStream", "プライマリビデオストリームインターフェイスを取得できませんでした！",
       MadeBefore({"graph", "stream", "control", "directDraw4", "seeking", "basicAudio"})},
      {"QueryAMMediaStream", "AMMediaStreamインターフェイスの取得に失敗しました",
       MadeBefore({"graph", "stream", "control", "directDraw4", "seeking", "basicAudio", "videoStream"})},
      {"QueryDirectDrawMediaStream", "DirectDrawメディアストリームインターフェイスを取得できませんでした！",
       MadeBefore({"graph", "stream", "control", "directDraw4", "seeking", "basicAudio", "videoStream",
                   "amMediaStream"})},
      {"GetVideoFormat", "動画ファイルではない可能性があります！", MadeBefore(upToStreams)},
      {"CreateSurface", "DirectDrawSurface オブジェクトの作成に失敗しました", MadeBefore(upToStreams)},
      {"CreateSample", "ストリームサンプルを作成できませんでした！", MadeBefore(upToStreams, true)},
      {"GetSampleSurface", "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！",
       Names{"surface", "sample", "directDrawStream", "amMediaStream", "videoStream", "basicAudio", "seeking",
             "directDraw4", "control", "graph", "stream"}},
      {"QuerySurface4", "IDirectDrawSurface4インターフェイスを取得できませんでした！",
       Names{"surface", "sampleSurface", "sample", "directDrawStream", "amMediaStream", "videoStream", "basicAudio",
             "seeking", "directDraw4", "control", "graph", "stream"}},
      {"QuerySurface7", "IDirectDrawSurface7インターフェイスを取得できませんでした！",
       Names{"surface", "surface4", "sampleSurface", "sample", "directDrawStream", "amMediaStream", "videoStream",
             "basicAudio", "seeking", "directDraw4", "control", "graph", "stream"}},
  };
  for (const Case& c : cases) {
    service.failures = {{c.call, -1}};
    service.released.clear();
    EXPECT_EQ(OpenMovie("clip.avi", nullptr, nullptr, 0), -1) << c.call;
    EXPECT_EQ(service.released, c.released) << c.call;
    EXPECT_TRUE(Logged(c.text)) << c.call;
    EXPECT_EQ(service.Live(), 0) << c.call;
  }
  // A stream whose video has no size is no movie either.
  service.failures.clear();
  service.videoWidth = 0;
  EXPECT_EQ(OpenMovie("clip.avi", nullptr, nullptr, 0), -1);
  int refusals = 0;
  for (const std::string& line : LogLines(ReadWholeFile("Log.txt"))) {
    refusals += line.find("ムービーファイルオープン処理時にエラーが発生しました") != std::string::npos;
  }
  EXPECT_EQ(refusals, static_cast<int>(std::size(cases)) + 1);
}

TEST_F(ScriptedStreamMovies, AnOpenMovieShowsItsFirstUpdateAndClosesInOrder) {
  service.failures = {{"CreateSample", 1}};  // the stream makes its own sample
  const int graph = LoadGraphFile("clip.avi", 0);
  ASSERT_NE(graph, -1);
  int width = 0, height = 0;
  QueryGraphSize(graph, &width, &height);
  EXPECT_EQ(width, 8);
  EXPECT_EQ(height, 6);
  const MovieRecord* record = GetMovieRecord(MovieOfGraph(graph));
  EXPECT_EQ(record->theoraFlag, 0);
  EXPECT_EQ(record->surfaceMode, 0);
  EXPECT_EQ(record->stopped, 1);
  EXPECT_EQ(GraphValue(graph), 1u) << "the first update, made when the graphic is";
  EXPECT_EQ(record->directShow.frameImage.format.bitsPerPixel, 32);
  EXPECT_EQ(record->directShow.frameImage.pitch, 32);
  service.released.clear();
  DeleteGraphHandle(graph);
  Names expected = kCloseOrder;
  expected.push_back("event");
  EXPECT_EQ(service.released, expected);
}

TEST_F(ScriptedStreamMovies, UpdatesRunAsTheStreamRunsThem) {
  const int graph = LoadGraphFile("clip.avi", 0);
  const int movie = MovieOfGraph(graph);
  MovieRecord* record = GetMovieRecord(movie);
  const int afterOpen = service.updates;
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(service.updates, afterOpen) << "a stopped movie starts no update";

  StartPlaying(movie, 1);
  EXPECT_EQ(service.state, MediaStreamState::Running);
  record->directShow.lastUpdateTime -= 18;  // the update at the graphic's making was just now
  service.updateResults = {MediaUpdateResult::Pending};
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(service.updates, afterOpen + 1);
  EXPECT_EQ(record->directShow.updatePending, 1);
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(service.updates, afterOpen + 1) << "the pending update is waited for, not repeated";
  // Completed: copied, and the next one started at once and completed too.
  service.eventSignalled = true;
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(service.updates, afterOpen + 2);
  EXPECT_EQ(GraphValue(graph), 3u);
  EXPECT_EQ(record->directShow.updatePending, 0);
  // The frame counter stands still: nothing again within 17 ms.
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(service.updates, afterOpen + 2);
  record->directShow.lastUpdateTime -= 18;
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(service.updates, afterOpen + 4);

  // The end of a looping stream seeks back to its start and runs on.
  record->playType = 3;
  service.updateResults = {MediaUpdateResult::EndOfStream};
  record->directShow.lastUpdateTime -= 18;
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(service.seeks, std::vector<int64_t>{0});
  EXPECT_EQ(record->directShow.lastUpdateTime, -1);
  EXPECT_EQ(record->stopped, 0);
  // Without the loop, an error ends the movie.
  record->playType = 1;
  service.updateResults = {MediaUpdateResult::Error};
  DrawGraphAt(0, 0, graph, 0);
  EXPECT_EQ(record->stopped, 1);
  EXPECT_EQ(record->playIntent, 0);
  DeleteGraphHandle(graph);
}

TEST_F(ScriptedStreamMovies, TheWindowPausesAndTheDisplayChangeReopensAtTheSavedTime) {
  const int graph = LoadGraphFile("clip.avi", 0);
  const int movie = MovieOfGraph(graph);
  MovieRecord* record = GetMovieRecord(movie);
  StartPlaying(movie, 1);
  window.PushActivation(false);
  ProcessWindowMessages();
  EXPECT_EQ(service.pauses, 1);
  EXPECT_EQ(service.state, MediaStreamState::Stopped);
  window.PushActivation(true);
  ProcessWindowMessages();
  EXPECT_EQ(service.state, MediaStreamState::Running);

  service.time = 4321;
  service.released.clear();
  EXPECT_EQ(ReleaseMovieSurfaces(), 0);
  EXPECT_EQ(service.released,
            (Names{"videoStream", "directDrawStream", "sample", "sampleSurface", "surface4", "surface7",
                   "amMediaStream", "stream", "directDraw4", "graph", "control", "seeking", "basicAudio"}));
  EXPECT_EQ(record->directShow.savedTime, 4321);
  const int updates = service.updates;
  UpdateMovieFrame(movie, 1);
  EXPECT_EQ(service.updates, updates) << "a released movie does not update";
  service.state = MediaStreamState::Stopped;
  EXPECT_EQ(ReopenMoviesAfterRestore(), 0);
  EXPECT_EQ(service.seeks, std::vector<int64_t>{4321});
  EXPECT_EQ(service.state, MediaStreamState::Running);

  // A display change releases and opens again in one go.
  window.Push(WM_DISPLAYCHANGE);
  service.time = 777;
  ProcessWindowMessages();
  EXPECT_EQ(service.seeks, (std::vector<int64_t>{4321, 777}));
  EXPECT_NE(record->directShow.surface, nullptr);

  // A re-open that fails leaves the movie without objects.
  ReleaseMovieSurfaces();
  service.failures = {{"CreateFilterGraph", -1}};
  EXPECT_EQ(ReopenMoviesAfterRestore(), -1);
  EXPECT_EQ(record->directShow.surface, nullptr);
  DeleteGraphHandle(graph);
}

// The temporary copy: made in pieces through the file layer when the stream
// cannot open the name, deleted with the movie; a short read or a name too
// long fails the open at that step.
TEST_F(ScriptedStreamMovies, TheTemporaryCopy) {
  const std::filesystem::path temp = dir.path() / "temp";
  std::filesystem::create_directory(temp);
  setenv("TMPDIR", temp.c_str(), 1);
  std::string bytes(2 * 1048576 + 4321, '\0');
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<char>(i * 7 + i / 1000);
  for (size_t size : {size_t{1048576}, bytes.size()}) {
    dir.Write("big.avi", bytes.substr(0, size));
    service.failures = {{"OpenFile", 1}};
    service.openedPaths.clear();
    const int movie = OpenMovie("big.avi", nullptr, nullptr, 0);
    ASSERT_NE(movie, -1);
    const MovieRecord* record = GetMovieRecord(movie);
    EXPECT_EQ(record->tempCopyFlag, 1);
    ASSERT_EQ(service.openedPaths.size(), 2u);
    EXPECT_EQ(std::filesystem::path(service.openedPaths[1]).parent_path(), temp);
    EXPECT_EQ(ReadWholeFile(service.openedPaths[1]), bytes.substr(0, size));
    CloseMovie(movie);
    EXPECT_TRUE(std::filesystem::is_empty(temp)) << "the copy goes with the movie";
  }
  // Neither the name nor the copy opens: the copy goes at once.
  service.failures = {{"OpenFile", -1}};
  EXPECT_EQ(OpenMovie("big.avi", nullptr, nullptr, 0), -1);
  EXPECT_TRUE(std::filesystem::is_empty(temp));
  // A short read while copying.
  FileAccessTable shortReads = *GetFileAccessTable();
  shortReads.read = [](void* buffer, size_t size, size_t count, FileAccessHandle file) {
    return GetPlainFileAccessTable()->read(buffer, size, std::min<size_t>(count, 1000), file);
  };
  SetFileAccessTable(&shortReads);
  service.openedPaths.clear();
  EXPECT_EQ(OpenMovie("big.avi", nullptr, nullptr, 0), -1);
  SetFileAccessTable(nullptr);
  EXPECT_EQ(service.openedPaths.size(), 1u) << "a cut copy is not opened";
  EXPECT_TRUE(std::filesystem::is_empty(temp));
  // 260 bytes of name are too many.
  service.failures.clear();
  service.openedPaths.clear();
  const std::string longName(260, 'a');
  EXPECT_EQ(OpenMovie(longName.c_str(), nullptr, nullptr, 0), -1);
  EXPECT_TRUE(service.openedPaths.empty());
  EXPECT_TRUE(Logged("ファイル:" + longName + " が開けませんでした"));
  unsetenv("TMPDIR");
}

TEST(DirectDrawHelpers, TheStandInHasNoPrimaryNoCapabilitiesAndPlainSurfaces) {
  EXPECT_NE(GetDirectDrawObject(), nullptr);
  EXPECT_EQ(QueryStubZero(), 0);
  DirectDrawCaps caps;
  std::memset(&caps, 0xAB, sizeof(caps));
  GetDirectDrawCaps(&caps);
  EXPECT_EQ(caps.caps | caps.alignBoundarySource | caps.alignSizeSource | caps.alignBoundaryDest | caps.alignSizeDest,
            0u);
  GraphImage image{};
  const DirectDrawPixelFormat rgb565{32, kDirectDrawPixelFormatRgb, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
  ConvertDirectDrawPixelFormat(&rgb565, &image);
  EXPECT_EQ(image.format.bitsPerPixel, 16);
  EXPECT_EQ(image.format.bytesPerPixel, 2);
  EXPECT_EQ(image.format.greenMask, 0x07E0u);
  EXPECT_EQ(image.format.greenShift, 5);
  // Surfaces: zero-filled, pitch rounded to 4 bytes, one lock at a time; no
  // overlays and no video memory.
  DirectDrawSurfaceDesc desc{kDirectDrawCapsOffscreenPlain | kDirectDrawCapsSystemMemory, 5, 3, 0,
                             {32, kDirectDrawPixelFormatRgb, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0}};
  DirectDrawSurface* surface = DirectDrawCreateSurface(GetDirectDrawObject(), &desc);
  ASSERT_NE(surface, nullptr);
  void* pixels;
  int32_t pitch;
  ASSERT_EQ(DirectDrawLockSurface(surface, &pixels, &pitch), 0);
  EXPECT_EQ(pitch, 16);
  EXPECT_EQ(std::string(static_cast<char*>(pixels), 48), std::string(48, '\0'));
  EXPECT_EQ(DirectDrawLockSurface(surface, &pixels, &pitch), -1);
  DirectDrawUnlockSurface(surface);
  DirectDrawReleaseSurface(surface);
  for (uint32_t refused : {kDirectDrawCapsOverlay, kDirectDrawCapsVideoMemory}) {
    desc.caps = refused;
    EXPECT_EQ(DirectDrawCreateSurface(GetDirectDrawObject(), &desc), nullptr);
  }
}

// ---- The FFmpeg service on the generated files ----

using StreamMovies = MovieTest;

bool Near(const Rgb& got, const Rgb& want) {
  constexpr int kTolerance = 12;
  return std::abs(got.r - want.r) <= kTolerance && std::abs(got.g - want.g) <= kTolerance &&
         std::abs(got.b - want.b) <= kTolerance;
}

// Frames 0-3 red, 4-7 green, 8-11 blue: the graphic shows frame 0 when made,
// and each synchronous update the next frame, until the end, which stops a
// movie that does not loop. The conversion writes whole vector blocks: the
// 40-pixel rows end inside one, whose rest must not land past the surface.
TEST_F(StreamMovies, GeneratedFilesPlayFrameByFrameWithTheirColours) {
  const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255};
  for (const auto& [file, expectedWidth] :
       {std::pair{"colors.avi", 32}, {"colors.mp4", 32}, {"colors40.mp4", 40}, {"colors.m2v", 32}}) {
    const int graph = LoadGraphFile(MovieFile(file).c_str(), 0);
    ASSERT_NE(graph, -1) << file;
    int width = 0, height = 0;
    QueryGraphSize(graph, &width, &height);
    EXPECT_EQ(width, expectedWidth);
    EXPECT_EQ(height, 24);
    const int movie = MovieOfGraph(graph);
    EXPECT_TRUE(Near(RgbAt(ImageOfGraph(graph), 16, 12), red)) << file << RgbAt(ImageOfGraph(graph), 16, 12);
    StartPlaying(movie, 1);
    for (int i = 0; i < 4; i++) UpdateMovieFrame(movie, 1);
    EXPECT_TRUE(Near(RgbAt(ImageOfGraph(graph), 3, 20), green)) << file << RgbAt(ImageOfGraph(graph), 3, 20);
    for (int i = 0; i < 7; i++) UpdateMovieFrame(movie, 1);
    EXPECT_TRUE(Near(RgbAt(ImageOfGraph(graph), 30, 2), blue)) << file << RgbAt(ImageOfGraph(graph), 30, 2);
    // The encoder may code a last frame that repeats the one before as no
    // picture at all; the end comes within two more updates.
    for (int i = 0; i < 2; i++) UpdateMovieFrame(movie, 1);
    EXPECT_EQ(GetMovieRecord(movie)->stopped, 1) << file << ": the end without a loop ends the movie";
    EXPECT_TRUE(Near(RgbAt(ImageOfGraph(graph), 30, 2), blue)) << file << RgbAt(ImageOfGraph(graph), 30, 2);
    const Rgb corner = RgbAt(ImageOfGraph(graph), expectedWidth - 1, 23);
    EXPECT_TRUE(Near(corner, blue)) << file << corner;
    DeleteGraphHandle(graph);
  }
}

// Played by the clock (the sound's, in the AVI), the movie reaches its last
// colour and ends by itself within its 1.2 seconds and some.
TEST_F(StreamMovies, PlayingByTheClockRunsToTheEnd) {
  const int graph = LoadGraphFile(MovieFile("colors.avi").c_str(), 0);
  ASSERT_NE(graph, -1);
  const int movie = MovieOfGraph(graph);
  StartPlaying(movie, 1);
  const uint32_t start = GetMilliCount();
  while (GetMovieRecord(movie)->stopped == 0 && GetMilliCount() - start < 5000) {
    ProcessWindowMessages();
    DrawGraphAt(0, 0, graph, 0);
    PlatformSleepMs(5);
  }
  EXPECT_EQ(GetMovieRecord(movie)->stopped, 1);
  EXPECT_GE(GetMilliCount() - start, 900u) << "frames are shown at their time, not all at once";
  EXPECT_TRUE(Near(RgbAt(ImageOfGraph(graph), 16, 12), Rgb{0, 0, 255}));
  DeleteGraphHandle(graph);
}

TEST_F(StreamMovies, FilesThatAreNoMovieAreRefusedAtTheirStep) {
  const std::string avi = ReadWholeFile(MovieFile("colors.avi"));
  // A 2 x 2 24-bit BMP: a still picture that no image loader here takes.
  std::string bmp = std::string("BM") + std::string("\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0", 16) +
                    std::string("\x02\0\0\0\x02\0\0\0\x01\0\x18\0\0\0\0\0\x10\0\0\0", 20) + std::string(16, '\0') +
                    std::string(16, '\x7f');
  std::string garbled = avi;
  for (size_t i = 400; i < garbled.size(); i += 11) garbled[i] = static_cast<char>(garbled[i] ^ 0x3C);
  struct Case {
    const char* name;
    std::string bytes;
    const char* text;  // null: any refusal, or a movie that plays to its end
    int64_t peakMb = 64;
  };
  const char* const tooLarge = "DirectDrawSurface オブジェクトの作成に失敗しました";
  const Case cases[] = {
      {"tone.avi", ReadWholeFile(MovieFile("tone.avi")), "動画ファイルではない可能性があります！"},
      // 16000 x 16000 is more than the Theora player takes: 1 GB a frame.
      {"declared.mkv", ReadWholeFile(MovieFile("declared.mkv")), tooLarge},
      // 144 MB at 32 bits a pixel, but 6144 x 6144 x 8 bytes = 288 MB as
      // decoded: too large for FFmpeg's probe to decode in the bytes, it is
      // refused before its buffer.
      {"rgba16.mov", ReadWholeFile(MovieFile("rgba16.mov")), tooLarge, 250},
      // Declared 64 x 64: a second picture of 6144 x 6144 x 8 bytes gets
      // no buffer; a first of 12000 x 8000 x 8 bytes, none in the probe.
      {"second6k.mov", ReadWholeFile(MovieFile("second6k.mov")), nullptr},
      {"first12k.mov", ReadWholeFile(MovieFile("first12k.mov")), nullptr},
      {"still.bmp", bmp, "ファイル:still.bmp が開けませんでした"},
      {"header.avi", avi.substr(0, 200), nullptr},
      {"half.avi", avi.substr(0, avi.size() / 2), nullptr},
      {"garbled.avi", garbled, nullptr},
  };
  for (const Case& c : cases) {
    dir.Write(c.name, c.bytes);
    const size_t linesBefore = LogLines(ReadWholeFile("Log.txt")).size();
    const int64_t peakBefore = ResetPeakResident();
    const int graph = LoadGraphFile(c.name, 0);
    if (graph != -1) {
      const int movie = MovieOfGraph(graph);
      StartPlaying(movie, 1);
      for (int i = 0; i < 40 && GetMovieRecord(movie)->stopped == 0; i++) UpdateMovieFrame(movie, 1);
      EXPECT_EQ(GetMovieRecord(movie)->stopped, 1) << c.name;
      DeleteGraphHandle(graph);
    }
    if (kOwnPeaks) {
      EXPECT_LT(PeakResidentBytes() - peakBefore, c.peakMb << 20) << c.name;
    }
    if (c.text) {
      EXPECT_EQ(graph, -1) << c.name;
      const std::vector<std::string> lines = LogLines(ReadWholeFile("Log.txt"));
      EXPECT_TRUE(std::any_of(lines.begin() + static_cast<ptrdiff_t>(linesBefore), lines.end(),
                              [&](const std::string& line) { return line.find(c.text) != std::string::npos; }))
          << c.name;
    }
  }
  // 8192 x 8192 is taken, but no picture ever comes: the movie makes no
  // 256 MB frame image for none.
  const int64_t peakBefore = ResetPeakResident();
  const int movie = OpenMovie(MovieFile("declared8k.mkv").c_str(), nullptr, nullptr, 0);
  ASSERT_NE(movie, -1);
  UpdateMovieFrame(movie, 1);
  if (kOwnPeaks) {
    EXPECT_LT(PeakResidentBytes() - peakBefore, int64_t{64} << 20);
  }
  CloseMovie(movie);
}

TEST_F(StreamMovies, AFileThatVanishesWhilePlayingPlaysOnOrEnds) {
  dir.Write("gone.mp4", ReadWholeFile(MovieFile("colors.mp4")));
  const int graph = LoadGraphFile("gone.mp4", 0);
  ASSERT_NE(graph, -1);
  std::filesystem::remove(dir.path() / "gone.mp4");
  const int movie = MovieOfGraph(graph);
  StartPlaying(movie, 3);
  for (int i = 0; i < 30; i++) UpdateMovieFrame(movie, 1);  // round the loop twice
  EXPECT_EQ(GetMovieRecord(movie)->stopped, 0);
  DeleteGraphHandle(graph);
}

// The stream service's clock goes with the sound, as a real output's would.
class StreamMovieSound : public ManualSoundMovieTest {
 public:
  void SetUp() override {
    ManualSoundMovieTest::SetUp();
    UseServiceClock();
  }
  // Each frame updates the movie as a new frame of the game would.
  static void RunSound(int movie, double seconds, int framesPerSecond = 60) {
    ManualSoundMovieTest::RunSound(
        seconds,
        [movie] {
          GetMovieRecord(movie)->directShow.lastUpdateCounter = -1;
          UpdateMovieFrame(movie, 0);
        },
        framesPerSecond);
  }
};

// skip.mkv: 20 s of sound, pictures red at 0 s, green at 10 s, blue at 11 s
// and red at 14 s. Stepping on to the green picture while stopped passes
// 10 s of sound, of which only the first few seconds are kept: the rest is
// dropped undecoded, and its time must still pass as silence, or every
// picture after it would come that much early. Played on, the clock reads
// the movie's time: the blue picture at 11 s, the red at 14 s.
TEST_F(StreamMovieSound, SoundDroppedAheadStillCountsOnTheClock) {
  const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255};
  const int graph = LoadGraphFile(MovieFile("skip.mkv").c_str(), 0);
  ASSERT_NE(graph, -1);
  const int movie = MovieOfGraph(graph);
  EXPECT_TRUE(Near(RgbAt(ImageOfGraph(graph), 16, 12), red)) << RgbAt(ImageOfGraph(graph), 16, 12);
  UpdateMovieFrame(movie, 1);
  EXPECT_TRUE(Near(RgbAt(ImageOfGraph(graph), 16, 12), green)) << RgbAt(ImageOfGraph(graph), 16, 12);
  StartPlaying(movie, 1);
  for (const auto& [seconds, shown] : {std::pair{10.8, green}, {3.0, blue}, {0.4, red}}) {
    RunSound(movie, seconds);
    EXPECT_TRUE(Near(RgbAt(ImageOfGraph(graph), 16, 12), shown)) << RgbAt(ImageOfGraph(graph), 16, 12);
  }
  DeleteGraphHandle(graph);
}

// steps.mkv: picture n (10 a second, 80 of them) shows n / 10 and n % 10 in
// its halves as greys of luma 20 + 20 d, (luma - 16) * 255 / 219 in RGB; its
// sound, the first 4 s only, is 500 (k + 1) flat through tenth k.
int PictureOf(int graph) {
  const auto digit = [graph](int x) { return (RgbAt(MovieTest::ImageOfGraph(graph), x, 8).g * 219 / 255 + 6) / 20; };
  return 10 * digit(8) + digit(24);
}

// Held past the ring's second, or updated less often: the sound runs dry,
// goes on where it stopped, and the pictures of what played meanwhile
// follow two an update. The picture shown is never past the tenth about to
// be heard, in step (not the 0.4 s after the slow updates) the same; past
// the sound, more pictures than are held play on by the clock to the end.
TEST_F(StreamMovieSound, AfterTheSoundRunsDryPicturesAndSoundGoOnTogether) {
  // After 0.5 s, so many updates so far apart; the tenth heard first after
  // them, where the sound written before the last ended (a second ahead of
  // 0.5 s, then 0.95 s after the lead at each slow update); and the tenths
  // in step at least: of 4 s, 1 s played while held and 0.4 s left out;
  // 3 x 0.95 s written by the slow updates and 0.4 s left out.
  const std::tuple<int, double, int, int> cases[] = {
      {0, 0, 5, 200}, {1, 1.5, 15, 25 + 107}, {3, 1.24, 34, 25 + 12}};
  for (const auto& [slowUpdates, slowEvery, resumesAt, inStepAtLeast] : cases) {
    const int graph = LoadGraphFile(MovieFile("steps.mkv").c_str(), 0);
    ASSERT_NE(graph, -1);
    const int movie = MovieOfGraph(graph);
    StartPlaying(movie, 1);
    int inStep = 0, resumed = -1;
    for (int i = 0; GetMovieRecord(movie)->stopped == 0 && i < 1000; i++) {
      const bool slow = i >= 25 && i < 25 + slowUpdates;
      std::vector<int16_t> out(2 * static_cast<size_t>((slow ? slowEvery : 0.02) * 44100));
      AdvanceSound(static_cast<uint32_t>(out.size() / 2), out.data());
      const int shown = PictureOf(graph), tenth = out[0] / 500 - 1;
      if (out[0] != 0 && resumed < 0 && i >= 25 + slowUpdates) resumed = tenth;
      if (out[0] != 0) {
        EXPECT_EQ(out[0] % 500, 0) << slowEvery << " s, at " << serviceMicros;
        EXPECT_LE(shown, tenth) << slowEvery << " s, at " << serviceMicros;
        if (slowUpdates == 0 || i < 25 || i >= 45 + slowUpdates) {
          EXPECT_EQ(shown, tenth) << slowEvery << " s, at " << serviceMicros;
          inStep++;
        }
      }
      GetMovieRecord(movie)->directShow.lastUpdateCounter = -1;
      UpdateMovieFrame(movie, 0);
    }
    EXPECT_EQ(GetMovieRecord(movie)->stopped, 1) << slowEvery;
    EXPECT_EQ(PictureOf(graph), 79) << slowEvery;
    EXPECT_EQ(resumed, resumesAt) << slowEvery;
    EXPECT_GE(inStep, inStepAtLeast) << slowEvery;
    DeleteGraphHandle(graph);
  }
}

// The clock movies: each picture shows its tenth of a second, each tenth of
// sound is the level 400 (t + 1) of the tenth t its own time names (both
// start again after 8 s, or where a file joins two). Heard on the manual
// output, the sound is the picture shown (the latest of a slide show),
// give or take a tenth, whatever its times do: silence before a late first
// sound and in a gap with no packet, what steps back over the sound heard
// passed over, sound stored 4 s after its pictures read ahead of them, the
// 40 pictures between waiting as packets. A time 1000 s on, in FLV or in
// Matroska, once or every other packet, is taken as missing: the movie
// plays its 8 s whole. MPEG-TS, whose times may start again, runs on where
// the sound's start again at 5 s and where two files are joined. 60
// pictures a second updated 30 times a second, the caller held 0.5 s once,
// pass over what is late and are back with the sound within a second; with
// so few video packets let wait that the usual bound holds a few hundredths
// of a second, the sound is read on past it while the ring runs low, and
// all of it is heard. A movie ends when both its pictures and its sound
// have (the one picture with 10 s of sound after 10 s), and its ring is
// silent after. A frame thread holds a picture back by a packet: a slide
// show, one picture every 2 s, decodes on one, or its pictures would come
// seconds late; all of the sound in one packet waits as a packet while the
// pictures are read past it; a picture that grows from 32 x 24 to 2560 x
// 1440 on 8 or 16 cores, past what the frame threads were counted for, is
// decoded again on fewer and shown.
TEST_F(StreamMovieSound, WhatIsHeardIsThePictureShownWhateverTheSoundsTimes) {
  struct Case {
    const char* file;
    int updatesPerSecond;
    double holdAt;     // seconds of playing, or 0
    int heardAtLeast;  // updates that hear sound
    double length;     // seconds, or 0: not over within 11 s
    int lastTenth;     // shown at the end
    int tenthsPerPicture = 1;
    int cores = 4;
    size_t videoPackets = 0;  // that may wait for the sound's sake, or 0: as many as usual
    int64_t peakMb = 32;
    int cycle = 80;  // tenths after which the sound's levels and the pictures start again
  };
  const Case cases[] = {
      {"late.mkv", 50, 0, 190, 8, 79},  {"gap5.mkv", 50, 0, 140, 8, 79},   {"back.flv", 50, 0, 290, 7.9, 79},
      {"jump.flv", 50, 0, 390, 8, 79},  {"behind.mkv", 50, 0, 390, 8, 79}, {"fast.mkv", 30, 1, 80, 4, 39},
      {"onepicture.mkv", 50, 0, 495, 10, 0, 100},
      {"fast.mkv", 30, 0, 115, 4, 39, 1, 4, 8},
      {"farjump.mkv", 50, 0, 390, 8, 79},
      {"twoclocks.mkv", 50, 0, 390, 8, 79},
      {"onepacket.mkv", 50, 0, 390, 8, 79},
      {"slides.mkv", 50, 0, 540, 0, 0, 20, 8},
      {"slides.mkv", 50, 0, 540, 0, 0, 20, 16},
      {"restart.ts", 50, 0, 390, 8, 79},
      {"joined.ts", 50, 0, 390, 8, 39, 1, 4, 0, 32, 40},
      {"growing.mov", 50, 0, 140, 3, 29, 1, 8, 0, 160},
      {"growing.mov", 50, 0, 140, 3, 29, 1, 16, 0, 160},
  };
  for (const Case& c : cases) {
    SetMediaDecoderCoresForTest(c.cores);
    SetMediaVideoPacketBoundForTest(c.videoPackets);
    const int64_t peakBefore = ResetPeakResident();
    const int graph = LoadGraphFile(MovieFile(c.file).c_str(), 0);
    ASSERT_NE(graph, -1) << c.file;
    const int movie = MovieOfGraph(graph);
    StartPlaying(movie, 1);
    int heard = 0;
    double t = 0, stoppedAt = -1;
    std::vector<int16_t> out;
    for (int i = 0; t < 11; i++) {
      const bool hold = c.holdAt > 0 && i == static_cast<int>(c.holdAt * c.updatesPerSecond);
      const double step = hold ? 0.5 : 1.0 / c.updatesPerSecond;
      out.assign(2 * static_cast<size_t>(44100 * step + 0.5), 0);
      AdvanceSound(static_cast<uint32_t>(out.size() / 2), out.data());
      const bool settling = c.holdAt > 0 && t >= c.holdAt && t < c.holdAt + 1.5;
      if (out[0] != 0 && stoppedAt < 0) {
        heard++;
        if (t < 7.95 && !settling) {
          const int tenth = out[0] / 400 - 1;
          const int apart = std::abs(PictureOf(graph) - tenth / c.tenthsPerPicture * c.tenthsPerPicture);
          EXPECT_LE(std::min(apart, c.cycle - apart), 1) << c.file << " at " << t << " s: " << PictureOf(graph)
                                                         << " shown, " << tenth << " heard";
        }
      }
      t += step;
      if (stoppedAt >= 0) {
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; })) << c.file << " after the end";
        if (t > stoppedAt + 0.5) break;
        continue;
      }
      GetMovieRecord(movie)->directShow.lastUpdateCounter = -1;
      UpdateMovieFrame(movie, 0);
      if (GetMovieRecord(movie)->stopped) stoppedAt = t;
    }
    EXPECT_GE(heard, c.heardAtLeast) << c.file;
    EXPECT_EQ(PictureOf(graph), c.lastTenth) << c.file;
    if (c.length > 0) {
      EXPECT_GE(stoppedAt, c.length - 0.05) << c.file;
      EXPECT_LE(stoppedAt, c.length + 0.3) << c.file;
    } else {
      EXPECT_EQ(stoppedAt, -1) << c.file;
    }
    if (kOwnPeaks) {
      EXPECT_LT(PeakResidentBytes() - peakBefore, c.peakMb << 20) << c.file << " on " << c.cores;
    }
    DeleteGraphHandle(graph);
  }
}

// A machine so slow that every look at the clock takes a millisecond.
// fast.mkv, 60 pictures a second (six a tenth), is held for a second: the
// ring plays dry and the sound goes on where it stopped, 0.95 s past the
// picture shown. The first update decodes once, then for a frame's time,
// about 17 looks and so 17 pictures at most (under three tenths), and
// shows the latest; the next starts again at a key picture
// due among the packets read ahead for the sound, and within a tenth of a
// second the picture shown is the sound heard again, to the end.
TEST_F(StreamMovieSound, AnUpdateThatIsBehindCatchesUpAFrameAtATime) {
  SetMediaStreamClockForTest([] { return serviceMicros += 1000; });
  const int graph = LoadGraphFile(MovieFile("fast.mkv").c_str(), 0);
  ASSERT_NE(graph, -1);
  const int movie = MovieOfGraph(graph);
  StartPlaying(movie, 1);
  const auto update = [movie] {
    GetMovieRecord(movie)->directShow.lastUpdateCounter = -1;
    UpdateMovieFrame(movie, 0);
  };
  std::vector<int16_t> out(2 * 735);
  const auto frame = [&] {
    AdvanceSound(735, out.data());
    update();
    return out[0] / 400 - 1;
  };
  for (int i = 0; i < 60; i++) frame();
  const int before = PictureOf(graph);
  EXPECT_NEAR(before, frame(), 1);
  std::vector<int16_t> held(2 * 44100);
  AdvanceSound(44100, held.data());
  update();
  const int caughtUp = PictureOf(graph);
  EXPECT_LE(caughtUp, before + 3) << "one update decoded on past its frame's time";
  int heard = frame();
  while (heard < 0) heard = frame();
  EXPECT_GE(heard, before + 9) << "the hold did not leave the pictures behind";
  for (int i = 0; i < 6; i++) heard = frame();
  int stoppedAfter = -1;
  for (int i = 0; GetMovieRecord(movie)->stopped == 0 && i < 200; i++) {
    EXPECT_NEAR(PictureOf(graph), heard, 1) << "frame " << i;
    heard = frame();
    stoppedAfter = i;
  }
  EXPECT_EQ(GetMovieRecord(movie)->stopped, 1);
  EXPECT_EQ(PictureOf(graph), 39);
  EXPECT_LT(stoppedAfter, 200);
  DeleteGraphHandle(graph);
}

// large.mkv: 4096 x 2048 pictures, 12 MB each as decoded, 30 a second. The
// sound read half a second ahead of a 1-second ring keeps 1.5 s of pictures
// ahead, 32 of them at most: 403 MB. Within 128 MB, 11 are held (138 MB),
// beside the surface, the frame image and the conversion's frame (32 MB
// each) and the decoder's own pictures.
// changing.mov, 10 pictures a second in a 64 x 64 graphic: the green
// 16000 x 8000 one at 0.1 s, 977 MB as decoded, is refused before its buffer
// and never shows; of the blue 4160 x 4160 ones from 0.2 s, each 4160 x
// 4160 x 8 bytes = 132 MB, over 128 MB alone, one is held at a time, beside
// the one before that the decoder keeps while it decodes the next. Its
// decoder's threads were counted for 64 x 64: on two or more, two blue
// pictures a thread would pass 128 MB, so the decoder is opened again on
// one thread, at the first blue picture, and the blue is shown.
// large.mkv on a machine of 16 cores: 12 MB pictures, two a thread, get 5
// threads within 128 MB, about 34 MB each beside the surfaces.
// wide.mkv: 4160 x 4160, too large for FFmpeg's probe to decode, and with
// its first picture a tenth of a second after its sound, no index takes a
// seek back to the start of its pictures: the probe keeps their packets,
// the first key picture among them, and the red one is shown from the open.
// Beside four 69 MB images (graphic, frame image, surface, conversion),
// two frame threads at 10 a second hold 26 MB pictures.
TEST_F(StreamMovieSound, PicturesHeldAheadAreBoundedInBytes) {
  struct Step {
    double seconds;  // of playing
    int x, y;
    Rgb shown;
  };
  struct Case {
    const char* file;
    int cores;
    int64_t peakMb;
    std::vector<Step> steps;
  };
  const Rgb red{255, 0, 0}, blue{0, 0, 255};
  const Case cases[] = {
      {"large.mkv", 1, 350, {{0.2, 2000, 1000, red}}},
      {"large.mkv", 16, 350, {{0.2, 2000, 1000, red}}},
      {"changing.mov", 1, 64 + 2 * 132, {{0.15, 32, 32, red}, {0.3, 32, 32, blue}}},
      {"changing.mov", 2, 64 + 2 * 132, {{0.15, 32, 32, red}, {0.3, 32, 32, blue}}},
      {"wide.mkv", 4, 400, {{0.05, 2080, 2080, red}}},
  };
  for (const Case& c : cases) {
    SetMediaDecoderCoresForTest(c.cores);
    const int64_t peakBefore = ResetPeakResident();
    const int graph = LoadGraphFile(MovieFile(c.file).c_str(), 0);
    ASSERT_NE(graph, -1) << c.file;
    const int movie = MovieOfGraph(graph);
    StartPlaying(movie, 1);
    for (const Step& step : c.steps) {
      RunSound(movie, step.seconds);
      const Rgb shown = RgbAt(ImageOfGraph(graph), step.x, step.y);
      EXPECT_TRUE(Near(shown, step.shown)) << c.file << " step " << &step - c.steps.data() << ": " << shown;
    }
    if (kOwnPeaks) {
      EXPECT_LT(PeakResidentBytes() - peakBefore, c.peakMb << 20) << c.file << " on " << c.cores;
    }
    EXPECT_EQ(GetMovieRecord(movie)->stopped, 0) << c.file;
    DeleteGraphHandle(graph);
  }
}

// A machine so slow that a second passes each time the player looks at the
// clock. noisy.mkv: a call reads ahead a packet of 40 KB, or two, before its
// deadline, and the next call goes on from there: the movie plays to its
// end, its blue half. noisy-silent.mkv: the same without sound, so nothing
// reads ahead and the reading for the next picture pauses instead.
// declared8k.mkv: 30 packets that decode to no picture, read a few a call
// to the end. stall.mkv: the read of its 300 KB picture looks for each
// 32 KB and outlasts a deadline of its own: the movie ends there, red.
// A call looks at the clock once to start, and 5 s later its time is up (6 s
// after the clock read before it); a packet read started by then looks
// once to start a deadline of its own, at most 5 times within it and once
// after; one look finds the call's time up, and the movie's clock is read
// for at most two pictures: 6 + 7 + 1 + 2 = 16 s, and no call spans over 20 s
// (a past deadline read once more is no fault; one started anew is). A
// picture shown after a call's first passed a look within the call's time.
// One decoded too late is the next call's first to show, whatever its time:
// no two calls in a row show nothing, up to the one that ends the movie.
uint64_t g_slowMicros = 0;

struct SlowCall {
  uint64_t before, after;
  std::vector<uint64_t> shows;  // the clock at each picture copied out
};
std::vector<SlowCall> g_slowCalls;

TEST_F(StreamMovieSound, ASlowMachineReadsOnAtTheNextCallAndOnlyAStalledReadEnds) {
  constexpr uint64_t kSecond = 1000000;
  struct Case {
    const char* file;
    bool pictures;
    Rgb last;
  };
  const Case cases[] = {{"noisy.mkv", true, {0, 0, 255}},
                        {"noisy-silent.mkv", true, {0, 0, 255}},
                        {"declared8k.mkv", false, {}},
                        {"stall.mkv", true, {255, 0, 0}}};
  // A decoder on threads gives its first picture after a packet a thread:
  // on one, each packet read is a picture.
  SetMediaDecoderCoresForTest(1);
  for (const Case& c : cases) {
    const int movie = OpenMovie(MovieFile(c.file).c_str(), nullptr, nullptr, 0);
    ASSERT_NE(movie, -1) << c.file;
    MovieRecord* record = GetMovieRecord(movie);
    SetMovieFrameCallback(movie, [](MovieRecord*, int32_t) { g_slowCalls.back().shows.push_back(g_slowMicros); }, 0);
    g_slowCalls.clear();
    g_slowMicros = PlatformMicroseconds();
    SetMediaStreamClockForTest([] { return g_slowMicros += kSecond; });
    StartPlaying(movie, 1);
    ManualSoundMovieTest::RunSound(
        40,
        [&] {
          if (record->stopped) return;
          g_slowCalls.push_back({g_slowMicros, 0, {}});
          record->directShow.lastUpdateCounter = -1;
          UpdateMovieFrame(movie, 0);
          g_slowCalls.back().after = g_slowMicros;
        },
        2);
    SetMediaStreamClockForTest(nullptr);
    EXPECT_EQ(record->stopped, 1) << c.file;
    EXPECT_GT(g_slowCalls.size(), 1u) << c.file << ": a call out of time pauses the reading, it does not end it";
    for (size_t i = 0; i < g_slowCalls.size(); i++) {
      const SlowCall& call = g_slowCalls[i];
      EXPECT_LE(call.after - call.before, 20 * kSecond) << c.file << " call " << i;
      for (size_t k = 1; k < call.shows.size(); k++) {
        EXPECT_LE(call.shows[k], call.before + 6 * kSecond) << c.file << " call " << i;
      }
      if (c.pictures && i > 0 && i + 1 < g_slowCalls.size()) {
        EXPECT_FALSE(call.shows.empty() && g_slowCalls[i - 1].shows.empty()) << c.file << " call " << i;
      }
    }
    if (c.pictures) {
      const GraphImage* frame = DirectShowFrameImage(record);
      const Rgb shown = FrameImageAt(frame, 16, frame->height * 3 / 4);
      EXPECT_TRUE(Near(shown, c.last)) << c.file << shown;
    }
    CloseMovie(movie);
  }
}

}  // namespace
}  // namespace movie_test
