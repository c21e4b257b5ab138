// DoEvents, written once for every host: pump the host's events, show what
// changed at most once per display refresh (or once per paced frame), and
// pace to --fps. A wait ends at once on any stop or on Escape: the host is
// pumped while it waits, so a close is seen within a slice of the wait.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "hosts/host.h"
#include "runtime/failure.h"

namespace squarefield {

class EventLoop {
 public:
  // `fps`: none, the host's own pace (a page's animation frames) or unpaced;
  // 0, unpaced; else that many frames a second. A host that shows nothing
  // (headless) is never paced.
  EventLoop(Host& host, std::optional<double> fps);

  void DoEvents();
  // The program is ending (it saw Escape): the frames left are not waited for.
  void Ending() { ending_ = true; }

  // What a host reported when it could go on no longer; the run was asked to stop then.
  const std::optional<Failure>& Error() const { return error_; }

  // The longest a paced wait sleeps before it pumps the host again: the bound
  // on how late a stop is seen by a host whose sleep no event cuts short.
  static constexpr std::chrono::milliseconds kSlice{40};
  // The same while nothing is seen: the wait's own wakeups are its whole cost.
  static constexpr std::chrono::milliseconds kUnseenSlice{1000};

 private:
  using Clock = std::chrono::steady_clock;
  bool PumpAndPresent();
  // While nothing of the field can be seen: waits, pumping, until it can be,
  // or the run is stopping. The frame is delayed, not skipped.
  void WaitWhileUnseen();
  void WaitUntil(Clock::time_point due);
  void Fail(Failure failure);

  Host& host_;
  bool shown_;              // the host shows its frames: present and pace
  bool host_paced_;         // no --fps: the host's own pace, where it has one
  Clock::duration period_;  // between paced frames; zero: unpaced
  Clock::duration refresh_;
  Clock::time_point next_frame_{};
  Clock::time_point next_present_{};
  bool waited_for_refresh_ = false;
  bool ending_ = false;
  std::optional<Failure> error_;
};

}  // namespace squarefield
