// What a host gives a run: the windowing and drawing calls, the window the
// runtime hosts for the form, and the runtime services that differ per host
// (the event pump and the screen). The rest of the runtime is the same on every
// host (basic_runtime.h), and what every run needs around a host (stop
// requests read as Escape, the trace, restoring the cursor and brushes, the
// outputs, the exit status) belongs to the shell, not to a host.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/runtime.h"
#include "platform/windows_api.h"

namespace squarefield {

class Framebuffer;

// The little a host is told.
struct HostConfig {
  bool windowed = false;            // a 1024x768 window instead of the full screen
  int width = 1024, height = 768;   // the in-memory screen's size (headless)
  std::optional<double> fps;        // pace DoEvents to this rate; none or 0: unpaced
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
  // Polled while a host waits (pacing), so a stop request ends the wait at once.
  bool (*stop_requested)() = nullptr;
  // Called when the host can go on no longer (the display connection is gone):
  // it reports `what` and ends the program. It does not return.
  void (*fatal)(const char* what) = nullptr;
};

class Host {
 public:
  virtual ~Host() = default;

  virtual WindowsApi& Api() = 0;
  virtual Window& FormWindow() = 0;
  virtual void DoEvents() = 0;
  virtual ScreenObject Screen() = 0;

  // The screen's size in pixels.
  virtual int PixelWidth() const = 0;
  virtual int PixelHeight() const = 0;
  // The user closed the form's window or the session is ending.
  virtual bool CloseRequested() const { return false; }
  // The screen's pixels, where the host keeps them in memory (images are made from them).
  virtual const Framebuffer* Pixels() const { return nullptr; }
  // After the run, however it ended: put the screen right and let go of it.
  virtual void Finish() {}
  // Shows a failure where a user looks for it, if that is not the error stream.
  virtual void Tell(const std::string& /*message*/) {}
};

// The in-memory host: always built (tests, benchmarks, image export).
std::unique_ptr<Host> OpenHeadlessHost(const HostConfig& config);

// The desktop host this build was made with; null with `error` when it cannot
// run here (no display, no library, no such host in this build).
std::unique_ptr<Host> OpenDesktopHost(const HostConfig& config, std::string& error);

// Makes --help, --version and option errors reach the console the program was
// started from (a Windows GUI program has none of its own). Elsewhere nothing.
void PrepareConsole();

}  // namespace squarefield
