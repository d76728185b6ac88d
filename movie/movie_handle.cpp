#include "movie/movie.h"

#include <algorithm>

#include "core/core_api.h"
#include "core/handle.h"
#include "core/log.h"
#include "core/memory.h"
#include "file/file_access.h"
#include "graphics/directdraw.h"
#include "graphics/graph_handle.h"
#include "movie/directshow_movie.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_convert.h"
#include "sound/sound_api.h"
#include "sound/sound_converter.h"

namespace {

constinit HandleTable<MovieRecord, kMovieSlots> g_movies{.type = HandleTypeMovie, .firstCheck = 0, .nextCheck = 0};

// Frames the Theora decoder holds ahead of the one shown.
constexpr int32_t kTheoraStockFrames = 10;

// Each frame's right half carrying the alpha of its left half is a library
// option with no setter: it stays off.
constexpr int32_t kAlphaInRightHalfOption = 0;

int FirstFreeSlot() {
  for (int slot = 0; slot < kMovieSlots; slot++) {
    if (g_movies.HandleAt(slot) == -1) return slot;
  }
  return -1;
}

// The sound track decodes from its own opening of the file, through the
// sound layer's stream sounds; -1 when the file holds no sound it reads.
int32_t LoadSoundTrack(const char* path) {
  const int mode = GetCreateSoundMode();
  SetSoundConverterVorbisFileFlag(1);
  SetCreateSoundMode(3);
  const int32_t track = LoadSoundFile(path, 1, -1);
  SetSoundConverterVorbisFileFlag(0);
  SetCreateSoundMode(mode);
  return track;
}

// The frame the clock wants, within the movie.
int64_t WantedTheoraFrame(const MovieRecord* m, const TheoraMovieInfo& info) {
  const int64_t count = info.frameCount;
  if (m->soundTrack != -1) {
    const int64_t position = int64_t{std::max(GetSoundCurrentTime(m->soundTrack), 0)} * 1000;
    const auto frame = static_cast<int64_t>(static_cast<double>(position) * info.framesPerSecond * 0.000001);
    // The sound track decides the length: no wrap.
    return std::min(frame, count - 1);
  }
  const int64_t elapsed = std::max<int64_t>(GetMicroCount() - m->startTime, 0);
  const auto frame = static_cast<int64_t>(static_cast<double>(elapsed) * info.framesPerSecond * 0.000001);
  if (frame < count) return frame;
  return (m->playType & kMoviePlayLoopBit) ? frame % count : count - 1;
}

void UpdateTheoraMovie(MovieRecord* m) {
  TheoraMovieInfo info;
  GetTheoraMovieInfo(m->theora, &info);
  if (m->stopped) return;
  const int64_t wanted = WantedTheoraFrame(m, info);
  const int64_t current = GetTheoraCurrentFrame(m->theora);
  if (wanted > current) {
    AdvanceTheoraFrame(m->theora, static_cast<int32_t>(wanted - current));
  } else if (wanted < current) {
    AdvanceTheoraFrame(m->theora, static_cast<int32_t>(info.frameCount - current + wanted));
  } else if (wanted == info.frameCount - 1 && !(m->playType & kMoviePlayLoopBit) && m->soundTrack == -1) {
    m->playIntent = 0;
    m->stopped = 1;
  }
}

const GraphMovieHooks kGraphHooks = {
    [](const char* path, int32_t* width, int32_t* height) { return OpenMovie(path, width, height, 0); },
    [](int32_t movie, int32_t graph) {
      SetMovieFrameCallback(movie, CopyMovieFrameToGraph, graph);
      // The graphic shows the first frame from the start, not from when the
      // movie first moves: the Theora decoder converted it at open (and no
      // longer reports it as new); the stream player decodes it now.
      MovieRecord* record = GetMovieRecord(movie);
      if (record->theoraFlag) {
        TransferMovieFrameImage(record, graph);
      } else {
        UpdateMovieFrame(movie, 1);
      }
    },
    [](int32_t movie) { UpdateMovieFrame(movie, 0); },
    [](int32_t movie) { CloseMovie(movie); },
};

}  // namespace

const GraphMovieHooks* GetMovieGraphHooks() { return &kGraphHooks; }

MovieRecord* GetMovieRecord(int32_t handle) { return g_movies.Get(handle); }

int32_t MovieHandleInSlot(int slot) { return g_movies.HandleAt(slot); }

int OpenMovie(const char* path, int32_t* width, int32_t* height, int32_t surfaceMode) {
  const int slot = FirstFreeSlot();
  if (slot < 0) return -1;
  auto* m = static_cast<MovieRecord*>(VN_ALLOC_ZEROED(sizeof(MovieRecord)));
  if (!m) return LogPrintf("メモリの確保に失敗しました in OpenMovie");
  m->soundTrack = -1;
  m->alphaInRightHalf = kAlphaInRightHalfOption;

  const FileAccessHandle file = path ? FileAccessOpen(path, 0, 1, 0) : 0;
  TheoraMovieContext* theora = file ? OpenTheoraMovie(GetFileAccessTable(), file, kTheoraStockFrames) : nullptr;
  if (theora) {
    m->theora = theora;
    m->file = file;
    m->soundTrack = LoadSoundTrack(path);
    TheoraMovieInfo info;
    GetTheoraMovieInfo(theora, &info);
    m->width = info.width;
    m->height = info.height;
    if (width) *width = info.width;
    if (height) *height = info.height;
    m->theoraFlag = 1;
    m->frameImage = GetTheoraFrameImage(theora);
    m->surfaceMode = 0;
  } else {
    if (file) FileAccessClose(file);
    m->tempCopyFlag = 0;
    if (OpenDirectShowMovie(GetDirectDrawObject(), m, path, width, height, surfaceMode) != 0) {
      MemFree(m);
      return LogPrintf("ムービーファイルオープン処理時にエラーが発生しました");
    }
    m->frameImage = DirectShowFrameImage(m);
  }
  m->stopped = 1;
  m->playIntent = 0;
  m->playType = 1;
  const int handle = g_movies.AddAt(slot, m);
  m->check = static_cast<uint32_t>(HandleCheck(handle));
  return handle;
}

int CloseMovie(int32_t handle) {
  MovieRecord* m = g_movies.Remove(handle);
  if (!m) return -1;
  if (m->theora) {
    // The thread reads the file until the decoder has ended it.
    CloseTheoraMovie(m->theora);
    if (m->file) FileAccessClose(m->file);
    DeleteSoundHandle(m->soundTrack);
    m->theora = nullptr;
    m->file = 0;
    m->soundTrack = -1;
  }
  CloseDirectShowMovie(m);
  MemFree(m);
  return 0;
}

int SetMovieFrameCallback(int32_t handle, MovieFrameCallback callback, int32_t parameter) {
  MovieRecord* m = GetMovieRecord(handle);
  if (!m) return -1;
  m->frameCallback = callback;
  m->callbackParameter = parameter;
  return 0;
}

int UpdateMovieFrame(int32_t handle, int32_t wait) {
  MovieRecord* m = GetMovieRecord(handle);
  if (!m) return 0;
  if (!m->theoraFlag) {
    UpdateDirectShowMovieFrame(m, wait);
    return 0;
  }
  UpdateTheoraMovie(m);
  // Also when stopped: the callback transfers only frames the decoder reports as new.
  if (m->frameCallback) {
    m->frameCallback(m, m->callbackParameter);
    m->frameProduced = 1;
  }
  return 0;
}

int PauseMovie(int32_t handle, int32_t keepIntent) {
  MovieRecord* m = GetMovieRecord(handle);
  if (!m) return -1;
  if (m->stopped) return 0;
  if (m->theoraFlag) {
    StopSoundHandle(m->soundTrack);
    UpdateMovieFrame(handle, 0);
  } else {
    PauseDirectShowMovie(m);
  }
  m->stopped = 1;
  if (!keepIntent) m->playIntent = 0;
  return 0;
}

int PauseAllMovies() {
  for (int slot = 0; slot < kMovieSlots; slot++) {
    const int handle = g_movies.HandleAt(slot);
    if (handle != -1) PauseMovie(handle, 1);
  }
  return 0;
}

int ResumeAllMovies() {
  for (int slot = 0; slot < kMovieSlots; slot++) {
    MovieRecord* m = g_movies.records[slot];
    if (!m || !m->stopped || !m->playIntent) continue;
    if (m->playType == 0) m->playType = 1;
    if (m->theoraFlag) {
      TheoraMovieInfo info;
      GetTheoraMovieInfo(m->theora, &info);
      // The clock goes on from the frame shown, not from where it would have run to.
      m->startTime = GetMicroCount() -
                     static_cast<int64_t>(GetTheoraCurrentFrame(m->theora) / info.framesPerSecond * 1000000.0);
      PlaySoundHandle(m->soundTrack, m->playType, 0);
    } else {
      RunDirectShowMovie(m);
    }
    m->stopped = 0;
    m->playIntent = 1;
  }
  return 0;
}
