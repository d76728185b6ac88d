// The 16-bit vector spans sixteen pixels at a time. This file alone with the
// 32-bit one is compiled for AVX2; everything it defines stays local to it
// but the table of kernels, which the spans call only on processors that
// have AVX2.
#include "softrender/pixel_spans16.h"

#include <utility>

#if defined(__AVX2__)
#include "softrender/vec_avx2.h"

namespace {

template <bool AlphaSource, BlendOp Op, unsigned Mods, bool Gather>
int WideSpan16(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch,
               const int32_t* columns, int n, int rows, uint32_t transparent,
               const BlendState16& st) {
  return BlendSpan16Kernel<VecAvx2, AlphaSource, Op, Mods, Gather>(d, dPitch, s, sPitch, columns,
                                                                    n, rows, transparent, st);
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

template <size_t... I>
constexpr BlendSpan16Table WideTable16(std::index_sequence<I...>) {
  return {WideEntry16<I>()...};
}

}  // namespace

extern const BlendSpan16Table kBlendSpans16Avx2 =
    WideTable16(std::make_index_sequence<kBlendSpan16Count>{});

#else

extern const BlendSpan16Table kBlendSpans16Avx2 = {};

#endif
