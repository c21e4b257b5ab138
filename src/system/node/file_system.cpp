// Under node the module's file system holds files and folders only: a pipe or
// a device there would quietly become a file.
#include <emscripten.h>

#include "system/files.h"

// The JavaScript inside EM_ASM names its arguments $0, $1, ...
#pragma clang diagnostic ignored "-Wdollar-in-identifier-extension"

namespace squarefield {

std::optional<std::string> OutputRefusal(const std::string& path) {
  // 0: fine; 1: a device, pipe or socket; 2: the module's own /dev, /proc or /sys.
  const int kind = EM_ASM_INT(
      {
        if (typeof process != "object" || typeof NODEFS != "object") return 0;
        const path = UTF8ToString($0);
        if (path == "/dev/null") return 0;
        for (const top of [ "/dev", "/proc", "/sys" ])
          if (path == top || path.startsWith(top + "/")) return 2;
        try {
          const st = require("fs").statSync(path);
          return st.isFile() || st.isDirectory() ? 0 : 1;
        } catch (e) {
          return 0;
        }
      },
      path.c_str());
  if (kind == 0) return std::nullopt;
  return std::string("the node build writes to files, standard output and /dev/null only, not to ") +
         (kind == 1 ? "a pipe or a device" : "the system's devices");
}

}  // namespace squarefield
