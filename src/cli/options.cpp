#include "cli/options.h"
#include "cli/values.h"

#include <algorithm>
#include <CLI/CLI.hpp>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "app/program.h"
#include "shell/output_file.h"
#include "shell/stop.h"

namespace squarefield {

namespace {

// Another program's window and the screensaver mode are X11's and Wayland's:
// other builds neither list nor take them.
#ifdef SQUAREFIELD_X11_OPTIONS
constexpr bool kLinuxDesktopOptions = true;
#else
constexpr bool kLinuxDesktopOptions = false;
#endif

// Largest framebuffer the headless screen will allocate: 256 MiB of pixels.
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;

bool ParseSize(const std::string& text, int& width, int& height) {
  const auto x = text.find('x');
  if (x == std::string::npos || x == 0 || x + 1 == text.size()) return false;
  std::uint64_t w = 0, h = 0;
  if (!ParseWhole(text.substr(0, x), w) || !ParseWhole(text.substr(x + 1), h)) return false;
  if (w < 1 || h < 1 || w > 65535 || h > 65535) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

}  // namespace

bool ParseWindowId(const std::string& text, std::uint64_t& id) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (text.size() > 18) return false;
    id = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) return false;
      id = id * 16 + static_cast<std::uint64_t>(digit);
    }
  } else if (!ParseWhole(text, id)) {
    return false;
  }
  // X11 ids are 29 bits wide, and never 0.
  return id != 0 && id < (std::uint64_t{1} << 32);
}

std::optional<Failure> ParseOptions(int argc, const char* const* argv, Options& options) {
  CLI::App app{"squarefield: white squares fly outward from the centre of a black screen until Escape.",
               "squarefield"};
  app.set_version_flag("--version", std::string("squarefield ") + kVersion);
  app.add_flag("--headless", options.headless, "Draw into an in-memory screen instead of the desktop");
  std::string size, frames, seed, fps;
  app.add_option("--size", size,
                 "Headless screen size in pixels (default 1024x768): each side 1 to 65535, 67108864 pixels at most; "
                 "a width above 32767 overflows the effect's 16-bit spawn distance (run-time error 6)")
      ->type_name("WxH");
  app.add_option("--frames", frames, "Stop after N frames, as if Escape were pressed")->type_name("N");
  app.add_option("--seed", seed, "Seed the generator and use a virtual clock: repeatable runs")->type_name("N");
  app.add_flag("--window", options.window, "Run in a 1024x768 window instead of the full screen");
  app.add_option("--fps", fps,
                 "Cap the desktop frame rate at N per second, 0.1 to 10000, or 0 for no cap (default: no cap; "
                 "60 in another program's window); headless, the GIF's rate (default 50)")
      ->type_name("N");
  std::string window_id;
  const std::string linux_only = kLinuxDesktopOptions ? "Options" : "";  // an empty group: not in --help
  app.add_option("--window-id", window_id,
                 "Draw into the X11 window ID (decimal or 0x hex), e.g. a screensaver's; its owner keeps the "
                 "cursor, keys and size; a window larger than the screen gets a field the screen's size")
      ->type_name("ID")
      ->group(linux_only);
  app.add_flag("--saver", options.saver,
               "Run as a screensaver (for an idle daemon): full screen on every output, and any key, button or "
               "move of the mouse ends it")
      ->group(linux_only);
  app.add_flag("--wallpaper", options.wallpaper,
               "Be the desktop's background: the field on every output below every window, taking no input "
               "(Wayland compositors with a layer shell; X11); ends on SIGTERM or SIGINT")
      ->group(linux_only);
  app.add_flag("--root", options.root,
               "Draw into the root window, or the screensaver daemon's window (XSCREENSAVER_WINDOW) when set")
      ->group(linux_only);
  app.add_option("--trace", options.trace, "Log every platform call to FILE ('-': standard output)")
      ->type_name("FILE");
  app.add_option("--png", options.png, "Save the screen after the last frame as a PNG image (with --headless)")
      ->type_name("FILE");
  std::string footer =
      "Escape ends the effect; so do closing the window, " + std::string(kStopEvents) + " (a second one ends it at once).\n"
      "Exit status: 0 when ended so, 1 after a runtime error or an output that could not be written,\n"
      "2 for bad options or no display.";
#ifdef SQUAREFIELD_HAS_GIF
  app.add_option("--gif", options.gif, "Save every frame as a looping animated GIF (with --headless)")
      ->type_name("FILE");
#else
  footer += "\nThis build has no GIF export (--gif).";
#endif
  app.footer(footer);

  // Said in the user's words rather than the parser's: an option given twice,
  // and an argument that is no option (after "--" too).
  std::vector<std::string> seen;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      return Failure(Failure::Kind::BadOptions,
                     i + 1 < argc ? "'" + std::string(argv[i + 1]) + "' is not an option" : std::string("'--' is not an option"));
    }
    if (arg.rfind("--", 0) != 0) continue;
    const std::string name = arg.substr(0, arg.find('='));
    static const std::string kFlags[] = {"--headless", "--window", "--root", "--saver", "--wallpaper"};
    static const std::string kValued[] = {"--size", "--frames", "--seed", "--fps", "--window-id", "--trace", "--png", "--gif"};
    const bool flag = std::find(std::begin(kFlags), std::end(kFlags), name) != std::end(kFlags);
    const bool valued = std::find(std::begin(kValued), std::end(kValued), name) != std::end(kValued);
    if (!flag && !valued) continue;  // the parser names what it does not know
    if (std::find(seen.begin(), seen.end(), name) != seen.end())
      return Failure(Failure::Kind::BadOptions, name + " is given twice");
    seen.push_back(name);
    if (valued && arg.find('=') == std::string::npos) ++i;  // its value, whatever it looks like
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    options.done = true;
    app.exit(e);
    return std::nullopt;
  } catch (const CLI::CallForVersion& e) {
    options.done = true;
    app.exit(e);
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    return Failure(Failure::Kind::BadOptions, std::string(e.what()));
  }

  auto fail = [](const std::string& message) { return Failure(Failure::Kind::BadOptions, message); };
  // An option given with an empty value is a mistake, not "not given".
  for (const char* name : {"--size", "--frames", "--seed", "--fps", "--trace", "--png", "--gif", "--window-id"}) {
    if (app.get_option_no_throw(name) == nullptr || app.count(name) == 0) continue;
    const auto values = app.get_option(name)->results();
    if (values.empty() || values.back().empty()) return fail(std::string(name) + ": needs a value");
  }
  if (!size.empty()) {
    if (!ParseSize(size, options.width, options.height))
      return fail("--size: '" + size + "' is not a size WxH from 1x1 to 65535x65535");
    if (std::int64_t{options.width} * options.height > kMaxPixels)
      return fail("--size: '" + size + "' is larger than the 67108864 pixels allowed");
  }
  std::uint64_t number = 0;
  if (!frames.empty()) {
    if (!ParseWhole(frames, number) || number < 1 || number > INT64_MAX)
      return fail("--frames: '" + frames + "' is not a whole number of at least 1");
    options.frames = static_cast<std::int64_t>(number);
  }
  if (!seed.empty()) {
    if (auto problem = ReadSeed(seed, number)) return fail(*problem);
    options.seed = number;
  }
  if (!fps.empty()) {
    double rate = 0;
    if (auto problem = ReadFps(fps, rate)) return fail(*problem);
    options.fps = rate;
  }
  if (!window_id.empty()) {
    if (!ParseWindowId(window_id, number)) return fail("--window-id: '" + window_id + "' is not a window id");
    options.window_id = number;
  }
  if (options.window_id && options.root) return fail("--root: not with --window-id");
  if (options.headless && (options.window_id || options.root))
    return fail(std::string(options.root ? "--root" : "--window-id") + ": not with --headless");
  if (options.window && (options.window_id || options.root))
    return fail(std::string(options.root ? "--root" : "--window-id") + ": not with --window");
  if (options.headless && options.window) return fail("--window: not with --headless");
  // A screensaver and a background are every output, shown: nothing that says otherwise.
  for (const auto& [mode, on] : {std::pair{"--saver", options.saver}, {"--wallpaper", options.wallpaper}}) {
    if (!on) continue;
    for (const auto& [name, given] : {std::pair{"--headless", options.headless}, {"--window", options.window},
                                      {"--window-id", options.window_id.has_value()}, {"--root", options.root},
                                      {"--saver", options.saver && options.wallpaper}})
      if (given && name != std::string(mode)) return fail(std::string(mode) + ": not with " + name);
  }
  if (!kLinuxDesktopOptions)
    for (const auto& [name, given] : {std::pair{"--window-id", options.window_id.has_value()}, {"--root", options.root},
                                      {"--saver", options.saver}, {"--wallpaper", options.wallpaper}})
      if (given) return fail(std::string(name) + ": on Linux only (X11 and Wayland), not in this build");
  if (!options.headless) {
    for (const auto& [name, value] : {std::pair{"--png", &options.png}, {"--size", &size}, {"--gif", &options.gif}})
      if (!value->empty()) return fail(std::string(name) + ": only with --headless");
  }
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--trace", &options.trace}, {"--png", &options.png}, {"--gif", &options.gif}};
  for (std::size_t i = 0; i < std::size(outputs); ++i) {
    const auto& [name, path] = outputs[i];
    if (path->empty()) continue;
    // An option's name taken as a file name is a slip; a real one can be written ./-name.
    if (path->size() > 1 && (*path)[0] == '-')
      return fail(std::string(name) + ": '" + *path + "' is not a file name (for a file of that name, write ./" +
                  *path + ")");
    std::string problem;
    if (!CanWrite(*path, problem)) return fail(std::string(name) + ": cannot write '" + *path + "': " + problem);
    for (std::size_t j = 0; j < i; ++j)
      if (!outputs[j].second->empty() && SameOutput(*outputs[j].second, *path))
        return fail(std::string(name) + ": '" + *path + "' is also the " + outputs[j].first + " output");
  }
  return std::nullopt;
}

}  // namespace squarefield
