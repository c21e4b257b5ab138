// How every failure travels up to main: what kind it is (which decides the exit
// status) and what to tell the user, one line per problem.
#pragma once

#include <string>
#include <vector>

namespace squarefield {

struct Failure {
  enum class Kind {
    BadOptions,    // the command line asked for something impossible
    NoDisplay,     // no desktop to run on
    RuntimeError,  // the runtime's error ended the effect
    Output,        // an output file could not be finished
    OutOfMemory,
    HostFailed,    // the display failed while the effect ran (pumping, presenting)
    Stopped,       // a stop signal ended a wait to open an output (a FIFO with no reader)
  };
  Kind kind;
  std::vector<std::string> lines;

  Failure(Kind k, std::string line) : kind(k), lines{std::move(line)} {}
  Failure(Kind k, std::vector<std::string> l) : kind(k), lines(std::move(l)) {}
};

}  // namespace squarefield
