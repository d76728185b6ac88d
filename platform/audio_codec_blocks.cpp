#include "platform/audio_codec_blocks.h"

#include <algorithm>
#include <array>

#include "platform/wave_format.h"

namespace {

int16_t ClampSample(int64_t v) { return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767)); }

void PutSample(uint8_t* out, int index, int16_t v) { WriteLe16(out + 2 * index, static_cast<uint16_t>(v)); }

int16_t GetSample(const uint8_t* p) { return static_cast<int16_t>(ReadLe16(p)); }

constexpr std::array<int, 16> kMsAdaptation = {230, 230, 230, 230, 307, 409, 512, 614,
                                               768, 614, 512, 409, 307, 230, 230, 230};
constexpr int kMsMinDelta = 16;
// A hostile block can keep tripling the step; keep it where products stay in range.
constexpr int kMsMaxDelta = 0x7FFFFFFF / 768;

constexpr std::array<int, 89> kImaSteps = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int, 8> kImaIndexMoves = {-1, -1, -1, -1, 2, 4, 6, 8};

}  // namespace

int MsAdpcmMaxSamplesPerBlock(int blockAlign, int channels) {
  if (channels < 1 || blockAlign < 7 * channels) return 0;
  return (blockAlign - 7 * channels) * 2 / channels + 2;
}

int ImaAdpcmMaxSamplesPerBlock(int blockAlign, int channels) {
  if (channels < 1 || blockAlign < 4 * channels) return 0;
  return (blockAlign - 4 * channels) / (4 * channels) * 8 + 1;
}

int DecodeMsAdpcmBlock(const uint8_t* block, int channels, int samplesPerBlock, const MsAdpcmCoef* coefs, int numCoefs,
                       uint8_t* out) {
  if (channels < 1 || channels > 2 || samplesPerBlock < 2) return -1;
  int coef1[2], coef2[2], delta[2], s1[2], s2[2];
  // Header: predictor bytes, then deltas, first samples, second samples, a channel each.
  for (int c = 0; c < channels; c++) {
    int predictor = block[c];
    if (predictor >= numCoefs) return -1;
    coef1[c] = coefs[predictor].coef1;
    coef2[c] = coefs[predictor].coef2;
    delta[c] = GetSample(block + channels + 2 * c);
    s1[c] = GetSample(block + 3 * channels + 2 * c);
    s2[c] = GetSample(block + 5 * channels + 2 * c);
  }
  // The older sample is played first.
  for (int c = 0; c < channels; c++) {
    PutSample(out, c, static_cast<int16_t>(s2[c]));
    PutSample(out, channels + c, static_cast<int16_t>(s1[c]));
  }
  const uint8_t* nibbles = block + 7 * channels;
  int k = 0;
  for (int frame = 2; frame < samplesPerBlock; frame++) {
    for (int c = 0; c < channels; c++, k++) {
      int code = (k & 1) ? (nibbles[k >> 1] & 0x0F) : (nibbles[k >> 1] >> 4);
      int signedCode = code >= 8 ? code - 16 : code;
      int64_t predicted = (static_cast<int64_t>(s1[c]) * coef1[c] + static_cast<int64_t>(s2[c]) * coef2[c]) / 256;
      int16_t sample = ClampSample(predicted + static_cast<int64_t>(signedCode) * delta[c]);
      PutSample(out, frame * channels + c, sample);
      s2[c] = s1[c];
      s1[c] = sample;
      delta[c] = std::clamp(kMsAdaptation[code] * delta[c] / 256, kMsMinDelta, kMsMaxDelta);
    }
  }
  return 0;
}

int DecodeImaAdpcmBlock(const uint8_t* block, int channels, int samplesPerBlock, uint8_t* out) {
  if (channels < 1 || channels > 2 || samplesPerBlock < 1) return -1;
  int predicted[2], index[2];
  for (int c = 0; c < channels; c++) {
    predicted[c] = GetSample(block + 4 * c);
    index[c] = block[4 * c + 2];
    if (index[c] >= static_cast<int>(kImaSteps.size())) return -1;
    PutSample(out, c, static_cast<int16_t>(predicted[c]));
  }
  // After the header each channel has 4-byte words of 8 codes in turn, low nibble first.
  const uint8_t* data = block + 4 * channels;
  for (int frame = 1; frame < samplesPerBlock; frame++) {
    int n = frame - 1;
    int word = n / 8, within = n % 8;
    for (int c = 0; c < channels; c++) {
      uint8_t byte = data[(word * channels + c) * 4 + within / 2];
      int code = (within & 1) ? (byte >> 4) : (byte & 0x0F);
      int step = kImaSteps[index[c]];
      int diff = step >> 3;
      if (code & 4) diff += step;
      if (code & 2) diff += step >> 1;
      if (code & 1) diff += step >> 2;
      predicted[c] = ClampSample((code & 8) ? predicted[c] - diff : predicted[c] + diff);
      index[c] = std::clamp(index[c] + kImaIndexMoves[code & 7], 0, static_cast<int>(kImaSteps.size()) - 1);
      PutSample(out, frame * channels + c, static_cast<int16_t>(predicted[c]));
    }
  }
  return 0;
}

int16_t DecodeAlawSample(uint8_t code) {
  int a = code ^ 0x55;
  int exponent = (a >> 4) & 7;
  int mantissa = a & 0x0F;
  int magnitude = exponent == 0 ? (mantissa << 4) + 8 : ((mantissa << 4) + 0x108) << (exponent - 1);
  return static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
}

int16_t DecodeMulawSample(uint8_t code) {
  int u = ~code & 0xFF;
  int exponent = (u >> 4) & 7;
  int mantissa = u & 0x0F;
  int magnitude = ((mantissa << 3) + 0x84) << exponent;
  return static_cast<int16_t>((u & 0x80) ? 0x84 - magnitude : magnitude - 0x84);
}
