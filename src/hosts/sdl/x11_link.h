// The few Xlib calls the SDL host needs beyond SDL, for drawing into a window
// it does not own and for outliving a lost display. Taken from the libX11 that
// SDL's X11 driver has already loaded, so nothing more is linked or loaded.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "runtime/windows_api.h"

namespace squarefield {

// A monitor's place on the X screen, in pixels.
struct MonitorArea {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const MonitorArea&) const = default;
};

// A connection of our own to the display SDL is on, for drawing into a window
// we do not own.
class X11Link {
 public:
  ~X11Link();
  // False when SDL is not on X11 (libX11 is not loaded).
  bool Open();
  // The root window of the default screen.
  std::uint64_t Root();
  // The monitors that show the screen (Xinerama's heads, which RandR also
  // reports through); the whole root window when the server tells of none.
  std::vector<MonitorArea> Monitors();
  // The window's size; false when there is no such window (any more).
  bool Size(std::uint64_t window, int& width, int& height);
  // Why nothing could be shown in the window ("" when it can be): input-only,
  // or colours from a palette.
  std::string Undrawable(std::uint64_t window);
  // A window of our own inside `parent`, at its top-left corner, shown; 0 when
  // it cannot be made. Resized and destroyed only through these.
  std::uint64_t CreateChild(std::uint64_t parent, int width, int height);
  void Resize(std::uint64_t window, int width, int height);
  void Destroy(std::uint64_t window);

 private:
  void* display_ = nullptr;
};

// SDL's own connection to an X display (its windows' events come through it).
class SdlX11 {
 public:
  SdlX11() = default;
  explicit SdlX11(void* display) : display_(display) {}
  bool Connected() const { return display_ != nullptr; }

  // The connection's socket, and whether events already wait in its queue
  // (read from the socket, not yet taken).
  int ConnectionFd() const;
  bool EventsQueued() const;
  // Has SDL's client told when `window` changes size or needs a redraw.
  void WatchStructure(std::uint64_t window) const;
  // Waits until the server has handled everything sent, so the errors about a
  // window that went come in while they are ignored, and not later, when SDL
  // has put back Xlib's handler, which exits.
  void Settle() const;
  // Has SDL's client told when `window` is covered or uncovered, beside what
  // it is told already.
  void WatchVisibility(std::uint64_t window) const;
  // True when the server's power management has put the monitors to sleep
  // (DPMS standby, suspend or off); false where the server has no DPMS.
  bool PoweredDown() const;
  // Puts the window below its siblings.
  void Lower(std::uint64_t window) const;

  // Server-side fills: a graphics context that fills with `pixel`, the
  // rectangles filled with it in one request, and everything sent.
  void* CreateGc(std::uint64_t drawable, std::uint32_t pixel) const;
  void FreeGc(void* gc) const;
  void FillRectangles(std::uint64_t drawable, void* gc, std::span<const RECT> rects) const;
  void Flush() const;

 private:
  void* display_ = nullptr;
};

// What holds for every connection of the program:
// Errors about windows that vanished are expected: note them, do not exit.
void IgnoreX11Errors();
// For an X event (an XEvent*): when it says how much of a window can be
// seen, that window and true when it is fully covered; else false.
bool X11Visibility(const void* event, std::uint64_t& window, bool& covered);
// A lost connection ends the program through `fatal`, which removes temporaries.
void CatchX11DisplayLoss(void (*fatal)(const char*));

}  // namespace squarefield
