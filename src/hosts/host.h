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

// A window (--window) starts this size, or as much of it as the screen holds;
// so does the in-memory screen unless given a size.
inline constexpr int kWindowWidth = 1024;
inline constexpr int kWindowHeight = 768;

// A screensaver's pointer moved no more than this many pixels along each axis
// from where it rested: jitter, not a user.
inline constexpr int kPointerJitter = 8;

// The little a host is told.
struct HostConfig {
  bool windowed = false;            // a window instead of the full screen
  int width = kWindowWidth, height = kWindowHeight;  // the in-memory screen's size (headless)
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

  // The screen's pixels where the host keeps them in memory (images are made
  // from them); null where the window system keeps them (no --png there).
  virtual const Framebuffer* Pixels() const = 0;

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

// Why a desktop host did not open, by kind: the caller acts on the kind, the
// user reads the message.
struct OpenFailure {
  enum class Kind {
    Unreachable,   // nothing to show on here (no display, no library): another host may do
    NoSuchWindow,  // the window to draw in is not there (any more)
    Refused,       // this host cannot do what was asked here, or failed while opening
  };
  Kind kind = Kind::Refused;
  std::string message;
};

// A desktop host, or why there is none. Every desktop host opens so, and is a
// line of the host table (host_table.cpp).
struct Opened {
  std::unique_ptr<Host> host;
  OpenFailure failure;  // when there is no host

  static Opened Failed(OpenFailure::Kind kind, std::string message) { return {nullptr, {kind, std::move(message)}}; }
};

// The desktop host for this run: the one SQUAREFIELD_HOST names, else the
// first of this build's table that fits here and opens.
Opened OpenDesktopHost(const HostConfig& config);

}  // namespace squarefield
