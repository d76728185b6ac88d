// Movies: the 640 x 480, 30 frames a second Theora movie the build makes
// (test_movies/bench640.ogv, 48 frames of moving gradients). decode_convert
// plays it as a movie graphic does: the decoder thread decodes ahead into its
// stock while the main thread converts each new current frame into the 32-bit
// frame image (real time, both threads). convert is the exact integer 4:2:0
// conversion alone on the decoded frames; swscale_convert is libswscale
// turning the same frames into BGRA in the same run, the yardstick of both.
// theora_open opens test_movies/empty1m.ogv and empty22m.ogv (a key frame
// and then empty frames, 1,000,000 and 22,000,000 of them): the index of
// every frame built by reading the whole file, and frame 0 shown.
#include <benchmark/benchmark.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>
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

BENCHMARK(DecodeAndConvert)->Name("movie.decode_convert@640x480")->UseRealTime();
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
