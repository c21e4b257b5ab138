#include "system/process.h"

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

}  // namespace squarefield
