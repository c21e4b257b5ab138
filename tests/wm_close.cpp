// Test helper: asks the window titled ARGV[1] to close, as a window manager's
// close button does (WM_DELETE_WINDOW), rather than destroying it. Waits up to
// 5 s for the window to appear.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

// The window's title, from _NET_WM_NAME (UTF-8) or else WM_NAME.
static bool Titled(Display* d, Window w, const char* title) {
  Atom type;
  int format;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const Atom net_wm_name = XInternAtom(d, "_NET_WM_NAME", False);
  bool match = false;
  if (XGetWindowProperty(d, w, net_wm_name, 0, 256, False, AnyPropertyType, &type, &format, &count, &after, &data) ==
          Success &&
      data) {
    match = std::strcmp(reinterpret_cast<char*>(data), title) == 0;
    XFree(data);
  }
  char* name = nullptr;
  if (!match && XFetchName(d, w, &name) && name) {
    match = std::strcmp(name, title) == 0;
    XFree(name);
  }
  return match;
}

static Window Find(Display* d, Window w, const char* title) {
  if (Titled(d, w, title)) return w;
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) found = Find(d, children[i], title);
    if (children) XFree(children);
  }
  return found;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wm_close TITLE\n");
    return 2;
  }
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 2;
  // The window may still be on its way: look for up to 5 s.
  Window w = 0;
  for (int i = 0; i < 50 && !w; ++i) {
    w = Find(d, DefaultRootWindow(d), argv[1]);
    if (!w) usleep(100000);
  }
  if (!w) {
    std::fprintf(stderr, "wm_close: no window titled %s\n", argv[1]);
    return 1;
  }
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &e);
  XFlush(d);
  XCloseDisplay(d);
  return 0;
}
