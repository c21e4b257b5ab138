// Numeric conversions and checks shared by every host: round to nearest with
// halves to even, and raise Overflow instead of wrapping or saturating.
#pragma once

#include <cmath>
#include <cstdint>

#include "runtime/runtime_error.h"

namespace squarefield {

[[noreturn]] void RaiseOverflow();

// Rounds under the default (nearest, ties to even) mode; callers check the range first.
inline std::int64_t RoundHalfEven(double value) { return std::llrint(value); }

// 16-bit: values in [-32768.5, 32767.5) round into range; NaN fails every test.
inline std::int16_t CInt(double value) {
  if (!(value >= -32768.5 && value < 32767.5)) RaiseOverflow();
  return static_cast<std::int16_t>(RoundHalfEven(value));
}

inline std::int32_t CLng(double value) {
  // One test for the common case; the exact edges only when near them.
  if (!(std::fabs(value) < 2147483647.0) && !(value >= -2147483648.5 && value < 2147483647.5)) RaiseOverflow();
  return static_cast<std::int32_t>(RoundHalfEven(value));
}

// Rounds to single precision (nearest, ties to even); beyond the single range, or NaN, overflows.
inline float CSng(double value) {
  const float result = static_cast<float>(value);
  if (!std::isfinite(result)) RaiseOverflow();
  return result;
}

// A floating-point result must be a number: infinities and NaN raise Overflow.
inline double Checked(double value) {
  if (!std::isfinite(value)) RaiseOverflow();
  return value;
}

// Division with the runtime's checks.
double Divide(double numerator, double denominator);

// A 16-bit counter's increment, which overflows past 32767.
inline std::int16_t Increment(std::int16_t counter) {
  if (counter == INT16_MAX) RaiseOverflow();
  return static_cast<std::int16_t>(counter + 1);
}

}  // namespace squarefield
