// Headless host: the screen is a 32-bit framebuffer in memory.
//  - the desktop window's device context paints into it, clipped to the screen
//  - Form1's window covers the whole screen at 0,0; 15 twips per pixel
//  - ShowCursor keeps a display counter; nothing is shown
//  - DoEvents never waits: --fps only sets an animation's frame delay
//  - Escape is scripted: down from the N-th poll on, or once SIGINT/SIGTERM arrive
//  - GetWindowDC and CreateSolidBrush can be told to fail, so failure paths can be tested
// Tests, benchmarks and image export run on it; it is always built.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/basic_runtime.h"
#include "platform/framebuffer.h"
#include "platform/framebuffer_screen.h"

namespace squarefield {

struct HeadlessScript : FailureScript {
  // Escape reads as down from this poll on (1 = the first); none: only on a signal.
  std::optional<std::int64_t> escape_from_poll;
};

class HeadlessScreen final : public FramebufferScreen {
 public:
  HeadlessScreen(Framebuffer& framebuffer, const HeadlessScript& script)
      : FramebufferScreen(framebuffer, script), escape_from_poll_(script.escape_from_poll) {}

  std::int16_t GetAsyncKeyState(int vKey) override;

 private:
  std::optional<std::int64_t> escape_from_poll_;
  std::int64_t polls_ = 0;
  bool escape_was_down_ = false;
};

class HeadlessWindow final : public FramebufferWindow {
 public:
  using FramebufferWindow::FramebufferWindow;
  void Show() override {}
};

class HeadlessRuntime final : public BasicRuntime {
 public:
  HeadlessRuntime(const Framebuffer& framebuffer, Clock& clock, std::optional<std::uint64_t> seed)
      : BasicRuntime(clock, seed), fb_(framebuffer) {}

  // There is no display to keep pace with: a frame ends as soon as it is drawn,
  // and whoever records frames is told.
  void DoEvents() override {
    if (on_frame) on_frame();
  }
  std::function<void()> on_frame;
  ScreenObject Screen() override { return ScreenOf(fb_); }

 private:
  const Framebuffer& fb_;
};

}  // namespace squarefield
