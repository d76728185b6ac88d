// Small PNG and JPEG files written in memory with libpng and libjpeg.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

struct PngParams {
  uint32_t width = 1;
  uint32_t height = 1;
  int colorType = 2;  // PNG_COLOR_TYPE_RGB
  int bitDepth = 8;
  bool interlace = false;
  std::vector<uint8_t> samples;  // packed rows as the format stores them
  std::vector<uint8_t> palette;  // r, g, b triples
  std::vector<uint8_t> paletteAlpha;
  bool hasTransparentColor = false;
  uint16_t transparent[3] = {};  // grey in [0], or r, g, b
};
std::vector<uint8_t> EncodePng(const PngParams& params);
// Writes 0xRRGGBB pixels as an RGB PNG, making its folder: the screenshots
// the on-screen tests leave for a person to look at.
void WriteScreenshotPng(const std::filesystem::path& file, const std::vector<uint32_t>& pixels, int width, int height);

// components 1 (grey), 3 (RGB) or 4 (CMYK as libjpeg stores it, with an Adobe marker).
std::vector<uint8_t> EncodeJpeg(uint32_t width, uint32_t height, int components,
                                const std::vector<uint8_t>& samples, int quality = 100,
                                bool progressive = false);

// Reads one pixel of a 32-bit image.
struct GraphImage;
uint32_t PixelAt(const GraphImage& image, int x, int y);
