// Node keeps a process's signals for its own event loop, which the program
// reaches when it yields; from there they arrive here. A write to a closed
// pipe comes as SIGPIPE too, and ends the program as it would elsewhere.
#include "system/signals.h"

#include <emscripten.h>
#include <signal.h>
#include <unistd.h>

namespace squarefield {

const char* const kStopEvents = "SIGINT, SIGTERM and SIGHUP";
const char* const kConsoleNote = "";

namespace {
void (*g_on_stop)(int) = nullptr;
void (*g_on_end)(int) = nullptr;
}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void squarefield_signal(int signal) {
  if (signal == SIGPIPE) {
    if (g_on_end) g_on_end(signal);
    EndProcessNow(128 + SIGPIPE);
  }
  if (g_on_stop) g_on_stop(signal);
}

void RouteStopSignals(void (*on_stop)(int), void (*on_end)(int)) {
  g_on_stop = on_stop;
  g_on_end = on_end;
  EM_ASM({
    if (typeof process != "object" || typeof process.on != "function" || typeof document != "undefined") return;
    process.on("SIGINT", function() { _squarefield_signal(2); });
    process.on("SIGTERM", function() { _squarefield_signal(15); });
    process.on("SIGHUP", function() { _squarefield_signal(1); });
  });
}

void RemoveFileNow(const char* path) { unlink(path); }

void EndProcessNow(int status) { _exit(status); }

bool OnConsoleEvent(unsigned long) { return false; }

}  // namespace squarefield
