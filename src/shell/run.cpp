#include "shell/run.h"

#include <functional>
#include <memory>
#include <new>

#include "app/program.h"
#include "platform/basic_runtime.h"
#include "platform/clock.h"
#include "platform/headless/png_export.h"
#include "shell/event_loop.h"
#include "shell/guard.h"
#include "shell/output_file.h"
#include "shell/stop.h"
#include "shell/trace.h"
#ifdef SQUAREFIELD_HAS_GIF
#include "platform/headless/gif_export.h"
#endif

namespace squarefield {

namespace {

// The shared runtime services over a host's screen, with the one DoEvents.
class HostRuntime final : public BasicRuntime {
 public:
  HostRuntime(Host& host, Clock& clock, std::optional<std::uint64_t> seed, std::optional<double> fps)
      : BasicRuntime(clock, seed), host_(host), loop(host, fps) {}
  void DoEvents() override {
    loop.DoEvents();
    if (on_frame) on_frame();
  }
  ScreenObject Screen() override { return host_.Screen(); }

 private:
  Host& host_;

 public:
  EventLoop loop;
  std::function<void()> on_frame;  // after every frame: recorders
};

std::string Problem(const std::string& path, const std::string& why) {
  return (path == "-" ? std::string("standard output") : path) + ": " + (why.empty() ? "could not be written" : why);
}

}  // namespace

std::optional<Failure> RunEffect(Host& host, const RunConfig& config) {
  std::vector<std::string> problems;
  std::string why;

  std::unique_ptr<OutputFile> trace_file;
  if (!config.trace.empty()) {
    trace_file = std::make_unique<OutputFile>(config.trace);
    if (!trace_file->Open(why)) return Failure(Failure::Kind::Output, Problem(config.trace, why));
    static char buffer[1 << 16];
    std::setvbuf(trace_file->Stream(), buffer, _IOFBF, sizeof buffer);
    std::fprintf(trace_file->Stream(), "# squarefield %s %dx%d\n", kVersion, host.PixelWidth(), host.PixelHeight());
  }

  SystemClock system_clock;
  VirtualClock virtual_clock(config.seed.value_or(0));
  Clock& clock = config.seed ? static_cast<Clock&>(virtual_clock) : system_clock;
  HostRuntime runtime(host, clock, config.seed, config.fps);

#ifdef SQUAREFIELD_HAS_GIF
  std::unique_ptr<OutputFile> gif_file;
  std::unique_ptr<GifRecorder> gif;
  if (!config.gif.empty() && host.Pixels() != nullptr) {
    gif_file = std::make_unique<OutputFile>(config.gif);
    if (!gif_file->Open(why)) return Failure(Failure::Kind::Output, Problem(config.gif, why));
    const Framebuffer& pixels = *host.Pixels();
    gif = std::make_unique<GifRecorder>(gif_file->Stream(), pixels.Width(), pixels.Height(),
                                        GifDelay(config.fps && *config.fps > 0 ? *config.fps : 50));
    runtime.on_frame = [&] { gif->AddFrame(pixels); };
  }
#endif

  RunGuard guard(host.Api(), StopRequested, config.frames);
  guard.OnEscapeSeen([&] { runtime.loop.Ending(); });
  std::optional<RuntimeError> error;
  bool out_of_memory = false;
  {
    ServiceSet services(runtime, guard, host.FormWindow(), trace_file ? trace_file->Stream() : nullptr);
    try {
      error = RunForm1(services.runtime(), services.api(), services.window());
    } catch (const std::bad_alloc&) {
      out_of_memory = true;
    }
    // Never leave the cursor hidden or the brushes alive, whatever ended the run.
    if (error || out_of_memory) guard.Restore(services.api());
  }
  host.Finish();

  // Every output that can be finished is, whatever became of the others.
  if (trace_file && !trace_file->Commit(why)) problems.push_back(Problem(config.trace, why));
#ifdef SQUAREFIELD_HAS_GIF
  // Escape, --frames and a signal all end here: the animation so far is kept whole.
  if (gif) {
    const bool finished = gif->Finish();
    if (!finished) why = "the encoder failed";
    if (!(finished && gif_file->Commit(why))) problems.push_back(Problem(config.gif, why));
  }
#endif
  if (!config.png.empty() && host.Pixels() != nullptr && !error && !out_of_memory) {
    OutputFile png(config.png);
    why.clear();
    if (!(png.Open(why) && WritePng(*host.Pixels(), png.Stream()) && png.Commit(why)))
      problems.push_back(Problem(config.png, why));
  }

  if (const auto& failed = runtime.loop.Failure()) {
    problems.insert(problems.begin(), *failed);
    return Failure(Failure::Kind::HostFailed, problems);
  }
  if (out_of_memory) {
    problems.insert(problems.begin(), "out of memory");
    return Failure(Failure::Kind::OutOfMemory, problems);
  }
  if (error) {
    problems.insert(problems.begin(), error->Report());
    return Failure(Failure::Kind::RuntimeError, problems);
  }
  if (!problems.empty()) return Failure(Failure::Kind::Output, problems);
  return std::nullopt;
}

}  // namespace squarefield
