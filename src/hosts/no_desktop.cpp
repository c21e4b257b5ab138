// Builds without a desktop host can still run headless.
#include "hosts/host.h"

namespace squarefield {

std::unique_ptr<Host> OpenDesktopHost(const HostConfig&, std::string& error) {
  error = "this build has no desktop host";
  return nullptr;
}

void PrepareConsole() {}

}  // namespace squarefield
