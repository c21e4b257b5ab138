// The command line: what the user asked for, checked before anything runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "shell/failure.h"

namespace squarefield {

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
  bool done = false;  // --help or --version was answered: nothing more to do
};

// Parses argv into `options`; a failure names the option at fault.
std::optional<Failure> ParseOptions(int argc, const char* const* argv, Options& options);

}  // namespace squarefield
