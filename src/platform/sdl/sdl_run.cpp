// The SDL host as the program's desktop host.
#include <iostream>

#include "cli/desktop.h"
#include "cli/hosted_run.h"
#include "platform/clock.h"
#include "platform/sdl/sdl_host.h"

namespace squarefield {

int RunDesktop(const Options& options) {
  SdlSession session;
  std::string error;
  if (!session.Open(options.window, error)) {
    std::cerr << "squarefield: cannot run on the desktop: " << error << "; try --headless\n";
    return kExitUsage;
  }
  Framebuffer framebuffer(session.Width(), session.Height());
  framebuffer.TrackChanges();
  SdlScreen screen(framebuffer, session, options.frames);
  SdlWindow window(framebuffer, session);
  SystemClock system_clock;
  VirtualClock virtual_clock(options.seed.value_or(0));
  Clock& clock = options.seed ? static_cast<Clock&>(virtual_clock) : system_clock;
  SdlRuntime runtime(framebuffer, session, clock, options.seed, options.fps);
  return RunHosted(options, runtime, screen, window, session.Width(), session.Height(),
                   [&](WindowsApi& via) { screen.Restore(via); });
}

void PrepareConsole() {}

}  // namespace squarefield
