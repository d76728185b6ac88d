#include "platform/media_stream_scripted.h"

#include <cstring>

struct MediaObject {
  std::string name;
  DirectDrawSurface* surface;  // surfaces and samples: the pixels
};

ScriptedMediaStream::~ScriptedMediaStream() = default;

bool ScriptedMediaStream::Fails(const char* call) {
  auto it = failures.find(call);
  if (it == failures.end() || it->second == 0) return false;
  if (it->second > 0) it->second--;
  return true;
}

MediaObject* ScriptedMediaStream::Make(const char* call, const char* name, DirectDrawSurface* surface) {
  if (Fails(call)) return nullptr;
  live_++;
  if (surface) DirectDrawAddRefSurface(surface);
  return new MediaObject{name, surface};
}

void ScriptedMediaStream::Release(MediaObject* object) {
  if (!object) return;
  released.push_back(object->name);
  if (object->surface) DirectDrawReleaseSurface(object->surface);
  if (object == pendingSample_) pendingSample_ = nullptr;
  delete object;
  live_--;
}

MediaObject* ScriptedMediaStream::CreateFilterGraph() { return Make("CreateFilterGraph", "graph"); }
MediaObject* ScriptedMediaStream::CreateMultiMediaStream() { return Make("CreateMultiMediaStream", "stream"); }
int ScriptedMediaStream::InitializeForReading(MediaObject*, MediaObject*) {
  return Fails("InitializeForReading") ? -1 : 0;
}
MediaObject* ScriptedMediaStream::QueryMediaControl(MediaObject*) { return Make("QueryMediaControl", "control"); }
MediaObject* ScriptedMediaStream::QueryDirectDraw4(DirectDrawObject* directDraw) {
  return directDraw ? Make("QueryDirectDraw4", "directDraw4") : nullptr;
}
int ScriptedMediaStream::AddPrimaryVideoStream(MediaObject*, MediaObject*, const MediaPictureBound&) {
  return Fails("AddPrimaryVideoStream") ? -1 : 0;
}
int ScriptedMediaStream::AddPrimaryAudioStream(MediaObject*) { return Fails("AddPrimaryAudioStream") ? -1 : 0; }
int ScriptedMediaStream::OpenFile(MediaObject*, const char* nativePath) {
  openedPaths.push_back(nativePath);
  if (Fails("OpenFile")) return -1;
  return openablePath.empty() || openablePath == nativePath ? 0 : -1;
}
MediaObject* ScriptedMediaStream::QueryMediaSeeking(MediaObject*) { return Make("QueryMediaSeeking", "seeking"); }
MediaObject* ScriptedMediaStream::QueryBasicAudio(MediaObject*) { return Make("QueryBasicAudio", "basicAudio"); }
MediaObject* ScriptedMediaStream::GetPrimaryVideoStream(MediaObject*) {
  return Make("GetPrimaryVideoStream", "videoStream");
}
MediaObject* ScriptedMediaStream::QueryAMMediaStream(MediaObject*) { return Make("QueryAMMediaStream", "amMediaStream"); }
MediaObject* ScriptedMediaStream::QueryDirectDrawMediaStream(MediaObject*) {
  return Make("QueryDirectDrawMediaStream", "directDrawStream");
}

int ScriptedMediaStream::GetVideoFormat(MediaObject*, int32_t* width, int32_t* height, int64_t* decodedBytes) {
  if (Fails("GetVideoFormat")) return -1;
  *width = videoWidth;
  *height = videoHeight;
  *decodedBytes = int64_t{videoWidth} * videoHeight * 4;  // as its 32-bit samples
  return 0;
}

MediaObject* ScriptedMediaStream::CreateSurface(DirectDrawObject* directDraw, const DirectDrawSurfaceDesc& desc) {
  if (Fails("CreateSurface")) return nullptr;
  DirectDrawSurface* surface = DirectDrawCreateSurface(directDraw, &desc);
  if (!surface) return nullptr;
  MediaObject* object = Make("", "surface", surface);
  DirectDrawReleaseSurface(surface);
  return object;
}

// Without a surface the stream makes its own, 32-bit.
MediaObject* ScriptedMediaStream::CreateSample(MediaObject*, MediaObject* surface) {
  if (Fails("CreateSample")) return nullptr;
  if (surface) return Make("", "sample", surface->surface);
  DirectDrawSurfaceDesc desc{kDirectDrawCapsOffscreenPlain | kDirectDrawCapsSystemMemory, videoWidth, videoHeight, 0,
                             {32, kDirectDrawPixelFormatRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}};
  DirectDrawSurface* own = DirectDrawCreateSurface(GetSystemMemoryDirectDraw(), &desc);
  if (!own) return nullptr;
  MediaObject* sample = Make("", "sample", own);
  DirectDrawReleaseSurface(own);
  return sample;
}

int ScriptedMediaStream::GetSampleSurface(MediaObject* sample, MediaObject** surface, MediaRect* rect) {
  if (Fails("GetSampleSurface")) return -1;
  *surface = Make("", "sampleSurface", sample->surface);
  *rect = {0, 0, videoWidth, videoHeight};
  return 0;
}

MediaObject* ScriptedMediaStream::QuerySurface4(MediaObject* surface) {
  return Make("QuerySurface4", "surface4", surface->surface);
}
MediaObject* ScriptedMediaStream::QuerySurface7(MediaObject* surface) {
  return Make("QuerySurface7", "surface7", surface->surface);
}

int ScriptedMediaStream::GetSurfaceDesc(MediaObject* surface, DirectDrawSurfaceDesc* desc) {
  DirectDrawGetSurfaceDesc(surface->surface, desc);
  return 0;
}

int ScriptedMediaStream::LockSurface(MediaObject* surface, void** pixels, int32_t* pitch) {
  if (Fails("LockSurface")) return -1;
  return DirectDrawLockSurface(surface->surface, pixels, pitch);
}

void ScriptedMediaStream::UnlockSurface(MediaObject* surface) { DirectDrawUnlockSurface(surface->surface); }

MediaObject* ScriptedMediaStream::CreateUpdateEvent() { return Make("CreateUpdateEvent", "event"); }

// A completed update: the next counter value in every pixel.
void ScriptedMediaStream::Complete(MediaObject* sample) {
  fillValue++;
  void* pixels;
  int32_t pitch;
  if (!sample || DirectDrawLockSurface(sample->surface, &pixels, &pitch) != 0) return;
  DirectDrawSurfaceDesc desc;
  DirectDrawGetSurfaceDesc(sample->surface, &desc);
  const int32_t bytes = static_cast<int32_t>(desc.pixelFormat.bitCount / 8);
  for (int32_t y = 0; y < desc.height; y++) {
    for (int32_t x = 0; x < desc.width; x++) {
      std::memcpy(static_cast<uint8_t*>(pixels) + y * pitch + x * bytes, &fillValue, static_cast<size_t>(bytes));
    }
  }
  DirectDrawUnlockSurface(sample->surface);
}

MediaUpdateResult ScriptedMediaStream::UpdateSample(MediaObject* sample, MediaObject* event) {
  updates++;
  MediaUpdateResult result = MediaUpdateResult::Ok;
  if (!updateResults.empty()) {
    result = updateResults.front();
    updateResults.pop_front();
  }
  // Without an event nothing may stay pending.
  if (result == MediaUpdateResult::Pending && !event) result = MediaUpdateResult::Ok;
  if (result == MediaUpdateResult::Ok) Complete(sample);
  if (result == MediaUpdateResult::Pending) pendingSample_ = sample;
  return result;
}

bool ScriptedMediaStream::IsEventSignalled(MediaObject*) {
  if (!eventSignalled) return false;
  if (pendingSample_) {
    Complete(pendingSample_);
    pendingSample_ = nullptr;
  }
  return true;
}

void ScriptedMediaStream::ResetEvent(MediaObject*) { eventSignalled = false; }

int ScriptedMediaStream::GetState(MediaObject*, MediaStreamState* out) {
  *out = state;
  return 0;
}
int ScriptedMediaStream::SetState(MediaObject*, MediaStreamState to) {
  state = to;
  return 0;
}
int ScriptedMediaStream::GetTime(MediaObject*, int64_t* out) {
  *out = time;
  return 0;
}
int ScriptedMediaStream::Seek(MediaObject*, int64_t to) {
  seeks.push_back(to);
  time = to;
  return 0;
}
int ScriptedMediaStream::Pause(MediaObject*) {
  pauses++;
  state = MediaStreamState::Stopped;
  return 0;
}
