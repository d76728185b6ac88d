#include "platform/ime.h"

#include <algorithm>
#include <cstring>

#include "core/helpers.h"
#include "platform/no_throw.h"
#include "platform/window.h"

int PlatformIme::GetCompositionString(uint32_t part, void* buffer, int size) const {
  if (part == GCS_CURSORPOS) return text.cursorBytes;
  if (part == GCS_COMPCLAUSE) {
    auto bytes = static_cast<int64_t>(text.clauses.size()) * 4;
    if (!buffer) return SaturateCast<int>(bytes);
    int count = static_cast<int>(std::min<int64_t>(bytes, std::max(size, 0)) / 4);
    // An empty list may have no data at all, which memcpy must not be given.
    if (count > 0) std::memcpy(buffer, text.clauses.data(), static_cast<size_t>(count) * 4);
    return count * 4;
  }
  if (part != GCS_COMPSTR && part != GCS_RESULTSTR) return -1;
  const std::string& source = part == GCS_COMPSTR ? text.composition : text.result;
  if (!buffer) return SaturateCast<int>(static_cast<int64_t>(source.size()));
  // Never half a two-byte character: the reader may treat what it got as whole text.
  int length = 0;
  int limit = static_cast<int>(std::min<size_t>(source.size(), static_cast<size_t>(std::max(size, 0))));
  while (length < limit) {
    int n = IsMultiByteLeadByte(static_cast<uint8_t>(source[length])) ? 2 : 1;
    if (length + n > limit) break;
    length += n;
  }
  std::memcpy(buffer, source.data(), static_cast<size_t>(length));
  return length;
}

void ScriptedIme::Enable(bool on) {
  enableCalls++;
  enabled = on;
}

uint32_t ScriptedIme::AcquireContext() {
  if (!hasContext) return 0;
  contextsHeld++;
  contextsTaken++;
  return 1;
}

void ScriptedIme::ReleaseContext() { contextsHeld--; }

int ScriptedIme::GetCandidateList(void* buffer, int size) {
  if (!buffer) return static_cast<int>(candidateList.size());
  if (failCandidateRead || size < static_cast<int>(candidateList.size())) return 0;
  std::memcpy(buffer, candidateList.data(), candidateList.size());
  return static_cast<int>(candidateList.size());
}

void ScriptedIme::CancelComposition() {
  cancelCount++;
  text.composition.clear();
  text.cursorBytes = 0;
  text.clauses.clear();
}

void ScriptedIme::SetOpenStatus(bool flag) {
  open = flag;
  PlatformNoThrow("IME の状態の記録", [&] { openStatusSets.push_back(flag); });
}

void ScriptedIme::SetCompositionString(std::string_view cp932) {
  PlatformNoThrow("IME の入力文字列の作成", [&] {
    compositionsSet.emplace_back(cp932);
    text.composition = cp932;
    text.cursorBytes = static_cast<int>(cp932.size());
  });
}
