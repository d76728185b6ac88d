// The race check of the movie tests sees our own code even where FFmpeg
// calls it: a decoder's buffer callback that races a thread of ours is
// reported under the options this run gives ThreadSanitizer. The race runs
// in a child, this same program, so that its report fails nothing but the
// check that it is there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "tests/movie/movie_fixture.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

extern char** environ;

namespace movie_test {
namespace {

constexpr char kChildVariable[] = "VARNOK_DECODER_RACE_CHILD";

// Written by the buffer callback and by a thread of ours, with nothing
// between them that orders the two.
int g_unguarded = 0;

int RacingPictureBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
  g_unguarded++;
  return avcodec_default_get_buffer2(context, frame, flags);
}

// Decodes the movie's pictures on FFmpeg's threads, as the player asks for
// them, while a thread of ours writes the callback's word once. The thread
// synchronises with nothing before it is joined, so its write and the
// callback's are unordered however the threads are scheduled.
void DecodeWithRacingCallback(const std::string& path) {
  std::thread ours([] { g_unguarded = 7; });
  AVFormatContext* format = nullptr;
  ASSERT_EQ(avformat_open_input(&format, path.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
  const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  ASSERT_GE(video, 0);
  const AVCodec* codec = avcodec_find_decoder(format->streams[video]->codecpar->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  ASSERT_GE(avcodec_parameters_to_context(decoder, format->streams[video]->codecpar), 0);
  decoder->get_buffer2 = RacingPictureBuffer;
  decoder->thread_count = 4;
  decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  ASSERT_EQ(avcodec_open2(decoder, codec, nullptr), 0);
  AVPacket* packet = av_packet_alloc();
  AVFrame* picture = av_frame_alloc();
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == video) avcodec_send_packet(decoder, packet);
    av_packet_unref(packet);
    while (avcodec_receive_frame(decoder, picture) >= 0) av_frame_unref(picture);
  }
  avcodec_send_packet(decoder, nullptr);
  while (avcodec_receive_frame(decoder, picture) >= 0) av_frame_unref(picture);
  av_frame_free(&picture);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  ours.join();
}

#if defined(__SANITIZE_THREAD__)
constexpr bool kRacesSeen = true;
#else
constexpr bool kRacesSeen = false;
#endif

TEST(DecoderCallbackRace, ARaceInTheBufferCallbackIsReported) {
  if (!kRacesSeen) GTEST_SKIP() << "only a ThreadSanitizer build sees races";
  if (std::getenv(kChildVariable)) {
    DecodeWithRacingCallback(MovieFile("colors.mp4"));
    return;
  }
  ScratchDir dir;
  // The run's own options, with the reports on the child's standard error
  // (a later option wins) and the exit status that says there were some.
  // The child's output, its test's and the reports, goes to one file.
  const char* options = std::getenv("TSAN_OPTIONS");
  std::vector<std::string> variables = {std::string(kChildVariable) + "=1",
                                        "TSAN_OPTIONS=" + std::string(options ? options : "") +
                                            ":log_path=stderr:halt_on_error=0:exitcode=66"};
  for (char** e = environ; *e; e++) {
    if (std::string(*e).rfind("TSAN_OPTIONS=", 0) != 0) variables.push_back(*e);
  }
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=DecoderCallbackRace.ARaceInTheBufferCallbackIsReported";
  char* argv[] = {const_cast<char*>(program.c_str()), filter.data(), nullptr};
  const std::string errors = (dir.path() / "child.txt").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 2, 1);
  pid_t child = -1;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ASSERT_EQ(spawned, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  const std::string report = ReadWholeFile(errors);
  EXPECT_NE(report.find("WARNING: ThreadSanitizer: data race"), std::string::npos) << report;
  EXPECT_NE(report.find("RacingPictureBuffer"), std::string::npos) << report;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 66) << report;
}

}  // namespace
}  // namespace movie_test
