// Caps the frame rate when asked to (--fps); the effect itself is unpaced.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

namespace squarefield {

class FramePacer {
 public:
  // `stop_requested`, when given, is polled during a wait so a stop is not
  // kept waiting for a slow frame (at 0.1 frames per second, ten seconds).
  explicit FramePacer(std::optional<double> fps, bool (*stop_requested)() = nullptr) : stop_(stop_requested) {
    if (fps && *fps > 0)
      period_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / *fps));
  }

  bool Paced() const { return period_ != Clock::duration::zero(); }

  // Sleeps until the next frame is due. A frame that ran late starts the count
  // afresh instead of racing to catch up.
  void Wait() {
    if (!Paced()) return;
    const auto now = Clock::now();
    next_ = next_ == Clock::time_point{} ? now + period_ : next_ + period_;
    if (next_ < now) next_ = now;
    constexpr auto kSlice = std::chrono::milliseconds(20);
    for (auto t = Clock::now(); t < next_; t = Clock::now()) {
      if (stop_ != nullptr && stop_()) return;
      std::this_thread::sleep_until(std::min(next_, t + kSlice));
    }
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::duration period_ = Clock::duration::zero();
  Clock::time_point next_{};
  bool (*stop_)() = nullptr;
};

}  // namespace squarefield
