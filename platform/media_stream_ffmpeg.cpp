// The multimedia-stream service over FFmpeg: libavformat reads the file,
// libavcodec decodes on threads of its own, libswscale converts the
// pictures shown into the sample surface's pixel format and libswresample
// the sound into 16-bit PCM, which plays through a looping buffer of the
// audio device. The ring's bytes are the movie's time: each piece of sound
// goes where its timestamp puts it, with silence before the first and in
// the file's gaps, so the stream's clock is the sound's position while
// there is sound, else the time it has run. The reading keeps the sound
// ahead whatever the pictures do: video packets met meanwhile wait as
// packets and are decoded when their pictures are needed, and a picture
// whose time has passed when the next one is due too is passed over
// unconverted. The reading runs on the caller's thread: every update and
// event test first refills the sound and reads ahead. Only the movie's own
// file is read, as one of the containers that hold a single movie. An open
// or a seek reads within a deadline; a call of the caller's stops reading
// at a packet when its deadline comes and goes on at the next, a picture
// decoded after it being the next call's first to show, and only a single
// read that outlasts a deadline of its own (a stalled or hostile file) ends
// the movie.
#include <algorithm>
#include <cstring>
#include <deque>
#include <new>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/audio_device.h"
#include "platform/files.h"
#include "platform/media_stream.h"
#include "platform/no_throw.h"
#include "platform/timer.h"

namespace {

// The sound kept decoded ahead of what the ring holds, and the ring.
constexpr int64_t kAudioLeadUnits = kMediaTimeUnitsPerSecond / 2;
constexpr int kAudioRingSeconds = 1;
// The silence before the sound where writing resumes after an underrun:
// more than the SDL output mixes at a time, so that none of the sound is
// passed over while it is being written.
constexpr int64_t kResumeLeadUnits = kMediaTimeUnitsPerSecond / 20;
// Sound whose time lies within this of where the sound before it ends
// follows on from it: containers round their times (Matroska to the
// millisecond), and a step that small is no gap in the file.
constexpr int64_t kSoundJoinUnits = kMediaTimeUnitsPerSecond / 25;
// Sound is placed no further from the start than this (a day and more),
// whatever its time says: the bytes of the ring's format it makes, and
// their 100 ns units, stay far within 64 bits.
constexpr int64_t kFarthestSoundUnits = int64_t{1000000} * kMediaTimeUnitsPerSecond / 10;
// The pictures a video decoder holds in flight stay within these bytes: a
// thread holds the picture it decodes and its own of the one it refers to,
// so a huge picture gets few threads.
constexpr int64_t kMaxQueuedBytes = int64_t{128} << 20;
constexpr int64_t kPicturesPerThread = 2;
constexpr int kMaxDecoderThreads = 16;
// Video packets read ahead of their pictures for the sound's sake: seconds
// of any common movie, and a bound on what a file of tiny packets costs.
constexpr int64_t kMaxVideoPacketBytes = int64_t{64} << 20;
constexpr size_t kMaxVideoPackets = 8192;
// Sound decoded and not yet in the ring. A picture is looked for no further
// than a few seconds of it ahead when an update may wait for it; one that
// must come at once is read on to, and the sound met beyond the bytes is
// dropped undecoded (a file may put hours of sound before its first
// picture): its time stays silent. The bytes hold a minute and more, for a
// decoder gives a picture only packets after its own (B-frames, threads),
// and in a file of few pictures those packets lie far apart.
constexpr int64_t kMaxSoundAheadUnits = 4 * kMediaTimeUnitsPerSecond;
constexpr int64_t kMaxSoundHeldBytes = int64_t{16} << 20;
// A stream too large for FFmpeg's probe shows its format with its first
// picture, looked for in this many of its packets at the open.
constexpr int kFirstPicturePackets = 8;

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

int g_coresForTest = 0;

int Cores() {
  if (g_coresForTest > 0) return g_coresForTest;
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// Decoded sound waiting for the ring, at its place in the movie's time: in
// bytes of the ring's format from the movie's start, of its first byte not
// yet taken.
struct SoundPiece {
  int64_t at;
  std::vector<uint8_t> bytes;
  size_t taken = 0;

  int64_t Left() const { return static_cast<int64_t>(bytes.size() - taken); }
};

// What the video decoder's buffer callback reads, from the decoder's threads.
struct PictureLimits {
  MediaPictureBound bound;
  int threads;
};

struct Session {
  int references = 1;
  bool wantVideo = false;
  bool wantAudio = false;
  PictureLimits pictureLimits{};  // the video decoder's
  AVFormatContext* format = nullptr;
  AVIOContext* input = nullptr;  // the file, read by us for FFmpeg
  uint64_t readDeadline = 0;     // of the open, seek or packet read under way
  uint64_t callDeadline = 0;     // of the caller's call under way
  bool showHeld = false;         // pictures were held when the call started
  int videoIndex = -1;
  int audioIndex = -1;
  int64_t originUnits = 0;  // the movie's time 0 in the file's times
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* converted = nullptr;  // the scaler's output, copied into the surface
  SwrContext* resampler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  bool readEnded = false;
  std::deque<AVPacket*> videoPackets;  // read, not yet decoded
  int64_t videoPacketBytes = 0;
  bool drainSent = false;   // the decoder was told the file has ended
  bool videoEnded = false;  // and has given its last picture
  std::deque<AVFrame*> pictures;
  int64_t skipBefore = 0;  // after a seek: pictures before this time are passed over

  // Sound. playedAt and writtenEnd count the ring's bytes of the movie's
  // time from its start, the silence of the file's gaps with them; the
  // silence of an underrun (the lead where writing resumed) is no time of
  // the movie's and is not counted.
  WaveFormat pcmFormat{};
  std::vector<uint8_t> pcm;  // one decoded frame's, on its way to a piece
  std::deque<SoundPiece> sound;  // decoded, not yet in the ring
  int64_t soundHeldBytes = 0;
  AudioBuffer* ring = nullptr;
  uint32_t ringBytes = 0;
  std::vector<uint8_t> ringWrite;  // what one refill writes
  uint32_t writeOffset = 0;  // where writtenEnd falls in the ring
  uint32_t lastCursor = 0;
  uint64_t lastLookMicros = 0;  // when the cursor was read last
  int64_t leadBytes = 0;        // silence left before writtenEnd's sound
  int64_t playedAt = 0;
  int64_t writtenEnd = 0;
  int64_t soundEnd = 0;  // where the last sound written ends
  bool ended = false;    // the end was reported: the ring stays silent

  // Clock without sound, in 100 ns units.
  bool running = false;
  int64_t baseTime = 0;  // at the last start, pause or seek
  uint64_t startMicros = 0;
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

// A file's timestamp as the movie's time, from its start; any two stay
// apart by less than 64 bits hold, whatever a file says.
int64_t MovieTime(const Session* s, int64_t timestamp, AVRational base) {
  constexpr int64_t kBound = int64_t{1} << 60;
  return std::clamp(ToUnits(timestamp, base), -kBound, kBound) - std::clamp(s->originUnits, -kBound, kBound);
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

// FFmpeg's own bound on pictures, which its decoders check as soon as a
// size is known, before their tables for it: in pixels alone, and on rows
// rounded up to its vector width (64 pixels at most). A decoder opened
// with a size over it forgets that size.
int64_t MaxPixels(const MediaPictureBound& bound) { return bound.bytes / 4 + 64 * bound.side; }

// The most bytes a pixel of any format FFmpeg decodes into takes: four
// 32-bit float planes.
int64_t DeepestPixelBytes() {
  static const int64_t deepest = [] {
    int bits = 32;
    for (const AVPixFmtDescriptor* d = av_pix_fmt_desc_next(nullptr); d; d = av_pix_fmt_desc_next(d)) {
      bits = std::max(bits, av_get_padded_bits_per_pixel(d));
    }
    return int64_t{(bits + 7) / 8};
  }();
  return deepest;
}

// FFmpeg's probe of the streams decodes a first picture with a decoder of
// its own, bounded in pixels alone: so many that no format takes more
// bytes than a picture may have.
int64_t ProbePixels(const MediaPictureBound& bound) { return bound.bytes / DeepestPixelBytes(); }

bool TooLargeToProbe(const MediaPictureBound& bound, const AVCodecParameters* declared) {
  return int64_t{declared->width} * declared->height > ProbePixels(bound);
}

// Threads for a stream's decoder: the machine's cores, no more than keep a
// picture each within the bytes held in flight. An unknown format counts
// as the surfaces' 4 bytes a pixel; the buffer callback refuses a picture
// that the guess or a later size would multiply past the bytes.
int DecoderThreads(const AVCodecParameters* declared) {
  const int64_t width = FFALIGN(int64_t{std::max(declared->width, 0)}, 64);
  const int64_t height = FFALIGN(int64_t{std::max(declared->height, 0)}, 64);
  int64_t bytes = declared->format >= 0 ? PictureBytes(declared->format, static_cast<int>(width),
                                                       static_cast<int>(height))
                                        : -1;
  if (bytes <= 0) bytes = width * height * 4;
  const int64_t fit = bytes > 0 ? std::max<int64_t>(kMaxQueuedBytes / (bytes * kPicturesPerThread), 1)
                                : kMaxDecoderThreads;
  return static_cast<int>(std::min<int64_t>({Cores(), kMaxDecoderThreads, fit}));
}

// A picture the player would refuse gets no buffer: a size that changes
// after the open is held to the bound of the first, in the format the
// decoder decodes it into, and to the bytes in flight that its threads
// were counted for. The frame's size is the coded one, which may be larger
// than the picture. Called on the decoder's threads.
int BoundedPictureBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
  const auto* limits = static_cast<const PictureLimits*>(context->opaque);
  const int64_t bytes = PictureBytes(frame->format, frame->width, frame->height);
  if (bytes < 0 || !MediaPictureAllowed(limits->bound, context->width, context->height, bytes) ||
      (limits->threads > 1 && bytes * kPicturesPerThread * limits->threads > kMaxQueuedBytes)) {
    return AVERROR(ENOMEM);
  }
  return avcodec_default_get_buffer2(context, frame, flags);
}

// limits: the pictures' (null for sound), whose threads are chosen here.
AVCodecContext* OpenDecoder(const AVStream* stream, PictureLimits* limits) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  const AVCodecParameters* declared = stream->codecpar;
  // A size over FFmpeg's bound is forgotten at the open, which would hide
  // it from the open's refusal: such a decoder gets the bound after.
  const bool boundFirst =
      limits && int64_t{declared->width} * declared->height <= MaxPixels(limits->bound);
  if (context && limits) {
    limits->threads = DecoderThreads(declared);
    context->opaque = limits;
    context->get_buffer2 = BoundedPictureBuffer;
    context->thread_count = limits->threads;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (boundFirst) context->max_pixels = MaxPixels(limits->bound);
  }
  if (!context || avcodec_parameters_to_context(context, declared) < 0 || avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    return nullptr;
  }
  if (limits && !boundFirst) context->max_pixels = MaxPixels(limits->bound);
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

// FFmpeg's probe decodes with a decoder of its own, which takes options but
// no callback: it is bounded in pixels, so many that it stays within the
// bytes. A stream that declares a size over the bound, which the open
// refuses as declared, is not probed at all, nor one too large for the
// probe's pixels: the file is read again from its start for that one, whose
// format our own decoder finds from its first picture (FindFirstPicture),
// in buffers bounded in bytes.
int FindStreamInfo(Session* s) {
  if (!s->wantVideo) return avformat_find_stream_info(s->format, nullptr);
  const MediaPictureBound& bound = s->pictureLimits.bound;
  const unsigned streams = s->format->nb_streams;
  auto** options = static_cast<AVDictionary**>(av_calloc(std::max(streams, 1u), sizeof(AVDictionary*)));
  if (!options) return AVERROR(ENOMEM);
  bool unprobed = false;
  for (unsigned i = 0; i < streams; i++) {
    AVStream* stream = s->format->streams[i];
    const AVCodecParameters* declared = stream->codecpar;
    if (declared->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    if ((declared->width > 0 || declared->height > 0) &&
        !MediaPictureAllowed(bound, declared->width, declared->height, 0)) {
      stream->discard = AVDISCARD_ALL;
    } else if (TooLargeToProbe(bound, declared)) {
      stream->discard = AVDISCARD_ALL;
      unprobed = true;
    } else {
      av_dict_set_int(&options[i], "max_pixels", ProbePixels(bound), 0);
    }
  }
  const int result = avformat_find_stream_info(s->format, options);
  for (unsigned i = 0; i < streams; i++) {
    av_dict_free(&options[i]);
    AVStream* stream = s->format->streams[i];
    if (TooLargeToProbe(bound, stream->codecpar) && MediaPictureAllowed(bound, stream->codecpar->width,
                                                                        stream->codecpar->height, 0)) {
      stream->discard = AVDISCARD_DEFAULT;
    }
  }
  av_free(options);
  if (result >= 0 && unprobed) {
    av_seek_frame(s->format, -1, s->format->start_time != AV_NOPTS_VALUE ? s->format->start_time : 0,
                  AVSEEK_FLAG_BACKWARD);
  }
  return result;
}

void ClearPictures(Session* s) {
  for (AVFrame* picture : s->pictures) av_frame_free(&picture);
  s->pictures.clear();
}

void ClearVideoPackets(Session* s) {
  for (AVPacket* packet : s->videoPackets) av_packet_free(&packet);
  s->videoPackets.clear();
  s->videoPacketBytes = 0;
}

// The caller's from here on.
AVFrame* TakePicture(Session* s) {
  AVFrame* picture = s->pictures.front();
  s->pictures.pop_front();
  return picture;
}

void DropPicture(Session* s) {
  AVFrame* passed = TakePicture(s);
  av_frame_free(&passed);
}

bool VideoPacketsFull(const Session* s) {
  return s->videoPacketBytes >= kMaxVideoPacketBytes || s->videoPackets.size() >= kMaxVideoPackets;
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
  ClearVideoPackets(s);
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

int64_t BytesToUnits(const Session* s, int64_t bytes) {
  return bytes * kMediaTimeUnitsPerSecond / s->pcmFormat.avgBytesPerSec;
}

int64_t UnitsToBytes(const Session* s, int64_t units) {
  const int64_t bytes = units * s->pcmFormat.avgBytesPerSec / kMediaTimeUnitsPerSecond;
  return bytes - bytes % s->pcmFormat.blockAlign;
}

bool SoundHeldFull(const Session* s) { return s->ring && s->soundHeldBytes >= kMaxSoundHeldBytes; }

// Seconds of sound are held, and play soon: a picture after them can wait
// for them to play. Sound stamped far ahead (a time that jumps) keeps its
// place while the pictures before it are read on to.
bool SoundHeldSoon(const Session* s) {
  if (!s->ring) return false;
  const int64_t seconds = UnitsToBytes(s, kMaxSoundAheadUnits);
  return s->soundHeldBytes >= seconds && s->sound.front().at - s->playedAt <= seconds;
}

// Where the sound decoded so far ends in the movie's time.
int64_t QueuedEnd(const Session* s) {
  if (s->sound.empty()) return s->writtenEnd;
  return s->sound.back().at + s->sound.back().Left();
}

// Puts a decoded frame's sound (in pcm) where its time says: on from the
// sound before it when it is about there, after silence when it is later,
// and less what it repeats of the sound before it when it is earlier. A
// piece a frame: the sound held grows by no more than a frame at a time.
void PlaceSound(Session* s, int64_t timestamp, size_t bytes) {
  const int64_t expected = QueuedEnd(s);
  int64_t at = expected;
  size_t skip = 0;
  if (timestamp != AV_NOPTS_VALUE) {
    const int64_t time = MovieTime(s, timestamp, s->format->streams[s->audioIndex]->time_base);
    const int64_t placed = UnitsToBytes(s, std::clamp(time, -kFarthestSoundUnits, kFarthestSoundUnits));
    const int64_t join = UnitsToBytes(s, kSoundJoinUnits);
    if (placed > expected + join) at = placed;
    if (placed < expected - join) skip = static_cast<size_t>(std::min<int64_t>(expected - placed, bytes));
  }
  if (skip >= bytes) return;
  const uint8_t* from = s->pcm.data() + skip;
  const size_t count = bytes - skip;
  s->sound.push_back({at, std::vector<uint8_t>(from, from + count), 0});
  s->soundHeldBytes += static_cast<int64_t>(count);
}

// Sound that finds no memory is dropped; the picture goes on.
void DecodeSound(Session* s, const AVPacket* packet) {
  if (avcodec_send_packet(s->audio, packet) < 0) return;
  while (avcodec_receive_frame(s->audio, s->frame) >= 0) PlatformNoThrow("動画の音声の展開", [&] {
    const int out = swr_get_out_samples(s->resampler, s->frame->nb_samples);
    if (out > 0) {
      s->pcm.resize(static_cast<size_t>(out) * s->pcmFormat.blockAlign);
      uint8_t* dest = s->pcm.data();
      const int got = swr_convert(s->resampler, &dest, out, const_cast<const uint8_t**>(s->frame->extended_data),
                                  s->frame->nb_samples);
      if (got > 0) PlaceSound(s, s->frame->best_effort_timestamp, static_cast<size_t>(got) * s->pcmFormat.blockAlign);
    }
    av_frame_unref(s->frame);
  });
}

// The file can give no sound before more time has played: it has ended,
// or what it holds next are pictures, more than may be read ahead.
bool NoSoundToRead(const Session* s) { return s->readEnded || VideoPacketsFull(s); }

// Counts what the cursor has played and writes the movie's time on from
// where the ring's written part ends: the decoded sound at its place,
// silence in its gaps, and, where the file can give no sound yet, silence
// as time goes by. The rest of the ring is kept silent: what the cursor
// has played since the last look goes silent, the rest of it is already.
// An underrun (the cursor past what was written, or a ring's time gone
// since the last look, in which it may have gone round) is silence played
// that is no time of the movie's: writing resumes a little ahead of the
// cursor, all of the ring's free part written anew, and the clock waits
// for the sound. Every write is under the device's lock: the mixer may be
// reading anywhere up to it.
void RefillSound(Session* s) {
  if (!s->ring || s->ended) return;
  uint32_t cursor = 0;
  AudioBufferGetPosition(s->ring, &cursor);
  const uint64_t now = Now();
  const uint32_t lastCursor = s->lastCursor;
  const int64_t moved = cursor >= lastCursor ? cursor - lastCursor : s->ringBytes - lastCursor + cursor;
  const int64_t ahead = s->leadBytes + s->writtenEnd - s->playedAt;
  const bool lost = s->running && now - s->lastLookMicros >= uint64_t{kAudioRingSeconds} * 1000000;
  s->lastCursor = cursor;
  s->lastLookMicros = now;
  int64_t head = 0;  // the lead written anew, after an underrun
  if (!lost && moved <= ahead) {
    const int64_t fromLead = std::min(moved, s->leadBytes);
    s->leadBytes -= fromLead;
    s->playedAt += moved - fromLead;
    if (moved > 0) AudioBufferWrite(s->ring, lastCursor, nullptr, static_cast<uint32_t>(moved));
  } else {
    s->playedAt = s->writtenEnd;
    head = s->leadBytes = UnitsToBytes(s, kResumeLeadUnits);
    s->writeOffset = static_cast<uint32_t>((cursor + s->leadBytes) % s->ringBytes);
  }
  // From the end of the written part round to the block before the cursor.
  const int64_t room =
      s->ringBytes - (s->leadBytes - head) - (s->writtenEnd - s->playedAt) - s->pcmFormat.blockAlign;
  if (room <= head) return;
  const int64_t silentUntil = s->playedAt + UnitsToBytes(s, kAudioLeadUnits);
  if (!PlatformNoThrow("動画の音声の展開", false, [&] {
        s->ringWrite.resize(static_cast<size_t>(room));
        return true;
      })) {
    return;
  }
  uint8_t* bytes = s->ringWrite.data();
  std::memset(bytes, 0, static_cast<size_t>(head));
  int64_t filled = head;
  while (filled < room) {
    if (!s->sound.empty()) {
      SoundPiece& piece = s->sound.front();
      if (piece.at > s->writtenEnd) {
        const int64_t gap = std::min(piece.at - s->writtenEnd, room - filled);
        std::memset(bytes + filled, 0, static_cast<size_t>(gap));
        filled += gap;
        s->writtenEnd += gap;
        continue;
      }
      const int64_t count = std::min(piece.Left(), room - filled);
      std::memcpy(bytes + filled, piece.bytes.data() + piece.taken, static_cast<size_t>(count));
      piece.taken += static_cast<size_t>(count);
      piece.at += count;
      s->soundHeldBytes -= count;
      filled += count;
      s->soundEnd = s->writtenEnd += count;
      if (piece.Left() == 0) s->sound.pop_front();
    } else if (NoSoundToRead(s) && s->writtenEnd < silentUntil) {
      const int64_t count = std::min(silentUntil - s->writtenEnd, room - filled);
      std::memset(bytes + filled, 0, static_cast<size_t>(count));
      filled += count;
      s->writtenEnd += count;
    } else {
      break;
    }
  }
  const auto from = static_cast<uint32_t>((s->writeOffset + s->ringBytes - head) % s->ringBytes);
  const int64_t written = head > 0 ? room : filled;
  std::memset(bytes + filled, 0, static_cast<size_t>(written - filled));
  if (written > 0) AudioBufferWrite(s->ring, from, bytes, static_cast<uint32_t>(written));
  s->writeOffset = static_cast<uint32_t>((from + filled) % s->ringBytes);
}

// The sound has played to the end of the file's last: nothing is left
// to decode, to write or to hear.
bool SoundOver(const Session* s) {
  return !s->ring || (s->readEnded && s->sound.empty() && s->playedAt >= s->soundEnd);
}

// The end, once reported: the ring stops and goes silent, whatever the
// caller does with the movie after.
void SilenceRing(Session* s) {
  if (!s->ring) return;
  AudioBufferStop(s->ring);
  AudioBufferWrite(s->ring, 0, nullptr, s->ringBytes);
}

// ---- Reading, decoding and the clock --------------------------------------

// Takes what the decoder has ready; at the end of its pictures, notes it.
void ReceivePictures(Session* s) {
  int result;
  while ((result = avcodec_receive_frame(s->video, s->frame)) >= 0) {
    AVFrame* picture = av_frame_clone(s->frame);
    av_frame_unref(s->frame);
    if (!picture) continue;
    PlatformNoThrow("動画の展開", [&] {
      try {
        s->pictures.push_back(picture);
      } catch (...) {
        av_frame_free(&picture);
        throw;
      }
    });
  }
  if (result == AVERROR_EOF || s->drainSent) s->videoEnded = true;
}

// A video packet waits as it is, the decoding for when its picture is needed.
void KeepVideoPacket(Session* s) {
  AVPacket* kept = av_packet_alloc();
  if (!kept) return;
  av_packet_move_ref(kept, s->packet);
  const int size = kept->size;
  PlatformNoThrow("動画の展開", [&] {
    try {
      s->videoPackets.push_back(kept);
      s->videoPacketBytes += size;
    } catch (...) {
      av_packet_free(&kept);
      throw;
    }
  });
}

// Reads one packet: false when the file has nothing more.
bool ReadPacket(Session* s) {
  if (s->readEnded) return false;
  // A read cut by its deadline ends the movie: the demuxer may be left in
  // the middle of a packet.
  StartReadDeadline(s);
  if (av_read_frame(s->format, s->packet) < 0) {
    s->readEnded = true;
    if (s->ring) DecodeSound(s, nullptr);
    return false;
  }
  if (s->packet->stream_index == s->videoIndex && s->video) {
    KeepVideoPacket(s);
  } else if (s->packet->stream_index == s->audioIndex && s->ring && !SoundHeldFull(s)) {
    DecodeSound(s, s->packet);
  }
  av_packet_unref(s->packet);
  return true;
}

// Hands the decoder its next packet, or the end once the file has no more.
void DecodeNext(Session* s) {
  if (s->videoPackets.empty()) {
    if (!s->drainSent) avcodec_send_packet(s->video, nullptr);
    s->drainSent = true;
    ReceivePictures(s);
    return;
  }
  AVPacket* packet = s->videoPackets.front();
  // A decoder that holds pictures takes no more until they are taken; one
  // that refuses even then gets the packet no more.
  if (avcodec_send_packet(s->video, packet) == AVERROR(EAGAIN)) {
    ReceivePictures(s);
    avcodec_send_packet(s->video, packet);
  }
  s->videoPackets.pop_front();
  s->videoPacketBytes -= packet->size;
  av_packet_free(&packet);
  ReceivePictures(s);
}

int64_t PictureTime(const Session* s, const AVFrame* picture) {
  const AVStream* stream = s->format->streams[s->videoIndex];
  const int64_t pts = picture->best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) return 0;
  return MovieTime(s, pts, stream->time_base);
}

// Decodes, reading as far as needed, until count pictures are held; false
// when they are not, with *later set when the call's time is up before
// they come or, when the update may wait for the sound, the sound held
// ahead is full: they are read at a later call.
bool HoldPictures(Session* s, size_t count, bool waitForSound, bool* later) {
  for (;;) {
    while (!s->pictures.empty() && PictureTime(s, s->pictures.front()) < s->skipBefore) DropPicture(s);
    if (s->pictures.size() >= count) return true;
    if (!s->video || s->videoEnded) return false;
    if (!s->videoPackets.empty() || s->readEnded) {
      DecodeNext(s);
    } else if ((waitForSound && SoundHeldSoon(s)) || !CallTimeLeft(s)) {
      *later = true;
      return false;
    } else {
      ReadPacket(s);
    }
  }
}

// The next picture to show, in order.
AVFrame* NextPicture(Session* s, bool waitForSound, bool* later) {
  return HoldPictures(s, 1, waitForSound, later) ? s->pictures.front() : nullptr;
}

// No picture will come any more.
bool PicturesOver(const Session* s) { return s->pictures.empty() && (!s->video || s->videoEnded); }

// The sound's position while there is sound; without, the time run.
int64_t Clock(Session* s) {
  if (s->ring) return BytesToUnits(s, s->playedAt);
  if (!s->running) return s->baseTime;
  return s->baseTime + static_cast<int64_t>(Now() - s->startMicros) * 10;
}

// The latest picture whose time has come, those before it passed over
// unconverted; null while none is due (*later: or the call's time is up
// before the next one comes).
AVFrame* DuePicture(Session* s, bool* later) {
  if (!NextPicture(s, true, later) || !MayShow(s)) return nullptr;
  const int64_t now = Clock(s);
  if (PictureTime(s, s->pictures.front()) > now) return nullptr;
  bool notYet = false;
  while (HoldPictures(s, 2, true, &notYet) && PictureTime(s, s->pictures[1]) <= now) DropPicture(s);
  return s->pictures.front();
}

// Keeps the sound decoded half a second ahead of what the ring holds,
// within the video packets that may wait and the call's time.
void ReadAhead(Session* s) {
  if (s->ended) return;
  if (s->ring) {
    while (BytesToUnits(s, QueuedEnd(s) - s->writtenEnd) < kAudioLeadUnits && !VideoPacketsFull(s) &&
           CallTimeLeft(s) && ReadPacket(s)) {
    }
  }
  RefillSound(s);
}

void Start(Session* s) {
  if (s->running) return;
  s->running = true;
  s->startMicros = s->lastLookMicros = Now();
  if (s->ring) AudioBufferPlay(s->ring, 1);
}

void Stop(Session* s) {
  if (!s->running) return;
  s->baseTime = Clock(s);
  s->running = false;
  if (s->ring) AudioBufferStop(s->ring);
}

// Reported once both the pictures and the sound are over.
MediaUpdateResult End(Session* s) {
  Stop(s);
  SilenceRing(s);
  s->ended = true;
  return MediaUpdateResult::EndOfStream;
}

// A stream too large for FFmpeg's probe has no format but what its
// container says until its first picture is decoded, by our decoder, which
// refuses a picture over the bound before its buffer: the format it then
// knows refuses the open.
void FindFirstPicture(Session* s) {
  for (int sent = 0; sent < kFirstPicturePackets && s->pictures.empty() && !s->videoEnded && CallTimeLeft(s);) {
    if (!s->videoPackets.empty() || s->readEnded) {
      DecodeNext(s);
      sent++;
    } else {
      ReadPacket(s);
    }
  }
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
    stream->session->pictureLimits.bound = bound;
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
    if (s->videoIndex >= 0 && !(s->video = OpenDecoder(s->format->streams[s->videoIndex], &s->pictureLimits))) {
      return CloseInput(s);
    }
    if (s->format->start_time != AV_NOPTS_VALUE) s->originUnits = ToUnits(s->format->start_time, AV_TIME_BASE_Q);
    // Sound that cannot be played leaves the picture alone on the clock.
    if (s->audioIndex >= 0 && !OpenSound(s)) {
      if (s->ring) AudioBufferRelease(s->ring);
      s->ring = nullptr;
      swr_free(&s->resampler);
      avcodec_free_context(&s->audio);
    }
    if (s->video && TooLargeToProbe(s->pictureLimits.bound, s->format->streams[s->videoIndex]->codecpar)) {
      FindFirstPicture(s);
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

  // With an event, the latest picture whose time has come is shown, and
  // the update stays pending while none is; it reports the end once both
  // the pictures and the sound are over. Without one, the next picture is
  // shown whatever its time, and the end of the pictures is the end; an
  // update whose call runs out of time before the picture is shown
  // completes with the picture shown so far. A picture decoded when the
  // time is up stays held for the next call.
  MediaUpdateResult UpdateSample(MediaObject* sample, MediaObject* event) override {
    Session* s = sample->session;
    if (s->ended) return MediaUpdateResult::EndOfStream;
    ReadAhead(s);
    bool later = false;
    if (!event) {
      const AVFrame* next = NextPicture(s, false, &later);
      if (!next && !later) return End(s);
      if (next && MayShow(s)) ShowPicture(s, sample);
      return MediaUpdateResult::Ok;
    }
    if (DuePicture(s, &later)) {
      ShowPicture(s, sample);
      return MediaUpdateResult::Ok;
    }
    if (!later && PicturesOver(s) && SoundOver(s)) return End(s);
    event->pendingSample = sample;
    event->signalled = false;
    return MediaUpdateResult::Pending;
  }

  // A pending update that finds both the pictures and the sound over
  // completes as well: the next update then reports the end.
  bool IsEventSignalled(MediaObject* event) override {
    MediaObject* sample = event->pendingSample;
    if (event->signalled || !sample) return event->signalled;
    Session* s = sample->session;
    ReadAhead(s);
    bool later = false;
    if (DuePicture(s, &later)) {
      ShowPicture(s, sample);
      event->signalled = true;
    } else {
      event->signalled = s->ended || (!later && PicturesOver(s) && SoundOver(s));
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
    const int64_t target = av_rescale(time + s->originUnits, AV_TIME_BASE, kMediaTimeUnitsPerSecond);
    avformat_seek_file(s->format, -1, INT64_MIN, target, target, 0);
    if (s->video) avcodec_flush_buffers(s->video);
    if (s->audio) avcodec_flush_buffers(s->audio);
    ClearPictures(s);
    ClearVideoPackets(s);
    s->sound.clear();
    s->soundHeldBytes = 0;
    s->readEnded = s->drainSent = s->videoEnded = s->ended = false;
    s->skipBefore = time;
    s->baseTime = time;
    if (s->ring) {
      // The ring starts again from its beginning, silent, at the time sought.
      AudioBufferSetPosition(s->ring, 0);
      AudioBufferWrite(s->ring, 0, nullptr, s->ringBytes);
      s->lastCursor = s->writeOffset = 0;
      s->leadBytes = 0;
      s->playedAt = s->writtenEnd = s->soundEnd = UnitsToBytes(s, std::clamp<int64_t>(time, 0, kFarthestSoundUnits));
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
void SetMediaDecoderCoresForTest(int cores) { g_coresForTest = cores; }
