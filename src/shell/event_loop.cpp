#include "shell/event_loop.h"

#include <algorithm>
#include <utility>

#include "runtime/stop_request.h"

namespace squarefield {

namespace {
std::chrono::steady_clock::duration Seconds(double s) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(s));
}
}  // namespace

EventLoop::EventLoop(Host& host, std::optional<double> fps)
    : host_(host),
      shown_(host.RefreshRate() > 0),
      host_paced_(!fps.has_value()),
      period_(shown_ && fps && *fps > 0 ? Seconds(1.0 / *fps) : Clock::duration::zero()),
      // Nothing reaches the eye faster than the display refreshes; a host that
      // shows nothing is still pumped that often (node's signals arrive so).
      refresh_(Seconds(1.0 / (shown_ ? host.RefreshRate() : 60.0))) {}

void EventLoop::Fail(Failure failure) {
  if (!error_) error_ = std::move(failure);
  RequestStop();
}

bool EventLoop::PumpAndPresent() {
  std::optional<Failure> failure = host_.Pump();
  if (!failure && shown_) failure = host_.Present();
  if (failure) Fail(std::move(*failure));
  return !failure;
}

void EventLoop::WaitWhileUnseen() {
  bool waited = false;
  while (shown_ && !ending_ && !StopRequested() && !host_.InputPending() && host_.Unseen()) {
    // Long slices: a host that can tell it is unseen wakes on its events (being
    // shown again, a key), and a signal cuts any wait short.
    host_.Sleep(std::chrono::duration<double>(kUnseenSlice).count());
    if (auto failure = host_.Pump()) return Fail(std::move(*failure));
    waited = true;
  }
  // Seen again: the pace starts afresh rather than racing to catch up.
  if (waited) next_frame_ = next_present_ = Clock::time_point{};
}

void EventLoop::DoEvents() {
  if (error_) return;
  host_.CountFrame();
  WaitWhileUnseen();
  if (error_) return;
  const auto now = Clock::now();
  if (period_ != Clock::duration::zero()) {
    // Paced: every frame is shown, then the wait; faster than the display
    // refreshes, once per refresh (the frames between would never be seen). A
    // frame that ran late starts the count afresh instead of racing to catch up.
    if (period_ >= refresh_ || now >= next_present_) {
      if (!PumpAndPresent()) return;
      next_present_ = now + refresh_;
    } else {
      if (auto failure = host_.Pump()) return Fail(std::move(*failure));
    }
    next_frame_ = next_frame_ == Clock::time_point{} ? now + period_ : next_frame_ + period_;
    // Faster than the display, where the host can wait for its refresh (a
    // page): the frames between two refreshes are never seen, so they run
    // together after one wait for the refresh instead of a short wait each,
    // which a page can only make by spinning. The pace holds on average.
    if (period_ < refresh_ && next_frame_ + refresh_ >= now) {
      if (next_frame_ <= now || host_.WaitForRefresh()) return;
    }
    if (next_frame_ < now) next_frame_ = now;
    WaitUntil(next_frame_);
    return;
  }
  // Unpaced: every present is a round trip to the display, so at most one
  // per refresh; fills land in the framebuffer at once either way.
  // Where the host waits for the display itself (a page), every frame is one refresh.
  if (!waited_for_refresh_ && now < next_present_) return;
  if (!PumpAndPresent()) return;
  waited_for_refresh_ = host_paced_ && host_.WaitForRefresh();
  if (!waited_for_refresh_) host_.Yield();
  next_present_ = now + refresh_;
}

void EventLoop::WaitUntil(Clock::time_point due) {
  for (;;) {
    if (ending_ || StopRequested() || host_.InputPending()) return;
    const auto now = Clock::now();
    if (now >= due) return;
    host_.Sleep(std::chrono::duration<double>(std::min<Clock::duration>(due - now, kSlice)).count());
    // Due: the frame pumps first thing anyway.
    if (Clock::now() >= due) return;
    if (auto failure = host_.Pump()) return Fail(std::move(*failure));
  }
}

}  // namespace squarefield
