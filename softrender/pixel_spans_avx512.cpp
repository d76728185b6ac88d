// The AVX-512 span kernels. This file alone is compiled for AVX-512 (F, BW,
// DQ); the spans call its tables only on processors that have all three.
#include "softrender/pixel_spans_wide.h"

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512DQ__)
#include "softrender/vec_avx512.h"

namespace {

// Measured against the AVX2 kernels: alpha sprites lose (a sixteen-pixel
// register is less often wholly clear or wholly opaque, and their partial
// runs are short), and the byte-wise subtract is one instruction either way.
template <BlendOp Op, unsigned Mods>
struct Pays {
  static constexpr bool value =
      !(Op == BlendOp::Copy && (Mods & ModAlpha) != 0) && Op != BlendOp::SubtractExact;
};

}  // namespace

extern const BlendSpan32Table kBlendSpans32Avx512 = wide_spans::MakeTable32<VecAvx512, Pays>();
extern const BlendSpan16Table kBlendSpans16Avx512 = wide_spans::MakeTable16<VecAvx512, Pays>();

#else

extern const BlendSpan32Table kBlendSpans32Avx512 = {};
extern const BlendSpan16Table kBlendSpans16Avx512 = {};

#endif
