// The desktop host this build was made with, if any.
#pragma once

#include "cli/options.h"

namespace squarefield {

int RunDesktop(const Options& options);

// Makes --help, --version and option errors reach the console the program was
// started from (a Windows GUI program has none of its own).
void PrepareConsole();

}  // namespace squarefield
