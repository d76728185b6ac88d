// The tables of one wide vector type's span kernels, made in the file that
// alone is compiled for that type. Entry I of a table: BlendSpan32Index's
// operation, modifiers and gather flag; in the 16-bit table, alpha sources
// in the upper half. Null where the variant has no vector span or the type
// does not pay for it.
#pragma once
#include <utility>

#include "softrender/pixel_spans16.h"
#include "softrender/pixel_spans32.h"

namespace wide_spans {

template <class V, BlendOp Op, unsigned Mods, bool Gather>
int Span32(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch, const int32_t* columns, int n,
           int rows, uint32_t transparent, const BlendState32& st) {
  return BlendSpanKernel<V, Op, Mods, Gather>(d, dPitch, s, sPitch, columns, n, rows, transparent, st);
}

template <class V, bool AlphaSource, BlendOp Op, unsigned Mods, bool Gather>
int Span16(uint8_t* d, intptr_t dPitch, const uint8_t* s, intptr_t sPitch, const int32_t* columns, int n,
           int rows, uint32_t transparent, const BlendState16& st) {
  return BlendSpan16Kernel<V, AlphaSource, Op, Mods, Gather>(d, dPitch, s, sPitch, columns, n, rows,
                                                              transparent, st);
}

template <class V, BlendOp Op, unsigned Mods>
void RunTable32(const RunTableRows& rows, const BlendState32& st) {
  RunTableKernel<RunPixels32<V>, Op, Mods>(rows, st);
}

template <class V, template <BlendOp, unsigned> class Pays, size_t I>
constexpr RunTableSpan32Fn RunTableEntry32() {
  constexpr auto op = static_cast<BlendOp>(I / kBlendModifierCount);
  constexpr unsigned mods = I % kBlendModifierCount;
  if constexpr (HasRunTableSpan32<op, mods>() && Pays<op, mods>::value) {
    return &RunTable32<V, op, mods>;
  } else {
    return nullptr;
  }
}

template <class V, bool AlphaSource, BlendOp Op, unsigned Mods>
void RunTable16(const RunTableRows& rows, const BlendState16& st) {
  RunTableKernel<RunPixels16<V, AlphaSource>, Op, Mods>(rows, st);
}

template <class V, size_t I>
constexpr RunTableSpan16Fn RunTableEntry16() {
  constexpr bool alphaSource = I >= kRunTableSpan32Count;
  constexpr auto op = static_cast<BlendOp>(I % kRunTableSpan32Count / kBlendModifierCount);
  constexpr unsigned mods = I % kBlendModifierCount;
  if constexpr (HasRunTableSpan16<alphaSource, op, mods>() && alphaSource == ((mods & ModAlpha) != 0)) {
    return &RunTable16<V, alphaSource, op, mods>;
  } else {
    return nullptr;
  }
}

template <class V, template <BlendOp, unsigned> class Pays, size_t I>
constexpr BlendSpan32Fn Entry32() {
  constexpr auto op = static_cast<BlendOp>(I / 2 / kBlendModifierCount);
  constexpr unsigned mods = I / 2 % kBlendModifierCount;
  if constexpr (HasBlendSpan32Fast<op, mods>() && Pays<op, mods>::value) {
    return &Span32<V, op, mods, (I & 1) != 0>;
  } else {
    return nullptr;
  }
}

template <class V, template <BlendOp, unsigned> class Pays, size_t I>
constexpr BlendSpan16Fn Entry16() {
  constexpr bool alphaSource = I >= kBlendSpan32Count;
  constexpr size_t j = I % kBlendSpan32Count;
  constexpr auto op = static_cast<BlendOp>(j / 2 / kBlendModifierCount);
  constexpr unsigned mods = j / 2 % kBlendModifierCount;
  if constexpr (HasBlendSpan16Fast<op, mods>() && alphaSource == ((mods & ModAlpha) != 0) &&
                Pays<op, mods>::value) {
    return &Span16<V, alphaSource, op, mods, (j & 1) != 0>;
  } else {
    return nullptr;
  }
}

template <class V, template <BlendOp, unsigned> class Pays>
constexpr BlendSpan32Table MakeTable32() {
  return []<size_t... I>(std::index_sequence<I...>) {
    return BlendSpan32Table{Entry32<V, Pays, I>()...};
  }(std::make_index_sequence<kBlendSpan32Count>{});
}

template <class V, template <BlendOp, unsigned> class Pays>
constexpr RunTableSpan32Table MakeRunTable32() {
  return []<size_t... I>(std::index_sequence<I...>) {
    return RunTableSpan32Table{RunTableEntry32<V, Pays, I>()...};
  }(std::make_index_sequence<kRunTableSpan32Count>{});
}

template <class V>
constexpr RunTableSpan16Table MakeRunTable16() {
  return []<size_t... I>(std::index_sequence<I...>) {
    return RunTableSpan16Table{RunTableEntry16<V, I>()...};
  }(std::make_index_sequence<kRunTableSpan16Count>{});
}

template <class V, template <BlendOp, unsigned> class Pays>
constexpr BlendSpan16Table MakeTable16() {
  return []<size_t... I>(std::index_sequence<I...>) {
    return BlendSpan16Table{Entry16<V, Pays, I>()...};
  }(std::make_index_sequence<kBlendSpan16Count>{});
}

// Every variant that has a vector span.
template <BlendOp, unsigned>
struct Always {
  static constexpr bool value = true;
};

}  // namespace wide_spans
