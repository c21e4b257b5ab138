#include "platform/headless/headless_host.h"

namespace squarefield {

std::unique_ptr<Host> OpenHeadlessHost(const HostConfig& config) {
  return std::make_unique<HeadlessHost>(config.width, config.height);
}

}  // namespace squarefield
