#include "hosts/sdl/sdl_library.h"

#include <string>

namespace squarefield {
namespace {

// The first function `library` lacks, or null when it has them all.
const char* FindAll(const Library& library, SdlLibrary& table) {
  SQUAREFIELD_SDL_FUNCTIONS(SQUAREFIELD_LIBRARY_FIND)
  library.Find("SDL_GetWindowSizeInPixels", table.SDL_GetWindowSizeInPixels);  // since SDL 2.26
  return nullptr;
}

}  // namespace

const SdlLibrary* LoadSdl(std::string& error) {
  static SdlLibrary table;
  static bool loaded = false;
  if (loaded) return &table;
  std::string reason;  // the loader's, for the library's usual name
  const Library library = Library::Load({"libSDL2-2.0.so.0", "libSDL2-2.0.0.dylib", "libSDL2.dylib", "libSDL2.so"}, &reason);
  if (!library) {
    // Missing is one thing; there but not loadable (no memory to map it, a
    // broken install) is another, and the loader says which.
    if (reason.empty() || reason.find("No such file") != std::string::npos)
      error = "SDL2 is not installed (libSDL2-2.0.so.0 could not be loaded)";
    else
      error = "SDL2 could not be loaded: " + reason;
    return nullptr;
  }
  if (const char* missing = FindAll(library, table)) {
    error = std::string("the SDL2 library has no ") + missing;
    return nullptr;
  }
  loaded = true;
  return &table;
}

}  // namespace squarefield
