// Fonts of the machine, asked the way the font layer asks them: a font made
// by face name, cell height, weight, italic and charset; its text metrics;
// one glyph at a time as a 1-bit or 17-level grey bitmap with its metrics.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Charset codes of a font request.
constexpr int32_t kCharsetDefault = 1;
constexpr int32_t kCharsetShiftJis = 128;
constexpr int32_t kCharsetHangul = 129;

constexpr int32_t kFontQualityNonAntialiased = 3;

// Bitmap forms of a glyph. Rows are padded to 4 bytes, top row first.
enum GlyphFormat : int32_t {
  GlyphFormatBitmap = 1,  // 1 bit per pixel, most significant bit first
  GlyphFormatGray4 = 5,   // 1 byte per pixel, coverage 0..16
};
constexpr uint32_t kGlyphError = 0xFFFFFFFF;

struct PlatformFontRequest {
  const char* face = nullptr;  // Shift-JIS; null or empty: the charset's default face
  int32_t height = 16;         // cell height in pixels; negative: character height
  int32_t weight = 400;        // 400 normal, 700 bold
  int32_t italic = 0;
  int32_t charset = kCharsetShiftJis;
  int32_t quality = kFontQualityNonAntialiased;
};

struct PlatformTextMetrics {
  int32_t height;  // ascent + descent
  int32_t ascent;
  int32_t descent;
  int32_t aveCharWidth;
  int32_t maxCharWidth;
};

struct PlatformGlyphMetrics {
  uint32_t blackBoxX;  // at least 1 x 1, even for an empty glyph
  uint32_t blackBoxY;
  int32_t originX;     // the black box's left edge, from the pen
  int32_t originY;     // the black box's top edge, above the base line
  int16_t cellIncX;    // pen advance
  int16_t cellIncY;
};

class PlatformFont {
 public:
  virtual ~PlatformFont() = default;
  // 0, or -1 when the metrics cannot be read.
  virtual int GetTextMetrics(PlatformTextMetrics* metrics) = 0;
  // code: a single byte, or lead byte * 256 + trail byte, in the font's
  // charset. With bufferSize 0: the bytes the bitmap needs. Otherwise fills
  // buffer and returns the bytes written. kGlyphError on failure (also when
  // the buffer is too small). The metrics are written in both cases.
  virtual uint32_t GetGlyph(uint32_t code, int32_t format, PlatformGlyphMetrics* metrics,
                            uint32_t bufferSize, void* buffer) = 0;
};

class PlatformGlyphSource {
 public:
  virtual ~PlatformGlyphSource() = default;
  // A new font (deleted by the caller), or null when none can be made.
  virtual PlatformFont* CreateFont(const PlatformFontRequest& request) = 0;
};

// FreeType with fontconfig, unless a test installed another source.
PlatformGlyphSource* GetPlatformGlyphSource();
void SetPlatformGlyphSource(PlatformGlyphSource* source);  // null restores FreeType

// The face file that a request resolves to (UTF-8 path, and the face's index
// inside a collection), or "" when none; the Japanese system faces map to IPAGothic.
std::string ResolvePlatformFontFile(const char* faceSjis, int32_t charset, int* faceIndex = nullptr);

// Glyphs that tests describe by hand. A glyph is rows of levels: '.' 0,
// '1'..'9' 1..9, 'a'..'g' 10..16, '#' 16; the 1-bit form sets every pixel
// whose level is above 0. An empty row list is an empty glyph (1 x 1, no
// bitmap bytes).
class ScriptedGlyphSource : public PlatformGlyphSource {
 public:
  struct Glyph {
    int32_t originX = 0;
    int32_t originY = 0;
    int16_t cellIncX = 8;
    std::vector<std::string> rows;
  };
  struct Request {
    std::string face;
    int32_t height, weight, italic, charset, quality;
  };

  PlatformFont* CreateFont(const PlatformFontRequest& request) override;

  PlatformTextMetrics metrics = {16, 14, 2, 8, 16};
  std::map<uint32_t, Glyph> glyphs;  // by code; others are empty glyphs
  // Requests whose (face, charset) is listed here fail, "*" for any face.
  std::vector<std::pair<std::string, int32_t>> refused;
  bool failMetrics = false;
  bool failGlyphs = false;

  std::vector<Request> requests;   // every request, refused ones too
  std::vector<uint32_t> rendered;  // codes whose bitmap was fetched
  int liveFonts = 0;
};
