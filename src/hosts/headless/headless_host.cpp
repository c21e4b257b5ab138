#include "hosts/headless/headless_host.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace squarefield {

void HeadlessPresenter::Yield() {
#ifdef __EMSCRIPTEN__
  // A tenth of a second between yields: a stop is seen promptly, and the
  // yield (about a millisecond) costs the run about one percent.
  const double now = emscripten_get_now();
  if (now - last_yield_ >= 100) {
    emscripten_sleep(0);
    last_yield_ = emscripten_get_now();
  }
#else
  (void)last_yield_;
#endif
}

std::unique_ptr<FramebufferHost> MakeHeadlessHost(int width, int height, FailureScript failures) {
  return std::make_unique<FramebufferHost>(std::make_unique<HeadlessPresenter>(), width, height, failures);
}

std::unique_ptr<Host> OpenHeadlessHost(const HostConfig& config) {
  return MakeHeadlessHost(config.width, config.height);
}

}  // namespace squarefield
