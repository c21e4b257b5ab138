// squarefield: white squares fly outward from the centre of a black screen,
// speeding up and growing, until Escape. This reads the command line, picks
// the host, runs the effect, and alone turns a failure into an exit status.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/report.h"
#include "cli/saver_args.h"
#include "hosts/host.h"
#include "shell/run.h"
#include "shell/stop.h"
#include "system/process.h"

namespace squarefield {
namespace {

// Opens the host and runs the effect on it; every run, desktop or not, ends here.
int RunOn(bool headless, HostConfig config, const RunConfig& run, Hints hints = {}) {
  config.fatal = Fatal;
  std::unique_ptr<Host> host;
  if (headless) {
    host = OpenHeadlessHost(config);
  } else {
    Opened opened = OpenDesktopHost(config);
    host = std::move(opened.host);
    // A guest in someone else's window wants that window, not an image.
    if (config.into_window || config.into_root || config.saver || config.wallpaper) hints.headless = false;
    // The daemon's window gone before we opened it is its normal shut-down (a
    // quick activate and deactivate), as its going away later would be.
    if (!host && hints.daemon && opened.failure.kind == OpenFailure::Kind::NoSuchWindow) return kExitOk;
    if (!host)
      return Report(Failure(Failure::Kind::NoDisplay, "cannot run on the desktop: " + opened.failure.message), nullptr,
                    hints);
  }
  if (auto failure = RunEffect(*host, run)) return Report(*failure, host.get(), hints);
  return kExitOk;
}

// Run as the system runs a screensaver: the same effect, the user's frame
// rate, and on /s any input ends it.
int RunSaver(const SaverArgs& args) {
  const Hints none = kNoHints;  // the system started it, with arguments of its own
  if (!args.problem.empty()) return Report(Failure(Failure::Kind::BadOptions, args.problem), nullptr, none);
  if (args.mode == SaverArgs::Mode::Settings) {
    ShowScreensaverSettings(args.window);
    return kExitOk;
  }
  // One full-screen saver at a time: the system may start another while one runs.
  if (args.mode == SaverArgs::Mode::Full && !ClaimScreensaver()) return kExitOk;
  HostConfig config;
  config.saver = args.mode == SaverArgs::Mode::Full;
  config.into_window = args.mode == SaverArgs::Mode::Preview ? args.window : std::nullopt;
  RunConfig run;
  run.fps = ScreensaverFps();
  return RunOn(false, config, run, none);
}

int Main(int argc, const char* const* argv) {
  OpenStandardStreams();
  // Before any output is opened: a stop that comes early still ends cleanly.
  InstallStopHandlers();
  PrepareConsole();
  if (const SystemScreensaver system = ThisSystemsScreensaver(); system.exists) {
    const SaverArgs saver = ParseSaverArgs(argc, argv, system.started_as_one);
    if (saver.mode != SaverArgs::Mode::None) return RunSaver(saver);
  }
  Options options;
  if (auto failure = ParseOptions(argc, argv, options)) return Report(*failure, nullptr);
  if (options.done) return kExitOk;

  HostConfig config;
  config.windowed = options.window;
  config.width = options.width;
  config.height = options.height;
  config.into_window = options.window_id;
  config.saver = options.saver;
  config.wallpaper = options.wallpaper;
  bool in_daemon = false;
  if (options.root) {
    // Under the screensaver daemon the screen is its window, named here.
    if (const char* daemon = std::getenv("XSCREENSAVER_WINDOW")) {
      std::uint64_t id = 0;
      if (!ParseWindowId(daemon, id))
        return Report(Failure(Failure::Kind::BadOptions, std::string("XSCREENSAVER_WINDOW: '") + daemon +
                                                              "' is not a window id"),
                      nullptr, kNoHints);
      config.into_window = id;
      in_daemon = true;
    } else {
      config.into_root = true;
    }
  }
  // In another program's window (a screensaver) the effect is a guest, and a
  // screensaver runs for hours: a calm 60 frames per second unless asked otherwise.
  std::optional<double> fps = options.fps;
  if ((config.into_window || config.into_root || config.saver || config.wallpaper) && !fps) fps = 60;
  return RunOn(options.headless, config,
               RunConfig{.frames = options.frames, .seed = options.seed, .fps = fps, .outputs = options.outputs},
               Hints{.daemon = in_daemon});
}

}  // namespace
}  // namespace squarefield

int main(int argc, char** argv) {
  const std::vector<std::string> args = squarefield::CommandLine(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& arg : args) pointers.push_back(arg.c_str());
  pointers.push_back(nullptr);
  int status;
  try {
    status = squarefield::Main(static_cast<int>(args.size()), pointers.data());
  } catch (const std::bad_alloc&) {
    // Unwound: every temporary output is gone by now.
    std::fputs("squarefield: out of memory\n", stderr);
    return 1;
  }
  // Help, the version or a trace on standard output that never arrived is a failure too.
  // (Once only: an output on standard output that failed was reported already.)
  if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status == 0) {
    std::fprintf(stderr, "squarefield: standard output: %s\n", std::strerror(errno ? errno : EIO));
    return 1;
  }
  return squarefield::ExitWith(status);
}
