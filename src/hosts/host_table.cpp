// The desktop hosts of a Linux (or other SDL) build, tried in order at run
// time: native Wayland where a Wayland display is named, then SDL (X11, or
// whatever SDL_VIDEODRIVER names). SQUAREFIELD_HOST names one to use alone.
#include <cstdlib>
#include <string>

#include "hosts/host.h"
#include "hosts/sdl/sdl_host.h"
#ifdef SQUAREFIELD_HAS_WAYLAND
#include "hosts/wayland/wayland_presenter.h"
#endif

namespace squarefield {

namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

struct HostEntry {
  const char* name;
  // Whether it is worth trying here without being asked for by name.
  bool (*fits)(const HostConfig& config);
  // The host, or null with `error`; `unreachable` when another may do instead.
  std::unique_ptr<Host> (*open)(const HostConfig& config, std::string& error, bool& unreachable);
};

const HostEntry kHosts[] = {
#ifdef SQUAREFIELD_HAS_WAYLAND
    {"wayland",
     // A window of another program's is X11's; SDL_VIDEODRIVER asks for SDL.
     [](const HostConfig& config) {
       return Set("WAYLAND_DISPLAY") && !Set("SDL_VIDEODRIVER") && !config.into_window && !config.into_root;
     },
     [](const HostConfig& config, std::string& error, bool& unreachable) {
       auto host = OpenWaylandHost(config, error, unreachable);
       // Beside an X display another host may still show the field.
       unreachable = unreachable && Set("DISPLAY");
       return host;
     }},
#endif
    {"sdl", [](const HostConfig&) { return true; },
     [](const HostConfig& config, std::string& error, bool& unreachable) {
       unreachable = false;
       return OpenSdlHost(config, error);
     }},
};

}  // namespace

std::unique_ptr<Host> OpenDesktopHost(const HostConfig& config, std::string& error) {
  // Without a session bus, the D-Bus library SDL loads would start one of its
  // own (dbus-launch and a dbus-daemon) that outlives the program. There is
  // none to talk to then: say so, and nothing is started.
  if (!Set("DBUS_SESSION_BUS_ADDRESS")) setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
  const char* asked = std::getenv("SQUAREFIELD_HOST");
  if (asked != nullptr && *asked != '\0') {
    std::string names;
    for (const HostEntry& entry : kHosts) {
      if (std::string(asked) == entry.name) {
        bool unreachable = false;
        return entry.open(config, error, unreachable);
      }
      names += std::string(names.empty() ? "" : ", ") + entry.name;
    }
    error = std::string("SQUAREFIELD_HOST: '") + asked + "' is not a host of this build (" + names + ")";
    return nullptr;
  }
  for (const HostEntry& entry : kHosts) {
    if (!entry.fits(config)) continue;
    bool unreachable = false;
    std::string why;
    if (auto host = entry.open(config, why, unreachable)) return host;
    error = why;
    if (!unreachable) return nullptr;
  }
  return nullptr;
}

void PrepareConsole() {}

}  // namespace squarefield
