// A plain process: main's status is the process's, and no page is around it.
#include "system/process.h"

namespace squarefield {

int ExitWith(int status) { return status; }
bool InWebPage() { return false; }
void PrepareConsole() {}

}  // namespace squarefield
