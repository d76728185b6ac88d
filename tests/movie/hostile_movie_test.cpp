// Movie files built to hurt the player: a Theora file of a million frames,
// whose index must not be rebuilt over and over while the open reads it,
// a Matroska file whose sound runs an hour ahead of its only picture, which
// must not be decoded into memory whole while the player looks for it,
// and paths that name no regular file, which the stream player must not
// open and wait on.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/memory.h"
#include "file/file_access.h"
#include "tests/movie/movie_fixture.h"
#include "tests/support/read_file.h"

namespace movie_test {
namespace {

using HostileMovies = MovieTest;

// The key-frame flags and the page index grow by doubling: a million frames
// take a few dozen allocations, where growing by a thousand at a time took
// a thousand (and copied half a gigabyte). The decoder thread's stock adds
// at most three planes for each of its ten frames.
TEST_F(HostileMovies, AMillionFramesAreIndexedInAFewAllocations) {
  const FileAccessHandle file = FileAccessOpen(MovieFile("empty1m.ogv").c_str(), 0, 1, 0);
  ASSERT_NE(file, 0u);
  MemFailAllocation(200);
  TheoraMovieContext* movie = OpenTheoraMovie(GetFileAccessTable(), file, 10);
  const bool failed = MemInjectedFailureHappened();
  MemFailAllocation(0);
  EXPECT_FALSE(failed) << "the open made 200 allocations or more";
  if (movie) {
    TheoraMovieInfo info;
    GetTheoraMovieInfo(movie, &info);
    EXPECT_EQ(info.frameCount, 1000000);
    EXPECT_EQ(GetTheoraCurrentFrame(movie), 0);
    CloseTheoraMovie(movie);
  }
  FileAccessClose(file);
}

// The process's peak: a test measures its growth, which ctest's one process
// a test keeps apart from what the tests before it reached.
int64_t PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return int64_t{usage.ru_maxrss} * 1024;
}

// Only a few seconds of sound are held ahead of the clock; what lies beyond
// is dropped. Decoded whole, the hour ahead of the picture is 635 MB of PCM.
TEST_F(HostileMovies, SoundFarAheadOfThePictureIsNotHeldWhole) {
  const int64_t peakBefore = PeakResidentBytes();
  const int graph = LoadGraphFile(MovieFile("silence.mkv").c_str(), 0);
  ASSERT_NE(graph, -1);
  EXPECT_LT(PeakResidentBytes() - peakBefore, int64_t{64} << 20);
  const uint32_t shown = ScriptedScreenTest::PixelOf(ImageOfGraph(graph), 16, 12);
  EXPECT_GT(shown >> 16 & 0xFF, 200u) << std::hex << shown << ": the red picture";
  EXPECT_LT(shown >> 8 & 0xFF, 50u) << std::hex << shown;
  DeleteGraphHandle(graph);
}

// Playing, the next picture ten minutes of sound on is left unread until
// the sound has played down to the few seconds held: until then each update
// stays pending on the first picture, instead of decoding the ten minutes.
TEST_F(HostileMovies, APictureFarAheadWaitsForTheSoundToPlayOn) {
  const int64_t peakBefore = PeakResidentBytes();
  const int graph = LoadGraphFile(MovieFile("gap.mkv").c_str(), 0);
  ASSERT_NE(graph, -1);
  const int movie = MovieOfGraph(graph);
  StartPlaying(movie, 1);
  for (int i = 0; i < 3; i++) {
    GetMovieRecord(movie)->directShow.lastUpdateCounter = -1;  // as a new frame would
    UpdateMovieFrame(movie, 0);
  }
  EXPECT_EQ(GetMovieRecord(movie)->directShow.updatePending, 1);
  EXPECT_LT(PeakResidentBytes() - peakBefore, int64_t{64} << 20);
  EXPECT_EQ(GetMovieRecord(movie)->stopped, 0);
  const uint32_t shown = ScriptedScreenTest::PixelOf(ImageOfGraph(graph), 16, 12);
  EXPECT_GT(shown >> 16 & 0xFF, 200u) << std::hex << shown << ": still the red picture";
  DeleteGraphHandle(graph);
}

// The stream player is the last loader a path reaches: a pipe, a device or
// a directory is refused there too, without being opened. A pipe reached
// by its name under /proc holds a whole movie and has no writer left, so a
// player that opened it would play it; a named pipe without a writer would
// hold such a player for ever.
TEST_F(HostileMovies, OnlyRegularFilesReachTheStreamPlayer) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
  const std::string avi = ReadWholeFile(MovieFile("colors.avi"));
  ASSERT_EQ(write(ends[1], avi.data(), avi.size()), static_cast<ssize_t>(avi.size()));
  close(ends[1]);
  const std::string held = "/proc/self/fd/" + std::to_string(ends[0]);
  ASSERT_EQ(LoadGraphFile(held.c_str(), 0), -1) << "a pipe holding a movie";
  ASSERT_EQ(mkfifo("fifo", 0600), 0);
  std::filesystem::create_directory("folder");
  for (const char* path : {"folder", "/dev/zero", "fifo"}) EXPECT_EQ(LoadGraphFile(path, 0), -1) << path;
  close(ends[0]);
}

}  // namespace
}  // namespace movie_test
