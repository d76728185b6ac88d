// The field and what lies on it: dust, the turning outline, food boxes,
// food, items with their symbols and captions, and the flash light.
#include <algorithm>
#include <cmath>
#include <string>

#include "tools/datagen/glyphs.h"
#include "tools/datagen/pictures.h"

namespace datagen {
namespace {

const Rgb kDust{0.55f, 0.68f, 0.85f};
const Rgb kCrate{1.0f, 0.68f, 0.28f};
const Rgb kFood{0.62f, 1.0f, 0.32f};
const Rgb kItemCyan{0.40f, 0.88f, 1.0f};
const Rgb kItemGold{1.0f, 0.82f, 0.40f};

// The six item kinds' colours, shared by their symbols and captions, and
// the four spare symbols'.
const Rgb kItemColours[10] = {
    {1.0f, 0.40f, 0.50f}, {1.0f, 0.80f, 0.35f}, {0.62f, 1.0f, 0.32f}, {0.35f, 0.90f, 1.0f}, {1.0f, 0.55f, 0.20f},
    {0.78f, 0.55f, 1.0f}, {0.40f, 0.60f, 1.0f}, {1.0f, 0.88f, 0.30f}, {0.85f, 0.85f, 0.90f}, {0.45f, 1.0f, 0.85f},
};

float Gauss(float d2, float spread) { return std::exp(-d2 / spread); }

}  // namespace

void PaintDust(int cell, Canvas& c) {
  // Cell 0 lies farthest back, cell 2 nearest: smaller and dimmer with depth.
  const float spread[3] = {1.3f, 2.6f, 5.5f};
  const float strength[3] = {0.65f, 0.85f, 0.95f};
  Mask mote = FieldMask(c.width(), c.height(), [&](float x, float y) { return Gauss(x * x + y * y, spread[cell]); });
  c.Add(mote, kDust, strength[cell]);
  c.FadeBorder(2.0f);
}

void PaintFieldOutline(int, Canvas& c) {
  // One rail piece of the disc's rim, laid along +x (the rim's tangent);
  // 96 of them with a short gap between make the turning ring.
  const float halfLength = c.width() * 0.5f - 2.0f, halfHeight = c.height() * 0.5f - 1.0f;
  Mask rail = ShapeMask(c.width(), c.height(), [&](float x, float y) { return RoundBox(x, y, halfLength, halfHeight, 2.5f); });
  c.Over(rail, [&](float x, float y) {
    const float across = std::fabs(y) / halfHeight;
    const Rgb steel = Mix(Rgb{0.62f, 0.90f, 1.0f}, Rgb{0.16f, 0.36f, 0.52f}, Smoothstep(0.1f, 0.95f, across));
    return Mix(steel, Rgb{0.10f, 0.22f, 0.34f}, Smoothstep(halfLength - 4.0f, halfLength, std::fabs(x)) * 0.6f);
  });
}

void PaintFoodBox(int cell, Canvas& c) {
  const int w = c.width(), h = c.height();
  const float half = 18.0f;
  Mask frame = ShapeMask(w, h, [&](float x, float y) {
    return std::fabs(RoundBox(x, y, half, half, 3.0f) + 1.4f) - 1.4f;
  });
  if (cell == 0) {
    // A glowing crate: planks, cross braces and rivets, a faint inside.
    Mask fill = ShapeMask(w, h, [&](float x, float y) { return RoundBox(x, y, half - 2.0f, half - 2.0f, 2.0f); });
    c.Add(fill, kCrate, 0.16f);
    Mask planks = ShapeMask(w, h, [&](float x, float y) {
      float d = std::fabs(y) - 0.6f;
      d = std::min(d, Segment(x, y, -half + 3, -half + 3, half - 3, half - 3, 1.0f));
      d = std::min(d, Segment(x, y, -half + 3, half - 3, half - 3, -half + 3, 1.0f));
      return std::max(d, RoundBox(x, y, half - 2.5f, half - 2.5f, 1.0f));
    });
    c.Add(planks, kCrate, 0.55f);
    AddGlowing(c, frame, kCrate, 3.0f, 0.55f, 0.35f);
    Mask rivets = ShapeMask(w, h, [&](float x, float y) {
      return Circle(std::fabs(x) - (half - 2.5f), std::fabs(y) - (half - 2.5f), 1.4f);
    });
    c.Add(rivets, Rgb{1, 1, 0.9f}, 0.9f);
  } else if (cell == 1) {
    // Flicker overlays (drawn faintly, at random): a wide halo...
    Mask halo = Dilate(frame, 2.0f);
    Blur(halo, 7.0f);
    ScaleMask(halo, 2.5f);
    c.Add(halo, kCrate, 1.0f);
  } else if (cell == 2) {
    // ...sparks at the corners...
    Mask sparks = FieldMask(w, h, [&](float x, float y) {
      const float dx = std::fabs(x) - half, dy = std::fabs(y) - half;
      return Gauss(dx * dx * 0.15f + dy * dy, 1.2f) + Gauss(dx * dx + dy * dy * 0.15f, 1.2f);
    });
    c.Add(sparks, Rgb{1.0f, 0.9f, 0.7f}, 1.0f);
  } else {
    // ...or a glow from within.
    Mask inner = FieldMask(w, h, [&](float x, float y) { return Gauss(x * x + y * y, 180.0f); });
    c.Add(inner, kCrate, 1.0f);
  }
  c.FadeBorder(6.0f);
}

void PaintFood(int cell, Canvas& c) {
  const int w = c.width(), h = c.height();
  if (cell == 0) {
    Mask orb = FieldMask(w, h, [](float x, float y) { return Clamp01(0.5f - Circle(x, y, 6.0f)); });
    c.Add(orb, [](float x, float y) {
      return Mix(Rgb{1.0f, 1.0f, 0.85f}, kFood, Smoothstep(0.0f, 6.0f, std::hypot(x + 1.5f, y + 1.5f)));
    });
    Mask glow = FieldMask(w, h, [](float x, float y) { return 0.6f * Gauss(x * x + y * y, 70.0f); });
    c.Add(glow, kFood, 1.0f);
  } else if (cell == 1) {
    Mask halo = FieldMask(w, h, [](float x, float y) { return Gauss(x * x + y * y, 260.0f); });
    c.Add(halo, kFood, 1.0f);
  } else if (cell == 2) {
    Mask flare = FieldMask(w, h, [](float x, float y) {
      return Gauss(y * y, 1.0f) * Smoothstep(22.0f, 0.0f, std::fabs(x)) + Gauss(x * x, 1.0f) * Smoothstep(22.0f, 0.0f, std::fabs(y));
    });
    c.Add(flare, Rgb{0.9f, 1.0f, 0.7f}, 1.0f);
  } else {
    Mask ring = ShapeMask(w, h, [](float x, float y) { return Ring(x, y, 13.0f, 1.0f); });
    AddGlowing(c, ring, kFood, 2.5f, 0.8f, 0.3f);
  }
  c.FadeBorder(6.0f);
}

void PaintItemBase(int cell, Canvas& c) {
  const int w = c.width(), h = c.height();
  if (cell == 0) {
    // The plate under the symbol (alpha blended).
    Mask plate = ShapeMask(w, h, [](float x, float y) { return Circle(x, y, 15.0f); });
    c.Over(plate, [](float x, float y) { return Mix(Rgb{0.13f, 0.17f, 0.28f}, Rgb{0.04f, 0.05f, 0.10f}, Clamp01((y + 15.0f) / 30.0f)); },
           0.88f);
    c.Over(ShapeMask(w, h, [](float x, float y) { return Ring(x, y, 14.5f, 0.8f); }), Rgb{0.65f, 0.92f, 1.0f}, 0.95f);
  } else if (cell == 1) {
    // Three turning arcs (also the growing ring of an item's birth).
    Mask arcs = ShapeMask(w, h, [](float x, float y) {
      const float a = std::atan2(y, x);
      const float gap = std::fabs(std::remainder(a, 2.0f * kPi / 3.0f)) - 0.75f;
      return std::max(Ring(x, y, 18.5f, 1.1f), -gap * 18.5f);
    });
    AddGlowing(c, arcs, kItemCyan, 1.6f, 0.8f, 0.35f);
  } else if (cell == 2) {
    Mask ticks = ShapeMask(w, h, [](float x, float y) {
      const float a = std::atan2(y, x);
      const float step = 2.0f * kPi / 12.0f;
      const float centre = std::round(a / step) * step;
      return Circle(x - 21.0f * std::cos(centre), y - 21.0f * std::sin(centre), 1.1f);
    });
    AddGlowing(c, ticks, kItemGold, 1.2f, 0.7f, 0.4f);
  } else {
    Mask halo = FieldMask(w, h, [](float x, float y) {
      const float r = std::hypot(x, y);
      return 0.8f * Gauss((r - 14.0f) * (r - 14.0f), 40.0f) + 0.25f * Gauss(r * r, 200.0f);
    });
    c.Add(halo, Rgb{0.55f, 0.85f, 1.0f}, 1.0f);
  }
  c.FadeBorder(3.0f);
}

Mask ItemShape(int kind, int w, int h, float scale) {
  // Every shape is laid out for a 32 px cell and scaled: distances too.
  auto scaled = [&](auto sdf) {
    return ShapeMask(w, h, [&](float x, float y) { return sdf(x / scale, y / scale) * scale; });
  };
  switch (kind) {
    case 0:  // life
      return scaled([](float x, float y) {
        x = std::fabs(x) / 10.0f;
        y = y / 10.0f;
        const std::vector<float> point = {0.0f, -0.2f, 0.95f, 0.05f, 0.0f, 1.0f};
        return std::min(Circle(x - 0.48f, y + 0.28f, 0.52f), Polygon(x, y, point)) * 10.0f;
      });
    case 1:  // bullet: a round upright shell
      return scaled([](float x, float y) {
        return std::min(Segment(x, y, 0, -5.0f, 0, 6.0f, 4.2f), RoundBox(x, y - 8.5f, 5.0f, 1.5f, 0.8f));
      });
    case 2:  // food coming: three pellets
      return scaled([](float x, float y) {
        return std::min({Circle(x, y + 5.0f, 4.0f), Circle(x - 5.5f, y - 4.0f, 4.0f), Circle(x + 5.5f, y - 4.0f, 4.0f)});
      });
    case 3:  // speed: double chevron
      return scaled([](float x, float y) {
        float d = 1e9f;
        for (float ox : {-4.5f, 3.5f}) {
          d = std::min(d, Segment(x, y, ox - 4.0f, -7.0f, ox + 3.0f, 0.0f, 1.9f));
          d = std::min(d, Segment(x, y, ox + 3.0f, 0.0f, ox - 4.0f, 7.0f, 1.9f));
        }
        return d;
      });
    case 4:  // the ring of sixty shots: a burst
      return scaled([](float x, float y) {
        const float a = std::atan2(y, x), step = 2.0f * kPi / 10.0f;
        const float centre = std::round(a / step) * step;
        const float ray = Segment(x, y, 6.0f * std::cos(centre), 6.0f * std::sin(centre), 11.0f * std::cos(centre),
                                  11.0f * std::sin(centre), 1.3f);
        return std::min(ray, Circle(x, y, 4.0f));
      });
    case 5:  // move: a dash toward a far point
      return scaled([](float x, float y) {
        const std::vector<float> head = {3.0f, -9.0f, 9.5f, -9.5f, 9.0f, -3.0f};
        float d = Segment(x, y, -8.0f, 8.0f, 6.5f, -6.5f, 1.6f);
        d = std::min(d, Polygon(x, y, head) - 0.5f);
        return std::min(d, Circle(x + 9.0f, y - 9.0f, 1.6f));
      });
    case 6:  // spare: a shield
      return scaled([](float x, float y) {
        const std::vector<float> shield = {-8.5f, -8.5f, 8.5f, -8.5f, 8.0f, 1.0f, 0.0f, 10.0f, -8.0f, 1.0f};
        return Polygon(x, y, shield) - 0.5f;
      });
    case 7:  // spare: a star
      return scaled([](float x, float y) {
        std::vector<float> star;
        for (int i = 0; i < 10; i++) {
          const float a = -kPi / 2 + i * kPi / 5, r = i % 2 == 0 ? 11.0f : 4.6f;
          star.push_back(r * std::cos(a));
          star.push_back(r * std::sin(a));
        }
        return Polygon(x, y, star);
      });
    case 8: {  // spare: a question
      Mask m(w, h);
      DrawText(m, "?", TextStyle{24.0f * scale, 1.2f * scale}, 0.0f, 0.0f);
      return m;
    }
    default:  // spare: a gem
      return scaled([](float x, float y) { return (std::fabs(x) * 1.3f + std::fabs(y) - 10.5f) / 1.64f; });
  }
}

Rgb ItemColour(int kind) { return kItemColours[kind]; }

Paint Shaded(Rgb colour, float size) {
  return [colour, size](float x, float y) {
    return Mix(Mix(colour, Rgb{1, 1, 1}, 0.45f), colour, Clamp01((x + y) / size + 0.5f));
  };
}

void PaintItemSymbol(int cell, Canvas& c) {
  OverOutlined(c, ItemShape(cell, c.width(), c.height(), 1.0f), Shaded(kItemColours[cell], 16.0f), 1.2f);
  c.FadeBorder(2.0f);
}

void PaintItemCaption(int cell, Canvas& c) {
  static const char* const kCaptions[6] = {"LIFE UP", "BULLET FULL", "COME FOODS", "SPEED UP", "LION SHOT", "MOVE"};
  const int w = c.width(), h = c.height();
  const Rgb colour = kItemColours[cell];
  // The caption twice around a ring: it turns around the creature, which
  // shows through the clear middle.
  const TextStyle style{15.0f, 0.7f, 1.0f, 1.1f};
  const float radius = 58.0f;
  const std::string text = std::string(kCaptions[cell]);
  const float textAngle = TextWidth(text, style) / radius;
  Mask letters(w, h);
  for (int copy = 0; copy < 2; copy++) {
    float angle = -kPi / 2 + copy * kPi - textAngle / 2;
    for (char ch : text) {
      const float advance = TextWidth(std::string(1, ch), style) + style.tracking;
      const float mid = angle + (advance - style.tracking) * 0.5f / radius;
      DrawLetter(letters, ch, style, radius * std::cos(mid), radius * std::sin(mid), mid + kPi / 2);
      angle += advance / radius;
    }
    // A dot between the copies.
    const float dotAngle = copy * kPi;
    Mask dot = ShapeMask(w, h, [&](float x, float y) {
      return Circle(x - radius * std::cos(dotAngle), y - radius * std::sin(dotAngle), 2.2f);
    });
    MaxInto(letters, dot);
  }
  AddGlowing(c, letters, colour, 2.2f, 0.9f, 0.55f);
  Mask rings = ShapeMask(w, h, [&](float x, float y) {
    return std::min(Ring(x, y, radius - 13.0f, 0.5f), Ring(x, y, radius + 13.0f, 0.5f));
  });
  c.Add(rings, colour, 0.45f);
  c.FadeBorder(4.0f);
}

void PaintLight(int, Canvas& c) {
  const float edge = c.width() * 0.5f - 1.0f;
  Mask light = FieldMask(c.width(), c.height(), [edge](float x, float y) {
    const float t = Clamp01(1.0f - std::hypot(x, y) / edge);
    return t * t * t;
  });
  c.Add(light, Rgb{1.0f, 0.96f, 0.82f}, 1.0f);
}

}  // namespace datagen
