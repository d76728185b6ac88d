// Fonts through fontconfig (which face file) and FreeType (metrics and
// bitmaps). Character codes arrive in the font's code page and are turned
// into Unicode through a table built once with iconv.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <iconv.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "core/helpers.h"
#include "platform/glyph.h"
#include "platform/no_throw.h"
#include "platform/text_encoding.h"

namespace {

// Larger cells than this are refused as nonsense rather than rendered.
constexpr int32_t kMaxFontHeight = 2048;

// The faces a Japanese Windows system offers by default, in UTF-8.
constexpr const char* kJapaneseSystemFaces[] = {
    "ＭＳ ゴシック", "ＭＳ Ｐゴシック", "ＭＳ 明朝", "ＭＳ Ｐ明朝", "MS Gothic", "MS PGothic",
    "MS UI Gothic", "MS Mincho", "MS PMincho", "メイリオ", "Meiryo",
};
constexpr const char* kJapaneseFace = "IPAGothic";

// Unicode of every code of a code page: index = byte for single bytes,
// lead << 8 | trail for two-byte characters; 0 where the code page has none.
using CodePageTable = std::array<uint16_t, 65536>;

void FillCodePageTable(CodePageTable* table, const char* codePage, bool (*isLead)(uint8_t)) {
  table->fill(0);
  iconv_t cd = iconv_open("UTF-32LE", codePage);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (int c = 0; c < 0x80; c++) (*table)[c] = static_cast<uint16_t>(c);
    return;
  }
  auto convert = [&](const uint8_t* bytes, size_t count) -> uint16_t {
    char in[2] = {static_cast<char>(bytes[0]), count > 1 ? static_cast<char>(bytes[1]) : '\0'};
    char* src = in;
    size_t srcLeft = count;
    uint32_t out = 0;
    char* dst = reinterpret_cast<char*>(&out);
    size_t dstLeft = sizeof(out);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    if (r == static_cast<size_t>(-1) || dstLeft != 0 || out > 0xFFFF) return 0;
    return static_cast<uint16_t>(out);
  };
  for (int c = 0; c < 0x100; c++) {
    if (isLead(static_cast<uint8_t>(c))) continue;
    uint8_t b = static_cast<uint8_t>(c);
    (*table)[c] = convert(&b, 1);
  }
  for (int lead = 0x80; lead <= 0xFF; lead++) {
    if (!isLead(static_cast<uint8_t>(lead))) continue;
    for (int trail = 0x40; trail <= 0xFE; trail++) {
      const uint8_t bytes[2] = {static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)};
      (*table)[lead << 8 | trail] = convert(bytes, 2);
    }
  }
  iconv_close(cd);
}

bool IsCp932Lead(uint8_t c) { return IsMultiByteLeadByte(&c, 1) != 0; }
bool IsHangulLead(uint8_t c) { return IsMultiByteLeadByte(&c, 2) != 0; }

// Built on first use (fonts are made on the main thread only); null, and
// tried again next time, when memory runs out.
const CodePageTable* CodePageTableFor(int32_t charset) {
  static std::unique_ptr<CodePageTable> tables[2];
  const bool hangul = charset == kCharsetHangul;
  std::unique_ptr<CodePageTable>& table = tables[hangul ? 1 : 0];
  if (!table) {
    table.reset(new (std::nothrow) CodePageTable);
    if (!table) {
      PlatformReportFailure("文字コード表の作成");
      return nullptr;
    }
    FillCodePageTable(table.get(), hangul ? "CP949" : "CP932", hangul ? IsHangulLead : IsCp932Lead);
  }
  return table.get();
}

FT_Library FreeTypeLibrary() {
  static FT_Library library = [] {
    FT_Library l = nullptr;
    return FT_Init_FreeType(&l) == 0 ? l : nullptr;
  }();
  return library;
}

// fontconfig's configuration, loaded once and released at exit (its parser
// leaves blocks behind that only FcFini frees).
bool FontconfigReady() {
  struct Session {
    bool ready = FcInit() == FcTrue;
    ~Session() {
      if (ready) FcFini();
    }
  };
  static Session session;
  return session.ready;
}

const char* LanguageOf(int32_t charset) { return charset == kCharsetHangul ? "ko" : "ja"; }

int32_t RoundToPixels(FT_Pos value26_6) { return static_cast<int32_t>((value26_6 + 32) >> 6); }

class FreeTypeFont : public PlatformFont {
 public:
  FreeTypeFont(FT_Face face, const PlatformFontRequest& request, const CodePageTable* table)
      : face_(face), table_(table) {
    const int32_t unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 1000;
    int32_t ascentUnits = face->ascender, descentUnits = -face->descender, averageUnits = 0;
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
      if (os2->usWinAscent + os2->usWinDescent > 0) {
        ascentUnits = os2->usWinAscent;
        descentUnits = os2->usWinDescent;
      }
      averageUnits = os2->xAvgCharWidth;
    }
    if (ascentUnits + descentUnits <= 0) {
      ascentUnits = unitsPerEm * 7 / 8;
      descentUnits = unitsPerEm / 8;
    }
    // A positive height is the whole cell, a negative one the em square.
    double ppem = request.height > 0
                      ? static_cast<double>(request.height) * unitsPerEm / (ascentUnits + descentUnits)
                      : -static_cast<double>(request.height);
    const int32_t pixelsPerEm = ppem < 1.0 ? 1 : static_cast<int32_t>(std::lround(ppem));
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelsPerEm));
    const double scale = static_cast<double>(pixelsPerEm) / unitsPerEm;
    metrics_.ascent = static_cast<int32_t>(std::lround(ascentUnits * scale));
    metrics_.descent = static_cast<int32_t>(std::lround(descentUnits * scale));
    if (request.height > 0) metrics_.descent = request.height - metrics_.ascent;
    if (metrics_.descent < 0) metrics_.descent = 0;
    metrics_.height = metrics_.ascent + metrics_.descent;
    // Weights from 600 up are bold; a face without its own bold is thickened.
    bold_ = request.weight >= 600 && !(face->style_flags & FT_STYLE_FLAG_BOLD);
    oblique_ = request.italic != 0 && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
    const int32_t extra = bold_ ? 1 : 0;
    metrics_.maxCharWidth =
        static_cast<int32_t>(std::ceil(face->max_advance_width * scale)) + extra;
    metrics_.aveCharWidth = averageUnits > 0
                                ? static_cast<int32_t>(std::lround(averageUnits * scale)) + extra
                                : metrics_.maxCharWidth / 2;
  }
  ~FreeTypeFont() override { FT_Done_Face(face_); }

  int GetTextMetrics(PlatformTextMetrics* metrics) override {
    *metrics = metrics_;
    return 0;
  }

  uint32_t GetGlyph(uint32_t code, int32_t format, PlatformGlyphMetrics* metrics,
                    uint32_t bufferSize, void* buffer) override {
    if (format != GlyphFormatBitmap && format != GlyphFormatGray4) return kGlyphError;
    if (!Render(code, format)) return kGlyphError;
    const FT_Bitmap& bitmap = face_->glyph->bitmap;
    const bool empty = bitmap.width == 0 || bitmap.rows == 0;
    metrics->blackBoxX = empty ? 1 : bitmap.width;
    metrics->blackBoxY = empty ? 1 : bitmap.rows;
    metrics->originX = face_->glyph->bitmap_left;
    metrics->originY = empty ? 0 : face_->glyph->bitmap_top;
    metrics->cellIncX = static_cast<int16_t>(RoundToPixels(face_->glyph->advance.x) + (bold_ ? 1 : 0));
    metrics->cellIncY = 0;
    if (empty) return 0;
    const uint32_t pitch = format == GlyphFormatBitmap ? (bitmap.width + 31) / 32 * 4 : (bitmap.width + 3) / 4 * 4;
    const uint64_t size = uint64_t{pitch} * bitmap.rows;
    if (size > 0x7FFFFFFF) return kGlyphError;
    if (bufferSize == 0) return static_cast<uint32_t>(size);
    if (!buffer || bufferSize < size) return kGlyphError;
    auto* out = static_cast<uint8_t*>(buffer);
    std::memset(out, 0, static_cast<size_t>(size));
    for (uint32_t y = 0; y < bitmap.rows; y++) {
      const uint8_t* src = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
      uint8_t* dst = out + static_cast<size_t>(y) * pitch;
      if (format == GlyphFormatBitmap) {
        std::memcpy(dst, src, (bitmap.width + 7) / 8);
      } else {
        for (uint32_t x = 0; x < bitmap.width; x++) dst[x] = static_cast<uint8_t>((src[x] * 16 + 128) / 255);
      }
    }
    return static_cast<uint32_t>(size);
  }

 private:
  // Loads and renders the glyph into the face's slot, unless it is already there.
  bool Render(uint32_t code, int32_t format) {
    if (code == renderedCode_ && format == renderedFormat_) return true;
    renderedCode_ = kGlyphError;
    const uint32_t unicode = (*table_)[code & 0xFFFF];
    const FT_UInt index = unicode ? FT_Get_Char_Index(face_, unicode) : 0;
    const bool mono = format == GlyphFormatBitmap;
    const FT_Int32 loadFlags = mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL;
    if (FT_Load_Glyph(face_, index, loadFlags) != 0) return false;
    FT_GlyphSlot slot = face_->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      if (oblique_) {
        FT_Matrix shear = {0x10000, 0x0366A, 0, 0x10000};
        FT_Outline_Transform(&slot->outline, &shear);
      }
      if (bold_) FT_Outline_EmboldenXY(&slot->outline, 64, 0);
    }
    if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return false;
    if (slot->bitmap.pixel_mode != (mono ? FT_PIXEL_MODE_MONO : FT_PIXEL_MODE_GRAY)) return false;
    renderedCode_ = code;
    renderedFormat_ = format;
    return true;
  }

  FT_Face face_;
  const CodePageTable* table_;
  bool bold_ = false;
  bool oblique_ = false;
  PlatformTextMetrics metrics_{};
  uint32_t renderedCode_ = kGlyphError;
  int32_t renderedFormat_ = 0;
};

class FreeTypeGlyphSource : public PlatformGlyphSource {
 public:
  PlatformFont* CreateFont(const PlatformFontRequest& request) override {
    if (request.height == 0 || request.height > kMaxFontHeight || request.height < -kMaxFontHeight) {
      return nullptr;
    }
    FT_Library library = FreeTypeLibrary();
    const CodePageTable* table = CodePageTableFor(request.charset);
    if (!library || !table) return nullptr;
    int index = 0;
    const std::string path = ResolvePlatformFontFile(request.face, request.charset, &index);
    if (path.empty()) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(library, path.c_str(), index, &face) != 0) return nullptr;
    if (!FT_IS_SCALABLE(face)) {
      FT_Done_Face(face);
      return nullptr;
    }
    auto* font = new (std::nothrow) FreeTypeFont(face, request, table);
    if (!font) {
      FT_Done_Face(face);
      PlatformReportFailure("フォントの作成");
    }
    return font;
  }
};

FreeTypeGlyphSource g_freeTypeSource;
PlatformGlyphSource* g_glyphSource = &g_freeTypeSource;

}  // namespace

PlatformGlyphSource* GetPlatformGlyphSource() { return g_glyphSource; }

void SetPlatformGlyphSource(PlatformGlyphSource* source) {
  g_glyphSource = source ? source : &g_freeTypeSource;
}

std::string ResolvePlatformFontFile(const char* faceSjis, int32_t charset, int* faceIndex) {
  if (faceIndex) *faceIndex = 0;
  std::string family;
  if (faceSjis && *faceSjis) {
    if (Cp932ToUtf8(faceSjis, &family, 0) != TextConversion::Clean || family.empty()) return "";
    for (const char* name : kJapaneseSystemFaces) {
      if (family == name) {
        family = kJapaneseFace;
        break;
      }
    }
  }
  if (!FontconfigReady()) return "";
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return "";
  if (!family.empty()) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  } else {
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(LanguageOf(charset)));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("monospace"));
  }
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  std::string path;
  if (match) {
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
      PlatformNoThrow("フォントの検索", [&] { path = reinterpret_cast<const char*>(file); });
      if (faceIndex && FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) {
        *faceIndex = index;
      }
    }
    FcPatternDestroy(match);
  }
  return path;
}
