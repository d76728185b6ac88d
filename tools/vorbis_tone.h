// Shared by the test-data tools: Ogg pages, a Vorbis tone encoded into them,
// and writing a file whole.
#pragma once
#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct Page {
  double time;  // seconds at the page's end
  int stream;   // 0 video, 1 audio: video first at equal times
  std::string bytes;
};

inline std::string PageBytes(const ogg_page& page) {
  std::string bytes(reinterpret_cast<const char*>(page.header), static_cast<size_t>(page.header_len));
  bytes.append(reinterpret_cast<const char*>(page.body), static_cast<size_t>(page.body_len));
  return bytes;
}

struct Encoded {
  std::vector<std::string> headers;  // the identification page alone, then the rest
  std::vector<Page> pages;
};

// A 440 Hz tone at half scale, mono, as one Ogg Vorbis stream of that serial number.
inline Encoded EncodeTone(int rate, double seconds, int serial) {
  vorbis_info info;
  vorbis_info_init(&info);
  vorbis_encode_init_vbr(&info, 1, rate, 0.2f);
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, serial);
  ogg_packet id, comments, books;
  vorbis_analysis_headerout(&dsp, &comment, &id, &comments, &books);
  Encoded out;
  ogg_page page;
  ogg_stream_packetin(&stream, &id);
  while (ogg_stream_flush(&stream, &page)) out.headers.push_back(PageBytes(page));
  ogg_stream_packetin(&stream, &comments);
  ogg_stream_packetin(&stream, &books);
  std::string rest;
  while (ogg_stream_flush(&stream, &page)) rest += PageBytes(page);
  out.headers.push_back(rest);

  const int total = static_cast<int>(rate * seconds);
  int written = 0;
  double lastTime = 0;
  auto drain = [&](bool flush) {
    ogg_packet packet;
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) ogg_stream_packetin(&stream, &packet);
    }
    while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout_fill(&stream, &page, 512)) {
      const ogg_int64_t granule = ogg_page_granulepos(&page);
      if (granule >= 0) lastTime = vorbis_granule_time(&dsp, granule);
      out.pages.push_back({lastTime, 1, PageBytes(page)});
    }
  };
  while (written < total) {
    const int n = std::min(1024, total - written);
    float** buffer = vorbis_analysis_buffer(&dsp, n);
    for (int i = 0; i < n; i++) buffer[0][i] = 0.5f * std::sin(2 * M_PI * 440.0 * (written + i) / rate);
    vorbis_analysis_wrote(&dsp, n);
    written += n;
    drain(false);
  }
  vorbis_analysis_wrote(&dsp, 0);
  drain(true);
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return out;
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}
