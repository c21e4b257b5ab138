#include "platform/sdl/sdl_library.h"

#include <dlfcn.h>

#include <string>

namespace squarefield {

const SdlLibrary* LoadSdl(std::string& error) {
  static SdlLibrary library;
  static bool loaded = false;
  if (loaded) return &library;
  // Never closed again: SDL may leave handlers behind that run at exit.
  void* handle = nullptr;
  std::string first_reason;  // the loader's, for the library's usual name
  for (const char* name : {"libSDL2-2.0.so.0", "libSDL2-2.0.0.dylib", "libSDL2.dylib", "libSDL2.so"}) {
    handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (handle != nullptr) break;
    if (first_reason.empty()) {
      const char* reason = dlerror();
      first_reason = reason != nullptr ? reason : "";
    }
  }
  if (handle == nullptr) {
    // Missing is one thing; there but not loadable (no memory to map it, a
    // broken install) is another, and the loader says which.
    if (first_reason.empty() || first_reason.find("No such file") != std::string::npos)
      error = "SDL2 is not installed (libSDL2-2.0.so.0 could not be loaded)";
    else
      error = "SDL2 could not be loaded: " + first_reason;
    return nullptr;
  }
#define SQUAREFIELD_SDL_RESOLVE(name)                                        \
  library.name = reinterpret_cast<decltype(library.name)>(dlsym(handle, #name)); \
  if (library.name == nullptr) {                                             \
    error = "the SDL2 library has no " #name;                                \
    return nullptr;                                                          \
  }
  SQUAREFIELD_SDL_FUNCTIONS(SQUAREFIELD_SDL_RESOLVE)
#undef SQUAREFIELD_SDL_RESOLVE
  library.SDL_GetWindowSizeInPixels =
      reinterpret_cast<decltype(library.SDL_GetWindowSizeInPixels)>(dlsym(handle, "SDL_GetWindowSizeInPixels"));
  loaded = true;
  return &library;
}

}  // namespace squarefield
