// The runtime's error: a number, its name, and the procedure that raised it.
// Nothing in the window class traps it; it passes up to the host's top level.
#pragma once

#include <stdexcept>
#include <string>

namespace squarefield {

enum class ErrorNumber : int {
  Overflow = 6,
  SubscriptOutOfRange = 9,
  DivisionByZero = 11,
};

class RuntimeError : public std::runtime_error {
 public:
  explicit RuntimeError(ErrorNumber number);

  int Number() const { return static_cast<int>(number_); }
  const char* Name() const;
  const std::string& Procedure() const { return procedure_; }

  // Records the innermost procedure only: callers further out leave it alone.
  void RaisedIn(const char* procedure) {
    if (procedure_.empty()) procedure_ = procedure;
  }

  // "Run-time error 6: Overflow (in ReDimVar)"
  std::string Report() const;

 private:
  ErrorNumber number_;
  std::string procedure_;
};

// Runs body; an error escaping it is stamped with `procedure` and passed on.
template <class Body>
decltype(auto) InProcedure(const char* procedure, Body&& body) {
  try {
    return body();
  } catch (RuntimeError& e) {
    e.RaisedIn(procedure);
    throw;
  }
}

}  // namespace squarefield
