// The Ogg Theora player: reads the headers and indexes the pages and key
// frames at open, then one thread per movie decodes a small stock of frames
// from the current frame onward, which the main thread moves and converts.
// The two threads share the atomic words below and nothing else while the
// thread runs (see the comments at each).
#pragma once
#include <ogg/ogg.h>
#include <theora/theora.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "file/file_access.h"
#include "image/graph_image.h"

enum TheoraThreadState : int32_t {
  kTheoraStockFull = 0,
  kTheoraDecoding = 1,
  kTheoraSeeking = 2,
  kTheoraExited = 3,
  kTheoraPaused = 4,
};

struct TheoraPageIndexEntry {
  int64_t fileOffset;   // where reading starts for this entry
  int32_t firstFrame;   // frames counted before the entry
  int32_t keyFrame;     // 1: a key frame completed in it
  int32_t frameCount;
};

// One decoded frame. The thread fills an entry that is not valid and then
// publishes it by setting valid; the main thread reads only the valid entry
// of the current frame.
struct TheoraFrameStockEntry {
  std::atomic<int32_t> valid;
  std::atomic<int32_t> frame;  // written before the planes, so a reader re-checking valid sees the change
  uint8_t* y;
  uint8_t* cb;
  uint8_t* cr;
  int32_t yWidth, yHeight, yStride;
  int32_t chromaWidth, chromaHeight, chromaStride;
};

struct TheoraMovieContext {
  // Hand-over words.
  std::atomic<int32_t> threadState{kTheoraStockFull};  // thread -> main
  std::atomic<int32_t> pauseRequest{0};                // main -> thread
  std::atomic<int32_t> quitRequest{0};                 // main -> thread
  std::atomic<int32_t> seekRequest{0};                 // main sets, thread clears
  std::atomic<int32_t> seekTarget{0};                  // main -> thread
  std::atomic<int32_t> endOfData{0};                   // thread -> main
  std::atomic<int32_t> currentFrame{-1};               // main -> thread
  std::thread thread;

  FileAccessTable file;  // copied at open; read, seek and eof are used
  FileAccessHandle fileHandle;

  // From the open on, used by the thread alone.
  ogg_sync_state sync;
  ogg_page page;
  ogg_stream_state stream;
  ogg_packet packet;
  int32_t streamReady;
  theora_info info;
  theora_comment comment;
  theora_state decoder;
  int32_t decoderReady;
  int32_t serialNumber;
  TheoraPageIndexEntry* pageIndex;
  int32_t pageCount;
  int32_t pageRoom;
  uint8_t* keyFrames;  // one byte a frame
  int64_t keyFrameRoom;
  int64_t totalFrames;
  int32_t decodePosition;  // the frame whose picture the decoder holds
  int32_t headerCount;
  TheoraFrameStockEntry* stock;
  int32_t stockCount;

  // Main thread.
  GraphImage frameImage;  // X8R8G8B8 picture of the current frame
  void* yuvSurface;       // none in software drawing
  uint32_t yuvFourCC;
  int32_t imageCurrent;
  int32_t surfaceCurrent;
};

struct TheoraMovieInfo {
  double framesPerSecond;
  int32_t frameCount;
  int32_t width;
  int32_t height;
};

// The context with frame 0 in its frame image, or null when the file is no
// Theora movie or anything fails; the file stays the caller's.
TheoraMovieContext* OpenTheoraMovie(const FileAccessTable* fileFunctions, FileAccessHandle fileHandle,
                                    int32_t stockCount);
int CloseTheoraMovie(TheoraMovieContext* context);
int SeekTheoraFrame(TheoraMovieContext* context, int32_t frame);
int AdvanceTheoraFrame(TheoraMovieContext* context, int32_t count);
int GetTheoraMovieInfo(const TheoraMovieContext* context, TheoraMovieInfo* info);
int32_t GetTheoraCurrentFrame(const TheoraMovieContext* context);
GraphImage* GetTheoraFrameImage(TheoraMovieContext* context);
// Main thread: the published stock entry of the frame, or null.
const TheoraFrameStockEntry* FindTheoraStockFrame(TheoraMovieContext* context, int32_t frame);
void* GetTheoraYuvSurface(const TheoraMovieContext* context);
// Tests: what every decoding thread calls for its waits instead of
// sleeping, doing the waiting itself (null puts the sleep back).
void SetTheoraThreadWaitForTest(void (*wait)(const TheoraMovieContext* context, int32_t milliseconds));
