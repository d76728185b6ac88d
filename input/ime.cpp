// The IME: its switch, its messages, the restore of a composition after the
// window was away, and the limit that keeps a composition within the active input.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/core_api.h"
#include "core/helpers.h"
#include "core/log.h"
#include "core/memory.h"
#include "input/char_input.h"
#include "input/input_host.h"
#include "platform/ime.h"
#include "platform/window.h"

namespace {

constexpr int kImeTextBytes = kImeTextSize - 1;  // the last byte stays the terminator
constexpr int kClauseBytes = 1024;
constexpr int64_t kOpenStatusWaitUs = 2000;
constexpr int kNoCompositionLimit = 0x10000;

void FreeCandidateList() {
  ImeState& ime = g_charInput.ime;
  MemFree(ime.candidateList);
  ime.candidateList = nullptr;
  ime.candidateListSize = 0;
}

// Reads a text part of the IME into one of the block's 1025-byte buffers.
void ReadImeText(PlatformIme* platform, uint32_t part, uint8_t* buffer) {
  std::memset(buffer, 0, kImeTextBytes);
  platform->GetCompositionString(part, buffer, kImeTextBytes);
}

void OnComposition(int64_t flags) {
  ImeState& ime = g_charInput.ime;
  PlatformIme* platform = GetPlatformIme();
  if (!platform->AcquireContext()) return;
  if (flags & GCS_COMPSTR) ReadImeText(platform, GCS_COMPSTR, ime.composition);
  if (flags & GCS_RESULTSTR) {
    ReadImeText(platform, GCS_RESULTSTR, ime.composition);
    for (int i = 0; i < kImeTextBytes && ime.composition[i] != 0; i++) PutInputChar(ime.composition[i]);
    ReadImeText(platform, GCS_COMPSTR, ime.composition);
  }
  if (flags & GCS_CURSORPOS) {
    int cursor = platform->GetCompositionString(GCS_CURSORPOS, nullptr, 0);
    ime.compositionCursor = CountInputChars(ime.composition, std::clamp(cursor, 0, kImeTextBytes));
  }
  if (flags & GCS_COMPCLAUSE) {
    std::memset(ime.clauseData, 0, kClauseBytes);
    int bytes = platform->GetCompositionString(GCS_COMPCLAUSE, ime.clauseData, kClauseBytes);
    ime.clauseCount = std::max(bytes, 0) / 4;
  }
  platform->ReleaseContext();
}

void OnCandidateListChange() {
  ImeState& ime = g_charInput.ime;
  PlatformIme* platform = GetPlatformIme();
  uint32_t context = platform->AcquireContext();
  if (!context) return;
  int size = std::max(platform->GetCandidateList(nullptr, 0), 0);
  // The old copy goes whatever follows, so the pointer and the size always agree.
  FreeCandidateList();
  if (size == 0) {
    platform->ReleaseContext();
    LogPrintf("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x\n",
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(GetMainWindow())), context);
    return;
  }
  ime.candidateList = VN_ALLOC(static_cast<size_t>(size));
  if (!ime.candidateList) {
    platform->ReleaseContext();
    char text[1024];
    std::snprintf(text, sizeof(text), "漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                  size);
    g_inputHost.fatalErrorExit(text);
    return;  // only under a test's table, whose exit returns
  }
  ime.candidateListSize = size;
  if (platform->GetCandidateList(ime.candidateList, size) == 0) {
    FreeCandidateList();
    LogPrintf("漢字変換候補の取得に失敗しました  BufSize:%d\n", size);
  }
  platform->ReleaseContext();
}

void OnOpenStatusChange() {
  ImeState& ime = g_charInput.ime;
  if (ime.waitingForOpenStatus) return;
  ime.waitingForOpenStatus = 1;
  // The IME settles its state through messages of its own; let them run first.
  int64_t start = GetMicroCount();
  while (GetMicroCount() - start < kOpenStatusWaitUs) {
    if (g_inputHost.processWindowMessages() != 0) break;
  }
  ime.waitingForOpenStatus = 0;
  ime.open = GetPlatformIme()->GetOpenStatus() ? 1 : 0;
}

}  // namespace

int SetImeEnabled(int on) {
  ImeState& ime = g_charInput.ime;
  if (on == ime.enabled) return 0;
  GetPlatformIme()->Enable(on != 0);
  ime.enabled = on;
  if (!on) {
    FreeCandidateList();
    std::memset(ime.composition, 0, kImeTextBytes);
    ime.composing = 0;
  }
  return 0;
}

int64_t HandleImeMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
  ImeState& ime = g_charInput.ime;
  ResetInputCursorBlink();
  switch (message) {
    case WM_IME_STARTCOMPOSITION:
      ime.composing = 1;
      ime.compositionCursor = 0;
      return 0;
    case WM_IME_ENDCOMPOSITION:
      std::memset(ime.composition, 0, kImeTextBytes);
      ime.composing = 0;
      return 0;
    case WM_IME_COMPOSITION:
      OnComposition(lParam);
      return 0;
    case WM_IME_SETCONTEXT:
      return 0;  // no IME window of the system is shown
    case WM_IME_NOTIFY:
      switch (wParam) {
        case IMN_OPENCANDIDATE:
        case IMN_CHANGECANDIDATE:
        case IMN_SETCANDIDATEPOS:
          OnCandidateListChange();
          return 0;
        case IMN_CLOSECANDIDATE:
          FreeCandidateList();
          return 0;
        case IMN_SETOPENSTATUS:
          OnOpenStatusChange();
          return 0;
        default:
          return 0;
      }
    default:
      return 0;
  }
}

void OnImeWindowActivated() {
  const ImeState& ime = g_charInput.ime;
  if (ime.enabled && ime.open) g_charInput.ime.restoreStep = 1;
}

void RunImeRestoreSequence() {
  ImeState& ime = g_charInput.ime;
  PlatformIme* platform = GetPlatformIme();
  // Each step runs on into the next: the sequence ends within one call.
  switch (ime.restoreStep) {
    case 1:
      if (GetMainWindow() && platform->AcquireContext()) {
        std::memset(ime.composition, 0, kImeTextBytes);
        ReadImeText(platform, GCS_COMPSTR, ime.savedComposition);
        platform->CancelComposition();
        platform->ReleaseContext();
      }
      [[fallthrough]];
    case 2:
      platform->SetOpenStatus(false);
      [[fallthrough]];
    case 3:
      platform->SetOpenStatus(true);
      [[fallthrough]];
    case 4:
      if (GetMainWindow() && platform->AcquireContext()) {
        platform->SetOpenStatus(true);
        platform->SetCompositionString(reinterpret_cast<const char*>(ime.savedComposition));
        platform->ReleaseContext();
      }
      ime.restoreStep = 0;
      break;
    default:
      break;
  }
}

void ApplyCompositionLimit(const StringInputRecord& record) {
  const ImeState& ime = g_charInput.ime;
  int compositionLength = static_cast<int>(strnlen(reinterpret_cast<const char*>(ime.composition), kImeTextSize));
  int limit = kNoCompositionLimit;
  bool over = false;
  if (ime.limitToFreeSpace && record.length + compositionLength > record.maxLength) {
    limit = record.maxLength - record.length;
    over = true;
  }
  if (ime.compositionMaximum && compositionLength > ime.compositionMaximum) {
    limit = std::min(limit, ime.compositionMaximum);
    over = true;
  }
  if (!over) return;
  PlatformIme* platform = GetPlatformIme();
  if (!platform->AcquireContext()) return;
  char text[kImeTextSize] = {};
  int length = platform->GetCompositionString(GCS_COMPSTR, text, kImeTextBytes);
  if (length > limit) {
    char cut[kImeTextSize];
    int kept = StrCopyWholeChars(cut, text, std::max(limit, 0) + 1);
    platform->CancelComposition();
    platform->SetCompositionString(std::string_view(cut, static_cast<size_t>(kept)));
  }
  platform->ReleaseContext();
}
