// The audio codec service: hand-worked blocks of each codec, whole-block
// conversion, format suggestions.
#include <gtest/gtest.h>

#include "platform/audio_codec.h"
#include "platform/audio_codec_blocks.h"
#include "sounddec_test_util.h"

using namespace sounddec_test;

namespace {

const MsAdpcmCoef kStandardCoefs[7] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};

std::vector<int16_t> DecodeMs(const Bytes& block, int channels, int samples) {
  Bytes out(samples * channels * 2);
  EXPECT_EQ(DecodeMsAdpcmBlock(block.data(), channels, samples, kStandardCoefs, 7, out.data()), 0);
  return ToSamples(out.data(), out.size());
}

std::vector<int16_t> DecodeIma(const Bytes& block, int channels, int samples) {
  Bytes out(samples * channels * 2);
  EXPECT_EQ(DecodeImaAdpcmBlock(block.data(), channels, samples, out.data()), 0);
  return ToSamples(out.data(), out.size());
}

TEST(SoundDecCodec, MsAdpcmMonoBlockWorkedByHand) {
  // Predictor 0 (256, 0), delta 16, first sample 100, second 50; codes 1, 2, -1, -8.
  Bytes block = {0, 16, 0, 100, 0, 50, 0, 0x12, 0xF8};
  EXPECT_EQ(MsAdpcmMaxSamplesPerBlock(9, 1), 6);
  // 50 and 100 come first (older first); 100+16, 116+32, 148-16, then delta
  // stays 16 (230*16/256 = 14 is raised to 16) and -8*16 gives 4.
  EXPECT_EQ(DecodeMs(block, 1, 6), (std::vector<int16_t>{50, 100, 116, 148, 132, 4}));

  // Predictor 1 (512, -256): 2*100 - 50 = 150, then 2*150 - 100 = 200.
  Bytes second = {1, 16, 0, 100, 0, 50, 0, 0x00};
  EXPECT_EQ(DecodeMs(second, 1, 4), (std::vector<int16_t>{50, 100, 150, 200}));

  // Predictor 3 (192, 64) from -1 and 0: -192/256 is 0 (toward zero).
  Bytes third = {3, 16, 0, 0xFF, 0xFF, 0, 0, 0x00};
  EXPECT_EQ(DecodeMs(third, 1, 3), (std::vector<int16_t>{0, -1, 0}));
}

TEST(SoundDecCodec, MsAdpcmAdaptsDeltaAndClampsSamples) {
  // Delta 768*delta/256 triples on code 8 (-8); a big delta drives the sample to the limit.
  Bytes block = {0, 0x00, 0x40, 0x00, 0x70, 0x00, 0x70, 0x77, 0x88};
  // delta 16384, s1 = s2 = 28672: code 7 gives 28672 + 7*16384 -> 32767; delta 614*16384/256 = 39296.
  // code 7 again: 32767; delta 614*39296/256 = 94248. code -8 twice: clamp to -32768.
  EXPECT_EQ(DecodeMs(block, 1, 6), (std::vector<int16_t>{28672, 28672, 32767, 32767, -32768, -32768}));
}

TEST(SoundDecCodec, MsAdpcmStereoTakesHighNibbleForLeft) {
  // Predictors 0/0, deltas 16/16, first samples 100/-100, second 0/0; byte 0x1F.
  Bytes block = {0, 0, 16, 0, 16, 0, 100, 0, 0x9C, 0xFF, 0, 0, 0, 0, 0x1F};
  EXPECT_EQ(DecodeMs(block, 2, 3), (std::vector<int16_t>{0, 0, 100, -100, 116, -116}));
  Bytes bad = block;
  bad[1] = 7;  // predictor beyond the seven pairs
  Bytes out(12);
  EXPECT_EQ(DecodeMsAdpcmBlock(bad.data(), 2, 3, kStandardCoefs, 7, out.data()), -1);
}

TEST(SoundDecCodec, ImaAdpcmMonoBlockWorkedByHand) {
  // Sample 0, index 0; codes (low nibble first) 7, 0, 15, 8, then four 0.
  Bytes block = {0, 0, 0, 0, 0x07, 0x8F, 0x00, 0x00};
  EXPECT_EQ(ImaAdpcmMaxSamplesPerBlock(8, 1), 9);
  // 7: 0+4+2+1 of step 7 = 11, index 8 (step 16); 0: +2, index 7 (14);
  // 15: -(1+14+7+3) = -25, index 15 (31); 8: -3, index 14; zeros: +3 +3 +2 +2.
  EXPECT_EQ(DecodeIma(block, 1, 9), (std::vector<int16_t>{0, 11, 13, -12, -15, -12, -9, -7, -5}));
  Bytes bad = block;
  bad[2] = 89;  // no such step index
  Bytes out(18);
  EXPECT_EQ(DecodeImaAdpcmBlock(bad.data(), 1, 9, out.data()), -1);
}

TEST(SoundDecCodec, ImaAdpcmStereoInterleavesFourByteWords) {
  // Left: 0 / index 0 with codes 7, 0 and six 0; right: 100 / index 0, all 0.
  Bytes block = {0, 0, 0, 0, 100, 0, 0, 0, 0x07, 0, 0, 0, 0, 0, 0, 0};
  std::vector<int16_t> s = DecodeIma(block, 2, 9);
  std::vector<int16_t> left, right;
  for (size_t i = 0; i < s.size(); i += 2) {
    left.push_back(s[i]);
    right.push_back(s[i + 1]);
  }
  EXPECT_EQ(left, (std::vector<int16_t>{0, 11, 13, 14, 15, 16, 17, 18, 19}));
  EXPECT_EQ(right, std::vector<int16_t>(9, 100));
}

TEST(SoundDecCodec, G711CodesWorkedByHand) {
  EXPECT_EQ(DecodeMulawSample(0xFF), 0);
  EXPECT_EQ(DecodeMulawSample(0x7F), 0);
  EXPECT_EQ(DecodeMulawSample(0x00), -32124);
  EXPECT_EQ(DecodeMulawSample(0x80), 32124);
  EXPECT_EQ(DecodeMulawSample(0xF0), 120);  // (15*8 + 132) - 132
  EXPECT_EQ(DecodeMulawSample(0x70), -120);
  EXPECT_EQ(DecodeAlawSample(0xD5), 8);
  EXPECT_EQ(DecodeAlawSample(0x55), -8);
  EXPECT_EQ(DecodeAlawSample(0xD4), 24);
  EXPECT_EQ(DecodeAlawSample(0xC5), 264);  // segment 1: 0x108
  EXPECT_EQ(DecodeAlawSample(0xAA), 32256);
  EXPECT_EQ(DecodeAlawSample(0x2A), -32256);
  // Every code decodes to the negation of its sign-flipped twin.
  for (int c = 0; c < 128; c++) {
    EXPECT_EQ(DecodeAlawSample(static_cast<uint8_t>(c)), -DecodeAlawSample(static_cast<uint8_t>(c | 0x80)));
    EXPECT_EQ(DecodeMulawSample(static_cast<uint8_t>(c)), -DecodeMulawSample(static_cast<uint8_t>(c | 0x80)));
  }
}

Bytes MsAdpcmFormat(uint16_t channels, uint16_t align, uint16_t samplesPerBlock, int coefs = 7) {
  Bytes f = FmtBody(kWaveFormatMsAdpcm, channels, 8000, 4000, align, 4);
  Put16(f, static_cast<uint16_t>(4 + 4 * coefs));
  Put16(f, samplesPerBlock);
  Put16(f, static_cast<uint16_t>(coefs));
  for (int i = 0; i < coefs; i++) {
    Put16(f, static_cast<uint16_t>(kStandardCoefs[i % 7].coef1));
    Put16(f, static_cast<uint16_t>(kStandardCoefs[i % 7].coef2));
  }
  return f;
}

TEST(SoundDecCodec, SuggestsSixteenBitPcmAndRefusesWhatNoCodecTakes) {
  WaveFormat out{};
  Bytes ms = MsAdpcmFormat(1, 256, 500);
  ASSERT_EQ(AudioCodecSuggestFormat(ms.data(), static_cast<uint32_t>(ms.size()), &out), 0);
  EXPECT_EQ(out.formatTag, kWaveFormatPcm);
  EXPECT_EQ(out.channels, 1);
  EXPECT_EQ(out.samplesPerSec, 8000u);
  EXPECT_EQ(out.blockAlign, 2);
  EXPECT_EQ(out.avgBytesPerSec, 16000u);
  EXPECT_EQ(out.bitsPerSample, 16);

  auto refused = [&](Bytes f) { return AudioCodecSuggestFormat(f.data(), static_cast<uint32_t>(f.size()), &out); };
  EXPECT_EQ(refused(MsAdpcmFormat(1, 256, 501)), -1);   // more samples than 256 bytes hold
  EXPECT_EQ(refused(MsAdpcmFormat(1, 6, 2)), -1);       // smaller than the block header
  EXPECT_EQ(refused(MsAdpcmFormat(3, 1024, 100)), -1);  // three channels
  EXPECT_EQ(refused(MsAdpcmFormat(1, 256, 500, 0)), -1);
  Bytes shortCoefs = MsAdpcmFormat(1, 256, 500);
  shortCoefs.erase(shortCoefs.end() - 4, shortCoefs.end());  // the last pair is missing
  EXPECT_EQ(refused(shortCoefs), -1);
  EXPECT_EQ(refused(FmtBody(kWaveFormatPcm, 1, 8000, 16000, 2, 16)), -1);
  EXPECT_EQ(refused(FmtBody(kWaveFormatAlaw, 1, 8000, 8000, 2, 8)), -1);  // block align is not channels
  EXPECT_EQ(refused(FmtBody(kWaveFormatMulaw, 0, 8000, 8000, 0, 8)), -1);
  EXPECT_EQ(refused(FmtBody(kWaveFormatMulaw, 1, 0, 0, 1, 8)), -1);
  EXPECT_EQ(refused(FmtBody(kWaveFormatMpegLayer3, 1, 8001, 4000, 1, 0)), -1);
  EXPECT_EQ(AudioCodecSuggestFormat(ms.data(), 15, &out), -1);
}

TEST(SoundDecCodec, ConvertsWholeBlocksOnly) {
  Bytes format = MsAdpcmFormat(1, 9, 6);
  WaveFormat out{};
  ASSERT_EQ(AudioCodecSuggestFormat(format.data(), static_cast<uint32_t>(format.size()), &out), 0);
  AudioCodecStream* s = AudioCodecOpen(format.data(), static_cast<uint32_t>(format.size()), out);
  ASSERT_NE(s, nullptr);
  Bytes block = {0, 16, 0, 100, 0, 50, 0, 0x12, 0xF8};
  Bytes source = block;
  source.insert(source.end(), block.begin(), block.end());
  source.insert(source.end(), block.begin(), block.begin() + 5);  // a partial third block
  uint64_t size = 0;
  EXPECT_EQ(AudioCodecOutputSize(s, source.size(), &size), 0);
  EXPECT_EQ(size, 24u);  // two blocks of six samples

  Bytes pcm(100);
  uint32_t consumed = 0, produced = 0;
  // Room for one block and a half: one block.
  EXPECT_EQ(
      AudioCodecConvert(s, source.data(), static_cast<uint32_t>(source.size()), &consumed, pcm.data(), 18, &produced),
      0);
  EXPECT_EQ(consumed, 9u);
  EXPECT_EQ(produced, 12u);
  EXPECT_EQ(ToSamples(pcm.data(), 12), (std::vector<int16_t>{50, 100, 116, 148, 132, 4}));
  EXPECT_EQ(AudioCodecConvert(s, source.data() + 9, 14, &consumed, pcm.data(), 100, &produced), 0);
  EXPECT_EQ(consumed, 9u);
  EXPECT_EQ(produced, 12u);
  EXPECT_EQ(AudioCodecConvert(s, source.data() + 18, 5, &consumed, pcm.data(), 100, &produced), 0);
  EXPECT_EQ(consumed, 0u);
  EXPECT_EQ(produced, 0u);
  AudioCodecClose(s);

  // The output format must be the one suggested.
  WaveFormat other = out;
  other.samplesPerSec = 44100;
  EXPECT_EQ(AudioCodecOpen(format.data(), static_cast<uint32_t>(format.size()), other), nullptr);
}

TEST(SoundDecCodec, LawCodecsConvertSampleBySample) {
  Bytes format = FmtBody(kWaveFormatAlaw, 2, 8000, 16000, 2, 8);
  Put16(format, 0);
  WaveFormat out{};
  ASSERT_EQ(AudioCodecSuggestFormat(format.data(), static_cast<uint32_t>(format.size()), &out), 0);
  EXPECT_EQ(out.blockAlign, 4);
  AudioCodecStream* s = AudioCodecOpen(format.data(), static_cast<uint32_t>(format.size()), out);
  ASSERT_NE(s, nullptr);
  Bytes source = {0xD5, 0x55, 0xAA, 0x2A, 0xC5};  // two frames and a half
  Bytes pcm(20);
  uint32_t consumed = 0, produced = 0;
  AudioCodecConvert(s, source.data(), 5, &consumed, pcm.data(), 20, &produced);
  EXPECT_EQ(consumed, 4u);
  EXPECT_EQ(produced, 8u);
  EXPECT_EQ(ToSamples(pcm.data(), 8), (std::vector<int16_t>{8, -8, 32256, -32256}));
  AudioCodecClose(s);
}

}  // namespace

namespace {

TEST(SoundDecCodec, MpegOutputThatDoesNotFitWaitsForTheNextCall) {
  // The frames of mp3_plain.mp3 (22,050 Hz mono) through the codec directly,
  // once with room for everything and once 100 bytes a call.
  Bytes mp3 = ReadTestFile("mp3_plain.mp3");
  Bytes format(30, 0);
  WaveFormat source{kWaveFormatMpegLayer3, 1, 22050, 4000, 1, 0, 12};
  WaveFormatToBytes(source, format.data());
  WaveFormat out{};
  ASSERT_EQ(AudioCodecSuggestFormat(format.data(), 30, &out), 0);
  auto run = [&](uint32_t room) {
    AudioCodecStream* s = AudioCodecOpen(format.data(), 30, out);
    EXPECT_NE(s, nullptr);
    Bytes pcm, buffer(room);
    size_t position = 0;
    for (int calls = 0; calls < 100000; calls++) {
      uint32_t piece = static_cast<uint32_t>(std::min<size_t>(512, mp3.size() - position));
      uint32_t consumed = 0, produced = 0;
      AudioCodecConvert(s, mp3.data() + position, piece, &consumed, buffer.data(), room, &produced);
      position += consumed;
      pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + produced);
      if (piece == 0 && produced == 0) break;
    }
    AudioCodecClose(s);
    return pcm;
  };
  Bytes roomy = run(1 << 20);
  EXPECT_EQ(roomy.size(), 10u * 576 * 2);
  EXPECT_EQ(run(100), roomy);
}

}  // namespace
