// The multimedia-stream service over FFmpeg: libavformat reads the file,
// libavcodec decodes on threads of its own, libswscale converts the
// pictures shown into the sample surface's pixel format and libswresample
// the sound into 16-bit PCM, which plays through a looping buffer of the
// audio device. The ring's bytes are the movie's time: each piece of sound
// goes where its timestamp puts it, with silence before the first and in
// the file's gaps, so the stream's clock is the sound's position while
// there is sound, else the time it has run. Timestamps are checked as they
// are read (platform/media_timestamps.h): a joined or restarting file runs
// on, a broken sound time counts as missing. Both kinds of packet wait as
// packets, and are decoded when their sound or pictures are needed: the
// reading keeps the sound ahead whatever the pictures do, and reads on for
// a picture at the cost of compressed bytes alone. An update by the clock
// decodes once, then for a frame's time at most, shows the latest picture
// due, and goes on at the next call; pictures the clock has passed are
// skipped where the stream allows. The reading runs on the caller's
// thread: every update and event test first refills the sound and reads
// ahead. Only the movie's own file is read, as one of the containers that
// hold a single movie. An open or a seek reads within a deadline; a call
// of the caller's stops reading at a packet when its deadline comes and
// goes on at the next, a picture decoded after it being the next call's
// first to show, and only a single read that outlasts a deadline of its
// own (a stalled or hostile file) ends the movie.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/audio_device.h"
#include "platform/files.h"
#include "platform/media_stream.h"
#include "platform/media_timestamps.h"
#include "platform/no_throw.h"
#include "platform/timer.h"

namespace {

static_assert(kMediaTimeUnitsPerSecond == kPacketTimeUnitsPerSecond);

// The sound kept decoded ahead of what the ring holds, and the ring.
constexpr int64_t kAudioLeadUnits = kMediaTimeUnitsPerSecond / 2;
constexpr int kAudioRingSeconds = 1;
// The silence before the sound where writing resumes after an underrun:
// more than the SDL output mixes at a time, so that none of the sound is
// passed over while it is being written.
constexpr int64_t kResumeLeadUnits = kMediaTimeUnitsPerSecond / 20;
// Written sound ahead of the play cursor below which the ring is about to
// run dry: the reading for sound may then pass the video packets' usual
// bound.
constexpr int64_t kRingShortUnits = kMediaTimeUnitsPerSecond / 4;
// Sound whose time lies within this of where the sound before it ends
// follows on from it: containers round their times (Matroska to the
// millisecond), and a step that small is no gap in the file.
constexpr int64_t kSoundJoinUnits = kMediaTimeUnitsPerSecond / 25;
// Sound is placed no further from the start than this (a day and more),
// whatever its time says: the bytes of the ring's format it makes, and
// their 100 ns units, stay far within 64 bits.
constexpr int64_t kFarthestSoundUnits = int64_t{1000000} * kMediaTimeUnitsPerSecond / 10;
// The pictures a video decoder holds in flight stay within these bytes: a
// frame thread holds the picture it decodes and its own of the one it
// refers to, so a huge picture gets few threads.
constexpr int64_t kMaxQueuedBytes = int64_t{128} << 20;
constexpr int64_t kPicturesPerThread = 2;
constexpr int kMaxDecoderThreads = 16;
// A frame thread holds a picture back by a packet: no more of them than a
// stream has pictures in this time, so that a slide show decodes on one.
constexpr int64_t kFrameThreadMillis = 250;
// What a packet held costs beside its bytes (FFmpeg's packet, its buffer's
// reference and padding, the allocator's share): a file of tiny packets is
// bounded by their count as much as by their bytes.
constexpr int64_t kPacketOverheadBytes = 576;
// Video packets read ahead of their pictures for the sound's sake: seconds
// of any common movie, and a bound on what a file of tiny packets costs.
// While the ring is about to run dry the reading goes on to the firm
// bound, for sound that a fast stream of pictures lies between; only past
// that does the ring take the time as silence.
constexpr int64_t kMaxVideoPacketBytes = int64_t{64} << 20;
constexpr size_t kMaxVideoPackets = 8192;
constexpr int64_t kFirmBoundFactor = 4;
// Sound packets read on to a picture: a minute and more of any common
// movie's sound. A file may put hours of sound before its first picture:
// what is read beyond the bound is dropped undecoded, and its time stays
// silent.
constexpr int64_t kMaxSoundPacketBytes = int64_t{16} << 20;
// The packets sent to a frame-threaded decoder are kept, beyond the ones
// in flight, for a decoder opened again with fewer threads to take again.
constexpr size_t kSentPacketsBeyondThreads = 2;
constexpr int64_t kMaxSentPacketBytes = int64_t{16} << 20;
// FFmpeg's probe keeps every packet it reads: the bytes it may so hold.
constexpr int64_t kMaxProbeBytes = int64_t{64} << 20;
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
// The packets one call reads at most: far more than any common movie needs
// a call, a frame's time of demuxing for a file of tiny packets.
constexpr int64_t kMaxCallPackets = 16384;
// After its first decode, the longest a call decodes on to catch up with
// the clock: about a frame of the game's.
constexpr uint64_t kDecodeMicros = 1000000 / 60;
// A picture shown this far behind the clock when the call's decoding ran
// out of time: the pictures are behind, and the next call may skip.
constexpr int64_t kBehindUnits = kMediaTimeUnitsPerSecond / 10;

uint64_t (*g_clockForTest)() = nullptr;

uint64_t Now() { return g_clockForTest ? g_clockForTest() : PlatformMicroseconds(); }

int g_coresForTest = 0;

int Cores() {
  if (g_coresForTest > 0) return g_coresForTest;
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

size_t g_videoPacketsForTest = 0;

size_t MaxVideoPackets() { return g_videoPacketsForTest > 0 ? g_videoPacketsForTest : kMaxVideoPackets; }

// Packets read and waiting to be decoded, in the order read.
struct PacketQueue {
  std::deque<AVPacket*> packets;
  int64_t bytes = 0;  // with each packet's overhead
};

int64_t HeldBytes(const AVPacket* packet) { return packet->size + kPacketOverheadBytes; }

// Decoded sound waiting for the ring, at its place in the movie's time: in
// bytes of the ring's format from the movie's start, of its first byte not
// yet taken.
struct SoundPiece {
  int64_t at;
  std::vector<uint8_t> bytes;
  size_t taken = 0;

  int64_t Left() const { return static_cast<int64_t>(bytes.size() - taken); }
};

struct ScalerShape {
  int fromWidth, fromHeight, fromFormat;
  int toWidth, toHeight, toFormat;
  bool operator==(const ScalerShape&) const = default;
};

// A picture refused for its decoder's threads alone: fewer would take it.
struct RefusedPicture {
  int format = -1;
  int width = 0;
  int height = 0;
  int64_t pts = AV_NOPTS_VALUE;
};

// What the video decoder's buffer callback reads and writes, from the
// decoder's threads.
struct PictureLimits {
  MediaPictureBound bound{};
  int frameThreads = 1;
  std::atomic<bool> refusedAny{false};
  std::mutex refusalLock;
  RefusedPicture refused;  // under refusalLock
};

struct Session {
  int references = 1;
  bool wantVideo = false;
  bool wantAudio = false;
  PictureLimits pictureLimits;  // the video decoder's
  AVFormatContext* format = nullptr;
  AVIOContext* input = nullptr;  // the file, read by us for FFmpeg
  uint64_t readDeadline = 0;     // of the open, seek or packet read under way
  uint64_t callDeadline = 0;     // of the caller's call under way
  int64_t callPacketsLeft = 0;   // that it may read
  bool decodedInCall = false;     // the call has decoded a packet
  uint64_t decodeDeadline = 0;    // and may decode on until this
  bool showHeld = false;         // pictures were held when the call started
  bool probing = false;          // FFmpeg's probe is reading
  int64_t probeLooks = 0;        // the packets it has read, as it looks at the deadline
  int videoIndex = -1;
  int audioIndex = -1;
  int64_t originUnits = 0;  // the movie's time 0 in the file's times
  PacketTimes times;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  SwsContext* scaler = nullptr;
  ScalerShape scalerShape{};     // what the scaler was made for
  AVFrame* converted = nullptr;  // the scaler's output, copied into the surface
  SwrContext* resampler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  bool readEnded = false;

  // Pictures.
  PacketQueue videoPackets;           // read, not yet decoded
  PacketQueue sentPackets;  // decoded lately, for a decoder opened again
  bool drainSent = false;   // the decoder was told the file has ended
  bool videoEnded = false;  // and has given its last picture
  bool behind = false;      // the last call's decoding ran out of time, the pictures late
  bool awaitingKey = false;  // started again at a key picture that has not come out yet
  std::deque<AVFrame*> pictures;  // each stamped with its time in the movie
  int64_t skipBefore = 0;  // after a seek: pictures before this time are passed over
  int64_t lastPictureTime = kNoPacketTime;
  int64_t decodedThrough = kNoPacketTime;  // decoded again after a new decoder: passed over

  // Sound. playedAt and writtenEnd count the ring's bytes of the movie's
  // time from its start, the silence of the file's gaps with them; the
  // silence of an underrun (the lead where writing resumed) is no time of
  // the movie's and is not counted.
  PacketQueue soundPackets;  // read, not yet decoded
  bool soundDrained = false;  // the decoder has given what the file's end left in it
  WaveFormat pcmFormat{};
  std::vector<uint8_t> pcm;  // one decoded frame's, on its way to a piece
  std::deque<SoundPiece> sound;  // decoded, not yet in the ring
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

int64_t FromUnits(int64_t units, AVRational base) {
  return av_rescale_q(units, AVRational{1, static_cast<int>(kMediaTimeUnitsPerSecond)}, base);
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

struct DecoderThreading {
  int count;
  int type;
  int frameThreads;  // of the count, those that hold pictures of their own
};

AVRational PictureRate(const AVStream* stream) {
  const AVRational average = stream->avg_frame_rate;
  return average.num > 0 && average.den > 0 ? average : stream->r_frame_rate;
}

// Threads for a video decoder of pictures of this size (0 x 0: not known;
// an unknown format counts as the surfaces' 4 bytes a pixel). Frame threads
// each hold pictures of their own: as many as the cores, but no more than
// keep two pictures a thread within the bytes held in flight, nor than
// the stream has pictures in a fraction of a second. With one frame
// thread, the cores decode a picture's slices instead, which hold none.
// A size the bound refuses is not multiplied at all: the open refuses it.
DecoderThreading ChooseThreads(const MediaPictureBound& bound, int format, int64_t width, int64_t height,
                               AVRational rate) {
  const int cores = std::min(Cores(), kMaxDecoderThreads);
  int64_t frameThreads = cores;
  if (width > 0 || height > 0) {
    if (MediaPictureAllowed(bound, width, height, 0)) {
      const int alignedWidth = FFALIGN(static_cast<int>(width), 64);
      const int alignedHeight = FFALIGN(static_cast<int>(height), 64);
      int64_t bytes = format >= 0 ? PictureBytes(format, alignedWidth, alignedHeight) : -1;
      if (bytes <= 0) bytes = int64_t{alignedWidth} * alignedHeight * 4;
      frameThreads = std::min(frameThreads, std::max<int64_t>(kMaxQueuedBytes / (bytes * kPicturesPerThread), 1));
    } else {
      frameThreads = 1;
    }
  }
  if (rate.num > 0 && rate.den > 0) {
    const int64_t perFraction = av_rescale_rnd(rate.num, kFrameThreadMillis, int64_t{rate.den} * 1000, AV_ROUND_DOWN);
    frameThreads = std::min(frameThreads, std::max<int64_t>(perFraction, 1));
  }
  if (frameThreads > 1) {
    return {static_cast<int>(frameThreads), FF_THREAD_FRAME | FF_THREAD_SLICE, static_cast<int>(frameThreads)};
  }
  return {cores, FF_THREAD_SLICE, 1};
}

// Only the first refusal is kept: the decoder is opened again for it, and
// the pictures refused after it are decoded again then.
void NoteRefusal(PictureLimits* limits, const AVFrame* frame) {
  std::lock_guard<std::mutex> lock(limits->refusalLock);
  if (limits->refusedAny.load(std::memory_order_relaxed)) return;
  limits->refused = {frame->format, frame->width, frame->height, frame->pts};
  limits->refusedAny.store(true, std::memory_order_release);
}

bool TakeRefusal(PictureLimits* limits, RefusedPicture* refused) {
  if (!limits->refusedAny.load(std::memory_order_acquire)) return false;
  std::lock_guard<std::mutex> lock(limits->refusalLock);
  *refused = limits->refused;
  limits->refusedAny.store(false, std::memory_order_relaxed);
  return true;
}

// A picture the player would refuse gets no buffer: a size that changes
// after the open is held to the bound of the first, in the format the
// decoder decodes it into. One that the bound allows but the frame threads
// would hold too many of is noted for a decoder with fewer. The frame's
// size is the coded one, which may be larger than the picture. Called on
// the decoder's threads.
int BoundedPictureBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
  auto* limits = static_cast<PictureLimits*>(context->opaque);
  const int64_t bytes = PictureBytes(frame->format, frame->width, frame->height);
  if (bytes < 0 || !MediaPictureAllowed(limits->bound, context->width, context->height, bytes)) {
    return AVERROR(ENOMEM);
  }
  if (limits->frameThreads > 1 && bytes * kPicturesPerThread * limits->frameThreads > kMaxQueuedBytes) {
    NoteRefusal(limits, frame);
    return AVERROR(ENOMEM);
  }
  return avcodec_default_get_buffer2(context, frame, flags);
}

// limits: the pictures' (null for sound), with threading for them.
AVCodecContext* OpenDecoder(const AVStream* stream, PictureLimits* limits, const DecoderThreading& threading) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  const AVCodecParameters* declared = stream->codecpar;
  // A size over FFmpeg's bound is forgotten at the open, which would hide
  // it from the open's refusal: such a decoder gets the bound after.
  const bool boundFirst =
      limits && int64_t{declared->width} * declared->height <= MaxPixels(limits->bound);
  if (context && limits) {
    context->opaque = limits;
    context->get_buffer2 = BoundedPictureBuffer;
    context->thread_count = threading.count;
    context->thread_type = threading.type;
    if (boundFirst) context->max_pixels = MaxPixels(limits->bound);
  }
  if (!context || avcodec_parameters_to_context(context, declared) < 0 || avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    return nullptr;
  }
  if (limits) {
    if (!boundFirst) context->max_pixels = MaxPixels(limits->bound);
    // No picture has been asked for a buffer yet: the decoder's threads
    // read this only once they are handed a packet.
    limits->frameThreads = (context->active_thread_type & FF_THREAD_FRAME) ? context->thread_count : 1;
  }
  return context;
}

AVCodecContext* OpenVideoDecoder(Session* s) {
  const AVStream* stream = s->format->streams[s->videoIndex];
  const AVCodecParameters* declared = stream->codecpar;
  const DecoderThreading threading = ChooseThreads(s->pictureLimits.bound, declared->format, declared->width,
                                                   declared->height, PictureRate(stream));
  return OpenDecoder(stream, &s->pictureLimits, threading);
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
  int64_t bytesRead;
};

// A deadline once past stays past (0), and the clock is not read for it
// again, however often FFmpeg retries a read that it cut.
bool PastDeadline(uint64_t* deadline) {
  if (*deadline != 0 && Now() > *deadline) *deadline = 0;
  return *deadline == 0;
}

// FFmpeg's probe keeps every packet it reads, each costing far more than
// its bytes: a file of tiny packets would have it hold gigabytes. It asks
// whether to stop once a packet, so the asking counts the packets; stopped,
// it keeps what it found, which the container's own header fills out.
bool ProbeOverBudget(Session* s) {
  if (!s->probing) return false;
  s->probeLooks++;
  const auto* in = static_cast<const InputFile*>(s->input->opaque);
  return s->probeLooks * kPacketOverheadBytes + in->bytesRead > kMaxProbeBytes;
}

// FFmpeg's own loops ask this; our reader asks the deadline at every read.
int InterruptRead(void* opaque) {
  auto* s = static_cast<Session*>(opaque);
  return PastDeadline(&s->readDeadline) || ProbeOverBudget(s) ? 1 : 0;
}

void StartReadDeadline(Session* s) { s->readDeadline = Now() + kReadDeadlineMicros; }

bool CallTimeLeft(Session* s) { return !PastDeadline(&s->callDeadline); }

// A call reads within its deadline and within a count of packets: a file
// of millions of tiny packets, whose demuxer allocates for each even where
// it is skipped, holds no call for longer than a frame or so.
bool CallMayRead(Session* s) { return s->callPacketsLeft > 0 && CallTimeLeft(s); }

// A call that shows pictures by the clock decodes once whatever it takes,
// then for no longer than a frame of the game's time: a machine too slow
// for a movie shows fewer pictures, and no call waits for more than one
// decode beyond its frame.
void StartDecodeTime(Session* s) {
  if (s->decodeDeadline == 0 && !s->decodedInCall) {
    s->decodeDeadline = std::min(Now() + kDecodeMicros, s->callDeadline);
  }
}

bool DecodeTimeLeft(Session* s) { return !s->decodedInCall || !PastDeadline(&s->decodeDeadline); }

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
  in->bytesRead += got;
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
  auto* in = new (std::nothrow) InputFile{file, 0, deadline, 0};
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

// The probe, counting the packets it holds (ProbeOverBudget).
int ProbeStreams(Session* s, AVDictionary** options) {
  s->probing = true;
  s->probeLooks = 0;
  const int result = avformat_find_stream_info(s->format, options);
  s->probing = false;
  return result;
}

// FFmpeg's probe decodes with a decoder of its own, which takes options but
// no callback: it is bounded in pixels, so many that it stays within the
// bytes. A stream that declares a size over the bound, which the open
// refuses as declared, is not probed at all. One too large for the probe's
// pixels is probed all the same, its pictures refused before their
// buffers: the probe keeps its packets, its first key picture among them,
// and where the refusal made the probe forget the declared size, that
// size is put back; our own decoder, bounded in bytes, finds its format
// from its first picture (FindFirstPicture).
int FindStreamInfo(Session* s) {
  if (!s->wantVideo) return ProbeStreams(s, nullptr);
  const MediaPictureBound& bound = s->pictureLimits.bound;
  const unsigned streams = s->format->nb_streams;
  auto** options = static_cast<AVDictionary**>(av_calloc(std::max(streams, 1u), sizeof(AVDictionary*)));
  auto* declaredSizes = static_cast<int*>(av_calloc(std::max(streams, 1u), 2 * sizeof(int)));
  if (!options || !declaredSizes) {
    av_free(options);
    av_free(declaredSizes);
    return AVERROR(ENOMEM);
  }
  for (unsigned i = 0; i < streams; i++) {
    AVStream* stream = s->format->streams[i];
    const AVCodecParameters* declared = stream->codecpar;
    if (declared->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    if ((declared->width > 0 || declared->height > 0) &&
        !MediaPictureAllowed(bound, declared->width, declared->height, 0)) {
      stream->discard = AVDISCARD_ALL;
    } else {
      if (TooLargeToProbe(bound, declared)) {
        declaredSizes[2 * i] = declared->width;
        declaredSizes[2 * i + 1] = declared->height;
      }
      av_dict_set_int(&options[i], "max_pixels", ProbePixels(bound), 0);
    }
  }
  const int result = ProbeStreams(s, options);
  for (unsigned i = 0; i < streams; i++) {
    av_dict_free(&options[i]);
    AVCodecParameters* probed = s->format->streams[i]->codecpar;
    if (declaredSizes[2 * i] > 0 && (probed->width <= 0 || probed->height <= 0)) {
      probed->width = declaredSizes[2 * i];
      probed->height = declaredSizes[2 * i + 1];
    }
  }
  av_free(options);
  av_free(declaredSizes);
  return result;
}

// ---- Packets and pictures held ---------------------------------------------

// Takes the packet over; one that finds no room is dropped.
void PushPacket(PacketQueue* queue, AVPacket* packet) {
  PlatformNoThrow("動画の展開", [&] {
    try {
      queue->packets.push_back(packet);
      queue->bytes += HeldBytes(packet);
    } catch (...) {
      av_packet_free(&packet);
      throw;
    }
  });
}

// Takes the packet's data over; a packet that finds no memory is dropped.
void QueuePacket(PacketQueue* queue, AVPacket* from) {
  AVPacket* kept = av_packet_alloc();
  if (!kept) return;
  av_packet_move_ref(kept, from);
  PushPacket(queue, kept);
}

// The caller's from here on.
AVPacket* TakePacket(PacketQueue* queue) {
  AVPacket* packet = queue->packets.front();
  queue->packets.pop_front();
  queue->bytes -= HeldBytes(packet);
  return packet;
}

void ClearPackets(PacketQueue* queue) {
  for (AVPacket* packet : queue->packets) av_packet_free(&packet);
  queue->packets.clear();
  queue->bytes = 0;
}

void ClearPictures(Session* s) {
  for (AVFrame* picture : s->pictures) av_frame_free(&picture);
  s->pictures.clear();
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

// Stamped when it was taken from the decoder.
int64_t PictureTime(const AVFrame* picture) { return picture->pts; }

// The waiting video packets have reached their bound: the usual one, or
// with firm the one that holds even while the ring is about to run dry.
bool VideoPacketsFull(const Session* s, bool firm) {
  const int64_t factor = firm ? kFirmBoundFactor : 1;
  return s->videoPackets.bytes >= kMaxVideoPacketBytes * factor ||
         s->videoPackets.packets.size() >= MaxVideoPackets() * static_cast<size_t>(factor);
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
  ClearPackets(&s->videoPackets);
  ClearPackets(&s->soundPackets);
  ClearPackets(&s->sentPackets);
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
  if (!device || !(s->audio = OpenDecoder(stream, nullptr, DecoderThreading{1, 0, 1}))) return false;
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

// Where the sound decoded so far ends in the movie's time.
int64_t QueuedEnd(const Session* s) {
  if (s->sound.empty()) return s->writtenEnd;
  return s->sound.back().at + s->sound.back().Left();
}

// Puts a decoded frame's sound (in pcm) where its time says: on from the
// sound before it when it is about there, after silence when it is later,
// and less what it repeats of the sound before it when it is earlier.
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
  s->sound.push_back({at, std::vector<uint8_t>(from, from + (bytes - skip)), 0});
}

// Sound that finds no memory is dropped; the picture goes on. A null
// packet takes what the decoder still holds at the file's end.
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

// Decodes the next waiting sound packet, or, once the file has ended and
// none waits, what the decoder still holds; false when there is neither.
bool DecodeNextSound(Session* s) {
  if (!s->soundPackets.packets.empty()) {
    AVPacket* packet = TakePacket(&s->soundPackets);
    DecodeSound(s, packet);
    av_packet_free(&packet);
    return true;
  }
  if (!s->readEnded || s->soundDrained) return false;
  s->soundDrained = true;
  DecodeSound(s, nullptr);
  return true;
}

// The written sound ahead of the play cursor is about to run out; a ring
// that does not play is never short.
bool RingShort(const Session* s) {
  return s->running && s->leadBytes + s->writtenEnd - s->playedAt < UnitsToBytes(s, kRingShortUnits);
}

// Sound is read for when the video packets met meanwhile may wait: within
// their usual bound, or their firm one while the ring is about to run dry.
bool MayReadForSound(const Session* s) {
  return !VideoPacketsFull(s, false) || (RingShort(s) && !VideoPacketsFull(s, true));
}

// The file can give no sound before more time has played: all of its
// sound is decoded, or what it holds next are pictures beyond even the
// firm bound.
bool NoSoundToRead(const Session* s) { return s->soundDrained || VideoPacketsFull(s, true); }

// Counts what the cursor has played since the last look, and returns the
// lead to write anew before the sound: none, but after an underrun (the
// cursor past what was written, or a ring's time gone since the last
// look, in which it may have gone round). That is silence played that is
// no time of the movie's: writing resumes a little ahead of the cursor,
// and the clock waits for the sound. What the cursor played goes silent,
// under the device's lock: the mixer may be reading anywhere up to it.
int64_t CountPlayed(Session* s, uint32_t cursor) {
  const uint64_t now = Now();
  const uint32_t lastCursor = s->lastCursor;
  const int64_t moved = cursor >= lastCursor ? cursor - lastCursor : s->ringBytes - lastCursor + cursor;
  const int64_t ahead = s->leadBytes + s->writtenEnd - s->playedAt;
  const bool lost = s->running && now - s->lastLookMicros >= uint64_t{kAudioRingSeconds} * 1000000;
  s->lastCursor = cursor;
  s->lastLookMicros = now;
  if (!lost && moved <= ahead) {
    const int64_t fromLead = std::min(moved, s->leadBytes);
    s->leadBytes -= fromLead;
    s->playedAt += moved - fromLead;
    if (moved > 0) AudioBufferWrite(s->ring, lastCursor, nullptr, static_cast<uint32_t>(moved));
    return 0;
  }
  s->playedAt = s->writtenEnd;
  s->leadBytes = UnitsToBytes(s, kResumeLeadUnits);
  s->writeOffset = static_cast<uint32_t>((cursor + s->leadBytes) % s->ringBytes);
  return s->leadBytes;
}

// Composes into ringWrite, after head bytes of silence, the movie's time
// on from where the written part ends: the decoded sound at its place,
// silence in its gaps, and, where the file can give no sound yet, silence
// as time goes by. Returns the bytes composed, head among them.
int64_t ComposeSound(Session* s, int64_t head, int64_t room) {
  uint8_t* bytes = s->ringWrite.data();
  std::memset(bytes, 0, static_cast<size_t>(head));
  const int64_t silentUntil = s->playedAt + UnitsToBytes(s, kAudioLeadUnits);
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
  return filled;
}

// Writes the movie's time on from where the ring's written part ends, as
// far as the cursor allows; after an underrun all of the ring's free part
// is written anew. Every write is under the device's lock.
void RefillSound(Session* s) {
  if (!s->ring || s->ended) return;
  uint32_t cursor = 0;
  AudioBufferGetPosition(s->ring, &cursor);
  const int64_t head = CountPlayed(s, cursor);
  // From the end of the written part round to the block before the cursor.
  const int64_t room =
      s->ringBytes - (s->leadBytes - head) - (s->writtenEnd - s->playedAt) - s->pcmFormat.blockAlign;
  if (room <= head) return;
  if (!PlatformNoThrow("動画の音声の展開", false, [&] {
        s->ringWrite.resize(static_cast<size_t>(room));
        return true;
      })) {
    return;
  }
  const int64_t filled = ComposeSound(s, head, room);
  const auto from = static_cast<uint32_t>((s->writeOffset + s->ringBytes - head) % s->ringBytes);
  const int64_t written = head > 0 ? room : filled;
  std::memset(s->ringWrite.data() + filled, 0, static_cast<size_t>(written - filled));
  if (written > 0) AudioBufferWrite(s->ring, from, s->ringWrite.data(), static_cast<uint32_t>(written));
  s->writeOffset = static_cast<uint32_t>((from + filled) % s->ringBytes);
}

// The sound has played to the end of the file's last: nothing is left
// to decode, to write or to hear.
bool SoundOver(const Session* s) {
  return !s->ring || (s->soundDrained && s->sound.empty() && s->playedAt >= s->soundEnd);
}

// The end, once reported: the ring stops and goes silent, whatever the
// caller does with the movie after.
void SilenceRing(Session* s) {
  if (!s->ring) return;
  AudioBufferStop(s->ring);
  AudioBufferWrite(s->ring, 0, nullptr, s->ringBytes);
}

// ---- Reading ---------------------------------------------------------------

// Shifts a packet's times as the file's checked times say, or takes them
// as missing where they are broken.
void CheckTimes(Session* s, AVPacket* packet, bool picture) {
  const AVRational base = s->format->streams[packet->stream_index]->time_base;
  const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
  const int64_t time = stamp == AV_NOPTS_VALUE ? kNoPacketTime : MovieTime(s, stamp, base);
  const PacketTimeCheck check = CheckPacketTime(&s->times, static_cast<size_t>(packet->stream_index), picture,
                                                time, packet->duration > 0 ? ToUnits(packet->duration, base) : 0);
  if (check.broken) {
    packet->pts = packet->dts = AV_NOPTS_VALUE;
    return;
  }
  if (check.shift == 0) return;
  const int64_t shift = FromUnits(check.shift, base);
  for (int64_t* t : {&packet->pts, &packet->dts}) {
    if (*t != AV_NOPTS_VALUE && __builtin_add_overflow(*t, shift, t)) *t = AV_NOPTS_VALUE;
  }
}

// Reads one packet into the queue of its kind: false when the file has
// nothing more. Sound beyond its queue's bound is dropped, its time left
// silent.
bool ReadPacket(Session* s) {
  if (s->readEnded) return false;
  // A read cut by its deadline ends the movie: the demuxer may be left in
  // the middle of a packet.
  StartReadDeadline(s);
  s->callPacketsLeft--;
  if (av_read_frame(s->format, s->packet) < 0) {
    s->readEnded = true;
    return false;
  }
  const int index = s->packet->stream_index;
  if (index == s->videoIndex && s->video) {
    CheckTimes(s, s->packet, true);
    QueuePacket(&s->videoPackets, s->packet);
  } else if (index == s->audioIndex && s->ring) {
    CheckTimes(s, s->packet, false);
    if (s->soundPackets.bytes + HeldBytes(s->packet) <= kMaxSoundPacketBytes) QueuePacket(&s->soundPackets, s->packet);
  }
  av_packet_unref(s->packet);
  return true;
}

// ---- Decoding pictures -----------------------------------------------------

// A picture without a time of its own follows the one before it.
int64_t PictureTimeOf(Session* s, const AVFrame* frame) {
  const int64_t pts = frame->best_effort_timestamp;
  if (pts != AV_NOPTS_VALUE) return MovieTime(s, pts, s->format->streams[s->videoIndex]->time_base);
  return s->lastPictureTime != kNoPacketTime ? s->lastPictureTime : 0;
}

// Takes what the decoder has ready, each picture stamped with its time;
// passes over those before the time sought and those a new decoder gave
// again. Returns the decoder's last answer.
int ReceivePictures(Session* s) {
  int result;
  while ((result = avcodec_receive_frame(s->video, s->frame)) >= 0) {
    const int64_t time = PictureTimeOf(s, s->frame);
    if (time < s->skipBefore || (s->decodedThrough != kNoPacketTime && time <= s->decodedThrough)) {
      av_frame_unref(s->frame);
      continue;
    }
    s->decodedThrough = kNoPacketTime;
    s->lastPictureTime = time;
    s->awaitingKey = false;
    AVFrame* picture = av_frame_clone(s->frame);
    av_frame_unref(s->frame);
    if (!picture) continue;
    picture->pts = time;
    PlatformNoThrow("動画の展開", [&] {
      try {
        s->pictures.push_back(picture);
      } catch (...) {
        av_frame_free(&picture);
        throw;
      }
    });
  }
  return result;
}

// Keeps a packet sent to a frame-threaded decoder while its picture may
// still be refused: those in flight and a few before them.
void KeepSentPacket(Session* s, AVPacket* packet) {
  if (s->pictureLimits.frameThreads <= 1) {
    av_packet_free(&packet);
    return;
  }
  PacketQueue& sent = s->sentPackets;
  PushPacket(&sent, packet);
  const size_t keep = static_cast<size_t>(s->pictureLimits.frameThreads) + kSentPacketsBeyondThreads;
  while (!sent.packets.empty() && (sent.packets.size() > keep || sent.bytes > kMaxSentPacketBytes)) {
    AVPacket* old = TakePacket(&sent);
    av_packet_free(&old);
  }
}

// Where a new decoder takes up the packets sent: at the key packet at or
// before the refused picture's, else at the refused one, else at the first
// kept.
size_t ResendFrom(const Session* s, int64_t refusedPts) {
  const std::deque<AVPacket*>& sent = s->sentPackets.packets;
  if (sent.empty()) return 0;
  size_t refused = 0;
  for (size_t i = sent.size(); i-- > 0;) {
    if (refusedPts != AV_NOPTS_VALUE && sent[i]->pts == refusedPts) {
      refused = i;
      break;
    }
  }
  for (size_t i = refused + 1; i-- > 0;) {
    if (sent[i]->flags & AV_PKT_FLAG_KEY) return i;
  }
  return refused;
}

// A picture grown past what the decoder's frame threads were counted for:
// what the decoder finished before it comes first, then a decoder with
// threads that fit the new size takes up the packets from the refused
// picture's key packet. The pictures it gives again are passed over.
void ReopenForGrownPicture(Session* s) {
  RefusedPicture refused;
  if (!TakeRefusal(&s->pictureLimits, &refused)) return;
  const AVStream* stream = s->format->streams[s->videoIndex];
  const DecoderThreading threading =
      ChooseThreads(s->pictureLimits.bound, refused.format, refused.width, refused.height, PictureRate(stream));
  if (threading.frameThreads >= s->pictureLimits.frameThreads) return;
  if (!s->drainSent) avcodec_send_packet(s->video, nullptr);
  ReceivePictures(s);
  avcodec_free_context(&s->video);
  s->video = OpenDecoder(stream, &s->pictureLimits, threading);
  s->drainSent = s->videoEnded = false;
  s->decodedThrough = s->lastPictureTime;
  const size_t from = ResendFrom(s, refused.pts);
  PlatformNoThrow("動画の展開", [&] {
    PacketQueue& sent = s->sentPackets;
    while (sent.packets.size() > from) {
      AVPacket* packet = sent.packets.back();
      s->videoPackets.packets.push_front(packet);
      s->videoPackets.bytes += HeldBytes(packet);
      sent.packets.pop_back();
      sent.bytes -= HeldBytes(packet);
    }
  });
  ClearPackets(&s->sentPackets);
}

// Hands the decoder its next packet, or the end once the file has no more.
void DecodeNext(Session* s) {
  if (s->videoPackets.packets.empty()) {
    if (!s->drainSent) avcodec_send_packet(s->video, nullptr);
    s->drainSent = true;
    ReceivePictures(s);
    s->videoEnded = true;
  } else {
    AVPacket* packet = TakePacket(&s->videoPackets);
    // A decoder that holds pictures takes no more until they are taken; one
    // that refuses even then gets the packet no more.
    if (avcodec_send_packet(s->video, packet) == AVERROR(EAGAIN)) {
      ReceivePictures(s);
      avcodec_send_packet(s->video, packet);
    }
    KeepSentPacket(s, packet);
    ReceivePictures(s);
  }
  ReopenForGrownPicture(s);
}

// Decodes, reading as far as needed, until count pictures are held; false
// when they are not. *later is set when the call's time is up before they
// come, or, by the clock, its time to decode: they are decoded at a later
// call.
bool HoldPictures(Session* s, size_t count, bool byTheClock, bool* later) {
  for (;;) {
    if (s->pictures.size() >= count) return true;
    if (!s->video || s->videoEnded) return false;
    if (byTheClock && !DecodeTimeLeft(s)) {
      *later = true;
      return false;
    }
    if (!s->videoPackets.packets.empty() || s->readEnded) {
      DecodeNext(s);
      s->decodedInCall = true;
    } else if (!CallMayRead(s)) {
      *later = true;
      return false;
    } else {
      ReadPacket(s);
    }
  }
}

// The next picture to show, in order.
AVFrame* NextPicture(Session* s, bool byTheClock, bool* later) {
  return HoldPictures(s, 1, byTheClock, later) ? s->pictures.front() : nullptr;
}

// No picture will come any more.
bool PicturesOver(const Session* s) { return s->pictures.empty() && (!s->video || s->videoEnded); }

int64_t PacketTime(const Session* s, const AVPacket* packet) {
  const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
  if (stamp == AV_NOPTS_VALUE) return kNoPacketTime;
  return MovieTime(s, stamp, s->format->streams[s->videoIndex]->time_base);
}

// Behind the clock, a key picture whose time has come among the waiting
// packets makes the ones before it needless: the decoder starts again
// from it. Not again before that picture has come out: a machine whose
// calls take longer than the keys lie apart would start again for ever.
void SkipToDueKey(Session* s, int64_t now) {
  if (s->awaitingKey) return;
  const std::deque<AVPacket*>& waiting = s->videoPackets.packets;
  size_t key = 0;
  for (size_t i = 1; i < waiting.size(); i++) {
    const int64_t time = PacketTime(s, waiting[i]);
    if ((waiting[i]->flags & AV_PKT_FLAG_KEY) && time != kNoPacketTime && time <= now) key = i;
  }
  if (key == 0) return;
  while (key-- > 0) {
    AVPacket* passed = TakePacket(&s->videoPackets);
    av_packet_free(&passed);
  }
  avcodec_flush_buffers(s->video);
  ClearPictures(s);
  ClearPackets(&s->sentPackets);
  s->drainSent = s->videoEnded = false;
  s->decodedThrough = kNoPacketTime;
  s->awaitingKey = true;
}

// While behind, pictures no other refers to are not decoded at all.
void SetBehind(Session* s, bool behind) {
  s->behind = behind;
  if (s->video) s->video->skip_frame = behind ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
}

// The sound's position while there is sound; without, the time run.
int64_t Clock(Session* s) {
  if (s->ring) return BytesToUnits(s, s->playedAt);
  if (!s->running) return s->baseTime;
  return s->baseTime + static_cast<int64_t>(Now() - s->startMicros) * 10;
}

// The latest picture whose time has come that the call's decoding
// reaches, those before it passed over unconverted; null while none is
// due (*later: or the call's time is up before the next one comes).
AVFrame* DuePicture(Session* s, bool* later) {
  const int64_t now = Clock(s);
  if (s->behind && s->video) SkipToDueKey(s, now);
  StartDecodeTime(s);
  bool outOfTime = false;
  AVFrame* due = nullptr;
  if (NextPicture(s, true, &outOfTime)) {
    if (MayShow(s) && PictureTime(s->pictures.front()) <= now) {
      while (HoldPictures(s, 2, true, &outOfTime) && PictureTime(s->pictures[1]) <= now) DropPicture(s);
      due = s->pictures.front();
    }
  } else {
    *later = outOfTime;
  }
  // Behind: the decoding ran out of time with the pictures it reached late.
  const int64_t reached = s->pictures.empty() ? s->lastPictureTime : PictureTime(s->pictures.front());
  SetBehind(s, outOfTime && reached != kNoPacketTime && reached < now - kBehindUnits);
  return due;
}

// Keeps the sound decoded half a second ahead of what the ring holds,
// within the video packets that may wait and the call's time.
void ReadAhead(Session* s) {
  if (s->ended) return;
  if (s->ring) {
    while (BytesToUnits(s, QueuedEnd(s) - s->writtenEnd) < kAudioLeadUnits) {
      if (DecodeNextSound(s)) continue;
      if (!MayReadForSound(s) || !CallMayRead(s) || !ReadPacket(s)) break;
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
  for (int sent = 0; sent < kFirstPicturePackets && s->pictures.empty() && !s->videoEnded && CallMayRead(s);) {
    if (!s->videoPackets.packets.empty() || s->readEnded) {
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

// The scaler for pictures of this size and format into the surface's,
// made again when either changes. It cuts each picture among the cores: a
// large picture's conversion is, after its decode, the longest step of an
// update.
SwsContext* Scaler(Session* s, const AVFrame* picture, const DirectDrawSurfaceDesc& desc) {
  const ScalerShape shape{picture->width, picture->height, picture->format, desc.width, desc.height,
                          SurfaceFormat(desc)};
  if (s->scaler && s->scalerShape == shape) return s->scaler;
  sws_freeContext(s->scaler);
  s->scaler = sws_alloc_context();
  s->scalerShape = shape;
  const std::pair<const char*, int64_t> options[] = {
      {"srcw", shape.fromWidth}, {"srch", shape.fromHeight}, {"src_format", shape.fromFormat},
      {"dstw", shape.toWidth},   {"dsth", shape.toHeight},   {"dst_format", shape.toFormat},
      {"sws_flags", SWS_BILINEAR}, {"threads", std::min(Cores(), kMaxDecoderThreads)}};
  bool set = s->scaler != nullptr;
  for (const auto& [name, value] : options) set = set && av_opt_set_int(s->scaler, name, value, 0) >= 0;
  if (!set || sws_init_context(s->scaler, nullptr, nullptr) < 0) {
    sws_freeContext(s->scaler);
    s->scaler = nullptr;
  }
  return s->scaler;
}

// Takes the next picture out and draws it into the sample's surface.
void ShowPicture(Session* s, MediaObject* sample) {
  AVFrame* picture = TakePicture(s);
  s->showHeld = false;  // the call's first has been shown
  DirectDrawSurfaceDesc desc;
  DirectDrawGetSurfaceDesc(sample->surface, &desc);
  void* pixels;
  int32_t pitch;
  SwsContext* scaler = Scaler(s, picture, desc);
  AVFrame* out = scaler ? ConvertedFrame(s, desc) : nullptr;
  if (out && sws_scale_frame(scaler, out, picture) >= 0 && DirectDrawLockSurface(sample->surface, &pixels, &pitch) == 0) {
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
    s->callPacketsLeft = kMaxCallPackets;
    if (!(s->input = OpenInput(nativePath, &s->readDeadline)) || !(s->format = avformat_alloc_context())) {
      return CloseInput(s);
    }
    if (!(s->format->format_whitelist = av_strdup(g_formatsForTest ? g_formatsForTest : kMovieFormats)) ||
        !(s->format->protocol_whitelist = av_strdup(kMovieProtocols))) {
      return CloseInput(s);
    }
    s->format->pb = s->input;
    s->format->io_open = RefuseNestedInput;
    s->format->interrupt_callback = {InterruptRead, s};
    if (avformat_open_input(&s->format, nativePath, nullptr, nullptr) < 0) return CloseInput(s);
    if (FindStreamInfo(s) < 0 || !(s->packet = av_packet_alloc()) ||
        !(s->frame = av_frame_alloc())) {
      return CloseInput(s);
    }
    s->videoIndex = s->wantVideo ? av_find_best_stream(s->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) : -1;
    s->audioIndex = s->wantAudio ? av_find_best_stream(s->format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) : -1;
    if (s->videoIndex < 0 && s->audioIndex < 0) return CloseInput(s);
    if (s->videoIndex >= 0 && !(s->video = OpenVideoDecoder(s))) return CloseInput(s);
    if (s->format->start_time != AV_NOPTS_VALUE) s->originUnits = ToUnits(s->format->start_time, AV_TIME_BASE_Q);
    ResetTimes(s);
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
    s->callPacketsLeft = kMaxCallPackets;
    s->decodedInCall = false;
    s->decodeDeadline = 0;
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
    ClearPackets(&s->videoPackets);
    ClearPackets(&s->soundPackets);
    ClearPackets(&s->sentPackets);
    s->sound.clear();
    s->readEnded = s->drainSent = s->videoEnded = s->soundDrained = s->ended = s->awaitingKey = false;
    SetBehind(s, false);
    ResetTimes(s);
    s->lastPictureTime = s->decodedThrough = kNoPacketTime;
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
  // The checking of times starts afresh at the open and at a seek: where
  // it lands, no segment is under way.
  static void ResetTimes(Session* s) {
    const int64_t length =
        s->format->duration > 0 ? ToUnits(s->format->duration, AV_TIME_BASE_Q) : kNoPacketTime;
    ResetPacketTimes(&s->times, s->format->nb_streams, (s->format->iformat->flags & AVFMT_TS_DISCONT) != 0, length);
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
void SetMediaVideoPacketBoundForTest(size_t packets) { g_videoPacketsForTest = packets; }
