#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <iostream>

#include "app/program.h"
#include "cli/output_file.h"

namespace squarefield {

namespace {

// Largest framebuffer the headless screen will allocate: 256 MiB of pixels.
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;

// Decimal digits only: no sign, no spaces, no overflow.
bool ParseWhole(const std::string& text, std::uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

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

std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options) {
  CLI::App app{"squarefield: white squares fly outward from the centre of a black screen until Escape.",
               "squarefield"};
  app.set_version_flag("--version", std::string("squarefield ") + kVersion);
  app.add_flag("--headless", options.headless, "Draw into an in-memory screen instead of the desktop");
  std::string size;
  app.add_option("--size", size, "Headless screen size in pixels (default 1024x768)")->type_name("WxH");
  std::string frames, seed;
  app.add_option("--frames", frames, "Stop after N frames, as if Escape were pressed")->type_name("N");
  app.add_option("--seed", seed, "Seed the generator and use a virtual clock: repeatable runs")->type_name("N");
  app.add_flag("--window", options.window, "Run in a 1024x768 window instead of the full screen");
  app.add_option("--fps", options.fps,
                 "Cap the desktop frame rate at N per second (default: as fast as it goes); headless, the GIF's rate "
                 "(default 50)")
      ->check(CLI::Range(0.1, 10000.0).description(""))
      ->type_name("N");
  app.add_option("--trace", options.trace, "Log every platform call to FILE, one per line")->type_name("FILE");
  app.add_option("--png", options.png, "Save the screen after the last frame as a PNG image (with --headless)")->type_name("FILE");
  std::string footer = "Escape ends the effect; so do closing the window, SIGINT and SIGTERM.\n"
                       "Exit status: 0 when ended so, 1 after a runtime error, 2 for bad options or no display.";
#ifdef SQUAREFIELD_HAS_GIF
  app.add_option("--gif", options.gif, "Save every frame as a looping animated GIF (with --headless)")
      ->type_name("FILE");
#else
  footer += "\nThis build has no GIF export (--gif).";
#endif
  app.footer(footer);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "squarefield: " << e.what() << " (see --help)\n";
    return kExitUsage;
  }

  auto fail = [](const std::string& message) {
    std::cerr << "squarefield: " << message << " (see --help)\n";
    return kExitUsage;
  };
  if (!size.empty()) {
    if (!ParseSize(size, options.width, options.height))
      return fail("--size: '" + size + "' is not a size WxH from 1x1 to 65535x65535");
    if (!options.gif.empty() && (options.width > 65535 || options.height > 65535))
      return fail("--size: a GIF is at most 65535 pixels on a side");
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
    if (!ParseWhole(seed, number)) return fail("--seed: '" + seed + "' is not a whole number from 0 to 2^64-1");
    options.seed = number;
  }
  if (options.headless && options.window) return fail("--window: not with --headless");
  if (!options.headless) {
    for (const auto& [name, value] : {std::pair{"--png", &options.png}, {"--size", &size}, {"--gif", &options.gif}})
      if (!value->empty()) return fail(std::string(name) + ": only with --headless");
  }
  for (const auto& [name, path] :
       {std::pair{"--trace", &options.trace}, {"--png", &options.png}, {"--gif", &options.gif}}) {
    if (path->empty()) continue;
    std::string problem;
    if (!CanWrite(*path, problem)) return fail(std::string(name) + ": cannot write '" + *path + "': " + problem);
  }
  return std::nullopt;
}

}  // namespace squarefield
