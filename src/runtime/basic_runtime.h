// The runtime services that are the same on every host: the generator, the
// clock. Hosts add the event pump and the screen metrics.
#pragma once

#include <cmath>
#include <optional>

#include "runtime/clock.h"
#include "runtime/random.h"
#include "runtime/runtime.h"

namespace squarefield {

class BasicRuntime : public Runtime {
 public:
  // With a seed, Randomize without a number starts from it instead of the clock.
  BasicRuntime(Clock& clock, std::optional<std::uint64_t> seed) : clock_(clock), seed_(seed) {}

  float Rnd() override { return generator_.Next(); }
  void Randomize() override { generator_.Seed(seed_ ? *seed_ : clock_.Entropy()); }
  void Randomize(float Number) override { generator_.Fold(Number); }
  float Timer() override { return static_cast<float>(clock_.SecondsSinceMidnight()); }

 private:
  Clock& clock_;
  std::optional<std::uint64_t> seed_;
  RandomGenerator generator_;
};

}  // namespace squarefield
