// PNG through libpng, read over a StreamAccess. Every colour type comes out
// as 32 bits: palette, grey, 16-bit samples and tRNS are expanded, and a
// picture with any transparency keeps it as an alpha channel.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "image/image_loader.h"

namespace {

// Ancillary chunks (text, profiles) beyond this are refused rather than buffered.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

void PngRead(png_structp png, png_bytep data, size_t length) {
  const auto* stream = static_cast<const StreamAccess*>(png_get_io_ptr(png));
  if (StreamRead(*stream, data, 1, length) != length) png_error(png, "data ends early");
}

void PngError(png_structp png, png_const_charp message) {
  LogPrintf("PNG 画像の読み込みに失敗しました：%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

}  // namespace

bool IsPngData(const uint8_t* head, size_t length) {
  return length >= 8 && png_sig_cmp(const_cast<png_bytep>(head), 0, 8) == 0;
}

int LoadPngImage(const StreamAccess& stream, GraphImage* image) {
  std::memset(image, 0, sizeof(*image));
  StreamAccess source = stream;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return LogPrintf("PNG 画像を読み込むためのメモリの確保に失敗しました");
  }
  png_bytep* volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    MemFree(rows);
    ReleaseGraphImage(image);
    png_destroy_read_struct(&png, &info, nullptr);
    return -1;
  }
  png_set_read_fn(png, &source, PngRead);
  png_set_user_limits(png, kMaxLoadedImageSide, kMaxLoadedImageSide);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_read_info(png, info);

  png_uint_32 width = png_get_image_width(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  int colorType = png_get_color_type(png, info);
  bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) png_error(png, "unexpected row size");

  if (AllocateLoadedImage(image, width, height, alpha) != 0) png_longjmp(png, 1);
  rows = static_cast<png_bytep*>(VN_ALLOC(sizeof(png_bytep) * height));
  if (!rows) png_error(png, "out of memory");
  for (png_uint_32 y = 0; y < height; y++) {
    rows[y] = static_cast<png_bytep>(image->pixels) + static_cast<size_t>(y) * image->pitch;
  }
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  MemFree(rows);
  png_destroy_read_struct(&png, &info, nullptr);
  return 0;
}
