// Typed text: the ring of typed bytes and editing-key codes, the IME's state,
// and the one-line string inputs that the ring's characters are typed into.
// All of it lives in one block on the main thread: the window procedure fills
// the ring, message processing empties it into the active string input.
#pragma once
#include <cstdint>

constexpr int kCharRingSize = 1025;  // holds at most 1024 bytes
constexpr int kImeTextSize = 1025;   // at most 1024 bytes are ever written
constexpr int kImeClauseDataSize = 2048;
constexpr int kMaxStringInputs = 256;
constexpr int kCursorBlinkPeriodMs = 500;

// One-byte codes that stand for the editing keys in the ring.
constexpr uint8_t kCodeCopy = 0x03;
constexpr uint8_t kCodeBackspace = 0x08;
constexpr uint8_t kCodeTab = 0x09;
constexpr uint8_t kCodeEnter = 0x0D;
constexpr uint8_t kCodeDelete = 0x10;
constexpr uint8_t kCodePageDown = 0x15;
constexpr uint8_t kCodePaste = 0x16;
constexpr uint8_t kCodePageUp = 0x17;
constexpr uint8_t kCodeCut = 0x18;
constexpr uint8_t kCodeEnd = 0x19;
constexpr uint8_t kCodeHome = 0x1A;
constexpr uint8_t kCodeEscape = 0x1B;
constexpr uint8_t kCodeRight = 0x1C;
constexpr uint8_t kCodeLeft = 0x1D;
constexpr uint8_t kCodeUp = 0x1E;
constexpr uint8_t kCodeDown = 0x1F;

struct CharInputRing {
  uint8_t bytes[kCharRingSize];
  int32_t read;
  int32_t write;
  // What the next byte put is: 0 a character's first byte, 1 the trail of
  // a lead byte taken, 2 the trail of a lead byte refused (dropped with it).
  int32_t nextByte;
};

struct ImeState {
  int32_t composing;
  int32_t compositionCursor;  // in characters
  uint8_t composition[kImeTextSize];
  uint8_t savedComposition[kImeTextSize];
  void* candidateList;  // copy of the IME's record, or null
  int32_t candidateListSize;  // 0 with no copy
  int32_t enabled;
  int32_t open;
  int32_t limitToFreeSpace;  // shorten a composition the active input cannot hold
  int32_t compositionMaximum;  // bytes, 0: none
  int32_t restoreStep;  // 0 nothing to do, else the restore step to run from
  uint8_t clauseData[kImeClauseDataSize];
  int32_t clauseCount;
  int32_t waitingForOpenStatus;  // keeps a nested open-status change from waiting again
};

struct StringInputRecord {
  int32_t used;
  int32_t check;
  int32_t ended;
  int32_t cancelled;
  int32_t length;  // bytes, without the terminator
  int32_t maxLength;
  int32_t selectionAnchor;  // -1: no selection
  int32_t selectionEnd;
  int32_t viewStart;
  int32_t cursor;  // byte position 0..length
  char* text;  // maxLength + 1 bytes at least, owned by the record
  int32_t cancelAllowed;
  int32_t singleByteOnly;
  int32_t numericOnly;
};

struct CharInputBlock {
  CharInputRing ring;
  ImeState ime;
  uint32_t blinkStart;  // ms
  int32_t blinkPeriod;  // ms
  int32_t cursorVisible;
  int32_t activeStringInput;  // the handle typed text goes to, -1 none
  StringInputRecord stringInputs[kMaxStringInputs];
};

extern CharInputBlock g_charInput;

// The ring.
int PutInputChar(uint8_t byte);  // 0, or -1 when the byte is dropped
// Takes (take != 0) or peeks the next whole character into out: 0 when none
// is complete, else its length 1 or 2.
int GetInputChar(uint8_t out[2], int take);
// Characters in the first n bytes, up to the terminator.
int CountInputChars(const uint8_t* bytes, int n);
int IsInputControlCode(uint8_t byte);  // 1 for the editing keys' codes
int InitInputCharBuffer();
void ResetInputCursorBlink();

// What the window procedure feeds into the ring.
void PutTypedCharacter(uint64_t character);  // WM_CHAR
void PutKeyControlCode(uint64_t virtualKey);  // WM_KEYDOWN

// The IME.
int SetImeEnabled(int on);
int64_t HandleImeMessage(uint32_t message, uint64_t wParam, int64_t lParam);
// The window procedure's part on activation.
void OnImeWindowActivated();
void RunImeRestoreSequence();
void ApplyCompositionLimit(const StringInputRecord& record);

// String inputs.
StringInputRecord* GetStringInput(int handle);  // null unless valid
int DeleteStringInput(int handle);
int DeleteAllStringInputs();
int ProcessStringInput();
int DeleteSelectedText(StringInputRecord* record);
