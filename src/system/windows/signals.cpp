#include "system/signals.h"

#include <io.h>

#include <csignal>

#include "hosts/win32/lean_windows.h"

namespace squarefield {

const char* const kStopEvents = "Ctrl+C and Ctrl+Break in its console";
// A windowed program: cmd does not wait for it, so its lines would land after the next prompt.
const char* const kConsoleNote =
    "At a cmd prompt, start it as start /wait squarefield ... so that cmd waits for it: its lines then come "
    "before the next prompt, and %ERRORLEVEL% is its exit status.";

namespace {

void (*g_on_stop)(int) = nullptr;

BOOL WINAPI ConsoleHandler(DWORD event) { return OnConsoleEvent(event) ? TRUE : FALSE; }

}  // namespace

bool OnConsoleEvent(unsigned long event) {
  switch (event) {
    case CTRL_C_EVENT:
      if (g_on_stop) g_on_stop(SIGINT);
      return true;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      if (g_on_stop) g_on_stop(SIGTERM);
      return true;
    default:
      return false;
  }
}

// The console's events only: the C runtime's SIGINT handling resets itself
// after one signal, and nothing raises SIGTERM on Windows.
void RouteStopSignals(void (*on_stop)(int), void (*)(int)) {
  g_on_stop = on_stop;
  SetConsoleCtrlHandler(ConsoleHandler, TRUE);
}

// The paths are UTF-8: the narrow call would read them in the ANSI code page.
void RemoveFileNow(const char* path) {
  wchar_t wide[4096];
  if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 4096) > 0) _wunlink(wide);
}

void EndProcessNow(int status) { ExitProcess(static_cast<UINT>(status)); }

}  // namespace squarefield
