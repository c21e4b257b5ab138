// What a host gives a run: the windowing and drawing calls, the window the
// runtime hosts for the form, and the runtime services that differ per host
// (the event pump and the screen). The rest of the runtime is the same on every
// host (basic_runtime.h), and what every run needs around a host (stop
// requests read as Escape, the trace, restoring the cursor and brushes, the
// outputs, the exit status) belongs to the shell, not to a host.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "runtime/failure.h"
#include "runtime/runtime.h"
#include "runtime/windows_api.h"

namespace squarefield {

class Framebuffer;

// The little a host is told.
struct HostConfig {
  bool windowed = false;            // a 1024x768 window instead of the full screen
  int width = 1024, height = 768;   // the in-memory screen's size (headless)
  // Draw into a window someone else owns (a screensaver daemon's, a preview):
  // an X11 window id, or the screen's root window. Its owner keeps the cursor
  // and the keyboard, and the field follows the window's size.
  // On Windows, into_window is a preview's parent: the field is drawn in a child
  // window covering its client area.
  std::optional<std::uint64_t> into_window;
  bool into_root = false;
  // A screensaver run: the field covers every monitor, and any key, button or
  // move of the mouse ends it as Escape does.
  bool saver = false;
  // The desktop's background: the field on every monitor below every window,
  // taking no input and leaving the cursor alone.
  bool wallpaper = false;
  // The one way out that cannot be a returned failure: Xlib's handler for a
  // lost display connection must not return. It reports `what`, removes the
  // temporary files and ends the program.
  void (*fatal)(const char* what) = nullptr;
};

// A host: the windowing and drawing calls, the form's window and the screen,
// and the answers the shell's DoEvents asks of it. Pacing, presenting at the
// display's rate and stopping are the shell's; a host only pumps, presents and
// waits. A close, a window that went away or a failure is recorded in the one
// stop request (runtime/stop_request.h).
class Host {
 public:
  virtual ~Host() = default;

  virtual WindowsApi& Api() = 0;
  virtual Window& FormWindow() = 0;
  virtual ScreenObject Screen() = 0;

  // The screen's size in pixels.
  virtual int PixelWidth() const = 0;
  virtual int PixelHeight() const = 0;
  // The screen's pixels, where the host keeps them in memory (images are made from them).
  virtual const Framebuffer* Pixels() const { return nullptr; }

  // What every host decides, none of it by default:
  // Handles what arrived from the window system; a failure when the host can
  // go on no longer (HostFailed, below).
  virtual std::optional<Failure> Pump() = 0;
  // Shows what changed since the last present; a failure if it could not.
  virtual std::optional<Failure> Present() = 0;
  // How often the display shows a new picture, in hertz; 0 when nothing is
  // shown (and it is never asked to present).
  virtual double RefreshRate() const = 0;
  // Escape was pressed since the program last polled it: a wait ends for it.
  virtual bool InputPending() const = 0;
  // Nothing of the field can be seen now (covered, hidden, the displays
  // asleep): the loop waits instead of drawing until it can be again.
  virtual bool Unseen() = 0;
  // After the run, however it ended: put the screen right and let go of it.
  virtual void Finish() = 0;

  // What only some hosts do; the rest take these as they are.
  // Waits `seconds`, or less: a host that can wakes as soon as an event
  // (a key, a close) arrives, so the wait pumps only when there is news.
  virtual void Sleep(double seconds);
  // Waits for the display's next refresh where the host can (a page's
  // animation frame); false when it cannot, and the shell paces by the clock.
  virtual bool WaitForRefresh() { return false; }
  // Gives the environment its turn without waiting (a page, node's event loop).
  virtual void Yield() {}
  // One more frame ran (for a host that reports the rate to whoever measures it).
  virtual void CountFrame() {}
  // Shows a failure where a user looks for it, if that is not the error stream.
  virtual void Tell(const std::string& /*message*/) {}
};

// Why a host can go on no longer, in its own words: the run's failure.
inline Failure HostFailed(std::string line) { return Failure(Failure::Kind::HostFailed, std::move(line)); }

inline void SleepFor(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }
inline void Host::Sleep(double seconds) { SleepFor(seconds); }

// The in-memory host: always built (tests, benchmarks, image export).
std::unique_ptr<Host> OpenHeadlessHost(const HostConfig& config);

// The desktop host this build was made with; null with `error` when it cannot
// run here (no display, no library, no such host in this build).
std::unique_ptr<Host> OpenDesktopHost(const HostConfig& config, std::string& error);
// How `error` begins when the window to draw in is not there (any more).
inline constexpr char kNoSuchWindow[] = "there is no window ";

// Makes --help, --version and option errors reach the console the program was
// started from (a Windows GUI program has none of its own). Elsewhere nothing.
void PrepareConsole();

}  // namespace squarefield
