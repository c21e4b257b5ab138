#include "platform/sdl/sdl_host.h"

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

bool SdlSession::Open(const HostConfig& config, std::string& error) {
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
  if (driver && !std::strcmp(driver, "x11")) X11Link::CatchDisplayLoss(config.fatal);
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

bool SdlSession::OpenInto(const HostConfig& config, std::string& error) {
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

SdlSession::~SdlSession() {
  Close();
  if (video_) {
    sdl_->SDL_ShowCursor(SDL_ENABLE);
    sdl_->SDL_Quit();
  }
}

void SdlSession::Close() {
  if (window_ == nullptr) return;
  sdl_->SDL_DestroyWindow(window_);
  window_ = nullptr;
}

void SdlSession::Pump() {
  SDL_Event event;
  while (sdl_->SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        close_requested = true;
        break;
      case SDL_KEYDOWN:
        if (event.key.keysym.scancode == SDL_SCANCODE_ESCAPE) escape_pressed = true;
        break;
      case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) close_requested = true;
        // The surface may have been replaced, and what it showed lost.
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || event.window.event == SDL_WINDOWEVENT_EXPOSED ||
            event.window.event == SDL_WINDOWEVENT_SHOWN)
          resurface_ = true;
        break;
      default:
        break;
    }
  }
  if (!embedded_) return;
  // A window we do not own is watched for its size, and for its end.
  int w = 0, h = 0;
  if (!x11_.Size(target_, w, h)) {
    close_requested = true;
  } else if (w > 0 && h > 0 && (w != width_ || h != height_)) {
    width_ = w;
    height_ = h;
    resized = true;
    resurface_ = true;
    // Only SDL's idea of the size changes: the window already has it.
    sdl_->SDL_SetWindowSize(window_, w, h);
  }
}

void SdlSession::Present(Framebuffer& fb) {
  if (window_ == nullptr) return;
  SDL_Surface* surface = sdl_->SDL_GetWindowSurface(window_);
  if (surface == nullptr) return;
  if (resurface_) {
    fb.MarkAllDirty();
    resurface_ = false;
  }
  const int w = std::min(fb.Width(), surface->w);
  const int h = std::min(fb.Height(), surface->h);
  const int tile = 1 << Framebuffer::kTileShift;
  const bool same_format = surface->format->format == SDL_PIXELFORMAT_RGB888 ||
                           surface->format->format == SDL_PIXELFORMAT_ARGB8888;
  rects_.clear();
  if (SDL_MUSTLOCK(surface)) sdl_->SDL_LockSurface(surface);
  // Each run of changed tiles along a tile row becomes one rectangle.
  for (int ty = 0; ty < fb.TilesY(); ++ty) {
    for (int tx = 0; tx < fb.TilesX();) {
      if (!fb.Dirty(tx, ty)) {
        ++tx;
        continue;
      }
      int end = tx;
      while (end < fb.TilesX() && fb.Dirty(end, ty)) ++end;
      SDL_Rect r{tx * tile, ty * tile, std::min(end * tile, w) - tx * tile, std::min((ty + 1) * tile, h) - ty * tile};
      tx = end;
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
  }
  if (SDL_MUSTLOCK(surface)) sdl_->SDL_UnlockSurface(surface);
  fb.ClearDirty();
  if (!rects_.empty()) sdl_->SDL_UpdateWindowSurfaceRects(window_, rects_.data(), static_cast<int>(rects_.size()));
}

std::int16_t SdlScreen::GetAsyncKeyState(int vKey) {
  // In a window we do not own, the keyboard is its owner's.
  if (vKey != VK_ESCAPE || session_.Embedded()) return 0;
  const Uint8* keys = session_.Sdl().SDL_GetKeyboardState(nullptr);
  const bool down = keys != nullptr && keys[SDL_SCANCODE_ESCAPE] != 0;
  const bool pressed = session_.escape_pressed;
  session_.escape_pressed = false;
  return static_cast<std::int16_t>((down ? 0x8000 : 0) | (pressed ? 0x0001 : 0));
}

void SdlScreen::CursorCountChanged(int count) {
  if (session_.Embedded()) return;  // the owner's cursor
  session_.Sdl().SDL_ShowCursor(count < 0 ? SDL_DISABLE : SDL_ENABLE);
}

void SdlScreen::Placed(bool topmost, bool show) {
  if (session_.Handle() == nullptr || session_.Embedded()) return;
  session_.Sdl().SDL_SetWindowAlwaysOnTop(session_.Handle(), topmost ? SDL_TRUE : SDL_FALSE);
  if (show) session_.Sdl().SDL_ShowWindow(session_.Handle());
}

void SdlWindow::Show() {
  if (session_.Handle() == nullptr || session_.Embedded()) return;
  session_.Sdl().SDL_ShowWindow(session_.Handle());
  // Escape must reach us: take the keyboard focus.
  session_.Sdl().SDL_RaiseWindow(session_.Handle());
}

SdlHost::SdlHost(std::unique_ptr<SdlSession> session, const HostConfig& config)
    : session_(std::move(session)),
      fb_(session_->Width(), session_->Height()),
      screen_(fb_, *session_),
      window_(fb_, *session_),
      pacer_(config.fps, config.stop_requested),
      refresh_(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(1.0 / session_->RefreshRate()))) {
  fb_.TrackChanges();
}

void SdlHost::DoEvents() {
  // Nothing reaches the eye faster than the display refreshes, and every
  // present is a round trip to the display server: unpaced, events are pumped
  // and the changes shown once per refresh; paced, before every wait. Fills
  // land in the framebuffer at once either way.
  const auto now = std::chrono::steady_clock::now();
  if (pacer_.Paced() || now >= next_present_) {
    session_->Pump();
    if (session_->resized) {
      session_->resized = false;
      fb_.Resize(session_->Width(), session_->Height());
    }
    session_->Present(fb_);
    next_present_ = now + refresh_;
  }
  pacer_.Wait();
}

void SdlHost::Finish() {
  session_->Present(fb_);
  session_->Close();
}

std::unique_ptr<Host> OpenDesktopHost(const HostConfig& config, std::string& error) {
  auto session = std::make_unique<SdlSession>();
  if (!session->Open(config, error)) return nullptr;
  return std::make_unique<SdlHost>(std::move(session), config);
}

void PrepareConsole() {}

}  // namespace squarefield
