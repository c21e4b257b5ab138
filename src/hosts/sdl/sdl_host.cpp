// The SDL host: its events (keys, closes, sizes, the monitors, being covered),
// its waits and its cursor.
#include "hosts/sdl/sdl_host.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef __unix__
#include "hosts/wait_readable.h"
#endif

namespace squarefield {

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
      if ((role_ == Role::Saver || event.key.keysym.scancode == SDL_SCANCODE_ESCAPE || event.key.keysym.sym == SDLK_ESCAPE) &&
          OwnsInput() && !event.key.repeat)
        ++events.escape_presses;
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEWHEEL:
      if (role_ == Role::Saver) ++events.escape_presses;
      break;
    case SDL_MOUSEMOTION:
      if (role_ == Role::Saver && PointerMoved(event.motion.windowID, event.motion.x, event.motion.y)) ++events.escape_presses;
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
    for (MonitorWindow& output : windows_)
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
  if (message.subsystem != SDL_SYSWM_X11 || !X11Visibility(&message.msg.x11.event, window, covered)) return;
  for (MonitorWindow& output : windows_)
    if (output.x_window == window) {
      // Seen again after being covered (the window over ours gone: another
      // instance, without a window manager to hand the focus on): Escape
      // must reach us again.
      if (output.covered && !covered && shown_ && OwnsInput())
        sdl_->SDL_SetWindowInputFocus(output.window);
      output.covered = covered;
    }
}

// The field follows the monitors, our window's size, or another's window.
bool SdlPresenter::FollowSize(PresenterEvents& events, bool resized, std::string& error) {
  if (windows_.empty()) return true;
  if (SpansMonitors()) {
    const int old_width = width_, old_height = height_;
    // Asked of the server twice a second while seen; not while nothing can be
    // seen (a round trip is a wake-up), and at once when seen again.
    const bool covered = std::all_of(windows_.begin(), windows_.end(), [](const MonitorWindow& o) { return o.covered || o.hidden; });
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
  if (role_ != Role::Guest) {
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
    windows_.front().area = {0, 0, w, h};
    x11_.Resize(child_, w, h);
    events.width = w;
    events.height = h;
  }
  return true;
}

void SdlPresenter::WatchVisibility() {
  if (!sdl_x11_.Connected()) return;
  sdl_->SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  for (MonitorWindow& output : windows_) {
    if (output.x_window != 0) continue;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!sdl_->SDL_GetWindowWMInfo(output.window, &info) || info.subsystem != SDL_SYSWM_X11) continue;
    output.x_window = info.info.x11.window;
    sdl_x11_.WatchVisibility(output.x_window);
  }
}

// Every window fully covered (by other windows: a compositing window manager
// never says so, as it shows none directly) or unmapped: nothing is seen.
bool SdlPresenter::Unseen() {
  if (windows_.empty() || (!shown_ && role_ != Role::Guest)) return false;
  // The monitors put to sleep by power management: X11's is the whole
  // screen's. A round trip, so asked once a second (the wait while unseen asks
  // as often, so the field goes on within a second of the monitors waking).
  if (sdl_x11_.Connected()) {
    if (const std::uint64_t now = sdl_->SDL_GetTicks64(); now >= next_power_check_) {
      powered_down_ = sdl_x11_.PoweredDown();
      next_power_check_ = now + 1000;
    }
    if (powered_down_) return true;
  }
  for (const MonitorWindow& output : windows_)
    if (!output.covered && !output.hidden) return false;
  return true;
}

void SdlPresenter::Sleep(double seconds) {
#ifdef __unix__
  const int fd = sdl_x11_.ConnectionFd();
  if (fd >= 0) {
    // Asleep until the display has something to say, or the time is up; a
    // signal cuts it short too. What Xlib already read waits in its queue.
    if (sdl_x11_.EventsQueued()) return;
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
  for (const MonitorWindow& output : windows_)
    if (sdl_->SDL_GetWindowID(output.window) == window_id) sdl_->SDL_GetWindowPosition(output.window, &left, &top);
  return std::abs(left + x - pointer_x_) > kPointerJitter || std::abs(top + y - pointer_y_) > kPointerJitter;
}

bool SdlPresenter::EscapeDown() const {
  // In a window we do not own, the keyboard is its owner's; under a background, the desktop's.
  if (!OwnsInput()) return false;
  const Uint8* keys = sdl_->SDL_GetKeyboardState(nullptr);
  return keys != nullptr && keys[SDL_SCANCODE_ESCAPE] != 0;
}

void SdlPresenter::CursorCountChanged(int count) {
  if (!OwnsInput()) return;  // the owner's cursor, or the desktop's
  sdl_->SDL_ShowCursor(count < 0 ? SDL_DISABLE : SDL_ENABLE);
}

void SdlPresenter::Placed(bool topmost, bool show) {
  if (role_ == Role::Guest) return;
  topmost_ = topmost;
  if (role_ != Role::Wallpaper)
    for (const MonitorWindow& output : windows_) sdl_->SDL_SetWindowAlwaysOnTop(output.window, topmost ? SDL_TRUE : SDL_FALSE);
  if (show) Show();
}

void SdlPresenter::Show() {
  if (role_ == Role::Guest || windows_.empty()) return;
  shown_ = true;
  for (const MonitorWindow& output : windows_) sdl_->SDL_ShowWindow(output.window);
  if (role_ == Role::Wallpaper) {
    // Under every window there is, and nothing of the keyboard.
    WatchVisibility();
    for (const MonitorWindow& output : windows_) sdl_x11_.Lower(output.x_window);
    return;
  }
  // Escape must reach us: take the keyboard focus (asked of a window manager
  // where there is one; taken where there is none).
  sdl_->SDL_RaiseWindow(windows_.front().window);
  sdl_->SDL_SetWindowInputFocus(windows_.front().window);
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
