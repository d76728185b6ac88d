#include "tests/support/image_files.h"

#include <png.h>

#include <cstdio>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "image/graph_image.h"

namespace {

void AppendToVector(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

}  // namespace

std::vector<uint8_t> EncodePng(const PngParams& params) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("png write failed");
  }
  png_set_write_fn(png, &out, AppendToVector, NoFlush);
  png_set_IHDR(png, info, params.width, params.height, params.bitDepth, params.colorType,
               params.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (size_t i = 0; i + 2 < params.palette.size(); i += 3) {
    palette.push_back({params.palette[i], params.palette[i + 1], params.palette[i + 2]});
  }
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_color_16 transparent{};
  transparent.gray = params.transparent[0];
  transparent.red = params.transparent[0];
  transparent.green = params.transparent[1];
  transparent.blue = params.transparent[2];
  if (!params.paletteAlpha.empty() || params.hasTransparentColor) {
    png_set_tRNS(png, info, params.paletteAlpha.empty() ? nullptr : params.paletteAlpha.data(),
                 static_cast<int>(params.paletteAlpha.size()), params.hasTransparentColor ? &transparent : nullptr);
  }
  png_write_info(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  std::vector<png_bytep> rows(params.height);
  for (uint32_t y = 0; y < params.height; y++) {
    rows[y] = const_cast<png_bytep>(params.samples.data()) + y * rowBytes;
  }
  if (params.samples.size() < rowBytes * params.height) throw std::runtime_error("too few samples");
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

void WriteScreenshotPng(const std::filesystem::path& file, const std::vector<uint32_t>& pixels, int width, int height) {
  PngParams png;
  png.width = static_cast<uint32_t>(width);
  png.height = static_cast<uint32_t>(height);
  for (uint32_t p : pixels) png.samples.insert(png.samples.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
  std::filesystem::create_directories(file.parent_path());
  const std::vector<uint8_t> bytes = EncodePng(png);
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> EncodeJpeg(uint32_t width, uint32_t height, int components,
                                const std::vector<uint8_t>& samples, int quality, bool progressive) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : (components == 3 ? JCS_RGB : JCS_CMYK);
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data()) + cinfo.next_scanline * width * components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

uint32_t PixelAt(const GraphImage& image, int x, int y) {
  uint32_t v;
  std::memcpy(&v, static_cast<const uint8_t*>(image.pixels) + y * image.pitch + x * 4, 4);
  return v;
}
