#include "movie/theora_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/log.h"
#include "core/memory.h"
#include "movie/movie.h"
#include "movie/yuv_convert.h"
#include "platform/timer.h"

namespace {

constexpr int kFeedBytes = 4096;
constexpr int32_t kIndexGrowth = 1000;
// A file claiming more frames than this is taken as hostile: the key-frame
// flags alone would need gigabytes.
constexpr int64_t kMaxFrames = int64_t{1} << 28;

// ---- Reading -------------------------------------------------------------

int FeedTheoraStream(TheoraMovieContext* c, int size) {
  char* buffer = ogg_sync_buffer(&c->sync, size);
  if (!buffer) return 0;
  const size_t got = c->file.read(buffer, 1, static_cast<size_t>(size), c->fileHandle);
  ogg_sync_wrote(&c->sync, static_cast<long>(got));
  return static_cast<int>(got);
}

void ResetReading(TheoraMovieContext* c, int64_t offset) {
  ogg_sync_reset(&c->sync);
  ogg_stream_reset(&c->stream);
  c->file.seek(c->fileHandle, offset, 0);
}

int ReadTheoraHeaders(TheoraMovieContext* c) {
  // The beginning-of-stream pages come first; the Theora stream is the one
  // whose first packet the decoder takes as its identification header.
  bool searching = true;
  while (searching) {
    if (ogg_sync_pageout(&c->sync, &c->page) <= 0) {
      if (FeedTheoraStream(c, kFeedBytes) == 0) return -1;
      continue;
    }
    if (!ogg_page_bos(&c->page)) {
      if (!c->streamReady) return -1;  // every stream has begun and none is Theora
      ogg_stream_pagein(&c->stream, &c->page);
      searching = false;
      continue;
    }
    if (c->streamReady) continue;  // a later stream's first page
    ogg_stream_state scratch;
    ogg_stream_init(&scratch, ogg_page_serialno(&c->page));
    ogg_stream_pagein(&scratch, &c->page);
    ogg_packet packet;
    if (ogg_stream_packetout(&scratch, &packet) == 1 &&
        theora_decode_header(&c->info, &c->comment, &packet) >= 0) {
      c->serialNumber = ogg_page_serialno(&c->page);
      c->headerCount = 1;
      c->stream = scratch;
      c->streamReady = 1;
    } else {
      ogg_stream_clear(&scratch);
    }
  }
  while (c->headerCount < 3) {
    const int got = ogg_stream_packetout(&c->stream, &c->packet);
    if (got < 0) return -1;
    if (got > 0) {
      if (theora_decode_header(&c->info, &c->comment, &c->packet) < 0) return -1;
      c->headerCount++;
      continue;
    }
    if (ogg_sync_pageout(&c->sync, &c->page) > 0) {
      ogg_stream_pagein(&c->stream, &c->page);
    } else if (FeedTheoraStream(c, kFeedBytes) == 0) {
      return -1;
    }
  }
  return 1;
}

// ---- Index ---------------------------------------------------------------

// Room for one more entry when full: doubled, so that a file of millions of
// frames is copied a few times over while its index is built, not once per
// thousand frames.
int64_t GrownRoom(int64_t room) { return std::min(room + std::max<int64_t>(room, kIndexGrowth), kMaxFrames + 1); }

bool GrowIndex(TheoraMovieContext* c) {
  if (c->pageCount < c->pageRoom) return true;
  if (c->pageRoom > kMaxFrames) return false;
  const int64_t room = GrownRoom(c->pageRoom);
  auto* grown = static_cast<TheoraPageIndexEntry*>(
      VN_REALLOC(c->pageIndex, sizeof(TheoraPageIndexEntry) * static_cast<size_t>(room)));
  if (!grown) return false;
  c->pageIndex = grown;
  c->pageRoom = static_cast<int32_t>(room);
  return true;
}

bool GrowKeyFrames(TheoraMovieContext* c) {
  if (c->totalFrames < c->keyFrameRoom) return true;
  if (c->totalFrames >= kMaxFrames) return false;
  const int64_t room = GrownRoom(c->keyFrameRoom);
  auto* grown = static_cast<uint8_t*>(VN_REALLOC(c->keyFrames, static_cast<size_t>(room)));
  if (!grown) return false;
  c->keyFrames = grown;
  c->keyFrameRoom = room;
  return true;
}

// Reads the whole file once, so that a seek can start near the key frame
// before its target instead of at the file's start.
bool BuildPageIndex(TheoraMovieContext* c) {
  int64_t nextPageOffset = 0;
  int64_t lastPageOffset = 0;
  bool newPage = false;
  for (;;) {
    const int got = ogg_stream_packetout(&c->stream, &c->packet);
    if (got == 0) {
      if (ogg_sync_pageout(&c->sync, &c->page) > 0) {
        lastPageOffset = nextPageOffset;
        nextPageOffset += c->page.header_len + c->page.body_len;
        newPage = true;
        ogg_stream_pagein(&c->stream, &c->page);
      } else if (FeedTheoraStream(c, kFeedBytes) == 0) {
        break;
      }
      continue;
    }
    if (got < 0 || theora_packet_iskeyframe(&c->packet) < 0) continue;
    if (newPage) {
      newPage = false;
      if (!GrowIndex(c)) return false;
      c->pageIndex[c->pageCount++] = {lastPageOffset, static_cast<int32_t>(c->totalFrames), 0, 0};
    }
    if (c->pageCount == 0 || !GrowKeyFrames(c)) return false;
    TheoraPageIndexEntry& entry = c->pageIndex[c->pageCount - 1];
    const bool key = theora_packet_iskeyframe(&c->packet) == 1;
    if (key) entry.keyFrame = 1;
    c->keyFrames[c->totalFrames] = key ? 1 : 0;
    c->totalFrames++;
    entry.frameCount++;
  }
  // A restart then reads the headers again, which the decode steps pass over.
  if (c->pageCount > 0) c->pageIndex[0].fileOffset = 0;
  return true;
}

// ---- Decoding (thread) ---------------------------------------------------

// Read by every decoding thread at each of its waits.
std::atomic<void (*)(const TheoraMovieContext*, int32_t)> g_threadWaitForTest{nullptr};

// Every wait of the decoding thread: 0 lets others run and comes straight
// back, for a thread with more to decode.
void ThreadWait(const TheoraMovieContext* c, int32_t milliseconds) {
  if (void (*wait)(const TheoraMovieContext*, int32_t) = g_threadWaitForTest.load(std::memory_order_relaxed)) {
    wait(c, milliseconds);
  } else if (milliseconds > 0) {
    PlatformSleepMs(static_cast<uint32_t>(milliseconds));
  } else {
    std::this_thread::yield();
  }
}

// Takes count frames' packets from the decode position on; packets before the
// last key frame among them are read but not decoded. 1 when the last packet
// was a key frame, 0 when not, -1 at the end of the data.
int DecodeTheoraFrames(TheoraMovieContext* c, int32_t count) {
  int64_t lastKey = -1;
  const int64_t first = int64_t{c->decodePosition} + 1;
  const int64_t last = std::min<int64_t>(first + count, c->totalFrames);
  for (int64_t f = std::max<int64_t>(first, 0); f < last; f++) {
    if (c->keyFrames[f]) lastKey = f;
  }
  int taken = 0;
  int lastWasKey = 0;
  while (taken < count) {
    const int got = ogg_stream_packetout(&c->stream, &c->packet);
    if (got == 0) {
      if (ogg_sync_pageout(&c->sync, &c->page) > 0) {
        ogg_stream_pagein(&c->stream, &c->page);
      } else if (c->file.eof(c->fileHandle) || FeedTheoraStream(c, kFeedBytes) == 0) {
        return -1;
      }
      continue;
    }
    if (got < 0) continue;  // a gap in the stream: the next packet follows
    const int key = theora_packet_iskeyframe(&c->packet);
    if (key < 0) continue;  // a header, met again after a restart
    if (!(lastKey >= 0 && lastKey > int64_t{c->decodePosition} + 1)) {
      theora_decode_packetin(&c->decoder, &c->packet);  // errors: the frame is counted all the same
    }
    c->decodePosition++;
    taken++;
    lastWasKey = key == 1 ? 1 : 0;
  }
  return lastWasKey;
}

// Restarts at the file's start and decodes up to the frame.
int DecodeFromStart(TheoraMovieContext* c, int32_t frame) {
  ResetReading(c, c->pageIndex[0].fileOffset);
  c->decodePosition = -1;
  return DecodeTheoraFrames(c, frame + 1);
}

// Makes the decoder hold the target frame, starting at a page before the
// last key frame that precedes the target's own page.
void SeekStep(TheoraMovieContext* c) {
  const int32_t target = c->seekTarget.load(std::memory_order_acquire);
  int32_t i = 0;
  while (i < c->pageCount &&
         int64_t{c->pageIndex[i].firstFrame} + c->pageIndex[i].frameCount <= target) {
    i++;
  }
  if (i >= c->pageCount) i = c->pageCount - 1;
  if (i > 0) i--;
  while (i > 0 && !c->pageIndex[i].keyFrame) i--;
  if (i > 0) i--;

  // A failed decode is not reported here: the held picture is stored as the
  // target all the same, and the next decode step meets the end again.
  if (i == 0) {
    DecodeFromStart(c, target);
  } else {
    const TheoraPageIndexEntry& entry = c->pageIndex[i];
    ResetReading(c, entry.fileOffset);
    bool paged = true;
    while (paged && ogg_sync_pageout(&c->sync, &c->page) <= 0) paged = FeedTheoraStream(c, kFeedBytes) > 0;
    if (paged) {
      // A page that continues a packet drops that packet's tail: the first
      // packet out is then the entry's second frame.
      c->decodePosition = entry.firstFrame - 1 + (ogg_page_continued(&c->page) ? 1 : 0);
      ogg_stream_pagein(&c->stream, &c->page);
      if (target > c->decodePosition) DecodeTheoraFrames(c, target - c->decodePosition);
    }
  }
  c->decodePosition = target;
  for (int32_t k = 0; k < c->stockCount; k++) c->stock[k].valid.store(0, std::memory_order_release);
  c->endOfData.store(0, std::memory_order_release);
  c->seekRequest.store(0, std::memory_order_release);
}

TheoraFrameStockEntry* FindStockFrame(TheoraMovieContext* c, int32_t frame) {
  for (int32_t k = 0; k < c->stockCount; k++) {
    TheoraFrameStockEntry& e = c->stock[k];
    if (e.valid.load(std::memory_order_relaxed) && e.frame.load(std::memory_order_relaxed) == frame) return &e;
  }
  return nullptr;
}

// Distance from a to b going forward through the movie's end (0 .. total - 1).
int64_t ForwardDistance(int64_t a, int64_t b, int64_t total) {
  const int64_t d = (b - a) % total;
  return d < 0 ? d + total : d;
}

// Frees a plane whose geometry changed and allocates a missing one.
bool FitPlane(uint8_t** plane, int32_t* width, int32_t* height, int32_t* stride, int32_t newWidth,
              int32_t newHeight, int32_t newStride) {
  if (*plane && (*width != newWidth || *height != newHeight || *stride != newStride)) {
    MemFree(*plane);
    *plane = nullptr;
  }
  *width = newWidth;
  *height = newHeight;
  *stride = newStride;
  if (!*plane) *plane = static_cast<uint8_t*>(VN_ALLOC(static_cast<size_t>(newStride) * static_cast<size_t>(newHeight)));
  return *plane != nullptr;
}

// Rows are copied one by one: the decoder may hand its planes bottom-up,
// with a negative stride.
void CopyPlane(uint8_t* dest, int32_t destStride, const uint8_t* src, int32_t srcStride, int32_t width,
               int32_t height) {
  for (int32_t row = 0; row < height; row++) {
    std::memcpy(dest + static_cast<int64_t>(row) * destStride, src + static_cast<int64_t>(row) * srcStride,
                static_cast<size_t>(width));
  }
}

// Puts the decoder's picture into a free entry as the decode position's
// frame. When none can be stored, the end-of-data flag tells the main thread
// not to wait for it.
bool StoreFrame(TheoraMovieContext* c, TheoraFrameStockEntry* e) {
  yuv_buffer yuv;
  if (theora_decode_YUVout(&c->decoder, &yuv) != 0 || !yuv.y || !yuv.u || !yuv.v) return false;
  const int32_t yStride = std::abs(yuv.y_stride), chromaStride = std::abs(yuv.uv_stride);
  if (yuv.y_width <= 0 || yuv.y_height <= 0 || yuv.uv_width <= 0 || yuv.uv_height <= 0 ||
      yStride < yuv.y_width || chromaStride < yuv.uv_width) {
    return false;
  }
  e->frame.store(c->decodePosition, std::memory_order_release);
  if (e->cb && (e->chromaWidth != yuv.uv_width || e->chromaHeight != yuv.uv_height || e->chromaStride != chromaStride)) {
    MemFree(e->cb);
    MemFree(e->cr);
    e->cb = e->cr = nullptr;
  }
  int32_t w = e->chromaWidth, h = e->chromaHeight, s = e->chromaStride;
  if (!FitPlane(&e->y, &e->yWidth, &e->yHeight, &e->yStride, yuv.y_width, yuv.y_height, yStride) ||
      !FitPlane(&e->cb, &w, &h, &s, yuv.uv_width, yuv.uv_height, chromaStride) ||
      !FitPlane(&e->cr, &e->chromaWidth, &e->chromaHeight, &e->chromaStride, yuv.uv_width, yuv.uv_height,
                chromaStride)) {
    return false;
  }
  CopyPlane(e->y, e->yStride, yuv.y, yuv.y_stride, yuv.y_width, yuv.y_height);
  CopyPlane(e->cb, e->chromaStride, yuv.u, yuv.uv_stride, yuv.uv_width, yuv.uv_height);
  CopyPlane(e->cr, e->chromaStride, yuv.v, yuv.uv_stride, yuv.uv_width, yuv.uv_height);
  e->valid.store(1, std::memory_order_release);
  return true;
}

void DecodeStep(TheoraMovieContext* c) {
  const int64_t total = c->totalFrames;
  const int32_t current = c->currentFrame.load(std::memory_order_acquire);
  // The stock is the window of stockCount frames from the current frame on,
  // wrapping through the movie's end; everything else goes.
  if (!c->endOfData.load(std::memory_order_relaxed)) {
    for (int32_t k = 0; k < c->stockCount; k++) {
      TheoraFrameStockEntry& e = c->stock[k];
      if (e.valid.load(std::memory_order_relaxed) &&
          ForwardDistance(current, e.frame.load(std::memory_order_relaxed), total) >= c->stockCount) {
        e.valid.store(0, std::memory_order_release);
      }
    }
  }
  TheoraFrameStockEntry* freeEntry = nullptr;
  int32_t held = 0;
  for (int32_t k = 0; k < c->stockCount; k++) {
    if (c->stock[k].valid.load(std::memory_order_relaxed)) {
      held++;
    } else if (!freeEntry) {
      freeEntry = &c->stock[k];
    }
  }
  // A movie shorter than the stock is held whole once every frame is in.
  if (!freeEntry || held >= total) {
    c->threadState.store(kTheoraStockFull, std::memory_order_release);
    // Nothing to do until the main thread moves on, which may be never: a
    // millisecond's sleep keeps an open movie off the processor, and the
    // stock holds the next frames meanwhile.
    ThreadWait(c, 1);
    return;
  }
  c->threadState.store(kTheoraDecoding, std::memory_order_release);

  const bool currentAhead = ForwardDistance(current, c->decodePosition, total) >= c->stockCount;
  const bool heldInStock = FindStockFrame(c, c->decodePosition) != nullptr;
  if (heldInStock || currentAhead) {
    const int64_t step =
        currentAhead && !FindStockFrame(c, current) ? ForwardDistance(c->decodePosition, current, total) : 1;
    int result;
    if (c->decodePosition + step < total) {
      result = DecodeTheoraFrames(c, static_cast<int32_t>(step));
    } else {
      result = DecodeFromStart(c, static_cast<int32_t>(c->decodePosition + step - total));
    }
    if (result < 0) {
      c->endOfData.store(1, std::memory_order_release);
      ThreadWait(c, 1);
      return;
    }
  }
  // A frame already in the stock (met again after a wrap) is not stored twice.
  if (!FindStockFrame(c, c->decodePosition) && !StoreFrame(c, freeEntry)) {
    c->endOfData.store(1, std::memory_order_release);
    ThreadWait(c, 1);
    return;
  }
  ThreadWait(c, 0);
}

void TheoraDecodeThread(TheoraMovieContext* c) {
  while (!c->quitRequest.load(std::memory_order_acquire)) {
    if (c->pauseRequest.load(std::memory_order_acquire)) {
      c->threadState.store(kTheoraPaused, std::memory_order_release);
      ThreadWait(c, 1);
    } else if (c->seekRequest.load(std::memory_order_acquire)) {
      c->threadState.store(kTheoraSeeking, std::memory_order_release);
      if (c->pageCount == 0) break;  // no video frame at all
      SeekStep(c);
    } else {
      DecodeStep(c);
    }
  }
  c->threadState.store(kTheoraExited, std::memory_order_release);
}

void FreeContext(TheoraMovieContext* c) {
  if (c->stock) {
    for (int32_t k = 0; k < c->stockCount; k++) {
      MemFree(c->stock[k].y);
      MemFree(c->stock[k].cb);
      MemFree(c->stock[k].cr);
    }
    MemFree(c->stock);
  }
  c->yuvSurface = nullptr;
  MemFree(c->pageIndex);
  MemFree(c->keyFrames);
  ReleaseGraphImage(&c->frameImage);
  if (c->streamReady) ogg_stream_clear(&c->stream);
  if (c->decoderReady) theora_clear(&c->decoder);
  theora_comment_clear(&c->comment);
  theora_info_clear(&c->info);
  ogg_sync_clear(&c->sync);
  c->~TheoraMovieContext();
  MemFree(c);
}

TheoraMovieContext* FailOpen(TheoraMovieContext* c, const char* message) {
  if (message) LogWrite(message);
  CloseTheoraMovie(c);
  return nullptr;
}

}  // namespace

TheoraMovieContext* OpenTheoraMovie(const FileAccessTable* fileFunctions, FileAccessHandle fileHandle,
                                    int32_t stockCount) {
  char magic[4];
  if (!fileFunctions || stockCount <= 0 || fileFunctions->read(magic, 1, 4, fileHandle) != 4 ||
      std::memcmp(magic, "OggS", 4) != 0) {
    return nullptr;
  }
  fileFunctions->seek(fileHandle, 0, 0);

  void* memory = VN_ALLOC_ZEROED(sizeof(TheoraMovieContext));
  if (!memory) {
    LogWrite("Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
    return nullptr;
  }
  auto* c = new (memory) TheoraMovieContext;
  ogg_sync_init(&c->sync);
  theora_info_init(&c->info);
  theora_comment_init(&c->comment);
  c->file = *fileFunctions;
  c->fileHandle = fileHandle;
  if (ReadTheoraHeaders(c) < 0) return FailOpen(c, nullptr);
  // The clock divides by the rate, and the frame's size comes from the file.
  if (c->info.fps_numerator == 0 || c->info.fps_denominator == 0) return FailOpen(c, nullptr);
  if (!MoviePictureSizeAllowed(c->info.width, c->info.height)) {
    return FailOpen(c, "Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
  }

  c->pauseRequest.store(1, std::memory_order_relaxed);
  c->threadState.store(kTheoraStockFull, std::memory_order_relaxed);
  try {
    c->thread = std::thread(TheoraDecodeThread, c);
  } catch (...) {
    return FailOpen(c, "Theora ムービーデコード用スレッドの作成に失敗しました\n");
  }

  if (theora_decode_init(&c->decoder, &c->info) != 0) return FailOpen(c, nullptr);
  c->decoderReady = 1;
  ResetReading(c, 0);

  c->pageIndex = static_cast<TheoraPageIndexEntry*>(VN_ALLOC(sizeof(TheoraPageIndexEntry) * kIndexGrowth));
  if (!c->pageIndex) return FailOpen(c, "Theora ページ情報格納用メモリの確保に失敗しました\n");
  c->pageRoom = kIndexGrowth;
  c->keyFrames = static_cast<uint8_t*>(VN_ALLOC(kIndexGrowth));
  if (!c->keyFrames) return FailOpen(c, "Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
  c->keyFrameRoom = kIndexGrowth;
  if (!BuildPageIndex(c)) return FailOpen(c, "Theora キーフレーム情報格納用メモリの確保に失敗しました\n");
  // Without frames there is no clock to run and nothing to show.
  if (c->totalFrames == 0) return FailOpen(c, nullptr);

  CreateTheoraYuvSurface(c);
  if (CreateGraphImage(static_cast<int32_t>(c->info.width), static_cast<int32_t>(c->info.height),
                       &c->frameImage) != 0) {
    return FailOpen(c, "Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
  }
  c->stock = static_cast<TheoraFrameStockEntry*>(VN_ALLOC_ZEROED(sizeof(TheoraFrameStockEntry) * stockCount));
  if (!c->stock) return FailOpen(c, "Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
  c->stockCount = stockCount;

  SeekTheoraFrame(c, 0);
  UpdateTheoraFrameImage(c, 1, 1);
  return c;
}

int CloseTheoraMovie(TheoraMovieContext* c) {
  if (!c) return -1;
  if (c->thread.joinable()) {
    c->quitRequest.store(1, std::memory_order_release);
    while (c->threadState.load(std::memory_order_acquire) != kTheoraExited) PlatformSleepMs(1);
    c->thread.join();
  }
  FreeContext(c);
  return 0;
}

int SeekTheoraFrame(TheoraMovieContext* c, int32_t frame) {
  if (frame == c->currentFrame.load(std::memory_order_relaxed)) return 0;
  c->imageCurrent = 0;
  c->surfaceCurrent = 0;
  c->pauseRequest.store(1, std::memory_order_release);
  for (;;) {
    const int32_t state = c->threadState.load(std::memory_order_acquire);
    if (state == kTheoraPaused) break;
    if (state == kTheoraExited) return 0;
    std::this_thread::yield();
  }
  frame = static_cast<int32_t>(std::clamp<int64_t>(frame, 0, c->totalFrames - 1));
  c->currentFrame.store(frame, std::memory_order_release);
  c->seekTarget.store(frame, std::memory_order_release);
  c->seekRequest.store(1, std::memory_order_release);
  c->pauseRequest.store(0, std::memory_order_release);
  return 0;
}

int AdvanceTheoraFrame(TheoraMovieContext* c, int32_t count) {
  if (count <= 0) return 0;
  // Modulo the total, not one subtraction: a count past a whole round would
  // leave a frame that never comes, and the wait for it would not end.
  const int64_t frame = (int64_t{c->currentFrame.load(std::memory_order_relaxed)} + count) % c->totalFrames;
  c->currentFrame.store(static_cast<int32_t>(frame), std::memory_order_release);
  c->imageCurrent = 0;
  c->surfaceCurrent = 0;
  return 0;
}

int GetTheoraMovieInfo(const TheoraMovieContext* c, TheoraMovieInfo* info) {
  info->framesPerSecond = static_cast<double>(c->info.fps_numerator) / static_cast<double>(c->info.fps_denominator);
  info->frameCount = static_cast<int32_t>(c->totalFrames);
  info->width = static_cast<int32_t>(c->info.width);
  info->height = static_cast<int32_t>(c->info.height);
  return 0;
}

int32_t GetTheoraCurrentFrame(const TheoraMovieContext* c) { return c->currentFrame.load(std::memory_order_relaxed); }

GraphImage* GetTheoraFrameImage(TheoraMovieContext* c) { return &c->frameImage; }

const TheoraFrameStockEntry* FindTheoraStockFrame(TheoraMovieContext* c, int32_t frame) {
  for (int32_t k = 0; k < c->stockCount; k++) {
    const TheoraFrameStockEntry& e = c->stock[k];
    // valid again after the frame number: the entry was not refilled meanwhile.
    if (e.valid.load(std::memory_order_acquire) && e.frame.load(std::memory_order_acquire) == frame &&
        e.valid.load(std::memory_order_acquire)) {
      return &e;
    }
  }
  return nullptr;
}

void* GetTheoraYuvSurface(const TheoraMovieContext* c) { return c->yuvSurface; }

void SetTheoraThreadWaitForTest(void (*wait)(const TheoraMovieContext* context, int32_t milliseconds)) {
  g_threadWaitForTest.store(wait, std::memory_order_relaxed);
}
