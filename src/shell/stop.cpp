#include "shell/stop.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include "platform/win32/lean_windows.h"
#else
#include <unistd.h>
#endif
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace squarefield {

namespace {

volatile std::sig_atomic_t g_signalled = 0;  // the first stop signal that came; 0: none yet

// Fixed storage, so the handlers can read it without allocating or locking.
constexpr int kMaxTemporaries = 8;
constexpr std::size_t kMaxPath = 4096;
char g_temporaries[kMaxTemporaries][kMaxPath];
volatile std::sig_atomic_t g_in_use[kMaxTemporaries];
std::mutex g_registry;

void RemoveTemporaries() {
  for (int i = 0; i < kMaxTemporaries; ++i)
    if (g_in_use[i]) {
#ifdef _WIN32
      // The paths are UTF-8: the narrow call would read them in the ANSI code page.
      wchar_t wide[kMaxPath];
      if (MultiByteToWideChar(CP_UTF8, 0, g_temporaries[i], -1, wide, static_cast<int>(kMaxPath)) > 0) _wunlink(wide);
#else
      unlink(g_temporaries[i]);
#endif
    }
}

[[noreturn]] void EndNow(int status) {
  RemoveTemporaries();
#ifdef _WIN32
  ExitProcess(static_cast<UINT>(status));
#else
  _exit(status);
#endif
}

extern "C" void OnStopSignal(int signal) {
  if (g_signalled) EndNow(128 + signal);
  g_signalled = signal;
  RequestStop();
}

#ifndef _WIN32
// Any other signal that ends a program (a closed pipe, SIGQUIT, SIGUSR1, ...):
// it still ends it, with the signal's own status, but no temporary stays behind.
extern "C" void OnEndingSignal(int signal) {
  RemoveTemporaries();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
}
#endif

#ifndef _WIN32
// `keep_ignored`: leave the signal ignored if it was (SIGHUP under nohup).
// SIGINT is always ours: a shell ignores it in the jobs it starts in the background.
void Install(int signal, bool keep_ignored, void (*handler)(int) = OnStopSignal) {
  struct sigaction old {};
  if (keep_ignored && sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}
#else
BOOL WINAPI ConsoleHandler(DWORD event) { return OnConsoleEvent(event) ? TRUE : FALSE; }
#endif

}  // namespace

#ifdef _WIN32
bool OnConsoleEvent(unsigned long event) {
  switch (event) {
    case CTRL_C_EVENT:
      OnStopSignal(SIGINT);
      return true;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      OnStopSignal(SIGTERM);
      return true;
    default:
      return false;
  }
}
#endif

#ifdef __EMSCRIPTEN__
// Node keeps a process's signals for its own event loop, which the program
// reaches when it yields; from there they arrive here as on Linux. A write to
// a closed pipe comes as SIGPIPE too, and ends the program as it would there.
extern "C" EMSCRIPTEN_KEEPALIVE void squarefield_signal(int signal) {
  if (signal == SIGPIPE) EndNow(128 + SIGPIPE);
  OnStopSignal(signal);
}
#endif

void InstallStopHandlers() {
#ifdef _WIN32
  // The console's events only: the C runtime's SIGINT handling resets itself
  // after one signal, and nothing raises SIGTERM on Windows.
  SetConsoleCtrlHandler(ConsoleHandler, TRUE);
#else
  Install(SIGINT, false);
  Install(SIGTERM, false);
  Install(SIGHUP, true);
  // The rest of the signals whose default is to end the program. Faults are
  // left to the default (and to the sanitizers, which report them).
  for (const int signal : {SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGIO,
                           SIGPWR, SIGSYS, SIGTRAP, SIGSTKFLT})
    Install(signal, true, OnEndingSignal);
#endif
#ifdef __EMSCRIPTEN__
  EM_ASM({
    if (typeof process != "object" || typeof process.on != "function" || typeof document != "undefined") return;
    process.on("SIGINT", function() { _squarefield_signal(2); });
    process.on("SIGTERM", function() { _squarefield_signal(15); });
    process.on("SIGHUP", function() { _squarefield_signal(1); });
  });
#endif
}

int StopSignal() { return g_signalled; }

void ForgetStopSignals() {
  g_signalled = 0;
  ClearStopRequest();
}

bool RegisterTemporary(const std::string& path) {
  if (path.size() >= kMaxPath) return false;
  std::lock_guard lock(g_registry);
  for (int i = 0; i < kMaxTemporaries; ++i)
    if (!g_in_use[i]) {
      std::memcpy(g_temporaries[i], path.c_str(), path.size() + 1);
      g_in_use[i] = 1;
      return true;
    }
  return false;
}

void ForgetTemporary(const std::string& path) {
  std::lock_guard lock(g_registry);
  for (int i = 0; i < kMaxTemporaries; ++i)
    if (g_in_use[i] && path == g_temporaries[i]) {
      g_in_use[i] = 0;
      return;
    }
}

namespace {
std::function<void()> g_finisher;
}  // namespace

void SetFatalFinisher(std::function<void()> finish) { g_finisher = std::move(finish); }

void Fatal(const char* what) {
  std::fprintf(stderr, "squarefield: %s\n", what);
  if (auto finish = std::exchange(g_finisher, nullptr)) finish();
  std::fflush(stderr);
  EndNow(1);
}

}  // namespace squarefield
