// Web host: the program compiled to WebAssembly, drawing on a page's <canvas>.
//  - the screen's device context: a framebuffer in the module's memory, the
//    canvas's size in device pixels; DoEvents shows what changed with putImageData
//  - the loop stays the program's blocking loop: DoEvents yields to the browser
//    (Asyncify), so the page stays responsive while Form1's load handler runs
//  - pace: one frame per animation frame (the display's refresh) by default;
//    --fps N paces to N; --fps 0 runs unpaced, yielding once per refresh
//  - Escape from the page's keyboard events; ShowCursor hides the cursor over the canvas
//  - when the run ends the page says how to start it again
// Under node there is no page: this host refuses, and --headless runs as anywhere.
// Limit: the framebuffer's bytes go to the canvas as they are, which is right
// for black and white (all the effect paints); other colours would show with
// red and blue swapped.
#include <emscripten.h>
#include <sys/stat.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <optional>

#include <memory>
#include <string>

#include "platform/framebuffer/framebuffer.h"
#include "platform/framebuffer/framebuffer_screen.h"
#include "platform/host.h"

// The JavaScript inside EM_ASM names its arguments $0, $1, ...
#pragma clang diagnostic ignored "-Wdollar-in-identifier-extension"

namespace squarefield {

namespace {

EM_ASYNC_JS(void, WaitForAnimationFrame, (), { await new Promise(resolve => requestAnimationFrame(() => resolve())); });

struct Keyboard {
  bool escape_down = false;
  bool escape_pressed = false;  // since the last poll
};

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* event, void* data) {
  auto* keys = static_cast<Keyboard*>(data);
  if (std::string(event->key) != "Escape") return EM_FALSE;
  keys->escape_down = type == EMSCRIPTEN_EVENT_KEYDOWN;
  if (keys->escape_down) keys->escape_pressed = true;
  return EM_TRUE;
}

class WebScreen final : public FramebufferScreen {
 public:
  WebScreen(Framebuffer& fb, Keyboard& keys) : FramebufferScreen(fb, {}), keys_(keys) {}
  std::int16_t GetAsyncKeyState(int vKey) override {
    if (vKey != VK_ESCAPE) return 0;
    const bool pressed = keys_.escape_pressed;
    keys_.escape_pressed = false;
    return static_cast<std::int16_t>((keys_.escape_down ? 0x8000 : 0) | (pressed ? 1 : 0));
  }

 protected:
  void CursorCountChanged(int count) override {
    EM_ASM({ document.getElementById("canvas").style.cursor = $0 < 0 ? "none" : ""; }, count);
  }

 private:
  Keyboard& keys_;
};

class WebWindow final : public FramebufferWindow {
 public:
  using FramebufferWindow::FramebufferWindow;
  void Show() override {}
};

class WebHost final : public Host {
 public:
  WebHost(int width, int height, const HostConfig& config)
      : fb_(width, height), screen_(fb_, keys_), window_(fb_), fps_(config.fps) {
    fb_.TrackChanges();
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, &keys_, EM_TRUE, OnKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, &keys_, EM_TRUE, OnKey);
  }

  WindowsApi& Api() override { return screen_; }
  Window& FormWindow() override { return window_; }
  ScreenObject Screen() override { return ScreenOf(fb_); }
  int PixelWidth() const override { return fb_.Width(); }
  int PixelHeight() const override { return fb_.Height(); }
  bool CloseRequested() const override { return false; }

  void DoEvents() override {
    ++frames_;
    const double now = emscripten_get_now();
    if (!fps_) {
      // One frame per refresh: show it, and wait for the next.
      Present();
      WaitForAnimationFrame();
    } else if (*fps_ > 0) {
      Present();
      next_ = next_ == 0 || next_ < now ? now + 1000.0 / *fps_ : next_ + 1000.0 / *fps_;
      emscripten_sleep(static_cast<unsigned>(next_ - now));
    } else if (now >= next_) {
      // Unpaced: as fast as it goes, yielding to the page once per refresh.
      Present();
      emscripten_sleep(0);
      next_ = emscripten_get_now() + 1000.0 / 60;
    }
  }

  void Finish() override {
    Present();
    EM_ASM({
      const canvas = document.getElementById('canvas');
      canvas.style.cursor = "";
      const status = document.getElementById('status');
      if (status) {
        status.textContent = 'Stopped. Reload the page to start it again.';
        status.hidden = false;
      }
    });
  }

 private:
  // The rectangle around every changed tile goes to the canvas in one call.
  void Present() {
    const int tile = 1 << Framebuffer::kTileShift;
    int x0 = fb_.TilesX(), y0 = fb_.TilesY(), x1 = -1, y1 = -1;
    for (int ty = 0; ty < fb_.TilesY(); ++ty)
      for (int tx = 0; tx < fb_.TilesX(); ++tx)
        if (fb_.Dirty(tx, ty)) {
          x0 = std::min(x0, tx), y0 = std::min(y0, ty), x1 = std::max(x1, tx), y1 = std::max(y1, ty);
        }
    if (x1 < 0) return;
    fb_.ClearDirty();
    const int x = x0 * tile, y = y0 * tile;
    const int w = std::min((x1 + 1) * tile, fb_.Width()) - x, h = std::min((y1 + 1) * tile, fb_.Height()) - y;
    EM_ASM(
        {
          const canvas = document.getElementById('canvas');
          const context = canvas.getContext('2d');
          const pixels = new Uint8ClampedArray(HEAPU8.buffer, $0, $1 * $2 * 4);
          context.putImageData(new ImageData(pixels, $1, $2), 0, 0, $3, $4, $5, $6);
          Module.framesDrawn = $7;  // for whoever measures the page
        },
        fb_.Row(0), fb_.Width(), fb_.Height(), x, y, w, h, frames_);
  }

  Keyboard keys_;
  Framebuffer fb_;
  WebScreen screen_;
  WebWindow window_;
  std::optional<double> fps_;
  double next_ = 0;
  double frames_ = 0;
};

}  // namespace

std::unique_ptr<Host> OpenDesktopHost(const HostConfig& config, std::string& error) {
  if (config.into_window || config.into_root || config.saver) {
    error = "a page has no other windows to draw in";
    return nullptr;
  }
  const int in_page = EM_ASM_INT({ return typeof document != 'undefined' && !!document.getElementById('canvas'); });
  if (!in_page) {
    error = "there is no page with a canvas to draw on";
    return nullptr;
  }
  // The canvas in device pixels, so the squares are the display's own pixels.
  const int width = EM_ASM_INT({
    const canvas = document.getElementById('canvas');
    const ratio = window.devicePixelRatio || 1;
    canvas.width = Math.max(1, Math.floor(canvas.clientWidth * ratio));
    canvas.height = Math.max(1, Math.floor(canvas.clientHeight * ratio));
    return canvas.width;
  });
  const int height = EM_ASM_INT({ return document.getElementById('canvas').height; });
  return std::make_unique<WebHost>(width, height, config);
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
