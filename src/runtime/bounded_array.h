// An array with fixed bounds whose every subscript is checked: one outside the
// bounds raises "Subscript out of range" instead of reading past the end.
#pragma once

#include <cstddef>
#include <vector>

#include "runtime/runtime_error.h"

namespace squarefield {

template <class T>
class BoundedArray {
 public:
  // Holds nothing until allocated, so any subscript fails before then.
  BoundedArray() = default;
  explicit BoundedArray(int upper) { Allocate(upper); }

  // Allocates indices 0 to upper, every record zeroed.
  void Allocate(int upper) { items_.assign(static_cast<std::size_t>(upper) + 1, T{}); }

  T& operator()(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size())
      throw RuntimeError(ErrorNumber::SubscriptOutOfRange);
    return items_[static_cast<std::size_t>(index)];
  }
  const T& operator()(int index) const { return const_cast<BoundedArray&>(*this)(index); }

  int UBound() const { return static_cast<int>(items_.size()) - 1; }

 private:
  std::vector<T> items_;
};

}  // namespace squarefield
