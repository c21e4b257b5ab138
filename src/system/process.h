// What differs from one operating system to another about a process's start
// and end, and about the screensaver a system may start it as: one shape for
// main, one implementation per system (posix/, windows/, node/).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace squarefield {

// The command line in UTF-8. (Windows reads its UTF-16 one: argv is in the
// ANSI code page, where café, Ωmega or 日本 do not survive.)
std::vector<std::string> CommandLine(int argc, char** argv);

// What the system prepares before any output: on Windows --help, --version and
// option errors reach the console the program was started from (a GUI program
// has none of its own); under node the machine's files are the program's and
// its standard output carries bytes as written. Elsewhere nothing.
void PrepareConsole();

// Descriptors 0, 1 and 2 always open, where a caller can close them (POSIX):
// a closed one would otherwise be the next file opened.
void OpenStandardStreams();

// main's status, as the process's: returned, or through exit where main has
// returned long before (node and a page, which the run yields to).
int ExitWith(int status);
// Whether the process is a web page's: no command line, no console, so
// hints such as "see --help" are not for its visitor.
bool InWebPage();

// A screensaver the system itself starts (Windows: /s, /p and /c, and the
// .scr's name); none elsewhere.
struct SystemScreensaver {
  bool exists = false;            // this system starts screensavers with arguments of its own
  bool started_as_one = false;    // under a screensaver's name
};
SystemScreensaver ThisSystemsScreensaver();
// Its settings dialog, owned by `owner` where given.
void ShowScreensaverSettings(std::optional<std::uint64_t> owner);
// One full-screen screensaver at a time: false when another runs already.
bool ClaimScreensaver();
// The frame rate its settings keep (0: unpaced).
double ScreensaverFps();

}  // namespace squarefield
