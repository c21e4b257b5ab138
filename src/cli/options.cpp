#include "cli/options.h"
#include "cli/values.h"

#include <algorithm>
#include <CLI/CLI.hpp>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "app/program.h"
#include "shell/output_file.h"
#include "shell/stop.h"

namespace squarefield {

namespace {

// Another program's window and the screensaver mode are X11's and Wayland's:
// other builds neither list nor take them.
#ifdef SQUAREFIELD_LINUX_DESKTOP_OPTIONS
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

namespace {

// The options besides the outputs (theirs are in the outputs' table).
const std::string kFlags[] = {"--headless", "--window", "--root", "--saver", "--wallpaper"};
const std::string kValued[] = {"--size", "--frames", "--seed", "--fps", "--window-id"};

// The values still as the user wrote them, read once the parser has them.
struct Texts {
  std::string size, frames, seed, fps, window_id;
};

Failure Bad(const std::string& message) { return Failure(Failure::Kind::BadOptions, message); }

// Each paragraph of `text` in lines of at most `width` characters, broken between words.
std::string Wrap(const std::string& text, std::size_t width) {
  std::string out;
  std::istringstream paragraphs(text);
  for (std::string paragraph; std::getline(paragraphs, paragraph);) {
    std::istringstream words(paragraph);
    std::string line;
    for (std::string word; words >> word;) {
      if (!line.empty() && line.size() + 1 + word.size() > width) {
        out += line + '\n';
        line.clear();
      }
      line += (line.empty() ? "" : " ") + word;
    }
    out += line + '\n';
  }
  if (!out.empty()) out.pop_back();
  return out;
}

// Help that fits an 80-column console: descriptions wrapped beside their options.
class WrappingFormatter : public CLI::Formatter {
 public:
  std::string make_option_desc(const CLI::Option* option) const override {
    return Wrap(option->get_description(), 79 - get_column_width());
  }
};

// The options, their help and where the parser puts what it reads.
void Describe(CLI::App& app, Options& options, Texts& texts) {
  app.set_version_flag("--version", std::string("squarefield ") + kVersion);
  app.add_flag("--headless", options.headless, "Draw into an in-memory screen instead of the desktop");
  app.add_option("--size", texts.size,
                 "Headless screen size in pixels (default 1024x768): each side 1 to 65535, 67108864 pixels at most; "
                 "a width above 32767 overflows the effect's 16-bit spawn distance (run-time error 6)")
      ->type_name("WxH");
  app.add_option("--frames", texts.frames, "Stop after N frames, as if Escape were pressed")->type_name("N");
  app.add_option("--seed", texts.seed, "Seed the generator and use a virtual clock: repeatable runs")->type_name("N");
  app.add_flag("--window", options.window, "Run in a 1024x768 window instead of the full screen");
  app.add_option("--fps", texts.fps,
                 "Cap the desktop frame rate at N per second, 0.1 to 10000, or 0 for no cap (default: no cap; "
                 "60 in another program's window); headless, the GIF's rate (default 50)")
      ->type_name("N");
  const std::string linux_only = kLinuxDesktopOptions ? "Options" : "";  // an empty group: not in --help
  app.add_option("--window-id", texts.window_id,
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
  std::string footer =
      "Escape ends the effect; so do closing the window, " + std::string(kStopEvents) + " (a second one ends it at once).\n"
      "Exit status: 0 when ended so, 1 after a runtime error or an output that could not be written, "
      "2 for bad options or no display.";
  for (const OutputLine& output : OutputKindsTable()) {
    if (output.built)
      app.add_option(output.option, options.outputs[output.kind], output.help)->type_name("FILE");
    else
      footer += std::string("\nThis build has no ") + output.name + " export (" + output.option + ").";
  }
  if (*kConsoleNote != '\0') footer += std::string("\n") + kConsoleNote;
  app.footer(Wrap(footer, 79));
  app.formatter(std::make_shared<WrappingFormatter>());

}

std::optional<Failure> RefuseRepeats(int argc, const char* const* argv) {
  // Said in the user's words rather than the parser's: an option given twice,
  // and an argument that is no option (after "--" too).
  std::vector<std::string> seen;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      return Bad(i + 1 < argc ? "'" + std::string(argv[i + 1]) + "' is not an option" : std::string("'--' is not an option"));
    }
    if (arg.rfind("--", 0) != 0) continue;
    const std::string name = arg.substr(0, arg.find('='));
    const bool flag = std::find(std::begin(kFlags), std::end(kFlags), name) != std::end(kFlags);
    const bool valued = std::find(std::begin(kValued), std::end(kValued), name) != std::end(kValued) ||
                        std::any_of(OutputKindsTable().begin(), OutputKindsTable().end(),
                                    [&](const OutputLine& output) { return name == output.option; });
    if (!flag && !valued) continue;  // the parser names what it does not know
    if (std::find(seen.begin(), seen.end(), name) != seen.end())
      return Bad(name + " is given twice");
    seen.push_back(name);
    if (valued && arg.find('=') == std::string::npos) ++i;  // its value, whatever it looks like
  }
  return std::nullopt;
}

std::optional<Failure> ReadValues(const CLI::App& app, const Texts& texts, Options& options) {
  // An option given with an empty value is a mistake, not "not given".
  std::vector<std::string> valued(std::begin(kValued), std::end(kValued));
  for (const OutputLine& output : OutputKindsTable()) valued.emplace_back(output.option);
  for (const std::string& name : valued) {
    if (app.get_option_no_throw(name) == nullptr || app.count(name) == 0) continue;
    const auto values = app.get_option(name)->results();
    if (values.empty() || values.back().empty()) return Bad(name + ": needs a value");
  }
  if (!texts.size.empty()) {
    if (!ParseSize(texts.size, options.width, options.height))
      return Bad("--size: '" + texts.size + "' is not a size WxH from 1x1 to 65535x65535");
    if (std::int64_t{options.width} * options.height > kMaxPixels)
      return Bad("--size: '" + texts.size + "' is larger than the 67108864 pixels allowed");
  }
  std::uint64_t number = 0;
  if (!texts.frames.empty()) {
    const bool digits = std::all_of(texts.frames.begin(), texts.frames.end(), [](char c) { return c >= '0' && c <= '9'; });
    const bool parsed = ParseWhole(texts.frames, number);
    if (digits && (!parsed || number > INT64_MAX) && texts.frames.find_first_not_of('0') != std::string::npos)
      return Bad("--frames: '" + texts.frames + "' is too large (at most 9223372036854775807)");
    if (!parsed || number < 1 || number > INT64_MAX)
      return Bad("--frames: '" + texts.frames + "' is not a whole number of at least 1");
    options.frames = static_cast<std::int64_t>(number);
  }
  if (!texts.seed.empty()) {
    if (auto problem = ReadSeed(texts.seed, number)) return Bad(*problem);
    options.seed = number;
  }
  if (!texts.fps.empty()) {
    double rate = 0;
    if (auto problem = ReadFps(texts.fps, rate)) return Bad(*problem);
    options.fps = rate;
  }
  if (!texts.window_id.empty()) {
    if (!ParseWindowId(texts.window_id, number)) return Bad("--window-id: '" + texts.window_id + "' is not a window id");
    options.window_id = number;
  }
  return std::nullopt;
}

std::optional<Failure> RefuseConflicts(const Texts& texts, const Options& options) {
  if (options.window_id && options.root) return Bad("--root: not with --window-id");
  if (options.headless && (options.window_id || options.root))
    return Bad(std::string(options.root ? "--root" : "--window-id") + ": not with --headless");
  if (options.window && (options.window_id || options.root))
    return Bad(std::string(options.root ? "--root" : "--window-id") + ": not with --window");
  if (options.headless && options.window) return Bad("--window: not with --headless");
  // A screensaver and a background are every output, shown: nothing that says otherwise.
  for (const auto& [mode, on] : {std::pair{"--saver", options.saver}, {"--wallpaper", options.wallpaper}}) {
    if (!on) continue;
    for (const auto& [name, given] : {std::pair{"--headless", options.headless}, {"--window", options.window},
                                      {"--window-id", options.window_id.has_value()}, {"--root", options.root},
                                      {"--saver", options.saver && options.wallpaper}})
      if (given && name != std::string(mode)) return Bad(std::string(mode) + ": not with " + name);
  }
  if (!kLinuxDesktopOptions)
    for (const auto& [name, given] : {std::pair{"--window-id", options.window_id.has_value()}, {"--root", options.root},
                                      {"--saver", options.saver}, {"--wallpaper", options.wallpaper}})
      if (given) return Bad(std::string(name) + ": on Linux only (X11 and Wayland), not in this build");
  if (!options.headless) {
    for (const OutputLine& output : OutputKindsTable())
      if (output.headless_only && !options.outputs[output.kind].empty())
        return Bad(std::string(output.option) + ": only with --headless");
    if (!texts.size.empty()) return Bad("--size: only with --headless");
  }
  return std::nullopt;
}

// Each output writable, and no file named for two of them.
std::optional<Failure> CheckOutputs(const Options& options) {
  const std::span<const OutputLine> outputs = OutputKindsTable();
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const char* name = outputs[i].option;
    const std::string* path = &options.outputs[outputs[i].kind];
    if (path->empty()) continue;
    // An option's name taken as a file name is a slip; a real one can be written ./-name.
    const std::string shown = ShownName(*path, true);
    if (path->size() > 1 && (*path)[0] == '-')
      return Bad(std::string(name) + ": " + shown + " is not a file name (for a file of that name, write ./" +
                 ShownName(*path, false) + ")");
    std::string problem;
    if (!CanWrite(*path, problem)) return Bad(std::string(name) + ": cannot write " + shown + ": " + problem);
    for (std::size_t j = 0; j < i; ++j) {
      const std::string& other = options.outputs[outputs[j].kind];
      if (!other.empty() && SameOutput(other, *path))
        return Bad(std::string(name) + ": " + shown + " is also the " + outputs[j].option + " output");
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<Failure> ParseOptions(int argc, const char* const* argv, Options& options) {
  CLI::App app{"squarefield: white squares fly outward from the centre of a black screen\nuntil Escape.",
               "squarefield"};
  Texts texts;
  Describe(app, options, texts);
  if (auto failure = RefuseRepeats(argc, argv)) return failure;
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
    return Bad(std::string(e.what()));
  }

  if (auto failure = ReadValues(app, texts, options)) return failure;
  if (auto failure = RefuseConflicts(texts, options)) return failure;
  return CheckOutputs(options);
}

}  // namespace squarefield
