#include "shell/stop.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "system/signals.h"

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
    if (g_in_use[i]) RemoveFileNow(g_temporaries[i]);
}

[[noreturn]] void EndNow(int status) {
  RemoveTemporaries();
  EndProcessNow(status);
}

void OnStopSignal(int signal) {
  if (g_signalled) EndNow(128 + signal);
  g_signalled = signal;
  RequestStop();
}

// A signal that ends the program all the same: no temporary stays behind.
void OnEndingSignal(int) { RemoveTemporaries(); }

}  // namespace

void InstallStopHandlers() { RouteStopSignals(OnStopSignal, OnEndingSignal); }

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
