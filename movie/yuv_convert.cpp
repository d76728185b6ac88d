#include "movie/yuv_convert.h"

#include <algorithm>
#include <cstring>

#include "core/helpers.h"
#include "graphics/graph_handle.h"
#include "image/graph_image.h"
#include "movie/movie.h"
#include "movie/theora_decoder.h"
#include "platform/timer.h"
#include "softrender/memimg.h"

namespace {

constexpr int kFixedOne = 16384;

struct YuvTables {
  int32_t redCr[256];
  int32_t greenCb[256];
  int32_t greenCr[256];  // carries the rounding term of the green sum
  int32_t blueCb[256];
};
YuvTables g_yuv;

// The table sum of one channel, cut toward zero and clamped to a byte, in a
// form the compiler turns into vector code (a clamp table would not be).
inline uint32_t Channel(int32_t sum) {
  const int32_t v = (sum + ((sum >> 31) & (kFixedOne - 1))) >> 14;
  return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// One row against its chroma terms, one pixel a lane. The luma term,
// 19070 (Y - 16), is worked out: a table look-up would stop the vectors.
template <int>
inline void ConvertRowBody(const uint8_t* luma, const int32_t* red, const int32_t* green, const int32_t* blue,
                           uint32_t* out, int32_t count) {
  for (int32_t x = 0; x < count; x++) {
    const int32_t l = 19070 * (luma[x] - 16);
    out[x] = Channel(l + blue[x]) | Channel(l + green[x]) << 8 | Channel(l + red[x]) << 16 | 0xFF000000u;
  }
}

using ConvertRowFunction = void (*)(const uint8_t*, const int32_t*, const int32_t*, const int32_t*, uint32_t*,
                                    int32_t);

void ConvertRowPlain(const uint8_t* luma, const int32_t* red, const int32_t* green, const int32_t* blue,
                     uint32_t* out, int32_t count) {
  ConvertRowBody<0>(luma, red, green, blue, out, count);
}

__attribute__((target("avx2"))) void ConvertRowAvx2(const uint8_t* luma, const int32_t* red, const int32_t* green,
                                                     const int32_t* blue, uint32_t* out, int32_t count) {
  ConvertRowBody<1>(luma, red, green, blue, out, count);
}

// Chosen once by the vector level (not through an ifunc, which the
// sanitizers cannot run before they start).
const ConvertRowFunction ConvertRow = VectorLevel() >= 2 ? ConvertRowAvx2 : ConvertRowPlain;

// Two rows at a time: the chroma terms of each 2 x 2 block come from the
// tables once and serve its four pixels.
void Convert420(const YuvPlanes& planes, uint8_t* dest, int32_t pitch, int32_t width, int32_t height) {
  constexpr int32_t kChunk = 256;
  alignas(32) int32_t red[kChunk + 1], green[kChunk + 1], blue[kChunk + 1];
  alignas(32) uint32_t out[kChunk];
  for (int32_t y = 0; y < height; y += 2) {
    const uint8_t* cb = planes.cb + static_cast<int64_t>(y / 2) * planes.chromaStride;
    const uint8_t* cr = planes.cr + static_cast<int64_t>(y / 2) * planes.chromaStride;
    for (int32_t x0 = 0; x0 < width; x0 += kChunk) {
      const int32_t count = std::min(kChunk, width - x0);
      // x0 is even: pixel pair i shares chroma sample x0 / 2 + i.
      for (int32_t i = 0; i < (count + 1) / 2; i++) {
        const int32_t c = x0 / 2 + i;
        red[2 * i] = red[2 * i + 1] = g_yuv.redCr[cr[c]];
        green[2 * i] = green[2 * i + 1] = g_yuv.greenCb[cb[c]] + g_yuv.greenCr[cr[c]];
        blue[2 * i] = blue[2 * i + 1] = g_yuv.blueCb[cb[c]];
      }
      for (int32_t row = y; row < std::min(y + 2, height); row++) {
        ConvertRow(planes.y + static_cast<int64_t>(row) * planes.yStride + x0, red, green, blue, out, count);
        std::memcpy(dest + static_cast<int64_t>(row) * pitch + x0 * 4, out, static_cast<size_t>(count) * 4);
      }
    }
  }
}

inline uint8_t ClampFloat(double value) {
  const double truncated = static_cast<double>(static_cast<int64_t>(value));
  return static_cast<uint8_t>(std::clamp(truncated, 0.0, 255.0));
}

// Any other chroma layout: each pixel's chroma sample at its share of the
// chroma plane's size (the same sample for 4:4:4, every second for 4:2:2).
void ConvertFloat(const YuvPlanes& planes, uint8_t* dest, int32_t pitch, int32_t width, int32_t height) {
  for (int32_t y = 0; y < height; y++) {
    const int64_t chromaRow = int64_t{y} * planes.chromaHeight / planes.yHeight;
    const uint8_t* yRow = planes.y + static_cast<int64_t>(y) * planes.yStride;
    const uint8_t* cbRow = planes.cb + chromaRow * planes.chromaStride;
    const uint8_t* crRow = planes.cr + chromaRow * planes.chromaStride;
    uint8_t* d = dest + static_cast<int64_t>(y) * pitch;
    for (int32_t x = 0; x < width; x++) {
      const int64_t chromaColumn = int64_t{x} * planes.chromaWidth / planes.yWidth;
      const double luma = 1.164 * (yRow[x] - 16);
      const int cb = cbRow[chromaColumn] - 128, cr = crRow[chromaColumn] - 128;
      d[x * 4 + 0] = ClampFloat(luma + 2.018 * cb);
      d[x * 4 + 1] = ClampFloat(luma - 0.391 * cb - 0.813 * cr);
      d[x * 4 + 2] = ClampFloat(luma + 1.596 * cr);
      d[x * 4 + 3] = 255;
    }
  }
}

bool Is420(const YuvPlanes& p) { return p.yWidth == 2 * p.chromaWidth && p.yHeight == 2 * p.chromaHeight; }

YuvPlanes PlanesOf(const TheoraFrameStockEntry& e) {
  return {e.y, e.cb, e.cr, e.yWidth, e.yHeight, e.yStride, e.chromaWidth, e.chromaHeight, e.chromaStride};
}

}  // namespace

int InitYuvToRgbTables() {
  for (int v = 0; v < 256; v++) {
    g_yuv.redCr[v] = 26148 * (v - 128);
    g_yuv.greenCb[v] = -6406 * (v - 128);
    g_yuv.greenCr[v] = -13320 * (v - 128) + 1024;
    g_yuv.blueCb[v] = 33062 * (v - 128);
  }
  return 0;
}

void ConvertYuvToBgrx(const YuvPlanes& planes, uint8_t* dest, int32_t pitch, int32_t width, int32_t height) {
  width = std::min(width, planes.yWidth);
  height = std::min(height, planes.yHeight);
  if (width <= 0 || height <= 0 || planes.chromaWidth <= 0 || planes.chromaHeight <= 0) return;
  if (Is420(planes)) {
    Convert420(planes, dest, pitch, width, height);
  } else {
    ConvertFloat(planes, dest, pitch, width, height);
  }
}

bool PackYuvPlanes(const YuvPlanes& planes, uint32_t fourCC, uint8_t* dest, int32_t pitch) {
  if (!Is420(planes)) return false;
  const int32_t width = planes.yWidth, height = planes.yHeight;
  if (fourCC == kFourCCYV12) {
    for (int32_t y = 0; y < height; y++) {
      std::memcpy(dest + int64_t{y} * pitch, planes.y + int64_t{y} * planes.yStride, static_cast<size_t>(width));
    }
    // Cr before Cb, each at half the pitch, after the luma rows.
    uint8_t* chroma = dest + int64_t{height} * pitch;
    for (const uint8_t* plane : {planes.cr, planes.cb}) {
      for (int32_t y = 0; y < planes.chromaHeight; y++) {
        std::memcpy(chroma + int64_t{y} * (pitch / 2), plane + int64_t{y} * planes.chromaStride,
                    static_cast<size_t>(planes.chromaWidth));
      }
      chroma += int64_t{planes.chromaHeight} * (pitch / 2);
    }
    return true;
  }
  if (fourCC != kFourCCYUY2 && fourCC != kFourCCUYVY) return false;
  const bool lumaFirst = fourCC == kFourCCYUY2;
  for (int32_t y = 0; y < height; y++) {
    const uint8_t* yRow = planes.y + int64_t{y} * planes.yStride;
    const uint8_t* cbRow = planes.cb + int64_t{y / 2} * planes.chromaStride;
    const uint8_t* crRow = planes.cr + int64_t{y / 2} * planes.chromaStride;
    uint8_t* d = dest + int64_t{y} * pitch;
    for (int32_t x = 0; x < width; x += 2, d += 4) {
      const uint8_t cb = cbRow[x / 2], cr = crRow[x / 2];
      if (lumaFirst) {
        d[0] = yRow[x], d[1] = cb, d[2] = yRow[x + 1], d[3] = cr;
      } else {
        d[0] = cb, d[1] = yRow[x], d[2] = cr, d[3] = yRow[x + 1];
      }
    }
  }
  return true;
}

// Software drawing has no device, and so no surface format to take.
void CreateTheoraYuvSurface(TheoraMovieContext* context) {
  context->yuvSurface = nullptr;
  context->yuvFourCC = 0;
}

int UpdateTheoraFrameImage(TheoraMovieContext* c, int32_t wantImage, int32_t wantSurface) {
  // No surface is ever made here (see above), so only the image can be wanted.
  const bool image = wantImage == 1 && !c->imageCurrent;
  if (!image) return 0;
  const int32_t current = GetTheoraCurrentFrame(c);
  const TheoraFrameStockEntry* entry;
  for (;;) {
    const int32_t state = c->threadState.load(std::memory_order_acquire);
    if (state == kTheoraExited) return 0;
    // A seek asked for but not yet begun counts as under way: the stock still
    // holds the frames from before it.
    if (state == kTheoraSeeking || c->seekRequest.load(std::memory_order_acquire)) {
      PlatformSleepMs(1);
      continue;
    }
    entry = FindTheoraStockFrame(c, current);
    if (entry) break;
    if (c->endOfData.load(std::memory_order_acquire)) return 0;
    PlatformSleepMs(0);
  }
  GraphImage& frame = c->frameImage;
  ConvertYuvToBgrx(PlanesOf(*entry), static_cast<uint8_t*>(frame.pixels), frame.pitch, frame.width, frame.height);
  c->imageCurrent = 1;
  return 1;
}

void TransferMovieFrameImage(MovieRecord* movie, int32_t graph) {
  GraphHandleRecord* record = LookupGraphHandle(graph);
  if (!movie || !record || !movie->frameImage || !movie->frameImage->pixels) return;
  // The movie paints its graphic's whole picture, which a graphic cut from
  // it may show only part of.
  MEMIMG* dest = &record->original->image;
  GraphImage source = *movie->frameImage;
  const int32_t bytes = source.format.bytesPerPixel;
  if (movie->alphaInRightHalf) {
    // The right half is the alpha of the left: the same rows, half a row on.
    source.width /= 2;
    GraphImage alpha = source;
    alpha.pixels = static_cast<uint8_t*>(source.pixels) + static_cast<int64_t>(source.width) * bytes;
    CopyGraphImageToMemImg(&source, &alpha, dest, 0, 0, std::min(dest->width, source.width),
                           std::min(dest->height, source.height), 0, 0, 0);
    return;
  }
  const int32_t width = std::min(dest->width, source.width), height = std::min(dest->height, source.height);
  if (movie->surfaceMode != 2 && dest->base->colorFormat->bitsPerPixel == source.format.bitsPerPixel &&
      MemImgBytesPerPixel(dest->base) == bytes) {
    // The formats agree: the rows as they are.
    for (int32_t y = 0; y < height; y++) {
      std::memcpy(dest->pixels + static_cast<int64_t>(y) * dest->base->pitch,
                  static_cast<const uint8_t*>(source.pixels) + static_cast<int64_t>(y) * source.pitch,
                  static_cast<size_t>(width) * bytes);
    }
    PrepareMemImgAfterCopy(dest, width == dest->width && height == dest->height);
    return;
  }
  CopyGraphImageToMemImg(&source, nullptr, dest, 0, 0, width, height, 0, 0, 0);
}

void CopyMovieFrameToGraph(MovieRecord* movie, int32_t graph) {
  if (!LookupGraphHandle(graph)) return;
  // Only a frame the decoder reports as new is transferred.
  if (movie->theoraFlag && UpdateTheoraFrameImage(movie->theora, 1, 0) == 0) return;
  TransferMovieFrameImage(movie, graph);
}
