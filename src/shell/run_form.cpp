#include "shell/run.h"

#include <functional>
#include <new>

#include "app/program.h"
#include "runtime/basic_runtime.h"
#include "runtime/clock.h"
#include "shell/event_loop.h"
#include "shell/guard.h"
#include "shell/stop.h"
#include "shell/trace.h"

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

}  // namespace

std::optional<Failure> RunForm(Host& host, const RunConfig& config, const Recording& recording) {
  SystemClock system_clock;
  VirtualClock virtual_clock(config.seed.value_or(0));
  Clock& clock = config.seed ? static_cast<Clock&>(virtual_clock) : system_clock;
  HostRuntime runtime(host, clock, config.seed, config.fps);

  runtime.on_frame = recording.on_frame;

  RunGuard guard(host.Api(), StopRequested, config.frames);
  guard.OnEscapeSeen([&] { runtime.loop.Ending(); });
  std::optional<RuntimeError> error;
  bool out_of_memory = false;
  {
    ServiceSet services(runtime, guard, host.FormWindow(), recording.trace);
    try {
      error = RunForm1(services.runtime(), services.api(), services.window());
    } catch (const std::bad_alloc&) {
      out_of_memory = true;
    }
    // Never leave the cursor hidden or the brushes alive, whatever ended the run.
    if (error || out_of_memory) guard.Restore(services.api());
  }
  host.Finish();
  if (runtime.loop.Error()) return runtime.loop.Error();
  if (out_of_memory) return Failure(Failure::Kind::OutOfMemory, "out of memory");
  if (error) return Failure(Failure::Kind::RuntimeError, error->Report());
  return std::nullopt;
}

}  // namespace squarefield
