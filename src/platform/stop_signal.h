// A request to stop from outside the program (SIGINT, SIGTERM, SIGHUP): the
// hosts read it as Escape, so it takes the same shut-down path as a key press.
#pragma once

namespace squarefield {

void InstallStopSignals();
bool StopRequested();
// For hosts that learn of a stop some other way (a window closed by the user).
void RequestStop();
void ClearStopRequest();

}  // namespace squarefield
