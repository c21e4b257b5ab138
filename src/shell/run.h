// One run of the effect on a host, the same for every host: the clock, the
// stop requests read as Escape, the trace, giving back the cursor and brushes
// when a run ends early, and every output finished that can be.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/host.h"
#include "shell/failure.h"

namespace squarefield {

struct RunConfig {
  std::optional<std::int64_t> frames;  // Escape reads as pressed from this poll on
  std::optional<std::uint64_t> seed;   // a seeded generator and the virtual clock
  std::optional<double> fps;           // the pace, and the GIF's frame rate
  std::string trace, png, gif;         // output paths; empty: none
};

// Runs Form1 on `host` to its end; nothing when all went well.
std::optional<Failure> RunEffect(Host& host, const RunConfig& config);

}  // namespace squarefield
