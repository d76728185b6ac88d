// Glyphs that tests describe by hand, handed out in the machine's bitmap forms.
#include <algorithm>
#include <cstring>

#include "platform/glyph.h"
#include "platform/no_throw.h"

namespace {

int LevelOf(char c) {
  if (c >= '1' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'g') return c - 'a' + 10;
  return c == '#' ? 16 : 0;
}

class ScriptedFont : public PlatformFont {
 public:
  explicit ScriptedFont(ScriptedGlyphSource* source) : source_(source) { source_->liveFonts++; }
  ~ScriptedFont() override { source_->liveFonts--; }

  int GetTextMetrics(PlatformTextMetrics* metrics) override {
    if (source_->failMetrics) return -1;
    *metrics = source_->metrics;
    return 0;
  }

  uint32_t GetGlyph(uint32_t code, int32_t format, PlatformGlyphMetrics* metrics,
                    uint32_t bufferSize, void* buffer) override {
    if (source_->failGlyphs) return kGlyphError;
    ScriptedGlyphSource::Glyph empty;
    empty.cellIncX = static_cast<int16_t>(source_->metrics.aveCharWidth);
    auto it = source_->glyphs.find(code);
    const ScriptedGlyphSource::Glyph& glyph = it != source_->glyphs.end() ? it->second : empty;

    uint32_t width = 0;
    for (const std::string& row : glyph.rows) width = std::max<uint32_t>(width, static_cast<uint32_t>(row.size()));
    const uint32_t height = static_cast<uint32_t>(glyph.rows.size());
    metrics->blackBoxX = width ? width : 1;
    metrics->blackBoxY = height && width ? height : 1;
    metrics->originX = glyph.originX;
    metrics->originY = glyph.originY;
    metrics->cellIncX = glyph.cellIncX;
    metrics->cellIncY = 0;
    if (width == 0 || height == 0) return 0;

    const uint32_t pitch = format == GlyphFormatBitmap ? (width + 31) / 32 * 4 : (width + 3) / 4 * 4;
    const uint32_t size = pitch * height;
    if (bufferSize == 0) return size;
    if (!buffer || bufferSize < size) return kGlyphError;
    auto* out = static_cast<uint8_t*>(buffer);
    std::memset(out, 0, size);
    for (uint32_t y = 0; y < height; y++) {
      const std::string& row = glyph.rows[y];
      for (uint32_t x = 0; x < row.size(); x++) {
        const int level = LevelOf(row[x]);
        if (format == GlyphFormatBitmap) {
          if (level > 0) out[y * pitch + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        } else {
          out[y * pitch + x] = static_cast<uint8_t>(level);
        }
      }
    }
    PlatformNoThrow("グリフの記録", [&] { source_->rendered.push_back(code); });
    return size;
  }

 private:
  ScriptedGlyphSource* source_;
};

}  // namespace

PlatformFont* ScriptedGlyphSource::CreateFont(const PlatformFontRequest& request) {
  return PlatformNoThrow("フォントの作成", static_cast<PlatformFont*>(nullptr), [&]() -> PlatformFont* {
    const std::string face = request.face ? request.face : "";
    requests.push_back({face, request.height, request.weight, request.italic, request.charset, request.quality});
    for (const auto& [refusedFace, charset] : refused) {
      if ((refusedFace == "*" || refusedFace == face) && charset == request.charset) return nullptr;
    }
    return new ScriptedFont(this);
  });
}
