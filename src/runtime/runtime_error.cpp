#include "runtime/runtime_error.h"

namespace squarefield {

namespace {
const char* NameOf(ErrorNumber number) {
  switch (number) {
    case ErrorNumber::Overflow: return "Overflow";
    case ErrorNumber::SubscriptOutOfRange: return "Subscript out of range";
    case ErrorNumber::DivisionByZero: return "Division by zero";
  }
  return "Unknown error";
}
}  // namespace

RuntimeError::RuntimeError(ErrorNumber number) : std::runtime_error(NameOf(number)), number_(number) {}

const char* RuntimeError::Name() const { return NameOf(number_); }

std::string RuntimeError::Report() const {
  std::string text = "Run-time error ";
  text.append(std::to_string(Number())).append(": ").append(Name());
  if (!procedure_.empty()) text += " (in " + procedure_ + ")";
  return text;
}

}  // namespace squarefield
