// Headless: the framebuffer host with a presenter that shows nothing.
//  - the desktop window's device context paints into the framebuffer, clipped
//  - Form1's window covers the whole screen at 0,0; 15 twips per pixel
//  - ShowCursor keeps a display counter; nothing is shown
//  - never paced or presented: there is no display to keep pace with (under
//    node it yields to node's event loop a few times a second, where signals arrive)
//  - no keyboard: Escape is never down by itself (the shell reads --frames and
//    signals as Escape)
//  - GetWindowDC and CreateSolidBrush can be told to fail, so failure paths can be tested
// Tests, benchmarks and image export run on it; it is always built.
#pragma once

#include <memory>

#include "hosts/framebuffer/framebuffer_host.h"

namespace squarefield {

class HeadlessPresenter final : public Presenter {
 public:
  std::optional<Failure> Pump(PresenterEvents& /*events*/) override { return std::nullopt; }
  // No display: nothing is shown, so nothing is presented, nor ever unseen.
  std::optional<Failure> Present(const Framebuffer& /*fb*/) override { return std::nullopt; }
  double RefreshRate() const override { return 0; }
  bool Unseen() override { return false; }
  bool EscapeDown() const override { return false; }
  void Finish() override {}
  void CursorCountChanged(int /*count*/) override {}  // no pointer over an image
  PictureHolder* Holder() override { return nullptr; }
  void Yield() override;

 private:
  double last_yield_ = 0;
};

std::unique_ptr<FramebufferHost> MakeHeadlessHost(int width, int height, FailureScript failures = {});

}  // namespace squarefield
