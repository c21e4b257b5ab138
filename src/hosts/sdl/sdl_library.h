// SDL2 is loaded when the desktop host starts, not when the program does:
// headless runs (tests, servers, image export) then work where SDL is not
// installed, and do not carry its fifty-odd dependent libraries in memory.
#pragma once

#include <SDL.h>
#include <SDL_syswm.h>

#include <string>

#include "hosts/library.h"

namespace squarefield {

#define SQUAREFIELD_SDL_FUNCTIONS(X)                                                                     \
  X(SDL_ConvertPixels) X(SDL_CreateWindow) X(SDL_CreateWindowFrom) X(SDL_DestroyWindow) X(SDL_GetCurrentVideoDriver)             \
  X(SDL_GetDesktopDisplayMode) X(SDL_GetDisplayBounds) X(SDL_GetDisplayUsableBounds) X(SDL_GetNumVideoDisplays) X(SDL_GetTicks64) X(SDL_GetWindowSize) X(SDL_GetError) X(SDL_GetPixelFormatName) X(SDL_GetWindowPixelFormat) X(SDL_GetKeyboardState) X(SDL_GetWindowSurface) X(SDL_GetWindowWMInfo) X(SDL_Init) \
  X(SDL_LockSurface) X(SDL_PeepEvents) X(SDL_PumpEvents) X(SDL_Quit) X(SDL_RaiseWindow) X(SDL_SetHint) X(SDL_SetWindowInputFocus)                      \
  X(SDL_SetWindowAlwaysOnTop) X(SDL_ShowCursor) X(SDL_ShowWindow) X(SDL_UnlockSurface)                   \
  X(SDL_UpdateWindowSurfaceRects) X(SDL_CreateRenderer) X(SDL_DestroyRenderer) X(SDL_CreateTexture)            \
  X(SDL_DestroyTexture) X(SDL_UpdateTexture) X(SDL_RenderCopy) X(SDL_RenderPresent) X(SDL_EventState) X(SDL_GetWindowID) X(SDL_GetGlobalMouseState) X(SDL_GetWindowPosition)

// The SDL functions the host uses, by their own names.
struct SdlLibrary {
  SQUAREFIELD_SDL_FUNCTIONS(SQUAREFIELD_LIBRARY_POINTER)
  // Since SDL 2.26; null with older libraries.
  decltype(&::SDL_GetWindowSizeInPixels) SDL_GetWindowSizeInPixels = nullptr;
};

// Loads SDL2 once; null (with `error`) when it is not installed or lacks a function.
const SdlLibrary* LoadSdl(std::string& error);

}  // namespace squarefield
