// The AVX2 register type of the vector spans: eight 32-bit pixels or sixteen
// 16-bit lanes. Only files compiled for AVX2 include it.
#pragma once
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

struct VecAvx2 {
  using Reg = __m256i;
  static constexpr int kPixels = 8;
  static constexpr bool kTernary = false;
  static constexpr size_t kWriteLead = 1024;  // as VecSse2's
  static Reg Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
  static void Store(void* p, Reg v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
  template <bool Gather>
  static Reg LoadSource(const uint8_t* s, const int32_t* columns, int i) {
    if constexpr (Gather) {
      const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + i));
      return _mm256_i32gather_epi32(reinterpret_cast<const int*>(s), index, 4);
    } else {
      return Load(s + 4 * static_cast<intptr_t>(i));
    }
  }
  // The value in a register from here on: a loaded value that two
  // operations take is otherwise read from memory twice.
  static Reg InRegister(Reg v) {
    asm("" : "+x"(v));
    return v;
  }
  static Reg Zero() { return _mm256_setzero_si256(); }
  static Reg Set16(int16_t v) { return _mm256_set1_epi16(v); }
  static Reg Set32(int32_t v) { return _mm256_set1_epi32(v); }
  static Reg Set64(int64_t v) { return _mm256_set1_epi64x(v); }
  static Reg And(Reg a, Reg b) { return _mm256_and_si256(a, b); }
  static Reg AndNot(Reg a, Reg b) { return _mm256_andnot_si256(a, b); }
  static Reg Or(Reg a, Reg b) { return _mm256_or_si256(a, b); }
  static Reg Xor(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
  static Reg Add16(Reg a, Reg b) { return _mm256_add_epi16(a, b); }
  static Reg Sub16(Reg a, Reg b) { return _mm256_sub_epi16(a, b); }
  static Reg Add32(Reg a, Reg b) { return _mm256_add_epi32(a, b); }
  static Reg Sub32(Reg a, Reg b) { return _mm256_sub_epi32(a, b); }
  static Reg Mullo16(Reg a, Reg b) { return _mm256_mullo_epi16(a, b); }
  static Reg MulhiU16(Reg a, Reg b) { return _mm256_mulhi_epu16(a, b); }
  static Reg CmpEq16(Reg a, Reg b) { return _mm256_cmpeq_epi16(a, b); }
  static Reg CmpGt16(Reg a, Reg b) { return _mm256_cmpgt_epi16(a, b); }
  static Reg CmpEq32(Reg a, Reg b) { return _mm256_cmpeq_epi32(a, b); }
  // The eight bytes of v, the lowest first, one to a lane.
  static Reg ByteLanes32(uint64_t v) { return _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(v))); }
  static Reg SubsU8(Reg a, Reg b) { return _mm256_subs_epu8(a, b); }
  static Reg AddsU8(Reg a, Reg b) { return _mm256_adds_epu8(a, b); }
  // Unpack and pack work within each 128-bit half, so they undo each other.
  static Reg UnpackLo8(Reg a, Reg b) { return _mm256_unpacklo_epi8(a, b); }
  static Reg UnpackHi8(Reg a, Reg b) { return _mm256_unpackhi_epi8(a, b); }
  static Reg PackUs16(Reg a, Reg b) { return _mm256_packus_epi16(a, b); }
  template <int N>
  static Reg Srli16(Reg a) { return _mm256_srli_epi16(a, N); }
  template <int N>
  static Reg Slli16(Reg a) { return _mm256_slli_epi16(a, N); }
  template <int N>
  static Reg Srli32(Reg a) { return _mm256_srli_epi32(a, N); }
  static Reg Min16(Reg a, Reg b) { return _mm256_min_epi16(a, b); }
  static Reg SubsU16(Reg a, Reg b) { return _mm256_subs_epu16(a, b); }
  template <int N>
  static Reg Srai16(Reg a) { return _mm256_srai_epi16(a, N); }
  template <int N>
  static Reg Slli32(Reg a) { return _mm256_slli_epi32(a, N); }
  template <int N>
  static Reg Srai32(Reg a) { return _mm256_srai_epi32(a, N); }
  // Signed saturating pack of two registers of 32-bit lanes into one of
  // 16-bit lanes, in order (the pack works per 128-bit half).
  static Reg PackS32(Reg a, Reg b) { return _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8); }
  template <int Imm>
  static Reg ShuffleLanes(Reg a) { return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, Imm), Imm); }
  static bool AllSet(Reg mask) { return _mm256_movemask_epi8(mask) == -1; }
};
