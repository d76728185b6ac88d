// Creatures: the translucent body disc with its bone, the eyes, and the
// sprites in each creature's colour (aura, bullet, flakes, arrow marks).
#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/datagen/pictures.h"

namespace datagen {
namespace {

float SrgbEncode(float linear) {
  linear = Clamp01(linear);
  return linear <= 0.0031308f ? 12.92f * linear : 1.055f * std::pow(linear, 1.0f / 2.4f) - 0.055f;
}

float SrgbDecode(float v) { return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f); }

// A colour of the perceptual lightness/chroma/hue space (Oklab's), with the
// chroma lowered until it fits the screen's gamut; *fitted gets that chroma.
Rgb FromLch(float lightness, float chroma, float hueDegrees, float* fitted) {
  for (;; chroma *= 0.97f) {
    const float a = chroma * std::cos(hueDegrees * kPi / 180.0f), b = chroma * std::sin(hueDegrees * kPi / 180.0f);
    const float l = std::pow(lightness + 0.3963377774f * a + 0.2158037573f * b, 3.0f);
    const float m = std::pow(lightness - 0.1055613458f * a - 0.0638541728f * b, 3.0f);
    const float s = std::pow(lightness - 0.0894841775f * a - 1.2914855480f * b, 3.0f);
    const float r = 4.0767416621f * l - 3.3077115913f * m + 0.2309699292f * s;
    const float g = -1.2684380046f * l + 2.6097574011f * m - 0.3413193965f * s;
    const float bl = -0.0041960863f * l - 0.7034186147f * m + 1.7076147010f * s;
    const float eps = 1e-4f;
    if ((r >= -eps && r <= 1 + eps && g >= -eps && g <= 1 + eps && bl >= -eps && bl <= 1 + eps) || chroma < 0.005f) {
      if (fitted) *fitted = chroma;
      return {SrgbEncode(r), SrgbEncode(g), SrgbEncode(bl)};
    }
  }
}

float PerceptualDistance(Rgb x, Rgb y) {
  auto lab = [](Rgb c, float out[3]) {
    const float r = SrgbDecode(c.r), g = SrgbDecode(c.g), b = SrgbDecode(c.b);
    const float l = std::cbrt(0.4122214708f * r + 0.5363325363f * g + 0.0514459929f * b);
    const float m = std::cbrt(0.2119034982f * r + 0.6806995451f * g + 0.1073969566f * b);
    const float s = std::cbrt(0.0883024619f * r + 0.2817188376f * g + 0.6299787005f * b);
    out[0] = 0.2104542553f * l + 0.7936177850f * m - 0.0040720468f * s;
    out[1] = 1.9779984951f * l - 2.4285922050f * m + 0.4505937099f * s;
    out[2] = 0.0259040371f * l + 0.7827717662f * m - 0.8086757660f * s;
  };
  float a[3], b[3];
  lab(x, a);
  lab(y, b);
  return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

// Level 1..6 of the cell; the body's radius follows the creature's own
// (16 px, 5 more a level), held inside the 80 px cell.
int LevelOf(int cell) { return cell + 1; }
float BodyRadius(int cell) { return std::min(16.0f + 5.0f * cell, 38.5f); }

}  // namespace

Rgb CreatureColour(int index) {
  // The player's gold first; then each next colour is the vivid one farthest
  // from all taken so far, so that the few creatures of an easy round differ
  // most, and all 32 stay clearly apart.
  static const std::vector<Rgb> palette = [] {
    std::vector<Rgb> candidates;
    for (float lightness : {0.60f, 0.68f, 0.76f, 0.84f, 0.92f}) {
      for (int hue = 0; hue < 360; hue += 3) {
        float chroma = 0.0f;
        const Rgb c = FromLch(lightness, 0.20f, static_cast<float>(hue), &chroma);
        if (chroma >= 0.10f) candidates.push_back(c);
      }
    }
    std::vector<Rgb> chosen = {FromLch(0.86f, 0.16f, 85.0f, nullptr)};
    std::vector<float> nearest(candidates.size(), 1e9f);
    while (chosen.size() < 32) {
      size_t best = 0;
      for (size_t k = 0; k < candidates.size(); k++) {
        nearest[k] = std::min(nearest[k], PerceptualDistance(candidates[k], chosen.back()));
        if (nearest[k] > nearest[best]) best = k;
      }
      chosen.push_back(candidates[best]);
    }
    return chosen;
  }();
  return palette[index];
}

void PaintBodyCircle(int cell, Canvas& c) {
  const float r = BodyRadius(cell);
  const int w = c.width(), h = c.height();
  // Jelly: clearer in the middle so the bone shows, denser to a bright rim.
  Mask body = FieldMask(w, h, [&](float x, float y) {
    const float t = std::hypot(x, y) / r;
    return (0.55f + 0.35f * t * t) * Clamp01(0.5f - Circle(x, y, r));
  });
  c.Over(body, [&](float x, float y) {
    const float t = std::hypot(x, y) / r;
    return Mix(Rgb{0.50f, 0.60f, 0.76f}, Rgb{0.84f, 0.92f, 1.0f}, t * t);
  });
  // A growth ring for every level reached, then the rim.
  const int level = LevelOf(cell);
  for (int k = 1; k < level; k++) {
    const float ringR = r * (0.28f + 0.62f * k / level);
    c.Over(ShapeMask(w, h, [&](float x, float y) { return Ring(x, y, ringR, 0.45f); }), Rgb{0.92f, 0.97f, 1.0f}, 0.35f);
  }
  c.Over(ShapeMask(w, h, [&](float x, float y) { return Ring(x, y, r - 1.3f, 0.9f); }), Rgb{0.96f, 0.99f, 1.0f}, 0.95f);
  // The outermost pixel darkens, so the disc also reads as an outline when
  // the level-up ring adds it as light.
  c.Over(ShapeMask(w, h, [&](float x, float y) { return Ring(x, y, r - 0.5f, 0.35f); }), Rgb{0.30f, 0.38f, 0.50f}, 0.8f);
}

void PaintBone(int cell, Canvas& c) {
  const float r = BodyRadius(cell);
  const int level = LevelOf(cell), w = c.width(), h = c.height();
  const float thick = 1.1f + 0.12f * level;
  const float tail = -0.78f * r, neck = 0.50f * r;
  const float tip = std::min(r + 3.0f, 36.0f);
  // Skull: a wedge pointing ahead, its point just past the rim so the
  // heading shows outside the body.
  const std::vector<float> skull = {neck - 1.0f, -0.30f * r, tip, 0.0f, neck - 1.0f, 0.30f * r, neck + 0.1f * r, 0.0f};
  const int ribs = 2 + level / 2;
  Mask bone = ShapeMask(w, h, [&](float x, float y) {
    float d = Segment(x, y, tail, 0, neck, 0, thick);
    d = std::min(d, Polygon(x, y, skull) - 0.6f);
    for (int i = 0; i < ribs; i++) {
      const float rx = neck - 0.12f * r - i * (neck - tail - 0.25f * r) / ribs;
      const float reach = r * (0.62f - 0.06f * i);
      d = std::min(d, Segment(x, y, rx, 0, rx - 0.22f * r, -reach, thick * 0.75f));
      d = std::min(d, Segment(x, y, rx, 0, rx - 0.22f * r, reach, thick * 0.75f));
    }
    return std::min(d, Circle(x - tail, y, thick * 1.6f));
  });
  OverOutlined(c, bone, [&](float x, float) { return Mix(Rgb{0.80f, 0.74f, 0.62f}, Rgb{1.0f, 0.97f, 0.88f}, Clamp01(0.5f + x / (2 * r))); },
               0.9f, Rgb{0.22f, 0.18f, 0.14f});
}

void PaintEye(int cell, Canvas& c) {
  const int w = c.width(), h = c.height();
  if (cell == 0) {
    Mask white = ShapeMask(w, h, [](float x, float y) { return Circle(x, y, 5.5f); });
    OverOutlined(c, white, [](float x, float y) { return Mix(Rgb{1, 1, 1}, Rgb{0.80f, 0.85f, 0.95f}, Clamp01((x + y) / 10.0f + 0.3f)); },
                 1.1f, Rgb{0.08f, 0.10f, 0.16f});
    return;
  }
  c.Over(ShapeMask(w, h, [](float x, float y) { return Circle(x, y, 2.9f); }), Rgb{0.04f, 0.05f, 0.09f});
  c.Over(ShapeMask(w, h, [](float x, float y) { return Circle(x + 1.0f, y + 1.0f, 0.8f); }), Rgb{1, 1, 1}, 0.9f);
}

void PaintAura(int cell, Canvas& c) {
  const Rgb colour = CreatureColour(cell);
  const int w = c.width(), h = c.height();
  // Bodies of every level end between 27 and 37 px from the cell's centre at
  // the scales the aura is drawn; the glow peaks there and trails behind.
  Mask glow = FieldMask(w, h, [](float x, float y) {
    const float stretched = std::hypot(x < 0 ? x * 0.8f : x, y);
    const float ring = std::exp(-0.5f * std::pow((stretched - 32.0f) / 6.0f, 2.0f));
    const float fill = 0.22f * Smoothstep(40.0f, 20.0f, stretched);
    const float halo = 0.25f * std::exp(-(stretched - 32.0f) / 9.0f) * (stretched > 32.0f ? 1.0f : 0.0f);
    return (std::max(ring, fill) + halo) * Smoothstep(62.0f, 48.0f, stretched);
  });
  c.Add(glow, colour);
  Mask core = FieldMask(w, h, [](float x, float y) {
    return std::exp(-0.5f * std::pow((std::hypot(x, y) - 31.0f) / 2.0f, 2.0f));
  });
  c.Add(core, Mix(colour, Rgb{1, 1, 1}, 0.5f), 0.6f);
  if (cell == 0) {
    // The player's own mark: a crisp double halo no other creature has.
    c.Add(ShapeMask(w, h, [](float x, float y) { return Ring(x, y, 40.0f, 0.9f); }), Rgb{1.0f, 0.97f, 0.85f}, 1.0f);
    c.Add(ShapeMask(w, h, [](float x, float y) { return Ring(x, y, 46.5f, 0.7f); }), Rgb{1.0f, 0.85f, 0.5f}, 0.8f);
  }
  c.FadeBorder(3.0f);
}

void PaintBullet(int cell, Canvas& c) {
  const Rgb colour = CreatureColour(cell);
  const int w = c.width(), h = c.height();
  // A hot head ahead, its colour trailing behind along -x.
  Mask trail = FieldMask(w, h, [](float x, float y) {
    const float along = x > 5.0f ? (x - 5.0f) / 6.0f : (5.0f - x) / 19.0f;
    return 1.3f * std::exp(-along * along * 1.5f) * std::exp(-y * y / (x > 5.0f ? 26.0f : 16.0f + (5.0f - x) * 0.3f));
  });
  c.Add(trail, colour, 1.0f);
  Mask head = ShapeMask(w, h, [](float x, float y) { return Segment(x, y, -1.0f, 0, 8.0f, 0, 3.4f); });
  AddGlowing(c, head, colour, 2.5f, 0.7f, 0.7f);
  c.FadeBorder(3.0f);
}

void PaintFlakeDot(int cell, Canvas& c) {
  Mask dot = FieldMask(c.width(), c.height(), [](float x, float y) { return std::exp(-(x * x + y * y) / 7.0f); });
  c.Add(dot, CreatureColour(cell), 1.0f);
  Mask core = FieldMask(c.width(), c.height(), [](float x, float y) { return std::exp(-(x * x + y * y) / 1.6f); });
  c.Add(core, Rgb{1, 1, 1}, 0.8f);
  c.FadeBorder(2.0f);
}

void PaintFlakeStar(int cell, Canvas& c) {
  Mask star = FieldMask(c.width(), c.height(), [](float x, float y) {
    const float arms = std::exp(-y * y / 0.5f) * Smoothstep(6.5f, 0.0f, std::fabs(x)) +
                       std::exp(-x * x / 0.5f) * Smoothstep(6.5f, 0.0f, std::fabs(y));
    return arms + 0.8f * std::exp(-(x * x + y * y) / 2.5f);
  });
  AddGlowing(c, star, CreatureColour(cell), 1.2f, 0.9f, 0.55f);
  c.FadeBorder(2.0f);
}

void PaintFlakeShard(int cell, Canvas& c) {
  const std::vector<float> shard = {-5.0f, -0.5f, 0.0f, -2.6f, 5.5f, 0.8f, 0.0f, 2.4f};
  Mask m = ShapeMask(c.width(), c.height(), [&](float x, float y) { return Polygon(x, y, shard); });
  AddGlowing(c, m, CreatureColour(cell), 1.0f, 0.8f, 0.35f);
  c.FadeBorder(2.0f);
}

void PaintArrow(int cell, Canvas& c) {
  const std::vector<float> dart = {-5.5f, -8.5f, 9.5f, 0.0f, -5.5f, 8.5f, -1.5f, 0.0f};
  Mask m = ShapeMask(c.width(), c.height(), [&](float x, float y) { return Polygon(x, y, dart) + 0.3f; });
  AddGlowing(c, m, CreatureColour(cell), 2.0f, 0.8f, 0.3f);
  c.FadeBorder(3.0f);
}

void OverOutlined(Canvas& c, const Mask& shape, const Paint& paint, float rim, Rgb rimColour) {
  c.Over(Dilate(shape, rim), rimColour, 0.9f);
  c.Over(shape, paint);
}

void AddGlowing(Canvas& c, const Mask& core, Rgb colour, float sigma, float haloStrength, float coreWhiteness) {
  Mask halo = core;
  Blur(halo, sigma);
  ScaleMask(halo, 1.6f);
  c.Add(halo, colour, haloStrength);
  c.Add(core, Mix(colour, Rgb{1, 1, 1}, coreWhiteness), 1.0f);
}

}  // namespace datagen
