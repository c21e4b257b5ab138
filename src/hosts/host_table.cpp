// The desktop hosts of every build, one line each, tried in order at run time
// (the first that fits here and opens is the run's): native Wayland where a
// Wayland display is named, then SDL (X11, or whatever SDL_VIDEODRIVER names);
// the Windows host; the page's canvas. A build has the lines of the hosts it
// was made with; SQUAREFIELD_HOST names one to use alone.
#include <cstdlib>
#include <string>

#include "hosts/host.h"
#ifdef SQUAREFIELD_HAS_SDL
#include "hosts/sdl/sdl_host.h"
#endif
#ifdef SQUAREFIELD_HAS_WAYLAND
#include "hosts/wayland/wayland_presenter.h"
#endif
#ifdef SQUAREFIELD_HAS_WIN32
#include "hosts/win32/win32_host.h"
#endif
#ifdef SQUAREFIELD_HAS_WEB
#include "hosts/web/web_host.h"
#endif

namespace squarefield {

namespace {

[[maybe_unused]] bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

struct HostEntry {
  const char* name;
  // Whether it is worth trying here without being asked for by name.
  bool (*fits)(const HostConfig& config);
  Opened (*open)(const HostConfig& config);
};

[[maybe_unused]] bool FitsAnywhere(const HostConfig&) { return true; }

const HostEntry kHosts[] = {
#ifdef SQUAREFIELD_HAS_WAYLAND
    // A window of another program's is X11's; SDL_VIDEODRIVER asks for SDL.
    {"wayland",
     [](const HostConfig& config) {
       return Set("WAYLAND_DISPLAY") && !Set("SDL_VIDEODRIVER") && !config.into_window && !config.into_root;
     },
     [](const HostConfig& config) {
       Opened opened = OpenWaylandHost(config);
       // Only beside an X display may another host still show the field.
       if (opened.failure.kind == OpenFailure::Kind::Unreachable && !Set("DISPLAY"))
         opened.failure.kind = OpenFailure::Kind::Refused;
       return opened;
     }},
#endif
#ifdef SQUAREFIELD_HAS_SDL
    {"sdl", FitsAnywhere, OpenSdlHost},
#endif
#ifdef SQUAREFIELD_HAS_WIN32
    {"win32", FitsAnywhere, OpenWin32Host},
#endif
#ifdef SQUAREFIELD_HAS_WEB
    {"web", FitsAnywhere, OpenWebHost},
#endif
    {nullptr, nullptr, nullptr},  // the end (and a table for a build with no desktop host)
};

}  // namespace

Opened OpenDesktopHost(const HostConfig& config) {
  const char* asked = std::getenv("SQUAREFIELD_HOST");
  if (asked != nullptr && *asked != '\0') {
    std::string names;
    for (const HostEntry* entry = kHosts; entry->name; ++entry) {
      if (std::string(asked) == entry->name) return entry->open(config);
      names += std::string(names.empty() ? "" : ", ") + entry->name;
    }
    return Opened::Failed(OpenFailure::Kind::Refused,
                          std::string("SQUAREFIELD_HOST: '") + asked + "' is not a host of this build (" +
                              (names.empty() ? "none" : names) + ")");
  }
  Opened last = Opened::Failed(OpenFailure::Kind::Refused, "this build has no desktop host");
  for (const HostEntry* entry = kHosts; entry->name; ++entry) {
    if (!entry->fits(config)) continue;
    last = entry->open(config);
    if (last.host || last.failure.kind != OpenFailure::Kind::Unreachable) return last;
  }
  return last;
}

}  // namespace squarefield
