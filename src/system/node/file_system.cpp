// Under node the module's file system holds files and folders only: a pipe or
// a device there would quietly become a file.
#include <emscripten.h>
#include <sys/stat.h>

#include "system/files.h"
#include "system/process.h"

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

void PrepareConsole() {
  // Under node, paths are the machine's own: each top-level folder of the real
  // file system is mounted at its own name (the module keeps its /dev), and the
  // working folder is the one node was started in.
  EM_ASM({
    if (typeof process != "object" || typeof FS != "object" || typeof NODEFS != "object") return;
    const fs = require("fs");
    for (const name of fs.readdirSync("/")) {
      if (name == "dev" || name == "proc" || name == "sys") continue;
      try {
        if (!fs.statSync("/" + name).isDirectory()) continue;
        if (!FS.analyzePath("/" + name).exists) FS.mkdir("/" + name);
        FS.mount(NODEFS, {root : "/" + name}, "/" + name);
      } catch (e) {
      }
    }
    FS.chdir(process.cwd());
    // Standard output and error as the bytes written, not as text a line at a
    // time: a PNG sent to a pipe must arrive as it was made.
    for (const fd of [ 1, 2 ]) {
      const stream = FS.getStream(fd);
      if (!stream) continue;
      stream.stream_ops = Object.assign({}, stream.stream_ops, {
        write : function(stream, buffer, offset, length) {
          let done = 0;
          while (done < length) {
            try {
              done += fs.writeSync(fd, buffer, offset + done, length - done);
            } catch (e) {
              if (e.code == "EAGAIN") continue;
              if (e.code == "EPIPE" && typeof _squarefield_signal == "function") _squarefield_signal(13);
              throw new FS.ErrnoError(e.code && NODEFS.convertNodeCode(e) || 29);
            }
          }
          return length;
        },
        fsync : function() { return 0; }
      });
    }
  });
  // The module's own mask would leave new files readable by their owner alone.
  const int mask = EM_ASM_INT({ return typeof process == "object" && process.umask ? process.umask() : 18; });
  umask(static_cast<mode_t>(mask));
}

}  // namespace squarefield
