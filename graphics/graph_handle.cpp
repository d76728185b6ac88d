#include "graphics/graph_handle.h"

#include <algorithm>
#include <cstring>

#include "core/handle.h"
#include "core/helpers.h"
#include "core/log.h"
#include "core/memory.h"
#include "graphics/draw_settings.h"
#include "graphics/screen.h"
#include "image/color_format.h"
#include "image/graph_image.h"
#include "image/image_api.h"
#include "image/image_loader.h"

namespace {

constinit HandleTable<GraphHandleRecord, kGraphHandleSlots> g_graphs{.type = HandleTypeGraph};

struct CreateGraphSettings {
  int32_t alphaChannel = 0;
  int32_t alphaTest = 0;
  int32_t bitDepth = 16;
  int32_t useHardware = 1;  // asked for by default; the start falls back to software
};
constinit CreateGraphSettings g_create;

constinit GraphMovieHooks g_movieHooks{};

// Pixels equal to this count as transparent in graphics without alpha: black.
constexpr uint32_t kTransparentColor = 0;


// New pixels of the size, all 0: a graphic's image in the screen's type, or
// an 8-bit blend image. The caller holds the one reference until it has made
// the graphics that show them, and then lets go (ReleaseOriginal).
GraphOriginalRecord* NewOriginal(int32_t width, int32_t height, int32_t alpha, int32_t blend) {
  auto* original = static_cast<GraphOriginalRecord*>(VN_ALLOC_ZEROED(sizeof(GraphOriginalRecord)));
  if (!original) {
    LogPrintf("グラフィックのデータを確保できませんでした");
    return nullptr;
  }
  const int32_t type = blend ? MemImgTypeBlend8 : ScreenMemImgColorType();
  if (CreateMemImg(&original->image, width, height, -1, blend ? 0 : kTransparentColor, type, 0,
                   blend ? 0 : alpha, 0, nullptr) != 0) {
    LogPrintf(blend ? "ブレンド画像用メモリイメージの作成に失敗しました" : "メモリイメージの作成に失敗しました");
    MemFree(original);
    return nullptr;
  }
  FillMemImgRaw(&original->image, nullptr, 0);
  original->width = width;
  original->height = height;
  original->blendGraph = blend ? 1 : 0;
  original->movie = -1;
  original->refCount = 1;
  return original;
}

void ReleaseOriginal(GraphOriginalRecord* original) {
  if (--original->refCount > 0) return;
  if (original->movie >= 0 && g_movieHooks.close) g_movieHooks.close(original->movie);
  ReleaseMemImg(&original->image);
  MemFree(original);
}

// A handle showing (x, y, width, height) of the original, which the caller
// has checked to lie inside it; -1 (logged) when the table is full.
int NewGraphHandle(GraphOriginalRecord* original, int32_t x, int32_t y, int32_t width,
                   int32_t height) {
  auto* record = static_cast<GraphHandleRecord*>(VN_ALLOC_ZEROED(sizeof(GraphHandleRecord)));
  if (!record) return LogPrintf("グラフィックハンドルのデータを確保できませんでした");
  DeriveMemImg(&record->image, &original->image, x, y, width, height);
  const int handle = CheckValidMemImg(&record->image) ? g_graphs.Add(record) : -1;
  if (handle == -1) {
    ReleaseMemImg(&record->image);
    MemFree(record);
    return LogPrintf("グラフィックハンドルの数が上限 %d に達しました", kGraphHandleSlots);
  }
  record->original = original;
  record->x = x;
  record->y = y;
  record->width = width;
  record->height = height;
  original->refCount++;
  return handle;
}

bool SizeAcceptable(int32_t width, int32_t height) {
  return width > 0 && height > 0 && width <= kMaxLoadedImageSide && height <= kMaxLoadedImageSide;
}

// A channel of a pixel, widened to 0..255.
uint32_t Channel8(uint32_t pixel, uint32_t mask, uint8_t shift, uint8_t width) {
  if (width == 0) return 0;
  const uint32_t top = (1u << width) - 1;
  return ((pixel & mask) >> shift) * 255 / top;
}

// A blend image's values from a picture: its alpha when it has one, else its
// grey level. The channel weights 77, 151 and 28 sum to 256, so a grey
// picture keeps its levels exactly.
void CopyBlendValues(const GraphImage* image, MEMIMG* blend) {
  const ColorFormat& f = image->format;
  for (int32_t y = 0; y < image->height; y++) {
    const uint8_t* row = static_cast<const uint8_t*>(image->pixels) + int64_t{y} * image->pitch;
    uint8_t* out = blend->pixels + int64_t{y} * blend->base->pitch;
    for (int32_t x = 0; x < image->width; x++) {
      uint32_t pixel = 0;
      std::memcpy(&pixel, row + int64_t{x} * f.bytesPerPixel, f.bytesPerPixel);
      if (f.alphaWidth > 0) {
        out[x] = static_cast<uint8_t>(Channel8(pixel, f.alphaMask, f.alphaShift, f.alphaWidth));
      } else {
        const uint32_t r = Channel8(pixel, f.redMask, f.redShift, f.redWidth);
        const uint32_t g = Channel8(pixel, f.greenMask, f.greenShift, f.greenWidth);
        const uint32_t b = Channel8(pixel, f.blueMask, f.blueShift, f.blueWidth);
        out[x] = static_cast<uint8_t>((77 * r + 151 * g + 28 * b) >> 8);
      }
    }
  }
}

// New pixels holding the decoded picture, or its blend values.
GraphOriginalRecord* OriginalFromImage(const GraphImage* image, int32_t blend) {
  GraphOriginalRecord* original =
      NewOriginal(image->width, image->height, image->format.alphaWidth > 0 ? 1 : 0, blend);
  if (!original) return nullptr;
  if (blend) {
    CopyBlendValues(image, &original->image);
  } else if (CopyGraphImageToMemImg(image, nullptr, &original->image, 0, 0, image->width, image->height,
                                    0, 0, 0) < 0) {
    LogPrintf("画像データをメモリイメージに変換できませんでした");
    ReleaseOriginal(original);
    return nullptr;
  }
  return original;
}

// The original of the movie in the file, or null (logged by the movie layer).
GraphOriginalRecord* MovieOriginal(const char* path) {
  int32_t width = 0, height = 0;
  const int32_t movie = g_movieHooks.open(path, &width, &height);
  if (movie < 0) return nullptr;
  GraphOriginalRecord* original = SizeAcceptable(width, height) ? NewOriginal(width, height, 0, 0) : nullptr;
  if (original) {
    original->movie = movie;
    return original;
  }
  if (g_movieHooks.close) g_movieHooks.close(movie);
  return nullptr;
}

// The original of a picture file, or of a movie when no image loader takes
// it (never for a blend graphic). The movie, when there is one, is attached
// by the caller.
GraphOriginalRecord* LoadOriginal(const char* path, const char* caller, int32_t blend) {
  if (!IsGraphicsSystemStarted()) {
    LogPrintf("グラフィックスシステムが起動していません in %s", caller);
    return nullptr;
  }
  if (!path) {
    LogPrintf("ファイル名が指定されていません in %s", caller);
    return nullptr;
  }
  const bool movies = g_movieHooks.open && !blend;
  // A file that no image loader takes by its first bytes goes to the movie
  // layer before the image loaders, whose refusal would log failure lines
  // for a movie that then loads. Only a file that neither takes has them.
  const bool movieFirst = movies && !ImageLoaderTakesFile(path);
  if (movieFirst) {
    if (GraphOriginalRecord* original = MovieOriginal(path)) return original;
  }
  GraphImage image;
  if (LoadGraphImageFromFile(path, &image) == 0) {
    GraphOriginalRecord* original = OriginalFromImage(&image, blend);
    ReleaseGraphImage(&image);
    if (!original) LogPrintf("グラフィックの作成に失敗しました：%s in %s", path, caller);
    return original;
  }
  if (movies && !movieFirst) {
    if (GraphOriginalRecord* original = MovieOriginal(path)) return original;
  }
  LogPrintf("グラフィックファイルの読み込みに失敗しました：%s in %s", path, caller);
  return nullptr;
}

void AttachMovie(GraphOriginalRecord* original, int handle) {
  if (original->movie >= 0 && g_movieHooks.attach) g_movieHooks.attach(original->movie, handle);
}

uint32_t GraphPixel(const MEMIMG& image, int32_t r, int32_t g, int32_t b, int32_t a) {
  const MemImgBase* base = image.base;
  if (base->colorType == MemImgTypeBlend8) return static_cast<uint32_t>(ClampByte(r));
  return PackMemImgPixel(base->colorType, base->alphaFlag, r, g, b, a);
}

bool Inside(int64_t x, int64_t y, int64_t width, int64_t height, int64_t areaWidth, int64_t areaHeight) {
  return x >= 0 && y >= 0 && width > 0 && height > 0 && x + width <= areaWidth && y + height <= areaHeight;
}

}  // namespace

GraphHandleRecord* LookupGraphHandle(int32_t graph) { return g_graphs.Get(graph); }

int CountGraphHandles() { return g_graphs.count; }

// ---- Creation ------------------------------------------------------------

namespace {

int LoadGraphHandle(const char* path, const char* caller, int32_t blend) {
  GraphOriginalRecord* original = LoadOriginal(path, caller, blend);
  if (!original) return -1;
  const int handle = NewGraphHandle(original, 0, 0, original->width, original->height);
  if (handle != -1) AttachMovie(original, handle);
  ReleaseOriginal(original);
  return handle;
}

}  // namespace

int LoadGraphFile(const char* path, int32_t flag) { return LoadGraphHandle(path, "LoadGraphFile", 0); }

int LoadDivGraphFile(const char* path, int32_t total, int32_t across, int32_t down,
                     int32_t cellWidth, int32_t cellHeight, int32_t* handles, int32_t flag) {
  if (!handles || total <= 0 || across <= 0 || down <= 0 || cellWidth <= 0 || cellHeight <= 0 ||
      int64_t{total} > int64_t{across} * down) {
    return LogPrintf("分割数または分割サイズが不正です in LoadDivGraphFile");
  }
  GraphOriginalRecord* original = LoadOriginal(path, "LoadDivGraphFile", 0);
  if (!original) return -1;
  if (int64_t{across} * cellWidth > original->width || int64_t{down} * cellHeight > original->height) {
    LogPrintf("分割サイズが画像の大きさを超えています：%s in LoadDivGraphFile", path);
    ReleaseOriginal(original);
    return -1;
  }
  for (int32_t i = 0; i < total; i++) {
    handles[i] = NewGraphHandle(original, (i % across) * cellWidth, (i / across) * cellHeight,
                                cellWidth, cellHeight);
    if (handles[i] != -1) continue;
    // All or nothing: the cells made so far go again. The handles are only
    // written once the cells are known to fit, as many as the picture has.
    for (int32_t j = 0; j < i; j++) {
      DeleteGraphHandle(handles[j]);
      handles[j] = -1;
    }
    ReleaseOriginal(original);
    return -1;
  }
  AttachMovie(original, handles[0]);
  ReleaseOriginal(original);
  return 0;
}

namespace {

int MakeGraphOfSize(int32_t width, int32_t height, int32_t alpha, int32_t blend,
                           const char* caller) {
  if (!IsGraphicsSystemStarted()) return LogPrintf("グラフィックスシステムが起動していません in %s", caller);
  if (!SizeAcceptable(width, height)) {
    return LogPrintf("グラフィックのサイズが不正です ( %d x %d ) in %s", width, height, caller);
  }
  GraphOriginalRecord* original = NewOriginal(width, height, alpha, blend);
  if (!original) return -1;
  const int handle = NewGraphHandle(original, 0, 0, width, height);
  ReleaseOriginal(original);
  return handle;
}

}  // namespace

int MakeEmptyGraph(int32_t width, int32_t height) {
  return MakeGraphOfSize(width, height, g_create.alphaChannel || g_create.alphaTest ? 1 : 0, 0,
                         "MakeEmptyGraph");
}

int MakeBlendGraph(int32_t width, int32_t height) {
  return MakeGraphOfSize(width, height, 0, 1, "MakeBlendGraph");
}

int LoadBlendGraphFile(const char* path) { return LoadGraphHandle(path, "LoadBlendGraphFile", 1); }

int DeriveGraphFromRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t graph) {
  GraphHandleRecord* source = LookupGraphHandle(graph);
  if (!source) return -1;
  if (x < 0 || y < 0 || width <= 0 || height <= 0 || x >= source->width || y >= source->height) {
    return LogPrintf("切り出す矩形が不正です ( %d, %d, %d, %d ) in DeriveGraphFromRect", x, y, width, height);
  }
  width = std::min(width, source->width - x);
  height = std::min(height, source->height - y);
  return NewGraphHandle(source->original, source->x + x, source->y + y, width, height);
}

// ---- Deletion ------------------------------------------------------------

int DeleteGraphHandle(int32_t graph, int32_t unused) {
  GraphHandleRecord* record = g_graphs.Remove(graph);
  if (!record) return -1;
  // Nothing may go on drawing into, or weighing by, pixels that are gone.
  if (g_drawSettings.drawTarget == &record->image) SelectDrawScreen(-2);
  if (g_drawSettings.blendImage == &record->image) g_drawSettings.blendImage = nullptr;
  ReleaseMemImg(&record->image);
  if (record->lostFlag) *record->lostFlag = 1;
  ReleaseOriginal(record->original);
  MemFree(record);
  return 0;
}

void DeleteAllGraphHandles() {
  for (int slot = 0; slot < kGraphHandleSlots && g_graphs.count > 0; slot++) {
    const int handle = g_graphs.HandleAt(slot);
    if (handle != -1) DeleteGraphHandle(handle);
  }
}

int SetGraphLostFlag(int32_t graph, int* flag) {
  GraphHandleRecord* record = LookupGraphHandle(graph);
  if (!record) return -1;
  record->lostFlag = flag;
  if (flag) *flag = 0;
  return 0;
}

// ---- Pixels --------------------------------------------------------------

int FillGraphWithColor(int32_t graph, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  GraphHandleRecord* record = LookupGraphHandle(graph);
  if (!record) return -1;
  // Written as they are, alpha included: no blending.
  FillMemImgRaw(&record->image, nullptr, GraphPixel(record->image, red, green, blue, alpha));
  return 0;
}

void TransferImageToTexture(const GraphImage* image, const GraphImage* alphaImage,
                            const IntRect& sourceRect, int32_t x, int32_t y,
                            GraphHandleRecord* graph) {
  CopyGraphImageToMemImg(image, alphaImage, &graph->image, sourceRect.left, sourceRect.top,
                         sourceRect.right - sourceRect.left, sourceRect.bottom - sourceRect.top, x, y, 0);
}

int ReloadImageIntoGraph(const GraphImage* image, const GraphImage* alphaImage,
                         const IntRect* sourceRect, int32_t x, int32_t y, int32_t graph) {
  GraphHandleRecord* record = LookupGraphHandle(graph);
  if (!record) return -1;
  if (!image || !image->pixels || (alphaImage && !alphaImage->pixels)) {
    return LogPrintf("転送する画像がありません in ReloadImageIntoGraph");
  }
  const IntRect rect = sourceRect ? *sourceRect : IntRect{0, 0, image->width, image->height};
  const int64_t width = int64_t{rect.right} - rect.left, height = int64_t{rect.bottom} - rect.top;
  if (!Inside(rect.left, rect.top, width, height, image->width, image->height) ||
      (alphaImage && !Inside(rect.left, rect.top, width, height, alphaImage->width, alphaImage->height)) ||
      !Inside(x, y, width, height, record->width, record->height)) {
    return LogPrintf("転送する矩形が画像またはグラフィックからはみ出しています in ReloadImageIntoGraph");
  }
  TransferImageToTexture(image, alphaImage, rect, x, y, record);
  return 0;
}

int QueryGraphSize(int32_t graph, int* width, int* height) {
  GraphHandleRecord* record = LookupGraphHandle(graph);
  if (!record) return -1;
  if (width) *width = record->width;
  if (height) *height = record->height;
  return 0;
}

MEMIMG* LookupBlendGraphImage(int32_t graph, int32_t* width, int32_t* height) {
  GraphHandleRecord* record = LookupGraphHandle(graph);
  if (!record || !record->original->blendGraph) return nullptr;
  *width = record->width;
  *height = record->height;
  return &record->image;
}

// ---- Creation settings ---------------------------------------------------

int GetCreateGraphAlphaChannel() { return g_create.alphaChannel; }
int SetCreateGraphAlphaChannel(int32_t flag) {
  g_create.alphaChannel = flag ? 1 : 0;
  return 0;
}
int GetCreateGraphAlphaTest() { return g_create.alphaTest; }
int SetCreateGraphAlphaTest(int32_t flag) {
  g_create.alphaTest = flag ? 1 : 0;
  return 0;
}
int GetCreateGraphBitDepth() { return g_create.bitDepth; }
int SetCreateGraphBitDepth(int32_t bits) {
  if (bits != 16 && bits != 32) return -1;
  g_create.bitDepth = bits;
  return 0;
}
int GetUseHardwareRendering() { return g_create.useHardware; }
int SetUseHardwareRendering(int32_t flag) {
  if (IsGraphicsSystemStarted()) return -1;
  g_create.useHardware = flag ? 1 : 0;
  return 0;
}

const ColorFormat* SelectTextureColorFormat(int32_t alphaChannel, int32_t alphaTest, int32_t bits32,
                                            int32_t drawTarget) {
  struct Masks {
    int bits;
    uint32_t red, green, blue, alpha;
  };
  // 16-bit: plain, alpha channel, alpha test; then the same in 32 bits.
  static constexpr Masks kMasks[6] = {
      {16, 0xF800, 0x07E0, 0x001F, 0},          {16, 0x0F00, 0x00F0, 0x000F, 0xF000},
      {16, 0x7C00, 0x03E0, 0x001F, 0x8000},     {32, 0xFF0000, 0xFF00, 0xFF, 0},
      {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
  };
  static ColorFormat formats[6];
  static bool built = false;
  if (!built) {
    for (int i = 0; i < 6; i++) {
      SetupColorFormat(&formats[i], kMasks[i].bits, kMasks[i].red, kMasks[i].green, kMasks[i].blue,
                       kMasks[i].alpha);
    }
    built = true;
  }
  // A draw target keeps alpha only when it is asked for as a channel.
  const int kind = alphaChannel ? 1 : (alphaTest && !drawTarget ? 2 : 0);
  return &formats[(bits32 ? 3 : 0) + kind];
}

// ---- Movies --------------------------------------------------------------

void SetGraphMovieHooks(const GraphMovieHooks* hooks) { g_movieHooks = hooks ? *hooks : GraphMovieHooks{}; }

void UpdateGraphMovie(GraphHandleRecord* graph) {
  if (graph->original->movie >= 0 && g_movieHooks.update) g_movieHooks.update(graph->original->movie);
}
