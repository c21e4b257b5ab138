// The page's program: the effect on a web page's canvas, with the two options
// the page's address carries (?fps=N, ?seed=N; the page passes each as its
// name and value). The rest of the command line, its help and the file outputs
// belong to the full build; left out, the page loads in a fraction of the time.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "cli/report.h"
#include "cli/values.h"
#include "hosts/host.h"
#include "shell/run.h"

namespace squarefield {
namespace {

// A visitor can act on neither --help nor --headless.
constexpr Hints kPage = kNoHints;

int Main(int argc, char** argv) {
  RunConfig run;
  // Pairs of a parameter of the page's address and its value, told in those words.
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    std::optional<std::string> problem;
    if (name == "fps") {
      double fps = 0;
      problem = ReadFps(value, fps);
      run.fps = fps;
    } else if (name == "seed") {
      std::uint64_t seed = 0;
      problem = ReadSeed(value, seed);
      run.seed = seed;
    } else {
      problem = ": the page takes fps and seed only";
    }
    // The reading's own words start after the option's name.
    if (problem)
      return Report(Failure(Failure::Kind::BadOptions,
                            "the page's address, " + name + "=" + value + problem->substr(problem->find(':'))),
                    nullptr, kPage);
  }
  Opened opened = OpenDesktopHost(HostConfig{});
  std::unique_ptr<Host> host = std::move(opened.host);
  if (!host) return Report(Failure(Failure::Kind::NoDisplay, "cannot run here: " + opened.failure.message), nullptr, kPage);
  if (auto failure = RunForm(*host, run, Recording{})) return Report(*failure, host.get(), kPage);
  return kExitOk;
}

}  // namespace
}  // namespace squarefield

// The run yields to the page, so main has returned to the page long before the
// run ends: only exit carries the status.
int main(int argc, char** argv) { std::exit(squarefield::Main(argc, argv)); }
