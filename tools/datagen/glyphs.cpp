#include "tools/datagen/glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace datagen {
namespace {

FT_Library g_library = nullptr;
FT_Face g_face = nullptr;

std::string FindGothicFile() {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("IPAGothic"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  std::string file, family;
  FcChar8* value = nullptr;
  if (match && FcPatternGetString(match, FC_FILE, 0, &value) == FcResultMatch) file = reinterpret_cast<char*>(value);
  // Fontconfig offers a stand-in for any name; only the face itself will do,
  // so that every build draws the same letters.
  for (int i = 0; match && FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; i++) {
    family += reinterpret_cast<char*>(value);
    family += ',';
  }
  if (match) FcPatternDestroy(match);
  if (file.empty() || family.find("IPAGothic,") == std::string::npos) {
    throw std::runtime_error("the IPAGothic face is not installed (fonts-ipafont-gothic)");
  }
  return file;
}

// The letter's outline at the style's size and weight, in 26.6 pixels, y up.
FT_Outline* LoadOutline(char letter, const TextStyle& style) {
  if (FT_Set_Char_Size(g_face, 0, static_cast<FT_F26Dot6>(std::lround(style.size * 64)), 72, 72) ||
      FT_Load_Char(g_face, static_cast<unsigned char>(letter), FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) ||
      g_face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
    throw std::runtime_error(std::string("no outline for the letter ") + letter);
  }
  FT_Outline* outline = &g_face->glyph->outline;
  if (style.bold > 0.0f) FT_Outline_Embolden(outline, static_cast<FT_Pos>(std::lround(style.bold * 64)));
  if (style.widen != 1.0f) {
    FT_Matrix stretch{static_cast<FT_Fixed>(std::lround(style.widen * 65536.0)), 0, 0, 0x10000};
    FT_Outline_Transform(outline, &stretch);
  }
  return outline;
}

float Advance(char letter, const TextStyle& style) {
  LoadOutline(letter, style);
  return g_face->glyph->linearHoriAdvance / 65536.0f * style.widen + style.tracking;
}

float CapHeight(const TextStyle& style) {
  FT_BBox box;
  FT_Outline_Get_CBox(LoadOutline('H', style), &box);
  return box.yMax / 64.0f;
}

// Renders the outline (already placed in mask pixels, y up from the mask's
// bottom edge) and keeps the larger coverage of it and the mask.
void RenderInto(Mask& mask, FT_Outline* outline) {
  std::vector<unsigned char> pixels(static_cast<size_t>(mask.width) * mask.height, 0);
  FT_Bitmap bitmap{};
  bitmap.rows = mask.height;
  bitmap.width = mask.width;
  bitmap.pitch = mask.width;
  bitmap.buffer = pixels.data();
  bitmap.num_grays = 256;
  bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
  if (FT_Outline_Get_Bitmap(g_library, outline, &bitmap)) throw std::runtime_error("glyph rendering failed");
  for (int y = 0; y < mask.height; y++) {
    for (int x = 0; x < mask.width; x++) {
      mask.At(x, y) = std::max(mask.At(x, y), pixels[static_cast<size_t>(y) * mask.width + x] / 255.0f);
    }
  }
}

}  // namespace

void OpenGothicFace() {
  if (g_face) return;
  // fontconfig's parser keeps blocks that only FcFini gives back.
  if (FcInit() != FcTrue) throw std::runtime_error("fontconfig did not start");
  const std::string file = FindGothicFile();
  if (FT_Init_FreeType(&g_library) || FT_New_Face(g_library, file.c_str(), 0, &g_face)) {
    throw std::runtime_error("cannot open the face " + file);
  }
}

void CloseGothicFace() {
  if (!g_face) return;
  FT_Done_Face(g_face);
  FT_Done_FreeType(g_library);
  g_face = nullptr;
  g_library = nullptr;
  FcFini();
}

void DrawLetter(Mask& mask, char letter, const TextStyle& style, float x, float y, float angle) {
  const float capHalf = CapHeight(style) * 0.5f;
  const float halfAdvance = (Advance(letter, style) - style.tracking) * 0.5f;
  FT_Outline* outline = LoadOutline(letter, style);
  FT_Outline_Translate(outline, -static_cast<FT_Pos>(std::lround(halfAdvance * 64)),
                       -static_cast<FT_Pos>(std::lround(capHalf * 64)));
  if (angle != 0.0f) {
    // Clockwise on a y-down screen is counter to the y-up outline's turn.
    const FT_Fixed c = static_cast<FT_Fixed>(std::lround(std::cos(angle) * 65536.0));
    const FT_Fixed s = static_cast<FT_Fixed>(std::lround(std::sin(angle) * 65536.0));
    FT_Matrix m{c, s, -s, c};
    FT_Outline_Transform(outline, &m);
  }
  const float px = x + mask.width * 0.5f, py = mask.height * 0.5f - y;
  FT_Outline_Translate(outline, static_cast<FT_Pos>(std::lround(px * 64)), static_cast<FT_Pos>(std::lround(py * 64)));
  RenderInto(mask, outline);
}

float TextWidth(const std::string& text, const TextStyle& style) {
  float w = 0.0f;
  for (char c : text) w += Advance(c, style);
  return text.empty() ? 0.0f : w - style.tracking;
}

void DrawText(Mask& mask, const std::string& text, const TextStyle& style, float x, float y) {
  float pen = x - TextWidth(text, style) * 0.5f;
  for (char c : text) {
    const float advance = Advance(c, style);
    DrawLetter(mask, c, style, pen + (advance - style.tracking) * 0.5f, y, 0.0f);
    pen += advance;
  }
}

}  // namespace datagen
