// The SDL window on a real X server with a window manager that puts it in a
// frame of its own: what the window learns of its size and place when SDL's
// belief and the server's differ.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/window.h"
#include "platform/x11_window_size.h"
#include "tests/support/environment_value.h"
#include "tests/support/x_server.h"

// Last: Xlib's macros would clash with names above.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace {

// Pumps the window's messages until the condition holds; the bound is far
// beyond what the X server and the window manager need, however loaded the
// machine.
bool PumpUntil(PlatformWindow* window, const std::function<bool()>& condition) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  WindowMessage message;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    while (window->PollMessage(&message)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(X11Window, ASizeHandedToSdlInsideAWindowManagersFrameKeepsItsPlaceOnTheScreen) {
  if (!HasProgram("Xvfb") || !HasProgram("openbox")) GTEST_SKIP() << "no Xvfb or openbox";
  XServerForTest server(640, 480, true);
  ASSERT_FALSE(server.name().empty());
  EnvironmentValue video("SDL_VIDEODRIVER", "x11"), display("DISPLAY", server.name().c_str());
  SetPlatformWindow(nullptr);
  PlatformWindow* window = GetPlatformWindow();
  ASSERT_EQ(window->OpenDisplay(), 0);
  WindowSettings settings;
  settings.title = "x11 test";
  settings.width = 320;
  settings.height = 240;
  settings.windowed = true;
  ASSERT_EQ(window->Create(settings), 0);
  SDL_Window* sdl = static_cast<SDL_Window*>(window->NativeHandle());
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(sdl, &info));
  const Window xwindow = info.info.x11.window;
  Display* x = XOpenDisplay(server.name().c_str());
  ASSERT_NE(x, nullptr);

  // Framed, and away from the corner, so that its place in the frame and its
  // place on the screen differ.
  SDL_SetWindowPosition(sdl, 100, 80);
  int screenX = 0, screenY = 0, inFrameX = 0, inFrameY = 0;
  auto placed = [&] {
    Window root = 0, parent = 0, *children = nullptr, child = 0;
    unsigned count = 0;
    if (!XQueryTree(x, xwindow, &root, &parent, &children, &count)) return false;
    if (children) XFree(children);
    XWindowAttributes attributes;
    if (parent == root || !XGetWindowAttributes(x, xwindow, &attributes)) return false;
    inFrameX = attributes.x;
    inFrameY = attributes.y;
    XTranslateCoordinates(x, xwindow, root, 0, 0, &screenX, &screenY, &child);
    return screenX >= 100 && screenY >= 80;
  };
  ASSERT_TRUE(PumpUntil(window, placed)) << screenX << ", " << screenY;
  ASSERT_NE(screenX, inFrameX);

  // The window manager stops answering: SDL asks for another size and keeps
  // believing it, while the server keeps the old one.
  ASSERT_EQ(kill(server.windowManager(), SIGSTOP), 0);
  SDL_SetWindowSize(sdl, 400, 300);
  int w = 0, h = 0;
  SDL_GetWindowSize(sdl, &w, &h);
  ASSERT_EQ(w, 400);
  MatchWindowSizeToServer(sdl);
  EXPECT_TRUE(PumpUntil(window, [&] {
    SDL_GetWindowSize(sdl, &w, &h);
    return w == 320 && h == 240;
  }));
  // The size handed over carries the window's place on the screen, not in its frame.
  int sdlX = 0, sdlY = 0;
  SDL_GetWindowPosition(sdl, &sdlX, &sdlY);
  EXPECT_EQ(sdlX, screenX);
  EXPECT_EQ(sdlY, screenY);
  const IntRect client = window->GetClientRectOnScreen();
  EXPECT_EQ(client.left, screenX);
  EXPECT_EQ(client.top, screenY);
  EXPECT_EQ(client.right, screenX + 320);
  EXPECT_EQ(client.bottom, screenY + 240);

  kill(server.windowManager(), SIGCONT);
  XCloseDisplay(x);
  window->CloseDisplay();
}

// Where the window is on the screen and how large, as the server has it.
struct Geometry {
  int x, y, width, height;
  bool operator==(const Geometry&) const = default;
};

Geometry OnServer(Display* x, Window window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(x, window, &attributes)) return {};
  Geometry g{0, 0, attributes.width, attributes.height};
  Window child = 0;
  XTranslateCoordinates(x, window, attributes.root, 0, 0, &g.x, &g.y, &child);
  return g;
}

TEST(X11Window, WithoutAWindowManagerFullScreenCoversTheDisplayAndWindowModeGivesTheWindowBack) {
  if (!HasProgram("Xvfb")) GTEST_SKIP() << "no Xvfb";
  XServerForTest server(800, 600, false);
  ASSERT_FALSE(server.name().empty());
  EnvironmentValue video("SDL_VIDEODRIVER", "x11"), display("DISPLAY", server.name().c_str());
  SetPlatformWindow(nullptr);
  PlatformWindow* window = GetPlatformWindow();
  ASSERT_EQ(window->OpenDisplay(), 0);
  // Full screen is offered on a desktop smaller than the window.
  EXPECT_TRUE(window->DisplayOffersSize(1024, 768));
  WindowSettings settings;
  settings.title = "x11 test";
  settings.width = 320;
  settings.height = 240;
  ASSERT_EQ(window->Create(settings), 0);
  SDL_Window* sdl = static_cast<SDL_Window*>(window->NativeHandle());
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(sdl, &info));
  Display* x = XOpenDisplay(server.name().c_str());
  ASSERT_NE(x, nullptr);

  const struct {
    const char* what;
    bool windowed;
    Geometry expected;
  } steps[] = {
      {"made full screen", false, {0, 0, 800, 600}},
      // (800 - 320) / 2 = 240, (600 - 240) / 2 = 180.
      {"to window mode", true, {240, 180, 320, 240}},
      {"full screen again", false, {0, 0, 800, 600}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    if (&step != &steps[0]) {
      ASSERT_EQ(window->SetWindowed(step.windowed), 0);
    }
    Geometry shown{};
    int w = 0, h = 0;
    EXPECT_TRUE(PumpUntil(window, [&] {
      shown = OnServer(x, info.info.x11.window);
      SDL_GetWindowSize(sdl, &w, &h);
      return shown == step.expected && w == step.expected.width && h == step.expected.height;
    })) << shown.x << ", " << shown.y << ", " << shown.width << " x " << shown.height << "; SDL " << w << " x " << h;
  }
  XCloseDisplay(x);
  window->CloseDisplay();
}

}  // namespace
