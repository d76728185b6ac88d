// The size an SDL window really has on an X server. SDL takes a full-screen
// window to be the desktop's size as soon as it asks for it; where no window
// manager carries the request out (an X server alone), or one refuses or
// delays it, the window keeps another size, and the frame drawn for SDL's
// size shows cut off while the pointer maps through the wrong scale.
#pragma once
#include <SDL.h>

// After the window is made or enters or leaves full screen: where no window
// manager that knows the full-screen state runs, does what one would (a
// full-screen window over its whole display; one back from full screen at
// its windowed size, 0 leaving it as it is, centred), then matches SDL's
// size to the server's as below; from then on the pump hears of changes of
// the screen's size. Nothing on other video drivers.
void FitWindowToServer(SDL_Window* window, int windowedWidth, int windowedHeight);

// For a system event: when the screen has changed size, fits the window to
// it as FitWindowToServer does (no window manager moves a window when the
// screen shrinks, and SDL does not either).
void FollowScreenSize(SDL_Window* window, const SDL_SysWMmsg* message, int windowedWidth, int windowedHeight);

// Reads the window's size back from the X server and, where SDL believes
// another, hands SDL the real one as the server would have (SDL then
// reports a size change). Nothing on other video drivers.
void MatchWindowSizeToServer(SDL_Window* window);

// The pointer's position in the window as the X server has it now, for when
// the window has moved under a still pointer (no motion tells SDL); false on
// other video drivers.
bool ReadPointerFromServer(SDL_Window* window, int* x, int* y);
