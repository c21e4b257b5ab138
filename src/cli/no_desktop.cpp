// Builds without a desktop host can still run headless.
#include <iostream>

#include "cli/desktop.h"

namespace squarefield {

int RunDesktop(const Options&) {
  std::cerr << "squarefield: this build has no desktop host; run with --headless\n";
  return kExitUsage;
}

void PrepareConsole() {}

}  // namespace squarefield
