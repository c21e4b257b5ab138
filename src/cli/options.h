// The command line: what the user asked for, checked before anything runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace squarefield {

enum ExitStatus : int {
  kExitOk = 0,
  kExitRuntimeError = 1,  // a runtime error ended the effect, or an output could not be finished
  kExitUsage = 2,         // bad options, or no display to run on
};

struct Options {
  bool headless = false;
  bool window = false;  // a 1024x768 window instead of the full screen
  int width = 1024;
  int height = 768;
  std::optional<std::int64_t> frames;
  std::optional<std::uint64_t> seed;
  std::optional<double> fps;
  std::string trace;
  std::string png;
  std::string gif;
};

// Parses argv into `options`. Returns an exit status when the program should
// stop at once (help, version, or an error already reported on stderr).
std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options);

}  // namespace squarefield
