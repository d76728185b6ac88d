// The vector spans eight pixels at a time. This file alone is compiled for
// AVX2; everything it defines stays local to it but the table of kernels,
// which the spans call only on processors that have AVX2.
#include "softrender/pixel_spans32.h"

#include <utility>

#if defined(__AVX2__)
#include "softrender/vec_avx2.h"

namespace {

template <BlendOp Op, unsigned Mods, bool Gather>
int WideSpan(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch, const int32_t* columns,
             int n, int rows, uint32_t transparent, const BlendState32& st) {
  return BlendSpanKernel<VecAvx2, Op, Mods, Gather>(d, dPitch, s, sPitch, columns, n, rows,
                                                    transparent, st);
}

template <size_t I>
constexpr BlendSpan32Fn WideEntry() {
  constexpr auto op = static_cast<BlendOp>(I / 2 / kBlendModifierCount);
  constexpr unsigned mods = I / 2 % kBlendModifierCount;
  if constexpr (HasBlendSpan32Fast<op, mods>()) {
    return &WideSpan<op, mods, (I & 1) != 0>;
  } else {
    return nullptr;
  }
}

template <size_t... I>
constexpr BlendSpan32Table WideTable(std::index_sequence<I...>) {
  return {WideEntry<I>()...};
}

}  // namespace

extern const BlendSpan32Table kBlendSpans32Avx2 =
    WideTable(std::make_index_sequence<kBlendSpan32Count>{});

#else

extern const BlendSpan32Table kBlendSpans32Avx2 = {};

#endif
