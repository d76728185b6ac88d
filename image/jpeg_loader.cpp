// JPEG through libjpeg: a source manager over a StreamAccess and a long-jump
// error exit. The picture comes out as X8R8G8B8. Data that ends early or
// that libjpeg finds corrupt (its warnings) fails the load.
#include <cstdio>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "image/image_loader.h"

namespace {

constexpr size_t kSourceBufferBytes = 4096;
// Progressive files can hold endless scans; real ones have a handful.
constexpr int kMaxScans = 256;
constexpr long kMaxDecoderMemory = 256L << 20;

struct JpegErrors {
  jpeg_error_mgr base;
  jmp_buf jump;
};

struct JpegSource {
  jpeg_source_mgr base;
  StreamAccess stream;
  JOCTET buffer[kSourceBufferBytes];
};

[[noreturn]] void Fail(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX];
  cinfo->err->format_message(cinfo, message);
  LogPrintf("JPEG 画像の読み込みに失敗しました：%s", message);
  longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

void ErrorExit(j_common_ptr cinfo) { Fail(cinfo); }

// Warnings (level -1) mean corrupt data; trace messages are ignored.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) Fail(cinfo);
}

void OutputMessage(j_common_ptr) {}

void Progress(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) {
    LogPrintf("JPEG 画像の読み込みに失敗しました：スキャンが多すぎます");
    longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
  }
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  size_t got = StreamRead(src->stream, src->buffer, 1, sizeof(src->buffer));
  if (got == 0) ERREXIT(cinfo, JERR_INPUT_EOF);
  src->base.next_input_byte = src->buffer;
  src->base.bytes_in_buffer = got;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (static_cast<size_t>(count) > src->bytes_in_buffer) {
    count -= static_cast<long>(src->bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

uint8_t Mul255(int a, int b) { return static_cast<uint8_t>((a * b + 127) / 255); }

// CMYK (inverted, as Adobe writes it, or plain) to B, G, R, 255.
void CmykRowToBgrx(const uint8_t* cmyk, uint8_t* out, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; x++, cmyk += 4, out += 4) {
    int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    out[0] = Mul255(y, k);
    out[1] = Mul255(m, k);
    out[2] = Mul255(c, k);
    out[3] = 0xFF;
  }
}

}  // namespace

bool IsJpegData(const uint8_t* head, size_t length) {
  return length >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

int LoadJpegImage(const StreamAccess& stream, GraphImage* image) {
  std::memset(image, 0, sizeof(*image));
  jpeg_decompress_struct cinfo;
  JpegErrors errors;
  jpeg_progress_mgr progress;
  auto* source = static_cast<JpegSource*>(VN_ALLOC_ZEROED(sizeof(JpegSource)));
  if (!source) return LogPrintf("JPEG 画像を読み込むためのメモリの確保に失敗しました");
  uint8_t* volatile cmykRow = nullptr;

  std::memset(&cinfo, 0, sizeof(cinfo));
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = ErrorExit;
  errors.base.emit_message = EmitMessage;
  errors.base.output_message = OutputMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    MemFree(cmykRow);
    MemFree(source);
    ReleaseGraphImage(image);
    return -1;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
  progress.progress_monitor = Progress;
  cinfo.progress = &progress;
  source->stream = stream;
  source->base.init_source = InitSource;
  source->base.fill_input_buffer = FillInputBuffer;
  source->base.skip_input_data = SkipInputData;
  source->base.resync_to_restart = jpeg_resync_to_restart;
  source->base.term_source = TermSource;
  cinfo.src = &source->base;

  jpeg_read_header(&cinfo, TRUE);
  bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
  if (AllocateLoadedImage(image, cinfo.image_width, cinfo.image_height, false) != 0) {
    longjmp(errors.jump, 1);
  }
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_width != static_cast<JDIMENSION>(image->width) ||
      cinfo.output_height != static_cast<JDIMENSION>(image->height) || cinfo.output_components != 4) {
    LogPrintf("JPEG 画像の読み込みに失敗しました：出力の形式が不正です");
    longjmp(errors.jump, 1);
  }
  if (cmyk) {
    cmykRow = static_cast<uint8_t*>(VN_ALLOC(static_cast<size_t>(image->width) * 4));
    if (!cmykRow) {
      LogPrintf("JPEG 画像を読み込むためのメモリの確保に失敗しました");
      longjmp(errors.jump, 1);
    }
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    uint8_t* out = static_cast<uint8_t*>(image->pixels) + static_cast<size_t>(cinfo.output_scanline) * image->pitch;
    JSAMPROW row = cmyk ? cmykRow : out;
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
      LogPrintf("JPEG 画像の読み込みに失敗しました：走査線を読めません");
      longjmp(errors.jump, 1);
    }
    if (cmyk) CmykRowToBgrx(cmykRow, out, cinfo.output_width, cinfo.saw_Adobe_marker);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  MemFree(cmykRow);
  MemFree(source);
  return 0;
}
