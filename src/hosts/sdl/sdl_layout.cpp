// The SDL host: video started on the right driver, its windows opened and
// laid over the monitors (or inside another's window), and taken down.
#include "hosts/sdl/sdl_host.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <cstdio>

#ifdef __unix__
#include <fcntl.h>
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

namespace {
// SDL falls back on a driver that shows nothing when no display server
// answered: the display that could not be opened, named.
std::string NoDisplay(const std::string& otherwise) {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (display && *display) return "cannot open display " + std::string(display) + DescriptorShortage();
  if (wayland && *wayland) return "cannot connect to the Wayland display " + std::string(wayland) + DescriptorShortage();
  return otherwise;
}
}  // namespace

bool SdlPresenter::Open(const HostConfig& config, std::string& error) {
  role_ = config.into_window || config.into_root ? Role::Guest
          : config.saver                          ? Role::Saver
          : config.wallpaper                      ? Role::Wallpaper
          : config.windowed                       ? Role::Window
                                                  : Role::FullScreen;
  sdl_ = LoadSdl(error);
  if (sdl_ == nullptr) return false;
  // A background is a desktop window, which window managers keep below all others.
  if (role_ == Role::Wallpaper) sdl_->SDL_SetHint("SDL_X11_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DESKTOP");
  // Our own handlers turn SIGINT, SIGTERM and SIGHUP into Escape.
  sdl_->SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Keep the desktop's compositor on; we present our own frames.
  sdl_->SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (!StartVideo(config, error)) return false;
  // On X11 the window surface goes straight to the window system (shared
  // memory), not through a renderer: a software GL renderer redraws the whole
  // texture per frame. Wayland has no such surface: there it is a renderer's.
  // (Elsewhere the window surface is a renderer's texture uploaded whole every
  // present: a streaming texture of our own takes only the damage.)
  if (on_x11_) sdl_->SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_DisplayMode mode;
  if (sdl_->SDL_GetDesktopDisplayMode(0, &mode) != 0) {
    error = sdl_->SDL_GetError();
    return false;
  }
  refresh_hz_ = mode.refresh_rate > 0 ? mode.refresh_rate : 60;
  if (role_ == Role::Saver) sdl_->SDL_GetGlobalMouseState(&pointer_x_, &pointer_y_);
  if (!OpenWindows(config, error) || !LinkWindows(config, error)) return false;
  if (role_ != Role::Guest) Lay();
  return true;
}

// Which video driver, and SDL's video started on it: native Wayland where
// there is a Wayland display, X11 where there is only an X display or a
// window of X11's is asked for; the display that could not be opened named.
bool SdlPresenter::StartVideo(const HostConfig& config, std::string& error) {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  const bool has_display = display && *display, has_wayland = wayland && *wayland;
  bool wayland_first = false;
#if defined(__unix__) && !defined(__APPLE__)
  // With no display server to talk to, say so rather than let SDL fall back on a
  // driver that shows nothing (and let client libraries complain on stderr).
  if (!has_display && !has_wayland && !asked) {
    error = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    return false;
  }
  const bool x11_only = config.into_window || config.into_root;
  if (x11_only && !has_display && !asked) {
    error = "drawing into another window needs an X11 display, and DISPLAY is not set";
    return false;
  }
  // Native Wayland where there is a Wayland display (X11 through XWayland
  // would be a window the compositor scales and cannot make full-screen on
  // every output); an X display alone, or a window of X11's, is gone to
  // straight, so a failed connection is reported as that and not after a
  // Wayland probe that prints its own complaints.
  wayland_first = has_wayland && !x11_only && !asked;
  if (wayland_first) {
    // libwayland says this on stderr itself, in a line of its own, otherwise.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (wayland[0] != '/' && !(runtime && *runtime)) {
      if (!has_display) {
        error = "cannot connect to the Wayland display " + std::string(wayland) + ": XDG_RUNTIME_DIR is not set";
        return false;
      }
      wayland_first = false;
    } else {
      sdl_->SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland");
    }
  }
  if (has_display && !asked && !wayland_first)
    sdl_->SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
#endif
  bool started = sdl_->SDL_Init(SDL_INIT_VIDEO) == 0;
  if (!started && wayland_first && has_display) {
    // A Wayland display that does not answer, beside an X display that may.
    sdl_->SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    started = sdl_->SDL_Init(SDL_INIT_VIDEO) == 0;
  }
  if (!started) {
    error = asked ? std::string(sdl_->SDL_GetError()) : NoDisplay(sdl_->SDL_GetError());
    return false;
  }
  video_ = true;
  const char* driver = sdl_->SDL_GetCurrentVideoDriver();
  if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) &&
      !(asked && !std::strcmp(asked, driver))) {
    error = NoDisplay(std::string("only the '") + driver + "' video driver is available");
    return false;
  }
  on_x11_ = driver && !std::strcmp(driver, "x11");
  return true;
}

// The windows: inside another's, one framed window, or one on each monitor.
bool SdlPresenter::OpenWindows(const HostConfig& config, std::string& error) {
  if (role_ == Role::Guest) {
    if (!OpenInto(config, error)) return false;
  } else if (role_ == Role::Window) {
    // The window size, or as much as the screen's usable area holds (a window taller
    // than the screen would start above its top edge).
    SDL_Rect usable{0, 0, kWindowWidth, kWindowHeight};
    if (sdl_->SDL_GetDisplayUsableBounds(0, &usable) != 0) usable = {0, 0, kWindowWidth, kWindowHeight};
    width_ = std::clamp(usable.w, 1, kWindowWidth);
    height_ = std::clamp(usable.h, 1, kWindowHeight);
    // Windowed, it keeps its frame, so it can be moved and closed like any window.
    SDL_Window* window = sdl_->SDL_CreateWindow("squarefield", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width_,
                                                height_, SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI);
    if (window == nullptr) {
      error = sdl_->SDL_GetError();
      return false;
    }
    windows_.push_back({window, {0, 0, width_, height_}});
  } else {
    if (on_x11_) x11_.Open();
    if (!OpenMonitors(error)) return false;
  }
  return true;
}

// The pixel format checked, and on X11 the link to the windows' display.
bool SdlPresenter::LinkWindows(const HostConfig& config, std::string& error) {
  // Every fill is converted to the window's pixel format when shown; a palette
  // (an 8-bit visual) has no conversion, and would show nothing at all.
  const Uint32 format = sdl_->SDL_GetWindowPixelFormat(windows_.front().window);
  if (format == SDL_PIXELFORMAT_UNKNOWN || SDL_ISPIXELFORMAT_INDEXED(format) || SDL_BYTESPERPIXEL(format) < 2) {
    error = std::string("the display's pixel format (") + sdl_->SDL_GetPixelFormatName(format) +
            ") is not supported: it needs 16 bits per pixel or more";
    return false;
  }
  if (on_x11_) {
    CatchX11DisplayLoss(config.fatal);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (sdl_->SDL_GetWindowWMInfo(windows_.front().window, &info) && info.subsystem == SDL_SYSWM_X11) sdl_x11_ = SdlX11(info.info.x11.display);
    // The X server fills in the framebuffer's own pixel values only where the window's are the same.
    fills_ok_ = sdl_x11_.Connected() && (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888);
    // SDL asks a window it did not make for its button presses too, which
    // only one client may have: the owner's have them, and the whole request
    // fails. Ask for its size changes alone, so SDL's surface follows them.
    if (role_ == Role::Guest) sdl_x11_.WatchStructure(child_);
    WatchVisibility();
  }
  return true;
}

bool SdlPresenter::WindowSize(int& width, int& height) {
  if (!x11_.Size(target_, width, height)) return false;
  // A window larger than the screen shows no more than the screen holds: the
  // field (and its memory) is no bigger than that.
  int screen_width = 0, screen_height = 0;
  if (x11_.Size(x11_.Root(), screen_width, screen_height) && screen_width > 0 && screen_height > 0) {
    width = std::min(width, screen_width);
    height = std::min(height, screen_height);
  }
  return true;
}

std::vector<MonitorArea> SdlPresenter::Monitors() {
  std::vector<MonitorArea> monitors = x11_.Monitors();
  if (!monitors.empty()) return monitors;
  const int count = sdl_->SDL_GetNumVideoDisplays();
  for (int i = 0; i < count; ++i) {
    SDL_Rect r;
    if (sdl_->SDL_GetDisplayBounds(i, &r) == 0 && r.w > 0 && r.h > 0) monitors.push_back({r.x, r.y, r.w, r.h});
  }
  return monitors;
}

bool SdlPresenter::OpenMonitors(std::string& error) {
  monitors_ = Monitors();
  if (monitors_.empty()) {
    error = "the display has no monitor to show the field on";
    return false;
  }
  for (const MonitorArea& m : monitors_) {
    // A monitor SDL knows as a display gets a full-screen window there (which
    // a window manager keeps above its panels); one it does not know (a
    // Xinerama head beyond the first) a borderless window on its area.
    int display = -1;
    const int count = sdl_->SDL_GetNumVideoDisplays();
    for (int i = 0; i < count && display < 0; ++i) {
      SDL_Rect r;
      if (sdl_->SDL_GetDisplayBounds(i, &r) == 0 && r.x == m.x && r.y == m.y && r.w == m.width && r.h == m.height)
        display = i;
    }
    // A background is never full screen: that would put it above the panels.
    if (role_ == Role::Wallpaper) display = -1;
    const Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_BORDERLESS |
                         (display >= 0 ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) |
                         (role_ == Role::Wallpaper ? SDL_WINDOW_SKIP_TASKBAR : 0);
    const int x = display >= 0 ? static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(display)) : m.x;
    const int y = display >= 0 ? static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(display)) : m.y;
    SDL_Window* window = sdl_->SDL_CreateWindow("squarefield", x, y, m.width, m.height, flags);
    if (window == nullptr) {
      error = sdl_->SDL_GetError();
      Close();
      return false;
    }
    windows_.push_back({window, {}});
  }
  next_monitor_check_ = sdl_->SDL_GetTicks64() + kMonitorCheckMs;
  return true;
}

void SdlPresenter::Lay() {
  if (!SpansMonitors()) {
    // On a scaled (HiDPI) display the window's size is in points; the field is
    // laid out in the pixels it really has.
    int w = 0, h = 0;
    if (sdl_->SDL_GetWindowSizeInPixels) sdl_->SDL_GetWindowSizeInPixels(windows_.front().window, &w, &h);
    if (w > 0 && h > 0) {
      width_ = w;
      height_ = h;
      windows_.front().area = {0, 0, w, h};
    }
    return;
  }
  int left = monitors_.front().x, top = monitors_.front().y;
  for (const MonitorArea& m : monitors_) {
    left = std::min(left, m.x);
    top = std::min(top, m.y);
  }
  width_ = height_ = 0;
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    const MonitorArea& m = monitors_[i];
    int w = m.width, h = m.height;
    if (sdl_->SDL_GetWindowSizeInPixels) sdl_->SDL_GetWindowSizeInPixels(windows_[i].window, &w, &h);
    if (w <= 0 || h <= 0) w = m.width, h = m.height;
    // A scaled monitor's place is in points; its part of the field in pixels.
    const int x = static_cast<int>(static_cast<long long>(m.x - left) * w / m.width);
    const int y = static_cast<int>(static_cast<long long>(m.y - top) * h / m.height);
    windows_[i].area = {x, y, w, h};
    width_ = std::max(width_, x + w);
    height_ = std::max(height_, y + h);
  }
}

bool SdlPresenter::OpenInto(const HostConfig& config, std::string& error) {
  if (!on_x11_ || !x11_.Open()) {
    error = "drawing into another window needs an X11 display";
    return false;
  }
  // From here on a window that goes away is an ordinary end, not an exit from inside Xlib.
  IgnoreX11Errors();
  target_ = config.into_window ? *config.into_window : x11_.Root();
  if (!WindowSize(width_, height_) || width_ < 1 || height_ < 1) {
    char id[32];
    std::snprintf(id, sizeof id, "0x%llx", static_cast<unsigned long long>(target_));
    error = std::string("there is no window ") + id + " on this display";
    no_such_window_ = true;
    return false;
  }
  if (const std::string why = x11_.Undrawable(target_); !why.empty()) {
    char id[32];
    std::snprintf(id, sizeof id, "0x%llx", static_cast<unsigned long long>(target_));
    error = std::string("the window ") + id + " " + why;
    return false;
  }
  // The field goes in a window of our own inside theirs: ours can be sized to
  // what the screen shows whatever size theirs is, and taking ours down gives
  // back what theirs showed.
  child_ = x11_.CreateChild(target_, width_, height_);
  if (child_ == 0) {
    error = "cannot make a window inside the window";
    return false;
  }
  SDL_Window* window = sdl_->SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(child_)));
  if (window == nullptr) {
    error = sdl_->SDL_GetError();
    return false;
  }
  windows_.push_back({window, {0, 0, width_, height_}});
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
  if (role_ == Role::Guest && !windows_.empty()) {
    // Taking our window down shows the owner's again (the desktop, for
    // --root). A window that went meanwhile is no error worth a word.
    IgnoreX11Errors();
  }
  for (const auto& [pixel, gc] : gcs_) sdl_x11_.FreeGc(gc);
  gcs_.clear();
  for (MonitorWindow& output : windows_) {
    if (output.texture) sdl_->SDL_DestroyTexture(output.texture);
    if (output.renderer) sdl_->SDL_DestroyRenderer(output.renderer);
    sdl_->SDL_DestroyWindow(output.window);
  }
  windows_.clear();
  if (role_ == Role::Guest) sdl_x11_.Settle();
  x11_.Destroy(child_);
  child_ = 0;
}

}  // namespace squarefield
