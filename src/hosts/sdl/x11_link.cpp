#include "hosts/sdl/x11_link.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "hosts/library.h"

#if __has_include(<X11/Xlib.h>)
#include <X11/Xlib.h>
#define SQUAREFIELD_HAS_XLIB 1
#endif

namespace squarefield {

#ifdef SQUAREFIELD_HAS_XLIB
namespace {

#define SQUAREFIELD_XLIB_FUNCTIONS(X)                                                                       \
  X(XCloseDisplay) X(XConnectionNumber) X(XCreateGC) X(XCreateSimpleWindow) X(XDefaultRootWindow) X(XDestroyWindow) \
  X(XEventsQueued) X(XFillRectangles) X(XFlush) X(XFree) X(XFreeGC) X(XGetWindowAttributes) X(XLowerWindow)       \
  X(XMapWindow) X(XOpenDisplay) X(XResizeWindow) X(XSelectInput) X(XSetErrorHandler) X(XSetIOErrorHandler) X(XSync)

struct XlibFunctions {
  SQUAREFIELD_XLIB_FUNCTIONS(SQUAREFIELD_LIBRARY_POINTER)
};

const char* FindAll(const Library& library, XlibFunctions& table) {
  SQUAREFIELD_XLIB_FUNCTIONS(SQUAREFIELD_LIBRARY_FIND)
  return nullptr;
}

// Xlib as SDL loaded it (we never load a second one); null until then. Looked
// up once: the pump calls some of these before every wait.
const XlibFunctions* Xlib() {
  static XlibFunctions table;
  static bool found = false;
  if (!found) {
    const Library library = Library::AlreadyLoaded("libX11.so.6");
    if (!library || FindAll(library, table) != nullptr) return nullptr;
    found = true;
  }
  return &table;
}

// libXinerama's, declared here so that it need not be installed to build.
struct XineramaHead {
  int screen_number;
  short x_org, y_org, width, height;
};

struct XineramaFunctions {
  int (*XineramaIsActive)(Display*) = nullptr;
  XineramaHead* (*XineramaQueryScreens)(Display*, int*) = nullptr;
};

const XineramaFunctions* Xinerama() {
  static XineramaFunctions table;
  static const bool found = [] {
    const Library library = Library::Load({"libXinerama.so.1"});
    return library.Find("XineramaIsActive", table.XineramaIsActive) &&
           library.Find("XineramaQueryScreens", table.XineramaQueryScreens);
  }();
  return found ? &table : nullptr;
}

// libXext's DPMS calls (SDL's own dependency), declared here so its headers need not be installed.
struct DpmsFunctions {
  Bool (*DPMSQueryExtension)(Display*, int*, int*) = nullptr;
  Status (*DPMSInfo)(Display*, unsigned short*, unsigned char*) = nullptr;
};

const DpmsFunctions* Dpms() {
  static DpmsFunctions table;
  static const bool found = [] {
    const Library library = Library::Load({"libXext.so.6"});
    return library.Find("DPMSQueryExtension", table.DPMSQueryExtension) && library.Find("DPMSInfo", table.DPMSInfo);
  }();
  return found ? &table : nullptr;
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
  if (const XlibFunctions* x = Xlib(); x && display_) x->XCloseDisplay(static_cast<Display*>(display_));
}

bool X11Link::Open() {
  const XlibFunctions* x = Xlib();
  if (x == nullptr) return false;
  display_ = x->XOpenDisplay(nullptr);
  return display_ != nullptr;
}

std::uint64_t X11Link::Root() {
  const XlibFunctions* x = Xlib();
  return x && display_ ? x->XDefaultRootWindow(static_cast<Display*>(display_)) : 0;
}

std::vector<MonitorArea> X11Link::Monitors() {
  std::vector<MonitorArea> monitors;
  auto* display = static_cast<Display*>(display_);
  const XlibFunctions* x = Xlib();
  if (display == nullptr || x == nullptr) return monitors;
  if (const XineramaFunctions* xinerama = Xinerama()) {
    int count = 0;
    XineramaHead* heads = xinerama->XineramaIsActive(display) ? xinerama->XineramaQueryScreens(display, &count) : nullptr;
    for (int i = 0; i < count; ++i) {
      const MonitorArea area{heads[i].x_org, heads[i].y_org, heads[i].width, heads[i].height};
      // Mirrored monitors show the same part of the screen: one field serves both.
      if (area.width > 0 && area.height > 0 && std::find(monitors.begin(), monitors.end(), area) == monitors.end())
        monitors.push_back(area);
    }
    if (heads) x->XFree(heads);
  }
  // One monitor shows the whole screen; and a server that resizes its screen
  // (a nested one) may not tell Xinerama of the new size.
  int width = 0, height = 0;
  if (monitors.size() <= 1 && Size(Root(), width, height)) monitors.assign(1, {0, 0, width, height});
  return monitors;
}

bool X11Link::Size(std::uint64_t window, int& width, int& height) {
  const XlibFunctions* x = Xlib();
  if (x == nullptr || display_ == nullptr || window == 0) return false;
  XWindowAttributes attributes{};
  if (x->XGetWindowAttributes(static_cast<Display*>(display_), static_cast<::Window>(window), &attributes) == 0) return false;
  width = attributes.width;
  height = attributes.height;
  return true;
}

int SdlX11::ConnectionFd() const {
  const XlibFunctions* x = Xlib();
  return x && display_ ? x->XConnectionNumber(static_cast<Display*>(display_)) : -1;
}

bool SdlX11::EventsQueued() const {
  const XlibFunctions* x = Xlib();
  return x && display_ && x->XEventsQueued(static_cast<Display*>(display_), QueuedAlready) > 0;
}

std::string X11Link::Undrawable(std::uint64_t window) {
  const XlibFunctions* x = Xlib();
  XWindowAttributes a{};
  if (x == nullptr || display_ == nullptr ||
      x->XGetWindowAttributes(static_cast<Display*>(display_), static_cast<::Window>(window), &a) == 0)
    return "";
  if (a.c_class == InputOnly) return "is input-only: it has no pixels to draw on";
  if (a.depth < 16 || a.visual == nullptr || (a.visual->c_class != TrueColor && a.visual->c_class != DirectColor))
    return "has " + std::to_string(a.depth) + "-bit colours from a palette: it needs 16 bits per pixel or more";
  return "";
}

std::uint64_t X11Link::CreateChild(std::uint64_t parent, int width, int height) {
  const XlibFunctions* x = Xlib();
  if (x == nullptr || display_ == nullptr) return 0;
  auto* display = static_cast<Display*>(display_);
  const ::Window child = x->XCreateSimpleWindow(display, static_cast<::Window>(parent), 0, 0, static_cast<unsigned>(width),
                                                static_cast<unsigned>(height), 0, 0, 0);
  x->XMapWindow(display, child);
  x->XSync(display, False);
  return child;
}

void X11Link::Resize(std::uint64_t window, int width, int height) {
  const XlibFunctions* x = Xlib();
  if (x == nullptr || display_ == nullptr) return;
  x->XResizeWindow(static_cast<Display*>(display_), static_cast<::Window>(window), static_cast<unsigned>(width),
                   static_cast<unsigned>(height));
  x->XFlush(static_cast<Display*>(display_));
}

void X11Link::Destroy(std::uint64_t window) {
  const XlibFunctions* x = Xlib();
  if (x == nullptr || display_ == nullptr || window == 0) return;
  x->XDestroyWindow(static_cast<Display*>(display_), static_cast<::Window>(window));
  x->XSync(static_cast<Display*>(display_), False);
}

void SdlX11::WatchStructure(std::uint64_t window) const {
  if (const XlibFunctions* x = Xlib(); x && display_)
    x->XSelectInput(static_cast<Display*>(display_), static_cast<::Window>(window), StructureNotifyMask | ExposureMask);
}

void IgnoreX11Errors() {
  if (const XlibFunctions* x = Xlib()) x->XSetErrorHandler(OnXError);
}

void SdlX11::Settle() const {
  if (const XlibFunctions* x = Xlib(); x && display_) x->XSync(static_cast<Display*>(display_), False);
}

void SdlX11::WatchVisibility(std::uint64_t window) const {
  const XlibFunctions* x = Xlib();
  XWindowAttributes now{};
  if (!x || !display_ || !x->XGetWindowAttributes(static_cast<Display*>(display_), static_cast<::Window>(window), &now))
    return;
  x->XSelectInput(static_cast<Display*>(display_), static_cast<::Window>(window), now.your_event_mask | VisibilityChangeMask);
}

bool SdlX11::PoweredDown() const {
  const DpmsFunctions* dpms = Dpms();
  int event_base = 0, error_base = 0;
  if (!dpms || !display_ || !dpms->DPMSQueryExtension(static_cast<Display*>(display_), &event_base, &error_base)) return false;
  unsigned short level = 0;  // DPMSModeOn is 0
  unsigned char enabled = 0;
  return dpms->DPMSInfo(static_cast<Display*>(display_), &level, &enabled) && enabled && level != 0;
}

void SdlX11::Lower(std::uint64_t window) const {
  if (const XlibFunctions* x = Xlib(); x && display_ && window)
    x->XLowerWindow(static_cast<Display*>(display_), static_cast<::Window>(window));
}

bool X11Visibility(const void* event, std::uint64_t& window, bool& covered) {
  const auto* e = static_cast<const XEvent*>(event);
  if (e->type != VisibilityNotify) return false;
  window = e->xvisibility.window;
  covered = e->xvisibility.state == VisibilityFullyObscured;
  return true;
}

void* SdlX11::CreateGc(std::uint64_t drawable, std::uint32_t pixel) const {
  const XlibFunctions* x = Xlib();
  if (!x || !display_) return nullptr;
  XGCValues values{};
  values.foreground = pixel;
  values.graphics_exposures = False;
  return x->XCreateGC(static_cast<Display*>(display_), static_cast<Drawable>(drawable), GCForeground | GCGraphicsExposures,
                      &values);
}

void SdlX11::FreeGc(void* gc) const {
  if (const XlibFunctions* x = Xlib(); x && display_ && gc) x->XFreeGC(static_cast<Display*>(display_), static_cast<GC>(gc));
}

void SdlX11::FillRectangles(std::uint64_t drawable, void* gc, std::span<const RECT> rects) const {
  static std::vector<XRectangle> boxes;
  const XlibFunctions* x = Xlib();
  if (!x || !display_ || !gc) return;
  boxes.clear();
  for (const RECT& r : rects)
    boxes.push_back({static_cast<short>(r.left), static_cast<short>(r.top), static_cast<unsigned short>(r.right - r.left),
                     static_cast<unsigned short>(r.bottom - r.top)});
  x->XFillRectangles(static_cast<Display*>(display_), static_cast<Drawable>(drawable), static_cast<GC>(gc), boxes.data(),
                     static_cast<int>(boxes.size()));
}

void SdlX11::Flush() const {
  if (const XlibFunctions* x = Xlib(); x && display_) x->XFlush(static_cast<Display*>(display_));
}

void CatchX11DisplayLoss(void (*fatal)(const char*)) {
  g_fatal = fatal;
  if (const XlibFunctions* x = Xlib()) x->XSetIOErrorHandler(OnDisplayLost);
}

#else
X11Link::~X11Link() = default;
bool X11Link::Open() { return false; }
std::uint64_t X11Link::Root() { return 0; }
std::vector<MonitorArea> X11Link::Monitors() { return {}; }
bool X11Link::Size(std::uint64_t, int&, int&) { return false; }
int SdlX11::ConnectionFd() const { return -1; }
bool SdlX11::EventsQueued() const { return false; }
void SdlX11::Settle() const {}
std::string X11Link::Undrawable(std::uint64_t) { return ""; }
std::uint64_t X11Link::CreateChild(std::uint64_t, int, int) { return 0; }
void X11Link::Resize(std::uint64_t, int, int) {}
void X11Link::Destroy(std::uint64_t) {}
void SdlX11::WatchStructure(std::uint64_t) const {}
void IgnoreX11Errors() {}
void CatchX11DisplayLoss(void (*)(const char*)) {}
void* SdlX11::CreateGc(std::uint64_t, std::uint32_t) const { return nullptr; }
void SdlX11::WatchVisibility(std::uint64_t) const {}
void SdlX11::Lower(std::uint64_t) const {}
bool SdlX11::PoweredDown() const { return false; }
bool X11Visibility(const void*, std::uint64_t&, bool&) { return false; }
void SdlX11::FreeGc(void*) const {}
void SdlX11::FillRectangles(std::uint64_t, void*, std::span<const RECT>) const {}
void SdlX11::Flush() const {}
#endif

}  // namespace squarefield
