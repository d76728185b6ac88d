// What is read rather than played with: status marks and faces, digits, the
// cursor, the watch toggle, and the title with its buttons.
#include <algorithm>
#include <cmath>
#include <string>

#include "tools/datagen/glyphs.h"
#include "tools/datagen/pictures.h"

namespace datagen {
namespace {

const Rgb kWhite{0.96f, 0.98f, 1.0f};
const Rgb kTimerCyan{0.30f, 0.80f, 1.0f};
const Rgb kAmber{1.0f, 0.74f, 0.30f};

void PaintDigit(int cell, Canvas& c, Rgb colour) {
  Mask digit(c.width(), c.height());
  DrawText(digit, std::string(1, static_cast<char>('0' + cell)), TextStyle{19.0f, 0.9f}, 0.0f, 0.0f);
  OverOutlined(c, digit, [colour](float, float y) { return Mix(Mix(colour, kWhite, 0.5f), colour, Clamp01(y / 14.0f + 0.5f)); },
               1.2f);
  c.FadeBorder(1.0f);
}

// A face of the aggression marks, from 1 (friendliest) to 5 (most hostile).
void PaintFace(int mood, Canvas& c) {
  const int w = c.width(), h = c.height();
  const Rgb colours[5] = {{0.30f, 0.95f, 0.45f}, {0.62f, 0.95f, 0.55f}, {0.80f, 0.82f, 0.86f}, {1.0f, 0.68f, 0.30f}, {1.0f, 0.30f, 0.28f}};
  OverOutlined(c, ShapeMask(w, h, [](float x, float y) { return Circle(x, y, 13.0f); }), Shaded(colours[mood - 1], 26.0f), 1.2f);
  const Rgb ink{0.08f, 0.08f, 0.12f};
  c.Over(ShapeMask(w, h, [](float x, float y) { return Circle(std::fabs(x) - 4.6f, y + 3.0f, 1.7f); }), ink);
  // The mouth bends from a wide smile through a flat line to a frown.
  const float bend = (3 - mood) * 0.06f;
  Mask mouth = ShapeMask(w, h, [bend](float x, float y) {
    const float curve = 5.0f + bend * 15.0f - bend * x * x;
    const float slope = 2.0f * bend * x;
    return std::max(std::fabs(y - curve) / std::sqrt(1.0f + slope * slope) - 1.1f, std::fabs(x) - 5.5f);
  });
  c.Over(mouth, ink);
  if (mood == 5) {
    Mask brows = ShapeMask(w, h, [](float x, float y) { return Segment(std::fabs(x), y, 2.0f, -6.0f, 7.5f, -8.5f, 1.0f); });
    c.Over(brows, ink);
  }
  if (mood == 1) {
    Mask cheeks = ShapeMask(w, h, [](float x, float y) { return Circle(std::fabs(x) - 8.0f, y - 2.0f, 2.0f); });
    c.Over(cheeks, Rgb{1.0f, 0.55f, 0.60f}, 0.7f);
  }
}

}  // namespace

void PaintStatusMark(int cell, Canvas& c) {
  const int w = c.width(), h = c.height();
  if (cell == 0) {
    Mask slash = ShapeMask(w, h, [](float x, float y) { return Segment(x, y, -4.0f, 8.0f, 4.0f, -8.0f, 1.3f); });
    OverOutlined(c, slash, [](float, float) { return kWhite; }, 1.1f);
  } else {
    // Life, ammunition and food labels, and a spare star, in the items' shapes.
    const int kinds[4] = {0, 1, 2, 7};
    const int kind = kinds[cell - 1];
    Mask shape = kind == 2 ? ShapeMask(w, h, [](float x, float y) { return Circle(x, y, 6.0f); })
                           : ItemShape(kind, w, h, 0.75f);
    OverOutlined(c, shape, Shaded(ItemColour(kind), 12.0f), 1.1f);
  }
  c.FadeBorder(1.5f);
}

void PaintAggressionMark(int cell, Canvas& c) {
  const int w = c.width(), h = c.height();
  if (cell == 0) {
    // The ring around a face; its pointer at +x turns toward the one it feels about.
    Mask ring = ShapeMask(w, h, [](float x, float y) {
      const std::vector<float> pointer = {17.0f, -6.0f, 27.0f, 0.0f, 17.0f, 6.0f};
      return std::min(Ring(x, y, 18.0f, 1.3f), Polygon(x, y, pointer));
    });
    OverOutlined(c, ring, [](float, float) { return kWhite; }, 1.2f);
  } else {
    PaintFace(cell, c);
  }
  c.FadeBorder(2.0f);
}

void PaintPanelDigit(int cell, Canvas& c) { PaintDigit(cell, c, kWhite); }

void PaintPanelDigitRed(int cell, Canvas& c) { PaintDigit(cell, c, Rgb{1.0f, 0.42f, 0.32f}); }

void PaintTimerDigit(int cell, Canvas& c) {
  // Digits stand 16 px apart in 24 px cells (24 in 32 in the larger set):
  // each keeps to the middle of its cell, clear of its neighbours.
  const float inset = c.width() / 6.0f;
  const float size = c.height() * 0.70f;
  Mask digit(c.width(), c.height());
  DrawText(digit, cell == 10 ? ":" : std::string(1, static_cast<char>('0' + cell)), TextStyle{size, size * 0.045f}, 0.0f, 0.0f);
  AddGlowing(c, digit, kTimerCyan, size * 0.06f, 0.7f, 0.7f);
  c.FadeOutside(inset, 0.0f, 1.0f);
}

void PaintCursor(int cell, Canvas& c) {
  const int w = c.width(), h = c.height();
  if (cell == 0) {
    Mask reticle = ShapeMask(w, h, [](float x, float y) {
      float d = std::min(Ring(x, y, 9.0f, 1.0f), Circle(x, y, 1.5f));
      const float ax = std::fabs(x), ay = std::fabs(y);
      d = std::min(d, Segment(std::max(ax, ay), std::min(ax, ay), 12.5f, 0.0f, 18.0f, 0.0f, 1.0f));
      return d;
    });
    OverOutlined(c, reticle, [](float, float) { return kWhite; }, 1.3f);
  } else {
    // While the right button holds the world still: amber corner brackets.
    Mask brackets = ShapeMask(w, h, [](float x, float y) {
      const float ax = std::fabs(x), ay = std::fabs(y);
      float d = std::min(Segment(ax, ay, 12.0f, 12.0f, 5.5f, 12.0f, 1.1f), Segment(ax, ay, 12.0f, 12.0f, 12.0f, 5.5f, 1.1f));
      return std::min({d, Ring(x, y, 4.5f, 0.9f), Circle(x, y, 1.3f)});
    });
    OverOutlined(c, brackets, [](float, float) { return kAmber; }, 1.3f);
  }
  c.FadeBorder(2.0f);
}

void PaintToggle(int cell, Canvas& c) {
  const int w = c.width(), h = c.height();
  const Rgb cyan{0.45f, 0.82f, 1.0f};
  if (cell == 0) {
    Mask box = ShapeMask(w, h, [](float x, float y) { return std::fabs(RoundBox(x, y, 7.5f, 7.5f, 3.0f)) - 0.9f; });
    AddGlowing(c, box, cyan, 1.5f, 0.6f, 0.3f);
  } else if (cell == 1) {
    Mask tick = ShapeMask(w, h, [](float x, float y) {
      return std::min(Segment(x, y, -4.5f, 0.0f, -1.5f, 3.5f, 1.5f), Segment(x, y, -1.5f, 3.5f, 5.0f, -4.5f, 1.5f));
    });
    OverOutlined(c, tick, Shaded(Rgb{0.45f, 1.0f, 0.62f}, 10.0f), 1.1f);
  } else {
    Mask glow = FieldMask(w, h, [](float x, float y) {
      const float d = std::max(0.0f, RoundBox(x, y, 7.5f, 7.5f, 3.0f));
      return std::exp(-d * d / 18.0f) * 0.9f;
    });
    c.Add(glow, cyan, 1.0f);
  }
  c.FadeBorder(2.0f);
}

void PaintTitleLetter(int cell, Canvas& c) {
  static const char kTitle[] = "TAMBLOR";
  const int w = c.width(), h = c.height();
  const TextStyle style{98.0f, 4.5f, 0.0f, 1.45f};
  Mask letter(w, h);
  DrawText(letter, std::string(1, kTitle[cell % 7]), style, 0.0f, 0.0f);
  Mask halo = letter;
  if (cell < 7) {
    // Cool glass letters with a blue halo.
    Blur(halo, 5.0f);
    c.Add(halo, Rgb{0.12f, 0.30f, 0.95f}, 0.9f);
    c.Add(letter, [](float, float y) { return Mix(Rgb{0.78f, 0.96f, 1.0f}, Rgb{0.20f, 0.42f, 1.0f}, Clamp01(y / 72.0f + 0.5f)); }, 0.92f);
  } else {
    // The same letters lit up: white-hot, in a warm bloom.
    Mask wide = letter;
    Blur(halo, 4.0f);
    Blur(wide, 11.0f);
    ScaleMask(wide, 1.4f);
    c.Add(wide, Rgb{1.0f, 0.42f, 0.30f}, 0.7f);
    c.Add(halo, Rgb{1.0f, 0.78f, 0.40f}, 1.0f);
    c.Add(letter, Rgb{1.0f, 0.97f, 0.90f}, 1.0f);
  }
  c.FadeBorder(8.0f);
}

void PaintTitleLight(int cell, Canvas& c) {
  // Drawn eight or nine times enlarged: every cell falls smoothly to exactly
  // nothing before its edge, so no square ever shows.
  const float edge = c.width() * 0.5f - 2.0f;
  auto falloff = [edge](float r) { return std::pow(Clamp01(1.0f - r / edge), 2.2f); };
  Mask light(c.width(), c.height());
  // A cool wash behind the letters: seven of them add up on the title.
  Rgb colour{0.36f, 0.44f, 0.66f};
  if (cell == 0) {
    light = FieldMask(c.width(), c.height(), [&](float x, float y) { return falloff(std::hypot(x, y)); });
  } else if (cell == 1) {
    light = FieldMask(c.width(), c.height(), [&](float x, float y) { return falloff(std::hypot(x, y)); });
    colour = Rgb{0.66f, 0.52f, 0.30f};
  } else if (cell == 2) {
    light = FieldMask(c.width(), c.height(), [&](float x, float y) {
      const float r = std::hypot(x, y);
      return std::exp(-std::pow((r - 80.0f) / 18.0f, 2.0f)) * falloff(r * 0.5f) * Smoothstep(edge, edge - 16.0f, r);
    });
  } else {
    light = FieldMask(c.width(), c.height(), [&](float x, float y) {
      const float r = std::hypot(x, y), ax = std::fabs(x), ay = std::fabs(y);
      const float rays = std::exp(-ay * ay / 20.0f) + std::exp(-ax * ax / 20.0f);
      return (0.6f * rays + 0.5f) * falloff(r);
    });
  }
  c.Add(light, colour, 1.0f);
}

void PaintWideButton(int cell, Canvas& c) {
  const int w = c.width(), h = c.height();
  // A panel leaning with the staircase the four buttons make.
  const float slant = 8.0f;
  const std::vector<float> panel = {-112 + slant, -16, 112 + slant, -16, 112 - slant, 16, -112 - slant, 16};
  Mask fill = ShapeMask(w, h, [&](float x, float y) { return Polygon(x, y, panel); });
  Mask border = ShapeMask(w, h, [&](float x, float y) { return std::fabs(Polygon(x, y, panel) + 0.8f) - 0.8f; });
  if (cell == 0) {
    c.Over(fill, [](float, float y) { return Mix(Rgb{0.10f, 0.15f, 0.24f}, Rgb{0.04f, 0.06f, 0.11f}, Clamp01(y / 32.0f + 0.5f)); }, 0.85f);
    c.Over(border, Rgb{0.34f, 0.58f, 0.78f}, 0.9f);
  } else {
    Mask glow = border;
    Blur(glow, 2.5f);
    ScaleMask(glow, 1.8f);
    c.Over(glow, Rgb{0.35f, 0.80f, 1.0f}, 0.6f);
    c.Over(fill, [](float, float y) { return Mix(Rgb{0.55f, 0.88f, 1.0f}, Rgb{0.18f, 0.45f, 0.80f}, Clamp01(y / 32.0f + 0.5f)); }, 0.38f);
    c.Over(border, Rgb{0.80f, 0.97f, 1.0f}, 1.0f);
  }
  c.FadeBorder(2.0f);
}

void PaintDifficultyName(int cell, Canvas& c) {
  static const char* const kNames[4] = {"EASY", "NORMAL", "HARD", "CARNIVAL"};
  const Rgb colours[4] = {{0.50f, 1.0f, 0.72f}, {0.55f, 0.85f, 1.0f}, {1.0f, 0.66f, 0.30f}, {1.0f, 0.45f, 0.85f}};
  Mask text(c.width(), c.height());
  DrawText(text, kNames[cell], TextStyle{22.0f, 1.0f, 3.0f, 1.15f}, 0.0f, 0.0f);
  Paint paint = [&, cell](float x, float y) {
    if (cell == 3) {
      // The carnival's name runs through the hues.
      const float t = (x + 70.0f) / 140.0f;
      const Rgb hue = Mix(Mix(Rgb{1.0f, 0.45f, 0.85f}, Rgb{1.0f, 0.85f, 0.35f}, Clamp01(t * 2)), Rgb{0.45f, 0.95f, 1.0f},
                          Clamp01(t * 2 - 1));
      return Mix(Rgb{1, 1, 1}, hue, Clamp01(y / 16.0f + 0.6f));
    }
    return Mix(Rgb{1, 1, 1}, colours[cell], Clamp01(y / 16.0f + 0.6f));
  };
  OverOutlined(c, text, paint, 1.4f);
  c.FadeBorder(2.0f);
}

}  // namespace datagen
