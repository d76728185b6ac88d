// String inputs: the handle table and the line editor that applies typed
// characters and editing keys to the active input once per message pass.
#include <algorithm>
#include <cstring>

#include "core/core_api.h"
#include "core/handle.h"
#include "core/helpers.h"
#include "core/memory.h"
#include "input/char_input.h"
#include "input/input_system.h"

namespace {

constexpr int kKeyCodeLeftShift = 0x2A;
constexpr int kKeyCodeRightShift = 0x36;

int g_processing = 0;

int StringInputHandle(int slot) {
  return MakeHandleValue(HandleTypeStringInput, g_charInput.stringInputs[slot].check, slot);
}

bool IsShiftHeld() { return IsKeyDownByCode(kKeyCodeLeftShift) || IsKeyDownByCode(kKeyCodeRightShift); }

bool HasSelection(const StringInputRecord& record) { return record.selectionAnchor != -1; }

void ClearSelection(StringInputRecord* record) { record->selectionAnchor = record->selectionEnd = -1; }

// Bytes of the character at position: 2 for a lead byte whose trail is in the text.
int CharLengthAt(const StringInputRecord& record, int position) {
  return IsMultiByteLeadByte(static_cast<uint8_t>(record.text[position])) && position + 1 < record.length ? 2 : 1;
}

// Bytes of the character that ends at position. Only a walk from the start
// tells a lead byte from a trail byte that lies in the lead range.
int CharLengthBefore(const StringInputRecord& record, int position) {
  int start = 0;
  for (;;) {
    int n = CharLengthAt(record, start);
    if (start + n >= position) return position - start;
    start += n;
  }
}

// Removes n bytes at position, the terminator moving down with the rest.
void RemoveBytes(StringInputRecord* record, int position, int n) {
  std::memmove(record->text + position, record->text + position + n,
               static_cast<size_t>(record->length - position - n) + 1);
  record->length -= n;
}

// The selected bytes lo..hi, kept within the text.
void GetSelection(const StringInputRecord& record, int* lo, int* hi) {
  *lo = std::clamp(std::min(record.selectionAnchor, record.selectionEnd), 0, record.length);
  *hi = std::clamp(std::max(record.selectionAnchor, record.selectionEnd), 0, record.length);
}

void CopySelectionToClipboard(const StringInputRecord& record) {
  int lo, hi;
  GetSelection(record, &lo, &hi);
  int length = hi - lo;
  auto* copy = static_cast<char*>(VN_ALLOC(static_cast<size_t>(length) + 1));
  if (!copy) return;
  std::memcpy(copy, record.text + lo, static_cast<size_t>(length));
  copy[length] = '\0';
  PutClipboardText(copy);
  MemFree(copy);
}

void Cut(StringInputRecord* record) {
  if (!HasSelection(*record)) return;
  CopySelectionToClipboard(*record);
  DeleteSelectedText(record);
}

// Codes the line editor acts on; Enter is not among them, so a pasted line
// end still ends the input.
bool IsEditingCommand(uint8_t byte) {
  switch (byte) {
    case kCodeCopy: case kCodeBackspace: case kCodeTab: case kCodeDelete: case kCodePaste: case kCodeCut:
    case kCodeEnd: case kCodeHome: case kCodeEscape: case kCodeRight: case kCodeLeft: case kCodeUp: case kCodeDown:
      return true;
    default:
      return false;
  }
}

// The clipboard's text goes back through the ring as if typed, without the
// bytes that would act as editing keys (a paste must not paste again) and
// without a lead byte cut off from its trail.
void Paste() {
  int size = GetClipboardTextInto(nullptr, 0);
  if (size < 1) return;
  auto* text = static_cast<char*>(VN_ALLOC(static_cast<size_t>(size)));
  if (!text) return;
  if (GetClipboardTextInto(text, size) == 0) {
    for (const char* p = text; *p;) {
      int n = SjisCharLength(p);
      if (n == 1 && IsMultiByteLeadByte(static_cast<uint8_t>(*p))) break;
      if (n == 2 || !IsEditingCommand(static_cast<uint8_t>(*p))) {
        for (int i = 0; i < n; i++) PutInputChar(static_cast<uint8_t>(p[i]));
      }
      p += n;
    }
  }
  MemFree(text);
}

bool AcceptsCharacter(const StringInputRecord& record, const uint8_t* c, int n) {
  if (record.numericOnly) {
    if (c[0] >= '0' && c[0] <= '9') return true;
    if (c[0] == '-') return record.cursor == 0;
    if (c[0] == '.') return StrFindByte(record.text, '.') == nullptr;
    return false;
  }
  if (record.singleByteOnly && n == 2) return false;
  return true;
}

void Insert(StringInputRecord* record, const uint8_t* c, int n) {
  DeleteSelectedText(record);  // typing replaces the selection, even a character then refused
  if (!AcceptsCharacter(*record, c, n)) return;
  // A character longer than the whole input would empty it and still not fit.
  if (n > record->maxLength) return;
  while (record->length + n > record->maxLength) {
    int oldEnd = record->length;
    int last = CharLengthBefore(*record, oldEnd);
    record->length -= last;
    record->text[record->length] = '\0';
    if (record->cursor == oldEnd) record->cursor -= last;
  }
  std::memmove(record->text + record->cursor + n, record->text + record->cursor,
               static_cast<size_t>(record->length - record->cursor) + 1);
  std::memcpy(record->text + record->cursor, c, static_cast<size_t>(n));
  record->cursor += n;
  record->length += n;
}

// Moves the cursor to target; with Shift the selection follows it.
void MoveCursor(StringInputRecord* record, int target, bool shift) {
  if (!shift) {
    ClearSelection(record);
  } else {
    if (!HasSelection(*record)) record->selectionAnchor = record->cursor;
    record->selectionEnd = target;
  }
  record->cursor = target;
}

// Applies one character from the ring. Keys that look at Shift read the
// keyboard, which runs window messages: the input may be gone afterwards,
// so they return false when it is.
bool ApplyCharacter(int handle, StringInputRecord* record, const uint8_t* c, int n) {
  switch (c[0]) {
    case kCodeCopy:
      if (HasSelection(*record)) CopySelectionToClipboard(*record);
      return true;
    case kCodeBackspace:
      if (HasSelection(*record)) {
        DeleteSelectedText(record);
      } else if (record->cursor > 0) {
        int back = CharLengthBefore(*record, record->cursor);
        record->cursor -= back;
        RemoveBytes(record, record->cursor, back);
      }
      return true;
    case kCodeTab:
    case kCodeUp:
    case kCodeDown:
      return true;
    case kCodeEnter:
      record->ended = 1;
      return true;
    case kCodeDelete:
      if (HasSelection(*record)) {
        bool shift = IsShiftHeld();
        if (GetStringInput(handle) != record) return false;
        if (shift)
          Cut(record);
        else
          DeleteSelectedText(record);
      } else if (record->cursor < record->length) {
        RemoveBytes(record, record->cursor, CharLengthAt(*record, record->cursor));
      }
      return true;
    case kCodePaste:
      Paste();
      return true;
    case kCodeCut:
      Cut(record);
      return true;
    case kCodeEscape:
      if (record->cancelAllowed) record->cancelled = record->ended = 1;
      return true;
    case kCodeEnd:
    case kCodeHome:
    case kCodeRight:
    case kCodeLeft: {
      int target;
      if (c[0] == kCodeEnd) {
        target = record->length;
      } else if (c[0] == kCodeHome) {
        target = 0;
      } else if (c[0] == kCodeRight) {
        if (record->cursor >= record->length) return true;
        target = record->cursor + CharLengthAt(*record, record->cursor);
      } else {
        if (record->cursor <= 0) return true;
        target = record->cursor - CharLengthBefore(*record, record->cursor);
      }
      bool shift = IsShiftHeld();
      if (GetStringInput(handle) != record) return false;
      MoveCursor(record, target, shift);
      return true;
    }
    default:
      Insert(record, c, n);
      return true;
  }
}

int EditActiveInput() {
  int handle = g_charInput.activeStringInput;
  if (handle == -1) return 0;
  StringInputRecord* record = GetStringInput(handle);
  if (!record) return -1;
  if (record->ended) return 0;
  ApplyCompositionLimit(*record);
  uint8_t c[2];
  while (!record->ended) {
    int n = GetInputChar(c, 1);
    if (n == 0) break;
    ResetInputCursorBlink();
    if (!ApplyCharacter(handle, record, c, n)) break;
  }
  return 0;
}

}  // namespace

StringInputRecord* GetStringInput(int handle) {
  if (handle < 0 || HandleKind(handle) != HandleTypeStringInput) return nullptr;
  int slot = HandleSlot(handle);
  if (slot >= kMaxStringInputs) return nullptr;
  StringInputRecord* record = &g_charInput.stringInputs[slot];
  if (!record->used || record->check != HandleCheck(handle)) return nullptr;
  return record;
}

int DeleteStringInput(int handle) {
  StringInputRecord* record = GetStringInput(handle);
  if (!record) return -1;
  MemFree(record->text);
  std::memset(record, 0, sizeof(*record));
  if (g_charInput.activeStringInput == handle) g_charInput.activeStringInput = -1;
  for (const StringInputRecord& other : g_charInput.stringInputs)
    if (other.used) return 0;
  SetImeEnabled(0);
  return 0;
}

int DeleteAllStringInputs() {
  for (int slot = 0; slot < kMaxStringInputs; slot++)
    if (g_charInput.stringInputs[slot].used == 1) DeleteStringInput(StringInputHandle(slot));
  g_charInput.activeStringInput = -1;
  return 0;
}

int DeleteSelectedText(StringInputRecord* record) {
  if (!HasSelection(*record)) return 0;
  int lo, hi;
  GetSelection(*record, &lo, &hi);
  record->cursor = lo;
  RemoveBytes(record, lo, hi - lo);
  ClearSelection(record);
  if (record->length < record->viewStart) record->viewStart = record->length;
  return 0;
}

int ProcessStringInput() {
  // Reading Shift runs window messages, and with them this pass's work again.
  if (g_processing) return 0;
  g_processing = 1;
  RunImeRestoreSequence();
  int result = EditActiveInput();
  g_processing = 0;
  return result;
}
