// SDL is started once for the whole library; each part of platform/ asks for
// the SDL subsystems it needs (video, audio, game controllers) and gives them
// back. SDL itself is shut down when the last one is given back.
#pragma once
#include <cstdint>

// flags: SDL_INIT_* bits. 0 on success, -1 when SDL refuses (SDL_GetError tells why).
int PlatformInitSdlSubsystem(uint32_t flags);
void PlatformQuitSdlSubsystem(uint32_t flags);
