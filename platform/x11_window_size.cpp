#include "platform/x11_window_size.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>

namespace {

bool X11Window(SDL_Window* window, Display** display, Window* xwindow) {
  if (!window) return false;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  *display = info.info.x11.display;
  *xwindow = info.info.x11.window;
  return true;
}

// A window manager redirects the root's children to itself; it takes the
// full-screen state only when it lists it among those it supports.
bool WindowManagerTakesFullScreen(Display* display, Window root, const XWindowAttributes& screen) {
  if (!(screen.all_event_masks & SubstructureRedirectMask)) return false;
  const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, root, XInternAtom(display, "_NET_SUPPORTED", False), 0, 4096, False, XA_ATOM,
                         &type, &format, &count, &after, &data) != Success) {
    return false;
  }
  bool found = false;
  if (data && type == XA_ATOM && format == 32) {
    const Atom* atoms = reinterpret_cast<const Atom*>(data);
    for (unsigned long i = 0; i < count && !found; i++) found = atoms[i] == fullScreen;
  }
  if (data) XFree(data);
  return found;
}

// Where no window manager that knows the full-screen state runs, does what
// one would: puts a full-screen window over its whole display, and gives a
// window back from full screen its windowed size (0 leaves it as it is),
// centred.
void PlaceWindowWithoutWindowManager(SDL_Window* window, Display* display, Window xwindow,
                                     const XWindowAttributes& attributes, const XWindowAttributes& screen,
                                     int windowedWidth, int windowedHeight) {
  if (WindowManagerTakesFullScreen(display, attributes.root, screen)) return;
  // SDL keeps the bounds it read at its start, which a change of the
  // screen's size leaves behind; the root always has the size of the screen.
  SDL_Rect place{0, 0, screen.width, screen.height};
  if (SDL_GetNumVideoDisplays() > 1) {
    SDL_Rect bounds;
    const int index = SDL_GetWindowDisplayIndex(window);
    if (index < 0 || SDL_GetDisplayBounds(index, &bounds) != 0 || !SDL_IntersectRect(&bounds, &place, &place)) return;
  }
  if (place.w <= 0 || place.h <= 0) return;
  if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN)) {
    // Back from full screen: its own size again, centred as SDL makes it.
    if (windowedWidth <= 0 || windowedHeight <= 0) return;
    if (attributes.width == windowedWidth && attributes.height == windowedHeight) return;
    place = {place.x + (place.w - windowedWidth) / 2, place.y + (place.h - windowedHeight) / 2, windowedWidth,
             windowedHeight};
  }
  // With no window manager the request is carried out at once; one that
  // ignores the state may still honour a plain move and resize.
  XMoveResizeWindow(display, xwindow, place.x, place.y, static_cast<unsigned>(place.w),
                    static_cast<unsigned>(place.h));
  XRaiseWindow(display, xwindow);
  XSync(display, False);
}

// Has the server tell of changes of the screen's size (as a configure event
// of the root), added to what SDL itself selects there. SDL selects anew on
// the root when it makes a window, as it does again for its renderer, so
// this follows every fitting.
void WatchScreenSize(Display* display, Window root, const XWindowAttributes& screen) {
  if (!(screen.your_event_mask & StructureNotifyMask)) {
    XSelectInput(display, root, screen.your_event_mask | StructureNotifyMask);
  }
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

}  // namespace

void FitWindowToServer(SDL_Window* window, int windowedWidth, int windowedHeight) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Window(window, &display, &xwindow)) return;
  XWindowAttributes attributes, screen;
  if (XGetWindowAttributes(display, xwindow, &attributes) && XGetWindowAttributes(display, attributes.root, &screen)) {
    WatchScreenSize(display, attributes.root, screen);
    PlaceWindowWithoutWindowManager(window, display, xwindow, attributes, screen, windowedWidth, windowedHeight);
  }
  MatchWindowSizeToServer(window);
}

void MatchWindowSizeToServer(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Window(window, &display, &xwindow)) return;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, xwindow, &attributes) || attributes.width <= 0 || attributes.height <= 0) {
    return;
  }
  int width = 0, height = 0;
  SDL_GetWindowSize(window, &width, &height);
  if (width == attributes.width && height == attributes.height) return;
  // A window manager's frame is the window's parent, and the position in the
  // attributes is within it; a sent configure event gives the position on the
  // root, as SDL reads it (the outer corner, border included).
  int x = 0, y = 0;
  Window child = 0;
  if (!XTranslateCoordinates(display, xwindow, attributes.root, -attributes.border_width, -attributes.border_width,
                             &x, &y, &child)) {
    return;
  }
  // SDL offers no way to set the size it keeps for a full-screen window; the
  // configure event is what it learns a window's size from.
  XEvent event = {};
  event.xconfigure.type = ConfigureNotify;
  event.xconfigure.display = display;
  event.xconfigure.event = xwindow;
  event.xconfigure.window = xwindow;
  event.xconfigure.x = x;
  event.xconfigure.y = y;
  event.xconfigure.width = attributes.width;
  event.xconfigure.height = attributes.height;
  event.xconfigure.border_width = attributes.border_width;
  XSendEvent(display, xwindow, False, StructureNotifyMask, &event);
  XFlush(display);
}

bool ReadPointerFromServer(SDL_Window* window, int* x, int* y) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Window(window, &display, &xwindow)) return false;
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
  unsigned int mask = 0;
  if (!XQueryPointer(display, xwindow, &root, &child, &rootX, &rootY, &windowX, &windowY, &mask)) return false;
  *x = windowX;
  *y = windowY;
  return true;
}

void FollowScreenSize(SDL_Window* window, const SDL_SysWMmsg* message, int windowedWidth, int windowedHeight) {
  if (!message || message->subsystem != SDL_SYSWM_X11) return;
  const XEvent& event = message->msg.x11.event;
  // A window's own change, not one of its children's.
  if (event.type != ConfigureNotify || event.xconfigure.event != event.xconfigure.window) return;
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Window(window, &display, &xwindow) || event.xconfigure.window == xwindow) return;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, xwindow, &attributes) || event.xconfigure.window != attributes.root) return;
  FitWindowToServer(window, windowedWidth, windowedHeight);
}
