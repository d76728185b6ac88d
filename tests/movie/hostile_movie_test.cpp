// Movie files built to hurt the player: a Theora file of a million frames,
// whose index must not be rebuilt over and over while the open reads it,
// a Matroska file whose sound runs an hour ahead of its only picture, which
// must not be decoded or held whole while the player looks for it,
// paths that name no regular file, which the stream player must not open
// and wait on, and texts under a movie's name that would have FFmpeg reach
// the network, other files or itself.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>

#include "core/memory.h"
#include "file/file_access.h"
#include "platform/media_stream.h"
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

// Only the sound's packets are held ahead of the picture, as far as their
// bound; what lies beyond is dropped. Decoded whole, the hour ahead of the
// picture is 635 MB of PCM.
TEST_F(HostileMovies, SoundFarAheadOfThePictureIsNotHeldWhole) {
  const int64_t peakBefore = ResetPeakResident();
  const int graph = LoadGraphFile(MovieFile("silence.mkv").c_str(), 0);
  ASSERT_NE(graph, -1);
  if (kOwnPeaks) {
    EXPECT_LT(PeakResidentBytes() - peakBefore, int64_t{64} << 20);
  }
  const uint32_t shown = ScriptedScreenTest::PixelOf(ImageOfGraph(graph), 16, 12);
  EXPECT_GT(shown >> 16 & 0xFF, 200u) << std::hex << shown << ": the red picture";
  EXPECT_LT(shown >> 8 & 0xFF, 50u) << std::hex << shown;
  DeleteGraphHandle(graph);
}

// Playing, the next picture ten minutes of sound on is read to at once,
// but of the sound on the way only its packets are kept, as far as their
// bound, and the rest is dropped: each update stays pending on the first
// picture, the ten minutes neither decoded nor held.
TEST_F(HostileMovies, APictureFarAheadWaitsForTheSoundToPlayOn) {
  const int64_t peakBefore = ResetPeakResident();
  const int graph = LoadGraphFile(MovieFile("gap.mkv").c_str(), 0);
  ASSERT_NE(graph, -1);
  const int movie = MovieOfGraph(graph);
  StartPlaying(movie, 1);
  for (int i = 0; i < 3; i++) {
    GetMovieRecord(movie)->directShow.lastUpdateCounter = -1;  // as a new frame would
    UpdateMovieFrame(movie, 0);
  }
  EXPECT_EQ(GetMovieRecord(movie)->directShow.updatePending, 1);
  if (kOwnPeaks) {
    EXPECT_LT(PeakResidentBytes() - peakBefore, int64_t{64} << 20);
  }
  EXPECT_EQ(GetMovieRecord(movie)->stopped, 0);
  const uint32_t shown = ScriptedScreenTest::PixelOf(ImageOfGraph(graph), 16, 12);
  EXPECT_GT(shown >> 16 & 0xFF, 200u) << std::hex << shown << ": still the red picture";
  DeleteGraphHandle(graph);
}

// tinysound.mkv: 40 s of sound in 320,000 packets of a sample each before
// its only picture. FFmpeg's probe holds every packet it reads, at some
// 600 bytes each, and would read them all for the picture's format (about
// 200 MB); counted by the packet it stops at 64 MB, and the open goes on
// with what the container's header says. A call reads 16,384 packets at
// most, a frame's time of the demuxer's work: the open shows no picture
// yet, and the picture comes at the twentieth synchronous update or so,
// each of them reading on, with 16 MB of the sound's packets held at most.
TEST_F(HostileMovies, TinyPacketsAreBoundedByTheirCount) {
  const int64_t peakBefore = ResetPeakResident();
  const int graph = LoadGraphFile(MovieFile("tinysound.mkv").c_str(), 0);
  ASSERT_NE(graph, -1);
  const auto red = [graph] { return (ScriptedScreenTest::PixelOf(ImageOfGraph(graph), 16, 12) >> 16 & 0xFF) > 200; };
  EXPECT_FALSE(red()) << "the open read all of the sound";
  const int movie = MovieOfGraph(graph);
  int updates = 0;
  for (; !red() && updates < 100; updates++) UpdateMovieFrame(movie, 1);
  EXPECT_TRUE(red());
  EXPECT_GE(updates, 15) << "a call read on past its packets";
  if (kOwnPeaks) {
    EXPECT_LT(PeakResidentBytes() - peakBefore, int64_t{100} << 20);
  }
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

std::atomic<int> g_socketsMade{0};

// Only the single-movie containers open, and only the movie's own file: a
// session description would bind sockets and wait for packets, a concat
// list opens its entries with FFmpeg's own open (a named pipe beside it
// holds the open for ever, and a list naming itself recurses), a live HLS
// playlist waits for entries to come, and a playlist's ../ or absolute
// entries reach files outside the movie's folder. Each is refused at once.
// Were a list's demuxer let through, its inner open, FFmpeg's own, would
// still find no protocol to open the entry by.
TEST_F(HostileMovies, ListsPlaylistsAndSessionDescriptionsAreRefusedAtOnce) {
  const std::string colors = ReadWholeFile(MovieFile("colors.avi"));
  dir.Write("outside.avi", colors);
  struct Case {
    const char* folder;
    std::string text;
    const char* formats = nullptr;  // let through in place of the movie containers
  };
  const Case cases[] = {
      {"sdp", "v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=x\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
              "m=video 47000 RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n"},
      {"pipe", "ffconcat version 1.0\nfile fifo\n"},
      {"inner", "ffconcat version 1.0\nfile seg.avi\n", "avi,concat"},
      {"self", "ffconcat version 1.0\nfile x.avi\n"},
      {"live", "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:10,\nseg.avi\n"},
      {"up", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n../outside.avi\n#EXT-X-ENDLIST\n"},
      {"absolute", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n" + MovieFile("colors.avi") +
                       "\n#EXT-X-ENDLIST\n"},
  };
  for (const Case& c : cases) {
    const std::string folder = c.folder;
    dir.Write(folder + "/x.avi", c.text);
    dir.Write(folder + "/seg.avi", colors);
    ASSERT_EQ(mkfifo((folder + "/fifo").c_str(), 0600), 0);
    const int socketsBefore = g_socketsMade;
    const int64_t peakBefore = ResetPeakResident();
    const auto start = std::chrono::steady_clock::now();
    SetMediaFormatsForTest(c.formats);
    EXPECT_EQ(LoadGraphFile((folder + "/x.avi").c_str(), 0), -1) << folder;
    SetMediaFormatsForTest(nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << folder;
    EXPECT_LT(PeakResidentBytes() - peakBefore, int64_t{64} << 20) << folder;
    EXPECT_EQ(g_socketsMade, socketsBefore) << folder << ": sockets made";
  }
}

}  // namespace
}  // namespace movie_test

// Every socket the process makes is counted on its way to the C library's.
extern "C" int socket(int domain, int type, int protocol) noexcept {
  using Socket = int (*)(int, int, int);
  static const auto real = reinterpret_cast<Socket>(dlsym(RTLD_NEXT, "socket"));
  movie_test::g_socketsMade++;
  return real(domain, type, protocol);
}
