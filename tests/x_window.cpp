// Test helper: a plain X window of someone else's, as a screensaver daemon or a
// preview would give the program to draw in.
// Usage: x_window WIDTH HEIGHT X Y [input-only]
// Prints the window's id (decimal) once it is mapped, then waits until killed.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: x_window WIDTH HEIGHT X Y [input-only]\n");
    return 2;
  }
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) return 1;
  const int screen = DefaultScreen(d);
  // Grey, so that what the program paints and what it leaves alone both show.
  const int x = std::atoi(argv[3]), y = std::atoi(argv[4]);
  const auto width = static_cast<unsigned>(std::atoi(argv[1])), height = static_cast<unsigned>(std::atoi(argv[2]));
  // An input-only window has no pixels at all: nothing can be drawn in it.
  const Window w = argc == 6 ? XCreateWindow(d, RootWindow(d, screen), x, y, width, height, 0, 0, InputOnly,
                                             CopyFromParent, 0, nullptr)
                             : XCreateSimpleWindow(d, RootWindow(d, screen), x, y, width, height, 0, 0, 0x808080);
  XSelectInput(d, w, StructureNotifyMask);
  XMapWindow(d, w);
  for (XEvent e;;) {
    XNextEvent(d, &e);
    if (e.type == MapNotify) break;
  }
  std::printf("%lu\n", w);
  std::fflush(stdout);
  for (;;) {
    XEvent e;
    XNextEvent(d, &e);  // keeps the connection, and so the window, alive
  }
}
