// String, byte, number, rectangle and random helpers of the library.
#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>

#include "core/core_api.h"
#include "core/types.h"

// Shift-JIS: a lead byte 0x81-0x9F or 0xE0-0xFC starts a two-byte character.
constexpr bool IsMultiByteLeadByte(uint8_t c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
// The same test under a font's charset index: 2 (Hangul) makes every byte
// with the high bit set a lead byte. 1 or 0.
constexpr int IsMultiByteLeadByte(const unsigned char* p, int charsetIndex) {
  return charsetIndex == 2 ? (*p & 0x80) != 0 : IsMultiByteLeadByte(*p);
}
// Bytes of the Shift-JIS character at text: 2 for a lead byte followed by a
// non-zero byte, else 1 (a lead byte before the terminator stands alone).
constexpr int SjisCharLength(const char* text) {
  return IsMultiByteLeadByte(static_cast<uint8_t>(text[0])) && text[1] ? 2 : 1;
}

void StrCopy(char* destination, const char* source);
void StrAppend(char* destination, const char* source);
int StrDiffers(const char* a, const char* b);  // 0 equal, 1 different
// First occurrence of the byte, stepping over two-byte characters whole; null when absent.
const char* StrFindByte(const char* text, uint8_t byte);

// Copies at most capacity - 1 bytes and a terminating zero, never cutting a
// two-byte character; returns the bytes copied. capacity must be 1 or more.
int StrCopyWholeChars(char* destination, const char* source, int capacity);

void MemFill(void* destination, uint8_t value, size_t count);
void MemCopy(void* destination, const void* source, size_t count);
void MemMoveSafe(void* destination, const void* source, size_t count);
int MemDiffers(const void* a, const void* b, size_t count);
int MemDiffersN(const void* a, const void* b, size_t count);

// The decimal integer after the first space; -1 when there is no space.
int ParseIntAfterBlank(const char* text);
int FormatString(char* buffer, const char* format, ...) __attribute__((format(printf, 2, 3)));
int AbsInt(int value);
// Truncate toward zero; values outside the 32-bit range (and NaN) give INT32_MIN.
int32_t FloatToIntTrunc(float value);
int32_t DoubleToIntTrunc(double value);
float SqrtFloat(float value);
void SinCosF(float angle, float* sine, float* cosine);

// The value clamped into T's range, for narrowing sums done in 64 bits.
template <typename T>
constexpr T SaturateCast(int64_t value) {
  if (value < std::numeric_limits<T>::min()) return std::numeric_limits<T>::min();
  if (value > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
  return static_cast<T>(value);
}
constexpr int32_t ClampByte(int32_t value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

// Makes rect non-inverted, then clamps each edge into clip; always 0.
int ClipRectToRect(IntRect* rect, const IntRect* clip);

// 1 when the processor offers MMX (every x86-64 one). Tests may force 0 or 1.
int IsMmxUsable();
// The widest vector instructions this processor has: 0 none known, 1 SSE2,
// 2 AVX2, 3 AVX-512 (F, BW and DQ).
int ProcessorVectorLevel();
// The level every run-time choice of kernels follows (blit spans, pixel
// conversions, row copies, the movie's conversion): the processor's, or a
// lower one that VARNOK_SIMD (baseline, avx2 or avx512) asks for, read once
// at start, so that any machine can run and measure the narrower kernels.
int VectorLevel();
// The level a VARNOK_SIMD value names, never above processorLevel; the
// processor's level for null or a name it does not know.
int VectorLevelFromName(const char* name, int processorLevel);
// 1 when VARNOK_SIMD holds a value it does not know (unset or empty is none).
int IsUnknownVectorLevelName(const char* name);
// How the log names a level: "none", "SSE2", "AVX2" or "AVX-512".
const char* VectorLevelName(int level);
void SetMmxUsableForTest(int flag);  // -1 restores the detected value

// GetRandomValue (core_api.h) draws from the library's MT19937; the library
// start seeds it from the clock, tests and reproducible runs seed it here.
void SeedRandom(uint32_t seed);
// Tests script the values: while a source is set, GetRandomValue returns
// source(max) instead of drawing; null goes back to the generator.
void SetRandomSourceForTest(int (*source)(int max));
// Tests drive the library's clock: while a source is set, GetMicroCount and
// GetMilliCount (core_api.h) read it, in microseconds; null goes back to the
// machine's clock.
void SetClockSourceForTest(int64_t (*microseconds)());
