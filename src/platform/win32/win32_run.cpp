// The native Windows host as the program's desktop host.
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/desktop.h"
#include "cli/hosted_run.h"
#include "platform/clock.h"
#include "platform/win32/win32_host.h"

namespace squarefield {

void PrepareConsole() {
  // Output already going somewhere (a pipe, a file) stays there.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  std::freopen("CONOUT$", "w", stdout);
  std::freopen("CONOUT$", "w", stderr);
  std::ios::sync_with_stdio(true);
}

int RunDesktop(const Options& options) {
  Win32Session session;
  if (!session.Open(options.window)) {
    std::cerr << "squarefield: the window could not be created; try --headless\n";
    return kExitUsage;
  }
  Win32Screen screen(session, options.frames);
  Win32Window window(session);
  SystemClock system_clock;
  VirtualClock virtual_clock(options.seed.value_or(0));
  Clock& clock = options.seed ? static_cast<Clock&>(virtual_clock) : system_clock;
  Win32Runtime runtime(session, clock, options.seed, options.fps);
  std::string error;
  const int status = RunHosted(
      options, runtime, screen, window, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
      [&](WindowsApi& via) { screen.Restore(via); }, [&](const std::string& report) { error = report; });
  session.Close();
  screen.RepaintAndRelease();
  // Told only once the cursor is back and the screen clean.
  if (!error.empty()) MessageBoxA(nullptr, error.c_str(), "squarefield", MB_OK | MB_ICONERROR);
  return status;
}

}  // namespace squarefield
