// Where Timer's seconds-since-midnight come from: the wall clock, or a virtual
// clock that makes seeded runs repeat byte for byte.
#pragma once

#include <cstdint>
#include <ctime>

namespace squarefield {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since local midnight, in [0, 86400).
  virtual double SecondsSinceMidnight() = 0;
  // A value that differs from run to run, for seeding without a seed.
  virtual std::uint64_t Entropy() = 0;
};

class SystemClock final : public Clock {
 public:
  double SecondsSinceMidnight() override;

 private:
  // The local time of the last whole second asked for: asked every frame,
  // the local time is worked out once a second (a page's costs a call out).
  std::time_t last_whole_ = -1;
  double last_local_ = 0;
  std::uint64_t Entropy() override;
};

// Starts at noon and advances by a fixed step on every read.
class VirtualClock final : public Clock {
 public:
  static constexpr double kStart = 12 * 3600.0;
  static constexpr double kStep = 0.001;

  explicit VirtualClock(std::uint64_t seed) : seed_(seed) {}
  double SecondsSinceMidnight() override;
  std::uint64_t Entropy() override { return seed_; }

 private:
  std::uint64_t seed_;
  std::uint64_t reads_ = 0;
};

}  // namespace squarefield
