// Float images for painting the game's pictures: coverage masks shaped by
// signed distances or glyphs, and colour canvases they are laid onto.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/datagen/ease.h"

namespace datagen {

struct Rgb {
  float r, g, b;
};

Rgb Mix(Rgb a, Rgb b, float t);

// Signed distance in pixels from a point (local coordinates, y down) to a
// shape's edge: negative inside. Anti-aliasing comes from the distance, so
// every shape gets the same soft one-pixel edge.
using Sdf = std::function<float(float x, float y)>;
// A colour that may change over the picture (local coordinates).
using Paint = std::function<Rgb(float x, float y)>;

// One channel, 0..1, over a rectangle whose origin is its centre.
struct Mask {
  int width = 0, height = 0;
  std::vector<float> v;

  Mask() = default;
  Mask(int w, int h) : width(w), height(h), v(static_cast<size_t>(w) * h, 0.0f) {}
  float& At(int x, int y) { return v[static_cast<size_t>(y) * width + x]; }
  float At(int x, int y) const { return v[static_cast<size_t>(y) * width + x]; }
  // Local coordinates of a pixel's centre.
  float LocalX(int x) const { return x + 0.5f - width * 0.5f; }
  float LocalY(int y) const { return y + 0.5f - height * 0.5f; }
};

Mask ShapeMask(int width, int height, const Sdf& shape);
// Any value of the local position, held to 0..1: glows and falloffs.
Mask FieldMask(int width, int height, const std::function<float(float x, float y)>& value);
void Blur(Mask& mask, float sigma);
// The larger of two masks of one size, pixel by pixel.
void MaxInto(Mask& into, const Mask& other);
// Brightens (or dims) a mask, held to 0..1.
void ScaleMask(Mask& mask, float k);
// The mask grown by radius pixels (the largest value within reach).
Mask Dilate(const Mask& mask, float radius);

// Premultiplied colour and alpha per pixel.
class Canvas {
 public:
  Canvas(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  float* Pixel(int x, int y) { return &p_[(static_cast<size_t>(y) * width_ + x) * 4]; }
  const float* Pixel(int x, int y) const { return &p_[(static_cast<size_t>(y) * width_ + x) * 4]; }

  // The mask (centred on the canvas) as paint laid over what is there.
  void Over(const Mask& mask, const Paint& paint, float opacity = 1.0f);
  void Over(const Mask& mask, Rgb colour, float opacity = 1.0f);
  // The mask as light: colour adds up, alpha gathers as coverage does.
  void Add(const Mask& mask, const Paint& paint, float strength = 1.0f);
  void Add(const Mask& mask, Rgb colour, float strength = 1.0f);
  // Another canvas laid over this one with its top-left corner at (x, y).
  void Place(const Canvas& other, int x, int y);
  // Fades everything to nothing over the margin, reaching it at the border
  // pixels: a cell's motif never touches its neighbours.
  void FadeBorder(float margin) { FadeOutside(0.0f, 0.0f, margin); }
  // The same at an inset from the left and right, and from the top and bottom.
  void FadeOutside(float insetX, float insetY, float margin);

 private:
  int width_, height_;
  std::vector<float> p_;
};

// How a picture's pixels are stored, by how the game draws it.
enum class AlphaKind {
  Straight,  // drawn with alpha blending: colour as it is, alpha apart
  Light,     // drawn additively: colour falls to black as alpha falls
  Binary,    // drawn without blending: alpha 0 or 255
};

// 8-bit RGBA rows of a canvas in the chosen storage.
std::vector<uint8_t> ToRgba8(const Canvas& canvas, AlphaKind kind);
// Writes an RGBA PNG; throws on any failure.
void WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);

// Shapes (signed distances, local pixel coordinates).
float Circle(float x, float y, float radius);
float Ring(float x, float y, float radius, float halfWidth);
float Segment(float x, float y, float ax, float ay, float bx, float by, float halfWidth);
float RoundBox(float x, float y, float halfW, float halfH, float corner);
// A closed polygon (points as x, y pairs), any winding.
float Polygon(float x, float y, const std::vector<float>& points);


}  // namespace datagen
