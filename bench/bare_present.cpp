// The least an X11 program can do to show a frame like ours: 400 squares of
// 6x6 pixels at random places, filled in a shared-memory image and sent to a
// window, 60 times a second. What it costs (itself and the X server) is the
// floor under the CPU share bench/cpu_share.sh measures for the program.
// Usage: bare_present MODE WIDTH HEIGHT SECONDS
//   MODE 0: one XShmPutImage per square (as SDL sends our damage)
//   MODE 1: one XShmPutImage of their bounding box, the squares as its clip list
//   MODE 2: server-side fills: the last frame's squares erased with one
//           XFillRectangles in black, this frame's painted with one in white
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: bare_present MODE WIDTH HEIGHT SECONDS\n");
    return 2;
  }
  const int mode = std::atoi(argv[1]), w = std::atoi(argv[2]), h = std::atoi(argv[3]), seconds = std::atoi(argv[4]);
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr || w < 16 || h < 16) return 1;
  const int s = DefaultScreen(d);
  const Window win = XCreateSimpleWindow(d, RootWindow(d, s), 0, 0, w, h, 0, 0, 0);
  XMapWindow(d, win);
  XSync(d, False);
  XShmSegmentInfo info{};
  XImage* image = XShmCreateImage(d, DefaultVisual(d, s), DefaultDepth(d, s), ZPixmap, nullptr, &info, w, h);
  info.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * image->height, IPC_CREAT | 0600);
  info.shmaddr = image->data = static_cast<char*>(shmat(info.shmid, nullptr, 0));
  info.readOnly = False;
  XShmAttach(d, &info);
  XSync(d, False);
  shmctl(info.shmid, IPC_RMID, nullptr);
  const GC gc = XCreateGC(d, win, 0, nullptr);
  XGCValues black_values{}, white_values{};
  black_values.foreground = 0;
  white_values.foreground = 0xffffff;
  const GC black = XCreateGC(d, win, GCForeground, &black_values), white = XCreateGC(d, win, GCForeground, &white_values);
  std::vector<XRectangle> last;
  std::mt19937 random(1);
  std::vector<XRectangle> squares(400);
  auto* pixels = reinterpret_cast<std::uint32_t*>(image->data);
  for (int frame = 0; frame < seconds * 60; ++frame) {
    int left = w, top = h, right = 0, bottom = 0;
    for (XRectangle& r : squares) {
      r = {static_cast<short>(random() % (w - 8)), static_cast<short>(random() % (h - 8)), 6, 6};
      for (int y = 0; y < 6; ++y)
        std::fill_n(pixels + (r.y + y) * w + r.x, 6, (frame & 1) ? 0xffffffu : 0u);
      left = std::min<int>(left, r.x);
      top = std::min<int>(top, r.y);
      right = std::max(right, r.x + 6);
      bottom = std::max(bottom, r.y + 6);
    }
    if (mode == 2) {
      if (!last.empty()) XFillRectangles(d, win, black, last.data(), static_cast<int>(last.size()));
      XFillRectangles(d, win, white, squares.data(), static_cast<int>(squares.size()));
      last = squares;
    } else if (mode == 0) {
      for (const XRectangle& r : squares) XShmPutImage(d, win, gc, image, r.x, r.y, r.x, r.y, 6, 6, False);
    } else {
      XSetClipRectangles(d, gc, 0, 0, squares.data(), static_cast<int>(squares.size()), Unsorted);
      XShmPutImage(d, win, gc, image, left, top, left, top, right - left, bottom - top, False);
    }
    XSync(d, False);
    usleep(16666);
  }
  XShmDetach(d, &info);
  XCloseDisplay(d);
  return 0;
}
