// The random-number generator behind Rnd and Randomize: PCG32 (O'Neill's
// permuted congruential generator, XSH-RR output), 64 bits of state.
#pragma once

#include <cstdint>

namespace squarefield {

class RandomGenerator {
 public:
  RandomGenerator() { Seed(0); }

  // Restarts the sequence from `seed`.
  void Seed(std::uint64_t seed);
  // Mixes `number` into the running state: the sequence goes on from where it
  // was, so folding the same number twice in a row still gives new numbers.
  void Fold(float number);
  // 24 random bits scaled into [0, 1): exact in single precision, never 1.
  float Next();

 private:
  std::uint32_t NextBits();

  std::uint64_t state_ = 0;
};

}  // namespace squarefield
