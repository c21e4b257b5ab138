// The command line: what the user asked for, checked before anything runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "hosts/host.h"
#include "runtime/failure.h"
#include "shell/outputs.h"

namespace squarefield {

struct Options {
  bool headless = false;
  bool window = false;  // a window instead of the full screen
  int width = kWindowWidth;
  int height = kWindowHeight;
  std::optional<std::int64_t> frames;
  std::optional<std::uint64_t> seed;
  std::optional<double> fps;                  // 0: unpaced
  std::optional<std::uint64_t> window_id;     // draw into this X11 window
  bool root = false;                          // draw into the root window (or XSCREENSAVER_WINDOW)
  bool saver = false;                         // a screensaver: every output, any input ends it
  bool wallpaper = false;                     // the desktop's background: below every window, no input
  OutputPaths outputs;                        // --trace, --png, --gif: the outputs' table
  bool done = false;  // --help or --version was answered: nothing more to do
};

// An X11 window id, decimal or 0x hex (as --window-id and XSCREENSAVER_WINDOW give it).
bool ParseWindowId(const std::string& text, std::uint64_t& id);

// Parses argv into `options`; a failure names the option at fault.
std::optional<Failure> ParseOptions(int argc, const char* const* argv, Options& options);

}  // namespace squarefield
