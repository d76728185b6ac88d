// The vector spans eight 32-bit or sixteen 16-bit pixels at a time. This
// file alone is compiled for AVX2; everything it defines stays local to it
// but the tables of kernels, which the spans call only on processors that
// have AVX2.
#include "softrender/pixel_spans16.h"
#include "softrender/pixel_spans32.h"

#include <utility>

#if defined(__AVX2__)
#include "softrender/vec_avx2.h"

namespace {

template <BlendOp Op, unsigned Mods, bool Gather>
int WideSpan32(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch, const int32_t* columns,
               int n, int rows, uint32_t transparent, const BlendState32& st) {
  return BlendSpanKernel<VecAvx2, Op, Mods, Gather>(d, dPitch, s, sPitch, columns, n, rows,
                                                    transparent, st);
}

template <bool AlphaSource, BlendOp Op, unsigned Mods, bool Gather>
int WideSpan16(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch,
               const int32_t* columns, int n, int rows, uint32_t transparent,
               const BlendState16& st) {
  return BlendSpan16Kernel<VecAvx2, AlphaSource, Op, Mods, Gather>(d, dPitch, s, sPitch, columns,
                                                                    n, rows, transparent, st);
}

// Entry I of the tables: BlendSpan32Index's operation, modifiers and gather
// flag; in the 16-bit table, alpha sources in the upper half.
template <size_t I>
constexpr BlendSpan32Fn WideEntry32() {
  constexpr auto op = static_cast<BlendOp>(I / 2 / kBlendModifierCount);
  constexpr unsigned mods = I / 2 % kBlendModifierCount;
  if constexpr (HasBlendSpan32Fast<op, mods>()) {
    return &WideSpan32<op, mods, (I & 1) != 0>;
  } else {
    return nullptr;
  }
}

template <size_t I>
constexpr BlendSpan16Fn WideEntry16() {
  constexpr bool alphaSource = I >= kBlendSpan32Count;
  constexpr size_t j = I % kBlendSpan32Count;
  constexpr auto op = static_cast<BlendOp>(j / 2 / kBlendModifierCount);
  constexpr unsigned mods = j / 2 % kBlendModifierCount;
  if constexpr (HasBlendSpan16Fast<op, mods>() && alphaSource == ((mods & ModAlpha) != 0)) {
    return &WideSpan16<alphaSource, op, mods, (j & 1) != 0>;
  } else {
    return nullptr;
  }
}

}  // namespace

extern const BlendSpan32Table kBlendSpans32Avx2 = []<size_t... I>(std::index_sequence<I...>) {
  return BlendSpan32Table{WideEntry32<I>()...};
}(std::make_index_sequence<kBlendSpan32Count>{});

extern const BlendSpan16Table kBlendSpans16Avx2 = []<size_t... I>(std::index_sequence<I...>) {
  return BlendSpan16Table{WideEntry16<I>()...};
}(std::make_index_sequence<kBlendSpan16Count>{});

#else

extern const BlendSpan32Table kBlendSpans32Avx2 = {};
extern const BlendSpan16Table kBlendSpans16Avx2 = {};

#endif
