// Web host: the program compiled to WebAssembly, drawing on a page's <canvas>
// (from a worker where the browser can draw from one: the page's own thread
// only passes on its keys, size and visibility).
//  - the screen's device context: a framebuffer in the module's memory, the
//    canvas's size in device pixels; each present replays the frame's fills
//    on the canvas in their order (a new canvas, or more fills than are kept,
//    gets the damaged rectangles with putImageData);
//    the canvas keeps its picture, so while the fills replay the framebuffer
//    writes no pixels, and reads the canvas back the first time it needs them
//  - the loop stays the program's blocking loop: the shell's DoEvents waits and
//    yields through this host (the browser suspending the module where it
//    can, Asyncify elsewhere), so the page stays responsive while Form1's load
//    handler runs
//  - pace: one frame per animation frame (the display's refresh) by default;
//    ?fps=N paces to N; ?fps=0 runs unpaced, yielding once per refresh
//  - Escape as the page passes it on; ShowCursor hides the cursor over the canvas
//  - when the run ends the page says how to start it again
// Under node there is no page: this host refuses, and --headless runs as anywhere.
// Limit: the framebuffer's bytes go to the canvas as they are, which is right
// for black and white (all the effect paints); other colours would show with
// red and blue swapped.
#include <emscripten.h>

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include <memory>
#include <string>

#include "hosts/web/web_host.h"

#include "hosts/framebuffer/framebuffer_host.h"

// The JavaScript inside EM_ASM names its arguments $0, $1, ...
#pragma clang diagnostic ignored "-Wdollar-in-identifier-extension"

// In web_library.js.
extern "C" void squarefield_present(const void* pixels, int width, int height, const void* rects, int count);
extern "C" int squarefield_canvas_size(int* size);
extern "C" void squarefield_fill(const void* fills, int count);
extern "C" void squarefield_read_picture(void* pixels, int width, int height);
extern "C" int squarefield_escape(int* presses);

namespace squarefield {

namespace {

// The calls that wait for the page: under Asyncify the module unwinds while
// the promise is pending; where the browser suspends WebAssembly itself, the
// promise is returned and the module suspended until it settles (the loader
// wraps every import named PageWait...).
#ifdef SQUAREFIELD_WEB_SUSPENDS
#define PAGE_WAIT(name, params, ...) EM_JS(void, name, params, { return (async () => __VA_ARGS__)(); })
#else
#define PAGE_WAIT(name, params, ...) EM_ASYNC_JS(void, name, params, __VA_ARGS__)
#endif

PAGE_WAIT(PageWaitForRefresh, (), { await new Promise(resolve => requestAnimationFrame(() => resolve())); });

// The page's turn without a wait: a message to itself, which the browser does
// not hold back as it does a zero timeout called often (4 ms each after the
// fifth), so --fps can go well past 250.
PAGE_WAIT(PageWaitForTurn, (), {
  if (!Module.yieldChannel) {
    const channel = Module.yieldChannel = new MessageChannel();
    channel.waiting = [];
    channel.port1.onmessage = () => channel.waiting.shift()();
  }
  await new Promise(resolve => { Module.yieldChannel.waiting.push(resolve); Module.yieldChannel.port2.postMessage(0); });
});

PAGE_WAIT(PageWaitFor, (int ms), { await new Promise(resolve => setTimeout(resolve, ms)); });

// A hidden tab's timers run late (once a second or less often): the wait for
// it to be seen again ends when the page says it is shown, or after `ms`.
PAGE_WAIT(PageWaitUntilVisible, (int ms), {
  await new Promise(resolve => {
    const done = () => { Module.whenShown = null; clearTimeout(timer); resolve(); };
    const timer = setTimeout(done, ms);
    Module.whenShown = done;
  });
});

// Below this a timeout is no shorter than the browser's own bound on one.
constexpr double kShortestTimeout = 0.004;

class WebPresenter final : public Presenter, public PictureHolder {
 public:
  std::optional<Failure> Pump(PresenterEvents& events) override {
    // A new window size or pixel ratio: the canvas and the field follow.
    int size[2] = {0, 0};
    if (squarefield_canvas_size(size)) {
      events.width = size[0];
      events.height = size[1];
      events.lost_picture = true;  // a canvas given a size is cleared
    }
    escape_down_ = squarefield_escape(&events.escape_presses) != 0;
    return std::nullopt;
  }
  double RefreshRate() const override { return 60; }
  bool EscapeDown() const override { return escape_down_; }
  void CursorCountChanged(int count) override { EM_ASM({ Module.post({cursor: $0 < 0 ? "none" : ""}); }, count); }

  std::optional<Failure> Present(const Framebuffer& fb) override {
    if (fb.FillsReplay()) {
      // The fills themselves, in order: what the canvas showed, with them
      // replayed, is the framebuffer exactly.
      static_assert(sizeof(FillRecord) == 5 * sizeof(std::int32_t), "the page reads a fill as five integers");
      squarefield_fill(fb.Fills().data(), static_cast<int>(fb.Fills().size()));
    } else {
      // A new canvas, or too much at once: the pixels.
      const std::span<const RECT> damage = fb.Damage();
      picture_.resize(static_cast<std::size_t>(fb.Width()) * fb.Height());
      for (const RECT& d : damage)
        for (int y = d.top; y < d.bottom; ++y)
          fb.ReadRow(y, d.left, d.right, picture_.data() + static_cast<std::size_t>(y) * fb.Width() + d.left);
      squarefield_present(picture_.data(), fb.Width(), fb.Height(), damage.data(), static_cast<int>(damage.size()));
    }
    EM_ASM({ Module.framesDrawn = $0; }, frames_);  // frames run so far, for whoever measures the page
    return std::nullopt;
  }

  PictureHolder* Holder() override { return this; }
  bool HoldsPicture() const override { return true; }
  void ReadPicture(std::span<std::uint32_t> pixels, int width, int height) override {
    squarefield_read_picture(pixels.data(), width, height);
  }

  void Yield() override { PageWaitForTurn(); }
  void CountFrame() override { ++frames_; }

  // A hidden tab (another in front, the window minimised): nothing is seen.
  bool Unseen() override { return EM_ASM_INT({ return Module.hidden ? 1 : 0; }); }

  void Sleep(double seconds) override {
    // Hidden, nothing but being shown again ends the wait (a key needs the
    // page in front): a second at a time, so the wait costs next to nothing.
    if (Unseen()) return PageWaitUntilVisible(1000);
    if (seconds < kShortestTimeout) return PageWaitForTurn();
    PageWaitFor(static_cast<int>(seconds * 1000));
  }
  bool WaitForRefresh() override {
    PageWaitForRefresh();
    return true;
  }

  // The page shows its cursor again and says how to start again.
  void Finish() override { EM_ASM({ Module.post({stopped: 'Stopped. Reload the page to start it again.'}); }); }

 private:
  bool escape_down_ = false;
  double frames_ = 0;
  std::vector<std::uint32_t> picture_;  // the damaged pixels, as the canvas takes them
};

}  // namespace

Opened OpenWebHost(const HostConfig& config) {
  if (config.into_window || config.into_root || config.saver)
    return Opened::Failed(OpenFailure::Kind::Refused, "a page has no other windows to draw in");
  const int in_page = EM_ASM_INT({ return !!Module.canvas; });
  if (!in_page) return Opened::Failed(OpenFailure::Kind::Unreachable, "there is no page with a canvas to draw on");
  // The canvas in device pixels, so the squares are the display's own pixels.
  int size[2] = {1, 1};
  squarefield_canvas_size(size);
  const int width = size[0], height = size[1];
  return {std::make_unique<FramebufferHost>(std::make_unique<WebPresenter>(), width, height), {}};
}

}  // namespace squarefield
