// Sin and Cos of the runtime. They are the same on every host, so they are plain
// inline functions rather than host calls: a step that takes both of one angle
// then lets the compiler compute the pair in one sincos, with identical results.
#pragma once

#include <cmath>

namespace squarefield {

inline double Sin(double radians) { return std::sin(radians); }
inline double Cos(double radians) { return std::cos(radians); }

}  // namespace squarefield
