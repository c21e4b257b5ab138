// squarefield: white squares fly outward from the centre of a black screen,
// speeding up and growing, until Escape. This reads the command line, picks
// the host, runs the effect, and alone turns a failure into an exit status.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif
#include <cstring>
#include <iostream>
#include <new>

#include "cli/options.h"
#include "cli/saver_args.h"
#include "platform/host.h"
#include "shell/run.h"
#include "shell/stop.h"
#ifdef _WIN32
#include <string>
#include <vector>
#include "platform/win32/lean_windows.h"
#include <shellapi.h>
#include "platform/win32/saver.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace squarefield {
namespace {

enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,  // a runtime error, an output not written, out of memory
  kExitUsage = 2,   // bad options, or no display to run on
};

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

// Whoever started the program can act on "see --help" and "try --headless":
// not so for a screensaver's host, a daemon's environment or a web page.
struct Hints {
  bool help = true;
  bool headless = true;
  bool daemon = false;  // in a screensaver daemon's window
};

bool InPage() {
#ifdef __EMSCRIPTEN__
  return EM_ASM_INT({ return typeof document != "undefined"; }) != 0;
#else
  return false;
#endif
}

int Report(const Failure& failure, Host* host, Hints hints = {}) {
  if (InPage()) hints = Hints{false, false};
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

// Opens the host and runs the effect on it; every run, desktop or not, ends here.
int RunOn(bool headless, HostConfig config, const RunConfig& run, Hints hints = {}) {
  config.fatal = Fatal;
  std::unique_ptr<Host> host;
  if (headless) {
    host = OpenHeadlessHost(config);
  } else {
    std::string why;
    host = OpenDesktopHost(config, why);
    // A guest in someone else's window wants that window, not an image.
    if (config.into_window || config.into_root || config.saver || config.wallpaper) hints.headless = false;
    // The daemon's window gone before we opened it is its normal shut-down (a
    // quick activate and deactivate), as its going away later would be.
    if (!host && hints.daemon && why.starts_with(kNoSuchWindow)) return kExitOk;
    if (!host) return Report(Failure(Failure::Kind::NoDisplay, "cannot run on the desktop: " + why), nullptr, hints);
  }
  if (auto failure = RunEffect(*host, run)) return Report(*failure, host.get(), hints);
  return kExitOk;
}

#ifdef _WIN32
// Run as Windows runs a screensaver: the same effect, the user's frame rate,
// and on /s any input ends it.
int RunSaver(const SaverArgs& args) {
  const Hints none{false, false};  // Windows started it, with arguments of its own
  if (!args.problem.empty()) return Report(Failure(Failure::Kind::BadOptions, args.problem), nullptr, none);
  if (args.mode == SaverArgs::Mode::Settings) {
    ShowSaverSettings(args.window);
    return kExitOk;
  }
  // One full-screen saver at a time: Windows may start another while one runs.
  if (args.mode == SaverArgs::Mode::Full && !ClaimSaverInstance()) return kExitOk;
  HostConfig config;
  config.saver = args.mode == SaverArgs::Mode::Full;
  config.into_window = args.mode == SaverArgs::Mode::Preview ? args.window : std::nullopt;
  RunConfig run;
  run.fps = ReadSaverFps();
  return RunOn(false, config, run, none);
}
#endif

#ifndef _WIN32
// Descriptors 0, 1 and 2 are always open: a closed one would otherwise be the
// next file opened (the display's connection, an output), and writes meant for
// standard output would land there. Read-only, so writing to a closed standard
// output stays a write error rather than vanishing.
void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}
#endif

int Main(int argc, char** argv) {
#ifndef _WIN32
  OpenStandardDescriptors();
#endif
  // Before any output is opened: a stop that comes early still ends cleanly.
  InstallStopHandlers();
  PrepareConsole();
#ifdef _WIN32
  const SaverArgs saver = ParseSaverArgs(argc, argv, RunningAsScr());
  if (saver.mode != SaverArgs::Mode::None) return RunSaver(saver);
#endif
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
                      nullptr, Hints{false, false});
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
               RunConfig{options.frames, options.seed, fps, options.trace, options.png, options.gif},
               Hints{true, true, in_daemon});
}

}  // namespace
}  // namespace squarefield

int main(int argc, char** argv) {
#ifdef _WIN32
  // The command line as Windows has it, in UTF-16, taken as UTF-8 from here on:
  // argv is in the ANSI code page, where café, Ωmega or 日本 do not survive.
  std::vector<std::string> utf8;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc)) {
    for (int i = 0; i < argc; ++i) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      std::string arg(n > 0 ? n - 1 : 0, '\0');
      if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
      utf8.push_back(std::move(arg));
    }
    LocalFree(wide);
  }
  std::vector<char*> pointers;
  for (auto& arg : utf8) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  if (!utf8.empty()) argv = pointers.data();
#endif
  int status;
  try {
    status = squarefield::Main(argc, argv);
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
#ifdef __EMSCRIPTEN__
  // A run that yielded to node or the page returns from main after the module
  // has already reported its start as done; only exit carries the status.
  std::exit(status);
#else
  return status;
#endif
}
