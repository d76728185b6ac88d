// Makes the sound files the decoder tests read, through twolame's MPEG audio
// layer II encoder and libvorbis's encoder:
//   make_test_sounds <folder>
// mp2_<rate>_<channels>_<kbit/s>[_padded].mp2
//                 MPEG-2 layer II of one second of 440 Hz (left) and 660 Hz
//                 (right) at half scale; in the "padded" file twolame sets the
//                 padding bit in every frame but the first
// mp2_false_sync.mp2
//                 24,000 Hz mono at 48 kbit/s whose frames end in 32 bits of
//                 ancillary data set to 0xFF FF FF FF: a false frame sync
//                 whose header is refused, in the middle of the file
// ogg_chain_rate.ogg
//                 three chained mono Vorbis tones: 44,100 samples at 22,050 Hz,
//                 44,100 at 44,100 Hz, 22,050 at 22,050 Hz (each link over
//                 several pages: vorbisfile loses a first link held in one)
#include <twolame.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/vorbis_tone.h"

namespace {

struct Mp2File {
  int rate;
  int channels;
  int kbit;
  bool padded;
  int ancillaryBits;
  const char* name;
};

std::string EncodeMp2(const Mp2File& f) {
  twolame_options* options = twolame_init();
  const bool ok = options && twolame_set_num_channels(options, f.channels) == 0 &&
                  twolame_set_mode(options, f.channels == 1 ? TWOLAME_MONO : TWOLAME_STEREO) == 0 &&
                  twolame_set_in_samplerate(options, f.rate) == 0 && twolame_set_out_samplerate(options, f.rate) == 0 &&
                  twolame_set_version(options, TWOLAME_MPEG2) == 0 && twolame_set_bitrate(options, f.kbit) == 0 &&
                  twolame_set_padding(options, f.padded ? TWOLAME_PAD_ALL : TWOLAME_PAD_NO) == 0 &&
                  twolame_set_num_ancillary_bits(options, f.ancillaryBits) == 0 && twolame_init_params(options) == 0;
  if (!ok) {
    std::fprintf(stderr, "twolame refused %s\n", f.name);
    std::exit(1);
  }
  std::vector<short> pcm(static_cast<size_t>(f.rate * f.channels));
  for (int i = 0; i < f.rate; i++) {
    for (int ch = 0; ch < f.channels; ch++) {
      const double freq = ch == 0 ? 440.0 : 660.0;
      pcm[static_cast<size_t>(i * f.channels + ch)] = static_cast<short>(16384 * std::sin(2 * M_PI * freq * i / f.rate));
    }
  }
  std::vector<unsigned char> out(256 * 1024);
  int bytes = twolame_encode_buffer_interleaved(options, pcm.data(), f.rate, out.data(), static_cast<int>(out.size()));
  const int tail = bytes < 0 ? -1 : twolame_encode_flush(options, out.data() + bytes, static_cast<int>(out.size()) - bytes);
  twolame_close(&options);
  if (bytes < 0 || tail < 0) {
    std::fprintf(stderr, "twolame failed on %s\n", f.name);
    std::exit(1);
  }
  return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(bytes + tail));
}

// Sets the last four bytes of every frame, which the ancillary bits cover.
void PlantFalseSyncs(std::string& file, size_t frameBytes) {
  for (size_t end = frameBytes; end <= file.size(); end += frameBytes) file.replace(end - 4, 4, "\xFF\xFF\xFF\xFF");
}

std::string Chain(const std::vector<Encoded>& links) {
  std::string file;
  for (const Encoded& link : links) {
    for (const std::string& header : link.headers) file += header;
    for (const Page& page : link.pages) file += page.bytes;
  }
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_test_sounds <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  const Mp2File kFiles[] = {
      {16000, 1, 32, false, 0, "mp2_16000_1_32.mp2"},
      {16000, 2, 160, false, 0, "mp2_16000_2_160.mp2"},
      {22050, 1, 8, false, 0, "mp2_22050_1_8.mp2"},
      {22050, 2, 64, true, 0, "mp2_22050_2_64_padded.mp2"},
      {24000, 2, 96, false, 0, "mp2_24000_2_96.mp2"},
      {24000, 1, 48, false, 32, "mp2_false_sync.mp2"},
  };
  for (const Mp2File& f : kFiles) {
    std::string file = EncodeMp2(f);
    if (f.ancillaryBits) PlantFalseSyncs(file, static_cast<size_t>(144000 * f.kbit / f.rate));
    WriteFileBytes(folder + "/" + f.name, file);
  }
  WriteFileBytes(folder + "/ogg_chain_rate.ogg",
                 Chain({EncodeTone(22050, 2.0, 1), EncodeTone(44100, 1.0, 2), EncodeTone(22050, 1.0, 3)}));
  return 0;
}
