// A test rig: Form1 on the headless screen, with a runtime whose random numbers
// and clock the test chooses, and every platform call logged for inspection.
#pragma once

#include <cmath>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/program.h"
#include "hosts/headless/headless_host.h"
#include "runtime/random.h"
#include "shell/guard.h"
#include "shell/stop.h"
#include "shell/trace.h"

namespace squarefield::testing {

// Calls to fail, and the poll from which Escape reads as down (none: only on a stop request).
struct HeadlessScript : FailureScript {
  std::optional<std::int64_t> escape_from_poll;
};

class ScriptedRuntime final : public Runtime {
 public:
  std::deque<float> rnd;  // next values of Rnd; a fixed-seed sequence once they run out
  RandomGenerator fallback;
  float timer = 1000.0f;
  ScreenObject screen{1024 * 15.0f, 768 * 15.0f, 15, 15};

  float Rnd() override {
    if (rnd.empty()) return fallback.Next();
    const float r = rnd.front();
    rnd.pop_front();
    return r;
  }
  void Randomize() override {}
  void Randomize(float) override {}
  float Timer() override { return timer; }
  void DoEvents() override {}
  ScreenObject Screen() override { return screen; }
};

struct Rig {
  explicit Rig(int width = 1024, int height = 768, HeadlessScript script = {})
      : host(MakeHeadlessHost(width, height, script)), fb(host->framebuffer()), screen(host->drawing()),
        window(host->window()), guard(screen, StopRequested, script.escape_from_poll),
        log(std::tmpfile()), services(runtime, guard, window, log),
        form(services.runtime(), services.api(), services.window()) {
    runtime.screen = {width * 15.0f, height * 15.0f, 15, 15};
  }
  ~Rig() { std::fclose(log); }

  // Runs the whole program on the rig's form.
  std::optional<RuntimeError> Run() { return HostForm(services.window(), form); }

  // Every line logged so far.
  std::vector<std::string> Lines() {
    std::fflush(log);
    std::rewind(log);
    std::vector<std::string> lines;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, log)) {
      std::string line(buffer);
      if (!line.empty() && line.back() == '\n') line.pop_back();
      lines.push_back(line);
    }
    std::fseek(log, 0, SEEK_END);
    return lines;
  }

  // Lines that start with `call`.
  std::vector<std::string> Calls(const std::string& call) {
    std::vector<std::string> out;
    for (const auto& line : Lines())
      if (line.rfind(call, 0) == 0) out.push_back(line);
    return out;
  }

  std::unique_ptr<FramebufferHost> host;
  Framebuffer& fb;
  FramebufferApi& screen;
  HostedWindow& window;
  ScriptedRuntime runtime;
  RunGuard guard;  // as every run has it: stops read as Escape, and a ledger
  std::FILE* log;
  ServiceSet services;
  Form1 form;
};

}  // namespace squarefield::testing
