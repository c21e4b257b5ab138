#include "runtime/conversions.h"

namespace squarefield {

void RaiseOverflow() { throw RuntimeError(ErrorNumber::Overflow); }

double Divide(double numerator, double denominator) {
  if (denominator == 0) {
    // 0/0 has no value at all, which the runtime reports as an overflow.
    if (numerator == 0 || std::isnan(numerator)) RaiseOverflow();
    throw RuntimeError(ErrorNumber::DivisionByZero);
  }
  return Checked(numerator / denominator);
}

}  // namespace squarefield
