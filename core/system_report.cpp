#include "core/system_report.h"

#include <cstdlib>

#include "core/helpers.h"
#include "core/log.h"
#include "platform/system_info.h"

namespace {

int g_osCodeWord = 0;

}  // namespace

void RunSystemReport() {
  PlatformSystemInfo info = GetPlatformSystemInfo();
  g_osCodeWord = 264;
  LogPrintf("ＯＳ  %s", info.osName);
  LogPrintf("ＣＰＵ  %s  ( %d 個 )  MMX:%s", info.cpuName, info.cpuCount,
            IsMmxUsable() ? "使用可能" : "使用不可");
  const char* asked = std::getenv("VARNOK_SIMD");
  if (IsUnknownVectorLevelName(asked)) {
    LogPrintf("環境変数 VARNOK_SIMD の値 %s は baseline、avx2、avx512 のどれでもないため無視しました", asked);
  }
  LogPrintf("ベクトル命令  %s", VectorLevelName(VectorLevel()));
  LogPrintf("物理メモリ  総量 %lld MB  空き %lld MB",
            static_cast<long long>(info.totalMemoryBytes / (1024 * 1024)),
            static_cast<long long>(info.freeMemoryBytes / (1024 * 1024)));
}

int GetOsCodeWord() { return g_osCodeWord; }
