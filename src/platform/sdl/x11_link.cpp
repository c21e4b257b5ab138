#include "platform/sdl/x11_link.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#if __has_include(<X11/Xlib.h>)
#include <X11/Xlib.h>
#define SQUAREFIELD_HAS_XLIB 1
#endif

namespace squarefield {

#ifdef SQUAREFIELD_HAS_XLIB
namespace {

void* Xlib() { return dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD); }

// Each function is looked up once: the pump asks for some of them before
// every wait, and a lookup by name cost 4 % of an idle run's time.
template <class F>
F Symbol(const char* name) {
  static std::vector<std::pair<const char*, void*>> found;
  for (const auto& [known, address] : found)
    if (known == name) return reinterpret_cast<F>(address);
  void* x11 = Xlib();
  void* address = x11 ? dlsym(x11, name) : nullptr;
  if (address != nullptr) found.emplace_back(name, address);
  return reinterpret_cast<F>(address);
}

// libXinerama's, declared here so that it need not be installed to build.
struct XineramaHead {
  int screen_number;
  short x_org, y_org, width, height;
};

void* Xinerama() {
  static void* library = dlopen("libXinerama.so.1", RTLD_NOW | RTLD_LOCAL);
  return library;
}

void (*g_fatal)(const char*) = nullptr;

// Xlib calls this when the connection to the X server is gone; it must not return.
extern "C" int OnDisplayLost(Display*) {
  if (g_fatal) g_fatal("lost the connection to the display");
  std::_Exit(1);
}

extern "C" int OnXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

X11Link::~X11Link() {
  if (display_ == nullptr) return;
  if (auto close = Symbol<int (*)(Display*)>("XCloseDisplay")) close(static_cast<Display*>(display_));
}

bool X11Link::Open() {
  auto open = Symbol<Display* (*)(const char*)>("XOpenDisplay");
  if (open == nullptr) return false;
  display_ = open(nullptr);
  return display_ != nullptr;
}

std::uint64_t X11Link::Root() {
  auto root = Symbol<::Window (*)(Display*)>("XDefaultRootWindow");
  return root && display_ ? root(static_cast<Display*>(display_)) : 0;
}

std::vector<MonitorArea> X11Link::Monitors() {
  std::vector<MonitorArea> monitors;
  auto* display = static_cast<Display*>(display_);
  if (display == nullptr) return monitors;
  if (void* xinerama = Xinerama()) {
    auto active = reinterpret_cast<int (*)(Display*)>(dlsym(xinerama, "XineramaIsActive"));
    auto query = reinterpret_cast<XineramaHead* (*)(Display*, int*)>(dlsym(xinerama, "XineramaQueryScreens"));
    auto release = Symbol<int (*)(void*)>("XFree");
    int count = 0;
    XineramaHead* heads = active && query && release && active(display) ? query(display, &count) : nullptr;
    for (int i = 0; i < count; ++i) {
      const MonitorArea area{heads[i].x_org, heads[i].y_org, heads[i].width, heads[i].height};
      // Mirrored monitors show the same part of the screen: one field serves both.
      if (area.width > 0 && area.height > 0 && std::find(monitors.begin(), monitors.end(), area) == monitors.end())
        monitors.push_back(area);
    }
    if (heads) release(heads);
  }
  // One monitor shows the whole screen; and a server that resizes its screen
  // (a nested one) may not tell Xinerama of the new size.
  int width = 0, height = 0;
  if (monitors.size() <= 1 && Size(Root(), width, height)) monitors.assign(1, {0, 0, width, height});
  return monitors;
}

bool X11Link::Size(std::uint64_t window, int& width, int& height) {
  auto get = Symbol<Status (*)(Display*, ::Window, XWindowAttributes*)>("XGetWindowAttributes");
  if (get == nullptr || display_ == nullptr || window == 0) return false;
  XWindowAttributes attributes{};
  if (get(static_cast<Display*>(display_), static_cast<::Window>(window), &attributes) == 0) return false;
  width = attributes.width;
  height = attributes.height;
  return true;
}

int X11Link::ConnectionFd(void* display) {
  auto number = Symbol<int (*)(Display*)>("XConnectionNumber");
  return number && display ? number(static_cast<Display*>(display)) : -1;
}

bool X11Link::EventsQueued(void* display) {
  auto queued = Symbol<int (*)(Display*, int)>("XEventsQueued");
  return queued && display && queued(static_cast<Display*>(display), QueuedAlready) > 0;
}

std::string X11Link::Undrawable(std::uint64_t window) {
  auto get = Symbol<Status (*)(Display*, ::Window, XWindowAttributes*)>("XGetWindowAttributes");
  XWindowAttributes a{};
  if (get == nullptr || display_ == nullptr || get(static_cast<Display*>(display_), static_cast<::Window>(window), &a) == 0)
    return "";
  if (a.c_class == InputOnly) return "is input-only: it has no pixels to draw on";
  if (a.depth < 16 || a.visual == nullptr || (a.visual->c_class != TrueColor && a.visual->c_class != DirectColor))
    return "has " + std::to_string(a.depth) + "-bit colours from a palette: it needs 16 bits per pixel or more";
  return "";
}

std::uint64_t X11Link::CreateChild(std::uint64_t parent, int width, int height) {
  auto create = Symbol<::Window (*)(Display*, ::Window, int, int, unsigned, unsigned, unsigned, unsigned long,
                                    unsigned long)>("XCreateSimpleWindow");
  auto map = Symbol<int (*)(Display*, ::Window)>("XMapWindow");
  auto sync = Symbol<int (*)(Display*, Bool)>("XSync");
  if (!create || !map || !sync || display_ == nullptr) return 0;
  auto* display = static_cast<Display*>(display_);
  const ::Window child = create(display, static_cast<::Window>(parent), 0, 0, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), 0, 0, 0);
  map(display, child);
  sync(display, False);
  return child;
}

void X11Link::Resize(std::uint64_t window, int width, int height) {
  auto resize = Symbol<int (*)(Display*, ::Window, unsigned, unsigned)>("XResizeWindow");
  auto flush = Symbol<int (*)(Display*)>("XFlush");
  if (!resize || !flush || display_ == nullptr) return;
  resize(static_cast<Display*>(display_), static_cast<::Window>(window), static_cast<unsigned>(width),
         static_cast<unsigned>(height));
  flush(static_cast<Display*>(display_));
}

void X11Link::Destroy(std::uint64_t window) {
  auto destroy = Symbol<int (*)(Display*, ::Window)>("XDestroyWindow");
  auto sync = Symbol<int (*)(Display*, Bool)>("XSync");
  if (!destroy || !sync || display_ == nullptr || window == 0) return;
  destroy(static_cast<Display*>(display_), static_cast<::Window>(window));
  sync(static_cast<Display*>(display_), False);
}

void X11Link::WatchStructure(void* display, std::uint64_t window) {
  auto select = Symbol<int (*)(Display*, ::Window, long)>("XSelectInput");
  if (select && display) select(static_cast<Display*>(display), static_cast<::Window>(window), StructureNotifyMask | ExposureMask);
}

void X11Link::IgnoreErrors() {
  if (auto set = Symbol<XErrorHandler (*)(XErrorHandler)>("XSetErrorHandler")) set(OnXError);
}

void X11Link::Settle(void* display) {
  auto sync = Symbol<int (*)(Display*, Bool)>("XSync");
  if (sync && display) sync(static_cast<Display*>(display), False);
}

void X11Link::WatchVisibility(void* display, std::uint64_t window) {
  auto attributes = Symbol<Status (*)(Display*, ::Window, XWindowAttributes*)>("XGetWindowAttributes");
  auto select = Symbol<int (*)(Display*, ::Window, long)>("XSelectInput");
  XWindowAttributes now{};
  if (!attributes || !select || !display || !attributes(static_cast<Display*>(display), static_cast<::Window>(window), &now))
    return;
  select(static_cast<Display*>(display), static_cast<::Window>(window), now.your_event_mask | VisibilityChangeMask);
}

bool X11Link::PoweredDown(void* display) {
  // libXext's DPMS calls (SDL's own dependency), declared here so its headers need not be installed.
  static void* xext = dlopen("libXext.so.6", RTLD_NOW | RTLD_LOCAL);
  if (xext == nullptr || display == nullptr) return false;
  static const auto query = reinterpret_cast<Bool (*)(Display*, int*, int*)>(dlsym(xext, "DPMSQueryExtension"));
  static const auto info = reinterpret_cast<Status (*)(Display*, unsigned short*, unsigned char*)>(dlsym(xext, "DPMSInfo"));
  int event_base = 0, error_base = 0;
  if (!query || !info || !query(static_cast<Display*>(display), &event_base, &error_base)) return false;
  unsigned short level = 0;  // DPMSModeOn is 0
  unsigned char enabled = 0;
  return info(static_cast<Display*>(display), &level, &enabled) && enabled && level != 0;
}

void X11Link::Lower(void* display, std::uint64_t window) {
  auto lower = Symbol<int (*)(Display*, ::Window)>("XLowerWindow");
  if (lower && display && window) lower(static_cast<Display*>(display), static_cast<::Window>(window));
}

bool X11Link::Visibility(const void* event, std::uint64_t& window, bool& covered) {
  const auto* e = static_cast<const XEvent*>(event);
  if (e->type != VisibilityNotify) return false;
  window = e->xvisibility.window;
  covered = e->xvisibility.state == VisibilityFullyObscured;
  return true;
}

void* X11Link::CreateGc(void* display, std::uint64_t drawable, std::uint32_t pixel) {
  auto create = Symbol<GC (*)(Display*, Drawable, unsigned long, XGCValues*)>("XCreateGC");
  if (!create || !display) return nullptr;
  XGCValues values{};
  values.foreground = pixel;
  values.graphics_exposures = False;
  return create(static_cast<Display*>(display), static_cast<Drawable>(drawable), GCForeground | GCGraphicsExposures, &values);
}

void X11Link::FreeGc(void* display, void* gc) {
  auto free_gc = Symbol<int (*)(Display*, GC)>("XFreeGC");
  if (free_gc && display && gc) free_gc(static_cast<Display*>(display), static_cast<GC>(gc));
}

void X11Link::FillRectangles(void* display, std::uint64_t drawable, void* gc, std::span<const RECT> rects) {
  static auto fill = Symbol<int (*)(Display*, Drawable, GC, XRectangle*, int)>("XFillRectangles");
  static std::vector<XRectangle> boxes;
  if (!fill || !display || !gc) return;
  boxes.clear();
  for (const RECT& r : rects)
    boxes.push_back({static_cast<short>(r.left), static_cast<short>(r.top), static_cast<unsigned short>(r.right - r.left),
                     static_cast<unsigned short>(r.bottom - r.top)});
  fill(static_cast<Display*>(display), static_cast<Drawable>(drawable), static_cast<GC>(gc), boxes.data(),
       static_cast<int>(boxes.size()));
}

void X11Link::Flush(void* display) {
  static auto flush = Symbol<int (*)(Display*)>("XFlush");
  if (flush && display) flush(static_cast<Display*>(display));
}

void X11Link::CatchDisplayLoss(void (*fatal)(const char*)) {
  g_fatal = fatal;
  if (auto set = Symbol<XIOErrorHandler (*)(XIOErrorHandler)>("XSetIOErrorHandler")) set(OnDisplayLost);
}

#else
X11Link::~X11Link() = default;
bool X11Link::Open() { return false; }
std::uint64_t X11Link::Root() { return 0; }
std::vector<MonitorArea> X11Link::Monitors() { return {}; }
bool X11Link::Size(std::uint64_t, int&, int&) { return false; }
int X11Link::ConnectionFd(void*) { return -1; }
bool X11Link::EventsQueued(void*) { return false; }
void X11Link::Settle(void*) {}
std::string X11Link::Undrawable(std::uint64_t) { return ""; }
std::uint64_t X11Link::CreateChild(std::uint64_t, int, int) { return 0; }
void X11Link::Resize(std::uint64_t, int, int) {}
void X11Link::Destroy(std::uint64_t) {}
void X11Link::WatchStructure(void*, std::uint64_t) {}
void X11Link::IgnoreErrors() {}
void X11Link::CatchDisplayLoss(void (*)(const char*)) {}
void* X11Link::CreateGc(void*, std::uint64_t, std::uint32_t) { return nullptr; }
void X11Link::WatchVisibility(void*, std::uint64_t) {}
void X11Link::Lower(void*, std::uint64_t) {}
bool X11Link::PoweredDown(void*) { return false; }
bool X11Link::Visibility(const void*, std::uint64_t&, bool&) { return false; }
void X11Link::FreeGc(void*, void*) {}
void X11Link::FillRectangles(void*, std::uint64_t, void*, std::span<const RECT>) {}
void X11Link::Flush(void*) {}
#endif

}  // namespace squarefield
