// The arguments Windows gives a screensaver (an .scr): /s to run full screen,
// /p HWND to draw a preview inside that window, /c[:HWND] (or nothing, for an
// .scr) to show the settings. Case-insensitive, '/' or '-', and the handle as
// "/p 1234", "/p:1234" or "/p1234".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace squarefield {

struct SaverArgs {
  enum class Mode { None, Full, Preview, Settings };
  Mode mode = Mode::None;              // None: not a screensaver's command line
  std::optional<std::uint64_t> window;  // the preview's parent, or the settings' owner
  std::string problem;                  // set when the arguments are a screensaver's but wrong
};

// `named_scr`: the program file's name ends in .scr, where no argument at all means the settings.
SaverArgs ParseSaverArgs(int argc, const char* const* argv, bool named_scr);

}  // namespace squarefield
