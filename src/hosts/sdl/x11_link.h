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

  // The connection's socket, and whether events already wait in its queue
  // (read from the socket, not yet taken).
  static int ConnectionFd(void* display);
  static bool EventsQueued(void* display);

  // Why nothing could be shown in the window ("" when it can be): input-only,
  // or colours from a palette.
  std::string Undrawable(std::uint64_t window);
  // A window of our own inside `parent`, at its top-left corner, shown; 0 when
  // it cannot be made. Resized and destroyed only through these.
  std::uint64_t CreateChild(std::uint64_t parent, int width, int height);
  void Resize(std::uint64_t window, int width, int height);
  void Destroy(std::uint64_t window);
  // Has `display`'s client told when `window` changes size or needs a redraw.
  static void WatchStructure(void* display, std::uint64_t window);

  // Errors about windows that vanished are expected: note them, do not exit.
  static void IgnoreErrors();
  // Waits until the server has handled everything sent on `display` (SDL's
  // connection), so the errors about a window that went come in while they
  // are ignored, and not later, when SDL has put back Xlib's handler, which exits.
  static void Settle(void* display);
  // Has `display`'s client told when `window` is covered or uncovered, beside
  // what it is told already.
  static void WatchVisibility(void* display, std::uint64_t window);
  // True when the server's power management has put the monitors to sleep
  // (DPMS standby, suspend or off); false where the server has no DPMS.
  static bool PoweredDown(void* display);
  // Puts the window below its siblings.
  static void Lower(void* display, std::uint64_t window);
  // For an X event (an XEvent*): when it says how much of a window can be
  // seen, that window and true when it is fully covered; else false.
  static bool Visibility(const void* event, std::uint64_t& window, bool& covered);

  // Server-side fills: a graphics context that fills with `pixel`, the
  // rectangles filled with it in one request, and everything sent.
  static void* CreateGc(void* display, std::uint64_t drawable, std::uint32_t pixel);
  static void FreeGc(void* display, void* gc);
  static void FillRectangles(void* display, std::uint64_t drawable, void* gc, std::span<const RECT> rects);
  static void Flush(void* display);

  // A lost connection ends the program through `fatal`, which removes temporaries.
  static void CatchDisplayLoss(void (*fatal)(const char*));

 private:
  void* display_ = nullptr;
};

}  // namespace squarefield
