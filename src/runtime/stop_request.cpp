#include "runtime/stop_request.h"

#include <csignal>

namespace squarefield {

namespace {
volatile std::sig_atomic_t g_stop = 0;
}  // namespace

void RequestStop() { g_stop = 1; }
bool StopRequested() { return g_stop != 0; }
void ClearStopRequest() { g_stop = 0; }

}  // namespace squarefield
