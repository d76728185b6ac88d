// Movie files built to hurt the player: a Theora file of a million frames,
// whose index must not be rebuilt over and over while the open reads it.
#include "core/memory.h"
#include "file/file_access.h"
#include "tests/movie/movie_fixture.h"

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

}  // namespace
}  // namespace movie_test
