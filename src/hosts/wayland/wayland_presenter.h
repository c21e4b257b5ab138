// Native Wayland: the framebuffer host's frames on a compositor, with no
// toolkit in between.
//  - full screen: a surface per output, full-screen there, each showing its
//    part of one framebuffer across them all (monitor_layout.h); outputs
//    added, removed, resized or rescaled are followed
//  - --window: one ordinary window, 1024x768 to start with; the field is its
//    size in pixels, and follows it when the compositor resizes it
//  - one buffer pixel per device pixel at every scale: the buffer is the
//    surface's size in pixels, shown at its size in points through a viewport
//    (fractional scales too), or by an integer buffer scale where the
//    compositor has no viewports
//  - two shared-memory buffers per surface, reused when the compositor gives
//    them back; each present replays into a free buffer the fills it lacks
//    (wayland_buffers.h), and tells the compositor a box per band of rows
//    around what changed since the last frame; the buffers hold the picture,
//    so the framebuffer keeps no pixels of its own meanwhile
//  - at most one frame in flight per surface: the next waits for the
//    compositor's frame callback, so a surface it does not show costs nothing
//  - Escape by its meaning (xkbcommon), the cursor hidden over our surfaces
//  - a compositor that goes away is a lost display: the run fails with it
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "hosts/framebuffer/framebuffer_host.h"

struct wl_display;

namespace squarefield {

class WaylandPresenter final : public Presenter, public PictureHolder {
 public:
  WaylandPresenter();
  ~WaylandPresenter() override;
  // Connects and makes the surfaces; false with `error` when it cannot
  // (`unreachable` then says whether there was no compositor to talk to at all).
  bool Open(const HostConfig& config, std::string& error, bool& unreachable);

  int Width() const;
  int Height() const;

  std::optional<Failure> Pump(PresenterEvents& events) override;
  std::optional<Failure> Present(const Framebuffer& fb) override;
  double RefreshRate() const override;
  bool EscapeDown() const override;
  bool Unseen() override;
  void CursorCountChanged(int count) override;
  void Sleep(double seconds) override;
  void Unloaded() override;
  void Finish() override;
  PictureHolder* Holder() override { return this; }
  bool HoldsPicture() const override;
  void ReadPicture(std::span<std::uint32_t> pixels, int width, int height) override;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// The Wayland host, or why not (Unreachable when no compositor answered, or
// one no window can be shown on: another host may do).
Opened OpenWaylandHost(const HostConfig& config);

}  // namespace squarefield
