#include "platform/x11_window_size.h"

#include <SDL_syswm.h>

void MatchWindowSizeToServer(SDL_Window* window) {
  if (!window) return;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  const Window xwindow = info.info.x11.window;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, xwindow, &attributes) || attributes.width <= 0 || attributes.height <= 0) {
    return;
  }
  int width = 0, height = 0;
  SDL_GetWindowSize(window, &width, &height);
  if (width == attributes.width && height == attributes.height) return;
  // SDL offers no way to set the size it keeps for a full-screen window; the
  // configure event is what it learns a window's size from.
  XEvent event = {};
  event.xconfigure.type = ConfigureNotify;
  event.xconfigure.display = display;
  event.xconfigure.event = xwindow;
  event.xconfigure.window = xwindow;
  event.xconfigure.x = attributes.x;
  event.xconfigure.y = attributes.y;
  event.xconfigure.width = attributes.width;
  event.xconfigure.height = attributes.height;
  event.xconfigure.border_width = attributes.border_width;
  XSendEvent(display, xwindow, False, StructureNotifyMask, &event);
  XFlush(display);
}
