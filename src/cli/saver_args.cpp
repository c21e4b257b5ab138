#include "cli/saver_args.h"
#include "cli/values.h"

#include <cctype>
#include <cstdint>

namespace squarefield {

namespace {

// A window handle: a whole number, not 0, below 2^64 (past it: not some other handle).
bool ParseHandle(const std::string& text, std::uint64_t& value) { return ParseWhole(text, value) && value != 0; }

}  // namespace

SaverArgs ParseSaverArgs(int argc, const char* const* argv, bool named_scr) {
  SaverArgs args;
  if (argc < 2) {
    if (named_scr) args.mode = SaverArgs::Mode::Settings;
    return args;
  }
  const std::string first = argv[1];
  if (first.size() < 2 || (first[0] != '/' && first[0] != '-') || first[1] == '-') return args;
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(first[1])));
  std::string rest = first.substr(2);
  // "/p:1234", and "/p 1234" passed as one argument (as a shortcut's line may).
  if (!rest.empty() && (rest[0] == ':' || rest[0] == ' ')) rest.erase(0, rest.find_first_not_of(": "));
  switch (letter) {
    case 's':
      if (!rest.empty()) return args;
      args.mode = SaverArgs::Mode::Full;
      return args;
    case 'c':
      args.mode = SaverArgs::Mode::Settings;
      if (std::uint64_t owner = 0; ParseHandle(rest, owner)) args.window = owner;
      return args;
    case 'p': {
      args.mode = SaverArgs::Mode::Preview;
      if (rest.empty() && argc > 2) rest = argv[2];
      std::uint64_t parent = 0;
      if (ParseHandle(rest, parent))
        args.window = parent;
      else
        args.problem = "/p: '" + rest + "' is not a window handle";
      return args;
    }
    default:
      return args;
  }
}

}  // namespace squarefield
