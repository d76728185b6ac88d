// The size an SDL window really has on an X server. SDL takes a full-screen
// window to be the desktop's size as soon as it asks for it; where no window
// manager carries the request out (an X server alone), or one refuses or
// delays it, the window keeps another size, and the frame drawn for SDL's
// size shows cut off while the pointer maps through the wrong scale.
#pragma once
#include <SDL.h>

// Reads the window's size back from the X server and, where SDL believes
// another, hands SDL the real one as the server would have (SDL then
// reports a size change). Nothing on other video drivers.
void MatchWindowSizeToServer(SDL_Window* window);
