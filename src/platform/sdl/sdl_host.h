// Desktop host on SDL2 (Linux, macOS, and anywhere else SDL runs).
//  - Form1's window: borderless, fullscreen on the primary display without a
//    mode change (or 1024x768 with --window), black, titled "squarefield"
//  - the screen's device context: a persistent framebuffer the size of the
//    screen (there is no root window to paint on under a compositor or on
//    Wayland); fills land in it at once, and DoEvents presents the changed tiles
//  - ShowCursor keeps the display counter and hides the cursor while it is negative
//  - Escape reads as down while held, or once pressed since the last poll; a
//    window close, SDL_QUIT, SIGINT, SIGTERM and SIGHUP read as Escape too
// Not here: painting over other programs' windows, multiple displays.
#pragma once

#include "platform/sdl/sdl_library.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/basic_runtime.h"
#include "platform/frame_pacer.h"
#include "platform/framebuffer.h"
#include "platform/framebuffer_screen.h"

namespace squarefield {

// The SDL window and what its event pump has seen, shared by the three services.
class SdlSession {
 public:
  // Starts SDL video and creates the (hidden) window; `error` says why not.
  bool Open(bool windowed, std::string& error);
  ~SdlSession();

  int Width() const { return width_; }
  int Height() const { return height_; }
  SDL_Window* Handle() const { return window_; }
  const SdlLibrary& Sdl() const { return *sdl_; }

  // Handles pending events and shows what changed in `fb`.
  void Pump();
  void Present(Framebuffer& fb);
  void Close();

  bool escape_pressed = false;  // since the last poll
  bool close_requested = false;

 private:
  const SdlLibrary* sdl_ = nullptr;
  SDL_Window* window_ = nullptr;
  std::vector<SDL_Rect> rects_;
  bool video_ = false;
  bool resurface_ = true;
  int width_ = 0;
  int height_ = 0;
};

class SdlScreen final : public FramebufferScreen {
 public:
  // With `frames`, Escape also reads as down from that poll on, as headless.
  SdlScreen(Framebuffer& fb, SdlSession& session, std::optional<std::int64_t> frames)
      : FramebufferScreen(fb, {}), session_(session), frames_(frames) {}
  std::int16_t GetAsyncKeyState(int vKey) override;

 protected:
  void CursorCountChanged(int count) override;
  void Placed(bool topmost, bool show) override;

 private:
  SdlSession& session_;
  std::optional<std::int64_t> frames_;
  std::int64_t polls_ = 0;
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

class SdlRuntime final : public BasicRuntime {
 public:
  SdlRuntime(Framebuffer& fb, SdlSession& session, Clock& clock, std::optional<std::uint64_t> seed,
             std::optional<double> fps)
      : BasicRuntime(clock, seed), fb_(fb), session_(session), pacer_(fps) {}

  void DoEvents() override;
  ScreenObject Screen() override { return ScreenOf(fb_); }

 private:
  Framebuffer& fb_;
  SdlSession& session_;
  FramePacer pacer_;
};

}  // namespace squarefield
