// The SDL window's pump: SDL events in, window messages out (dummy video driver).
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>

#include "platform/clipboard.h"
#include "platform/ime.h"
#include "platform/window.h"

namespace {

class SdlPump : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatformWindow(nullptr);
    window = GetPlatformWindow();
    ASSERT_EQ(window->OpenDisplay(), 0);
    WindowSettings settings;
    settings.title = "\x83\x65\x83\x58\x83\x67";  // "テスト"
    settings.width = 320;
    settings.height = 240;
    settings.windowed = true;
    ASSERT_EQ(window->Create(settings), 0);
    id = SDL_GetWindowID(static_cast<SDL_Window*>(window->NativeHandle()));
    // Whatever SDL queued for the new window is not what these tests look at.
    WindowMessage m;
    while (window->PollMessage(&m)) {
    }
  }
  void TearDown() override { window->CloseDisplay(); }

  void PushKey(uint32_t type, SDL_Scancode scancode, SDL_Keycode sym, uint16_t mod = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.windowID = id;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
  }
  void PushText(const char* utf8) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = id;
    std::strncpy(e.text.text, utf8, sizeof(e.text.text) - 1);
    SDL_PushEvent(&e);
  }
  void PushWindowEvent(SDL_WindowEventID event) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = id;
    e.window.event = event;
    SDL_PushEvent(&e);
  }
  void PushMotion(int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = id;
    e.motion.x = x;
    e.motion.y = y;
    SDL_PushEvent(&e);
  }
  void PushWheel(int y, bool flipped) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = id;
    e.wheel.y = y;
    e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
    SDL_PushEvent(&e);
  }
  // The next message, which must be of the given kind.
  WindowMessage Next(uint32_t message) {
    WindowMessage m;
    EXPECT_TRUE(window->PollMessage(&m));
    EXPECT_EQ(m.message, message);
    return m;
  }

  PlatformWindow* window = nullptr;
  uint32_t id = 0;
};

TEST_F(SdlPump, KeysBecomeVirtualKeyMessagesWithTheirControlCharacters) {
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
  PushKey(SDL_KEYUP, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_C, SDLK_c, KMOD_LCTRL);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_RETURN, SDLK_RETURN);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_F1, SDLK_F1);
  EXPECT_EQ(Next(WM_KEYDOWN).wParam, 0x1Bu);
  EXPECT_EQ(Next(WM_CHAR).wParam, 0x1Bu);
  WindowMessage up = Next(WM_KEYUP);
  EXPECT_EQ(up.wParam, 0x1Bu);
  EXPECT_NE(up.lParam & (int64_t{1} << 31), 0);
  EXPECT_EQ(Next(WM_KEYDOWN).wParam, 0x43u);  // 'C'
  EXPECT_EQ(Next(WM_CHAR).wParam, 0x03u);     // Ctrl+C: copy
  EXPECT_EQ(Next(WM_KEYDOWN).wParam, 0x0Du);
  EXPECT_EQ(Next(WM_CHAR).wParam, 0x0Du);
  EXPECT_EQ(Next(WM_KEYDOWN).wParam, 0x70u);  // F1 types nothing
  WindowMessage none;
  EXPECT_FALSE(window->PollMessage(&none));
}

TEST_F(SdlPump, TypedTextArrivesAsShiftJisBytes) {
  PushText("a\xE3\x81\x82");  // "aあ"
  PushText("\xF0\x9F\x98\x80");  // an emoji: no Shift-JIS form, dropped
  PushText("z");
  EXPECT_EQ(Next(WM_CHAR).wParam, 0x61u);
  EXPECT_EQ(Next(WM_CHAR).wParam, 0x82u);
  EXPECT_EQ(Next(WM_CHAR).wParam, 0xA0u);
  EXPECT_EQ(Next(WM_CHAR).wParam, 0x7Au);
}

TEST_F(SdlPump, MouseMotionIsMergedIntoThePositionWithoutMessages) {
  for (int i = 0; i < 200; i++) PushMotion(i % 100, 10);
  PushMotion(80, 60);
  PushKey(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a);
  EXPECT_EQ(Next(WM_KEYDOWN).wParam, 0x41u);  // the first message despite 201 motions before it
  int x, y;
  window->GetMousePosition(&x, &y);
  EXPECT_EQ(x, 80);
  EXPECT_EQ(y, 60);
  // A 640 x 480 frame shown in the 320 x 240 window: positions scale back up.
  window->SetFrameSize(640, 480);
  window->GetMousePosition(&x, &y);
  EXPECT_EQ(x, 160);
  EXPECT_EQ(y, 120);
  // A 640 x 240 frame: half scale, letterboxed 60 pixels from the top.
  window->SetFrameSize(640, 240);
  PushMotion(100, 70);
  // SDL hands out what was pushed after its last pump only on the next poll.
  WindowMessage m;
  for (int pass = 0; pass < 2; pass++) {
    while (window->PollMessage(&m)) {
    }
  }
  window->GetMousePosition(&x, &y);
  EXPECT_EQ(x, 200);
  EXPECT_EQ(y, 20);
}

TEST_F(SdlPump, WindowEventsBecomeActivationCloseWheelAndDropMessages) {
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
  PushWheel(2, false);
  PushWheel(1, true);
  SDL_Event drop{};
  drop.type = SDL_DROPFILE;
  drop.drop.windowID = id;
  drop.drop.file = SDL_strdup("/tmp/\xE6\x97\xA5\xE6\x9C\xAC.png");  // "/tmp/日本.png"
  SDL_PushEvent(&drop);
  PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);

  EXPECT_EQ(Next(WM_ACTIVATEAPP).wParam, 0u);
  EXPECT_EQ(Next(WM_ACTIVATEAPP).wParam, 1u);
  EXPECT_EQ(static_cast<int16_t>(Next(WM_MOUSEWHEEL).wParam >> 16), 240);
  EXPECT_EQ(static_cast<int16_t>(Next(WM_MOUSEWHEEL).wParam >> 16), -120);
  EXPECT_EQ(Next(WM_DROPFILES).text, "/tmp/\x93\xfa\x96\x7b.png");
  Next(WM_CLOSE);
  Next(WM_CLOSE);
}

TEST_F(SdlPump, CompositionIsReportedWithItsTextAndCursor) {
  SDL_Event edit{};
  edit.type = SDL_TEXTEDITING;
  edit.edit.windowID = id;
  std::strcpy(edit.edit.text, "a\xE3\x81\x8B");  // "aか", cursor after both
  edit.edit.start = 2;
  SDL_PushEvent(&edit);
  edit.edit.text[0] = '\0';
  SDL_PushEvent(&edit);
  Next(WM_IME_STARTCOMPOSITION);
  WindowMessage m = Next(WM_IME_COMPOSITION);
  EXPECT_EQ(GetPlatformIme()->text.composition, "a\x82\xa9");
  EXPECT_EQ(GetPlatformIme()->text.cursorBytes, 3);  // bytes before the cursor
  EXPECT_EQ(m.lParam, static_cast<int64_t>(GCS_COMPSTR | GCS_CURSORPOS | GCS_COMPCLAUSE));
  Next(WM_IME_ENDCOMPOSITION);
}

TEST_F(SdlPump, PostedMessagesComeOutInOrderAndDieWithTheWindow) {
  window->PostMessage(WM_SOCKET_EVENT, 7, 9);
  window->PostMessage(WM_INPUT_FLAG_A, 1, 0);
  WindowMessage m = Next(WM_SOCKET_EVENT);
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_EQ(m.lParam, 9);
  Next(WM_INPUT_FLAG_A);
  window->PostMessage(WM_INPUT_FLAG_B, 1, 0);
  window->Destroy();
  EXPECT_FALSE(window->Exists());
  EXPECT_FALSE(window->PollMessage(&m));
}

TEST_F(SdlPump, ClipboardCarriesShiftJisThroughUtf8) {
  PlatformClipboard* clipboard = GetPlatformClipboard();
  ASSERT_EQ(clipboard->SetText("\x93\xfa\x96\x7b\x8c\xea abc"), 0);  // "日本語 abc"
  char* utf8 = SDL_GetClipboardText();
  EXPECT_STREQ(utf8, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E abc");
  SDL_free(utf8);
  std::string back;
  ASSERT_EQ(clipboard->GetText(&back), 0);
  EXPECT_EQ(back, "\x93\xfa\x96\x7b\x8c\xea abc");
  SDL_SetClipboardText("");
  EXPECT_EQ(clipboard->GetText(&back), -1);  // holds no text
}

}  // namespace
