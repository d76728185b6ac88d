// The multimedia-stream service that plays movie files the Theora player
// refuses: a filter graph that renders a file, a stream object whose
// primary video stream decodes into a DirectDraw surface through a stream
// sample, and a primary audio stream that plays through the sound output by
// itself. Each object it hands out is one reference that the caller releases
// once; an object's insides go with the last reference to them.
//
// Two services: the real one over FFmpeg (the default), and a scripted one
// for tests (platform/media_stream_scripted.h) where every call can fail.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/directdraw.h"

struct MediaObject;

enum class MediaUpdateResult { Ok, Pending, EndOfStream, Error };
enum class MediaStreamState { Stopped, Running };

struct MediaRect {
  int32_t left, top, right, bottom;
};

// Stream times are in units of 100 ns.
constexpr int64_t kMediaTimeUnitsPerSecond = 10000000;

// The largest picture a player takes: no side longer than side, and no
// frame over bytes, neither at 4 bytes a pixel (the surfaces') nor as the
// decoder holds it (decodedBytes; 16-bit formats take 6 or 8 a pixel).
struct MediaPictureBound {
  int64_t side;
  int64_t bytes;
};

constexpr bool MediaPictureAllowed(const MediaPictureBound& bound, int64_t width, int64_t height,
                                   int64_t decodedBytes) {
  return width > 0 && height > 0 && width <= bound.side && height <= bound.side && width * height * 4 <= bound.bytes &&
         decodedBytes <= bound.bytes;
}

class MediaStreamService {
 public:
  virtual ~MediaStreamService() = default;

  // Opening, in the order a player calls them: null or -1 on failure.
  virtual MediaObject* CreateFilterGraph() = 0;
  virtual MediaObject* CreateMultiMediaStream() = 0;
  virtual int InitializeForReading(MediaObject* stream, MediaObject* graph) = 0;
  virtual MediaObject* QueryMediaControl(MediaObject* graph) = 0;
  virtual MediaObject* QueryDirectDraw4(DirectDrawObject* directDraw) = 0;
  // No picture beyond the bound is decoded, whatever size the stream changes to.
  virtual int AddPrimaryVideoStream(MediaObject* stream, MediaObject* directDraw4, const MediaPictureBound& bound) = 0;
  // With the default sound renderer: the sound plays without the caller.
  virtual int AddPrimaryAudioStream(MediaObject* stream) = 0;
  virtual int OpenFile(MediaObject* stream, const char* nativePath) = 0;
  virtual MediaObject* QueryMediaSeeking(MediaObject* graph) = 0;
  virtual MediaObject* QueryBasicAudio(MediaObject* graph) = 0;
  virtual MediaObject* GetPrimaryVideoStream(MediaObject* stream) = 0;
  virtual MediaObject* QueryAMMediaStream(MediaObject* video) = 0;
  virtual MediaObject* QueryDirectDrawMediaStream(MediaObject* video) = 0;
  // The picture size the video stream would like, 0 x 0 when it has none,
  // and the bytes a picture of it takes as decoded (0 when not known).
  virtual int GetVideoFormat(MediaObject* directDrawStream, int32_t* width, int32_t* height,
                             int64_t* decodedBytes) = 0;
  virtual MediaObject* CreateSurface(DirectDrawObject* directDraw, const DirectDrawSurfaceDesc& desc) = 0;
  // A sample that draws into the surface (null: a surface of its own making).
  virtual MediaObject* CreateSample(MediaObject* directDrawStream, MediaObject* surface) = 0;
  // The sample's surface (a new reference) and the rectangle it fills.
  virtual int GetSampleSurface(MediaObject* sample, MediaObject** surface, MediaRect* rect) = 0;
  virtual MediaObject* QuerySurface4(MediaObject* surface) = 0;
  virtual MediaObject* QuerySurface7(MediaObject* surface) = 0;
  virtual int GetSurfaceDesc(MediaObject* surface, DirectDrawSurfaceDesc* desc) = 0;
  virtual int LockSurface(MediaObject* surface, void** pixels, int32_t* pitch) = 0;
  virtual void UnlockSurface(MediaObject* surface) = 0;

  // Playing. An update with an event may come back Pending and complete
  // later, which the event then shows; without one it completes (or fails)
  // before it returns.
  virtual MediaObject* CreateUpdateEvent() = 0;
  virtual MediaUpdateResult UpdateSample(MediaObject* sample, MediaObject* event) = 0;
  virtual bool IsEventSignalled(MediaObject* event) = 0;
  virtual void ResetEvent(MediaObject* event) = 0;
  virtual int GetState(MediaObject* stream, MediaStreamState* state) = 0;
  virtual int SetState(MediaObject* stream, MediaStreamState state) = 0;
  virtual int GetTime(MediaObject* stream, int64_t* time) = 0;
  virtual int Seek(MediaObject* stream, int64_t time) = 0;
  virtual int Pause(MediaObject* control) = 0;
  // Starts the time that the reading of the calls after it shares, up to
  // the next start: one call of the caller's is bounded as a whole, however
  // many updates, state queries and event tests it makes.
  virtual void StartCall(MediaObject* stream) { (void)stream; }

  virtual void Release(MediaObject* object) = 0;
};

// The service movies use; null puts the real one back.
MediaStreamService* GetMediaStreamService();
void SetMediaStreamService(MediaStreamService* service);
// Tests only: the demuxers FFmpeg may take in place of the movie containers
// (null puts those back).
void SetMediaFormatsForTest(const char* formats);
// The microsecond clock the real service reads its deadlines and its clock
// from; null puts the machine's back.
void SetMediaStreamClockForTest(uint64_t (*microseconds)());
// The cores the real service counts its decoder threads from; 0 puts the
// machine's back.
void SetMediaDecoderCoresForTest(int cores);
// The video packets that may wait for their pictures while the sound is
// read ahead (the firm bound a multiple of it); 0 puts the usual back.
void SetMediaVideoPacketBoundForTest(size_t packets);
