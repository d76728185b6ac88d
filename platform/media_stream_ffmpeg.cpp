// The multimedia-stream service over FFmpeg: libavformat reads the file,
// libavcodec decodes, libswscale converts each video frame into the sample
// surface's pixel format and libswresample the sound into 16-bit PCM, which
// plays through a looping buffer of the audio device. The stream's clock is
// the sound's position while there is sound, else the time it has run. All
// of it runs on the caller's thread: every update and event test first
// refills the sound and reads ahead. Only the movie's own file is read, as
// one of the containers that hold a single movie. An open or a seek reads
// within a deadline; a call of the caller's stops reading at a packet when
// its deadline comes and goes on at the next, a picture decoded after it
// being the next call's first to show, and only a single read that
// outlasts a deadline of its own (a stalled or hostile file) ends the
// movie.
#include <algorithm>
#include <cstring>
#include <deque>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/audio_device.h"
#include "platform/files.h"
#include "platform/media_stream.h"
#include "platform/no_throw.h"
#include "platform/timer.h"

namespace {

// The sound kept written ahead of the play cursor, and the ring it goes into.
constexpr int64_t kAudioLeadUnits = kMediaTimeUnitsPerSecond / 2;
constexpr int kAudioRingSeconds = 1;
// The silence before the sound where writing resumes after an underrun:
// more than the SDL output mixes at a time, so that none of the sound is
// passed over while it is being written.
constexpr int64_t kResumeLeadUnits = kMediaTimeUnitsPerSecond / 20;
// Decoded pictures held while reading ahead for the sound: no more than
// this many, and no more bytes than 32 pictures of 1920 x 1080 stay under,
// though at least a few of any size (one of 8192 x 8192 takes 96 MB), or
// one alone when it fills the bytes by itself (16-bit pictures take 6 or 8
// bytes a pixel: up to 256 MB).
constexpr size_t kMaxQueuedFrames = 32;
constexpr int64_t kMaxQueuedBytes = int64_t{128} << 20;
constexpr size_t kMinQueuedFrames = 3;
// Sound decoded and not yet in the ring. A picture is looked for no further
// than this ahead when an update may wait for it; one that must come at
// once is read on to, and the sound met beyond this is dropped undecoded
// (a file may put hours of sound before its first picture).
constexpr int64_t kMaxSoundAheadUnits = 4 * kMediaTimeUnitsPerSecond;

// The demuxers of containers that hold one movie, and of MPEG-1/2 video
// elementary streams. Playlists and lists (hls, concat, ...) would open
// other files, session descriptions (sdp, rtp, rtsp) the network, and
// picture sequences are no movie.
constexpr char kMovieFormats[] = "avi,asf,flv,matroska,mov,mpeg,mpegts,mpegvideo,ogg";
const char* g_formatsForTest = nullptr;
// The protocols FFmpeg may open anything with: none (an empty list matches
// no name). The movie comes through our own reader, which needs none. A
// demuxer's opens go to RefuseNestedInput, but the context a list demuxer
// makes for an entry opens it with FFmpeg's own open: it inherits this
// list and not RefuseNestedInput, so this list alone refuses it.
constexpr char kMovieProtocols[] = "";
// The longest an open, a seek, one packet's read or the reading ahead of
// one call may take, whatever the file.
constexpr uint64_t kReadDeadlineMicros = 5 * 1000000;

uint64_t (*g_clockForTest)() = nullptr;

uint64_t Now() { return g_clockForTest ? g_clockForTest() : PlatformMicroseconds(); }

// Sound read past the bound above is dropped undecoded; the span it covered
// counts on the clock once the sound before it has played.
struct DroppedSound {
  int64_t atByte;    // where in the sound data it falls
  int64_t fromTime;  // the first dropped packet's time, or AV_NOPTS_VALUE
  int64_t units;     // its length
  bool open;         // no sound kept since: more may join it
};

struct Session {
  int references = 1;
  bool wantVideo = false;
  bool wantAudio = false;
  MediaPictureBound pictureBound{};  // the video decoder's
  AVFormatContext* format = nullptr;
  AVIOContext* input = nullptr;  // the file, read by us for FFmpeg
  uint64_t readDeadline = 0;     // of the open, seek or packet read under way
  uint64_t callDeadline = 0;     // of the caller's call under way
  bool showHeld = false;         // pictures were held when the call started
  int videoIndex = -1;
  int audioIndex = -1;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* converted = nullptr;  // the scaler's output, copied into the surface
  SwrContext* resampler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  bool readEnded = false;
  std::deque<AVFrame*> pictures;
  int64_t picturesBytes = 0;  // their buffers'
  int64_t skipBefore = 0;  // after a seek: pictures before this time are passed over

  // Sound. The ring holds the sound written ahead of the play cursor (after
  // a lead of silence where writing resumed) and silence beyond it. Bytes
  // count the decoded sound since the last seek.
  WaveFormat pcmFormat{};
  std::vector<uint8_t> pcm;  // decoded, not yet in the ring
  AudioBuffer* ring = nullptr;
  uint32_t ringBytes = 0;
  uint32_t writeOffset = 0;  // where the written sound ends in the ring
  uint32_t lastCursor = 0;
  uint64_t lastLookMicros = 0;  // when the cursor was read last
  int64_t leadBytes = 0;        // silence left before the written sound
  int64_t playedBytes = 0;
  int64_t dataBytes = 0;     // sound written into the ring
  int64_t silenceBytes = 0;  // silence played where the file had no sound to give
  bool soundEnded = false;   // the cursor has passed the last of the sound
  uint64_t endMicros = 0;    // when it did
  std::deque<DroppedSound> dropped;  // ahead of the play cursor
  int64_t droppedPlayed = 0;         // units passed by the cursor since the last seek

  // Clock, in 100 ns units.
  bool running = false;
  int64_t baseTime = 0;  // at the last start, pause or seek
  uint64_t startMicros = 0;
  int64_t startPlayed = 0;  // with the silence that counts
  int64_t startDropped = 0;
};

enum class Kind { Graph, Stream, Part, DirectDraw4, Surface, Sample, Event };

}  // namespace

struct MediaObject {
  Kind kind;
  Session* session;
  DirectDrawSurface* surface;
  // Events: the sample whose update is under way, and whether it completed.
  MediaObject* pendingSample;
  bool signalled;
};

namespace {

int64_t ToUnits(int64_t value, AVRational base) {
  return av_rescale_q(value, base, AVRational{1, static_cast<int>(kMediaTimeUnitsPerSecond)});
}

// The bytes of a picture as decoded, or -1 for a format without a size.
int64_t PictureBytes(int format, int width, int height) {
  const int bytes = av_image_get_buffer_size(static_cast<AVPixelFormat>(format), width, height, 1);
  return bytes < 0 ? -1 : bytes;
}

// FFmpeg's own bound on pictures, which its decoders check as soon as a
// size is known, before their tables for it: in pixels alone, and on rows
// rounded up to its vector width (64 pixels at most). A decoder opened
// with a size over it forgets that size.
int64_t MaxPixels(const MediaPictureBound& bound) { return bound.bytes / 4 + 64 * bound.side; }

// A picture the player would refuse gets no buffer: a size that changes
// after the open is held to the bound of the first, in the format the
// decoder decodes it into. The frame's size is the coded one, which may
// be larger than the picture.
int BoundedPictureBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
  const auto* bound = static_cast<const MediaPictureBound*>(context->opaque);
  const int64_t bytes = PictureBytes(frame->format, frame->width, frame->height);
  if (bytes < 0 || !MediaPictureAllowed(*bound, context->width, context->height, bytes)) return AVERROR(ENOMEM);
  return avcodec_default_get_buffer2(context, frame, flags);
}

// bound: the pictures' (null for sound).
AVCodecContext* OpenDecoder(const AVStream* stream, const MediaPictureBound* bound) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (context && bound) {
    context->opaque = const_cast<MediaPictureBound*>(bound);
    context->get_buffer2 = BoundedPictureBuffer;
  }
  if (!context || avcodec_parameters_to_context(context, stream->codecpar) < 0 ||
      avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    return nullptr;
  }
  // After the open: the open refuses a declared size over the bound by itself.
  if (bound) context->max_pixels = MaxPixels(*bound);
  return context;
}

// ---- Files -----------------------------------------------------------------

// FFmpeg reads the movie only through the platform's open, which takes
// regular files alone: its own would wait for ever on a named pipe without
// a writer.
constexpr int kInputBufferBytes = 32768;

struct InputFile {
  PlatformFileHandle file;
  int64_t position;
  uint64_t* deadline;
};

// A deadline once past stays past (0), and the clock is not read for it
// again, however often FFmpeg retries a read that it cut.
bool PastDeadline(uint64_t* deadline) {
  if (*deadline != 0 && Now() > *deadline) *deadline = 0;
  return *deadline == 0;
}

// FFmpeg's own loops ask this; our reader asks the same at every read.
int InterruptRead(void* opaque) { return PastDeadline(static_cast<uint64_t*>(opaque)) ? 1 : 0; }

void StartReadDeadline(Session* s) { s->readDeadline = Now() + kReadDeadlineMicros; }

bool CallTimeLeft(Session* s) { return !PastDeadline(&s->callDeadline); }

// A picture is converted into the surface while the call has time; the
// call's first one, when held since an earlier call, whatever the time: a
// movie whose every decode outlasts the deadline still shows one a call.
bool MayShow(Session* s) { return s->showHeld || CallTimeLeft(s); }

int ReadInput(void* opaque, uint8_t* buffer, int size) {
  auto* in = static_cast<InputFile*>(opaque);
  if (PastDeadline(in->deadline)) return AVERROR_EXIT;
  const int64_t got = PlatformFileReadAt(in->file, buffer, static_cast<size_t>(size), in->position);
  if (got < 0) return AVERROR(EIO);
  if (got == 0) return AVERROR_EOF;
  in->position += got;
  return static_cast<int>(got);
}

int64_t SeekInput(void* opaque, int64_t offset, int whence) {
  auto* in = static_cast<InputFile*>(opaque);
  const int64_t size = PlatformFileSize(in->file);
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return size < 0 ? AVERROR(EIO) : size;
    case SEEK_SET: break;
    case SEEK_CUR: offset += in->position; break;
    case SEEK_END:
      if (size < 0) return AVERROR(EIO);
      offset += size;
      break;
    default: return AVERROR(EINVAL);
  }
  if (offset < 0) return AVERROR(EINVAL);
  in->position = offset;
  return offset;
}

AVIOContext* OpenInput(const char* path, uint64_t* deadline) {
  const PlatformFileHandle file = PlatformFileOpenRead(path);
  if (!file) return nullptr;
  auto* in = new (std::nothrow) InputFile{file, 0, deadline};
  auto* buffer = static_cast<uint8_t*>(av_malloc(kInputBufferBytes));
  AVIOContext* io =
      in && buffer ? avio_alloc_context(buffer, kInputBufferBytes, 0, in, ReadInput, nullptr, SeekInput) : nullptr;
  if (!io) {
    av_free(buffer);
    delete in;
    PlatformFileClose(file);
  }
  return io;
}

void CloseInputFile(AVIOContext** io) {
  if (!*io) return;
  auto* in = static_cast<InputFile*>((*io)->opaque);
  PlatformFileClose(in->file);
  delete in;
  av_freep(&(*io)->buffer);  // FFmpeg may have replaced the one given
  avio_context_free(io);
}

// A single movie's demuxer opens no file besides the movie's own: any that
// one asks for, beside the movie or elsewhere, is refused.
int RefuseNestedInput(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EACCES);
}

// FFmpeg's probe of the streams decodes a first picture with a decoder of
// its own, which takes options but no callback: it is bounded in pixels.
// A stream that declares a size over the bound, which the open refuses as
// declared, is not probed at all.
int FindStreamInfo(Session* s) {
  if (!s->wantVideo) return avformat_find_stream_info(s->format, nullptr);
  const unsigned streams = s->format->nb_streams;
  auto** options = static_cast<AVDictionary**>(av_calloc(std::max(streams, 1u), sizeof(AVDictionary*)));
  if (!options) return AVERROR(ENOMEM);
  for (unsigned i = 0; i < streams; i++) {
    AVStream* stream = s->format->streams[i];
    const AVCodecParameters* declared = stream->codecpar;
    if (declared->codec_type == AVMEDIA_TYPE_VIDEO && (declared->width > 0 || declared->height > 0) &&
        !MediaPictureAllowed(s->pictureBound, declared->width, declared->height, 0)) {
      stream->discard = AVDISCARD_ALL;
    } else {
      av_dict_set_int(&options[i], "max_pixels", MaxPixels(s->pictureBound), 0);
    }
  }
  const int result = avformat_find_stream_info(s->format, options);
  for (unsigned i = 0; i < streams; i++) av_dict_free(&options[i]);
  av_free(options);
  return result;
}

void ClearPictures(Session* s) {
  for (AVFrame* picture : s->pictures) av_frame_free(&picture);
  s->pictures.clear();
  s->picturesBytes = 0;
}

// As decoded; the buffers' own sizes where the format has none.
int64_t PictureBytes(const AVFrame* picture) {
  const int64_t bytes = PictureBytes(picture->format, picture->width, picture->height);
  if (bytes >= 0) return bytes;
  int64_t buffers = 0;
  for (const AVBufferRef* buffer : picture->buf) buffers += buffer ? static_cast<int64_t>(buffer->size) : 0;
  return buffers;
}

// The caller's from here on.
AVFrame* TakePicture(Session* s) {
  AVFrame* picture = s->pictures.front();
  s->pictures.pop_front();
  s->picturesBytes -= PictureBytes(picture);
  return picture;
}

bool PicturesHeldFull(const Session* s) {
  if (s->pictures.size() >= kMaxQueuedFrames) return true;
  if (s->picturesBytes < kMaxQueuedBytes) return false;
  return s->pictures.size() >= kMinQueuedFrames || PictureBytes(s->pictures.back()) >= kMaxQueuedBytes;
}

// The file and what reads it, as an open that failed half way leaves them.
void CloseSessionFile(Session* s) {
  av_frame_free(&s->frame);
  av_packet_free(&s->packet);
  avformat_close_input(&s->format);
  CloseInputFile(&s->input);
}

void CloseSession(Session* s) {
  ClearPictures(s);
  if (s->ring) AudioBufferRelease(s->ring);
  sws_freeContext(s->scaler);
  av_frame_free(&s->converted);
  swr_free(&s->resampler);
  avcodec_free_context(&s->video);
  avcodec_free_context(&s->audio);
  CloseSessionFile(s);
  delete s;
}

// ---- Sound ---------------------------------------------------------------

bool OpenSound(Session* s) {
  const AVStream* stream = s->format->streams[s->audioIndex];
  AudioDevice* device = AudioDeviceActive();
  if (!device || !(s->audio = OpenDecoder(stream, nullptr))) return false;
  const int channels = std::min(s->audio->ch_layout.nb_channels, 2);
  const int rate = s->audio->sample_rate;
  if (channels <= 0 || rate < 100 || rate > 200000) return false;
  AVChannelLayout layout;
  av_channel_layout_default(&layout, channels);
  if (swr_alloc_set_opts2(&s->resampler, &layout, AV_SAMPLE_FMT_S16, rate, &s->audio->ch_layout,
                          s->audio->sample_fmt, rate, 0, nullptr) < 0 ||
      swr_init(s->resampler) < 0) {
    return false;
  }
  s->pcmFormat = PcmWaveFormat(static_cast<uint16_t>(channels), static_cast<uint32_t>(rate), 16);
  s->ringBytes = s->pcmFormat.avgBytesPerSec * kAudioRingSeconds;
  const AudioBufferDesc desc{kAudioBufferCtrlVolume | kAudioBufferGetCurrentPosition2 | kAudioBufferGlobalFocus,
                             s->ringBytes, &s->pcmFormat};
  s->ring = AudioBufferCreate(device, &desc);
  return s->ring != nullptr;
}

// Sound that finds no memory is dropped; the picture goes on.
void DecodeSound(Session* s, const AVPacket* packet) {
  if (avcodec_send_packet(s->audio, packet) < 0) return;
  while (avcodec_receive_frame(s->audio, s->frame) >= 0) PlatformNoThrow("動画の音声の展開", [&] {
    const int out = swr_get_out_samples(s->resampler, s->frame->nb_samples);
    if (out > 0) {
      const size_t start = s->pcm.size();
      s->pcm.resize(start + static_cast<size_t>(out) * s->pcmFormat.blockAlign);
      uint8_t* dest = s->pcm.data() + start;
      const int got = swr_convert(s->resampler, &dest, out, const_cast<const uint8_t**>(s->frame->extended_data),
                                  s->frame->nb_samples);
      s->pcm.resize(start + static_cast<size_t>(std::max(got, 0)) * s->pcmFormat.blockAlign);
    }
    av_frame_unref(s->frame);
  });
}

int64_t BytesToUnits(const Session* s, int64_t bytes) {
  return bytes * kMediaTimeUnitsPerSecond / s->pcmFormat.avgBytesPerSec;
}

int64_t UnitsToBytes(const Session* s, int64_t units) {
  const int64_t bytes = units * s->pcmFormat.avgBytesPerSec / kMediaTimeUnitsPerSecond;
  return bytes - bytes % s->pcmFormat.blockAlign;
}

bool SoundHeldFull(const Session* s) {
  return s->ring && BytesToUnits(s, static_cast<int64_t>(s->pcm.size())) >= kMaxSoundAheadUnits;
}

int64_t PacketTime(const Session* s, const AVPacket* packet) {
  if (packet->pts == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
  return ToUnits(packet->pts, s->format->streams[s->audioIndex]->time_base);
}

// The span runs from the first dropped packet to the next one kept; where
// a time is missing, the dropped packets' durations make it.
void DropSound(Session* s, const AVPacket* packet) {
  if (s->dropped.empty() || !s->dropped.back().open) {
    PlatformNoThrow("動画の音声の展開", [&] {
      s->dropped.push_back({s->dataBytes + static_cast<int64_t>(s->pcm.size()), PacketTime(s, packet), 0, true});
    });
    if (s->dropped.empty() || !s->dropped.back().open) return;
  }
  if (packet->duration > 0) {
    s->dropped.back().units += ToUnits(packet->duration, s->format->streams[s->audioIndex]->time_base);
  }
}

void KeepSound(Session* s, const AVPacket* packet) {
  if (s->dropped.empty() || !s->dropped.back().open) return;
  DroppedSound& last = s->dropped.back();
  last.open = false;
  const int64_t time = PacketTime(s, packet);
  if (time != AV_NOPTS_VALUE && last.fromTime != AV_NOPTS_VALUE && time > last.fromTime) {
    last.units = time - last.fromTime;
  }
}

// Counts what the cursor has played and writes the decoded sound ahead of
// it, silence beyond. An underrun (the cursor past the written sound, or a
// ring's time gone since the last look, in which it may have gone round)
// is taken as silence played: writing resumes a little ahead of the
// cursor, and the clock waits for the sound, except where the file has
// none to give, in a gap (see SoundGap) or past its end.
void RefillSound(Session* s, bool gap) {
  if (!s->ring) return;
  uint32_t cursor = 0;
  AudioBufferGetPosition(s->ring, &cursor);
  const uint64_t now = Now();
  const int64_t moved = cursor >= s->lastCursor ? cursor - s->lastCursor : s->ringBytes - s->lastCursor + cursor;
  const int64_t ahead = s->leadBytes + s->dataBytes - s->playedBytes;
  const uint64_t since = now - s->lastLookMicros;
  const bool lost = s->running && since >= uint64_t{kAudioRingSeconds} * 1000000;
  s->lastCursor = cursor;
  s->lastLookMicros = now;
  bool resumed = false;
  if (!lost && moved <= ahead) {
    const int64_t fromLead = std::min(moved, s->leadBytes);
    s->leadBytes -= fromLead;
    s->playedBytes += moved - fromLead;
  } else {
    const int64_t went = lost ? UnitsToBytes(s, static_cast<int64_t>(since) * 10) : moved;
    const int64_t overrun = std::max<int64_t>(went - ahead, 0);
    s->playedBytes = s->dataBytes;
    if (s->readEnded && s->pcm.empty()) {
      if (!s->soundEnded) s->endMicros = now - static_cast<uint64_t>(BytesToUnits(s, overrun) / 10);
      s->soundEnded = true;
    } else if (gap) {
      s->silenceBytes += overrun;
    }
    s->leadBytes = s->pcm.empty() ? 0 : UnitsToBytes(s, kResumeLeadUnits);
    s->writeOffset = static_cast<uint32_t>((cursor + s->leadBytes) % s->ringBytes);
    resumed = true;
  }
  while (!s->dropped.empty() && s->dropped.front().atByte <= s->playedBytes) {
    s->droppedPlayed += s->dropped.front().units;
    s->dropped.pop_front();
  }
  // From the end of the written sound (from the cursor, with the lead,
  // where writing resumes) round to the block before the cursor.
  const int64_t head = resumed ? s->leadBytes : 0;
  const int64_t room =
      s->ringBytes - (s->leadBytes - head) - (s->dataBytes - s->playedBytes) - s->pcmFormat.blockAlign;
  const auto from = static_cast<uint32_t>((s->writeOffset + s->ringBytes - head) % s->ringBytes);
  void *part1, *part2;
  uint32_t size1, size2;
  if (room <= head ||
      AudioBufferLock(s->ring, from, static_cast<uint32_t>(room), &part1, &size1, &part2, &size2) != 0) {
    return;
  }
  const size_t data = std::min<size_t>(static_cast<size_t>(room - head), s->pcm.size());
  auto* first = static_cast<uint8_t*>(part1);
  auto* second = static_cast<uint8_t*>(part2);
  std::memset(first, 0, size1);
  if (second) std::memset(second, 0, size2);
  const size_t inFirst = std::min<size_t>(data, size1 - std::min<size_t>(size1, head));
  if (inFirst) std::memcpy(first + head, s->pcm.data(), inFirst);
  if (data > inFirst) std::memcpy(second + (head + inFirst - size1), s->pcm.data() + inFirst, data - inFirst);
  AudioBufferUnlock(s->ring, part1, size1, part2, size2);
  s->pcm.erase(s->pcm.begin(), s->pcm.begin() + static_cast<std::ptrdiff_t>(data));
  s->dataBytes += static_cast<int64_t>(data);
  s->writeOffset = static_cast<uint32_t>((s->writeOffset + data) % s->ringBytes);
}

// ---- Reading and the clock -------------------------------------------------

void ReceivePictures(Session* s) {
  while (avcodec_receive_frame(s->video, s->frame) >= 0) {
    AVFrame* picture = av_frame_clone(s->frame);
    av_frame_unref(s->frame);
    if (!picture) continue;
    PlatformNoThrow("動画の展開", [&] {
      try {
        s->pictures.push_back(picture);
        s->picturesBytes += PictureBytes(picture);
      } catch (...) {
        av_frame_free(&picture);
        throw;
      }
    });
  }
}

// Reads one packet (or, at the end, drains the decoders); false when the
// file has nothing more.
bool ReadPacket(Session* s) {
  if (s->readEnded) return false;
  // A read cut by its deadline ends the movie: the demuxer may be left in
  // the middle of a packet.
  StartReadDeadline(s);
  if (av_read_frame(s->format, s->packet) < 0) {
    s->readEnded = true;
    if (s->video && avcodec_send_packet(s->video, nullptr) >= 0) ReceivePictures(s);
    if (s->ring) DecodeSound(s, nullptr);
    return false;
  }
  if (s->packet->stream_index == s->videoIndex && s->video) {
    if (avcodec_send_packet(s->video, s->packet) >= 0) ReceivePictures(s);
  } else if (s->packet->stream_index == s->audioIndex && s->ring) {
    if (SoundHeldFull(s)) {
      DropSound(s, s->packet);
    } else {
      KeepSound(s, s->packet);
      DecodeSound(s, s->packet);
    }
  }
  av_packet_unref(s->packet);
  return true;
}

int64_t PictureTime(const Session* s, const AVFrame* picture) {
  const AVStream* stream = s->format->streams[s->videoIndex];
  int64_t pts = picture->best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) return 0;
  if (stream->start_time != AV_NOPTS_VALUE) pts -= stream->start_time;
  return ToUnits(pts, stream->time_base);
}

// The next picture to show, reading as far as needed; null at the end, or
// with *later set when the call's time is up before the picture comes or,
// when the update may wait for the sound, the sound held ahead is full: it
// is read at a later call.
AVFrame* NextPicture(Session* s, bool waitForSound, bool* later) {
  for (;;) {
    while (!s->pictures.empty() && PictureTime(s, s->pictures.front()) < s->skipBefore) {
      AVFrame* passed = TakePicture(s);
      av_frame_free(&passed);
    }
    if (!s->pictures.empty()) return s->pictures.front();
    if ((waitForSound && SoundHeldFull(s)) || (!s->readEnded && !CallTimeLeft(s))) {
      *later = true;
      return nullptr;
    }
    if (!ReadPacket(s) && s->pictures.empty()) return nullptr;
  }
}

// The sound's position while there is sound: it waits while the sound has
// run dry and counts the silence where the file had none to give. Past the
// end of the sound, the time run on from there; without sound, the time
// run. Either way the sound dropped undecoded that the cursor has passed
// counts.
int64_t Clock(Session* s) {
  if (!s->running) return s->baseTime;
  if (!s->ring) return s->baseTime + static_cast<int64_t>(Now() - s->startMicros) * 10;
  const int64_t dropped = s->droppedPlayed - s->startDropped;
  int64_t time = s->baseTime + BytesToUnits(s, s->playedBytes + s->silenceBytes - s->startPlayed) + dropped;
  if (s->soundEnded) time += static_cast<int64_t>(Now() - std::max(s->endMicros, s->startMicros)) * 10;
  return time;
}

// The file has no sound to give before the pictures held: they are as many
// as are kept, and not one of them is due. The silence played meanwhile
// counts on the clock, or nothing would ever make room for more reading.
bool SoundGap(Session* s) {
  return s->running && s->pcm.empty() && !s->readEnded && PicturesHeldFull(s) &&
         PictureTime(s, s->pictures.front()) > Clock(s);
}

// Keeps the sound decoded half a second ahead, within a bound of pictures
// and of the call's time.
void ReadAhead(Session* s) {
  if (s->ring) {
    while (BytesToUnits(s, static_cast<int64_t>(s->pcm.size())) < kAudioLeadUnits && !PicturesHeldFull(s) &&
           CallTimeLeft(s) && ReadPacket(s)) {
    }
  }
  RefillSound(s, s->ring && SoundGap(s));
}

void Start(Session* s) {
  if (s->running) return;
  s->running = true;
  s->startMicros = s->lastLookMicros = Now();
  s->startPlayed = s->playedBytes + s->silenceBytes;
  s->startDropped = s->droppedPlayed;
  if (s->ring) AudioBufferPlay(s->ring, 1);
}

void Stop(Session* s) {
  if (!s->running) return;
  s->baseTime = Clock(s);
  s->running = false;
  if (s->ring) AudioBufferStop(s->ring);
}

AVPixelFormat SurfaceFormat(const DirectDrawSurfaceDesc& desc) {
  const DirectDrawPixelFormat& f = desc.pixelFormat;
  if (f.bitCount == 32 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF) return AV_PIX_FMT_BGR0;
  if (f.bitCount == 24 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF) return AV_PIX_FMT_BGR24;
  if (f.bitCount == 16 && f.redMask == 0xF800 && f.greenMask == 0x07E0 && f.blueMask == 0x001F) {
    return AV_PIX_FMT_RGB565LE;
  }
  return AV_PIX_FMT_NONE;
}

// A frame of FFmpeg's own allocation in the surface's size and format:
// swscale writes whole vector blocks, past the end of a row of a few
// pixels (60 bytes past a 1 x 2 picture), which the surface's exact rows
// would not hold.
AVFrame* ConvertedFrame(Session* s, const DirectDrawSurfaceDesc& desc) {
  AVFrame*& out = s->converted;
  const AVPixelFormat format = SurfaceFormat(desc);
  if (out && (out->width != desc.width || out->height != desc.height || out->format != format)) av_frame_free(&out);
  if (!out && (out = av_frame_alloc())) {
    out->width = desc.width;
    out->height = desc.height;
    out->format = format;
    if (av_frame_get_buffer(out, 0) < 0) av_frame_free(&out);
  }
  return out;
}

// Takes the next picture out and draws it into the sample's surface.
void ShowPicture(Session* s, MediaObject* sample) {
  AVFrame* picture = TakePicture(s);
  s->showHeld = false;  // the call's first has been shown
  DirectDrawSurfaceDesc desc;
  DirectDrawGetSurfaceDesc(sample->surface, &desc);
  void* pixels;
  int32_t pitch;
  s->scaler = sws_getCachedContext(s->scaler, picture->width, picture->height,
                                   static_cast<AVPixelFormat>(picture->format), desc.width, desc.height,
                                   SurfaceFormat(desc), SWS_BILINEAR, nullptr, nullptr, nullptr);
  AVFrame* out = s->scaler ? ConvertedFrame(s, desc) : nullptr;
  if (out && sws_scale(s->scaler, picture->data, picture->linesize, 0, picture->height, out->data, out->linesize) > 0 &&
      DirectDrawLockSurface(sample->surface, &pixels, &pitch) == 0) {
    const size_t rowBytes = static_cast<size_t>(desc.width) * (desc.pixelFormat.bitCount / 8);
    for (int32_t y = 0; y < desc.height; y++) {
      std::memcpy(static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(y) * pitch,
                  out->data[0] + static_cast<ptrdiff_t>(y) * out->linesize[0], rowBytes);
    }
    DirectDrawUnlockSurface(sample->surface);
  }
  av_frame_free(&picture);
}

// ---- The service -----------------------------------------------------------

class FfmpegMediaStream : public MediaStreamService {
 public:
  // Broken files are answered through the results; FFmpeg's own messages
  // would only clutter the program's error output.
  FfmpegMediaStream() { av_log_set_level(AV_LOG_QUIET); }

  MediaObject* CreateFilterGraph() override {
    Session* session = new (std::nothrow) Session;
    MediaObject* graph = session ? Make(Kind::Graph, session) : nullptr;
    if (!graph) delete session;
    return graph;
  }
  MediaObject* CreateMultiMediaStream() override { return Make(Kind::Stream, nullptr); }
  int InitializeForReading(MediaObject* stream, MediaObject* graph) override {
    if (!stream || !graph || stream->session) return -1;
    stream->session = Share(graph->session);
    return 0;
  }
  MediaObject* QueryMediaControl(MediaObject* graph) override { return Make(Kind::Part, Share(graph->session)); }
  MediaObject* QueryDirectDraw4(DirectDrawObject* directDraw) override {
    return directDraw ? Make(Kind::DirectDraw4, nullptr) : nullptr;
  }
  int AddPrimaryVideoStream(MediaObject* stream, MediaObject*, const MediaPictureBound& bound) override {
    if (!stream->session) return -1;
    stream->session->wantVideo = true;
    stream->session->pictureBound = bound;
    return 0;
  }
  int AddPrimaryAudioStream(MediaObject* stream) override {
    if (!stream->session) return -1;
    stream->session->wantAudio = true;
    return 0;
  }

  // Still pictures are no movie; a file with neither picture nor sound neither.
  int OpenFile(MediaObject* stream, const char* nativePath) override {
    Session* s = stream->session;
    if (!s || s->format || s->input) return -1;
    StartReadDeadline(s);
    s->callDeadline = s->readDeadline;
    if (!(s->input = OpenInput(nativePath, &s->readDeadline)) || !(s->format = avformat_alloc_context())) {
      return CloseInput(s);
    }
    if (!(s->format->format_whitelist = av_strdup(g_formatsForTest ? g_formatsForTest : kMovieFormats)) ||
        !(s->format->protocol_whitelist = av_strdup(kMovieProtocols))) {
      return CloseInput(s);
    }
    s->format->pb = s->input;
    s->format->io_open = RefuseNestedInput;
    s->format->interrupt_callback = {InterruptRead, &s->readDeadline};
    if (avformat_open_input(&s->format, nativePath, nullptr, nullptr) < 0) return CloseInput(s);
    if (FindStreamInfo(s) < 0 || !(s->packet = av_packet_alloc()) ||
        !(s->frame = av_frame_alloc())) {
      return CloseInput(s);
    }
    s->videoIndex = s->wantVideo ? av_find_best_stream(s->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) : -1;
    s->audioIndex = s->wantAudio ? av_find_best_stream(s->format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) : -1;
    if (s->videoIndex < 0 && s->audioIndex < 0) return CloseInput(s);
    if (s->videoIndex >= 0 && !(s->video = OpenDecoder(s->format->streams[s->videoIndex], &s->pictureBound))) {
      return CloseInput(s);
    }
    // Sound that cannot be played leaves the picture alone on the clock.
    if (s->audioIndex >= 0 && !OpenSound(s)) {
      if (s->ring) AudioBufferRelease(s->ring);
      s->ring = nullptr;
      swr_free(&s->resampler);
      avcodec_free_context(&s->audio);
    }
    return 0;
  }

  MediaObject* QueryMediaSeeking(MediaObject* graph) override { return Make(Kind::Part, Share(graph->session)); }
  MediaObject* QueryBasicAudio(MediaObject* graph) override { return Make(Kind::Part, Share(graph->session)); }
  MediaObject* GetPrimaryVideoStream(MediaObject* stream) override {
    return stream->session && stream->session->wantVideo ? Make(Kind::Part, Share(stream->session)) : nullptr;
  }
  MediaObject* QueryAMMediaStream(MediaObject* video) override { return Make(Kind::Part, Share(video->session)); }
  MediaObject* QueryDirectDrawMediaStream(MediaObject* video) override {
    return Make(Kind::Part, Share(video->session));
  }

  int GetVideoFormat(MediaObject* directDrawStream, int32_t* width, int32_t* height, int64_t* decodedBytes) override {
    const Session* s = directDrawStream->session;
    *width = s->video ? s->video->width : 0;
    *height = s->video ? s->video->height : 0;
    *decodedBytes = s->video ? std::max<int64_t>(PictureBytes(s->video->pix_fmt, *width, *height), 0) : 0;
    return 0;
  }

  MediaObject* CreateSurface(DirectDrawObject* directDraw, const DirectDrawSurfaceDesc& desc) override {
    if (SurfaceFormat(desc) == AV_PIX_FMT_NONE) return nullptr;
    DirectDrawSurface* surface = DirectDrawCreateSurface(directDraw, &desc);
    return surface ? Make(Kind::Surface, nullptr, surface) : nullptr;
  }

  MediaObject* CreateSample(MediaObject* directDrawStream, MediaObject* surface) override {
    Session* s = directDrawStream->session;
    if (!s->video) return nullptr;
    if (surface) {
      DirectDrawAddRefSurface(surface->surface);
      return Make(Kind::Sample, Share(s), surface->surface);
    }
    const DirectDrawSurfaceDesc desc{kDirectDrawCapsOffscreenPlain | kDirectDrawCapsSystemMemory, s->video->width,
                                     s->video->height, 0,
                                     {32, kDirectDrawPixelFormatRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}};
    DirectDrawSurface* own = DirectDrawCreateSurface(GetSystemMemoryDirectDraw(), &desc);
    return own ? Make(Kind::Sample, Share(s), own) : nullptr;
  }

  int GetSampleSurface(MediaObject* sample, MediaObject** surface, MediaRect* rect) override {
    DirectDrawSurfaceDesc desc;
    DirectDrawGetSurfaceDesc(sample->surface, &desc);
    DirectDrawAddRefSurface(sample->surface);
    *surface = Make(Kind::Surface, nullptr, sample->surface);
    *rect = {0, 0, desc.width, desc.height};
    return 0;
  }
  MediaObject* QuerySurface4(MediaObject* surface) override { return SurfaceReference(surface); }
  MediaObject* QuerySurface7(MediaObject* surface) override { return SurfaceReference(surface); }
  int GetSurfaceDesc(MediaObject* surface, DirectDrawSurfaceDesc* desc) override {
    DirectDrawGetSurfaceDesc(surface->surface, desc);
    return 0;
  }
  int LockSurface(MediaObject* surface, void** pixels, int32_t* pitch) override {
    return DirectDrawLockSurface(surface->surface, pixels, pitch);
  }
  void UnlockSurface(MediaObject* surface) override { DirectDrawUnlockSurface(surface->surface); }

  MediaObject* CreateUpdateEvent() override { return Make(Kind::Event, nullptr); }

  void StartCall(MediaObject* stream) override {
    if (!stream || !stream->session) return;
    Session* s = stream->session;
    s->callDeadline = Now() + kReadDeadlineMicros;
    s->showHeld = !s->pictures.empty();
  }

  // With an event, a picture whose time has not come yet stays pending.
  // Without one, an update whose call runs out of time before the picture
  // is shown completes with the picture shown so far. A picture decoded
  // when the time is up stays held for the next call.
  MediaUpdateResult UpdateSample(MediaObject* sample, MediaObject* event) override {
    Session* s = sample->session;
    ReadAhead(s);
    bool later = false;
    const AVFrame* next = NextPicture(s, event != nullptr, &later);
    if (!next && !later) return MediaUpdateResult::EndOfStream;
    if (!event && !(next && MayShow(s))) return MediaUpdateResult::Ok;
    if (event && (!next || PictureTime(s, next) > Clock(s) || !MayShow(s))) {
      event->pendingSample = sample;
      event->signalled = false;
      return MediaUpdateResult::Pending;
    }
    ShowPicture(s, sample);
    return MediaUpdateResult::Ok;
  }

  // A pending update that has run out of pictures completes as well: the
  // next update then reports the end.
  bool IsEventSignalled(MediaObject* event) override {
    MediaObject* sample = event->pendingSample;
    if (event->signalled || !sample) return event->signalled;
    Session* s = sample->session;
    ReadAhead(s);
    bool later = false;
    if (!NextPicture(s, true, &later)) {
      event->signalled = !later;
    } else if (PictureTime(s, s->pictures.front()) <= Clock(s) && MayShow(s)) {
      ShowPicture(s, sample);
      event->signalled = true;
    }
    if (event->signalled) event->pendingSample = nullptr;
    return event->signalled;
  }
  void ResetEvent(MediaObject* event) override { event->signalled = false; }

  int GetState(MediaObject* stream, MediaStreamState* state) override {
    if (!stream->session) return -1;
    ReadAhead(stream->session);
    *state = stream->session->running ? MediaStreamState::Running : MediaStreamState::Stopped;
    return 0;
  }
  int SetState(MediaObject* stream, MediaStreamState state) override {
    if (!stream->session) return -1;
    if (state == MediaStreamState::Running) {
      Start(stream->session);
    } else {
      Stop(stream->session);
    }
    return 0;
  }
  int GetTime(MediaObject* stream, int64_t* time) override {
    if (!stream->session) return -1;
    *time = Clock(stream->session);
    return 0;
  }

  int Seek(MediaObject* stream, int64_t time) override {
    Session* s = stream->session;
    if (!s || !s->format) return -1;
    const bool wasRunning = s->running;
    Stop(s);
    StartReadDeadline(s);
    avformat_seek_file(s->format, -1, INT64_MIN, av_rescale(time, AV_TIME_BASE, kMediaTimeUnitsPerSecond),
                       av_rescale(time, AV_TIME_BASE, kMediaTimeUnitsPerSecond), 0);
    if (s->video) avcodec_flush_buffers(s->video);
    if (s->audio) avcodec_flush_buffers(s->audio);
    ClearPictures(s);
    s->pcm.clear();
    s->readEnded = false;
    s->skipBefore = time;
    s->baseTime = time;
    if (s->ring) {
      // The ring starts again from its beginning, silent.
      AudioBufferSetPosition(s->ring, 0);
      s->lastCursor = s->writeOffset = 0;
      s->leadBytes = s->playedBytes = s->dataBytes = s->silenceBytes = 0;
      s->soundEnded = false;
      s->dropped.clear();
      s->droppedPlayed = s->startDropped = 0;
    }
    if (wasRunning) Start(s);
    return 0;
  }

  int Pause(MediaObject* control) override {
    if (!control->session) return -1;
    Stop(control->session);
    return 0;
  }

  void Release(MediaObject* object) override {
    if (!object) return;
    if (object->surface) DirectDrawReleaseSurface(object->surface);
    if (object->session && --object->session->references == 0) CloseSession(object->session);
    delete object;
  }

 private:
  // Null when memory runs out; the references handed in are dropped then.
  static MediaObject* Make(Kind kind, Session* session, DirectDrawSurface* surface = nullptr) {
    auto* object = new (std::nothrow) MediaObject{kind, session, surface, nullptr, false};
    if (!object) {
      if (surface) DirectDrawReleaseSurface(surface);
      if (session && kind != Kind::Graph && --session->references == 0) CloseSession(session);
    }
    return object;
  }
  static Session* Share(Session* s) {
    if (s) s->references++;
    return s;
  }
  static MediaObject* SurfaceReference(MediaObject* surface) {
    DirectDrawAddRefSurface(surface->surface);
    return Make(Kind::Surface, nullptr, surface->surface);
  }
  static int CloseInput(Session* s) {
    CloseSessionFile(s);
    return -1;
  }
};

FfmpegMediaStream g_ffmpeg;
MediaStreamService* g_service = nullptr;

}  // namespace

MediaStreamService* GetMediaStreamService() { return g_service ? g_service : &g_ffmpeg; }

void SetMediaStreamService(MediaStreamService* service) { g_service = service; }

void SetMediaFormatsForTest(const char* formats) { g_formatsForTest = formats; }
void SetMediaStreamClockForTest(uint64_t (*microseconds)()) { g_clockForTest = microseconds; }
