// The host for everything that does not paint on a real desktop: the drawing
// calls, the form's window and the screen over an in-memory framebuffer,
// written once. What differs is the presenter: headless shows nothing, SDL
// copies the damage to a window's surface, the page puts it on a canvas.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "hosts/framebuffer/framebuffer.h"
#include "hosts/framebuffer/framebuffer_api.h"
#include "hosts/host.h"

namespace squarefield {

// What a presenter's pump saw.
struct PresenterEvents {
  int escape_presses = 0;       // Escape went down this many times
  bool closed = false;          // the user closed the window, or it went away
  int width = 0, height = 0;    // a new size, when nonzero
  bool lost_picture = false;    // what was shown is gone (a new surface, an expose)
};

// A screen that holds everything presented so far as its own picture (a
// page's canvas, Wayland's buffers): the framebuffer then only keeps the fills
// until its pixels are read (see Framebuffer::KeepPictureOnScreen).
class PictureHolder {
 public:
  virtual ~PictureHolder() = default;
  // Whether it holds the whole picture now (asked after each present).
  virtual bool HoldsPicture() const = 0;
  // Writes that picture into `pixels`, `width` by `height`.
  virtual void ReadPicture(std::span<std::uint32_t> pixels, int width, int height) = 0;
};

class Presenter {
 public:
  virtual ~Presenter() = default;

  // What every presenter decides, none of it by default:
  // Pending events; a failure (HostFailed) when it can go on no longer.
  virtual std::optional<Failure> Pump(PresenterEvents& events) = 0;
  // Shows what changed in `fb`: its fills where they replay, else its damage.
  virtual std::optional<Failure> Present(const Framebuffer& fb) = 0;
  // How often the display shows a new picture, in hertz; 0: it shows nothing,
  // and is never asked to present.
  virtual double RefreshRate() const = 0;
  // Nothing it shows can be seen now (see Host::Unseen).
  virtual bool Unseen() = 0;
  // Whether Escape is held down now (the keyboard is the presenter's); false without one.
  virtual bool EscapeDown() const = 0;
  // After the run: put the screen right and let go of it.
  virtual void Finish() = 0;
  // The cursor's display count changed (below 0: hidden over the field).
  virtual void CursorCountChanged(int count) = 0;
  // Its screen's picture holder, or null where the screen keeps no picture.
  virtual PictureHolder* Holder() = 0;

  // What only some presenters do; the rest take these as they are.
  // Waits `seconds` or less, waking for an event where it can.
  virtual void Sleep(double seconds) { SleepFor(seconds); }
  // Waits for the display's refresh where it can; false: it cannot.
  virtual bool WaitForRefresh() { return false; }
  virtual void Yield() {}
  virtual void CountFrame() {}
  // The drawing calls' news: the window placed and shown, the form unloaded
  // (take the window down).
  virtual void Placed(bool /*topmost*/, bool /*show*/) {}
  virtual void Show() {}
  virtual void Unloaded() {}
};

class FramebufferHost final : public Host {
 public:
  FramebufferHost(std::unique_ptr<Presenter> presenter, int width, int height, FailureScript failures = {});

  WindowsApi& Api() override { return api_; }
  Window& FormWindow() override { return window_; }
  ScreenObject Screen() override { return ScreenOf(fb_); }
  const Framebuffer* Pixels() const override { return &fb_; }

  std::optional<Failure> Pump() override;
  std::optional<Failure> Present() override;
  double RefreshRate() const override { return presenter_->RefreshRate(); }
  bool InputPending() const override { return api_.escape_pressed; }
  bool Unseen() override { return presenter_->Unseen(); }
  void Sleep(double seconds) override { presenter_->Sleep(seconds); }
  bool WaitForRefresh() override { return presenter_->WaitForRefresh(); }
  void Yield() override { presenter_->Yield(); }
  void CountFrame() override { presenter_->CountFrame(); }
  void Finish() override;

  FramebufferApi& drawing() { return api_; }
  HostedWindow& window() { return window_; }
  Framebuffer& framebuffer() { return fb_; }

 private:
  // The drawing calls, with Escape from the presenter's keyboard: down while
  // held, and pressed once since the last poll.
  class PresentedApi final : public FramebufferApi {
   public:
    PresentedApi(Framebuffer& fb, FailureScript failures, Presenter& presenter)
        : FramebufferApi(fb, failures), presenter_(presenter) {}
    std::int16_t GetAsyncKeyState(int vKey) override;
    bool escape_pressed = false;

   protected:
    void CursorCountChanged(int count) override { presenter_.CursorCountChanged(count); }
    void Placed(bool topmost, bool show) override { presenter_.Placed(topmost, show); }

   private:
    Presenter& presenter_;
  };
  class PresentedWindow final : public FramebufferWindow {
   public:
    PresentedWindow(const Framebuffer& fb, Presenter& presenter) : FramebufferWindow(fb), presenter_(presenter) {}
    void Show() override { presenter_.Show(); }

   protected:
    void Unloaded() override { presenter_.Unloaded(); }

   private:
    Presenter& presenter_;
  };

  std::unique_ptr<Presenter> presenter_;
  Framebuffer fb_;
  PresentedApi api_;
  PresentedWindow window_;
};

}  // namespace squarefield
