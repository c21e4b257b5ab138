// A system's own file system: every output it can name, it can hold.
#include "system/files.h"

namespace squarefield {

std::optional<std::string> OutputRefusal(const std::string&) { return std::nullopt; }

}  // namespace squarefield
