// Typed text through the library on the scripted platform: the ring, the
// window's feeding, the line editor, the clipboard and the IME, byte by byte.
// Texts: "a" 61, "あ" 82 A0, "ぁ" 82 9F (its trail byte lies in the lead range),
// "か" 82 A9, "な" 82 C8, "日本" 93 FA 96 7B.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/core_api.h"
#include "core/handle.h"
#include "core/memory.h"
#include "input/char_input.h"
#include "input/input_host.h"
#include "input/input_system.h"
#include "platform/clipboard.h"
#include "platform/ime.h"
#include "platform/input_device.h"
#include "platform/scripted_window.h"
#include "tests/support/scratch_dir.h"

namespace {

const std::string kMixed = "a\x82\xa0\x82\x9f" "b";  // a あ ぁ b: bytes 0, 1-2, 3-4, 5

// One thing the user does: a key, a typed byte, or pressing or releasing Shift.
struct Step {
  uint32_t message;  // 0: Shift
  uint64_t value;
};
Step Key(int virtualKey) { return {WM_KEYDOWN, static_cast<uint64_t>(virtualKey)}; }
Step Ch(uint8_t byte) { return {WM_CHAR, byte}; }
Step Shift(bool down) { return {0, down ? 1u : 0u}; }
constexpr int kLeft = 0x25, kRight = 0x27, kUp = 0x26, kDown = 0x28, kHome = 0x24, kEnd = 0x23, kDelete = 0x2E;

// A string input as its creator would make it, active.
int MakeInput(const std::string& text, int maxLength, int cursor = -1) {
  static int check = 1;
  int slot = 0;
  while (g_charInput.stringInputs[slot].used) slot++;
  StringInputRecord& record = g_charInput.stringInputs[slot];
  record = {};
  record.used = 1;
  record.check = check++;
  record.maxLength = maxLength;
  record.text = static_cast<char*>(VN_ALLOC_ZEROED(static_cast<size_t>(maxLength) + 1));
  std::memcpy(record.text, text.data(), text.size());
  record.length = static_cast<int>(text.size());
  record.cursor = cursor < 0 ? record.length : cursor;
  record.selectionAnchor = record.selectionEnd = -1;
  g_charInput.activeStringInput = MakeHandleValue(HandleTypeStringInput, record.check, slot);
  return g_charInput.activeStringInput;
}

class TextInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetInputHostServices();
    std::memset(&g_inputDevices, 0, sizeof(g_inputDevices));
    SetPlatformWindow(&window);
    SetInputBackend(&devices);
    SetPlatformClipboard(&clipboard);
    SetPlatformIme(&ime);
    ChangeWindowMode(1);
    ASSERT_EQ(LibraryInit(), 0);
  }
  void TearDown() override {
    LibraryEnd();
    for (const StringInputRecord& record : g_charInput.stringInputs) EXPECT_EQ(record.used, 0);
    EXPECT_EQ(ime.contextsHeld, 0) << "an input context taken and not given back, or given back twice";
    SetPlatformIme(nullptr);
    SetPlatformClipboard(nullptr);
    SetInputBackend(nullptr);
    SetPlatformWindow(nullptr);
  }

  StringInputRecord& Active() { return *GetStringInput(g_charInput.activeStringInput); }

  // Runs message passes until every queued message is handled.
  void Pump() {
    while (window.WaitingCount() > 0 && ProcessWindowMessages() == 0) {
    }
    ProcessWindowMessages();
  }
  void Do(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      if (step.message != 0) {
        window.Push(step.message, step.value, 1);
        continue;
      }
      Pump();  // what came before is edited under the old Shift state
      devices.virtualKeys[0xA0] = step.value ? 0x80 : 0;
      devices.now++;
    }
    Pump();
  }
  void Type(const std::string& bytes) {
    for (char c : bytes) window.PushChar(static_cast<uint8_t>(c));
    Pump();
  }
  std::string RingBytes() {
    std::string bytes;
    uint8_t c[2];
    while (int n = GetInputChar(c, 1)) bytes.append(reinterpret_cast<char*>(c), static_cast<size_t>(n));
    return bytes;
  }

  ScratchDir dir;
  ScriptedWindow window;
  ScriptedInputBackend devices;
  ScriptedClipboard clipboard;
  ScriptedIme ime;
};

TEST_F(TextInputTest, TheRingHoldsWholeCharactersOnly) {
  for (int i = 0; i < 1023; i++) ASSERT_EQ(PutInputChar('x'), 0);
  EXPECT_EQ(PutInputChar(0x82), -1);  // one byte free: the character goes whole or not at all
  EXPECT_EQ(PutInputChar(0xA0), -1);  // its trail goes with it
  EXPECT_EQ(PutInputChar('y'), 0);
  EXPECT_EQ(PutInputChar('z'), -1);  // 1024 held
  EXPECT_EQ(RingBytes(), std::string(1023, 'x') + "y");

  uint8_t c[2];
  ASSERT_EQ(PutInputChar(0x82), 0);
  EXPECT_EQ(GetInputChar(c, 1), 0);  // the trail byte has not arrived
  ASSERT_EQ(PutInputChar(0x9F), 0);
  EXPECT_EQ(GetInputChar(c, 0), 2);
  EXPECT_EQ(GetInputChar(c, 1), 2);
  EXPECT_EQ((c[0] << 8) | c[1], 0x829F);
  EXPECT_EQ(GetInputChar(c, 1), 0);

  const uint8_t text[] = {0x61, 0x82, 0x60, 0x62, 0, 0x61, 0x82, 0};
  EXPECT_EQ(CountInputChars(text, 4), 3);
  EXPECT_EQ(CountInputChars(text, 10), 3);  // stops at the terminator
  EXPECT_EQ(CountInputChars(text + 5, 10), 2);  // a lead byte before the terminator stands alone
  EXPECT_EQ(CountInputChars(text, 0), 0);
}

TEST_F(TextInputTest, TheWindowFeedsCharactersAndEditingKeys) {
  for (uint64_t c : {0x0Au, 0x41u, 0x02u, 0x16u, 0x1Cu, 0x01u, 0x7Fu, 0x141u}) window.Push(WM_CHAR, c);
  for (int key : {kDelete, 0x21, 0x41, kLeft}) window.PushKeyDown(key);
  Pump();  // no input is active: the bytes wait in the ring
  EXPECT_EQ(RingBytes(), "\x0d\x41\x16\x01\x7f\x10\x17\x1d");
}

struct EditCase {
  const char* name;
  std::string text;
  int maxLength, cursor;
  std::vector<Step> steps;
  std::string wantText;
  int wantCursor, wantAnchor, wantEnd;
};

TEST_F(TextInputTest, EditingKeysOnMixedText) {
  const EditCase cases[] = {
      {"backspace after a lead-range trail takes one byte", kMixed, 16, 6, {Ch(0x08)}, "a\x82\xa0\x82\x9f", 5, -1, -1},
      {"backspace takes two-byte characters whole", kMixed, 16, 5, {Ch(0x08), Ch(0x08)}, "ab", 1, -1, -1},
      {"left over a lead-range trail", kMixed, 16, 6, {Key(kLeft)}, kMixed, 5, -1, -1},
      {"right by characters, stopping at the end", kMixed, 16, 0,
       {Key(kRight), Key(kRight), Key(kRight), Key(kRight), Key(kRight)}, kMixed, 6, -1, -1},
      {"delete takes the character at the cursor", kMixed, 16, 1, {Key(kDelete)}, "a\x82\x9f" "b", 1, -1, -1},
      {"delete at the end, backspace at the start", kMixed, 16, 6, {Key(kDelete), Key(kHome), Ch(0x08)}, kMixed, 0, -1, -1},
      {"home, end", kMixed, 16, 3, {Key(kHome), Ch('x'), Key(kEnd), Ch('y')}, "x" + kMixed + "y", 8, -1, -1},
      {"shift+left selects back over characters", kMixed, 16, 6,
       {Shift(true), Key(kLeft), Key(kLeft)}, kMixed, 3, 6, 3},
      {"backspace deletes the selection", kMixed, 16, 6,
       {Shift(true), Key(kLeft), Key(kLeft), Shift(false), Ch(0x08)}, "a\x82\xa0", 3, -1, -1},
      {"typing replaces a shift+end selection", kMixed, 16, 1, {Shift(true), Key(kEnd), Shift(false), Ch('x')},
       "ax", 2, -1, -1},
      {"delete without shift removes a shift+home selection", kMixed, 16, 3,
       {Shift(true), Key(kHome), Shift(false), Key(kDelete)}, "\x82\x9f" "b", 0, -1, -1},
      {"shift+right twice", "abcd", 8, 0, {Shift(true), Key(kRight), Key(kRight)}, "abcd", 2, 0, 2},
      {"right without shift ends the selection", "abcd", 8, 0,
       {Shift(true), Key(kRight), Key(kRight), Shift(false), Key(kRight)}, "abcd", 3, -1, -1},
      {"tab, up and down are ignored; page keys and 0x01 are characters", "", 8, 0,
       {Ch(0x09), Key(kUp), Key(kDown), Key(0x21), Key(0x22), Ch(0x01)}, "\x17\x15\x01", 3, -1, -1},
      {"a typed two-byte character", "", 8, 0, {Ch(0x82), Ch(0xA0), Ch('a')}, "\x82\xa0" "a", 3, -1, -1},
      {"full: the last character goes, cursor at the end", "abcd", 4, 4, {Ch('e')}, "abce", 4, -1, -1},
      {"full: the last character goes, cursor inside", "abcd", 4, 1, {Ch('e')}, "aebc", 2, -1, -1},
      {"full: a two-byte last character goes whole", "a\x82\xa0", 3, 3, {Ch('b')}, "ab", 2, -1, -1},
      {"full: a two-byte character pushes one out", "ab", 3, 0, {Ch(0x82), Ch(0xA0)}, "\x82\xa0" "a", 2, -1, -1},
      {"a two-byte character never fits in one byte", "", 1, 0, {Ch(0x82), Ch(0xA0), Ch('c')}, "c", 1, -1, -1},
      {"nothing fits in none", "", 0, 0, {Ch('a')}, "", 0, -1, -1},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    int handle = MakeInput(c.text, c.maxLength, c.cursor);
    Do(c.steps);
    const StringInputRecord& r = Active();
    EXPECT_EQ(std::string(r.text), c.wantText);
    EXPECT_EQ(r.length, static_cast<int>(c.wantText.size()));
    EXPECT_EQ(r.cursor, c.wantCursor);
    EXPECT_EQ(r.selectionAnchor, c.wantAnchor);
    EXPECT_EQ(r.selectionEnd, c.wantEnd);
    Do({Shift(false)});
    DeleteStringInput(handle);
  }
}

TEST_F(TextInputTest, FiltersEnterAndEscape) {
  MakeInput("", 16);
  Active().numericOnly = 1;
  Type("-1-2.5.x");  // '-' only at the start, one '.', digits
  EXPECT_STREQ(Active().text, "-12.5");
  Do({Key(kHome), Shift(true), Key(kEnd), Shift(false), Ch('x')});  // refused, yet the selection goes
  EXPECT_STREQ(Active().text, "");
  Active().numericOnly = 0;
  Active().singleByteOnly = 1;
  Type("a\x82\xa0" "b\x1b");  // Escape does nothing without leave to cancel
  EXPECT_STREQ(Active().text, "ab");
  Type("c\rd");
  EXPECT_STREQ(Active().text, "abc");
  EXPECT_EQ(Active().ended, 1);
  EXPECT_EQ(Active().cancelled, 0);
  Type("e");  // an ended input takes nothing
  EXPECT_EQ(RingBytes(), "de");

  MakeInput("x", 4);
  Active().cancelAllowed = 1;
  Type("\x1by");
  EXPECT_EQ(Active().ended, 1);
  EXPECT_EQ(Active().cancelled, 1);
  EXPECT_EQ(RingBytes(), "y");
}

TEST_F(TextInputTest, CopyCutAndPasteThroughTheClipboard) {
  MakeInput(kMixed, 4096, 3);
  clipboard.hasText = true;
  Do({Shift(true), Key(kHome), Shift(false), Ch(0x03)});
  EXPECT_EQ(clipboard.text, "a\x82\xa0");
  clipboard.text = "-";
  Do({Key(kEnd), Shift(true), Key(kLeft), Key(kDelete), Shift(false)});  // Shift+Delete cuts
  EXPECT_EQ(clipboard.text, "b");
  EXPECT_EQ(std::string(Active().text), "a\x82\xa0\x82\x9f");
  Do({Key(kHome), Ch(0x16)});
  EXPECT_EQ(std::string(Active().text), "ba\x82\xa0\x82\x9f");
  EXPECT_EQ(Active().cursor, 1);

  // Pasted editing keys are dropped, not obeyed; a pasted line end ends the input.
  MakeInput("", 16);
  clipboard.text = "x\x16\x08\x1by\rz";
  Type("\x16");
  EXPECT_STREQ(Active().text, "xy");
  EXPECT_EQ(Active().ended, 1);
  EXPECT_EQ(RingBytes(), "z");

  // Megabytes: what the ring holds, in whole characters; then a lone lead byte at the end.
  MakeInput("", 4096);
  clipboard.text = "a";
  for (int i = 0; i < 600000; i++) clipboard.text += "\x82\xa0";
  Type("\x16");
  std::string want = "a";
  for (int i = 0; i < 511; i++) want += "\x82\xa0";
  EXPECT_EQ(std::string(Active().text), want);
  MakeInput("", 16);
  clipboard.text = "ab\x82";
  Type("\x16");
  Type("c");
  EXPECT_STREQ(Active().text, "abc");
}

TEST_F(TextInputTest, AShiftReadThatRunsMessagesNeitherNestsNorOutlivesTheInput) {
  MakeInput("ab", 8, 0);
  devices.now++;  // the Shift read pumps messages: the 'x' must wait for the move
  Do({Key(kRight), Ch('x')});
  EXPECT_STREQ(Active().text, "axb");
  EXPECT_EQ(Active().cursor, 2);

  // The window closes during the read: the input is deleted and stays untouched.
  MakeInput("ab", 8, 0);
  devices.now++;
  window.PushKeyDown(kRight);
  for (int i = 0; i < 4; i++) window.PushKeyUp(0x41);
  window.PushClose();
  while (ProcessWindowMessages() == 0) {
  }
  for (const StringInputRecord& record : g_charInput.stringInputs) {
    StringInputRecord zero{};
    EXPECT_EQ(std::memcmp(&record, &zero, sizeof(zero)), 0);
  }
}

TEST_F(TextInputTest, HandlesAreCheckedAndTheLastDeletionSwitchesTheImeOff) {
  int a = MakeInput("a", 4), b = MakeInput("b", 4);
  int slot = HandleSlot(b), check = HandleCheck(b), stale = MakeHandleValue(10, check + 1, slot);
  for (int bad : {-1, 0, MakeHandleValue(HandleTypeFont, check, slot), stale, MakeHandleValue(10, check, 300)})
    EXPECT_EQ(DeleteStringInput(bad), -1) << std::hex << bad;
  PutInputChar('z');
  g_charInput.activeStringInput = stale;
  EXPECT_EQ(ProcessStringInput(), -1);
  EXPECT_EQ(RingBytes(), "z");
  SetImeEnabled(1);
  EXPECT_EQ(DeleteStringInput(a), 0);
  EXPECT_EQ(DeleteStringInput(a), -1);
  EXPECT_TRUE(ime.enabled);
  EXPECT_EQ(DeleteStringInput(b), 0);
  SetImeEnabled(0);  // already off: not switched again
  EXPECT_FALSE(ime.enabled);
  EXPECT_EQ(ime.enableCalls, 2);
}

TEST_F(TextInputTest, CompositionAndResultFillTheImeFieldsAndTheInput) {
  MakeInput("a", 64);
  ime.text = {"\x82\xa9\x82\xc8", 2, {0, 4}, ""};
  window.Push(WM_IME_STARTCOMPOSITION);
  window.Push(WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS | GCS_COMPCLAUSE);
  Pump();
  const ImeState& s = g_charInput.ime;
  EXPECT_EQ(s.composing, 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(s.composition), "\x82\xa9\x82\xc8");
  EXPECT_EQ(s.compositionCursor, 1);
  EXPECT_EQ(s.clauseCount, 2);
  const uint8_t clauses[8] = {0, 0, 0, 0, 4, 0, 0, 0};
  EXPECT_EQ(std::memcmp(s.clauseData, clauses, 8), 0);

  ime.text = {"", 0, {}, "\x93\xfa\x96\x7b"};
  window.Push(WM_IME_COMPOSITION, 0, GCS_RESULTSTR);
  window.Push(WM_IME_ENDCOMPOSITION);
  Pump();
  EXPECT_STREQ(Active().text, "a\x93\xfa\x96\x7b");
  EXPECT_EQ(s.composing, 0);
  EXPECT_EQ(s.composition[0], 0);

  // Longer than the field: whole characters up to 1024 bytes, the terminator kept.
  ime.text = {"a", 0, {}, ""};
  for (int i = 0; i < 600; i++) ime.text.composition += "\x82\xa0";
  window.Push(WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS);
  ime.text.cursorBytes = 5000;
  Pump();
  EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(s.composition)), 1023u);
  EXPECT_EQ(s.compositionCursor, 512);
}

TEST_F(TextInputTest, TheCandidateListCopyAndItsSizeAgree) {
  struct Row {
    uint64_t notify;
    int listBytes, failRead, wantSize;
  } rows[] = {
      {IMN_OPENCANDIDATE, 24, 0, 24}, {IMN_CHANGECANDIDATE, 32, 1, 0}, {IMN_SETCANDIDATEPOS, 24, 0, 24},
      {IMN_CHANGECANDIDATE, 0, 0, 0},   {IMN_OPENCANDIDATE, 24, 0, 24},   {IMN_CLOSECANDIDATE, 24, 0, 0},
  };
  for (const Row& row : rows) {
    ime.candidateList.clear();
    for (int i = 0; i < row.listBytes; i++) ime.candidateList.push_back(static_cast<uint8_t>(i * 7));
    ime.failCandidateRead = row.failRead != 0;
    window.Push(WM_IME_NOTIFY, row.notify);
    Pump();
    const ImeState& s = g_charInput.ime;
    EXPECT_EQ(s.candidateListSize, row.wantSize);
    EXPECT_EQ(s.candidateList != nullptr, row.wantSize != 0);
    EXPECT_TRUE(!s.candidateList || std::memcmp(s.candidateList, ime.candidateList.data(), 24) == 0);
    EXPECT_EQ(ime.contextsHeld, 0);
  }
  window.Push(WM_IME_NOTIFY, IMN_OPENCANDIDATE);
  Pump();
  SetImeEnabled(1);
  SetImeEnabled(0);  // switching off lets the copy go
  EXPECT_EQ(g_charInput.ime.candidateList, nullptr);
}

TEST_F(TextInputTest, OpenStatusRestoreAndCompositionLimit) {
  SetImeEnabled(1);
  ime.open = true;
  window.Push(WM_IME_NOTIFY, IMN_SETOPENSTATUS);
  Pump();
  EXPECT_EQ(g_charInput.ime.open, 1);

  ime.text.composition = "\x82\xa9";
  window.PushActivation(false);
  window.PushActivation(true);
  Pump();
  EXPECT_EQ(g_charInput.ime.restoreStep, 0);
  EXPECT_EQ(ime.openStatusSets, (std::vector<bool>{false, true, true}));
  EXPECT_EQ(ime.cancelCount, 1);
  EXPECT_EQ(ime.compositionsSet, std::vector<std::string>{"\x82\xa9"});

  struct Row {
    int limitToFreeSpace, maximum;
    std::string composition, want;  // want "": not cut
  } rows[] = {
      {1, 0, "abcdefg\x82\xa9xyz", "abcdefg"},  // 8 bytes free; か at bytes 7-8 does not fit
      {0, 4, "\x82\xa9\x82\xc8\x82\xa0", "\x82\xa9\x82\xc8"},
      {0, 5, "\x82\xa9\x82\xc8\x82\xa0", "\x82\xa9\x82\xc8"},
      {1, 12, "abcdefgh", ""},
      {0, 0, std::string(40, 'q'), ""},
  };
  for (const Row& row : rows) {
    MakeInput("ab", 10);
    g_charInput.ime.limitToFreeSpace = row.limitToFreeSpace;
    g_charInput.ime.compositionMaximum = row.maximum;
    ime.compositionsSet.clear();
    ime.text = {row.composition, 0, {}, ""};
    window.Push(WM_IME_COMPOSITION, 0, GCS_COMPSTR);
    Pump();
    EXPECT_EQ(ime.compositionsSet.empty() ? "" : ime.compositionsSet[0], row.want) << row.composition;
  }
}

// Real SDL events under the dummy driver: typed text, compositions short and
// long, editing keys and the clipboard, through the SDL window into the input.
TEST(SdlTextInput, EventsReachTheActiveInput) {
  ScratchDir dir;
  SetInputBackend(nullptr);
  SetPlatformWindow(nullptr);
  ResetInputHostServices();
  ChangeWindowMode(1);
  ASSERT_EQ(LibraryInit(), 0);
  uint32_t id = SDL_GetWindowID(static_cast<SDL_Window*>(GetPlatformWindow()->NativeHandle()));
  MakeInput("", 64);
  auto pump = [] {
    for (int i = 0; i < 4; i++) ProcessWindowMessages();
  };
  auto text = [&](uint32_t type, const char* utf8, int cursor) {
    SDL_Event e{};
    e.type = type;
    e.edit.windowID = id;  // the text and editing events share their first fields
    std::strcpy(e.edit.text, utf8);
    e.edit.start = cursor;
    SDL_PushEvent(&e);
  };
  auto key = [&](SDL_Scancode scancode, SDL_Keycode sym, uint16_t mod) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = id;
    e.key.keysym = {scancode, sym, mod, 0};
    SDL_PushEvent(&e);
  };
  const ImeState& s = g_charInput.ime;

  text(SDL_TEXTINPUT, "\xC3" "a\xFF", 0);  // bytes that are no UTF-8 are dropped
  text(SDL_TEXTEDITING, "\xE3\x81\x8B\xE3\x81\xAA", 1);  // "かな", cursor after か
  pump();
  EXPECT_EQ(s.composing, 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(s.composition), "\x82\xa9\x82\xc8");
  EXPECT_EQ(s.compositionCursor, 1);
  EXPECT_EQ(s.clauseCount, 2);

  std::string longUtf8, longSjis;
  for (int i = 0; i < 40; i++) longUtf8 += "\xE3\x81\x82", longSjis += "\x82\xa0";
  SDL_Event ext{};
  ext.type = SDL_TEXTEDITING_EXT;
  ext.editExt.windowID = id;
  ext.editExt.text = SDL_strdup(longUtf8.c_str());
  ext.editExt.start = 40;
  SDL_PushEvent(&ext);
  pump();
  EXPECT_EQ(reinterpret_cast<const char*>(s.composition), longSjis);
  EXPECT_EQ(s.compositionCursor, 40);

  text(SDL_TEXTINPUT, "\xE6\x97\xA5\xE6\x9C\xAC", 0);  // "日本" ends the composition
  pump();
  EXPECT_EQ(s.composing, 0);
  EXPECT_EQ(s.composition[0], 0);
  EXPECT_STREQ(GetStringInput(g_charInput.activeStringInput)->text, "a\x93\xfa\x96\x7b");

  ASSERT_EQ(SDL_SetClipboardText("x"), 0);
  key(SDL_SCANCODE_LEFT, SDLK_LEFT, 0);
  key(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, 0);
  key(SDL_SCANCODE_V, SDLK_v, KMOD_LCTRL);
  pump();
  EXPECT_STREQ(GetStringInput(g_charInput.activeStringInput)->text, "ax\x96\x7b");
  EXPECT_EQ(LibraryEnd(), 0);
}

}  // namespace
