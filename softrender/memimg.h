// Memory images of the software renderer. A MEMIMG is a small record owned by
// its caller; it views the pixels of a reference-counted MemImgBase, which owns
// the buffers. Views (DeriveMemImg) share the base of the image they cut from.
#pragma once
#include <cstdint>

#include "core/types.h"

struct ColorFormat;
struct GraphImage;
struct DirectDrawPixelFormat;
struct RunRow;

enum MemImgColorType : int32_t {
  MemImgType16 = 0,        // R5G6B5; with alpha 4 bytes: colour in bytes 0-1, alpha in byte 2
  MemImgType32 = 1,        // X8R8G8B8 (byte 3 is the alpha when the image has alpha)
  MemImgTypeBlend8 = 2,    // one 8-bit value (blend images)
  MemImgTypeSingle16 = 3,  // one 16-bit value
};

constexpr uint32_t kMemImgMagic = 0x12345678;

struct MemImgBase {
  int32_t refCount;          // the base goes with the last view's release
  int32_t width;             // of the whole image
  int32_t height;
  int32_t pitch;             // bytes from one row to the next
  int32_t pitchShift;        // k when pitch == 2^k, else -1
  const ColorFormat* colorFormat;  // shared, not owned
  uint32_t transparentColor; // raw pixel value (palette index for palette images)
  int32_t colorType;         // MemImgColorType
  int32_t paletteFlag;       // 0 or 1: pixels are 1-byte indices
  int32_t paletteCount;      // highest copied index + 1
  int32_t alphaFlag;         // 0 or 1
  int32_t premulValid;       // the premultiplied buffer matches the pixels
  int32_t runTableValid;     // the run table matches the pixels
  int32_t userBuffer;        // 1: the pixels belong to the caller
  void* palette;             // 256 entries of 2 (type 0) or 4 (type 1) bytes, or null
  void* paletteCopy;         // second half of the palette block, or null
  uint8_t* pixels;           // top-left pixel of the whole image
  uint8_t* premulPixels;     // same geometry as pixels, or null
  uint8_t* runTable;         // TransparencyRunTable, (width + 5) x height bytes, or null
  RunRow* runRows;           // one per row, in the run table's block after its codes
  // The view the run table was built from; another view of the same base
  // (even one of equal size) must not use it.
  const uint8_t* runTablePixels;
  int32_t runTableWidth;
  int32_t runTableHeight;
};

struct MEMIMG {
  uint32_t magic;            // kMemImgMagic while the record holds an image
  int32_t width;             // of this view
  int32_t height;
  uint8_t* pixels;           // this view's top-left pixel
  uint8_t* premulPixels;     // the same pixel in the premultiplied buffer, or null
  MemImgBase* base;
};

// TransparencyRunTable: per row, run codes (class << 6 | (length - 1)), each
// run 1..64 pixels, then the row end byte. No row index: rows follow each other.
enum TransparencyRunClass : uint8_t {
  RunTransparent = 0,  // skipped whole
  RunOpaque = 1,       // copied or blended without per-pixel tests
  RunPartial = 2,      // weighed by each pixel's alpha
};
constexpr uint8_t kRunRowEnd = 0xC0;
constexpr int kRunMaxLength = 64;

// What a row's codes say in a few numbers, built with them, so that a draw
// neither walks a row's codes to find what it touches nor dispatches the
// runs of the usual sprite row one by one. Its drawn pixels lie in
// [first, end) (first == end: none). A row whose drawn runs are a partial
// run, an opaque run and a partial run in that order (any of them empty, no
// transparent pixel between) is shaped: [first, opaqueFirst) and
// [opaqueEnd, end) are partial, [opaqueFirst, opaqueEnd) opaque. Any other
// row has opaqueFirst -1, and its codes start at byte codes of the table.
//
// A shaped row is also laid out for the vector draws, in steps of 4, 8 and
// 16 pixels (steps[0 .. 2]) laid edge to edge over its drawn pixels, inside
// the row: count steps from column first (0: nothing drawn; -1: not drawn
// so, where a partial part reaches past the first or last step, or the row
// is narrower than the steps). The steps between the first and the last
// are wholly opaque; in the first, the drawn lanes start at lane drawnFrom
// and the opaque ones at opaqueFrom, in the last they end before lanes
// drawnBelow and opaqueBelow.
struct RunRowSteps {
  int32_t first, count;
  uint8_t drawnFrom, opaqueFrom, drawnBelow, opaqueBelow;
};
constexpr int kRunRowStepSizes = 3;
constexpr int RunRowStepPixels(int index) { return 4 << index; }
// The index of a step size in steps, -1 for a size not laid out.
constexpr int RunRowStepIndex(int pixels) {
  for (int i = 0; i < kRunRowStepSizes; i++) {
    if (RunRowStepPixels(i) == pixels) return i;
  }
  return -1;
}
struct RunRow {
  int32_t codes;
  int32_t first, end;
  int32_t opaqueFirst, opaqueEnd;
  RunRowSteps steps[kRunRowStepSizes];
};
// The bytes of a run table and its row records for an image of the size;
// rowsOffset: where the records start.
int64_t RunTableBytes(int32_t width, int32_t height, int64_t* rowsOffset);

// 0 on success; -1 when the record already holds an image, for bad sizes, or
// when an allocation fails (nothing is left allocated then).
int CreateMemImg(MEMIMG* image, int32_t width, int32_t height, int32_t pitch,
                 uint32_t transparentColor, int32_t colorType, int32_t paletteFlag,
                 int32_t alphaFlag, int32_t extraBuffers, void* userPixels);
// Clears the record first; type -1 means the screen's type.
int CreateMemImgSimple(MEMIMG* image, int32_t width, int32_t height, int32_t colorType);
// A view of (x, y, width, height) of source, relative to source's own view.
void DeriveMemImg(MEMIMG* view, const MEMIMG* source, int32_t x, int32_t y, int32_t width,
                  int32_t height);
int CheckValidMemImg(const MEMIMG* image);  // 1 live, 0 otherwise
void ReleaseMemImg(MEMIMG* image);

// Bytes per pixel of the base's pixel buffer: {2, 4, 1, 2} by type, 1 with a
// palette, 4 for type 0 with alpha.
int MemImgBytesPerPixel(const MemImgBase* base);
int MemImgBytesPerPixelOf(int32_t colorType, int32_t paletteFlag, int32_t alphaFlag);

// Static descriptions, built on first request; null for a type above 3.
const ColorFormat* GetMemImgColorFormat(uint32_t colorType, int32_t alpha, int32_t palette);
const DirectDrawPixelFormat* GetMemImgDirectDrawPixelFormat(uint32_t colorType, int32_t alpha,
                                                           int32_t palette);

// Loads a rectangle of a GraphImage (and an alpha image read at the same
// coordinates) into the destination at (destX, destY); prepares the run table
// and premultiplied buffer after a whole-view copy. The converter's negative
// result on failure, else 0.
int CopyGraphImageToMemImg(const GraphImage* image, const GraphImage* alphaImage,
                           MEMIMG* destination, int32_t srcX, int32_t srcY, int32_t width,
                           int32_t height, int32_t destX, int32_t destY,
                           int32_t transparentToAlpha);
// After pixels were written into the view: the auxiliary buffers no longer
// match; a write over the whole view rebuilds them.
void PrepareMemImgAfterCopy(MEMIMG* image, bool wholeView);
// Copies a rectangle (null: all of source) with format conversion, no blending.
int ConvertBlitMemImg(MEMIMG* destination, const MEMIMG* source, const IntRect* sourceRect,
                      int32_t destX, int32_t destY);
// Writes the raw value into the rectangle (null: whole image), clipped to the image.
void FillMemImgRaw(MEMIMG* image, const IntRect* rect, uint32_t value);

// 1 when image may be drawn through its base's run table: the table is valid
// and was built from exactly this view.
int MemImgRunTableUsable(const MEMIMG* image);
// Rebuilds the run table from the view's pixels (used after a whole copy).
void BuildTransparencyRunTable(MEMIMG* image);
// Rebuilds the premultiplied buffer from the view's pixels.
void BuildPremultipliedBuffer(MEMIMG* image);
// The transparent colour changed: the run table no longer matches.
void SetMemImgTransparentColor(MEMIMG* image, uint32_t color);
