// The few Xlib calls the SDL host needs beyond SDL, for drawing into a window
// it does not own and for outliving a lost display. Taken from the libX11 that
// SDL's X11 driver has already loaded, so nothing more is linked or loaded.
#pragma once

#include <cstdint>

namespace squarefield {

class X11Link {
 public:
  ~X11Link();
  // False when SDL is not on X11 (libX11 is not loaded).
  bool Open();
  // The root window of the default screen.
  std::uint64_t Root();
  // The window's size; false when there is no such window (any more).
  bool Size(std::uint64_t window, int& width, int& height);

  // The connection's socket, and whether events already wait in its queue
  // (read from the socket, not yet taken).
  static int ConnectionFd(void* display);
  static bool EventsQueued(void* display);

  // Errors about windows that vanished are expected: note them, do not exit.
  static void IgnoreErrors();
  // A lost connection ends the program through `fatal`, which removes temporaries.
  static void CatchDisplayLoss(void (*fatal)(const char*));

 private:
  void* display_ = nullptr;
};

}  // namespace squarefield
