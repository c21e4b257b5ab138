// The desktop host this build was made with, if any.
#pragma once

#include "cli/options.h"

namespace squarefield {

int RunDesktop(const Options& options);

}  // namespace squarefield
