// A multimedia-stream service for tests: objects named by what they are,
// any call made to fail, the releases recorded in order, and updates whose
// results and completions the test decides. Samples draw into real
// system-memory surfaces: each completed update fills the sample's surface
// with the next value of a counter, so a test sees which update it shows.
#pragma once
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/media_stream.h"

class ScriptedMediaStream : public MediaStreamService {
 public:
  ~ScriptedMediaStream() override;

  // What the test sets up. A call named here fails that many times (-1:
  // always): "CreateFilterGraph", "OpenFile", "CreateSample", ... (the
  // method names).
  std::map<std::string, int> failures;
  int32_t videoWidth = 8, videoHeight = 6;
  // Results of the updates to come (Ok when none is queued). A Pending
  // update completes when the test sets eventSignalled.
  std::deque<MediaUpdateResult> updateResults;
  bool eventSignalled = false;
  // The native path that opens; every other one fails.
  std::string openablePath;

  // What the library did.
  std::vector<std::string> released;
  std::vector<std::string> openedPaths;
  std::vector<int64_t> seeks;
  MediaStreamState state = MediaStreamState::Stopped;
  int pauses = 0;
  int updates = 0;
  uint32_t fillValue = 0;  // the value of the last completed update
  int64_t time = 0;
  int Live() const { return live_; }

  MediaObject* CreateFilterGraph() override;
  MediaObject* CreateMultiMediaStream() override;
  int InitializeForReading(MediaObject* stream, MediaObject* graph) override;
  MediaObject* QueryMediaControl(MediaObject* graph) override;
  MediaObject* QueryDirectDraw4(DirectDrawObject* directDraw) override;
  int AddPrimaryVideoStream(MediaObject* stream, MediaObject* directDraw4, const MediaPictureBound& bound) override;
  int AddPrimaryAudioStream(MediaObject* stream) override;
  int OpenFile(MediaObject* stream, const char* nativePath) override;
  MediaObject* QueryMediaSeeking(MediaObject* graph) override;
  MediaObject* QueryBasicAudio(MediaObject* graph) override;
  MediaObject* GetPrimaryVideoStream(MediaObject* stream) override;
  MediaObject* QueryAMMediaStream(MediaObject* video) override;
  MediaObject* QueryDirectDrawMediaStream(MediaObject* video) override;
  int GetVideoFormat(MediaObject* directDrawStream, int32_t* width, int32_t* height, int64_t* decodedBytes) override;
  MediaObject* CreateSurface(DirectDrawObject* directDraw, const DirectDrawSurfaceDesc& desc) override;
  MediaObject* CreateSample(MediaObject* directDrawStream, MediaObject* surface) override;
  int GetSampleSurface(MediaObject* sample, MediaObject** surface, MediaRect* rect) override;
  MediaObject* QuerySurface4(MediaObject* surface) override;
  MediaObject* QuerySurface7(MediaObject* surface) override;
  int GetSurfaceDesc(MediaObject* surface, DirectDrawSurfaceDesc* desc) override;
  int LockSurface(MediaObject* surface, void** pixels, int32_t* pitch) override;
  void UnlockSurface(MediaObject* surface) override;
  MediaObject* CreateUpdateEvent() override;
  MediaUpdateResult UpdateSample(MediaObject* sample, MediaObject* event) override;
  bool IsEventSignalled(MediaObject* event) override;
  void ResetEvent(MediaObject* event) override;
  int GetState(MediaObject* stream, MediaStreamState* state) override;
  int SetState(MediaObject* stream, MediaStreamState state) override;
  int GetTime(MediaObject* stream, int64_t* time) override;
  int Seek(MediaObject* stream, int64_t time) override;
  int Pause(MediaObject* control) override;
  void Release(MediaObject* object) override;

 private:
  bool Fails(const char* call);
  MediaObject* Make(const char* call, const char* name, DirectDrawSurface* surface = nullptr);
  void Complete(MediaObject* sample);
  int live_ = 0;
  bool pending_ = false;
  MediaObject* pendingSample_ = nullptr;
};
