#include "movie/directshow_movie.h"

#include <algorithm>
#include <cstring>
#include <cstdio>

#include "core/core_api.h"
#include "core/log.h"
#include "core/memory.h"
#include "file/file_access.h"
#include "file/file_path.h"
#include "graphics/directdraw.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "movie/movie.h"
#include "platform/files.h"
#include "platform/media_stream.h"
#include "softrender/memimg.h"

namespace {

constexpr size_t kCopyPieceBytes = 1048576;
constexpr size_t kNativePathBytes = 4096;
// Updates while the frame counter stands still come at most this often.
constexpr int64_t kUpdateIntervalMs = 17;

enum SurfaceMode : int32_t { kSurfaceScreenFormat = 0, kSurfaceOverlay = 1, kSurfaceRgb24 = 2 };

MediaStreamService* Service() { return GetMediaStreamService(); }

void Drop(MediaObject*& object) {
  if (object) Service()->Release(object);
  object = nullptr;
}

// The order the close releases in; a failed open releases what it made so far in it too.
void ReleaseForClose(DirectShowPart& d) {
  Drop(d.surface4);
  Drop(d.surface7);
  Drop(d.surface);
  Drop(d.sample);
  Drop(d.directDrawStream);
  Drop(d.amMediaStream);
  Drop(d.videoStream);
  Drop(d.basicAudio);
  Drop(d.seeking);
  Drop(d.directDraw4);
  Drop(d.control);
  Drop(d.graph);
  Drop(d.stream);
}

void FreeFrameBuffer(DirectShowPart& d) {
  MemFree(d.frameImage.pixels);
  d.frameImage = GraphImage{};
}

void ForgetTempFile(MovieRecord* m);

// The movie record is freed after a failed open, so a temporary copy goes now.
int FailOpen(MovieRecord* m, const char* message) {
  ReleaseForClose(m->directShow);
  FreeFrameBuffer(m->directShow);
  ForgetTempFile(m);
  return LogPrintf("%s", message);
}

// The library path as the machine names it.
bool NativePath(const char* path, char* native) {
  return ResolveNativePath(path, native, kNativePathBytes) == 0;
}

void RemoveFile(const char* path) {
  char native[kNativePathBytes];
  if (NativePath(path, native)) PlatformFileRemove(native);
}

int OpenInStream(DirectShowPart& d, const char* path) {
  char native[kNativePathBytes];
  return NativePath(path, native) ? Service()->OpenFile(d.stream, native) : -1;
}

// Copies the file, read through the file layer, to a new temporary file
// whose name replaces the record's. false when any part fails; a short read
// ends the copy as a failure, for the copy would be a cut movie.
bool CopyToTempFile(MovieRecord* m, const char* path) {
  const FileAccessHandle source = FileAccessOpen(path, 0, 1, 0);
  if (!source) return false;
  FileAccessSeek(source, 0, 2);
  const int64_t size = FileAccessTell(source);
  FileAccessSeek(source, 0, 0);
  void* buffer = size >= 0 ? VN_ALLOC(kCopyPieceBytes) : nullptr;
  const PlatformFileHandle temp = buffer ? CreateTempFile(m->fileName, sizeof(m->fileName)) : 0;
  bool complete = temp != 0;
  if (temp) {
    m->tempCopyFlag = 1;
    int64_t copied = 0;
    while (copied < size) {
      const size_t piece = static_cast<size_t>(std::min<int64_t>(size - copied, kCopyPieceBytes));
      const size_t got = FileAccessRead(buffer, 1, piece, source);
      if (got != piece) {
        complete = false;
        break;
      }
      if (PlatformFileWrite(temp, buffer, got) != static_cast<int64_t>(got)) break;
      copied += static_cast<int64_t>(got);
    }
    PlatformFileClose(temp);
  }
  FileAccessClose(source);
  MemFree(buffer);
  return complete;
}

void ForgetTempFile(MovieRecord* m) {
  if (!m->tempCopyFlag) return;
  RemoveFile(m->fileName);
  m->tempCopyFlag = 0;
}

// The stream opens the file by its name; one it cannot open is copied once
// to a temporary file through the file layer and opened from there.
bool OpenFileStep(MovieRecord* m, const char* path) {
  DirectShowPart& d = m->directShow;
  if (std::strlen(path) >= sizeof(m->fileName)) return false;
  if (m->fileName != path) std::strcpy(m->fileName, path);
  if (OpenInStream(d, m->fileName) == 0) return true;
  if (m->tempCopyFlag) return false;
  if (CopyToTempFile(m, path) && OpenInStream(d, m->fileName) == 0) return true;
  ForgetTempFile(m);
  return false;
}

DirectDrawSurfaceDesc SurfaceDescription(int32_t mode, int32_t width, int32_t height) {
  DirectDrawSurfaceDesc desc{};
  desc.width = width;
  desc.height = height;
  desc.caps = kDirectDrawCapsOffscreenPlain | kDirectDrawCapsSystemMemory;
  if (mode == kSurfaceRgb24) {
    desc.pixelFormat = {sizeof(DirectDrawPixelFormat), kDirectDrawPixelFormatRgb, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0};
  } else {
    desc.pixelFormat = *GetMemImgDirectDrawPixelFormat(static_cast<uint32_t>(ScreenMemImgColorType()), 0, 0);
  }
  return desc;
}

// Copies the sample surface's picture into the frame image, whose buffer
// is made with the first picture: a file that only declares a size costs
// nothing for it. One that cannot be had leaves the copy out.
void CopySurfaceToFrame(DirectShowPart& d) {
  GraphImage& frame = d.frameImage;
  void* pixels;
  int32_t pitch;
  if (!frame.pixels) frame.pixels = VN_ALLOC_ZEROED(static_cast<size_t>(frame.pitch) * static_cast<size_t>(frame.height));
  if (!frame.pixels || Service()->LockSurface(d.surface4, &pixels, &pitch) != 0) return;
  DirectDrawSurfaceDesc desc;
  Service()->GetSurfaceDesc(d.surface4, &desc);
  const int32_t rows = std::min(frame.height, desc.height);
  const size_t bytes = static_cast<size_t>(std::min(frame.width, desc.width)) * frame.format.bytesPerPixel;
  for (int32_t y = 0; y < rows; y++) {
    std::memcpy(static_cast<uint8_t*>(frame.pixels) + static_cast<int64_t>(y) * frame.pitch,
                static_cast<const uint8_t*>(pixels) + static_cast<int64_t>(y) * pitch, bytes);
  }
  Service()->UnlockSurface(d.surface4);
}

bool DirectShowMovie(const MovieRecord* m) { return m && !m->theoraFlag; }

}  // namespace

int OpenDirectShowMovie(DirectDrawObject* directDraw, MovieRecord* m, const char* path, int32_t* width,
                        int32_t* height, int32_t surfaceMode) {
  DirectShowPart& d = m->directShow;
  MediaStreamService* s = Service();
  FreeFrameBuffer(d);
  m->frameProduced = 0;
  d.overlayX = d.overlayY = 0;
  d.overlayScale = 0;
  d.overlayShown = 0;
  d.overlaySource = d.overlayDest = IntRect{};
  // No primary surface: an overlay cannot be had, and 24 bits on a 32-bit
  // screen would only be converted again.
  int32_t mode = surfaceMode;
  if (mode == kSurfaceOverlay && !QueryStubZero()) mode = kSurfaceRgb24;
  if (mode == kSurfaceRgb24 && GetScreenColorBitDepth() == 32) mode = kSurfaceScreenFormat;

  if (!(d.graph = s->CreateFilterGraph())) return FailOpen(m, "CLSID_FilterGraph の作成に失敗しました");
  if (!(d.stream = s->CreateMultiMediaStream())) {
    return FailOpen(m, "IAMMultimediaインターフェイスを取得できませんでした！");
  }
  if (s->InitializeForReading(d.stream, d.graph) != 0) {
    return FailOpen(m, "ストリームを読み取り用にセットアップできませんでした！");
  }
  if (!(d.control = s->QueryMediaControl(d.graph))) {
    return FailOpen(m, "IID_IMediaControlインターフェイスの取得に失敗しました");
  }
  if (!(d.directDraw4 = s->QueryDirectDraw4(directDraw))) {
    return FailOpen(m, "DirectDraw4オブジェクトを取得できませんでした");
  }
  if (s->AddPrimaryVideoStream(d.stream, d.directDraw4, kMoviePictureBound) != 0) {
    return FailOpen(m, "プライマリビデオストリームを追加できませんでした！");
  }
  if (s->AddPrimaryAudioStream(d.stream) != 0) return FailOpen(m, "デフォルトサウンドレンダラを追加できませんでした！\n");
  if (!path || !OpenFileStep(m, path)) {
    char message[kMoviePathBytes * 2 + 64];
    std::snprintf(message, sizeof(message), "ファイル:%s が開けませんでした", path ? path : "");
    return FailOpen(m, message);
  }
  if (!(d.seeking = s->QueryMediaSeeking(d.graph))) {
    return FailOpen(m, "メディアシーキングインターフェースの取得に失敗しました");
  }
  if (!(d.basicAudio = s->QueryBasicAudio(d.graph))) {
    return FailOpen(m, "BasicAudio インターフェースの取得に失敗しました");
  }
  if (!(d.videoStream = s->GetPrimaryVideoStream(d.stream))) {
    return FailOpen(m, "プライマリビデオストリームインターフェイスを取得できませんでした！");
  }
  if (!(d.amMediaStream = s->QueryAMMediaStream(d.videoStream))) {
    return FailOpen(m, "AMMediaStreamインターフェイスの取得に失敗しました");
  }
  if (!(d.directDrawStream = s->QueryDirectDrawMediaStream(d.videoStream))) {
    return FailOpen(m, "DirectDrawメディアストリームインターフェイスを取得できませんでした！");
  }

  int32_t videoWidth = 0, videoHeight = 0;
  int64_t decodedBytes = 0;
  if (s->GetVideoFormat(d.directDrawStream, &videoWidth, &videoHeight, &decodedBytes) != 0 || videoWidth <= 0 ||
      videoHeight <= 0) {
    return FailOpen(m, "動画ファイルではない可能性があります！");
  }
  // A picture larger than the Theora player takes, at 32 bits a pixel or as
  // decoded, gets no surface here either.
  MediaObject* made = MoviePictureSizeAllowed(videoWidth, videoHeight, decodedBytes)
                          ? s->CreateSurface(directDraw, SurfaceDescription(mode, videoWidth, videoHeight))
                          : nullptr;
  if (!made) return FailOpen(m, "DirectDrawSurface オブジェクトの作成に失敗しました");

  m->surfaceMode = mode;
  d.sample = s->CreateSample(d.directDrawStream, made);
  Drop(made);  // the sample holds it from here on
  if (!d.sample) {
    m->surfaceMode = kSurfaceScreenFormat;
    d.sample = s->CreateSample(d.directDrawStream, nullptr);
  }
  if (!d.sample) return FailOpen(m, "ストリームサンプルを作成できませんでした！");
  MediaRect rect{};
  if (s->GetSampleSurface(d.sample, &d.surface, &rect) != 0 || !d.surface) {
    return FailOpen(m, "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！");
  }
  d.sampleRect = {rect.left, rect.top, rect.right, rect.bottom};
  const int32_t pictureWidth = rect.right - rect.left, pictureHeight = rect.bottom - rect.top;
  if (width) *width = m->alphaInRightHalf ? pictureWidth / 2 : pictureWidth;
  if (height) *height = pictureHeight;

  if (!(d.surface4 = s->QuerySurface4(d.surface))) {
    return FailOpen(m, "IDirectDrawSurface4インターフェイスを取得できませんでした！");
  }
  if (!(d.surface7 = s->QuerySurface7(d.surface))) {
    return FailOpen(m, "IDirectDrawSurface7インターフェイスを取得できませんでした！");
  }
  DirectDrawSurfaceDesc desc{};
  s->GetSurfaceDesc(d.surface, &desc);
  ConvertDirectDrawPixelFormat(&desc.pixelFormat, &d.frameImage);
  d.frameImage.width = pictureWidth;
  d.frameImage.height = pictureHeight;
  d.frameImage.pitch = (d.frameImage.format.bytesPerPixel * pictureWidth + 3) & ~3;

  if (!d.updateEvent) d.updateEvent = s->CreateUpdateEvent();
  d.updatePending = 0;
  d.lastUpdateCounter = -1;
  d.lastUpdateTime = -1;
  return 0;
}

void UpdateDirectShowMovieFrame(MovieRecord* m, int32_t wait) {
  DirectShowPart& d = m->directShow;
  MediaStreamService* s = Service();
  if (!d.surface) return;
  // What the stream reads in this call, over all the calls below, is bounded once.
  s->StartCall(d.stream);
  MediaStreamState state = MediaStreamState::Stopped;
  s->GetState(d.stream, &state);
  if (wait == 0) {
    if (m->playIntent != 1 || m->stopped != 0 || state != MediaStreamState::Running) return;
    if (GetFrameCounter64() == d.lastUpdateCounter && int64_t{GetMilliCount()} - d.lastUpdateTime <= kUpdateIntervalMs) {
      return;
    }
  }
  // One update always under way: a completed one starts the next at once,
  // and a call returns after its second completion.
  for (int completed = 0; completed < 2;) {
    if (d.updatePending && wait == 0) {
      if (!s->IsEventSignalled(d.updateEvent)) return;
    } else {
      const MediaUpdateResult result = s->UpdateSample(d.sample, wait ? nullptr : d.updateEvent);
      if (result == MediaUpdateResult::Pending) {
        d.updatePending = 1;
        return;
      }
      if (result != MediaUpdateResult::Ok) {
        if (m->playType & kMoviePlayLoopBit) {
          s->Seek(d.stream, 0);
          s->SetState(d.stream, MediaStreamState::Running);
          d.lastUpdateCounter = -1;
          d.lastUpdateTime = -1;
        } else {
          m->playIntent = 0;
          m->stopped = 1;
        }
        return;
      }
    }
    CopySurfaceToFrame(d);
    if (m->surfaceMode != kSurfaceOverlay && m->frameCallback) m->frameCallback(m, m->callbackParameter);
    d.lastUpdateCounter = GetFrameCounter64();
    d.lastUpdateTime = GetMilliCount();
    if (d.updateEvent) s->ResetEvent(d.updateEvent);
    d.updatePending = 0;
    m->frameProduced = 1;
    if (wait) return;
    completed++;
  }
}

void PauseDirectShowMovie(MovieRecord* m) {
  if (m->directShow.surface) Service()->Pause(m->directShow.control);
}

void RunDirectShowMovie(MovieRecord* m) {
  if (m->directShow.surface) Service()->SetState(m->directShow.stream, MediaStreamState::Running);
}

void CloseDirectShowMovie(MovieRecord* m) {
  DirectShowPart& d = m->directShow;
  FreeFrameBuffer(d);
  ReleaseForClose(d);
  Drop(d.updateEvent);
  ForgetTempFile(m);
}

GraphImage* DirectShowFrameImage(MovieRecord* m) { return &m->directShow.frameImage; }

int ReleaseMovieSurfaces() {
  for (int slot = 0; slot < kMovieSlots; slot++) {
    MovieRecord* m = GetMovieRecord(MovieHandleInSlot(slot));
    if (!DirectShowMovie(m) || !m->directShow.surface) continue;
    DirectShowPart& d = m->directShow;
    Service()->GetTime(d.stream, &d.savedTime);
    Drop(d.videoStream);
    Drop(d.directDrawStream);
    Drop(d.sample);
    Drop(d.surface);
    Drop(d.surface4);
    Drop(d.surface7);
    Drop(d.amMediaStream);
    Drop(d.stream);
    Drop(d.directDraw4);
    Drop(d.graph);
    Drop(d.control);
    Drop(d.seeking);
    Drop(d.basicAudio);
  }
  return 0;
}

int ReopenMoviesAfterRestore() {
  for (int slot = 0; slot < kMovieSlots; slot++) {
    MovieRecord* m = GetMovieRecord(MovieHandleInSlot(slot));
    if (!DirectShowMovie(m) || m->directShow.surface) continue;
    if (OpenDirectShowMovie(GetDirectDrawObject(), m, m->fileName, nullptr, nullptr, m->surfaceMode) != 0) return -1;
    Service()->Seek(m->directShow.stream, m->directShow.savedTime);
    if (!m->stopped) Service()->SetState(m->directShow.stream, MediaStreamState::Running);
  }
  return 0;
}

int DrawMoviesToWindow() {
  for (int slot = 0; slot < kMovieSlots; slot++) {
    const int32_t handle = MovieHandleInSlot(slot);
    const MovieRecord* m = GetMovieRecord(handle);
    if (!DirectShowMovie(m) || m->surfaceMode != kSurfaceOverlay) continue;
    const DirectShowPart& d = m->directShow;
    UpdateMovieOverlay(d.overlayX, d.overlayY, d.overlayScale, handle, d.overlayShown);
  }
  return 0;
}

// The stand-in DirectDraw object makes no overlay surfaces, so no movie is
// ever in overlay mode and nothing past these checks is reached.
int UpdateMovieOverlay(int32_t x, int32_t y, double scale, int32_t handle, int32_t show) {
  MovieRecord* m = GetMovieRecord(handle);
  if (!m) return -1;
  if (!DirectShowMovie(m) || m->surfaceMode != kSurfaceOverlay || !m->frameProduced) return 0;
  return 0;
}
