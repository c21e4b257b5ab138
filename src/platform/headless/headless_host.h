// Headless host: the screen is a 32-bit framebuffer in memory.
//  - the desktop window's device context paints into it, clipped to the screen
//  - Form1's window covers the whole screen at 0,0; 15 twips per pixel
//  - ShowCursor keeps a display counter; nothing is shown
//  - DoEvents never waits: there is no display to keep pace with (under node it
//    yields to node's event loop a few times a second, where signals arrive)
//  - no keyboard: Escape is never down by itself (the shell reads --frames and
//    signals as Escape)
//  - GetWindowDC and CreateSolidBrush can be told to fail, so failure paths can be tested
// Tests, benchmarks and image export run on it; it is always built.
#pragma once

#include "platform/framebuffer/framebuffer.h"
#include "platform/framebuffer/framebuffer_screen.h"
#include "platform/host.h"

namespace squarefield {

class HeadlessScreen final : public FramebufferScreen {
 public:
  using FramebufferScreen::FramebufferScreen;
  std::int16_t GetAsyncKeyState(int /*vKey*/) override { return 0; }
};

class HeadlessWindow final : public FramebufferWindow {
 public:
  using FramebufferWindow::FramebufferWindow;
  void Show() override {}
};

class HeadlessHost final : public Host {
 public:
  HeadlessHost(int width, int height, FailureScript failures = {})
      : fb_(width, height), screen_(fb_, failures), window_(fb_) {}

  WindowsApi& Api() override { return screen_; }
  Window& FormWindow() override { return window_; }
  void DoEvents() override;
  ScreenObject Screen() override { return ScreenOf(fb_); }
  int PixelWidth() const override { return fb_.Width(); }
  int PixelHeight() const override { return fb_.Height(); }
  const Framebuffer* Pixels() const override { return &fb_; }

  HeadlessScreen& screen() { return screen_; }

 private:
  Framebuffer fb_;
  HeadlessScreen screen_;
  HeadlessWindow window_;
  double last_yield_ = 0;
};

}  // namespace squarefield
