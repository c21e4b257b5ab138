#include "platform/headless/headless_run.h"

#include <iostream>

#include "cli/hosted_run.h"
#include "cli/output_file.h"
#include "platform/clock.h"
#include "platform/headless/headless_host.h"
#include "platform/headless/png_export.h"

namespace squarefield {

int RunHeadless(const Options& options) {
  Framebuffer framebuffer(options.width, options.height);
  HeadlessScript script;
  script.escape_from_poll = options.frames;
  HeadlessScreen screen(framebuffer, script);
  HeadlessWindow window(framebuffer);
  SystemClock system_clock;
  VirtualClock virtual_clock(options.seed.value_or(0));
  Clock& clock = options.seed ? static_cast<Clock&>(virtual_clock) : system_clock;
  HeadlessRuntime runtime(framebuffer, clock, options.seed, options.fps);

  const int status = RunHosted(options, runtime, screen, window, options.width, options.height,
                               [&](WindowsApi& via) { screen.Restore(via); });
  if (status != kExitOk || options.png.empty()) return status;

  std::string problem;
  OutputFile png(options.png);
  if (png.Open(problem) && WritePng(framebuffer, png.Stream()) && png.Commit(problem)) return kExitOk;
  std::cerr << "squarefield: " << options.png << ": " << (problem.empty() ? "the image could not be written" : problem)
            << '\n';
  return kExitRuntimeError;
}

}  // namespace squarefield
