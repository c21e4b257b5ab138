// The bits of one type read as another, as std::bit_cast does. Through the
// compiler's builtin, since not every standard library this builds with
// (the WebAssembly one) has std::bit_cast yet.
#pragma once

namespace squarefield {

template <class To, class From>
constexpr To BitCast(const From& from) noexcept {
  static_assert(sizeof(To) == sizeof(From));
  return __builtin_bit_cast(To, from);
}

}  // namespace squarefield
