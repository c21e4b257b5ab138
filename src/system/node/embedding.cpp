// Under node or on a page, where the run yields to the event loop.
#include <emscripten.h>

#include <cstdlib>

#include "system/process.h"

namespace squarefield {

// A run that yielded returns from main after the module has already reported
// its start as done: only exit carries the status.
int ExitWith(int status) { std::exit(status); }

bool InWebPage() { return EM_ASM_INT({ return typeof document != "undefined"; }) != 0; }

}  // namespace squarefield
