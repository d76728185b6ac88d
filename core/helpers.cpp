#include "core/helpers.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/timer.h"

void StrCopy(char* destination, const char* source) { std::strcpy(destination, source); }

void StrAppend(char* destination, const char* source) { std::strcat(destination, source); }

int StrDiffers(const char* a, const char* b) { return std::strcmp(a, b) == 0 ? 0 : 1; }

const char* StrFindByte(const char* text, uint8_t byte) {
  for (const char* p = text; *p; p += SjisCharLength(p)) {
    if (static_cast<uint8_t>(*p) == byte) return p;
  }
  return nullptr;
}

int StrCopyWholeChars(char* destination, const char* source, int capacity) {
  int n = 0;
  while (source[n]) {
    int step = SjisCharLength(source + n);
    if (n + step > capacity - 1) break;
    n += step;
  }
  std::memcpy(destination, source, static_cast<size_t>(n));
  destination[n] = '\0';
  return n;
}

void MemFill(void* destination, uint8_t value, size_t count) {
  std::memset(destination, value, count);
}

void MemCopy(void* destination, const void* source, size_t count) {
  if (count) std::memcpy(destination, source, count);
}

void MemMoveSafe(void* destination, const void* source, size_t count) {
  if (count) std::memmove(destination, source, count);
}

int MemDiffers(const void* a, const void* b, size_t count) {
  return std::memcmp(a, b, count) == 0 ? 0 : 1;
}

int MemDiffersN(const void* a, const void* b, size_t count) { return MemDiffers(a, b, count); }

int ParseIntAfterBlank(const char* text) {
  const char* blank = std::strchr(text, ' ');
  if (!blank) return -1;
  // Numbers from a peer may be any length: out of range they stop at the int's limits.
  return SaturateCast<int>(std::strtoll(blank + 1, nullptr, 10));
}

int FormatString(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = std::vsprintf(buffer, format, args);
  va_end(args);
  return n;
}

int AbsInt(int value) { return value < 0 ? static_cast<int>(0u - static_cast<unsigned>(value)) : value; }

int32_t DoubleToIntTrunc(double value) {
  // The x87 form answers "integer indefinite" for anything it cannot hold.
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

int32_t FloatToIntTrunc(float value) { return DoubleToIntTrunc(static_cast<double>(value)); }

float SqrtFloat(float value) { return std::sqrt(value); }

void SinCosF(float angle, float* sine, float* cosine) {
  *sine = std::sin(angle);
  *cosine = std::cos(angle);
}

int ClipRectToRect(IntRect* rect, const IntRect* clip) {
  if (rect->right < rect->left) rect->right = rect->left;
  if (rect->bottom < rect->top) rect->bottom = rect->top;
  auto clamp = [](int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); };
  rect->bottom = clamp(rect->bottom, clip->top, clip->bottom);
  rect->top = clamp(rect->top, clip->top, clip->bottom);
  rect->right = clamp(rect->right, clip->left, clip->right);
  rect->left = clamp(rect->left, clip->left, clip->right);
  return 0;
}

namespace {

int DetectMmx() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("mmx") ? 1 : 0;
#else
  return 0;
#endif
}

int g_mmxForced = -1;
int (*g_randomSourceForTest)(int max) = nullptr;

std::mt19937& Generator() {
  static std::mt19937 generator(PlatformMilliseconds());
  return generator;
}

}  // namespace

int IsMmxUsable() {
  static const int detected = DetectMmx();
  return g_mmxForced >= 0 ? g_mmxForced : detected;
}

void SetMmxUsableForTest(int flag) { g_mmxForced = flag; }

int ProcessorVectorLevel() {
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512dq")) {
    return 3;
  }
  if (__builtin_cpu_supports("avx2")) return 2;
  return __builtin_cpu_supports("sse2") ? 1 : 0;
#else
  return 0;
#endif
}

namespace {

struct NamedLevel {
  const char* name;
  int level;
};
constexpr NamedLevel kVectorLevelNames[] = {{"baseline", 1}, {"avx2", 2}, {"avx512", 3}};

const NamedLevel* FindVectorLevelName(const char* name) {
  for (const NamedLevel& n : kVectorLevelNames) {
    if (std::strcmp(name, n.name) == 0) return &n;
  }
  return nullptr;
}

}  // namespace

int VectorLevelFromName(const char* name, int processorLevel) {
  const NamedLevel* named = name ? FindVectorLevelName(name) : nullptr;
  return named && named->level < processorLevel ? named->level : processorLevel;
}

int IsUnknownVectorLevelName(const char* name) { return name && *name && !FindVectorLevelName(name) ? 1 : 0; }

const char* VectorLevelName(int level) {
  constexpr const char* kNames[4] = {"none", "SSE2", "AVX2", "AVX-512"};
  return level >= 0 && level <= 3 ? kNames[level] : "none";
}

int VectorLevel() {
  static const int level = [] {
    const char* asked = std::getenv("VARNOK_SIMD");
    // Said here, at the first kernel choice: that comes before any log is
    // open, and a program may run without one.
    if (IsUnknownVectorLevelName(asked)) {
      std::fprintf(stderr, "VARNOK_SIMD=%s is not baseline, avx2 or avx512: ignored, the processor's level is used\n",
                   asked);
    }
    return VectorLevelFromName(asked, ProcessorVectorLevel());
  }();
  return level;
}

void SeedRandom(uint32_t seed) { Generator().seed(seed); }

void SetRandomSourceForTest(int (*source)(int max)) { g_randomSourceForTest = source; }

int GetRandomValue(int max) {
  if (g_randomSourceForTest) return g_randomSourceForTest(max);
  uint32_t word = Generator()();
  // Upper 32 bits of word * (max + 1); computed unsigned so max = INT_MAX is defined.
  uint64_t range = static_cast<uint64_t>(static_cast<uint32_t>(max) + 1u);
  return static_cast<int>((static_cast<uint64_t>(word) * range) >> 32);
}
