#include "cli/report.h"

#include <cstdio>
#include <string>

#include "shell/stop.h"
#include "system/process.h"

namespace squarefield {

int StatusOf(Failure::Kind kind) {
  switch (kind) {
    case Failure::Kind::BadOptions:
    case Failure::Kind::NoDisplay:
      return kExitUsage;
    case Failure::Kind::RuntimeError:
    case Failure::Kind::Output:
    case Failure::Kind::OutOfMemory:
    case Failure::Kind::HostFailed:
      return kExitFailed;
    case Failure::Kind::Stopped:
      return 128 + StopSignal();  // as if the signal had ended it: nothing ran
  }
  return kExitFailed;
}

int Report(const Failure& failure, Host* host, Hints hints) {
  if (InWebPage()) hints = kNoHints;
  std::string told;
  for (std::size_t i = 0; i < failure.lines.size(); ++i) {
    std::string line = failure.lines[i];
    if (i == 0 && failure.kind == Failure::Kind::BadOptions && hints.help) line += " (see --help)";
    if (failure.kind == Failure::Kind::NoDisplay && hints.headless) line += "; try --headless";
    std::fprintf(stderr, "squarefield: %s\n", line.c_str());
    told += (told.empty() ? "" : "\n") + failure.lines[i];
  }
  if (host != nullptr) host->Tell(told);
  return StatusOf(failure.kind);
}

}  // namespace squarefield
