#include "platform/sdl_subsystem.h"

#include <SDL.h>

#include <mutex>

namespace {

std::mutex g_sdlLock;
int g_sdlUsers = 0;  // successful init calls not yet given back

}  // namespace

int PlatformInitSdlSubsystem(uint32_t flags) {
  std::lock_guard<std::mutex> guard(g_sdlLock);
  // SDL counts each subsystem itself; we only count users to know when to quit.
  if (SDL_InitSubSystem(flags) != 0) {
    if (g_sdlUsers == 0) SDL_Quit();
    return -1;
  }
  g_sdlUsers++;
  return 0;
}

void PlatformQuitSdlSubsystem(uint32_t flags) {
  std::lock_guard<std::mutex> guard(g_sdlLock);
  if (g_sdlUsers <= 0) return;
  SDL_QuitSubSystem(flags);
  if (--g_sdlUsers == 0) SDL_Quit();
}
