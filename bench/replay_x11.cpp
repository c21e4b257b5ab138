// The floor under the X11 presenter's cost: a bare Xlib client that replays
// the effect's own fills, read from a seeded headless run's trace of the same
// size, on a full-screen window as server-side fills: one XFillRectangles per
// colour a frame (the blacks, then the whites), 60 frames a second.
// Usage: replay_x11 TRACE SECONDS   (on the display DISPLAY names)
#include <X11/Xlib.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "replay_trace.h"

int main(int argc, char** argv) {
  replay::Trace trace;
  if (argc != 3) {
    std::fprintf(stderr, "usage: replay_x11 TRACE SECONDS\n");
    return 2;
  }
  if (!trace.Open(argv[1])) {
    std::fprintf(stderr, "replay_x11: cannot read the trace %s\n", argv[1]);
    return 1;
  }
  const double seconds = std::atof(argv[2]);
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) return 1;
  const int s = DefaultScreen(d);
  const int w = DisplayWidth(d, s), h = DisplayHeight(d, s);
  if (w != trace.Width() || h != trace.Height()) {
    std::fprintf(stderr, "replay_x11: the trace is %dx%d, the screen %dx%d\n", trace.Width(), trace.Height(), w, h);
    return 1;
  }
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = BlackPixel(d, s);
  const Window win = XCreateWindow(d, RootWindow(d, s), 0, 0, w, h, 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWOverrideRedirect | CWBackPixel, &attributes);
  XMapWindow(d, win);
  const GC gc = XCreateGC(d, win, 0, nullptr);
  XSync(d, False);
  std::vector<replay::Fill> fills;
  std::vector<XRectangle> run;
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  const long frames = static_cast<long>(seconds * 60);
  for (long frame = 0; frame < frames; ++frame) {
    if (trace.Next(fills)) {
      for (const std::uint32_t pixel : {0x000000u, 0xFFFFFFu}) {
        run.clear();
        for (const replay::Fill& f : fills)
          if (f.pixel == pixel)
            run.push_back({static_cast<short>(f.left), static_cast<short>(f.top), static_cast<unsigned short>(f.right - f.left),
                           static_cast<unsigned short>(f.bottom - f.top)});
        XSetForeground(d, gc, pixel);
        XFillRectangles(d, win, gc, run.data(), static_cast<int>(run.size()));
      }
      XFlush(d);
    }
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
    }
    next.tv_nsec += 1000000000L / 60;
    if (next.tv_nsec >= 1000000000L) next.tv_nsec -= 1000000000L, ++next.tv_sec;
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
  }
  XCloseDisplay(d);
  return 0;
}
