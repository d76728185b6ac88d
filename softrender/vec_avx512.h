// The AVX-512 register type of the vector spans: sixteen 32-bit pixels or
// thirty-two 16-bit lanes. Comparisons come back as whole-lane masks in a
// register, like the narrower types', so one kernel serves all three; the
// three-input logic instruction takes the selects and three-way ORs in one
// step. Only files compiled for AVX-512 (F, BW, DQ) include it.
#pragma once
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

struct VecAvx512 {
  using Reg = __m512i;
  static constexpr int kPixels = 16;
  static constexpr bool kTernary = true;
  // Measured against VecSse2's kilobyte: a loop of sixteen-pixel registers
  // runs fastest asking a quarter of that ahead, and asking a whole
  // kilobyte ahead slows it below asking for nothing.
  static constexpr size_t kWriteLead = 256;
  static Reg Load(const void* p) { return _mm512_loadu_si512(p); }
  static void Store(void* p, Reg v) { _mm512_storeu_si512(p, v); }
  template <bool Gather>
  static Reg LoadSource(const uint8_t* s, const int32_t* columns, int i) {
    if constexpr (Gather) {
      return _mm512_i32gather_epi32(_mm512_loadu_si512(columns + i), s, 4);
    } else {
      return Load(s + 4 * static_cast<intptr_t>(i));
    }
  }
  // Bitwise function Imm of a, b, c (their truth-table bytes 0xF0, 0xCC, 0xAA).
  template <int Imm>
  static Reg Ternary(Reg a, Reg b, Reg c) { return _mm512_ternarylogic_epi32(a, b, c, Imm); }
  // The value in a register from here on: a loaded value that two
  // operations take is otherwise read from memory twice.
  static Reg InRegister(Reg v) {
    asm("" : "+v"(v));
    return v;
  }
  static Reg Zero() { return _mm512_setzero_si512(); }
  static Reg Set16(int16_t v) { return _mm512_set1_epi16(v); }
  static Reg Set32(int32_t v) { return _mm512_set1_epi32(v); }
  static Reg Set64(int64_t v) { return _mm512_set1_epi64(v); }
  static Reg And(Reg a, Reg b) { return _mm512_and_si512(a, b); }
  static Reg AndNot(Reg a, Reg b) { return _mm512_andnot_si512(a, b); }
  static Reg Or(Reg a, Reg b) { return _mm512_or_si512(a, b); }
  static Reg Xor(Reg a, Reg b) { return _mm512_xor_si512(a, b); }
  static Reg Add16(Reg a, Reg b) { return _mm512_add_epi16(a, b); }
  static Reg Sub16(Reg a, Reg b) { return _mm512_sub_epi16(a, b); }
  static Reg Add32(Reg a, Reg b) { return _mm512_add_epi32(a, b); }
  static Reg Sub32(Reg a, Reg b) { return _mm512_sub_epi32(a, b); }
  static Reg Mullo16(Reg a, Reg b) { return _mm512_mullo_epi16(a, b); }
  static Reg MulhiU16(Reg a, Reg b) { return _mm512_mulhi_epu16(a, b); }
  static Reg CmpEq16(Reg a, Reg b) { return _mm512_movm_epi16(_mm512_cmpeq_epi16_mask(a, b)); }
  static Reg CmpGt16(Reg a, Reg b) { return _mm512_movm_epi16(_mm512_cmpgt_epi16_mask(a, b)); }
  static Reg CmpEq32(Reg a, Reg b) { return _mm512_movm_epi32(_mm512_cmpeq_epi32_mask(a, b)); }
  static Reg SubsU8(Reg a, Reg b) { return _mm512_subs_epu8(a, b); }
  static Reg AddsU8(Reg a, Reg b) { return _mm512_adds_epu8(a, b); }
  // Unpack and pack work within each 128-bit quarter, so they undo each other.
  static Reg UnpackLo8(Reg a, Reg b) { return _mm512_unpacklo_epi8(a, b); }
  static Reg UnpackHi8(Reg a, Reg b) { return _mm512_unpackhi_epi8(a, b); }
  static Reg PackUs16(Reg a, Reg b) { return _mm512_packus_epi16(a, b); }
  template <int N>
  static Reg Srli16(Reg a) { return _mm512_srli_epi16(a, N); }
  template <int N>
  static Reg Slli16(Reg a) { return _mm512_slli_epi16(a, N); }
  template <int N>
  static Reg Srli32(Reg a) { return _mm512_srli_epi32(a, N); }
  static Reg Min16(Reg a, Reg b) { return _mm512_min_epi16(a, b); }
  static Reg SubsU16(Reg a, Reg b) { return _mm512_subs_epu16(a, b); }
  template <int N>
  static Reg Srai16(Reg a) { return _mm512_srai_epi16(a, N); }
  template <int N>
  static Reg Slli32(Reg a) { return _mm512_slli_epi32(a, N); }
  template <int N>
  static Reg Srai32(Reg a) { return _mm512_srai_epi32(a, N); }
  // Signed saturating pack of two registers of 32-bit lanes into one of
  // 16-bit lanes, in order (the pack interleaves the quarters' halves).
  static Reg PackS32(Reg a, Reg b) {
    return _mm512_permutexvar_epi64(_mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0), _mm512_packs_epi32(a, b));
  }
  template <int Imm>
  static Reg ShuffleLanes(Reg a) { return _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(a, Imm), Imm); }
  static bool AllSet(Reg mask) { return _mm512_movepi8_mask(mask) == ~__mmask64{0}; }
};
