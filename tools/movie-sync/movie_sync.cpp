// Plays one movie through the library's movie graphic as a game would, and
// logs every picture it hands on with the picture's own time code, so that
// tools/movie-sync/analyse.py can set the pictures against the sound that
// the same run mixed.
//
//   movie_sync --movie FILE --out DIR [--pace present|10ms] [--audio capture|sdl-disk]
//              [--hold] [--cores N] [--timeout SECONDS] [--tail SECONDS]
//
// DIR receives pictures.csv (one line a picture handed on), mix.wav (the
// mix, 44,100 Hz stereo 16-bit), with --audio sdl-disk also sdl.raw (what
// SDL's disk driver wrote), and the library's Log.txt.
//
// The library starts on the scripted window and presenter, as the tests
// start it: nothing is shown, and nothing of the display's own pacing gets
// in the way. The movie is loaded with LoadGraphFile and started as an
// entry point starts it (play type and intent, then the resume of every
// movie). Each frame of the loop presents the screen and draws the graphic,
// which is what updates a movie graphic; --pace present lets PresentScreen
// keep the screen mode's 60 frames a second, --pace 10ms turns that off and
// runs a frame every 10 ms instead.
//
// Times: each picture's line holds the machine's monotonic microseconds and
// the count of frames the mix had made when the picture was handed on, the
// loop frame that happened in, and the mix's count at the present that put
// it on the screen (the next frame's; a picture replaced in the same frame
// never got there). The
// capture output mixes on the caller's thread as the monotonic clock runs,
// so the frame count is the mix's own clock at that moment, and a picture
// stands at an exact place in mix.wav. With SDL's output the count is what
// SDL's thread had asked for, a buffer or so ahead of what was heard.
//
// --cores N makes the player count its decoder threads from N cores instead
// of the machine's. The log also holds how long LoadGraphFile took and the
// process's peak resident memory (VmHWM) before the load, after it and at
// the end: a movie that makes the open read far ahead shows there.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/core_api.h"
#include "graphics/graph_handle.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "movie/movie.h"
#include "platform/audio_device.h"
#include "platform/media_stream.h"
#include "platform/scripted_present.h"
#include "platform/scripted_window.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "softrender/memimg.h"
#include "sound/wave_buffer.h"

namespace {

// The code band as tools/movie-sync/make-movies.sh draws it.
constexpr int kCells = 24;
constexpr int kDataFirst = 2;
constexpr int kCheckFirst = 18;

struct Shown {
  uint64_t wallMicros;
  uint32_t mixFrames;
  int codeMs;  // -1: unreadable
  int phase;   // 0 at the load, 1 while playing, 2 after the movie ended
  int frame;   // the loop's frame it was handed on in (-1 at the load)
};

struct Options {
  std::string movie;
  std::string out;
  bool pacePresent = true;
  bool sdlDisk = false;
  bool hold = false;
  double timeout = 60;
  double tail = 2;
  int cores = 0;  // 0: the machine's
};

MovieFrameCallback g_original = nullptr;
std::vector<Shown> g_shown;
int g_phase = 0;
int g_frame = -1;
// The mix's frame count as each loop frame's present returned: a picture
// handed on in frame n reaches the screen at the present of frame n + 1.
std::vector<uint32_t> g_presentFrames;

uint32_t MixFrames() { return AudioCaptureFrames(AudioDeviceActive()); }

// The process's peak resident memory so far, in kB (0 where /proc has none).
long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// Mean luma of a small square of the graphic's pixels around (cx, cy).
int LumaAt(const MEMIMG& image, int cx, int cy, int half) {
  const int bytes = MemImgBytesPerPixel(image.base);
  const int64_t pitch = image.base->pitch;
  int64_t sum = 0, count = 0;
  for (int y = std::max(cy - half, 0); y <= std::min(cy + half, image.height - 1); y++) {
    for (int x = std::max(cx - half, 0); x <= std::min(cx + half, image.width - 1); x++) {
      uint32_t v = 0;
      std::memcpy(&v, image.pixels + y * pitch + static_cast<int64_t>(x) * bytes, static_cast<size_t>(bytes));
      int r, g, b;
      if (bytes == 2) {
        r = (v >> 11 & 31) * 255 / 31;
        g = (v >> 5 & 63) * 255 / 63;
        b = (v & 31) * 255 / 31;
      } else {
        r = v >> 16 & 255;
        g = v >> 8 & 255;
        b = v & 255;
      }
      sum += (77 * r + 150 * g + 29 * b) >> 8;
      count++;
    }
  }
  return count ? static_cast<int>(sum / count) : 0;
}

// The picture's time in milliseconds, or -1 when its band does not read.
int ReadCode(const MEMIMG& image) {
  if (!image.base || image.width < kCells || image.height < 8) return -1;
  const int w = image.width, h = image.height;
  const int bandTop = (h * 3 / 8) / 2 * 2, bandHeight = (h / 4) / 2 * 2;
  const int cy = bandTop + bandHeight / 2;
  const int half = std::max(0, std::min({w / kCells / 4, bandHeight / 4, 4}));
  int luma[kCells];
  for (int c = 0; c < kCells; c++) luma[c] = LumaAt(image, (2 * c + 1) * w / (2 * kCells), cy, half);
  const int white = luma[0], black = luma[1];
  if (white - black < 60) return -1;
  const int mid = (white + black) / 2;
  int bits[kCells];
  for (int c = 0; c < kCells; c++) bits[c] = luma[c] > mid;
  if (!bits[0] || bits[1] || !bits[23]) return -1;
  int value = 0, ones = 0, check = 0;
  for (int c = kDataFirst; c < kDataFirst + 16; c++) {
    value = value << 1 | bits[c];
    ones += bits[c];
  }
  for (int c = kCheckFirst; c < kCheckFirst + 5; c++) check = check << 1 | bits[c];
  return check == ones ? value : -1;
}

const MEMIMG* ImageOfGraph(int graph) {
  const GraphHandleRecord* record = LookupGraphHandle(graph);
  return record ? &record->image : nullptr;
}

void Record(int graph) {
  const uint64_t now = PlatformMicroseconds();
  const uint32_t frames = MixFrames();
  const MEMIMG* image = ImageOfGraph(graph);
  g_shown.push_back({now, frames, image ? ReadCode(*image) : -1, g_phase, g_frame});
}

// Takes the place of the graphic's own callback: the picture goes into the
// graphic as before, and is read from there, as the game would draw it.
void LoggingFrameCallback(MovieRecord* movie, int32_t graph) {
  if (g_original) g_original(movie, graph);
  Record(graph);
}

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "%s\nusage: movie_sync --movie FILE --out DIR [--pace present|10ms] [--audio capture|sdl-disk]\n"
               "                  [--hold] [--cores N] [--timeout SECONDS] [--tail SECONDS]\n",
               why);
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; i++) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(("no value for " + a).c_str());
      return argv[++i];
    };
    if (a == "--movie") {
      o.movie = value();
    } else if (a == "--out") {
      o.out = value();
    } else if (a == "--pace") {
      const std::string v = value();
      if (v != "present" && v != "10ms") Usage("--pace is present or 10ms");
      o.pacePresent = v == "present";
    } else if (a == "--audio") {
      const std::string v = value();
      if (v != "capture" && v != "sdl-disk") Usage("--audio is capture or sdl-disk");
      o.sdlDisk = v == "sdl-disk";
    } else if (a == "--hold") {
      o.hold = true;
    } else if (a == "--cores") {
      o.cores = std::atoi(value().c_str());
      if (o.cores < 1) Usage("--cores is a count of at least 1");
    } else if (a == "--timeout") {
      o.timeout = std::atof(value().c_str());
    } else if (a == "--tail") {
      o.tail = std::atof(value().c_str());
    } else {
      Usage(("unknown argument " + a).c_str());
    }
  }
  if (o.movie.empty() || o.out.empty()) Usage("--movie and --out are needed");
  return o;
}

struct UpdateTimes {
  std::vector<uint32_t> micros;
  void Add(uint64_t us) { micros.push_back(static_cast<uint32_t>(std::min<uint64_t>(us, UINT32_MAX))); }
  uint32_t Quantile(double q) {
    if (micros.empty()) return 0;
    std::vector<uint32_t> sorted = micros;
    std::sort(sorted.begin(), sorted.end());
    return sorted[std::min(sorted.size() - 1, static_cast<size_t>(q * static_cast<double>(sorted.size())))];
  }
};

}  // namespace

int main(int argc, char** argv) {
  const uint64_t processStart = PlatformMicroseconds();
  const Options o = ParseOptions(argc, argv);
  const std::filesystem::path movie = std::filesystem::absolute(o.movie);
  const std::filesystem::path out = std::filesystem::absolute(o.out);
  std::filesystem::create_directories(out);
  if (chdir(out.c_str()) != 0) Usage("cannot enter --out");
  const std::string wav = (out / "mix.wav").string();
  const std::string raw = (out / "sdl.raw").string();

  setenv("SDL_VIDEODRIVER", "dummy", 0);
  if (o.sdlDisk) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    AudioSelectOutput(AudioOutputKind::Sdl, wav.c_str());
  } else {
    AudioSelectOutput(AudioOutputKind::WavCapture, wav.c_str());
  }

  ScriptedWindow window;
  ScriptedPresenter presenter;
  presenter.keepFrames = false;
  SetPlatformWindow(&window);
  SetPlatformPresenter(&presenter);
  SetPresentPacingForTest(o.pacePresent ? 1 : 0);
  SetAllowMultipleInstances(1);
  SetRunWhenInactive(1);
  EnableLogFile(1);
  ChangeWindowMode(1);
  if (SetScreenMode(640, 480, 32, 60) != 0 || LibraryInit() != 0) {
    std::fprintf(stderr, "the library did not start\n");
    return 1;
  }
  if (o.sdlDisk && AudioDeviceOutput(AudioDeviceActive()) != AudioOutputKind::Sdl) {
    std::fprintf(stderr, "SDL's disk output did not open\n");
  }

  if (o.cores > 0) SetMediaDecoderCoresForTest(o.cores);
  const long startHwmKb = PeakResidentKb();
  const uint64_t loadStart = PlatformMicroseconds();
  const int graph = LoadGraphFile(movie.c_str(), 0);
  const uint64_t loadEnd = PlatformMicroseconds();
  const long loadHwmKb = PeakResidentKb();
  const GraphHandleRecord* graphRecord = graph == -1 ? nullptr : LookupGraphHandle(graph);
  const int handle = graphRecord ? graphRecord->original->movie : -1;
  MovieRecord* record = handle >= 0 ? GetMovieRecord(handle) : nullptr;
  if (!record) {
    std::fprintf(stderr, "%s did not open as a movie (LoadGraphFile took %.2f s, peak resident %ld MB)\n",
                 movie.c_str(), static_cast<double>(loadEnd - loadStart) / 1e6, loadHwmKb / 1024);
    LibraryEnd();
    return 1;
  }
  // The load showed the first picture already, through the graphic's own callback.
  Record(graph);
  g_original = record->frameCallback;
  SetMovieFrameCallback(handle, LoggingFrameCallback, record->callbackParameter);

  g_phase = 1;
  const uint64_t start = PlatformMicroseconds();
  const uint32_t startFrames = MixFrames();
  record->playType = 1;
  record->playIntent = 1;
  ResumeAllMovies();

  const uint64_t timeoutMicros = static_cast<uint64_t>(o.timeout * 1e6);
  const uint64_t tailMicros = static_cast<uint64_t>(o.tail * 1e6);
  uint64_t end = 0, holdFrom = 0, holdTo = 0;
  uint32_t endFrames = 0;
  const char* ending = "timeout";
  UpdateTimes updates;
  uint64_t worstFrameGap = 0, lastFrame = 0;
  auto nextTick = std::chrono::steady_clock::now();
  for (;;) {
    if (!o.pacePresent) {
      nextTick += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(nextTick);
    }
    PresentScreen();
    g_presentFrames.push_back(MixFrames());
    g_frame++;
    if (ProcessWindowMessages() != 0) {
      ending = "window";
      break;
    }
    uint64_t now = PlatformMicroseconds();
    if (lastFrame) worstFrameGap = std::max(worstFrameGap, now - lastFrame);
    lastFrame = now;
    if (o.hold && !holdFrom && now - start >= 3000000) {
      holdFrom = now;
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      holdTo = now = PlatformMicroseconds();
      nextTick = std::chrono::steady_clock::now();
    }
    DrawGraphAt(0, 0, graph, 0);
    const uint64_t drawn = PlatformMicroseconds();
    if (!end) updates.Add(drawn - now);
    if (!end && (record->stopped || !record->playIntent)) {
      end = drawn;
      endFrames = MixFrames();
      ending = "stopped";
      g_phase = 2;
    }
    if (end && drawn - end >= tailMicros) break;
    if (!end && drawn - start >= timeoutMicros) {
      end = drawn;
      endFrames = MixFrames();
      break;
    }
  }
  const uint32_t lastFrames = MixFrames();
  const uint64_t last = PlatformMicroseconds();
  const int width = graphRecord->width, height = graphRecord->height;
  const long peakKb = PeakResidentKb();
  // The processor time the whole process had against the time it ran: what
  // a slowed sitting (a shared processor, stops and starts) really left it.
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  const double processSeconds = static_cast<double>(PlatformMicroseconds() - processStart) / 1e6;
  FinishCaptureWavFile();
  DeleteGraphHandle(graph);
  LibraryEnd();

  FILE* log = std::fopen((out / "pictures.csv").c_str(), "w");
  if (!log) return 1;
  std::fprintf(log, "# movie=%s\n# size=%dx%d\n", movie.c_str(), width, height);
  std::fprintf(log, "# pace=%s audio=%s hold=%d cores=%d\n", o.pacePresent ? "present" : "10ms",
               o.sdlDisk ? "sdl-disk" : "capture", o.hold ? 1 : 0, o.cores);
  std::fprintf(log, "# start_hwm_kb=%ld load_hwm_kb=%ld peak_rss_kb=%ld\n", startHwmKb, loadHwmKb, peakKb);
  std::fprintf(log, "# cpu_s=%.2f process_s=%.2f\n", cpuSeconds, processSeconds);
  std::fprintf(log, "# mix_rate=44100\n# load_us=%llu\n", static_cast<unsigned long long>(loadEnd - loadStart));
  std::fprintf(log, "# start_wall_us=%llu start_mix_frames=%u\n", static_cast<unsigned long long>(start), startFrames);
  std::fprintf(log, "# end_wall_us=%llu end_mix_frames=%u ending=%s\n", static_cast<unsigned long long>(end),
               endFrames, ending);
  std::fprintf(log, "# last_wall_us=%llu last_mix_frames=%u\n", static_cast<unsigned long long>(last), lastFrames);
  std::fprintf(log, "# hold_from_us=%llu hold_to_us=%llu\n", static_cast<unsigned long long>(holdFrom),
               static_cast<unsigned long long>(holdTo));
  std::fprintf(log, "# updates=%zu update_us_median=%u update_us_p99=%u update_us_max=%u frame_gap_us_max=%llu\n",
               updates.micros.size(), updates.Quantile(0.5), updates.Quantile(0.99), updates.Quantile(1.0),
               static_cast<unsigned long long>(worstFrameGap));
  std::fprintf(log, "wall_us,mix_frames,code_ms,phase,frame,present_mix_frames\n");
  for (const Shown& s : g_shown) {
    const size_t next = static_cast<size_t>(s.frame + 1);
    const long long presented = next < g_presentFrames.size() ? g_presentFrames[next] : -1;
    std::fprintf(log, "%llu,%u,%d,%d,%d,%lld\n", static_cast<unsigned long long>(s.wallMicros), s.mixFrames,
                 s.codeMs, s.phase, s.frame, presented);
  }
  std::fclose(log);
  std::printf("%s: %zu pictures handed on, ended by %s after %.2f s; open %.0f ms, peak resident %ld MB\n",
              movie.filename().c_str(), g_shown.size(), ending, static_cast<double>(end - start) / 1e6,
              static_cast<double>(loadEnd - loadStart) / 1e3, peakKb / 1024);
  return 0;
}
