// A failure's way out, the same for the command line's program and the page's:
// its lines on the error stream (and where the host shows them), and the
// exit status its kind maps to. Nothing below the command line exits.
#pragma once

#include "hosts/host.h"
#include "runtime/failure.h"

namespace squarefield {

enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,  // a runtime error, an output not written, out of memory
  kExitUsage = 2,   // bad options, or no display to run on
};

int StatusOf(Failure::Kind kind);

// Whoever started the program can act on "see --help" and "try --headless":
// not so for a screensaver's host, a daemon's environment or a web page.
struct Hints {
  bool help = true;
  bool headless = true;
  bool daemon = false;  // in a screensaver daemon's window
};
// No hints: for whoever cannot act on them (a page's visitor, the system
// starting a screensaver with arguments of its own).
inline constexpr Hints kNoHints{.help = false, .headless = false};

// Says the failure's lines (with the hints that apply) and gives its status.
int Report(const Failure& failure, Host* host, Hints hints = {});

}  // namespace squarefield
