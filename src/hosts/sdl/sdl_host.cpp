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

#include "hosts/wait_readable.h"
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
  saver_ = config.saver;
  wallpaper_ = config.wallpaper;
  sdl_ = LoadSdl(error);
  if (sdl_ == nullptr) return false;
  // A background is a desktop window, which window managers keep below all others.
  if (wallpaper_) sdl_->SDL_SetHint("SDL_X11_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DESKTOP");
  // Our own handlers turn SIGINT, SIGTERM and SIGHUP into Escape.
  sdl_->SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Keep the desktop's compositor on; we present our own frames.
  sdl_->SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (!StartVideo(config, error)) return false;
  const char* driver = sdl_->SDL_GetCurrentVideoDriver();
  const bool x11 = driver && !std::strcmp(driver, "x11");
  // On X11 the window surface goes straight to the window system (shared
  // memory), not through a renderer: a software GL renderer redraws the whole
  // texture per frame. Wayland has no such surface: there it is a renderer's.
  if (x11) sdl_->SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // Elsewhere the window surface is a renderer's texture uploaded whole every
  // present: a streaming texture of our own takes only the damage.
  via_texture_ = !x11;
  SDL_DisplayMode mode;
  if (sdl_->SDL_GetDesktopDisplayMode(0, &mode) != 0) {
    error = sdl_->SDL_GetError();
    return false;
  }
  refresh_hz_ = mode.refresh_rate > 0 ? mode.refresh_rate : 60;
  if (saver_) sdl_->SDL_GetGlobalMouseState(&pointer_x_, &pointer_y_);
  if (!OpenWindows(config, error) || !LinkWindows(config, error)) return false;
  if (!embedded_) Lay();
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
  return true;
}

// The windows: inside another's, one framed window, or one on each monitor.
bool SdlPresenter::OpenWindows(const HostConfig& config, std::string& error) {
  const char* driver = sdl_->SDL_GetCurrentVideoDriver();
  if (config.into_window || config.into_root) {
    if (!OpenInto(config, error)) return false;
  } else if (config.windowed) {
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
    outputs_.push_back({window, {0, 0, width_, height_}});
  } else {
    if (driver && !std::strcmp(driver, "x11")) x11_.Open();
    full_screen_ = true;
    if (!OpenMonitors(error)) return false;
  }
  return true;
}

// The pixel format checked, and on X11 the link to the windows' display.
bool SdlPresenter::LinkWindows(const HostConfig& config, std::string& error) {
  const char* driver = sdl_->SDL_GetCurrentVideoDriver();
  // Every fill is converted to the window's pixel format when shown; a palette
  // (an 8-bit visual) has no conversion, and would show nothing at all.
  const Uint32 format = sdl_->SDL_GetWindowPixelFormat(outputs_.front().window);
  if (format == SDL_PIXELFORMAT_UNKNOWN || SDL_ISPIXELFORMAT_INDEXED(format) || SDL_BYTESPERPIXEL(format) < 2) {
    error = std::string("the display's pixel format (") + sdl_->SDL_GetPixelFormatName(format) +
            ") is not supported: it needs 16 bits per pixel or more";
    return false;
  }
  if (driver && !std::strcmp(driver, "x11")) {
    X11Link::CatchDisplayLoss(config.fatal);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (sdl_->SDL_GetWindowWMInfo(outputs_.front().window, &info) && info.subsystem == SDL_SYSWM_X11) x_display_ = info.info.x11.display;
    // The X server fills in the framebuffer's own pixel values only where the window's are the same.
    fills_ok_ = x_display_ != nullptr && (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888);
    // SDL asks a window it did not make for its button presses too, which
    // only one client may have: the owner's have them, and the whole request
    // fails. Ask for its size changes alone, so SDL's surface follows them.
    if (embedded_) X11Link::WatchStructure(x_display_, child_);
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
    if (wallpaper_) display = -1;
    const Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_BORDERLESS |
                         (display >= 0 ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) |
                         (wallpaper_ ? SDL_WINDOW_SKIP_TASKBAR : 0);
    const int x = display >= 0 ? static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(display)) : m.x;
    const int y = display >= 0 ? static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(display)) : m.y;
    SDL_Window* window = sdl_->SDL_CreateWindow("squarefield", x, y, m.width, m.height, flags);
    if (window == nullptr) {
      error = sdl_->SDL_GetError();
      Close();
      return false;
    }
    outputs_.push_back({window, {}});
  }
  next_monitor_check_ = sdl_->SDL_GetTicks64() + kMonitorCheckMs;
  return true;
}

void SdlPresenter::Lay() {
  if (!full_screen_) {
    // On a scaled (HiDPI) display the window's size is in points; the field is
    // laid out in the pixels it really has.
    int w = 0, h = 0;
    if (sdl_->SDL_GetWindowSizeInPixels) sdl_->SDL_GetWindowSizeInPixels(outputs_.front().window, &w, &h);
    if (w > 0 && h > 0) {
      width_ = w;
      height_ = h;
      outputs_.front().area = {0, 0, w, h};
    }
    return;
  }
  int left = monitors_.front().x, top = monitors_.front().y;
  for (const MonitorArea& m : monitors_) {
    left = std::min(left, m.x);
    top = std::min(top, m.y);
  }
  width_ = height_ = 0;
  for (std::size_t i = 0; i < outputs_.size(); ++i) {
    const MonitorArea& m = monitors_[i];
    int w = m.width, h = m.height;
    if (sdl_->SDL_GetWindowSizeInPixels) sdl_->SDL_GetWindowSizeInPixels(outputs_[i].window, &w, &h);
    if (w <= 0 || h <= 0) w = m.width, h = m.height;
    // A scaled monitor's place is in points; its part of the field in pixels.
    const int x = static_cast<int>(static_cast<long long>(m.x - left) * w / m.width);
    const int y = static_cast<int>(static_cast<long long>(m.y - top) * h / m.height);
    outputs_[i].area = {x, y, w, h};
    width_ = std::max(width_, x + w);
    height_ = std::max(height_, y + h);
  }
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
  outputs_.push_back({window, {0, 0, width_, height_}});
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
  if (embedded_ && !outputs_.empty()) {
    // Taking our window down shows the owner's again (the desktop, for
    // --root). A window that went meanwhile is no error worth a word.
    X11Link::IgnoreErrors();
  }
  for (const auto& [pixel, gc] : gcs_) X11Link::FreeGc(x_display_, gc);
  gcs_.clear();
  for (Output& output : outputs_) {
    if (output.texture) sdl_->SDL_DestroyTexture(output.texture);
    if (output.renderer) sdl_->SDL_DestroyRenderer(output.renderer);
    sdl_->SDL_DestroyWindow(output.window);
  }
  outputs_.clear();
  if (embedded_) X11Link::Settle(x_display_);
  x11_.Destroy(child_);
  child_ = 0;
}

std::optional<Failure> SdlPresenter::Pump(PresenterEvents& events) {
  SDL_Event event;
  bool resized = false;
  // One pump, then what it queued: each poll would pump (and read the display) again.
  sdl_->SDL_PumpEvents();
  while (sdl_->SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) Handle(event, events, resized);
  std::string error;
  if (!FollowSize(events, resized, error)) return HostFailed(error.empty() ? "the display failed" : error);
  return std::nullopt;
}

void SdlPresenter::Handle(const SDL_Event& event, PresenterEvents& events, bool& resized) {
  switch (event.type) {
    case SDL_QUIT:
      events.closed = true;
      break;
    case SDL_KEYDOWN:
      // By the key's place, or by its meaning: a Wayland keymap of a virtual
      // keyboard (an on-screen one, a remote desktop's) may put it anywhere.
      // A screensaver ends on any key, as on Escape.
      if ((saver_ || event.key.keysym.scancode == SDL_SCANCODE_ESCAPE || event.key.keysym.sym == SDLK_ESCAPE) &&
          !embedded_ && !wallpaper_ && !event.key.repeat)
        ++events.escape_presses;
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEWHEEL:
      if (saver_) ++events.escape_presses;
      break;
    case SDL_MOUSEMOTION:
      if (saver_ && PointerMoved(event.motion.windowID, event.motion.x, event.motion.y)) ++events.escape_presses;
      break;
    case SDL_WINDOWEVENT:
      WindowEvent(event.window, events, resized);
      break;
    case SDL_DISPLAYEVENT:
      next_monitor_check_ = 0;
      break;
    case SDL_SYSWMEVENT:
      if (event.syswm.msg) SystemEvent(*event.syswm.msg);
      break;
    default:
      break;
  }
}

void SdlPresenter::WindowEvent(const SDL_WindowEvent& window, PresenterEvents& events, bool& resized) {
  if (window.event == SDL_WINDOWEVENT_CLOSE) events.closed = true;
  if (window.event == SDL_WINDOWEVENT_HIDDEN || window.event == SDL_WINDOWEVENT_MINIMIZED ||
      window.event == SDL_WINDOWEVENT_SHOWN || window.event == SDL_WINDOWEVENT_RESTORED) {
    const bool hidden = window.event == SDL_WINDOWEVENT_HIDDEN || window.event == SDL_WINDOWEVENT_MINIMIZED;
    for (Output& output : outputs_)
      if (window.windowID == sdl_->SDL_GetWindowID(output.window)) output.hidden = hidden;
  }
  if (window.event == SDL_WINDOWEVENT_SIZE_CHANGED) resized = true;
  // The surface may have been replaced, and what it showed lost.
  if (window.event == SDL_WINDOWEVENT_SIZE_CHANGED || window.event == SDL_WINDOWEVENT_EXPOSED ||
      window.event == SDL_WINDOWEVENT_SHOWN)
    events.lost_picture = true;
}

// X11's own events: a window of ours covered, or seen again.
void SdlPresenter::SystemEvent(const SDL_SysWMmsg& message) {
  std::uint64_t window = 0;
  bool covered = false;
  if (message.subsystem != SDL_SYSWM_X11 || !X11Link::Visibility(&message.msg.x11.event, window, covered)) return;
  for (Output& output : outputs_)
    if (output.x_window == window) {
      // Seen again after being covered (the window over ours gone: another
      // instance, without a window manager to hand the focus on): Escape
      // must reach us again.
      if (output.covered && !covered && shown_ && !embedded_ && !wallpaper_)
        sdl_->SDL_SetWindowInputFocus(output.window);
      output.covered = covered;
    }
}

// The field follows the monitors, our window's size, or another's window.
bool SdlPresenter::FollowSize(PresenterEvents& events, bool resized, std::string& error) {
  if (outputs_.empty()) return true;
  if (full_screen_) {
    const int old_width = width_, old_height = height_;
    // Asked of the server twice a second while seen; not while nothing can be
    // seen (a round trip is a wake-up), and at once when seen again.
    const bool covered = std::all_of(outputs_.begin(), outputs_.end(), [](const Output& o) { return o.covered || o.hidden; });
    if (covered || powered_down_) next_monitor_check_ = 0;
    if (!covered && !powered_down_ && sdl_->SDL_GetTicks64() >= next_monitor_check_) {
      next_monitor_check_ = sdl_->SDL_GetTicks64() + kMonitorCheckMs;
      if (std::vector<MonitorArea> now = Monitors(); !now.empty() && now != monitors_) {
        // A monitor added, removed or resized: new windows on the new monitors.
        Close();
        if (!OpenMonitors(error)) return false;
        WatchVisibility();
        if (shown_) Show();
        if (topmost_) Placed(true, false);
        resized = true;
        events.lost_picture = true;
      }
    }
    // A compositor may give a full-screen window its size after it shows.
    if (resized) Lay();
    if (width_ != old_width || height_ != old_height) {
      events.width = width_;
      events.height = height_;
    }
    return true;
  }
  if (!embedded_) {
    // A window of ours: the field is its size, whatever the window manager made it.
    const int old_width = width_, old_height = height_;
    if (resized) Lay();
    if (width_ != old_width || height_ != old_height) {
      events.width = width_;
      events.height = height_;
    }
    return true;
  }
  // A window we do not own is watched for its size, and for its end; its
  // size is its owner's to set (SDL follows it on its own).
  int w = 0, h = 0;
  if (!WindowSize(w, h)) {
    events.closed = true;
  } else if (w > 0 && h > 0 && (w != width_ || h != height_)) {
    width_ = w;
    height_ = h;
    outputs_.front().area = {0, 0, w, h};
    x11_.Resize(child_, w, h);
    events.width = w;
    events.height = h;
  }
  return true;
}

bool SdlPresenter::PresentTexture(Output& output, const Framebuffer& fb, std::span<const RECT> damage) {
  const int w = output.area.w, h = output.area.h;
  if (output.renderer == nullptr) {
    output.renderer = sdl_->SDL_CreateRenderer(output.window, -1, 0);
    if (output.renderer == nullptr) return false;
  }
  bool whole = false;
  if (output.texture == nullptr || output.texture_w != w || output.texture_h != h) {
    if (output.texture) sdl_->SDL_DestroyTexture(output.texture);
    output.texture = sdl_->SDL_CreateTexture(output.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, w, h);
    if (output.texture == nullptr) return false;
    output.texture_w = w;
    output.texture_h = h;
    whole = true;  // a new texture holds nothing yet
  }
  const int left = output.area.x, top = output.area.y;
  const int right = std::min(fb.Width(), left + w), bottom = std::min(fb.Height(), top + h);
  auto upload = [&](int l, int t, int r, int b) {
    if (r <= l || b <= t) return false;
    const SDL_Rect to{l - left, t - top, r - l, b - t};
    staging_.resize(static_cast<std::size_t>(r - l) * (b - t));
    for (int y = t; y < b; ++y) fb.ReadRow(y, l, r, staging_.data() + static_cast<std::size_t>(y - t) * (r - l));
    sdl_->SDL_UpdateTexture(output.texture, &to, staging_.data(), (r - l) * 4);
    return true;
  };
  bool sent = whole && upload(left, top, right, bottom);
  if (!whole)
    for (const RECT& d : damage)
      sent |= upload(std::max<int>(d.left, left), std::max<int>(d.top, top), std::min<int>(d.right, right),
                     std::min<int>(d.bottom, bottom));
  if (sent) {
    sdl_->SDL_RenderCopy(output.renderer, output.texture, nullptr, nullptr);
    sdl_->SDL_RenderPresent(output.renderer);
  }
  return true;
}

void* SdlPresenter::Gc(std::uint32_t pixel, std::uint64_t drawable) {
  for (const auto& [known, gc] : gcs_)
    if (known == pixel) return gc;
  void* gc = X11Link::CreateGc(x_display_, drawable, pixel & 0xFFFFFFu);
  if (gc != nullptr) gcs_.emplace_back(pixel, gc);
  return gc;
}

void SdlPresenter::WatchVisibility() {
  if (x_display_ == nullptr) return;
  sdl_->SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  for (Output& output : outputs_) {
    if (output.x_window != 0) continue;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!sdl_->SDL_GetWindowWMInfo(output.window, &info) || info.subsystem != SDL_SYSWM_X11) continue;
    output.x_window = info.info.x11.window;
    X11Link::WatchVisibility(x_display_, output.x_window);
  }
}

// Every window fully covered (by other windows: a compositing window manager
// never says so, as it shows none directly) or unmapped: nothing is seen.
bool SdlPresenter::Unseen() {
  if (outputs_.empty() || (!shown_ && !embedded_)) return false;
  // The monitors put to sleep by power management: X11's is the whole
  // screen's. A round trip, so asked once a second (the wait while unseen asks
  // as often, so the field goes on within a second of the monitors waking).
  if (x_display_ != nullptr) {
    if (const std::uint64_t now = sdl_->SDL_GetTicks64(); now >= next_power_check_) {
      powered_down_ = X11Link::PoweredDown(x_display_);
      next_power_check_ = now + 1000;
    }
    if (powered_down_) return true;
  }
  for (const Output& output : outputs_)
    if (!output.covered && !output.hidden) return false;
  return true;
}

bool SdlPresenter::PresentFills(const Framebuffer& fb) {
  if (!fills_ok_ || !(fb.FillsReplay() || fb.FillsFromBlack())) return false;
  WatchVisibility();
  for (const Output& output : outputs_)
    if (output.x_window == 0) return false;
  for (const Output& output : outputs_) {
    const RECT area{output.area.x, output.area.y, output.area.x + output.area.w, output.area.y + output.area.h};
    if (fb.FillsFromBlack()) {
      void* black = Gc(0, output.x_window);
      if (black == nullptr) return false;
      const RECT all{0, 0, output.area.w, output.area.h};
      X11Link::FillRectangles(x_display_, output.x_window, black, {&all, 1});
    }
    for (const FillBatch& batch : batcher_.Batch(fb.Fills(), fb.Width(), fb.Height(), area)) {
      void* gc = Gc(batch.pixel, output.x_window);
      if (gc == nullptr) return false;
      X11Link::FillRectangles(x_display_, output.x_window, gc, batch.rects);
    }
  }
  X11Link::Flush(x_display_);
  return true;
}

std::optional<Failure> SdlPresenter::Present(const Framebuffer& fb) {
  // The X server's cheapest request is a fill: replay the frame's fills where they
  // give the picture exactly, and send pixels only where they do not.
  if (PresentFills(fb)) return std::nullopt;
  if (via_texture_) {
    for (Output& output : outputs_)
      if (!PresentTexture(output, fb, fb.Damage())) return HostFailed(std::string("cannot draw in the window: ") + sdl_->SDL_GetError());
    return std::nullopt;
  }
  for (const Output& output : outputs_) {
    SDL_Surface* surface = sdl_->SDL_GetWindowSurface(output.window);
    // No surface now (a window being resized, minimised): the next present shows it all.
    if (surface == nullptr) continue;
    // The part of the framebuffer this window shows, clipped to both.
    const int left = output.area.x, top = output.area.y;
    const int right = std::min({fb.Width(), left + output.area.w, left + surface->w});
    const int bottom = std::min({fb.Height(), top + output.area.h, top + surface->h});
    const bool same_format = surface->format->format == SDL_PIXELFORMAT_RGB888 ||
                             surface->format->format == SDL_PIXELFORMAT_ARGB8888;
    rects_.clear();
    if (SDL_MUSTLOCK(surface)) sdl_->SDL_LockSurface(surface);
    // Only the damaged pixels are copied, and only their rectangles sent.
    for (const RECT& d : fb.Damage()) {
      const int l = std::max<int>(d.left, left), t = std::max<int>(d.top, top);
      const int r = std::min<int>(d.right, right), b = std::min<int>(d.bottom, bottom);
      if (r <= l || b <= t) continue;
      const SDL_Rect to{l - left, t - top, r - l, b - t};
      auto* dst = static_cast<Uint8*>(surface->pixels) + to.y * surface->pitch + to.x * surface->format->BytesPerPixel;
      if (same_format) {
        for (int y = 0; y < to.h; ++y) fb.ReadRow(t + y, l, r, reinterpret_cast<std::uint32_t*>(dst + y * surface->pitch));
      } else {
        staging_.resize(static_cast<std::size_t>(to.w));
        for (int y = 0; y < to.h; ++y) {
          fb.ReadRow(t + y, l, r, staging_.data());
          sdl_->SDL_ConvertPixels(to.w, 1, SDL_PIXELFORMAT_RGB888, staging_.data(), to.w * 4, surface->format->format,
                                  dst + y * surface->pitch, surface->pitch);
        }
      }
      rects_.push_back(to);
    }
    if (SDL_MUSTLOCK(surface)) sdl_->SDL_UnlockSurface(surface);
    if (!rects_.empty())
      sdl_->SDL_UpdateWindowSurfaceRects(output.window, rects_.data(), static_cast<int>(rects_.size()));
  }
  return std::nullopt;
}

void SdlPresenter::Sleep(double seconds) {
#ifdef __unix__
  const int fd = x_display_ ? X11Link::ConnectionFd(x_display_) : -1;
  if (fd >= 0) {
    // Asleep until the display has something to say, or the time is up; a
    // signal cuts it short too. What Xlib already read waits in its queue.
    if (X11Link::EventsQueued(x_display_)) return;
    WaitReadable(fd, seconds);
    return;
  }
#endif
  SleepFor(seconds);
}

bool SdlPresenter::PointerMoved(Uint32 window_id, int x, int y) {
  // Measured on the desktop from where the pointer rested when the run began
  // (SDL's own global position is a cached one): a nudge of the desk is not a user.
  int left = 0, top = 0;
  for (const Output& output : outputs_)
    if (sdl_->SDL_GetWindowID(output.window) == window_id) sdl_->SDL_GetWindowPosition(output.window, &left, &top);
  return std::abs(left + x - pointer_x_) > kPointerJitter || std::abs(top + y - pointer_y_) > kPointerJitter;
}

bool SdlPresenter::EscapeDown() const {
  // In a window we do not own, the keyboard is its owner's; under a background, the desktop's.
  if (embedded_ || wallpaper_) return false;
  const Uint8* keys = sdl_->SDL_GetKeyboardState(nullptr);
  return keys != nullptr && keys[SDL_SCANCODE_ESCAPE] != 0;
}

void SdlPresenter::CursorCountChanged(int count) {
  if (embedded_ || wallpaper_) return;  // the owner's cursor, or the desktop's
  sdl_->SDL_ShowCursor(count < 0 ? SDL_DISABLE : SDL_ENABLE);
}

void SdlPresenter::Placed(bool topmost, bool show) {
  if (embedded_) return;
  topmost_ = topmost;
  if (!wallpaper_)
    for (const Output& output : outputs_) sdl_->SDL_SetWindowAlwaysOnTop(output.window, topmost ? SDL_TRUE : SDL_FALSE);
  if (show) Show();
}

void SdlPresenter::Show() {
  if (embedded_ || outputs_.empty()) return;
  shown_ = true;
  for (const Output& output : outputs_) sdl_->SDL_ShowWindow(output.window);
  if (wallpaper_) {
    // Under every window there is, and nothing of the keyboard.
    WatchVisibility();
    for (const Output& output : outputs_) X11Link::Lower(x_display_, output.x_window);
    return;
  }
  // Escape must reach us: take the keyboard focus (asked of a window manager
  // where there is one; taken where there is none).
  sdl_->SDL_RaiseWindow(outputs_.front().window);
  sdl_->SDL_SetWindowInputFocus(outputs_.front().window);
}

Opened OpenSdlHost(const HostConfig& config) {
  // Without a session bus, the D-Bus library SDL loads would start one of its
  // own (dbus-launch and a dbus-daemon) that outlives the program. There is
  // none to talk to then: say so, and nothing is started.
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (bus == nullptr || *bus == '\0') setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
  auto presenter = std::make_unique<SdlPresenter>();
  std::string error;
  if (!presenter->Open(config, error))
    return Opened::Failed(presenter->NoSuchWindow() ? OpenFailure::Kind::NoSuchWindow : OpenFailure::Kind::Refused,
                          error);
  const int width = presenter->Width(), height = presenter->Height();
  return {std::make_unique<FramebufferHost>(std::move(presenter), width, height), {}};
}

}  // namespace squarefield
