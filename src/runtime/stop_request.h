// The one place every reason to stop is recorded: a signal, the user closing
// the window, a window that went away, the last of --frames, a host that can
// go on no longer. Everything that waits or polls reads it, so a stop ends a
// wait at once. Safe to set from a signal handler.
#pragma once

namespace squarefield {

void RequestStop();
bool StopRequested();
void ClearStopRequest();

}  // namespace squarefield
