#include "system/signals.h"

#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace squarefield {

const char* const kStopEvents = "SIGINT, SIGTERM and SIGHUP";
const char* const kConsoleNote = "";

namespace {

void (*g_on_end)(int) = nullptr;

// Any other signal that ends a program (a closed pipe, SIGQUIT, SIGUSR1, ...):
// it still ends it, with the signal's own status, after the shell's word.
extern "C" void squarefield_ending_signal(int signal) {
  if (g_on_end) g_on_end(signal);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
}

// A signal ignored when the program started stays ignored: whoever started it
// meant that (nohup's SIGHUP, `trap '' TERM`, the SIGINT a shell ignores in the
// jobs it starts in the background).
void Install(int signal, void (*handler)(int)) {
  struct sigaction old {};
  if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

void RouteStopSignals(void (*on_stop)(int), void (*on_end)(int)) {
  g_on_end = on_end;
  Install(SIGINT, on_stop);
  Install(SIGTERM, on_stop);
  Install(SIGHUP, on_stop);
  // Faults are left to the default (and to the sanitizers, which report them).
  for (const int signal : {SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGIO,
                           SIGPWR, SIGSYS, SIGTRAP, SIGSTKFLT})
    Install(signal, squarefield_ending_signal);
}

void RemoveFileNow(const char* path) { unlink(path); }

void EndProcessNow(int status) { _exit(status); }

bool OnConsoleEvent(unsigned long) { return false; }

}  // namespace squarefield
