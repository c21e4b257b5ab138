// Caps the frame rate when asked to (--fps); the effect itself is unpaced.
#pragma once

#include <chrono>
#include <optional>
#include <thread>

namespace squarefield {

class FramePacer {
 public:
  explicit FramePacer(std::optional<double> fps) {
    if (fps && *fps > 0)
      period_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / *fps));
  }

  // Sleeps until the next frame is due. A frame that ran late starts the count
  // afresh instead of racing to catch up.
  void Wait() {
    if (period_ == Clock::duration::zero()) return;
    const auto now = Clock::now();
    next_ = next_ == Clock::time_point{} ? now + period_ : next_ + period_;
    if (next_ < now) next_ = now;
    std::this_thread::sleep_until(next_);
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::duration period_ = Clock::duration::zero();
  Clock::time_point next_{};
};

}  // namespace squarefield
