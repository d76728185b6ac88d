#include "tools/datagen/canvas.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <stdexcept>

#include "tools/datagen/output.h"

namespace datagen {

Rgb Mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Mask ShapeMask(int width, int height, const Sdf& shape) {
  return FieldMask(width, height, [&](float x, float y) { return Clamp01(0.5f - shape(x, y)); });
}

Mask FieldMask(int width, int height, const std::function<float(float, float)>& value) {
  Mask m(width, height);
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) m.At(x, y) = Clamp01(value(m.LocalX(x), m.LocalY(y)));
  }
  return m;
}

void Blur(Mask& mask, float sigma) {
  const int radius = static_cast<int>(std::ceil(sigma * 3.0f));
  std::vector<float> kernel(2 * radius + 1);
  float sum = 0.0f;
  for (int i = -radius; i <= radius; i++) {
    kernel[i + radius] = std::exp(-0.5f * i * i / (sigma * sigma));
    sum += kernel[i + radius];
  }
  for (float& k : kernel) k /= sum;
  // Rows, then columns; what lies beyond the mask counts as empty.
  std::vector<float> line;
  for (int pass = 0; pass < 2; pass++) {
    const int count = pass == 0 ? mask.height : mask.width;
    const int length = pass == 0 ? mask.width : mask.height;
    line.resize(length);
    for (int j = 0; j < count; j++) {
      auto at = [&](int i) -> float& { return pass == 0 ? mask.At(i, j) : mask.At(j, i); };
      for (int i = 0; i < length; i++) line[i] = at(i);
      for (int i = 0; i < length; i++) {
        float s = 0.0f;
        for (int k = -radius; k <= radius; k++) {
          const int src = i + k;
          if (src >= 0 && src < length) s += line[src] * kernel[k + radius];
        }
        at(i) = s;
      }
    }
  }
}

void MaxInto(Mask& into, const Mask& other) {
  for (size_t i = 0; i < into.v.size(); i++) into.v[i] = std::max(into.v[i], other.v[i]);
}

void ScaleMask(Mask& mask, float k) {
  for (float& x : mask.v) x = Clamp01(x * k);
}

Mask Dilate(const Mask& mask, float radius) {
  Mask out(mask.width, mask.height);
  const int reach = static_cast<int>(std::ceil(radius));
  for (int y = 0; y < mask.height; y++) {
    for (int x = 0; x < mask.width; x++) {
      float best = 0.0f;
      for (int dy = -reach; dy <= reach; dy++) {
        for (int dx = -reach; dx <= reach; dx++) {
          const int sx = x + dx, sy = y + dy;
          if (sx < 0 || sy < 0 || sx >= mask.width || sy >= mask.height) continue;
          // Neighbours at the rim of the reach count in part, for a soft edge.
          const float weight = Clamp01(radius + 0.5f - std::hypot(static_cast<float>(dx), static_cast<float>(dy)));
          best = std::max(best, mask.At(sx, sy) * weight);
        }
      }
      out.At(x, y) = best;
    }
  }
  return out;
}

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), p_(static_cast<size_t>(width) * height * 4, 0.0f) {}

namespace {

// Calls f(canvas pixel, mask value, local x, local y) for every mask pixel
// that lands on the canvas, the mask centred on the canvas.
template <typename F>
void ForMask(Canvas& canvas, const Mask& mask, F f) {
  const int ox = (canvas.width() - mask.width) / 2, oy = (canvas.height() - mask.height) / 2;
  for (int y = 0; y < mask.height; y++) {
    const int cy = y + oy;
    if (cy < 0 || cy >= canvas.height()) continue;
    for (int x = 0; x < mask.width; x++) {
      const int cx = x + ox;
      const float m = mask.At(x, y);
      if (cx < 0 || cx >= canvas.width() || m <= 0.0f) continue;
      f(canvas.Pixel(cx, cy), m, mask.LocalX(x), mask.LocalY(y));
    }
  }
}

void OverPixel(float* d, Rgb c, float a) {
  d[0] = c.r * a + d[0] * (1.0f - a);
  d[1] = c.g * a + d[1] * (1.0f - a);
  d[2] = c.b * a + d[2] * (1.0f - a);
  d[3] = a + d[3] * (1.0f - a);
}

void AddPixel(float* d, Rgb c, float a) {
  d[0] += c.r * a;
  d[1] += c.g * a;
  d[2] += c.b * a;
  d[3] = 1.0f - (1.0f - d[3]) * (1.0f - std::min(1.0f, a));
}

uint8_t Byte(float v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0f)); }

}  // namespace

void Canvas::Over(const Mask& mask, const Paint& paint, float opacity) {
  ForMask(*this, mask, [&](float* d, float m, float x, float y) { OverPixel(d, paint(x, y), m * opacity); });
}

void Canvas::Over(const Mask& mask, Rgb colour, float opacity) {
  ForMask(*this, mask, [&](float* d, float m, float, float) { OverPixel(d, colour, m * opacity); });
}

void Canvas::Add(const Mask& mask, const Paint& paint, float strength) {
  ForMask(*this, mask, [&](float* d, float m, float x, float y) { AddPixel(d, paint(x, y), m * strength); });
}

void Canvas::Add(const Mask& mask, Rgb colour, float strength) {
  ForMask(*this, mask, [&](float* d, float m, float, float) { AddPixel(d, colour, m * strength); });
}

void Canvas::Place(const Canvas& other, int x0, int y0) {
  for (int y = 0; y < other.height(); y++) {
    const int cy = y + y0;
    if (cy < 0 || cy >= height_) continue;
    for (int x = 0; x < other.width(); x++) {
      const int cx = x + x0;
      if (cx < 0 || cx >= width_) continue;
      const float* s = other.Pixel(x, y);
      float* d = Pixel(cx, cy);
      for (int c = 0; c < 4; c++) d[c] = s[c] + d[c] * (1.0f - s[3]);
    }
  }
}

void Canvas::FadeOutside(float insetX, float insetY, float margin) {
  for (int y = 0; y < height_; y++) {
    for (int x = 0; x < width_; x++) {
      const float d = std::min({x + 0.5f - insetX, width_ - x - 0.5f - insetX, y + 0.5f - insetY,
                                height_ - y - 0.5f - insetY});
      const float k = Smoothstep(0.5f, 0.5f + margin, d);
      float* p = Pixel(x, y);
      for (int c = 0; c < 4; c++) p[c] *= k;
    }
  }
}

std::vector<uint8_t> ToRgba8(const Canvas& canvas, AlphaKind kind) {
  std::vector<uint8_t> out(static_cast<size_t>(canvas.width()) * canvas.height() * 4, 0);
  for (int y = 0; y < canvas.height(); y++) {
    for (int x = 0; x < canvas.width(); x++) {
      const float* p = canvas.Pixel(x, y);
      uint8_t* o = &out[(static_cast<size_t>(y) * canvas.width() + x) * 4];
      const float r = Clamp01(p[0]), g = Clamp01(p[1]), b = Clamp01(p[2]);
      float a = Clamp01(p[3]);
      if (kind == AlphaKind::Light) {
        // Light that an add without alpha would show must be covered by alpha
        // too, so the sprite looks the same whichever way the add weighs it.
        a = std::max({a, r, g, b});
        o[0] = Byte(r), o[1] = Byte(g), o[2] = Byte(b), o[3] = Byte(a);
        if (o[3] == 0) o[0] = o[1] = o[2] = 0;
        continue;
      }
      if (kind == AlphaKind::Binary) {
        if (a < 0.5f) continue;
        o[0] = Byte(r / a), o[1] = Byte(g / a), o[2] = Byte(b / a), o[3] = 255;
        continue;
      }
      o[3] = Byte(a);
      if (o[3] == 0) continue;
      o[0] = Byte(r / a), o[1] = Byte(g / a), o[2] = Byte(b / a);
    }
  }
  return out;
}

namespace {

void AppendPngBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  bytes->insert(bytes->end(), data, data + length);
}

void NoFlush(png_structp) {}

// libpng reports failures by long jump; nothing with a destructor lives
// between the jump's set and its landing here.
bool EncodePng(int width, int height, const uint8_t* rgba, std::vector<uint8_t>* bytes) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, bytes, AppendPngBytes, NoFlush);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; y++) {
    png_write_row(png, const_cast<png_bytep>(rgba + static_cast<size_t>(y) * width * 4));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

void WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> bytes;
  if (!EncodePng(width, height, rgba.data(), &bytes)) throw std::runtime_error("PNG encoding failed: " + path);
  WriteFileBytes(path, bytes.data(), bytes.size());
}

float Circle(float x, float y, float radius) { return std::hypot(x, y) - radius; }

float Ring(float x, float y, float radius, float halfWidth) {
  return std::fabs(std::hypot(x, y) - radius) - halfWidth;
}

float Segment(float x, float y, float ax, float ay, float bx, float by, float halfWidth) {
  const float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
  const float len2 = dx * dx + dy * dy;
  const float t = len2 > 0.0f ? Clamp01((px * dx + py * dy) / len2) : 0.0f;
  return std::hypot(px - dx * t, py - dy * t) - halfWidth;
}

float RoundBox(float x, float y, float halfW, float halfH, float corner) {
  const float qx = std::fabs(x) - halfW + corner, qy = std::fabs(y) - halfH + corner;
  const float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
  return outside + std::min(std::max(qx, qy), 0.0f) - corner;
}

float Polygon(float x, float y, const std::vector<float>& pts) {
  const size_t n = pts.size() / 2;
  float best = 1e30f;
  bool inside = false;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const float xi = pts[2 * i], yi = pts[2 * i + 1], xj = pts[2 * j], yj = pts[2 * j + 1];
    best = std::min(best, Segment(x, y, xj, yj, xi, yi, 0.0f));
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside ? -best : best;
}

}  // namespace datagen
