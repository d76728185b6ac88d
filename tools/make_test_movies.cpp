// Makes the movie files the tests and benchmarks play, from generated frames
// and tones, through libtheora's and libvorbis's encoders:
//   make_test_movies <folder>
// gray420.ogv    64 x 48, 10 frames a second, 30 frames: frame n is a flat
//                grey of luma 20 + 7n, a key frame every 8 frames
// sound420.ogv   the same pictures with a 3-second Vorbis tone (22,050 Hz mono)
// odd420.ogv     a 50 x 38 picture in a 64 x 48 frame, 6 frames: left half
//                luma 60, right half luma 180, grey
// color444.ogv   32 x 32 4:4:4, 4 frames: four flat quadrants of colour
// bench640.ogv   640 x 480, 30 frames a second, 48 frames of moving gradients
// colors.avi     MPEG-4 video 32 x 24, 10 frames a second, 12 frames: frames
//                0-3 red (255, 0, 0), 4-7 green (0, 255, 0), 8-11 blue
//                (0, 0, 255), a key frame every 4; a 1.2-second 16-bit PCM
//                tone (22,050 Hz mono)
// colors.mp4     the same pictures alone in an MP4 file
// colors40.mp4   the same, 40 x 24
// colors.m2v     the same pictures as an MPEG-2 video elementary stream
// tone.avi       the tone alone in an AVI file
// silence.mkv    an hour of FLAC silence (44,100 Hz stereo) and then the
//                only picture, a red MPEG-4 frame 32 x 24: about 250 KB
// gap.mkv        a red picture, ten minutes of the same silence, a blue one
// skip.mkv       20 seconds of the same silence with pictures at 0 s (red),
//                10 s (green), 11 s (blue) and 14 s (red)
// empty1m.ogv    16 x 16, a key frame and then 999,999 empty frames (each a
//                repeat of the one before), 255 to a page: about 1 MB
// empty22m.ogv   the same with 22,000,000 frames: about 22 MB
// declared.mkv   an MPEG-4 stream that declares 16000 x 16000 pictures and
//                holds 30 packets of 1,000 bytes that decode to none
// declared8k.mkv the same declaring 8192 x 8192
// large.mkv      MPEG-4 video 4096 x 2048, 30 frames a second, 45 frames
//                (red, from frame 22 blue), with the 16-bit PCM tone along
// wide.mkv       4160 x 4160, 10 frames a second, 4 frames (red, from frame
//                2 blue), the tone along, the pictures from 0.1 s on and
//                no index: too large for FFmpeg's probe to decode, and
//                sought back to its start only by the sound
// noisy.mkv      320 x 240, 20 frames a second, 40 frames, the tone along:
//                the top half of each frame noise (a packet of about 40 KB),
//                the bottom half red, from frame 36 blue; a cluster of four
//                frames every 200 KB
// noisy-silent.mkv  the same pictures without the tone
// stall.mkv      the same, blue from frame 32, with a megabyte of zeros
//                before the cluster of frame 32, which the demuxer reads
//                through to find that cluster
// changing.mov   flat 16-bit RGBA PNG pictures in MOV, 10 a second, declared
//                64 x 64, with the tone along: a red 64 x 64 picture, a
//                green 16000 x 8000 one (977 MB as decoded), then four blue
//                4160 x 4160 ones (132 MB each as decoded): 1.6 MB
// rgba16.mov     one grey 6144 x 6144 16-bit RGBA PNG picture in MOV: 288 MB
//                as decoded, 144 MB at 4 bytes a pixel
// second6k.mov   declared 64 x 64: a red 64 x 64 picture, then that grey one
// first12k.mov   declared 64 x 64: one grey 12000 x 8000 picture, 732 MB
// steps.mkv      MPEG-4 video 32 x 24, 10 frames a second, 80 frames: frame n
//                shows n / 10 in its left half and n % 10 in its right, each
//                a grey of luma 20 + 20 * digit; 16-bit PCM sound (22,050 Hz
//                mono) for the first 4 seconds only, its tenth of a second k
//                a flat level of 500 (k + 1)
// The clock movies: MPEG-4 video 32 x 24, 16-bit PCM sound (22,050 Hz mono)
// in Matroska; each picture shows the tenth of a second its time falls in
// as steps.mkv does, and the sound's tenths, whatever their content, have
// the flat level 400 (t % 80 + 1) of the tenth t their own time names:
// late.mkv       10 pictures a second, 80 of them; sound from 4 s on only
// gap5.mkv       the same; sound for 0-2 s and 7-8 s, no packet between
// back.flv       the same in FLV (Sorenson H.263 pictures), whose every
//                packet carries its own time: sound to 5 s, then its times
//                step back 2 s (the tenths after 5 s are stamped 3.0 s on)
// jump.flv       the same; sound to 3 s, then its times jump 1000 s on
// behind.mkv     the same with the whole sound, each tenth of it stored 4 s
//                after its picture in the file
// onepicture.mkv one picture, 10 s of sound
// fast.mkv       60 pictures a second, 4 s of them, the whole sound
// farjump.mkv    10 pictures a second, 80 of them, the whole sound; the
//                sound packet of 3.0 s alone carries a time 1000 s later,
//                1003.0 s, which starts a cluster of its own
// twoclocks.mkv  the same with every odd tenth's sound packet 1000 s later
// restart.ts     10 pictures a second, 80 of them, in MPEG-TS, whose times
//                its demuxer says may break, with the whole sound as SMPTE
//                302M, a lossless sound MPEG-TS carries that FFmpeg both
//                writes and reads: 48,000 Hz stereo, 16-bit, both channels
//                alike, a packet a tenth. Its times, on the 90 kHz clock,
//                start at 1.4 s, as the ffmpeg tool's do; the sound's start
//                again at 5 s: its tenths 50-79 are stamped 1.4-4.3 s, as
//                0-29 were, yet sound the tenths they are stored at
// joined.ts      two such files of 40 pictures and 4 s of sound each,
//                alike, end to end: both streams' times start again half
//                way, the tenths 0-39 shown and heard twice over; the
//                first packet of every PID marks its count as starting
//                afresh, so that the demuxer finds none broken at the join
// slides.mkv     a picture every 2 s, 20 of them (each showing its tenth
//                % 100), its rate so declared, with the whole 40 s of sound
//                among them (its levels, as ever, the tenth % 80)
// tinysound.mkv  40 s of silence, 8 kHz mono 16-bit PCM in packets of one
//                sample, then the only picture, red, at 40 s
// onepacket.mkv  10 pictures a second, 80 of them, and the whole 8 s of
//                sound in one packet (176,400 samples) after picture 0
// growing.mov    8-bit RGB PNG pictures in MOV, declared 32 x 24, 30 a
//                second, 90 of them: 32 x 24 to 1.5 s, then 2560 x 1440;
//                each shows its tenth as the clock movies do, the greys
//                (luma - 16) * 255 / 219 rounded; the clock's sound for 3 s
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}
#include <ogg/ogg.h>
#include <theora/theoraenc.h>
#include <vorbis/vorbisenc.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/vorbis_tone.h"

namespace {

struct Picture {
  int frameWidth, frameHeight, picWidth, picHeight;
  th_pixel_fmt format;
  int fps;
  int frames;
  int keyFrameEvery;
  int quality;
  // Fills the planes of frame n (luma, then the two chroma planes).
  void (*fill)(int n, th_ycbcr_buffer planes);
};

void FillPlane(th_img_plane& plane, int x0, int y0, int x1, int y1, unsigned char value) {
  for (int y = y0; y < y1; y++) std::memset(plane.data + y * plane.stride + x0, value, static_cast<size_t>(x1 - x0));
}

Encoded EncodeVideo(const Picture& p) {
  th_info info;
  th_info_init(&info);
  info.frame_width = static_cast<ogg_uint32_t>(p.frameWidth);
  info.frame_height = static_cast<ogg_uint32_t>(p.frameHeight);
  info.pic_width = static_cast<ogg_uint32_t>(p.picWidth);
  info.pic_height = static_cast<ogg_uint32_t>(p.picHeight);
  info.pic_x = info.pic_y = 0;
  info.fps_numerator = static_cast<ogg_uint32_t>(p.fps);
  info.fps_denominator = 1;
  info.aspect_numerator = info.aspect_denominator = 1;
  info.colorspace = TH_CS_ITU_REC_470BG;
  info.pixel_fmt = p.format;
  info.quality = p.quality;
  info.keyframe_granule_shift = 6;
  th_enc_ctx* encoder = th_encode_alloc(&info);
  if (!encoder) {
    std::fprintf(stderr, "the Theora encoder refused the picture\n");
    std::exit(1);
  }
  ogg_uint32_t every = static_cast<ogg_uint32_t>(p.keyFrameEvery);
  th_encode_ctl(encoder, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &every, sizeof(every));

  Encoded out;
  ogg_stream_state stream;
  ogg_stream_init(&stream, 0x7e0a);
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet packet;
  ogg_page page;
  bool first = true;
  while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
    ogg_stream_packetin(&stream, &packet);
    if (first) {
      while (ogg_stream_flush(&stream, &page)) out.headers.push_back(PageBytes(page));
      first = false;
    }
  }
  std::string rest;
  while (ogg_stream_flush(&stream, &page)) rest += PageBytes(page);
  out.headers.push_back(rest);

  const int chromaWidth = p.format == TH_PF_444 ? p.frameWidth : p.frameWidth / 2;
  const int chromaHeight = p.format == TH_PF_420 ? p.frameHeight / 2 : p.frameHeight;
  std::vector<unsigned char> y(static_cast<size_t>(p.frameWidth * p.frameHeight));
  std::vector<unsigned char> cb(static_cast<size_t>(chromaWidth * chromaHeight)), cr(cb.size());
  th_ycbcr_buffer planes = {{p.frameWidth, p.frameHeight, p.frameWidth, y.data()},
                            {chromaWidth, chromaHeight, chromaWidth, cb.data()},
                            {chromaWidth, chromaHeight, chromaWidth, cr.data()}};
  double lastTime = 0;
  for (int n = 0; n < p.frames; n++) {
    p.fill(n, planes);
    th_encode_ycbcr_in(encoder, planes);
    while (th_encode_packetout(encoder, n == p.frames - 1, &packet) > 0) ogg_stream_packetin(&stream, &packet);
    // A page a frame, as players interleave them with the sound.
    while (ogg_stream_flush(&stream, &page)) {
      const ogg_int64_t granule = ogg_page_granulepos(&page);
      if (granule >= 0) lastTime = th_granule_time(encoder, granule);
      out.pages.push_back({lastTime, 0, PageBytes(page)});
    }
  }
  while (ogg_stream_flush(&stream, &page)) out.pages.push_back({lastTime, 0, PageBytes(page)});
  ogg_stream_clear(&stream);
  th_comment_clear(&comment);
  th_encode_free(encoder);
  return out;
}

// One coded grey frame, then frames - 1 empty packets (the decoder repeats
// the frame before), as many to a page as a page holds. The granule shift is
// the largest, so that every frame's offset from the key frame fits.
void WriteEmptyFrames(const std::string& path, int64_t frames) {
  th_info info;
  th_info_init(&info);
  info.frame_width = info.pic_width = 16;
  info.frame_height = info.pic_height = 16;
  info.fps_numerator = 30;
  info.fps_denominator = 1;
  info.aspect_numerator = info.aspect_denominator = 1;
  info.pixel_fmt = TH_PF_420;
  info.quality = 10;
  info.keyframe_granule_shift = 31;
  th_enc_ctx* encoder = th_encode_alloc(&info);
  if (!encoder) {
    std::fprintf(stderr, "the Theora encoder refused the picture\n");
    std::exit(1);
  }
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  ogg_stream_state stream;
  ogg_stream_init(&stream, 0xe3);
  ogg_page page;
  auto write = [&](bool flush) {
    while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) {
      std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), out);
      std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), out);
    }
  };
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet packet;
  while (th_encode_flushheader(encoder, &comment, &packet) > 0) {
    ogg_stream_packetin(&stream, &packet);
    write(true);
  }
  std::vector<unsigned char> y(256, 100), chroma(64, 128);
  th_ycbcr_buffer planes = {{16, 16, 16, y.data()}, {8, 8, 8, chroma.data()}, {8, 8, 8, chroma.data()}};
  th_encode_ycbcr_in(encoder, planes);
  ogg_int64_t granule = 0;
  while (th_encode_packetout(encoder, 0, &packet) > 0) {
    granule = packet.granulepos;
    ogg_stream_packetin(&stream, &packet);
  }
  for (int64_t n = 1; n < frames; n++) {
    ogg_packet empty{};
    empty.packetno = packet.packetno + n;
    empty.granulepos = granule + n;
    empty.e_o_s = n == frames - 1;
    ogg_stream_packetin(&stream, &empty);
    write(false);
  }
  write(true);
  ogg_stream_clear(&stream);
  th_comment_clear(&comment);
  th_encode_free(encoder);
  if (std::fclose(out) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// Beginning-of-stream pages first, then the other headers, then the data
// pages of both streams in time order.
void WriteOgg(const std::string& path, const Encoded& video, const Encoded* audio) {
  std::string file = video.headers[0];
  if (audio) file += audio->headers[0];
  file += video.headers[1];
  if (audio) file += audio->headers[1];
  std::vector<Page> pages = video.pages;
  if (audio) pages.insert(pages.end(), audio->pages.begin(), audio->pages.end());
  std::stable_sort(pages.begin(), pages.end(), [](const Page& a, const Page& b) {
    return a.time < b.time || (a.time == b.time && a.stream < b.stream);
  });
  for (const Page& page : pages) file += page.bytes;
  WriteFileBytes(path, file);
}

void FillGray(int n, th_ycbcr_buffer planes) {
  FillPlane(planes[0], 0, 0, planes[0].width, planes[0].height, static_cast<unsigned char>(20 + 7 * n));
  FillPlane(planes[1], 0, 0, planes[1].width, planes[1].height, 128);
  FillPlane(planes[2], 0, 0, planes[2].width, planes[2].height, 128);
}

void FillHalves(int n, th_ycbcr_buffer planes) {
  FillPlane(planes[0], 0, 0, planes[0].width / 2, planes[0].height, 60);
  FillPlane(planes[0], planes[0].width / 2, 0, planes[0].width, planes[0].height, 180);
  FillPlane(planes[1], 0, 0, planes[1].width, planes[1].height, 128);
  FillPlane(planes[2], 0, 0, planes[2].width, planes[2].height, 128);
}

// Quadrants (Y, Cb, Cr): top-left (81, 90, 240), top-right (145, 54, 34),
// bottom-left (41, 240, 110), bottom-right (170, 166, 16).
void FillQuadrants(int n, th_ycbcr_buffer planes) {
  static const unsigned char kColours[4][3] = {{81, 90, 240}, {145, 54, 34}, {41, 240, 110}, {170, 166, 16}};
  for (int q = 0; q < 4; q++) {
    for (int plane = 0; plane < 3; plane++) {
      th_img_plane& p = planes[plane];
      const int x0 = (q % 2) * p.width / 2, y0 = (q / 2) * p.height / 2;
      FillPlane(p, x0, y0, x0 + p.width / 2, y0 + p.height / 2, kColours[q][plane]);
    }
  }
}

void FillMoving(int n, th_ycbcr_buffer planes) {
  for (int plane = 0; plane < 3; plane++) {
    th_img_plane& p = planes[plane];
    for (int y = 0; y < p.height; y++) {
      for (int x = 0; x < p.width; x++) {
        const int wave = static_cast<int>(40 * std::sin((x + 3 * n) * 0.05 + plane) + 30 * std::cos((y - 2 * n) * 0.07));
        p.data[y * p.stride + x] = static_cast<unsigned char>(std::clamp(128 + wave + ((x ^ y) & 15), 16, 235));
      }
    }
  }
}

// ---- Other containers, through FFmpeg's encoders ----

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "cannot make the test movie: %s\n", what);
    std::exit(1);
  }
}

struct Encoder {
  AVCodecContext* context = nullptr;
  AVStream* stream = nullptr;
};

// Sends the frame (null: the end) and writes what the encoder gives back.
void Encode(AVFormatContext* file, Encoder& e, AVFrame* frame) {
  Check(avcodec_send_frame(e.context, frame) >= 0, "send a frame");
  AVPacket* packet = av_packet_alloc();
  while (avcodec_receive_packet(e.context, packet) >= 0) {
    av_packet_rescale_ts(packet, e.context->time_base, e.stream->time_base);
    packet->stream_index = e.stream->index;
    Check(av_interleaved_write_frame(file, packet) >= 0, "write a packet");
  }
  av_packet_free(&packet);
}

// A container of the format (null: the path's own) to add the streams to.
AVFormatContext* NewFile(const std::string& path, const char* format) {
  AVFormatContext* file = nullptr;
  Check(avformat_alloc_output_context2(&file, nullptr, format, path.c_str()) >= 0, "make the container");
  return file;
}

// Opens the file and writes its header, once its streams are added.
// unindexed: a Matroska file written as a live stream is, without the
// index that seeks go by.
void StartFile(AVFormatContext* file, const std::string& path, bool unindexed = false) {
  Check(avio_open(&file->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0, "open the file");
  AVDictionary* options = nullptr;
  if (unindexed) av_dict_set(&options, "live", "1", 0);
  Check(avformat_write_header(file, &options) >= 0, "write the header");
  av_dict_free(&options);
}

// Writes the file's end and lets go of it and of its encoders.
void FinishFile(AVFormatContext* file, Encoder& v, Encoder& a) {
  Check(av_write_trailer(file) >= 0, "write the trailer");
  avcodec_free_context(&v.context);
  avcodec_free_context(&a.context);
  avio_closep(&file->pb);
  avformat_free_context(file);
}

Encoder AddStream(AVFormatContext* file, AVCodecID id, void (*setUp)(AVCodecContext*)) {
  const AVCodec* codec = avcodec_find_encoder(id);
  Check(codec != nullptr, "find the encoder");
  Encoder e;
  e.stream = avformat_new_stream(file, nullptr);
  e.context = avcodec_alloc_context3(codec);
  setUp(e.context);
  if (file->oformat->flags & AVFMT_GLOBALHEADER) e.context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  Check(avcodec_open2(e.context, codec, nullptr) >= 0, "open the encoder");
  Check(avcodec_parameters_from_context(e.stream->codecpar, e.context) >= 0, "describe the stream");
  e.stream->time_base = e.context->time_base;
  return e;
}

template <int Width = 32>
void SetUpVideo(AVCodecContext* c) {
  c->width = Width;
  c->height = 24;
  c->time_base = {1, 10};
  c->framerate = {10, 1};
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->gop_size = 4;
  c->max_b_frames = 0;
  c->flags |= AV_CODEC_FLAG_QSCALE;
  c->global_quality = FF_QP2LAMBDA * 2;
}

void SetUpAudio(AVCodecContext* c) {
  c->sample_fmt = AV_SAMPLE_FMT_S16;
  c->sample_rate = 22050;
  av_channel_layout_default(&c->ch_layout, 1);
  c->time_base = {1, 22050};
}

// SMPTE 302M, lossless in MPEG-TS both ways through FFmpeg, takes 48 kHz
// in pairs of channels alone. Its encoder counts as experimental.
void SetUpS302m(AVCodecContext* c) {
  c->sample_fmt = AV_SAMPLE_FMT_S16;
  c->sample_rate = 48000;
  av_channel_layout_default(&c->ch_layout, 2);
  c->time_base = {1, 48000};
  c->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
}

// The BT.601 video-range values of pure red, green and blue.
void FillColour(AVFrame* frame, int n) {
  static const uint8_t kYuv[3][3] = {{81, 90, 240}, {145, 54, 34}, {41, 240, 110}};
  const uint8_t* yuv = kYuv[n / 4];
  for (int plane = 0; plane < 3; plane++) {
    const int rows = plane == 0 ? frame->height : frame->height / 2;
    const int columns = plane == 0 ? frame->width : frame->width / 2;
    for (int y = 0; y < rows; y++) std::memset(frame->data[plane] + y * frame->linesize[plane], yuv[plane], columns);
  }
}

// A picture to fill, in the encoders' planar 4:2:0.
AVFrame* NewPicture(int width, int height) {
  AVFrame* picture = av_frame_alloc();
  Check(picture != nullptr, "make a picture");
  picture->format = AV_PIX_FMT_YUV420P;
  picture->width = width;
  picture->height = height;
  Check(av_frame_get_buffer(picture, 0) >= 0, "make a picture");
  return picture;
}

// A frame of the tone's samples: 16-bit mono at 22050 a second unless
// asked otherwise, the channels interleaved.
AVFrame* NewToneFrame(int samples, int rate = 22050, int channels = 1) {
  AVFrame* sound = av_frame_alloc();
  Check(sound != nullptr, "make a sound frame");
  sound->format = AV_SAMPLE_FMT_S16;
  sound->sample_rate = rate;
  sound->nb_samples = samples;
  av_channel_layout_default(&sound->ch_layout, channels);
  Check(av_frame_get_buffer(sound, 0) >= 0, "make a sound frame");
  return sound;
}

// The n-th frame of a 440 Hz tone at 22050 a second.
void FillTone(AVFrame* sound, int n, int soundSamples) {
  Check(av_frame_make_writable(sound) >= 0, "reuse a sound frame");
  auto* samples = reinterpret_cast<int16_t*>(sound->data[0]);
  for (int i = 0; i < soundSamples; i++) {
    samples[i] = static_cast<int16_t>(16000 * std::sin(2 * M_PI * 440.0 * (n * soundSamples + i) / 22050));
  }
  sound->pts = int64_t{n} * soundSamples;
}

template <int Width = 32, AVCodecID Codec = AV_CODEC_ID_MPEG4>
void WriteWithFfmpeg(const std::string& path, bool video, bool audio) {
  AVFormatContext* file = NewFile(path, nullptr);
  Encoder v, a;
  if (video) v = AddStream(file, Codec, SetUpVideo<Width>);
  if (audio) a = AddStream(file, AV_CODEC_ID_PCM_S16LE, SetUpAudio);
  StartFile(file, path);
  const int soundSamples = 2205;  // a tenth of a second
  AVFrame* picture = video ? NewPicture(Width, 24) : nullptr;
  AVFrame* sound = audio ? NewToneFrame(soundSamples) : nullptr;
  for (int n = 0; n < 12; n++) {
    if (video) {
      Check(av_frame_make_writable(picture) >= 0, "reuse a picture");
      FillColour(picture, n);
      picture->pts = n;
      Encode(file, v, picture);
    }
    if (audio) {
      FillTone(sound, n, soundSamples);
      Encode(file, a, sound);
    }
  }
  if (video) Encode(file, v, nullptr);
  if (audio) Encode(file, a, nullptr);
  av_frame_free(&picture);
  av_frame_free(&sound);
  FinishFile(file, v, a);
}

void SetUpFlac(AVCodecContext* c) {
  c->sample_fmt = AV_SAMPLE_FMT_S16;
  c->sample_rate = 44100;
  av_channel_layout_default(&c->ch_layout, 2);
  c->time_base = {1, 44100};
  c->compression_level = 0;
  c->frame_size = 16384;  // silence costs a few bytes a frame
}

void WritePicture(AVFormatContext* file, Encoder& v, int colour, int64_t tenths) {
  AVFrame* picture = NewPicture(32, 24);
  FillColour(picture, colour);
  picture->pts = tenths;
  Encode(file, v, picture);
  av_frame_free(&picture);
}

struct TimedPicture {
  int colour;  // as FillColour's frame number
  int64_t tenths;
};

// Seconds of silence with pictures among it at their times (one at the end
// of the silence comes after all of it).
void WriteSilence(const std::string& path, int seconds, std::vector<TimedPicture> pictures) {
  AVFormatContext* file = NewFile(path, "matroska");
  Encoder v = AddStream(file, AV_CODEC_ID_MPEG4, SetUpVideo<>);
  Encoder a = AddStream(file, AV_CODEC_ID_FLAC, SetUpFlac);
  StartFile(file, path);
  AVFrame* sound = av_frame_alloc();
  sound->format = AV_SAMPLE_FMT_S16;
  sound->sample_rate = 44100;
  sound->nb_samples = a.context->frame_size;
  av_channel_layout_default(&sound->ch_layout, 2);
  Check(av_frame_get_buffer(sound, 0) >= 0, "make a sound frame");
  av_samples_set_silence(sound->data, 0, sound->nb_samples, 2, AV_SAMPLE_FMT_S16);
  size_t next = 0;
  for (int64_t start = 0; start < int64_t{44100} * seconds; start += sound->nb_samples) {
    for (; next < pictures.size() && pictures[next].tenths * 4410 <= start; next++) {
      WritePicture(file, v, pictures[next].colour, pictures[next].tenths);
    }
    Check(av_frame_make_writable(sound) >= 0, "reuse a sound frame");
    sound->pts = start;
    Encode(file, a, sound);
  }
  Encode(file, a, nullptr);
  for (; next < pictures.size(); next++) WritePicture(file, v, pictures[next].colour, pictures[next].tenths);
  Encode(file, v, nullptr);
  av_frame_free(&sound);
  FinishFile(file, v, a);
}

// Seconds of 8 kHz mono PCM silence, a packet a sample, and then the only
// picture, red: each packet's few bytes cost a reader far more to hold.
void WriteTinySound(const std::string& path, int seconds) {
  AVFormatContext* file = NewFile(path, "matroska");
  Encoder v = AddStream(file, AV_CODEC_ID_MPEG4, SetUpVideo<>);
  Encoder a = AddStream(file, AV_CODEC_ID_PCM_S16LE, [](AVCodecContext* c) {
    SetUpAudio(c);
    c->sample_rate = 8000;
    c->time_base = {1, 8000};
  });
  StartFile(file, path);
  AVFrame* sound = av_frame_alloc();
  sound->format = AV_SAMPLE_FMT_S16;
  sound->sample_rate = 8000;
  sound->nb_samples = 1;
  av_channel_layout_default(&sound->ch_layout, 1);
  Check(av_frame_get_buffer(sound, 0) >= 0, "make a sound frame");
  av_samples_set_silence(sound->data, 0, 1, 1, AV_SAMPLE_FMT_S16);
  for (int64_t sample = 0; sample < int64_t{8000} * seconds; sample++) {
    sound->pts = sample;
    Encode(file, a, sound);
  }
  Encode(file, a, nullptr);
  WritePicture(file, v, 0, int64_t{10} * seconds);
  Encode(file, v, nullptr);
  av_frame_free(&sound);
  FinishFile(file, v, a);
}

// Packets of bytes that no decoder makes a picture of, under a declared size.
void WriteDeclaredOnly(const std::string& path, int width, int height) {
  AVFormatContext* file = NewFile(path, "matroska");
  AVStream* stream = avformat_new_stream(file, nullptr);
  stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  stream->codecpar->codec_id = AV_CODEC_ID_MPEG4;
  stream->codecpar->width = width;
  stream->codecpar->height = height;
  stream->time_base = {1, 10};
  StartFile(file, path);
  AVPacket* packet = av_packet_alloc();
  uint32_t noise = 12345;
  for (int n = 0; n < 30; n++) {
    Check(av_new_packet(packet, 1000) >= 0, "make a packet");
    for (int i = 0; i < packet->size; i++) {
      noise = noise * 1103515245u + 12345u;
      packet->data[i] = static_cast<uint8_t>(noise >> 24);
    }
    packet->pts = packet->dts = n;
    packet->duration = 1;
    packet->stream_index = 0;
    packet->flags = AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(packet, AVRational{1, 10}, stream->time_base);
    Check(av_interleaved_write_frame(file, packet) >= 0, "write a packet");
  }
  av_packet_free(&packet);
  Check(av_write_trailer(file) >= 0, "write the trailer");
  avio_closep(&file->pb);
  avformat_free_context(file);
}

struct Frames {
  int width, height, fps, count;
  int blueFrom;
  bool noiseAbove;  // the top half of every frame noise
  int zerosBefore;  // a frame that starts a cluster, or -1
  bool silent = false;  // no tone along
  bool late = false;    // the pictures a frame after the sound, and no index
};

std::string ReadFileBytes(const std::string& path) {
  FILE* in = std::fopen(path.c_str(), "rb");
  Check(in != nullptr, "read the file back");
  std::string bytes;
  char piece[65536];
  for (size_t got; (got = std::fread(piece, 1, sizeof(piece), in)) > 0;) bytes.append(piece, got);
  std::fclose(in);
  return bytes;
}

// Red frames, then blue, with noise where asked, in Matroska with the tone
// unless silent.
void WriteFrames(const std::string& path, const Frames& f) {
  AVFormatContext* file = NewFile(path, "matroska");
  static Frames current;
  current = f;
  Encoder v = AddStream(file, AV_CODEC_ID_MPEG4, [](AVCodecContext* c) {
    SetUpVideo(c);
    c->width = current.width;
    c->height = current.height;
    c->time_base = {1, current.fps};
    c->framerate = {current.fps, 1};
  });
  Encoder a;
  if (!f.silent) a = AddStream(file, AV_CODEC_ID_PCM_S16LE, SetUpAudio);
  StartFile(file, path, f.late);
  const int soundSamples = 22050 / f.fps;
  AVFrame* picture = NewPicture(f.width, f.height);
  AVFrame* sound = f.silent ? nullptr : NewToneFrame(soundSamples);
  uint32_t noise = 777;
  for (int n = 0; n < f.count; n++) {
    Check(av_frame_make_writable(picture) >= 0, "reuse a picture");
    FillColour(picture, n < f.blueFrom ? 0 : 8);
    if (f.noiseAbove) {
      for (int y = 0; y < f.height / 2; y++) {
        for (int x = 0; x < f.width; x++) {
          noise = noise * 1103515245u + 12345u;
          picture->data[0][y * picture->linesize[0] + x] = static_cast<uint8_t>(noise >> 24);
        }
      }
    }
    picture->pts = f.late ? n + 1 : n;
    Encode(file, v, picture);
    if (sound) {
      FillTone(sound, n, soundSamples);
      Encode(file, a, sound);
    }
  }
  Encode(file, v, nullptr);
  if (sound) Encode(file, a, nullptr);
  av_frame_free(&picture);
  av_frame_free(&sound);
  FinishFile(file, v, a);
  if (f.zerosBefore < 0) return;
  // A key frame every four frames starts each cluster.
  std::string bytes = ReadFileBytes(path);
  const std::string clusterId = "\x1F\x43\xB6\x75";
  size_t at = bytes.find(clusterId);
  for (int cluster = 0; cluster < f.zerosBefore / 4 && at != std::string::npos; cluster++) {
    at = bytes.find(clusterId, at + 1);
  }
  Check(at != std::string::npos, "find the cluster");
  bytes.insert(at, std::string(1 << 20, '\0'));
  WriteFileBytes(path, bytes);
}

// ---- Flat 16-bit PNG pictures in MOV, the PNG written by hand ----

std::string BigEndian32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

void AppendPngChunk(std::string& png, const char* type, const std::string& data) {
  const std::string body = type + data;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  png += BigEndian32(static_cast<uint32_t>(data.size())) + body + BigEndian32(static_cast<uint32_t>(crc));
}

// Raw deflate data that ends on a byte and refers to nothing before it:
// copies of it may follow one another.
std::string DeflatedPiece(const std::string& bytes) {
  z_stream z{};
  Check(deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) == Z_OK, "start deflating");
  std::string out(deflateBound(&z, bytes.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  Check(deflate(&z, Z_FULL_FLUSH) == Z_OK && z.avail_in == 0 && z.avail_out > 0, "deflate");
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

// A picture whose rows all repeat the first, given as filtered (its filter
// byte first): every other row is filtered by Up, all zeros, so that the
// deflate data of 16 of them serves them all, however large the picture.
// The format is IHDR's bit depth and colour type.
std::string RepeatedRowPng(uint32_t width, uint32_t height, const std::string& format, const std::string& first) {
  std::string next(first.size(), '\0');
  next[0] = 2;
  const auto adler = [](const std::string& rows) {
    return adler32(1, reinterpret_cast<const Bytef*>(rows.data()), static_cast<uInt>(rows.size()));
  };
  std::string data = "\x78\x01" + DeflatedPiece(first);
  uLong sum = adler(first);
  uint32_t left = height - 1;
  for (const uint32_t rows : {16u, 1u}) {
    std::string piece;
    for (uint32_t i = 0; i < rows; i++) piece += next;
    const std::string deflated = DeflatedPiece(piece);
    const uLong pieceSum = adler(piece);
    for (; left >= rows; left -= rows) {
      data += deflated;
      sum = adler32_combine(sum, pieceSum, static_cast<z_off_t>(piece.size()));
    }
  }
  data += std::string("\x03\x00", 2) + BigEndian32(static_cast<uint32_t>(sum));  // an empty last block
  std::string png = "\x89PNG\r\n\x1a\n";
  AppendPngChunk(png, "IHDR", BigEndian32(width) + BigEndian32(height) + format + std::string(3, '\0'));
  AppendPngChunk(png, "IDAT", data);
  AppendPngChunk(png, "IEND", "");
  return png;
}

// A flat picture of the colour (RGBA, 16-bit big-endian): its first row
// filtered by Sub, zeros past its first pixel.
std::string FlatPng16(uint32_t width, uint32_t height, const std::string& rgba) {
  std::string first(1 + size_t{width} * 8, '\0');
  first[0] = 1;
  first.replace(1, 8, rgba);
  return RepeatedRowPng(width, height, "\x10\x06", first);
}

// The clock's picture of the tenth in 8-bit RGB: each half the grey its
// luma stands for in full range, (luma - 16) * 255 / 219 rounded. Filtered
// by Sub, the first row is zeros but for its first pixel and the step to
// the right half.
std::string ClockPng8(uint32_t width, uint32_t height, int tenth) {
  const auto grey = [](int digit) {
    const int luma = 20 + 20 * digit;
    return static_cast<char>(((luma - 16) * 255 * 2 + 219) / (219 * 2));
  };
  const char left = grey(tenth / 10 % 10), right = grey(tenth % 10);
  std::string first(1 + size_t{width} * 3, '\0');
  first[0] = 1;
  first.replace(1, 3, 3, left);
  first.replace(1 + size_t{width / 2} * 3, 3, 3, static_cast<char>(right - left));
  return RepeatedRowPng(width, height, "\x08\x02", first);
}

enum class Along { kNothing, kTone, kClock };

// The pictures so many a second under the declared size, with the sound
// asked for along them, as long as they last: the tone, or the clock's
// levels, 400 (t + 1) through tenth t. Each tenth of the sound follows the
// picture that starts it.
void WritePngMovie(const std::string& path, int width, int height, const std::vector<std::string>& pictures,
                   Along along, int fps = 10) {
  AVFormatContext* file = NewFile(path, "mov");
  Encoder v, a;
  v.stream = avformat_new_stream(file, nullptr);
  v.stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  v.stream->codecpar->codec_id = AV_CODEC_ID_PNG;
  v.stream->codecpar->width = width;
  v.stream->codecpar->height = height;
  v.stream->time_base = {1, fps};
  const bool sound = along != Along::kNothing;
  if (sound) a = AddStream(file, AV_CODEC_ID_PCM_S16LE, SetUpAudio);
  StartFile(file, path);
  AVPacket* packet = av_packet_alloc();
  AVFrame* tenth = sound ? NewToneFrame(2205) : nullptr;
  int soundTenths = 0;
  for (size_t n = 0; n < pictures.size(); n++) {
    Check(av_new_packet(packet, static_cast<int>(pictures[n].size())) >= 0, "make a packet");
    std::memcpy(packet->data, pictures[n].data(), pictures[n].size());
    packet->pts = packet->dts = static_cast<int64_t>(n);
    packet->duration = 1;
    packet->flags = AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(packet, AVRational{1, fps}, v.stream->time_base);
    Check(av_interleaved_write_frame(file, packet) >= 0, "write a packet");
    for (; sound && int64_t{soundTenths} * fps <= int64_t{10} * static_cast<int64_t>(n); soundTenths++) {
      if (along == Along::kTone) {
        FillTone(tenth, soundTenths, 2205);
      } else {
        Check(av_frame_make_writable(tenth) >= 0, "reuse a sound frame");
        std::fill_n(reinterpret_cast<int16_t*>(tenth->data[0]), 2205, static_cast<int16_t>(400 * (soundTenths + 1)));
        tenth->pts = int64_t{soundTenths} * 2205;
      }
      Encode(file, a, tenth);
    }
  }
  if (sound) Encode(file, a, nullptr);
  av_packet_free(&packet);
  av_frame_free(&tenth);
  FinishFile(file, v, a);
}

// The sound positions itself by its level and each picture by its greys.
void WriteSteps(const std::string& path) {
  AVFormatContext* file = NewFile(path, "matroska");
  Encoder v = AddStream(file, AV_CODEC_ID_MPEG4, SetUpVideo<>);
  Encoder a = AddStream(file, AV_CODEC_ID_PCM_S16LE, SetUpAudio);
  StartFile(file, path);
  AVFrame* picture = NewPicture(32, 24);
  AVFrame* sound = NewToneFrame(2205);
  for (int n = 0; n < 80; n++) {
    Check(av_frame_make_writable(picture) >= 0, "reuse a picture");
    for (int y = 0; y < 24; y++) {
      uint8_t* row = picture->data[0] + y * picture->linesize[0];
      std::memset(row, 20 + 20 * (n / 10), 16);
      std::memset(row + 16, 20 + 20 * (n % 10), 16);
    }
    for (int plane = 1; plane < 3; plane++) {
      for (int y = 0; y < 12; y++) std::memset(picture->data[plane] + y * picture->linesize[plane], 128, 16);
    }
    picture->pts = n;
    Encode(file, v, picture);
    if (n < 40) {
      Check(av_frame_make_writable(sound) >= 0, "reuse a sound frame");
      std::fill_n(reinterpret_cast<int16_t*>(sound->data[0]), 2205, static_cast<int16_t>(500 * (n + 1)));
      sound->pts = int64_t{n} * 2205;
      Encode(file, a, sound);
    }
  }
  Encode(file, v, nullptr);
  Encode(file, a, nullptr);
  av_frame_free(&picture);
  av_frame_free(&sound);
  FinishFile(file, v, a);
}

struct SoundRun {
  int firstTenth, tenths;      // of the movie's time, as stored
  int stampShift = 0;          // tenths added to their times
  bool heardAsStored = false;  // levels of the tenths as stored, not as stamped
  int tenthsAPacket = 1;
};

// Adds each run's shift to the times of the PES packets on the PID that
// start in its tenths, counted from the PID's first time: the muxer starts
// the file's times some way past 0. Each 188-byte TS packet is: 0x47, the
// payload-start bit, the 13-bit PID, the adaptation field's presence (0x20)
// and the payload's (0x10), the adaptation field (its length first), and
// the payload. A PES header, where a payload starts, is 00 00 01, the
// stream, a 16-bit length, two bytes of flags (times present: the top two
// bits of the second, PTS and DTS), the header's remaining length, then
// each time as 33 bits in 5 bytes, marker bits between.
void PatchTsTimes(const std::string& path, int pid, const std::vector<SoundRun>& runs) {
  std::string bytes = ReadFileBytes(path);
  Check(bytes.size() % 188 == 0, "read the MPEG-TS file back");
  const auto byte = [&](size_t at) { return static_cast<int64_t>(static_cast<uint8_t>(bytes[at])); };
  const auto readTime = [&](size_t at) {
    return (byte(at) >> 1 & 7) << 30 | byte(at + 1) << 22 | (byte(at + 2) >> 1) << 15 | byte(at + 3) << 7 |
           byte(at + 4) >> 1;
  };
  const auto writeTime = [&](size_t at, int64_t time) {
    bytes[at] = static_cast<char>((byte(at) & 0xF0) | (time >> 29 & 0x0E) | 1);
    bytes[at + 1] = static_cast<char>(time >> 22);
    bytes[at + 2] = static_cast<char>((time >> 14 & 0xFE) | 1);
    bytes[at + 3] = static_cast<char>(time >> 7);
    bytes[at + 4] = static_cast<char>((time << 1 & 0xFE) | 1);
  };
  constexpr int64_t kTicksATenth = 9000;  // of the 90 kHz clock
  int64_t origin = -1;
  for (size_t packet = 0; packet < bytes.size(); packet += 188) {
    Check(byte(packet) == 0x47, "find the MPEG-TS packets");
    if (!(byte(packet + 1) & 0x40) || ((byte(packet + 1) & 0x1F) << 8 | byte(packet + 2)) != pid) continue;
    size_t pes = packet + 4;
    if (byte(packet + 3) & 0x20) pes += 1 + static_cast<size_t>(byte(pes));
    Check(byte(pes) == 0 && byte(pes + 1) == 0 && byte(pes + 2) == 1 && (byte(pes + 7) & 0x80), "find a PES time");
    const size_t pts = pes + 9;
    const int64_t time = readTime(pts);
    if (origin < 0) origin = time - runs.front().firstTenth * kTicksATenth;
    for (const SoundRun& run : runs) {
      const int64_t from = origin + run.firstTenth * kTicksATenth;
      if (time < from || time >= from + run.tenths * kTicksATenth) continue;
      const int64_t shift = run.stampShift * kTicksATenth;
      writeTime(pts, time + shift);
      if (byte(pes + 7) & 0x40) writeTime(pts + 5, readTime(pts + 5) + shift);
    }
  }
  WriteFileBytes(path, bytes);
}

// Pictures tell their tenth of a second; sound, stored in the file a delay
// of tenths after its own time, tells the tenth its time names. The rate
// is of pictures a second.
void WriteClockMovie(const std::string& path, AVRational rate, int pictures, std::vector<SoundRun> runs,
                     int delay = 0) {
  const bool flv = path.ends_with(".flv"), ts = path.ends_with(".ts");
  // Both keep each packet's own time, which is put right afterwards.
  const bool patched = flv || ts;
  AVFormatContext* file = NewFile(path, nullptr);
  static AVRational currentRate;
  currentRate = rate;
  Encoder v = AddStream(file, flv ? AV_CODEC_ID_FLV1 : AV_CODEC_ID_MPEG4, [](AVCodecContext* c) {
    SetUpVideo(c);
    c->time_base = av_inv_q(currentRate);
    c->framerate = currentRate;
  });
  Encoder a = ts ? AddStream(file, AV_CODEC_ID_S302M, SetUpS302m) : AddStream(file, AV_CODEC_ID_PCM_S16LE, SetUpAudio);
  const int soundRate = a.context->sample_rate, channels = a.context->ch_layout.nb_channels;
  const int tenth = soundRate / 10;
  // The sound's packets are found by their PID when their times are put right.
  constexpr int kSoundPid = 0x101;
  if (ts) {
    v.stream->id = 0x100;
    a.stream->id = kSoundPid;
    // As the ffmpeg tool muxes by default: the times start 1.4 s on, twice
    // this, as players meet them.
    file->max_delay = 700000;
    // Each stream's first packet says its count starts afresh, so that
    // files joined end to end read whole.
    Check(av_opt_set(file->priv_data, "mpegts_flags", "+initial_discontinuity", 0) >= 0, "mark the start");
  }
  // The MPEG-4 header tells the decoder its time base's denominator as the
  // pictures a second, true of whole rates only: a picture every 2 s would
  // read as one a second. The container's picture duration tells the rest.
  if (rate.den > 1) v.stream->avg_frame_rate = rate;
  StartFile(file, path);
  struct Timed {
    int64_t tenthInFile;
    AVPacket* packet;
  };
  std::vector<Timed> packets;
  const auto take = [&](Encoder& e, AVFrame* frame, int64_t tenthInFile, int64_t ptsShift = 0) {
    Check(avcodec_send_frame(e.context, frame) >= 0, "send a frame");
    AVPacket* packet = av_packet_alloc();
    while (avcodec_receive_packet(e.context, packet) >= 0) {
      packet->pts += ptsShift;
      av_packet_rescale_ts(packet, e.context->time_base, e.stream->time_base);
      packet->stream_index = e.stream->index;
      packets.push_back({tenthInFile, packet});
      packet = av_packet_alloc();
    }
    av_packet_free(&packet);
  };
  AVFrame* picture = NewPicture(32, 24);
  const auto tenthOf = [rate](int n) { return static_cast<int>(int64_t{n} * 10 * rate.den / rate.num); };
  for (int n = 0; n < pictures; n++) {
    const int shown = tenthOf(n);
    Check(av_frame_make_writable(picture) >= 0, "reuse a picture");
    for (int y = 0; y < 24; y++) {
      uint8_t* row = picture->data[0] + y * picture->linesize[0];
      std::memset(row, 20 + 20 * (shown / 10 % 10), 16);
      std::memset(row + 16, 20 + 20 * (shown % 10), 16);
    }
    for (int plane = 1; plane < 3; plane++) {
      for (int y = 0; y < 12; y++) std::memset(picture->data[plane] + y * picture->linesize[plane], 128, 16);
    }
    picture->pts = n;
    take(v, picture, shown);
  }
  take(v, nullptr, tenthOf(pictures));
  for (const SoundRun& run : runs) {
    const int end = run.firstTenth + run.tenths;
    for (int k = run.firstTenth; k < end; k += run.tenthsAPacket) {
      const int tenths = std::min(run.tenthsAPacket, end - k);
      AVFrame* sound = NewToneFrame(tenth * tenths, soundRate, channels);
      for (int i = 0; i < tenths; i++) {
        const int64_t heard = k + i + (run.heardAsStored ? 0 : run.stampShift);
        std::fill_n(reinterpret_cast<int16_t*>(sound->data[0]) + tenth * channels * i, tenth * channels,
                    static_cast<int16_t>(400 * (heard % 80 + 1)));
      }
      // A muxer takes no time that steps back. FLV's and MPEG-TS's are put
      // right below; Matroska, which keeps no decoding time, takes a later
      // one as the presentation time alone, its decoding times in order.
      sound->pts = int64_t{k} * tenth;
      take(a, sound, k + delay, patched ? 0 : int64_t{run.stampShift} * tenth);
      av_frame_free(&sound);
    }
  }
  take(a, nullptr, 1 << 20);
  // Stored in the order asked for: by tenth in the file, pictures first.
  std::stable_sort(packets.begin(), packets.end(),
                   [](const Timed& x, const Timed& y) { return x.tenthInFile < y.tenthInFile; });
  for (Timed& t : packets) {
    Check(av_write_frame(file, t.packet) >= 0, "write a packet");
    av_packet_free(&t.packet);
  }
  av_frame_free(&picture);
  FinishFile(file, v, a);
  if (ts) PatchTsTimes(path, kSoundPid, runs);
  if (!flv) return;
  // Each FLV tag (after the 9-byte header and a 4-byte size) is: type (8
  // sound), 24-bit size, 24-bit milliseconds and their top byte, 24-bit
  // stream, the data, and a 32-bit size after it.
  std::string bytes = ReadFileBytes(path);
  const auto byte = [&](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])); };
  for (size_t at = 13; at + 11 <= bytes.size();) {
    const uint32_t size = byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
    const uint32_t ms = byte(at + 7) << 24 | byte(at + 4) << 16 | byte(at + 5) << 8 | byte(at + 6);
    for (const SoundRun& run : runs) {
      if (byte(at) != 8 || ms < run.firstTenth * 100u || ms >= (run.firstTenth + run.tenths) * 100u) continue;
      const uint32_t stamped = ms + static_cast<uint32_t>(run.stampShift * 100);
      bytes[at + 4] = static_cast<char>(stamped >> 16);
      bytes[at + 5] = static_cast<char>(stamped >> 8);
      bytes[at + 6] = static_cast<char>(stamped);
      bytes[at + 7] = static_cast<char>(stamped >> 24);
    }
    at += 11 + size + 4;
  }
  WriteFileBytes(path, bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_test_movies <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  const Picture gray{64, 48, 64, 48, TH_PF_420, 10, 30, 8, 63, FillGray};
  const Encoded grayVideo = EncodeVideo(gray);
  WriteOgg(folder + "/gray420.ogv", grayVideo, nullptr);
  const Encoded tone = EncodeTone(22050, 3.0, 0x50d);
  WriteOgg(folder + "/sound420.ogv", grayVideo, &tone);
  WriteOgg(folder + "/odd420.ogv", EncodeVideo({64, 48, 50, 38, TH_PF_420, 10, 6, 8, 63, FillHalves}), nullptr);
  WriteOgg(folder + "/color444.ogv", EncodeVideo({32, 32, 32, 32, TH_PF_444, 10, 4, 8, 63, FillQuadrants}), nullptr);
  WriteWithFfmpeg(folder + "/colors.avi", true, true);
  WriteWithFfmpeg(folder + "/colors.mp4", true, false);
  WriteWithFfmpeg(folder + "/tone.avi", false, true);
  WriteWithFfmpeg<40>(folder + "/colors40.mp4", true, false);
  WriteWithFfmpeg<32, AV_CODEC_ID_MPEG2VIDEO>(folder + "/colors.m2v", true, false);
  WriteSilence(folder + "/silence.mkv", 3600, {{0, 36000}});
  WriteSilence(folder + "/gap.mkv", 600, {{0, 0}, {8, 6000}});
  WriteSilence(folder + "/skip.mkv", 20, {{0, 0}, {4, 100}, {8, 110}, {0, 140}});
  WriteEmptyFrames(folder + "/empty1m.ogv", 1000000);
  WriteEmptyFrames(folder + "/empty22m.ogv", 22000000);
  WriteDeclaredOnly(folder + "/declared.mkv", 16000, 16000);
  WriteDeclaredOnly(folder + "/declared8k.mkv", 8192, 8192);
  WriteFrames(folder + "/large.mkv", {4096, 2048, 30, 45, 22, false, -1});
  WriteFrames(folder + "/wide.mkv", {4160, 4160, 10, 4, 2, false, -1, false, true});
  WriteFrames(folder + "/noisy.mkv", {320, 240, 20, 40, 36, true, -1});
  WriteFrames(folder + "/noisy-silent.mkv", {320, 240, 20, 40, 36, true, -1, true});
  WriteFrames(folder + "/stall.mkv", {320, 240, 20, 40, 32, true, 32});
  const std::string blue = FlatPng16(4160, 4160, std::string("\0\0\0\0\xFF\xFF\xFF\xFF", 8));
  WritePngMovie(folder + "/changing.mov", 64, 64,
                {FlatPng16(64, 64, std::string("\xFF\xFF\0\0\0\0\xFF\xFF", 8)),
                 FlatPng16(16000, 8000, std::string("\0\0\xFF\xFF\0\0\xFF\xFF", 8)), blue, blue, blue, blue},
                Along::kTone);
  const std::string grey = std::string("\x80\0\x80\0\x80\0\xFF\xFF", 8);
  const std::string grey6k = FlatPng16(6144, 6144, grey);
  WritePngMovie(folder + "/rgba16.mov", 6144, 6144, {grey6k}, Along::kNothing);
  WritePngMovie(folder + "/second6k.mov", 64, 64,
                {FlatPng16(64, 64, std::string("\xFF\xFF\0\0\0\0\xFF\xFF", 8)), grey6k}, Along::kNothing);
  WritePngMovie(folder + "/first12k.mov", 64, 64, {FlatPng16(12000, 8000, grey)}, Along::kNothing);
  WriteSteps(folder + "/steps.mkv");
  WriteClockMovie(folder + "/late.mkv", {10, 1}, 80, {{40, 40}});
  WriteClockMovie(folder + "/gap5.mkv", {10, 1}, 80, {{0, 20}, {70, 10}});
  WriteClockMovie(folder + "/back.flv", {10, 1}, 80, {{0, 50}, {50, 30, -20}});
  WriteClockMovie(folder + "/jump.flv", {10, 1}, 80, {{0, 30}, {30, 50, 10000}});
  WriteClockMovie(folder + "/behind.mkv", {10, 1}, 80, {{0, 80}}, 40);
  WriteClockMovie(folder + "/onepicture.mkv", {10, 1}, 1, {{0, 100}});
  WriteClockMovie(folder + "/fast.mkv", {60, 1}, 240, {{0, 40}});
  // A far time and the one after it each start a cluster, which the muxer
  // warns of every time.
  av_log_set_level(AV_LOG_ERROR);
  WriteClockMovie(folder + "/farjump.mkv", {10, 1}, 80, {{0, 30}, {30, 1, 10000}, {31, 49}});
  std::vector<SoundRun> oddsLate;
  for (int k = 0; k < 80; k++) oddsLate.push_back({k, 1, k % 2 ? 10000 : 0});
  WriteClockMovie(folder + "/twoclocks.mkv", {10, 1}, 80, oddsLate);
  av_log_set_level(AV_LOG_INFO);
  // The muxer warns that 302M goes as private data, which the demuxer yet
  // knows by the registration descriptor the muxer writes along.
  av_log_set_level(AV_LOG_ERROR);
  WriteClockMovie(folder + "/restart.ts", {10, 1}, 80, {{0, 50}, {50, 30, -50, true}});
  WriteClockMovie(folder + "/joined.ts", {10, 1}, 40, {{0, 40}});
  av_log_set_level(AV_LOG_INFO);
  const std::string half = ReadFileBytes(folder + "/joined.ts");
  WriteFileBytes(folder + "/joined.ts", half + half);
  WriteClockMovie(folder + "/slides.mkv", {1, 2}, 20, {{0, 400}});
  WriteTinySound(folder + "/tinysound.mkv", 40);
  WriteClockMovie(folder + "/onepacket.mkv", {10, 1}, 80, {{0, 80, 0, false, 80}});
  std::vector<std::string> growing;
  for (int n = 0; n < 90; n++) {
    const bool big = n >= 45;
    growing.push_back(n % 3 ? growing.back() : ClockPng8(big ? 2560 : 32, big ? 1440 : 24, n / 3));
  }
  WritePngMovie(folder + "/growing.mov", 32, 24, growing, Along::kClock, 30);
  WriteOgg(folder + "/bench640.ogv", EncodeVideo({640, 480, 640, 480, TH_PF_420, 30, 48, 30, 48, FillMoving}), nullptr);
  return 0;
}
