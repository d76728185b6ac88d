// The AVX2 span kernels. This file alone is compiled for AVX2; the spans call
// its tables only on processors that have it.
#include "softrender/mask_spans.h"
#include "softrender/pixel_spans_wide.h"

#if defined(__AVX2__)
#include "softrender/vec_avx2.h"

extern const BlendSpan32Table kBlendSpans32Avx2 = wide_spans::MakeTable32<VecAvx2, wide_spans::Always>();
extern const BlendSpan16Table kBlendSpans16Avx2 = wide_spans::MakeTable16<VecAvx2, wide_spans::Always>();
extern const RunTableSpan32Table kRunTableSpans32Avx2 = wide_spans::MakeRunTable32<VecAvx2, wide_spans::Always>();
extern const RunTableSpan16Table kRunTableSpans16Avx2 = wide_spans::MakeRunTable16<VecAvx2>();
extern const BitMaskRowsFn kBitMaskRowsAvx2 = BitMaskRowsKernel<VecAvx2>;
extern const CoverageRowsFn kCoverageRowsAvx2 = CoverageRowsKernel<VecAvx2>;

#else

extern const BlendSpan32Table kBlendSpans32Avx2 = {};
extern const BlendSpan16Table kBlendSpans16Avx2 = {};
extern const RunTableSpan32Table kRunTableSpans32Avx2 = {};
extern const RunTableSpan16Table kRunTableSpans16Avx2 = {};
extern const BitMaskRowsFn kBitMaskRowsAvx2 = nullptr;
extern const CoverageRowsFn kCoverageRowsAvx2 = nullptr;

#endif
