// Waiting on a display connection (the POSIX hosts).
#pragma once

#include <poll.h>

#include <cmath>
#include <ctime>

namespace squarefield {

// Waits until `fd` has something to read or `seconds` pass; a signal cuts it
// short too. True when there is something to read.
inline bool WaitReadable(int fd, double seconds) {
  pollfd watch{fd, POLLIN, 0};
  const double whole = std::floor(seconds);
  const timespec timeout{static_cast<time_t>(whole), static_cast<long>((seconds - whole) * 1e9)};
  return ppoll(&watch, 1, &timeout, nullptr) > 0 && (watch.revents & POLLIN);
}

}  // namespace squarefield
