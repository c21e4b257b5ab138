#include "platform/headless/headless_run.h"

#include <iostream>
#include <memory>

#include "app/program.h"
#include "cli/output_file.h"
#include "platform/clock.h"
#include "platform/headless/headless_host.h"
#include "platform/headless/png_export.h"
#include "platform/stop_signal.h"
#include "platform/trace.h"

namespace squarefield {

namespace {
int Fail(const std::string& what, const std::string& problem) {
  std::cerr << "squarefield: " << what << ": " << problem << '\n';
  return kExitRuntimeError;
}
}  // namespace

int RunHeadless(const Options& options) {
  Framebuffer framebuffer(options.width, options.height);
  HeadlessScript script;
  script.escape_from_poll = options.frames;
  HeadlessScreen screen(framebuffer, script);
  HeadlessWindow window(framebuffer);
  SystemClock system_clock;
  VirtualClock virtual_clock(options.seed.value_or(0));
  Clock& clock = options.seed ? static_cast<Clock&>(virtual_clock) : system_clock;
  HeadlessRuntime runtime(framebuffer, clock, options.seed);

  std::unique_ptr<OutputFile> trace_file;
  std::string problem;
  if (!options.trace.empty()) {
    trace_file = std::make_unique<OutputFile>(options.trace);
    if (!trace_file->Open(problem)) return Fail(options.trace, problem);
    static char buffer[1 << 16];
    std::setvbuf(trace_file->Stream(), buffer, _IOFBF, sizeof buffer);
    std::fprintf(trace_file->Stream(), "# squarefield %s %dx%d\n", kVersion, options.width, options.height);
  }
  ServiceSet services(runtime, screen, window, trace_file ? trace_file->Stream() : nullptr);

  InstallStopSignals();
  const auto error = RunForm1(services.runtime(), services.api(), services.window());
  int status = kExitOk;
  if (error) {
    std::cerr << "squarefield: " << error->Report() << '\n';
    // Never leave the cursor hidden or the brushes alive, whatever ended the run.
    screen.Restore(services.api());
    status = kExitRuntimeError;
  }

  if (trace_file && !trace_file->Commit(problem)) return Fail(options.trace, problem);
  if (!options.png.empty() && !error) {
    OutputFile png(options.png);
    if (!png.Open(problem)) return Fail(options.png, problem);
    if (!WritePng(framebuffer, png.Stream())) return Fail(options.png, "the image could not be written");
    if (!png.Commit(problem)) return Fail(options.png, problem);
  }
  return status;
}

}  // namespace squarefield
