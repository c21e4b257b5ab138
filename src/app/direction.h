// Sin(Degree(Angle)) and Cos(Degree(Angle)) of one particle. The direction is
// kept only as an angle, and the step moves along its sine and cosine; those
// change only when the angle does (at a spawn), so they are remembered beside
// the particle under the angle's exact bits. A step computes them anew whenever
// the bits differ, so every result is the bit pattern a fresh computation gives.
#pragma once

#include <cstdint>

namespace squarefield {

struct Direction {
  std::uint64_t angle_bits = 0;
  bool known = false;
  double sin = 0;
  double cos = 0;
};

}  // namespace squarefield
