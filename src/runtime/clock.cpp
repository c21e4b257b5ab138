#include "runtime/clock.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace squarefield {

double SystemClock::SecondsSinceMidnight() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t whole = std::chrono::system_clock::to_time_t(now);
  if (whole != last_whole_) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &whole);
#else
    localtime_r(&whole, &local);
#endif
    last_whole_ = whole;
    last_local_ = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  }
  const auto fraction = now - std::chrono::system_clock::from_time_t(whole);
  const double seconds = last_local_ + std::chrono::duration<double>(fraction).count();
  // A leap second or a fraction rounding up must not reach 86400.
  return std::fmod(std::fmax(seconds, 0.0), 86400.0);
}

std::uint64_t SystemClock::Entropy() {
  return static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
         static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

double VirtualClock::SecondsSinceMidnight() {
  const double seconds = kStart + kStep * static_cast<double>(reads_++);
  return std::fmod(seconds, 86400.0);
}

}  // namespace squarefield
