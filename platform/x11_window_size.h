// The size an SDL window really has on an X server. SDL takes a full-screen
// window to be the desktop's size as soon as it asks for it; where no window
// manager carries the request out (an X server alone), or one refuses or
// delays it, the window keeps another size, and the frame drawn for SDL's
// size shows cut off while the pointer maps through the wrong scale.
#pragma once
#include <SDL.h>

// Where no window manager that knows the full-screen state runs, does what
// one would: puts a full-screen window over its whole display, and gives a
// window back from full screen its windowed size (0 leaves it as it is),
// centred. Nothing where such a window manager runs, or on other video
// drivers.
void PlaceWindowWithoutWindowManager(SDL_Window* window, int windowedWidth, int windowedHeight);

// Reads the window's size back from the X server and, where SDL believes
// another, hands SDL the real one as the server would have (SDL then
// reports a size change). Nothing on other video drivers.
void MatchWindowSizeToServer(SDL_Window* window);

// The pointer's position in the window as the X server has it now, for when
// the window has moved under a still pointer (no motion tells SDL); false on
// other video drivers.
bool ReadPointerFromServer(SDL_Window* window, int* x, int* y);
