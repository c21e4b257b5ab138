#include "platform/headless/headless_host.h"

#include "platform/stop_signal.h"

namespace squarefield {

std::int16_t HeadlessScreen::GetAsyncKeyState(int vKey) {
  ++polls_;
  if (vKey != VK_ESCAPE) return 0;
  const bool down = StopRequested() || (escape_from_poll_ && polls_ >= *escape_from_poll_);
  if (!down) return 0;
  // Down now (0x8000), and on the first poll that sees it, pressed since the last one too.
  const bool newly = !escape_was_down_;
  escape_was_down_ = true;
  return static_cast<std::int16_t>(newly ? 0x8001 : 0x8000);
}

}  // namespace squarefield
