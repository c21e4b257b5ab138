// Runs the effect on the headless screen as the command line asks.
#pragma once

#include "cli/options.h"

namespace squarefield {

int RunHeadless(const Options& options);

}  // namespace squarefield
