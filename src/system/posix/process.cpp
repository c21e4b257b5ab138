#include "system/process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace squarefield {

std::vector<std::string> CommandLine(int argc, char** argv) { return {argv, argv + argc}; }

// Read-only, so writing to a closed standard output stays a write error
// rather than vanishing.
void OpenStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

// The screensaver daemons of these systems hand a window over (--root); they
// start no program with arguments of their own.
SystemScreensaver ThisSystemsScreensaver() { return {}; }
void ShowScreensaverSettings(std::optional<std::uint64_t>) {}
bool ClaimScreensaver() { return true; }
double ScreensaverFps() { return 60; }

}  // namespace squarefield
