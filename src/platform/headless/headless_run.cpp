#include "platform/headless/headless_run.h"

#include <memory>

#include "cli/hosted_run.h"
#include "cli/output_file.h"
#include "platform/clock.h"
#include "platform/headless/headless_host.h"
#include "platform/headless/png_export.h"
#ifdef SQUAREFIELD_HAS_GIF
#include "platform/headless/gif_export.h"
#endif

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
  HeadlessRuntime runtime(framebuffer, clock, options.seed);

  std::string problem;
#ifdef SQUAREFIELD_HAS_GIF
  std::unique_ptr<OutputFile> gif_file;
  std::unique_ptr<GifRecorder> gif;
  if (!options.gif.empty()) {
    gif_file = std::make_unique<OutputFile>(options.gif);
    if (!gif_file->Open(problem)) {
      ReportFileProblem(options.gif, problem);
      return kExitRuntimeError;
    }
    gif = std::make_unique<GifRecorder>(gif_file->Stream(), options.width, options.height,
                                        GifDelay(options.fps.value_or(50)));
    runtime.on_frame = [&] { gif->AddFrame(framebuffer); };
  }
#endif

  const int status = RunHosted(options, runtime, screen, window, options.width, options.height,
                               [&](WindowsApi& via) { screen.Restore(via); });
  if (status != kExitOk) return status;

#ifdef SQUAREFIELD_HAS_GIF
  // Escape, --frames and a signal all end here: the animation so far is kept whole.
  if (gif && !(gif->Finish() && gif_file->Commit(problem))) {
    ReportFileProblem(options.gif, problem);
    return kExitRuntimeError;
  }
#endif
  if (options.png.empty()) return kExitOk;

  OutputFile png(options.png);
  if (png.Open(problem) && WritePng(framebuffer, png.Stream()) && png.Commit(problem)) return kExitOk;
  ReportFileProblem(options.png, problem);
  return kExitRuntimeError;
}

}  // namespace squarefield
