// Desktop host on SDL2 (Linux, macOS, and anywhere else SDL runs).
//  - Form1's window: borderless, fullscreen on the primary display without a
//    mode change (or 1024x768 with --window), black, titled "squarefield"
//  - the screen's device context: a persistent framebuffer the size of the
//    screen (there is no root window to paint on under a compositor or on
//    Wayland); fills land in it at once, and DoEvents presents the changed
//    tiles and pumps events once per display refresh (and before every pacing wait)
//  - ShowCursor keeps the display counter and hides the cursor while it is negative
//  - Escape reads as down while held, or once pressed since the last poll; a
//    window close or SDL_QUIT is reported to the shell, which reads it as Escape
//  - a display it cannot draw on (8-bit colour) is refused at the start; a lost
//    display connection ends the program through the shell's fatal path
//  - or it draws into a window it does not own (--window-id, --root, a screensaver
//    daemon's): the field follows that window's size, the cursor and the keyboard
//    stay its owner's, and the window going away ends the run cleanly
// Not here: painting over other programs' windows, multiple displays.
#pragma once

#include "platform/sdl/sdl_library.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/frame_pacer.h"
#include "platform/framebuffer/framebuffer.h"
#include "platform/framebuffer/framebuffer_screen.h"
#include "platform/host.h"
#include "platform/sdl/x11_link.h"

namespace squarefield {

// The SDL window and what its event pump has seen, shared by the three services.
class SdlSession {
 public:
  // Starts SDL video and creates the (hidden) window, or takes the window the
  // config names; `error` says why not.
  bool Open(const HostConfig& config, std::string& error);
  ~SdlSession();

  int Width() const { return width_; }
  int Height() const { return height_; }
  // The display's refresh rate in hertz (60 when it does not say).
  int RefreshRate() const { return refresh_hz_; }
  SDL_Window* Handle() const { return window_; }
  const SdlLibrary& Sdl() const { return *sdl_; }

  // Handles pending events and shows what changed in `fb`.
  void Pump();
  void Present(Framebuffer& fb);
  void Close();

  // Drawing into a window someone else owns.
  bool Embedded() const { return embedded_; }

  bool escape_pressed = false;  // since the last poll
  bool close_requested = false;
  bool resized = false;  // a window we do not own changed its size

 private:
  bool OpenInto(const HostConfig& config, std::string& error);

  const SdlLibrary* sdl_ = nullptr;
  X11Link x11_;
  std::uint64_t target_ = 0;
  bool embedded_ = false;
  SDL_Window* window_ = nullptr;
  std::vector<SDL_Rect> rects_;
  bool video_ = false;
  bool resurface_ = true;
  int refresh_hz_ = 60;
  int width_ = 0;
  int height_ = 0;
};

class SdlScreen final : public FramebufferScreen {
 public:
  SdlScreen(Framebuffer& fb, SdlSession& session) : FramebufferScreen(fb, {}), session_(session) {}
  std::int16_t GetAsyncKeyState(int vKey) override;

 protected:
  void CursorCountChanged(int count) override;
  void Placed(bool topmost, bool show) override;

 private:
  SdlSession& session_;
};

class SdlWindow final : public FramebufferWindow {
 public:
  SdlWindow(const Framebuffer& fb, SdlSession& session) : FramebufferWindow(fb), session_(session) {}
  void Show() override;

 protected:
  void Unloaded() override { session_.Close(); }

 private:
  SdlSession& session_;
};

class SdlHost final : public Host {
 public:
  // Takes an open session.
  SdlHost(std::unique_ptr<SdlSession> session, const HostConfig& config);

  WindowsApi& Api() override { return screen_; }
  Window& FormWindow() override { return window_; }
  void DoEvents() override;
  ScreenObject Screen() override { return ScreenOf(fb_); }
  int PixelWidth() const override { return fb_.Width(); }
  int PixelHeight() const override { return fb_.Height(); }
  bool CloseRequested() const override { return session_->close_requested; }
  void Finish() override;

 private:
  std::unique_ptr<SdlSession> session_;
  Framebuffer fb_;
  SdlScreen screen_;
  SdlWindow window_;
  FramePacer pacer_;
  std::chrono::steady_clock::duration refresh_;
  std::chrono::steady_clock::time_point next_present_{};
};

}  // namespace squarefield
