// Movies: the 640 x 480, 30 frames a second Theora movie the build makes
// (test_movies/bench640.ogv, 48 frames of moving gradients). decode_convert
// plays it as a movie graphic does: the decoder thread decodes ahead into its
// stock while the main thread converts each new current frame into the 32-bit
// frame image (real time, both threads). Its yardstick, theora_swscale, does
// the same work with the established libraries in the same run: libtheora's
// own decoder on the movie's packets (read into memory once), then
// libswscale turning each decoded frame into BGRA. convert is the exact
// integer 4:2:0 conversion alone on the decoded frames; swscale_convert is
// libswscale alone on the same frames, its yardstick.
// theora_open opens test_movies/empty1m.ogv and empty22m.ogv (a key frame
// and then empty frames, 1,000,000 and 22,000,000 of them): the index of
// every frame built by reading the whole file, and frame 0 shown.
#include <benchmark/benchmark.h>
#include <ogg/ogg.h>
#include <theora/theoradec.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "file/file_access.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_convert.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

struct OpenMovie {
  FileAccessHandle file = 0;
  TheoraMovieContext* movie = nullptr;
  explicit OpenMovie(int stock, const char* path = VARNOK_MOVIE_DATA "/bench640.ogv") {
    InitYuvToRgbTables();
    file = FileAccessOpen(path, 0, 1, 0);
    if (file) movie = OpenTheoraMovie(GetFileAccessTable(), file, stock);
  }
  ~OpenMovie() {
    if (movie) CloseTheoraMovie(movie);
    if (file) FileAccessClose(file);
  }
};

// The planes of every frame, taken once from the decoder's stock.
struct DecodedFrame {
  std::vector<uint8_t> y, cb, cr;
  YuvPlanes planes;
};

const std::vector<DecodedFrame>& DecodedFrames() {
  static std::vector<DecodedFrame> frames;
  if (!frames.empty()) return frames;
  OpenMovie m(2);
  if (!m.movie) return frames;
  TheoraMovieInfo info;
  GetTheoraMovieInfo(m.movie, &info);
  frames.resize(static_cast<size_t>(info.frameCount));
  for (int n = 0; n < info.frameCount; n++) {
    if (n > 0) AdvanceTheoraFrame(m.movie, 1);
    UpdateTheoraFrameImage(m.movie, 1, 0);
    const TheoraFrameStockEntry* e = FindTheoraStockFrame(m.movie, n);
    DecodedFrame& f = frames[static_cast<size_t>(n)];
    f.y.assign(e->y, e->y + e->yStride * e->yHeight);
    f.cb.assign(e->cb, e->cb + e->chromaStride * e->chromaHeight);
    f.cr.assign(e->cr, e->cr + e->chromaStride * e->chromaHeight);
    f.planes = {f.y.data(), f.cb.data(), f.cr.data(), e->yWidth, e->yHeight, e->yStride,
                e->chromaWidth, e->chromaHeight, e->chromaStride};
  }
  return frames;
}

void SetFrameRate(benchmark::State& state) {
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void DecodeAndConvert(benchmark::State& state) {
  OpenMovie m(10);
  if (!m.movie) return state.SkipWithError("no bench640.ogv");
  for (auto _ : state) {
    AdvanceTheoraFrame(m.movie, 1);
    UpdateTheoraFrameImage(m.movie, 1, 0);
  }
  SetFrameRate(state);
}

void ConvertOnly(benchmark::State& state) {
  const std::vector<DecodedFrame>& frames = DecodedFrames();
  if (frames.empty()) return state.SkipWithError("no bench640.ogv");
  std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * 4);
  size_t n = 0;
  for (auto _ : state) {
    ConvertYuvToBgrx(frames[n].planes, out.data(), kWidth * 4, kWidth, kHeight);
    benchmark::DoNotOptimize(out.data());
    n = (n + 1) % frames.size();
  }
  SetFrameRate(state);
}

void SwscaleConvert(benchmark::State& state) {
  const std::vector<DecodedFrame>& frames = DecodedFrames();
  if (frames.empty()) return state.SkipWithError("no bench640.ogv");
  SwsContext* sws = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight, AV_PIX_FMT_BGRA,
                                   SWS_POINT, nullptr, nullptr, nullptr);
  std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * 4);
  uint8_t* dest[4] = {out.data(), nullptr, nullptr, nullptr};
  const int destStride[4] = {kWidth * 4, 0, 0, 0};
  size_t n = 0;
  for (auto _ : state) {
    const YuvPlanes& p = frames[n].planes;
    const uint8_t* src[4] = {p.y, p.cb, p.cr, nullptr};
    const int srcStride[4] = {p.yStride, p.chromaStride, p.chromaStride, 0};
    sws_scale(sws, src, srcStride, 0, kHeight, dest, destStride);
    benchmark::DoNotOptimize(out.data());
    n = (n + 1) % frames.size();
  }
  sws_freeContext(sws);
  SetFrameRate(state);
}

void TheoraOpen(benchmark::State& state, const char* path) {
  for (auto _ : state) {
    OpenMovie m(10, path);
    if (!m.movie) return state.SkipWithError("no movie of empty frames");
  }
}

// The Theora stream of the movie as libtheora's decoder takes it: its set-up
// from the three header packets, and every frame's packet.
struct TheoraPackets {
  th_info info{};
  th_comment comment{};
  th_setup_info* setup = nullptr;
  std::vector<std::vector<uint8_t>> frames;
  TheoraPackets() {
    th_info_init(&info);
    th_comment_init(&comment);
  }
  ~TheoraPackets() {
    th_setup_free(setup);
    th_comment_clear(&comment);
    th_info_clear(&info);
  }
};

// Reads the file whole and takes the packets out of its pages; false when
// it holds no Theora stream.
bool ReadTheoraPackets(TheoraPackets* out) {
  FILE* f = std::fopen(VARNOK_MOVIE_DATA "/bench640.ogv", "rb");
  if (!f) return false;
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  for (;;) {
    char* buffer = ogg_sync_buffer(&sync, 65536);
    const size_t got = std::fread(buffer, 1, 65536, f);
    ogg_sync_wrote(&sync, static_cast<long>(got));
    if (got == 0) break;
  }
  std::fclose(f);
  std::map<int, ogg_stream_state> streams;
  int theora = -1;  // the serial number of the Theora stream, once known
  bool headersDone = false;
  ogg_page page;
  while (ogg_sync_pageout(&sync, &page) == 1) {
    const int serial = ogg_page_serialno(&page);
    if (!streams.count(serial)) ogg_stream_init(&streams[serial], serial);
    ogg_stream_pagein(&streams[serial], &page);
    ogg_packet packet;
    while (ogg_stream_packetout(&streams[serial], &packet) == 1) {
      if (theora >= 0 && serial != theora) continue;
      if (!headersDone) {
        const int header = th_decode_headerin(&out->info, &out->comment, &out->setup, &packet);
        if (header > 0) {
          theora = serial;
          continue;
        }
        if (header < 0 || theora < 0) continue;  // another stream's packet
        headersDone = true;
      }
      out->frames.emplace_back(packet.packet, packet.packet + packet.bytes);
    }
  }
  for (auto& [serial, stream] : streams) ogg_stream_clear(&stream);
  ogg_sync_clear(&sync);
  return headersDone && !out->frames.empty();
}

// The yardstick of decode_convert: each frame decoded by libtheora and turned
// into BGRA by libswscale, in turn on one thread; after the last frame the
// first (a key frame) starts the movie again.
void TheoraAndSwscale(benchmark::State& state) {
  TheoraPackets packets;
  if (!ReadTheoraPackets(&packets)) return state.SkipWithError("no bench640.ogv");
  th_dec_ctx* decoder = th_decode_alloc(&packets.info, packets.setup);
  const int width = static_cast<int>(packets.info.frame_width), height = static_cast<int>(packets.info.frame_height);
  SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_BGRA, SWS_POINT,
                                   nullptr, nullptr, nullptr);
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
  uint8_t* dest[4] = {out.data(), nullptr, nullptr, nullptr};
  const int destStride[4] = {width * 4, 0, 0, 0};
  size_t n = 0;
  for (auto _ : state) {
    if (n == 0) {
      ogg_int64_t start = 0;
      th_decode_ctl(decoder, TH_DECCTL_SET_GRANPOS, &start, sizeof(start));
    }
    std::vector<uint8_t>& bytes = packets.frames[n];
    ogg_packet packet{};
    packet.packet = bytes.data();
    packet.bytes = static_cast<long>(bytes.size());
    packet.packetno = static_cast<ogg_int64_t>(n + 3);
    packet.granulepos = -1;
    th_decode_packetin(decoder, &packet, nullptr);
    th_ycbcr_buffer planes;
    th_decode_ycbcr_out(decoder, planes);
    const uint8_t* src[4] = {planes[0].data, planes[1].data, planes[2].data, nullptr};
    const int srcStride[4] = {planes[0].stride, planes[1].stride, planes[2].stride, 0};
    sws_scale(sws, src, srcStride, 0, height, dest, destStride);
    benchmark::DoNotOptimize(out.data());
    n = (n + 1) % packets.frames.size();
  }
  sws_freeContext(sws);
  th_decode_free(decoder);
  SetFrameRate(state);
}

BENCHMARK(DecodeAndConvert)->Name("movie.decode_convert@640x480")->UseRealTime();
BENCHMARK(TheoraAndSwscale)->Name("movie.theora_swscale@640x480")->UseRealTime();
BENCHMARK(ConvertOnly)->Name("movie.convert@640x480");
BENCHMARK(SwscaleConvert)->Name("movie.swscale_convert@640x480");
BENCHMARK_CAPTURE(TheoraOpen, million, VARNOK_MOVIE_DATA "/empty1m.ogv")
    ->Name("movie.theora_open@1000000_frames")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(TheoraOpen, twenty_two_million, VARNOK_MOVIE_DATA "/empty22m.ogv")
    ->Name("movie.theora_open@22000000_frames")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
