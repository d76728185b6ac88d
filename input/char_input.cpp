// The typed-character ring and what the window procedure feeds into it.
#include "input/char_input.h"

#include <cstring>

#include "core/core_api.h"
#include "core/helpers.h"
#include "core/log.h"
#include "core/memory.h"

// No input is active before the start clears the block either.
constinit CharInputBlock g_charInput = {{}, {}, 0, kCursorBlinkPeriodMs, 1, -1, {}};

namespace {

constexpr int kRingCapacity = kCharRingSize - 1;

enum NextByte : int32_t { kFirstByte = 0, kTrailTaken = 1, kTrailDropped = 2 };

struct KeyControlCode {
  uint8_t virtualKey;
  uint8_t code;
};

// Editing keys that type no character of their own; ended by a 0 pair.
constexpr KeyControlCode kKeyControlCodes[] = {
    {0x2E, kCodeDelete}, {0x25, kCodeLeft}, {0x27, kCodeRight}, {0x26, kCodeUp},       {0x28, kCodeDown},
    {0x24, kCodeHome},   {0x23, kCodeEnd},  {0x21, kCodePageUp}, {0x22, kCodePageDown}, {0, 0},
};

int Advance(int index) { return index + 1 == kCharRingSize ? 0 : index + 1; }

int RingBytesHeld() {
  const CharInputRing& ring = g_charInput.ring;
  return (ring.write - ring.read + kCharRingSize) % kCharRingSize;
}

bool IsRingFull() { return RingBytesHeld() >= kRingCapacity; }

// Control characters that typing may put into the ring as they are.
bool IsTypedControlKept(uint8_t c) {
  switch (c) {
    case kCodeCopy: case kCodeBackspace: case kCodeTab: case kCodeEnter: case kCodeDelete:
    case kCodeEscape: case kCodePaste: case kCodeCut: case 0x01:
      return true;
    default:
      return false;
  }
}

// The block owns the candidate-list copy and the inputs' texts; clearing it
// must not lose them.
void FreeBlockMemory() {
  MemFree(g_charInput.ime.candidateList);
  for (StringInputRecord& record : g_charInput.stringInputs)
    if (record.used) MemFree(record.text);
}

}  // namespace

int PutInputChar(uint8_t byte) {
  CharInputRing& ring = g_charInput.ring;
  switch (ring.nextByte) {
    case kTrailDropped:
      ring.nextByte = kFirstByte;
      return -1;
    case kTrailTaken:
      ring.nextByte = kFirstByte;  // its room was kept with the lead byte
      break;
    default:
      // A two-byte character goes in whole or not at all, so the reader never
      // waits for a trail byte that was dropped.
      if (IsMultiByteLeadByte(byte)) {
        if (kRingCapacity - RingBytesHeld() < 2) {
          ring.nextByte = kTrailDropped;
          return -1;
        }
        ring.nextByte = kTrailTaken;
      }
      break;
  }
  if (IsRingFull()) return -1;
  ring.bytes[ring.write] = byte;
  ring.write = Advance(ring.write);
  return 0;
}

int GetInputChar(uint8_t out[2], int take) {
  CharInputRing& ring = g_charInput.ring;
  out[0] = out[1] = 0;
  if (ring.read == ring.write) return 0;
  int start = ring.read;
  int next = Advance(start);
  out[0] = ring.bytes[start];
  int length = 1;
  if (!IsInputControlCode(out[0]) && IsMultiByteLeadByte(out[0])) {
    if (next == ring.write) return 0;  // its trail byte has not arrived yet
    out[1] = ring.bytes[next];
    next = Advance(next);
    length = 2;
  }
  if (take) ring.read = next;
  return length;
}

int CountInputChars(const uint8_t* bytes, int n) {
  int count = 0;
  for (int position = 0; position < n && bytes[position] != 0; count++) {
    // A lead byte right before the terminator stands alone; stepping over
    // both would run past the end of the text.
    position += IsMultiByteLeadByte(bytes[position]) && bytes[position + 1] != 0 ? 2 : 1;
  }
  return count;
}

int IsInputControlCode(uint8_t byte) {
  for (const KeyControlCode* key = kKeyControlCodes; key->virtualKey != 0; key++)
    if (key->code == byte) return 1;
  return 0;
}

int InitInputCharBuffer() {
  LogWrite("文字コードバッファの初期化を行います... ");
  FreeBlockMemory();
  std::memset(&g_charInput, 0, sizeof(g_charInput));
  g_charInput.activeStringInput = -1;
  g_charInput.blinkStart = 0;
  g_charInput.blinkPeriod = kCursorBlinkPeriodMs;
  g_charInput.cursorVisible = 1;
  LogWrite("完了しました\n");
  return 0;
}

void ResetInputCursorBlink() {
  g_charInput.blinkStart = GetMilliCount();
  g_charInput.cursorVisible = 1;
}

void PutTypedCharacter(uint64_t character) {
  if (character > 0xFF) return;  // one byte a message; anything else is not ours
  auto c = static_cast<uint8_t>(character);
  if (c == 0x0A) {
    PutInputChar(kCodeEnter);
  } else if (c >= 0x20 || IsTypedControlKept(c)) {
    PutInputChar(c);
  }
}

void PutKeyControlCode(uint64_t virtualKey) {
  if (IsRingFull()) return;
  for (const KeyControlCode* key = kKeyControlCodes; key->virtualKey != 0; key++) {
    if (key->virtualKey == virtualKey) {
      PutInputChar(key->code);
      return;
    }
  }
}
