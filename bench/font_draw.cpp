// Characters drawn per second from a warm cache: a 64-character line of
// mixed half- and full-width text in IPAGothic at 16 pixels, drawn into a
// 1024 x 768 32-bit screen, per font type and through the blending path.
// The anchors draw the same line with the same face and size through
// pixman's glyph cache (white, OVER, with and without a line mask).
// edged_glyph@2048_edge32 renders one character ("■") of a 2048-pixel font
// with a 32-pixel edge into the cache, the glyph and its edge, per font type.
#include <benchmark/benchmark.h>

#include "core/core_api.h"
#include "font/font_api.h"
#include "font/text_cache.h"
#include "graphics/graphics_api.h"
#include "graphics/screen.h"
#include "platform/scripted_present.h"
#include "platform/scripted_window.h"

namespace {

// 32 half-width and 32 full-width characters (the full-width ones are
// "あいうえお..." in Shift-JIS).
const char kLine[] =
    "Tamblor 0123456789 ABCDEFGHIJKLM"
    "\x82\xa0\x82\xa2\x82\xa4\x82\xa6\x82\xa8\x82\xa9\x82\xab\x82\xad\x82\xaf\x82\xb1"
    "\x82\xb3\x82\xb5\x82\xb7\x82\xb9\x82\xbb\x82\xbd\x82\xbf\x82\xc2\x82\xc4\x82\xc6"
    "\x82\xc8\x82\xc9\x82\xca\x82\xcb\x82\xcc\x82\xcd\x82\xd0\x82\xd3\x82\xd6\x82\xd9"
    "\x82\xdc\x82\xdd";
constexpr int kCharacters = 64;

struct Library {
  ScriptedWindow window;
  ScriptedPresenter presenter;
  bool started = false;
  Library() {
    SetPlatformWindow(&window);
    SetPlatformPresenter(&presenter);
    EnableLogFile(0);
    ChangeWindowMode(1);
    SetScreenMode(1024, 768, 32, 60);
    started = LibraryInit() == 0;
  }
  ~Library() {
    LibraryEnd();
    SetPlatformPresenter(nullptr);
    SetPlatformWindow(nullptr);
  }
};

void DrawLines(benchmark::State& state, int fontType, int edgeSize, int blendMode, int blendParam) {
  Library library;
  if (!library.started) {
    state.SkipWithError("library did not start");
    return;
  }
  const int font = CreateFontToHandle(nullptr, 16, -1, fontType, -1, edgeSize, 0);
  if (font == -1) {
    state.SkipWithError("no font");
    return;
  }
  const int white = PackRgbToScreenColor(255, 255, 255);
  const int blue = PackRgbToScreenColor(0, 0, 255);
  SetBlendMode(blendMode, blendParam);
  DrawStringWithFontHandle(0, 0, kLine, white, font, blue);  // fills the cache
  int y = 0;
  for (auto _ : state) {
    DrawStringWithFontHandle(8, y, kLine, white, font, blue);
    y = (y + 20) % 740;
  }
  state.counters["Mchar/s"] =
      benchmark::Counter(kCharacters / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  DeleteFontHandle(font);
}

void RenderLargeEdgedGlyph(benchmark::State& state, int fontType) {
  Library library;
  if (!library.started) return state.SkipWithError("library did not start");
  const int font = CreateFontToHandle(nullptr, 2048, -1, fontType, -1, 32, 0);
  if (font == -1) return state.SkipWithError("no font");
  const uint16_t code = 0xA181;  // "■", as dense as a glyph comes; lead byte low
  const FontCacheSlot* slot = nullptr;
  for (auto _ : state) slot = RenderGlyphsToFontCache(font, 1, &code);
  if (slot) state.counters["box"] = slot->width * slot->height;  // edge included
  DeleteFontHandle(font);
}

BENCHMARK_CAPTURE(RenderLargeEdgedGlyph, mono, 1)
    ->Name("font.mono_edged_glyph@2048_edge32")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RenderLargeEdgedGlyph, aa, 3)
    ->Name("font.aa_edged_glyph@2048_edge32")
    ->Unit(benchmark::kMillisecond);

// Named as the anchors' glyph cases where they have one (white text, plain
// or anti-aliased, straight into the screen); the others stand alone.
const bool g_registered = [] {
  struct Case {
    const char* name;
    int fontType, edgeSize, blendMode, blendParam;
  };
  static const Case cases[] = {
      {"font.mono_line", 0, -1, 0, 255},          {"font.mono_edged_line", 1, 1, 0, 255},
      {"font.mono_line_alpha128", 0, -1, 1, 128}, {"font.aa_line", 2, -1, 0, 255},
      {"font.aa_edged_line", 3, 2, 0, 255},
  };
  for (const Case& c : cases) {
    benchmark::RegisterBenchmark(c.name, [&c](benchmark::State& state) {
      DrawLines(state, c.fontType, c.edgeSize, c.blendMode, c.blendParam);
    });
  }
  return true;
}();

}  // namespace
