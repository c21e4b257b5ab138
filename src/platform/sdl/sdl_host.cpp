#include "platform/sdl/sdl_host.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <cstdio>

#ifdef __unix__
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace squarefield {

namespace {

// Why a connection could not be made: too few descriptors left for it (the
// socket, the authority file, the libraries' own). Eight is more than it needs.
std::string DescriptorShortage() {
#ifdef __unix__
  int spare[8];
  int free_count = 0;
  while (free_count < 8 && (spare[free_count] = fcntl(0, F_DUPFD_CLOEXEC, 0)) >= 0) ++free_count;
  for (int i = 0; i < free_count; ++i) close(spare[i]);
  if (free_count == 8) return "";
  struct rlimit limit {};
  getrlimit(RLIMIT_NOFILE, &limit);
  return ": too few file descriptors are free for the connection (the limit, ulimit -n, is " +
         std::to_string(limit.rlim_cur) + ")";
#else
  return "";
#endif
}

}  // namespace

bool SdlPresenter::Open(const HostConfig& config, std::string& error) {
  const bool windowed = config.windowed;
  sdl_ = LoadSdl(error);
  if (sdl_ == nullptr) return false;
  // Our own handlers turn SIGINT, SIGTERM and SIGHUP into Escape.
  sdl_->SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Keep the desktop's compositor on; we present our own frames.
  sdl_->SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  // The window surface goes straight to the window system (X11 shared memory),
  // not through a renderer: a software GL renderer redraws the whole texture per frame.
  sdl_->SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  const bool has_display = display && *display, has_wayland = wayland && *wayland;
#if defined(__unix__) && !defined(__APPLE__)
  // With no display server to talk to, say so rather than let SDL fall back on a
  // driver that shows nothing (and let client libraries complain on stderr).
  if (!has_display && !has_wayland && !asked) {
    error = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    return false;
  }
  // An X display alone: go to it straight, so a failed connection is reported
  // as that and not after a Wayland probe that prints its own complaints.
  if (has_display && !has_wayland && !asked) sdl_->SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
#endif
  // SDL falls back on a driver that shows nothing when no display server
  // answered: name the display that could not be opened.
  auto no_display = [&](const std::string& otherwise) {
    if (has_display) return "cannot open display " + std::string(display) + DescriptorShortage();
    if (has_wayland) return "cannot connect to the Wayland display " + std::string(wayland) + DescriptorShortage();
    return otherwise;
  };
  if (sdl_->SDL_Init(SDL_INIT_VIDEO) != 0) {
    error = asked ? std::string(sdl_->SDL_GetError()) : no_display(sdl_->SDL_GetError());
    return false;
  }
  video_ = true;
  const char* driver = sdl_->SDL_GetCurrentVideoDriver();
  if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) &&
      !(asked && !std::strcmp(asked, driver))) {
    error = no_display(std::string("only the '") + driver + "' video driver is available");
    return false;
  }
  SDL_DisplayMode mode;
  if (sdl_->SDL_GetDesktopDisplayMode(0, &mode) != 0) {
    error = sdl_->SDL_GetError();
    return false;
  }
  refresh_hz_ = mode.refresh_rate > 0 ? mode.refresh_rate : 60;
  if (config.into_window || config.into_root) {
    if (!OpenInto(config, error)) return false;
  } else {
    width_ = windowed ? 1024 : mode.w;
    height_ = windowed ? 768 : mode.h;
    // Windowed, it keeps its frame, so it can be moved and closed like any window.
    const Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI |
                         (windowed ? 0 : SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP);
    window_ =
        sdl_->SDL_CreateWindow("squarefield", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width_, height_, flags);
    if (window_ == nullptr) {
      error = sdl_->SDL_GetError();
      return false;
    }
  }
  // Every fill is converted to the window's pixel format when shown; a palette
  // (an 8-bit visual) has no conversion, and would show nothing at all.
  const Uint32 format = sdl_->SDL_GetWindowPixelFormat(window_);
  if (format == SDL_PIXELFORMAT_UNKNOWN || SDL_ISPIXELFORMAT_INDEXED(format) || SDL_BYTESPERPIXEL(format) < 2) {
    error = std::string("the display's pixel format (") + sdl_->SDL_GetPixelFormatName(format) +
            ") is not supported: it needs 16 bits per pixel or more";
    return false;
  }
  if (driver && !std::strcmp(driver, "x11")) {
    X11Link::CatchDisplayLoss(config.fatal);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (sdl_->SDL_GetWindowWMInfo(window_, &info) && info.subsystem == SDL_SYSWM_X11) x_display_ = info.info.x11.display;
  }
  if (embedded_) return true;
  // On a scaled (HiDPI) display the window's size is in points; the field is
  // laid out in the pixels it really has.
  int w = 0, h = 0;
  if (sdl_->SDL_GetWindowSizeInPixels) sdl_->SDL_GetWindowSizeInPixels(window_, &w, &h);
  if (w > 0 && h > 0) {
    width_ = w;
    height_ = h;
  }
  return true;
}

bool SdlPresenter::OpenInto(const HostConfig& config, std::string& error) {
  const char* driver = sdl_->SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0 || !x11_.Open()) {
    error = "drawing into another window needs an X11 display";
    return false;
  }
  // From here on a window that goes away is an ordinary end, not an exit from inside Xlib.
  X11Link::IgnoreErrors();
  target_ = config.into_window ? *config.into_window : x11_.Root();
  if (!x11_.Size(target_, width_, height_) || width_ < 1 || height_ < 1) {
    char id[32];
    std::snprintf(id, sizeof id, "0x%llx", static_cast<unsigned long long>(target_));
    error = std::string("there is no window ") + id + " on this display";
    return false;
  }
  window_ = sdl_->SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(target_)));
  if (window_ == nullptr) {
    error = sdl_->SDL_GetError();
    return false;
  }
  embedded_ = true;
  return true;
}

SdlPresenter::~SdlPresenter() {
  Close();
  if (video_) {
    sdl_->SDL_ShowCursor(SDL_ENABLE);
    sdl_->SDL_Quit();
  }
}

void SdlPresenter::Close() {
  if (window_ == nullptr) return;
  sdl_->SDL_DestroyWindow(window_);
  window_ = nullptr;
}

bool SdlPresenter::Pump(PresenterEvents& events, std::string& /*error*/) {
  SDL_Event event;
  while (sdl_->SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        events.closed = true;
        break;
      case SDL_KEYDOWN:
        if (event.key.keysym.scancode == SDL_SCANCODE_ESCAPE && !embedded_) ++events.escape_presses;
        break;
      case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) events.closed = true;
        // The surface may have been replaced, and what it showed lost.
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || event.window.event == SDL_WINDOWEVENT_EXPOSED ||
            event.window.event == SDL_WINDOWEVENT_SHOWN)
          events.lost_picture = true;
        break;
      default:
        break;
    }
  }
  if (!embedded_ || window_ == nullptr) return true;
  // A window we do not own is watched for its size, and for its end.
  int w = 0, h = 0;
  if (!x11_.Size(target_, w, h)) {
    events.closed = true;
  } else if (w > 0 && h > 0 && (w != width_ || h != height_)) {
    width_ = w;
    height_ = h;
    events.width = w;
    events.height = h;
    // Only SDL's idea of the size changes: the window already has it.
    sdl_->SDL_SetWindowSize(window_, w, h);
  }
  return true;
}

bool SdlPresenter::Present(const Framebuffer& fb, std::span<const RECT> damage, std::string& /*error*/) {
  if (window_ == nullptr) return true;
  SDL_Surface* surface = sdl_->SDL_GetWindowSurface(window_);
  // No surface now (a window being resized, minimised): the next present shows it all.
  if (surface == nullptr) return true;
  const int w = std::min(fb.Width(), surface->w);
  const int h = std::min(fb.Height(), surface->h);
  const bool same_format = surface->format->format == SDL_PIXELFORMAT_RGB888 ||
                           surface->format->format == SDL_PIXELFORMAT_ARGB8888;
  rects_.clear();
  if (SDL_MUSTLOCK(surface)) sdl_->SDL_LockSurface(surface);
  // Only the damaged pixels are copied, and only their rectangles sent.
  for (const RECT& d : damage) {
    SDL_Rect r{d.left, d.top, std::min<int>(d.right, w) - d.left, std::min<int>(d.bottom, h) - d.top};
    if (r.w <= 0 || r.h <= 0) continue;
    const std::uint32_t* src = fb.Row(r.y) + r.x;
    auto* dst = static_cast<Uint8*>(surface->pixels) + r.y * surface->pitch + r.x * surface->format->BytesPerPixel;
    if (same_format) {
      for (int y = 0; y < r.h; ++y)
        std::memcpy(dst + y * surface->pitch, src + static_cast<std::size_t>(y) * fb.Width(), r.w * 4u);
    } else {
      sdl_->SDL_ConvertPixels(r.w, r.h, SDL_PIXELFORMAT_RGB888, src, fb.Width() * 4, surface->format->format, dst,
                              surface->pitch);
    }
    rects_.push_back(r);
  }
  if (SDL_MUSTLOCK(surface)) sdl_->SDL_UnlockSurface(surface);
  if (!rects_.empty()) sdl_->SDL_UpdateWindowSurfaceRects(window_, rects_.data(), static_cast<int>(rects_.size()));
  return true;
}

void SdlPresenter::Sleep(double seconds) {
#ifdef __unix__
  const int fd = x_display_ ? X11Link::ConnectionFd(x_display_) : -1;
  if (fd >= 0) {
    // Asleep until the display has something to say, or the time is up; a
    // signal cuts it short too. What Xlib already read waits in its queue.
    if (X11Link::EventsQueued(x_display_)) return;
    pollfd watch{fd, POLLIN, 0};
    const double whole = std::floor(seconds);
    const timespec timeout{static_cast<time_t>(whole), static_cast<long>((seconds - whole) * 1e9)};
    ppoll(&watch, 1, &timeout, nullptr);
    return;
  }
#endif
  SleepFor(seconds);
}

bool SdlPresenter::EscapeDown() const {
  // In a window we do not own, the keyboard is its owner's.
  if (embedded_) return false;
  const Uint8* keys = sdl_->SDL_GetKeyboardState(nullptr);
  return keys != nullptr && keys[SDL_SCANCODE_ESCAPE] != 0;
}

void SdlPresenter::CursorCountChanged(int count) {
  if (embedded_) return;  // the owner's cursor
  sdl_->SDL_ShowCursor(count < 0 ? SDL_DISABLE : SDL_ENABLE);
}

void SdlPresenter::Placed(bool topmost, bool show) {
  if (window_ == nullptr || embedded_) return;
  sdl_->SDL_SetWindowAlwaysOnTop(window_, topmost ? SDL_TRUE : SDL_FALSE);
  if (show) sdl_->SDL_ShowWindow(window_);
}

void SdlPresenter::Show() {
  if (window_ == nullptr || embedded_) return;
  sdl_->SDL_ShowWindow(window_);
  // Escape must reach us: take the keyboard focus.
  sdl_->SDL_RaiseWindow(window_);
}

std::unique_ptr<Host> OpenDesktopHost(const HostConfig& config, std::string& error) {
  auto presenter = std::make_unique<SdlPresenter>();
  if (!presenter->Open(config, error)) return nullptr;
  const int width = presenter->Width(), height = presenter->Height();
  return std::make_unique<FramebufferHost>(std::move(presenter), width, height);
}

void PrepareConsole() {}

}  // namespace squarefield
