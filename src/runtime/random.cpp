#include "runtime/random.h"

#include "runtime/bit_cast.h"

namespace squarefield {

namespace {
constexpr std::uint64_t kMultiplier = 6364136223846793005ULL;
constexpr std::uint64_t kIncrement = 1442695040888963407ULL;

// SplitMix64's finaliser: spreads a small seed or clock value over all 64 bits.
std::uint64_t Mix(std::uint64_t z) {
  z += 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}
}  // namespace

void RandomGenerator::Seed(std::uint64_t seed) {
  state_ = 0;
  NextBits();
  state_ += Mix(seed);
  NextBits();
}

void RandomGenerator::Fold(float number) {
  state_ += Mix(BitCast<std::uint32_t>(number));
  NextBits();
}

float RandomGenerator::Next() { return static_cast<float>(NextBits() >> 8) * (1.0f / 16777216.0f); }

std::uint32_t RandomGenerator::NextBits() {
  const std::uint64_t old = state_;
  state_ = old * kMultiplier + kIncrement;
  const auto xorshifted = static_cast<std::uint32_t>(((old >> 18u) ^ old) >> 27u);
  const auto rot = static_cast<unsigned>(old >> 59u);
  // Rotate right by rot (std::rotr, spelt out for standard libraries without it).
  return (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
}

}  // namespace squarefield
