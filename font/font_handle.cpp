#include "font/font_handle.h"

#include <cstring>

#include "core/handle.h"
#include "core/helpers.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/window.h"
#include "font/text_cache.h"
#include "graphics/draw_settings.h"
#include "platform/glyph.h"

namespace {

constexpr int32_t kDefaultSize = 16;
constexpr int32_t kDefaultThickness = 6;
constexpr int32_t kSoftCacheBytes = 0x50000;
constexpr int32_t kSoftCacheMinSlots = 20;
// Larger cells are refused: their caches would run to gigabytes.
constexpr int32_t kMaxCellSize = 4096;
// "ＭＳ ゴシック" in Shift-JIS.
constexpr char kDefaultFace[] = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";
constexpr int32_t kCharsetCodes[3] = {kCharsetDefault, kCharsetShiftJis, kCharsetHangul};

struct FontTable {
  // Check numbers run 0..2047 and wrap back to 0.
  HandleTable<FontHandleRecord, kFontTableSize> handles{.type = HandleTypeFont, .firstCheck = 0, .nextCheck = 0};
  int32_t slotOption = 0;  // text-cache slots for new fonts; 0 automatic, no setter
  int32_t defaultHandle = 0;
  FontDefaults defaults{};
};

FontTable g_fonts;

// Frees everything a record holds and empties its slot, whatever stage of
// creation it reached.
void DestroyFontRecord(int32_t slot) {
  FontHandleRecord* font = g_fonts.handles.records[slot];
  if (!font) return;
  delete font->platformFont;
  MemFree(font->softCache);
  // A texture cache's graphics belong to the graphics layer; this system
  // never makes them (no hardware device), so there is nothing to delete.
  font->cacheGraph = font->edgeGraph = -1;
  if (font->lostFlag) *font->lostFlag = 1;
  MemFree(font);
  g_fonts.handles.Remove(g_fonts.handles.HandleAt(slot));
}

// The GDI-style font with the fallbacks of a named and of the default face.
PlatformFont* MakePlatformFont(const char* face, int32_t size, int32_t thickness, int32_t italic,
                               int32_t charset) {
  PlatformGlyphSource* source = GetPlatformGlyphSource();
  PlatformFontRequest request;
  request.height = size;
  // Held to the int range: a thickness past INT32_MAX / 100 must not wrap to thin.
  request.weight = SaturateCast<int32_t>(int64_t{thickness} * 100);
  request.italic = italic;
  request.charset = charset;
  request.quality = kFontQualityNonAntialiased;
  PlatformFont* made = nullptr;
  if (face && *face) {
    request.face = face;
    made = source->CreateFont(request);
    if (!made) {
      request.charset = kCharsetDefault;
      made = source->CreateFont(request);
    }
    if (!made) {
      request.charset = kCharsetShiftJis;
      made = source->CreateFont(request);
    }
    if (!made) LogWrite("指定のフォントの作成に失敗しました\n");
    return made;
  }
  request.face = kDefaultFace;
  made = source->CreateFont(request);
  if (!made) {
    request.charset = kCharsetDefault;
    request.italic = 0;
    made = source->CreateFont(request);
  }
  if (!made) {
    request.face = "";
    made = source->CreateFont(request);
  }
  if (!made) LogWrite("フォントの作成に失敗しました\n");
  return made;
}

bool IsValidCreateArgument(int32_t fontType, int32_t charsetIndex, int32_t edgeSize, int32_t slot,
                           int32_t check) {
  return fontType >= -1 && fontType <= 3 && charsetIndex >= -1 && charsetIndex <= 2 &&
         edgeSize >= -1 && edgeSize <= kMaxEdgeSize && slot >= -1 && slot < kFontTableSize && check >= -1 &&
         check < kFontCheckLimit;
}

}  // namespace

FontCell ComputeFontCell(int32_t maxCharWidth, int32_t height, int32_t edge) {
  int64_t width = int64_t{maxCharWidth} + 2 + 2 * int64_t{edge};
  width = (width + 7) / 8 * 8;
  int64_t charHeight = int64_t{height} + 2 * int64_t{edge};
  if (charHeight & 1) charHeight++;
  const int64_t cell = width > charHeight ? width : charHeight;
  auto clamp = [](int64_t v) { return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v); };
  return {clamp(cell), clamp(charHeight)};
}

FontCacheShape SoftwareCacheShape(int32_t cellSize, int32_t slotOption) {
  int64_t slots = slotOption;
  if (slots == 0) {
    slots = kSoftCacheBytes / (int64_t{cellSize} * cellSize);
    if (slots < kSoftCacheMinSlots) slots = kSoftCacheMinSlots;
  }
  if (slots > kFontCacheSlotMax) slots = kFontCacheSlotMax;
  return {cellSize, static_cast<int32_t>(slots * cellSize), static_cast<int32_t>(slots)};
}

int CreateFontToHandle(const char* face, int32_t size, int32_t thickness, int32_t fontType,
                       int32_t charsetIndex, int32_t edgeSize, int32_t italic, int32_t slot,
                       int32_t check) {
  if (GetWindowDestroyedFlag()) return -1;
  if (!IsValidCreateArgument(fontType, charsetIndex, edgeSize, slot, check)) {
    return LogPrintf("CreateFontToHandle の引数が不正です");
  }
  if (fontType == -1) fontType = 0;
  if (edgeSize > 1) fontType |= kFontTypeEdge;
  if (size == -1) size = kDefaultSize;
  if (thickness == -1) thickness = kDefaultThickness;
  if (edgeSize == -1) edgeSize = 1;
  // No OEM code page 949 here, so the automatic charset is Shift-JIS.
  if (charsetIndex == -1) charsetIndex = 1;

  if (slot >= 0) {
    if (g_fonts.handles.records[slot]) return -1;
  } else {
    for (int32_t i = 0; i < kFontTableSize && slot < 0; i++) {
      if (!g_fonts.handles.records[i]) slot = i;
    }
    if (slot < 0) return LogPrintf("作成できるフォントハンドル数 %d の限界を超えました", kFontTableSize);
  }

  auto* font = static_cast<FontHandleRecord*>(VN_ALLOC_ZEROED(sizeof(FontHandleRecord)));
  if (!font) return LogWrite("フォント管理用メモリ領域の確保に失敗しました\n");
  // A given check number (a font made again) leaves the counter alone.
  if (check == -1) check = g_fonts.handles.TakeCheck();
  font->check = check;
  const int32_t handle = g_fonts.handles.Store(slot, font, static_cast<uint16_t>(check));
  font->cacheGraph = font->edgeGraph = -1;

  if (GetScreenColorBitDepth() == 8) fontType &= ~kFontTypeAntialias;
  font->thickness = thickness;
  font->fontType = fontType;
  font->size = size;
  font->edgeSize = edgeSize;
  font->italic = italic;
  font->spacing = 0;
  font->textureCache = 0;  // no hardware device: the cache always lives in memory
  StrCopyWholeChars(font->face, face ? face : "", sizeof(font->face));

  auto fail = [&]() {
    DestroyFontRecord(slot);
    return -1;
  };
  font->platformFont = MakePlatformFont(font->face, size, thickness, italic, kCharsetCodes[charsetIndex]);
  if (!font->platformFont) return fail();

  PlatformTextMetrics metrics{};
  if (font->platformFont->GetTextMetrics(&metrics) != 0) {
    LogWrite("ＤＣの取得に失敗しました\n");
    return fail();
  }
  const int32_t edge = FontEdgeOf(*font);
  const FontCell cell = ComputeFontCell(metrics.maxCharWidth < 0 ? 0 : metrics.maxCharWidth,
                                        metrics.height < 0 ? 0 : metrics.height, edge);
  if (cell.cellSize > kMaxCellSize) {
    LogPrintf("フォントの文字セル %d ドットは大きすぎます", cell.cellSize);
    return fail();
  }
  font->cellSize = cell.cellSize;
  font->charHeight = cell.charHeight;

  font->softBitsPerPixel = fontType == 0 ? 1 : 8;
  const FontCacheShape shape = SoftwareCacheShape(font->cellSize, g_fonts.slotOption);
  font->cacheWidth = shape.width;
  font->cacheHeight = shape.height;
  font->cacheRows = shape.slots;
  font->cache.slotCount = shape.slots;
  font->softPitch = (font->cellSize * font->softBitsPerPixel + 7) / 8;
  font->softCache = static_cast<uint8_t*>(VN_ALLOC(static_cast<size_t>(int64_t{shape.height} * font->softPitch)));
  if (!font->softCache) {
    LogPrintf("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
    return fail();
  }
  if (RebuildFontCacheTexture(handle) != 0) {
    LogWrite("フォント用描画スクリーンの作成に失敗しました\n");
    return fail();
  }

  ResetFontCacheSlots(handle);
  font->charsetIndex = charsetIndex;
  font->lostFlag = nullptr;
  return handle;
}

FontHandleRecord* LookupFontHandle(int32_t handle) { return g_fonts.handles.Get(handle); }

int IsValidFontHandle(int32_t handle) { return LookupFontHandle(handle) ? 1 : 0; }

int DeleteFontHandle(int32_t handle) {
  if (!LookupFontHandle(handle)) return -1;
  DestroyFontRecord(HandleSlot(handle));
  return 0;
}

int SetFontSpacingToHandle(int32_t spacing, int32_t handle) {
  FontHandleRecord* font = LookupFontHandle(handle);
  if (!font) return -1;
  font->spacing = spacing;
  return 0;
}

int SetFontLostFlagPointer(int32_t handle, int32_t* flag) {
  FontHandleRecord* font = LookupFontHandle(handle);
  if (!font) return -1;
  font->lostFlag = flag;
  if (flag) *flag = 0;
  return 0;
}

int GetFontHandleInfo(char* face, int32_t* size, int32_t* thickness, int32_t handle) {
  const FontHandleRecord* font = LookupFontHandle(handle);
  if (!font) return -1;
  if (face) std::strcpy(face, font->face);
  if (size) *size = font->size;
  if (thickness) *thickness = font->thickness;
  return 0;
}

int GetDefaultFontHandle() { return g_fonts.defaultHandle; }

int GetFontHandleSize(int32_t handle) {
  const FontHandleRecord* font = LookupFontHandle(handle);
  return font ? font->size : -1;
}

int SetDefaultFontSizeAndThickness(const char*, int32_t size, int32_t thickness) {
  g_fonts.defaults.size = size == -1 ? kDefaultSize : size;
  g_fonts.defaults.thickness = thickness == -1 ? kDefaultThickness : thickness;
  RefreshDefaultFont();
  return 0;
}

int RefreshDefaultFont() {
  const FontDefaults& d = g_fonts.defaults;
  const FontHandleRecord* font = LookupFontHandle(g_fonts.defaultHandle);
  if (font && std::strcmp(font->face, d.face) == 0 && font->fontType == d.fontType &&
      font->size == d.size && font->thickness == d.thickness &&
      font->charsetIndex == d.charsetIndex && font->edgeSize == d.edgeSize &&
      font->italic == d.italic) {
    return 0;
  }
  DeleteFontHandle(g_fonts.defaultHandle);
  const int32_t edgeSize = (d.fontType & kFontTypeEdge) ? d.edgeSize : -1;
  g_fonts.defaultHandle = CreateFontToHandle(d.face, d.size, d.thickness, d.fontType,
                                             d.charsetIndex, edgeSize, d.italic, -1, -1);
  SetFontSpacingToHandle(d.spacing, g_fonts.defaultHandle);
  return 0;
}

int InitFontSystem() {
  LogWrite("フォントの初期化を行います\n");
  LogIndentIn();
  // The default font is made again as it was; spacing is not carried over.
  char face[256] = "";
  int32_t size = kDefaultSize, thickness = kDefaultThickness, fontType = -1, charsetIndex = -1,
          edgeSize = -1, italic = 0;
  if (const FontHandleRecord* old = LookupFontHandle(g_fonts.defaultHandle)) {
    std::memcpy(face, old->face, sizeof(face));
    size = old->size;
    thickness = old->thickness;
    fontType = old->fontType;
    charsetIndex = old->charsetIndex;
    edgeSize = old->edgeSize;
    italic = old->italic;
  }
  for (int32_t slot = 0; slot < kFontTableSize; slot++) DestroyFontRecord(slot);
  g_fonts.defaultHandle =
      CreateFontToHandle(face, size, thickness, fontType, charsetIndex, edgeSize, italic, -1, -1);
  LogIndentOut();
  LogWrite("フォントの初期化は正常に終了しました\n");
  return 0;
}

int InitFontManager() {
  for (int32_t slot = 0; slot < kFontTableSize; slot++) DestroyFontRecord(slot);
  g_fonts.handles.nextCheck = 0;
  g_fonts.slotOption = 0;
  g_fonts.defaultHandle = 0;
  g_fonts.defaults = FontDefaults{};
  g_fonts.defaults.size = kDefaultSize;
  g_fonts.defaults.thickness = kDefaultThickness;
  g_fonts.defaults.fontType = 0;
  g_fonts.defaults.charsetIndex = 1;
  g_fonts.defaults.edgeSize = 1;
  return InitFontSystem();
}

int EndFontSystem() {
  InitFontSystem();
  DeleteFontHandle(g_fonts.defaultHandle);
  return 0;
}

int RecreateAllFontHandles() {
  for (int32_t slot = 0; slot < kFontTableSize; slot++) {
    const FontHandleRecord* font = g_fonts.handles.records[slot];
    if (!font) continue;
    char face[256];
    std::memcpy(face, font->face, sizeof(face));
    const int32_t check = font->check, fontType = font->fontType, size = font->size,
                  charsetIndex = font->charsetIndex, thickness = font->thickness,
                  edgeSize = font->edgeSize, italic = font->italic, spacing = font->spacing;
    DestroyFontRecord(slot);
    const int32_t handle = CreateFontToHandle(face, size, thickness, fontType, charsetIndex,
                                              edgeSize, italic, slot, check);
    if (IsValidFontHandle(handle)) SetFontSpacingToHandle(spacing, handle);
  }
  return 0;
}
