#include "softrender/blend_tables.h"

alignas(64) int32_t MemImgLerpTable[256][512];
alignas(64) int32_t MemImgProductTable[256][256];
alignas(64) uint8_t MemImgSixBitTable[64][64][64];
alignas(64) uint8_t MemImgBorderTable[256];

int InitMemImgBlendTables() {
  for (int a = 0; a < 256; a++) {
    for (int d = -255; d <= 255; d++) MemImgLerpTable[a][255 + d] = (a * d) / 255;
  }
  for (int i = 0; i < 256; i++) {
    for (int j = 0; j < 256; j++) MemImgProductTable[i][j] = (i * j) / 255;
  }
  for (int k = 0; k < 64; k++) {
    for (int i = 0; i < 64; i++) {
      for (int j = 0; j < 64; j++) {
        MemImgSixBitTable[k][i][j] = static_cast<uint8_t>((i * k + j * (63 - k)) / 63);
      }
    }
  }
  return 0;
}

// A ramp over the blend values: the parameter moves it toward brighter blend
// pixels, the range sets its width (0 a hard step, 255 a slope of one).
void SetMemImgBorderTable(int32_t borderParam, int32_t borderRange) {
  const int32_t p = borderParam < 0 ? 0 : (borderParam > 255 ? 255 : borderParam);
  const int32_t range = borderRange < 0 ? 0 : (borderRange > 255 ? 255 : borderRange);
  const int32_t r = range + 1;
  const int32_t k = ((65536 / r + 256) * p) / 256;
  for (int32_t b = 0; b < 256; b++) {
    int32_t weight = (256 * b) / r + 256 - k;
    MemImgBorderTable[b] = static_cast<uint8_t>(weight > 255 ? 255 : (weight < 0 ? 0 : weight));
  }
}
