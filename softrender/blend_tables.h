// Lookup tables that replace the per-pixel multiplications and divisions by
// 255 and 63. Built once per graphics start; the border table follows the
// blend graphic's border settings.
#pragma once
#include <cstdint>

// Row a, entry 255 + d = (a * d) / 255 for d = -255..255 (truncated toward
// zero); entry 511 is unused. Index through MemImgLerpRow.
extern int32_t MemImgLerpTable[256][512];
// Row i, entry j = (i * j) / 255.
extern int32_t MemImgProductTable[256][256];
// Slice k, row i, entry j = (i * k + j * (63 - k)) / 63: a lerp of two 6-bit
// values with weight k / 63; callers pick the slice as parameter / 4.
extern uint8_t MemImgSixBitTable[64][64][64];
// Entry b: the weight 0..255 that a blend-image value b gives the source.
extern uint8_t MemImgBorderTable[256];

// Centre of lerp row a; index with a signed difference -255..255.
inline const int32_t* MemImgLerpRow(int a) { return &MemImgLerpTable[a][255]; }

int InitMemImgBlendTables();  // always 0
// Both arguments 0..255 (values outside are clamped).
void SetMemImgBorderTable(int32_t borderParam, int32_t borderRange);
