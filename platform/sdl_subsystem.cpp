#include "platform/sdl_subsystem.h"

#include <SDL.h>

#include <mutex>
#include <string>

namespace {

std::mutex g_sdlLock;

}  // namespace

// SDL counts each subsystem itself; what is left to do here is to shut SDL
// down whole once nothing of it is in use any more.
int PlatformInitSdlSubsystem(uint32_t flags) {
  std::lock_guard<std::mutex> guard(g_sdlLock);
  if (SDL_InitSubSystem(flags) != 0) {
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) {
      // Shutting SDL down forgets why it failed; the caller may want to say.
      const std::string why = SDL_GetError();
      SDL_Quit();
      SDL_SetError("%s", why.c_str());
    }
    return -1;
  }
  return 0;
}

void PlatformQuitSdlSubsystem(uint32_t flags) {
  std::lock_guard<std::mutex> guard(g_sdlLock);
  SDL_QuitSubSystem(flags);
  if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}
