#include "sound/decode_ogg.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <cerrno>

#include "core/memory.h"
#include "sound/sound_stream_util.h"

struct OggVorbisState {
  OggVorbis_File file;
  OggSource source;  // vorbisfile keeps a pointer to it, so it lives here
  int channels;
  long rate;
  int64_t totalSamples;  // of the links decoded: those before the first change of layout
};

namespace {

constexpr uint32_t kOggOutputBytes = 4096;
constexpr int64_t kOggHeadroomSamples = 44100;
constexpr int kOggBytesPerSample = 2;
// A damaged page gives a hole; a few are stepped over, then the sound ends.
constexpr int kMaxHolesPerBlock = 64;

int CloseNothing(void*) { return 0; }

// Decoding ends at the first link whose rate or channel count differs from
// the first link's, so only the links before it are announced; -1 when a
// length is unknown.
int64_t SamplesBeforeLayoutChange(OggVorbis_File* file, const vorbis_info& first) {
  int64_t total = 0;
  for (long link = 0; link < ov_streams(file); link++) {
    vorbis_info* info = ov_info(file, static_cast<int>(link));
    if (!info || info->channels != first.channels || info->rate != first.rate) break;
    ogg_int64_t samples = ov_pcm_total(file, static_cast<int>(link));
    if (samples < 0) return -1;
    total += samples;
  }
  return total;
}

}  // namespace

size_t OggStreamRead(void* buffer, size_t size, size_t count, void* source) {
  if (!source) return static_cast<size_t>(-1);
  const OggSource& s = *static_cast<OggSource*>(source);
  size_t got = StreamRead(s.stream, buffer, size, count);
  // vorbisfile reads errno to tell an error from the end of the data.
  if (got == 0) {
    const int64_t position = StreamTell(s.stream);
    errno = position >= 0 && position >= s.length ? 0 : EIO;
  }
  return got;
}

int OggStreamSeek(void* source, int64_t offset, int whence) {
  if (!source) return -1;
  return StreamSeek(static_cast<OggSource*>(source)->stream, offset, whence);
}

long OggStreamTell(void* source) {
  if (!source) return -1;
  return static_cast<long>(StreamTell(static_cast<OggSource*>(source)->stream));
}

int OpenOggVorbisDecoder(SoundConverter* c) {
  auto* state = static_cast<OggVorbisState*>(VN_ALLOC_ZEROED(sizeof(OggVorbisState)));
  if (!state) return -1;
  // The converter has the stream at its start, where StreamLength leaves it too.
  state->source = {c->source, StreamLength(c->source)};
  if (state->source.length < 0) {
    MemFree(state);
    return -1;
  }
  ov_callbacks callbacks{OggStreamRead, OggStreamSeek, CloseNothing, OggStreamTell};
  // On failure vorbisfile has cleared its state itself.
  if (ov_open_callbacks(&state->source, &state->file, nullptr, 0, callbacks) != 0) {
    MemFree(state);
    return -1;
  }
  vorbis_info* info = ov_info(&state->file, -1);
  int64_t total = info ? SamplesBeforeLayoutChange(&state->file, *info) : -1;
  // Two channels at most (what the audio device plays), a sane rate, a known length.
  if (!info || info->channels < 1 || info->channels > 2 || info->rate < 1 || info->rate > kWaveFormatMaxRate ||
      total < 0 || static_cast<uint64_t>(total) * info->channels * kOggBytesPerSample > UINT32_MAX) {
    ov_clear(&state->file);
    MemFree(state);
    return -1;
  }
  state->channels = info->channels;
  state->rate = info->rate;
  state->totalSamples = total;
  c->ogg.open = 1;
  c->ogg.state = state;
  c->ogg.bytesPerSample = kOggBytesPerSample;
  c->ogg.seekFailed = 0;
  c->format = PcmWaveFormat(static_cast<uint16_t>(info->channels), static_cast<uint32_t>(info->rate),
                            8 * kOggBytesPerSample);
  c->outputSize = kOggOutputBytes;
  c->dataSize = static_cast<uint64_t>(GetOggTotalBytes(c));
  c->kind = kSoundConverterOggVorbis;
  return 0;
}

void CloseOggVorbisDecoder(SoundConverter* c) {
  if (c->ogg.open) ov_clear(&c->ogg.state->file);
  MemFree(c->ogg.state);
  c->ogg = SoundConverterOgg{};
}

int DecodeOggVorbisBlock(SoundConverter* c) {
  OggVorbisState* s = c->ogg.state;
  if (!c->ogg.open || c->ogg.seekFailed) return -1;
  for (int holes = 0; holes <= kMaxHolesPerBlock; holes++) {
    int bitstream = 0;
    long got = ov_read(&s->file, reinterpret_cast<char*>(c->output), static_cast<int>(c->outputSize), 0,
                       c->ogg.bytesPerSample, c->ogg.bytesPerSample != 1, &bitstream);
    if (got == OV_HOLE) continue;
    if (got <= 0) return -1;  // the end, or a decoding error
    // A chained stream may change its layout; what follows is not this sound.
    vorbis_info* info = ov_info(&s->file, bitstream);
    if (!info || info->channels != s->channels || info->rate != s->rate) return -1;
    c->held = static_cast<uint32_t>(got);
    return 0;
  }
  return -1;
}

int SeekOggVorbisSample(SoundConverter* c, int64_t sample) {
  if (!c->ogg.open) return -1;
  c->ogg.seekFailed = ov_pcm_seek(&c->ogg.state->file, sample) != 0;
  c->held = 0;
  c->readOffset = 0;
  c->pcmPosition = static_cast<uint64_t>(sample) * c->format.blockAlign;
  return 0;
}

int64_t GetOggTotalBytes(SoundConverter* c) {
  if (!c->ogg.open) return 0;
  return static_cast<int64_t>(c->format.channels) * c->ogg.bytesPerSample * c->ogg.state->totalSamples;
}

int64_t GetOggPcmBufferSize(SoundConverter* c) {
  if (!c->ogg.open) return 0;
  return static_cast<int64_t>(c->format.channels) * (c->ogg.state->totalSamples + kOggHeadroomSamples) *
         c->ogg.bytesPerSample;
}
