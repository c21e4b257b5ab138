// One run of the effect on a host, the same for every host: the clock, the
// stop requests read as Escape, the trace, giving back the cursor and brushes
// when a run ends early, and every output finished that can be.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "hosts/host.h"
#include "runtime/failure.h"
#include "runtime/runtime_error.h"
#include "shell/outputs.h"

namespace squarefield {

struct RunConfig {
  std::optional<std::int64_t> frames;  // Escape reads as pressed from this poll on
  std::optional<std::uint64_t> seed;   // a seeded generator and the virtual clock
  std::optional<double> fps;           // the pace, and the GIF's frame rate
  OutputPaths outputs;                 // the files to write
};

// Runs Form1 on `host` to its end with the outputs `config` names; nothing when all went well.
std::optional<Failure> RunEffect(Host& host, const RunConfig& config);

// The run itself, without opening or finishing any output (its paths are not
// read): what the page runs, and what RunEffect runs between its outputs.
struct Recording {
  std::FILE* trace = nullptr;     // every platform call logged here
  std::function<void()> on_frame;  // after every frame

  // Adds `then` after what runs after every frame already.
  void AfterEachFrame(std::function<void()> then) {
    on_frame = [first = std::move(on_frame), then = std::move(then)] {
      if (first) first();
      then();
    };
  }
};
// Nothing when it ended well; else what ended it: the host could go on no
// longer, memory ran out, or the runtime's error.
std::optional<Failure> RunForm(Host& host, const RunConfig& config, const Recording& recording);

}  // namespace squarefield
