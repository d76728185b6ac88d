#include "platform/audio_codec_mpeg.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "core/memory.h"

struct MpegDecoder {
  mpg123_handle* handle;
  uint32_t rate;
  int channels;
  bool failed;
  // Decoded bytes that did not fit into the caller's output yet.
  uint8_t* pending;
  size_t pendingCapacity;
  size_t pendingStart;
  size_t pendingEnd;
};

namespace {

std::once_flag g_mpg123Init;

bool KeepPending(MpegDecoder* d, const uint8_t* bytes, size_t size) {
  if (d->pendingEnd + size > d->pendingCapacity) {
    size_t held = d->pendingEnd - d->pendingStart;
    if (held > 0) std::memmove(d->pending, d->pending + d->pendingStart, held);
    d->pendingStart = 0;
    d->pendingEnd = held;
    if (held + size > d->pendingCapacity) {
      size_t capacity = std::max(held + size, d->pendingCapacity * 2);
      void* grown = VN_REALLOC(d->pending, capacity);
      if (!grown) return false;
      d->pending = static_cast<uint8_t*>(grown);
      d->pendingCapacity = capacity;
    }
  }
  std::memcpy(d->pending + d->pendingEnd, bytes, size);
  d->pendingEnd += size;
  return true;
}

}  // namespace

MpegDecoder* MpegDecoderOpen(uint32_t rate, int channels) {
  std::call_once(g_mpg123Init, [] { mpg123_init(); });
  int error = 0;
  mpg123_handle* handle = mpg123_new(nullptr, &error);
  if (!handle) return nullptr;
  // The info frame of an encoder counts as a frame of silence and no samples are
  // trimmed, so the output holds exactly samples-per-frame for every frame.
  bool ok = mpg123_param2(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME | MPG123_NO_READAHEAD, 0) ==
                MPG123_OK &&
            mpg123_param2(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0) == MPG123_OK &&
            mpg123_format_none(handle) == MPG123_OK &&
            mpg123_format(handle, static_cast<long>(rate), channels == 1 ? MPG123_MONO : MPG123_STEREO,
                          MPG123_ENC_SIGNED_16) == MPG123_OK &&
            mpg123_open_feed(handle) == MPG123_OK;
  auto* d = ok ? static_cast<MpegDecoder*>(VN_ALLOC_ZEROED(sizeof(MpegDecoder))) : nullptr;
  if (!d) {
    mpg123_delete(handle);
    return nullptr;
  }
  d->handle = handle;
  d->rate = rate;
  d->channels = channels;
  return d;
}

void MpegDecoderClose(MpegDecoder* d) {
  if (!d) return;
  mpg123_delete(d->handle);
  MemFree(d->pending);
  MemFree(d);
}

void MpegDecoderConvert(MpegDecoder* d, const uint8_t* source, uint32_t sourceBytes, uint32_t* consumed,
                        uint8_t* output, uint32_t outputBytes, uint32_t* produced) {
  *consumed = 0;
  *produced = 0;
  size_t written = std::min<size_t>(outputBytes, d->pendingEnd - d->pendingStart);
  if (written > 0) std::memcpy(output, d->pending + d->pendingStart, written);
  d->pendingStart += written;
  *produced = static_cast<uint32_t>(written);
  if (d->pendingStart < d->pendingEnd) return;
  d->pendingStart = d->pendingEnd = 0;

  if (sourceBytes > 0) {
    // Fed bytes belong to the decoder from now on, also when it refuses them.
    if (d->failed || mpg123_feed(d->handle, source, sourceBytes) != MPG123_OK) d->failed = true;
    *consumed = sourceBytes;
  }
  while (!d->failed) {
    off_t frameNumber = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    int result = mpg123_decode_frame(d->handle, &frameNumber, &audio, &bytes);
    if (result == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      mpg123_getformat(d->handle, &rate, &channels, &encoding);
      if (rate != static_cast<long>(d->rate) || channels != d->channels || encoding != MPG123_ENC_SIGNED_16)
        d->failed = true;
      continue;
    }
    if (bytes > 0 && audio) {
      size_t direct = std::min<size_t>(bytes, outputBytes - written);
      std::memcpy(output + written, audio, direct);
      written += direct;
      if (direct < bytes && !KeepPending(d, audio + direct, bytes - direct)) d->failed = true;
    }
    if (result != MPG123_OK) {
      if (result != MPG123_NEED_MORE) d->failed = true;
      break;
    }
  }
  *produced = static_cast<uint32_t>(written);
}
