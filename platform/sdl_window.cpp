// The main window on SDL2, and the pump that turns SDL events into window messages.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <string>
#include <utility>

#include "platform/frame_viewport.h"
#include "platform/ime.h"
#include "platform/no_throw.h"
#include "platform/present.h"
#include "platform/sdl_subsystem.h"
#include "platform/text_encoding.h"
#include "platform/window.h"
#include "platform/window_message_queue.h"
#include "platform/x11_display_probe.h"
#include "platform/x11_window_size.h"

namespace {

// Virtual-key code of a physical key (US/Japanese layout positions); 0 for keys without one.
int VirtualKeyOfScancode(SDL_Scancode sc) {
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 0x41 + (sc - SDL_SCANCODE_A);
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return 0x31 + (sc - SDL_SCANCODE_1);
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return 0x70 + (sc - SDL_SCANCODE_F1);
  if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return 0x61 + (sc - SDL_SCANCODE_KP_1);
  switch (sc) {
    case SDL_SCANCODE_0: return 0x30;
    case SDL_SCANCODE_KP_0: return 0x60;
    case SDL_SCANCODE_BACKSPACE: return 0x08;
    case SDL_SCANCODE_TAB: return 0x09;
    case SDL_SCANCODE_RETURN: return 0x0D;
    case SDL_SCANCODE_KP_ENTER: return 0x0D;
    case SDL_SCANCODE_LSHIFT: case SDL_SCANCODE_RSHIFT: return 0x10;
    case SDL_SCANCODE_LCTRL: case SDL_SCANCODE_RCTRL: return 0x11;
    case SDL_SCANCODE_LALT: case SDL_SCANCODE_RALT: return 0x12;
    case SDL_SCANCODE_PAUSE: return 0x13;
    case SDL_SCANCODE_CAPSLOCK: return 0x14;
    case SDL_SCANCODE_LANG1: return 0x15;  // kana
    case SDL_SCANCODE_INTERNATIONAL2: return 0x15;
    case SDL_SCANCODE_INTERNATIONAL4: return 0x1C;  // henkan
    case SDL_SCANCODE_INTERNATIONAL5: return 0x1D;  // muhenkan
    case SDL_SCANCODE_ESCAPE: return 0x1B;
    case SDL_SCANCODE_SPACE: return 0x20;
    case SDL_SCANCODE_PAGEUP: return 0x21;
    case SDL_SCANCODE_PAGEDOWN: return 0x22;
    case SDL_SCANCODE_END: return 0x23;
    case SDL_SCANCODE_HOME: return 0x24;
    case SDL_SCANCODE_LEFT: return 0x25;
    case SDL_SCANCODE_UP: return 0x26;
    case SDL_SCANCODE_RIGHT: return 0x27;
    case SDL_SCANCODE_DOWN: return 0x28;
    case SDL_SCANCODE_PRINTSCREEN: return 0x2C;
    case SDL_SCANCODE_INSERT: return 0x2D;
    case SDL_SCANCODE_DELETE: return 0x2E;
    case SDL_SCANCODE_LGUI: return 0x5B;
    case SDL_SCANCODE_RGUI: return 0x5C;
    case SDL_SCANCODE_APPLICATION: return 0x5D;
    case SDL_SCANCODE_KP_MULTIPLY: return 0x6A;
    case SDL_SCANCODE_KP_PLUS: return 0x6B;
    case SDL_SCANCODE_KP_MINUS: return 0x6D;
    case SDL_SCANCODE_KP_PERIOD: return 0x6E;
    case SDL_SCANCODE_KP_DIVIDE: return 0x6F;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 0x90;
    case SDL_SCANCODE_SCROLLLOCK: return 0x91;
    case SDL_SCANCODE_SEMICOLON: return 0xBB;  // ";+" on the Japanese layout
    case SDL_SCANCODE_APOSTROPHE: return 0xBA;  // ":*"
    case SDL_SCANCODE_EQUALS: return 0xDE;      // "^~"
    case SDL_SCANCODE_COMMA: return 0xBC;
    case SDL_SCANCODE_MINUS: return 0xBD;
    case SDL_SCANCODE_PERIOD: return 0xBE;
    case SDL_SCANCODE_SLASH: return 0xBF;
    case SDL_SCANCODE_LEFTBRACKET: return 0xC0;  // "@`"
    case SDL_SCANCODE_RIGHTBRACKET: return 0xDB;  // "[{"
    case SDL_SCANCODE_BACKSLASH: return 0xDD;  // "]}"
    case SDL_SCANCODE_NONUSHASH: return 0xDD;
    case SDL_SCANCODE_GRAVE: return 0xF3;  // hankaku/zenkaku
    case SDL_SCANCODE_INTERNATIONAL1: return 0xE2;  // "\_"
    case SDL_SCANCODE_INTERNATIONAL3: return 0xDC;  // yen
    default: return 0;
  }
}

// The character a key types by itself (what the text-input events leave out:
// control characters), or -1.
int ControlCharOfKey(const SDL_Keysym& key) {
  switch (key.sym) {
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_RETURN: case SDLK_KP_ENTER: return 0x0D;
    case SDLK_ESCAPE: return 0x1B;
    default: break;
  }
  if ((key.mod & KMOD_CTRL) && !(key.mod & KMOD_ALT) && key.sym >= SDLK_a && key.sym <= SDLK_z)
    return 0x01 + (key.sym - SDLK_a);
  return -1;
}

class SdlWindow;

// SDL reports the composition being typed and the text it gives; it has no
// candidate list, no open status of its own and no way to set a composition.
class SdlIme : public PlatformIme {
 public:
  explicit SdlIme(SdlWindow* window) : window_(window) {}
  // Text input stays started: typed text arrives through it whatever the IME's state.
  void Enable(bool on) override {}
  uint32_t AcquireContext() override;
  void ReleaseContext() override {}
  int GetCandidateList(void* buffer, int size) override { return 0; }
  void CancelComposition() override;
  void SetOpenStatus(bool flag) override { open_ = flag; }
  bool GetOpenStatus() override { return open_; }
  // With no way to set it, the composition is given up instead.
  void SetCompositionString(std::string_view cp932) override { CancelComposition(); }

  void Forget() {
    composing = false;
    text = {};
  }

  bool composing = false;

 private:
  SdlWindow* window_;
  bool open_ = false;
};

class SdlWindow : public PlatformWindow {
 public:
  int OpenDisplay() override {
    if (displayOpen_) return 0;
    failure_.clear();
    // Compositions too long for the plain editing event come whole in the extended one.
    SDL_SetHint(SDL_HINT_IME_SUPPORT_EXTENDED_TEXT, "1");
    if (PlatformInitSdlSubsystem(SDL_INIT_VIDEO) != 0) {
      NoteFailure(SDL_GetError());
      return -1;
    }
    // Where no display answers, SDL falls back to drivers that show nothing:
    // a program would then run where nobody sees it. Only when asked for by
    // name (tests, servers) do they count as a display.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (driver && (!asked || !*asked) &&
        (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0 ||
         SDL_strcmp(driver, "evdev") == 0)) {
      PlatformQuitSdlSubsystem(SDL_INIT_VIDEO);
      // An X server that refuses the client (one that wants a cookie the
      // game was not given) answered all the same: SDL falls back here too,
      // as it does where the server has no screen of the number named. A
      // screen that is no number is refused by Xlib before any server is
      // asked, so whether one answers says nothing then.
      const char* x = SDL_getenv("DISPLAY");
      if (x && *x && XDisplayScreenMalformed(x)) {
        NoteFailure("DISPLAY is malformed: its screen, after the dot, is not a number");
      } else if (x && *x && XDisplayAnswers(x)) {
        const int screen = XDisplayMissingScreen(x);
        if (screen >= 0) {
          NoteFailure(("the X server named by DISPLAY answered, but has no screen " + std::to_string(screen)).c_str());
        } else {
          NoteFailure("the X server named by DISPLAY answered but refused the connection");
        }
      } else {
        NoteFailure(
            (std::string("no display named there answered, and SDL's ") + driver + " driver shows nothing").c_str());
      }
      return -1;
    }
    displayOpen_ = true;
    return 0;
  }

  const char* DisplayFailure() override { return failure_.c_str(); }

  void CloseDisplay() override {
    if (!displayOpen_) return;
    Destroy();
    PlatformQuitSdlSubsystem(SDL_INIT_VIDEO);
    displayOpen_ = false;
  }

  int DesktopBitsPerPixel() override {
    SDL_DisplayMode mode;
    if (!displayOpen_ || SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
    return SDL_BYTESPERPIXEL(mode.format) * 8;
  }

  // Full screen shows the frame scaled to the desktop, whatever its size.
  bool DisplayOffersSize(int width, int height) override {
    SDL_DisplayMode mode;
    if (!displayOpen_ || SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
    return width > 0 && height > 0 && mode.w > 0 && mode.h > 0;
  }

  int Create(const WindowSettings& settings) override {
    if (!displayOpen_ || window_) return -1;
    std::string title;
    if (Cp932ToUtf8(settings.title ? settings.title : "", &title) == TextConversion::OutOfMemory) return -1;
    uint32_t flags = SDL_WINDOW_RESIZABLE | (settings.windowed ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
    window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               settings.width, settings.height, flags);
    if (!window_) return -1;
    windowId_ = SDL_GetWindowID(window_);
    frameWidth_ = settings.width;
    frameHeight_ = settings.height;
    SDL_ShowCursor(settings.cursorVisible ? SDL_ENABLE : SDL_DISABLE);
    SDL_GetMouseState(&mouseX_, &mouseY_);
    ime_.Forget();
    pending_.clear();
    posted_.Clear();
    SDL_StartTextInput();
    windowedWidth_ = settings.width;
    windowedHeight_ = settings.height;
    FitWindowToServer(window_, windowedWidth_, windowedHeight_);
    return 0;
  }

  void Destroy() override {
    if (!window_) return;
    PlatformPresenterWindowGone();  // a renderer must not outlive its window
    SDL_StopTextInput();
    SDL_DestroyWindow(window_);
    window_ = nullptr;
    windowId_ = 0;
    ime_.Forget();
    pending_.clear();
    posted_.Clear();
    SDL_ShowCursor(SDL_ENABLE);
  }

  bool Exists() override { return window_ != nullptr; }

  void SetTitle(const char* text) override {
    if (!window_) return;
    std::string title;
    if (Cp932ToUtf8(text ? text : "", &title) == TextConversion::OutOfMemory) return;
    SDL_SetWindowTitle(window_, title.c_str());
  }

  int SetWindowed(bool windowed) override {
    if (!window_) return -1;
    if (SDL_SetWindowFullscreen(window_, windowed ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) return -1;
    FitWindowToServer(window_, windowedWidth_, windowedHeight_);
    return 0;
  }

  void SetCursorVisible(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

  void SetFrameSize(int width, int height) override {
    frameWidth_ = width;
    frameHeight_ = height;
  }

  void GetMousePosition(int* x, int* y) override {
    // A window that a window manager moves or makes full screen under a still
    // pointer hears of no motion, and SDL may not say that it moved: the X
    // server knows where the pointer is now.
    if (window_) ReadPointerFromServer(window_, &mouseX_, &mouseY_);
    int ww = 0, wh = 0;
    if (window_) SDL_GetWindowSize(window_, &ww, &wh);
    if (ww <= 0 || wh <= 0 || frameWidth_ <= 0 || frameHeight_ <= 0) {
      *x = mouseX_;
      *y = mouseY_;
      return;
    }
    // The frame is shown scaled to fit, centred; map back through the same scale.
    FrameViewport view = FitFrameInWindow(ww, wh, frameWidth_, frameHeight_);
    *x = static_cast<int>(std::floor((mouseX_ - view.left) / view.scale));
    *y = static_cast<int>(std::floor((mouseY_ - view.top) / view.scale));
  }

  IntRect GetClientRectOnScreen() override {
    IntRect rect{0, 0, 0, 0};
    if (!window_) return rect;
    int x, y, w, h;
    SDL_GetWindowPosition(window_, &x, &y);
    SDL_GetWindowSize(window_, &w, &h);
    return {x, y, x + w, y + h};
  }

  void* NativeHandle() override { return window_; }

  bool PollMessage(WindowMessage* out) override {
    if (TakePending(out)) return true;
    if (posted_.Pop(out)) return true;
    if (!displayOpen_) return false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      Translate(event);
      if (TakePending(out)) return true;
    }
    return false;
  }

  void PostMessage(uint32_t message, uint64_t wParam, int64_t lParam) override {
    posted_.Push({message, wParam, lParam, {}});
  }

  PlatformIme* Ime() { return &ime_; }
  uint32_t Id() const { return window_ ? windowId_ : 0; }

  // The composition has ended without a result.
  void EndComposition() {
    if (!ime_.composing) return;
    ime_.Forget();
    Queue(WM_IME_ENDCOMPOSITION, 0);
  }

 private:
  bool TakePending(WindowMessage* out) {
    if (pending_.empty()) return false;
    *out = std::move(pending_.front());
    pending_.pop_front();
    return true;
  }

  // A message that finds no memory is lost; the pump goes on.
  void Queue(uint32_t message, uint64_t wParam, int64_t lParam = 0, std::string text = {}) {
    PlatformNoThrow("ウインドウメッセージの作成",
                    [&] { pending_.push_back({message, wParam, lParam, std::move(text)}); });
  }

  bool IsOurs(uint32_t windowId) const { return window_ && (windowId == windowId_ || windowId == 0); }

  void Translate(const SDL_Event& e) {
    switch (e.type) {
      case SDL_QUIT:
        if (window_) Queue(WM_CLOSE, 0);
        break;
      case SDL_WINDOWEVENT:
        if (!IsOurs(e.window.windowID)) break;
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) Queue(WM_ACTIVATEAPP, 1);
        else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) Queue(WM_ACTIVATEAPP, 0);
        else if (e.window.event == SDL_WINDOWEVENT_CLOSE) Queue(WM_CLOSE, 0);
        else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) MatchWindowSizeToServer(window_);
        break;
      case SDL_SYSWMEVENT:
        if (window_) FollowScreenSize(window_, e.syswm.msg, windowedWidth_, windowedHeight_);
        break;
      case SDL_DISPLAYEVENT:
        if (window_) Queue(WM_DISPLAYCHANGE, 0);
        break;
      case SDL_MOUSEMOTION:
        // Merged: only the latest position is kept, no message.
        if (!IsOurs(e.motion.windowID)) break;
        mouseX_ = e.motion.x;
        mouseY_ = e.motion.y;
        break;
      case SDL_MOUSEWHEEL: {
        if (!IsOurs(e.wheel.windowID)) break;
        int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        if (notches == 0) break;
        int delta = std::clamp(notches * kWheelDelta, -32768, 32767);
        Queue(WM_MOUSEWHEEL, static_cast<uint64_t>(static_cast<uint16_t>(delta)) << 16);
        break;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        if (!IsOurs(e.key.windowID)) break;
        int vk = VirtualKeyOfScancode(e.key.keysym.scancode);
        bool down = e.type == SDL_KEYDOWN;
        if (vk) {
          int64_t lParam = 1 | (static_cast<int64_t>(e.key.keysym.scancode & 0xFF) << 16);
          if (e.key.repeat || !down) lParam |= int64_t{1} << 30;
          if (!down) lParam |= int64_t{1} << 31;
          Queue(down ? WM_KEYDOWN : WM_KEYUP, static_cast<uint64_t>(vk), lParam);
        }
        int c = down ? ControlCharOfKey(e.key.keysym) : -1;
        if (c >= 0) Queue(WM_CHAR, static_cast<uint64_t>(c), 1);
        break;
      }
      case SDL_TEXTINPUT: {
        if (!IsOurs(e.text.windowID)) break;
        std::string bytes;
        Utf8ToCp932(e.text.text, &bytes, 0);
        if (ime_.composing) {
          // The text that ends a composition is its result.
          ime_.text = {};
          ime_.text.result = std::move(bytes);
          Queue(WM_IME_COMPOSITION, 0, GCS_RESULTSTR);
          ime_.composing = false;
          Queue(WM_IME_ENDCOMPOSITION, 0);
          break;
        }
        for (unsigned char b : bytes) Queue(WM_CHAR, b, 1);
        break;
      }
      case SDL_TEXTEDITING:
        if (IsOurs(e.edit.windowID)) Compose(e.edit.text, e.edit.start);
        break;
      case SDL_TEXTEDITING_EXT:
        if (IsOurs(e.editExt.windowID)) Compose(e.editExt.text, e.editExt.start);
        SDL_free(e.editExt.text);
        break;
      case SDL_DROPFILE: {
        if (e.drop.file) {
          if (IsOurs(e.drop.windowID)) {
            std::string path;
            Utf8ToCp932(e.drop.file, &path);
            Queue(WM_DROPFILES, 0, 0, std::move(path));
          }
          SDL_free(e.drop.file);
        }
        break;
      }
      case SDL_DROPTEXT:
        SDL_free(e.drop.file);
        break;
      default:
        break;
    }
  }

  // The composition as SDL reports it: UTF-8 with its cursor in characters;
  // the IME keeps it in Shift-JIS with the cursor in bytes, as one clause.
  void Compose(const char* utf8, int cursorChars) {
    if (!utf8 || utf8[0] == '\0') {
      EndComposition();
      return;
    }
    if (!ime_.composing) Queue(WM_IME_STARTCOMPOSITION, 0);
    ime_.composing = true;
    // Out of memory the composition is left empty rather than half set:
    // clause offsets past its end would be read as text.
    PlatformNoThrow("IME の入力文字列の作成", [&] {
      std::string head;
      Utf8ToCp932(utf8, &ime_.text.composition, 0);
      Utf8ToCp932(Utf8Prefix(utf8, cursorChars), &head, 0);
      ime_.text.cursorBytes = static_cast<int>(head.size());
      ime_.text.clauses.clear();
      ime_.text.clauses = {0, static_cast<uint32_t>(ime_.text.composition.size())};
    });
    if (ime_.text.clauses.empty()) {
      ime_.text.composition.clear();
      ime_.text.cursorBytes = 0;
    }
    Queue(WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS | GCS_COMPCLAUSE);
  }

  // The first count characters of a UTF-8 string.
  static std::string_view Utf8Prefix(const char* text, int count) {
    const char* p = text;
    for (int i = 0; i < count && *p; i++) {
      p++;
      while ((static_cast<unsigned char>(*p) & 0xC0) == 0x80) p++;
    }
    return std::string_view(text, static_cast<size_t>(p - text));
  }

  // What the user named for the display, then SDL's reason; nothing where
  // nothing was named.
  void NoteFailure(const char* reason) {
    PlatformNoThrow("ディスプレイのエラー文の作成", [&] {
      std::string named;
      const std::pair<const char*, const char*> settings[] = {
          {"SDL_VIDEODRIVER", SDL_GetHint(SDL_HINT_VIDEODRIVER)},
          {"DISPLAY", SDL_getenv("DISPLAY")},
          {"WAYLAND_DISPLAY", SDL_getenv("WAYLAND_DISPLAY")}};
      for (const auto& [name, value] : settings) {
        if (!value || !*value) continue;
        named += (named.empty() ? "" : ", ") + std::string(name) + "=" + value;
      }
      failure_.clear();
      if (named.empty()) return;
      failure_ = "The display could not be opened (" + named + "): " + (reason && *reason ? reason : "no reason given");
    });
  }

  bool displayOpen_ = false;
  std::string failure_;
  SDL_Window* window_ = nullptr;
  uint32_t windowId_ = 0;
  int frameWidth_ = 0, frameHeight_ = 0;
  int windowedWidth_ = 0, windowedHeight_ = 0;  // as made
  int mouseX_ = 0, mouseY_ = 0;  // window pixels
  SdlIme ime_{this};
  std::deque<WindowMessage> pending_;  // messages of one SDL event, handed out in order
  WindowMessageQueue posted_;
};

uint32_t SdlIme::AcquireContext() { return window_->Id(); }

void SdlIme::CancelComposition() {
  SDL_ClearComposition();
  window_->EndComposition();
}

SdlWindow g_sdlWindow;
PlatformWindow* g_window = &g_sdlWindow;
PlatformIme* g_ime = g_sdlWindow.Ime();

}  // namespace

PlatformWindow* GetPlatformWindow() { return g_window; }

void SetPlatformWindow(PlatformWindow* window) { g_window = window ? window : &g_sdlWindow; }

PlatformIme* GetPlatformIme() { return g_ime; }

void SetPlatformIme(PlatformIme* ime) { g_ime = ime ? ime : g_sdlWindow.Ime(); }
