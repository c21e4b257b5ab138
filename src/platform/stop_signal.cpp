#include "platform/stop_signal.h"

#include <csignal>

namespace squarefield {

namespace {
volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) { g_stop = 1; }
}  // namespace

void InstallStopSignals() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
#ifdef SIGHUP
  std::signal(SIGHUP, OnStopSignal);
#endif
}

bool StopRequested() { return g_stop != 0; }
void RequestStop() { g_stop = 1; }
void ClearStopRequest() { g_stop = 0; }

}  // namespace squarefield
