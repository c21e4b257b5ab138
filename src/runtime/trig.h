// Sin and Cos of the runtime, the same bits on every host and compiler.
//
// The C libraries disagree in the last bit for about one angle in 700 (glibc
// against the Windows runtime, measured over every angle the effect can take),
// and one bit is enough for a square to land a pixel over and a run to diverge.
// So the runtime carries its own: the classic argument reduction by pi/2 in
// three parts and the minimax kernels of fdlibm, in plain IEEE double
// arithmetic (no fused multiply-add), accurate to within one unit in the last
// place. Inline, so a step that takes both of one angle shares the reduction.
//
// Kernel coefficients and reduction constants: fdlibm, Copyright (C) 1993 by Sun
// Microsystems, Inc. "Permission to use, copy, modify, and distribute this
// software is freely granted, provided that this notice is preserved."
#pragma once

#include "runtime/bit_cast.h"
#include <cmath>
#include <cstdint>

namespace squarefield {

namespace trig_detail {

// sin(x + y) for |x + y| <= pi/4, y the tail of a reduced argument.
inline double KernelSin(double x, double y) {
  constexpr double S1 = -1.66666666666666324348e-01;
  constexpr double S2 = 8.33333333332248946124e-03;
  constexpr double S3 = -1.98412698298579493134e-04;
  constexpr double S4 = 2.75573137070700676789e-06;
  constexpr double S5 = -2.50507602534068634195e-08;
  constexpr double S6 = 1.58969099521155010221e-10;
  const double z = x * x;
  const double v = z * x;
  const double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
  return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

// cos(x + y) for |x + y| <= pi/4.
inline double KernelCos(double x, double y) {
  constexpr double C1 = 4.16666666666666019037e-02;
  constexpr double C2 = -1.38888888888741095749e-03;
  constexpr double C3 = 2.48015872894767294178e-05;
  constexpr double C4 = -2.75573143513906633035e-07;
  constexpr double C5 = 2.08757232129817482790e-09;
  constexpr double C6 = -1.13596475577881948265e-11;
  const double z = x * x;
  const double w = z * z;
  const double r = z * (C1 + z * (C2 + z * C3)) + w * w * (C4 + z * (C5 + z * C6));
  const double hz = 0.5 * z;
  const double one_minus_hz = 1.0 - hz;
  return one_minus_hz + (((1.0 - one_minus_hz) - hz) + (z * r - x * y));
}

// x - n pi/2 as head + tail, good to about 150 bits; returns n mod 4. Exact
// for |x| < 2^19 pi/2. All three parts of pi/2 are always taken (fdlibm takes
// the later ones only where cancellation needs them): straight-line code, so
// the quadrant's branch is not mispredicted and a Sin and a Cos of one angle
// can share the whole reduction.
inline int ReducePiOver2(double x, double& head, double& tail) {
  constexpr double kInvPio2 = 6.36619772367581382433e-01;
  constexpr double kPio2_1 = 1.57079632673412561417e+00;  // first 33 bits of pi/2
  constexpr double kPio2_2 = 6.07710050630396597660e-11;  // next 33 bits
  constexpr double kPio2_3 = 2.02226624871116645580e-21;  // and the next 33 bits
  constexpr double kPio2_3t = 8.47842766036889956997e-32;
  // Round to the nearest integer (ties to even) by adding and taking away
  // 1.5 x 2^52, which leaves no fraction bits; exact for |x| < 2^51.
  constexpr double kRound = 6755399441055744.0;
  const double shifted = x * kInvPio2 + kRound;
  const double fn = shifted - kRound;
  // Each product is exact (33-bit constants, |fn| < 2^20), and each
  // difference's rounding error is carried along (e2, e3).
  const double r1 = x - fn * kPio2_1;
  const double p2 = fn * kPio2_2;
  const double r2 = r1 - p2;
  const double e2 = (r1 - r2) - p2;
  const double p3 = fn * kPio2_3;
  const double r = r2 - p3;
  const double e3 = (r2 - r) - p3;
  const double w = (fn * kPio2_3t - e3) - e2;
  head = r - w;
  tail = (r - head) - w;
  // The quadrant sits in the low bits of the shifted sum (defined for any x).
  return static_cast<int>(BitCast<std::uint64_t>(shifted) & 3);
}

inline constexpr double kReducible = 823549.6;  // 2^19 pi/2

// Picks `odd` when n is odd, else `even`, and flips the sign when `negate` has
// bit 1 set: without branches, since the quadrant of a random angle is
// unpredictable. Within pi/4 of zero the reduction gives n = 0 and the angle
// itself, so that case needs no path of its own.
inline double Select(int n, int negate, double even, double odd) {
  const std::uint64_t pick = 0 - static_cast<std::uint64_t>(n & 1);
  const std::uint64_t bits = (BitCast<std::uint64_t>(odd) & pick) | (BitCast<std::uint64_t>(even) & ~pick);
  return BitCast<double>(bits ^ (static_cast<std::uint64_t>(negate & 2) << 62));
}

}  // namespace trig_detail

// Both compute the reduction and both kernels on every path, so that where a
// step takes Sin and Cos of one angle the compiler can share all of it.
inline double Sin(double radians) {
  using namespace trig_detail;
  double head, tail;
  const int n = ReducePiOver2(radians, head, tail);
  // Quadrants 0..3: sin, cos, -sin, -cos of the reduced angle.
  const double value = Select(n, n, KernelSin(head, tail), KernelCos(head, tail));
  // Beyond the reduction's range the effect never goes; there, the C library's.
  return std::fabs(radians) < kReducible ? value : std::sin(radians);
}

inline double Cos(double radians) {
  using namespace trig_detail;
  double head, tail;
  const int n = ReducePiOver2(radians, head, tail);
  // Quadrants 0..3: cos, -sin, -cos, sin.
  const double value = Select(n, n + 1, KernelCos(head, tail), KernelSin(head, tail));
  return std::fabs(radians) < kReducible ? value : std::cos(radians);
}

}  // namespace squarefield
