#include "system/process.h"

#include <cstdio>
#include <iostream>
#include <utility>

#include "hosts/win32/lean_windows.h"
#include <shellapi.h>
#include "hosts/win32/saver.h"

namespace squarefield {

std::vector<std::string> CommandLine(int argc, char** argv) {
  std::vector<std::string> utf8;
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      std::string arg(n > 0 ? n - 1 : 0, '\0');
      if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
      utf8.push_back(std::move(arg));
    }
    LocalFree(wide);
  }
  if (utf8.empty()) utf8.assign(argv, argv + argc);
  return utf8;
}

// Windows gives every process its three handles, or none that can be reused.
void OpenStandardStreams() {}

int ExitWith(int status) { return status; }
bool InWebPage() { return false; }

SystemScreensaver ThisSystemsScreensaver() { return {true, RunningAsScr()}; }
void ShowScreensaverSettings(std::optional<std::uint64_t> owner) { ShowSaverSettings(owner); }
bool ClaimScreensaver() { return ClaimSaverInstance(); }
double ScreensaverFps() { return ReadSaverFps(); }

void PrepareConsole() {
  // Output already going somewhere (a pipe, a file) stays there.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  std::freopen("CONOUT$", "w", stdout);
  std::freopen("CONOUT$", "w", stderr);
  std::ios::sync_with_stdio(true);
}

}  // namespace squarefield
