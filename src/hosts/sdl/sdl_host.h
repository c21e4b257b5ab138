// Desktop host on SDL2 (Linux, macOS, and anywhere else SDL runs).
//  - Form1's window: borderless, fullscreen on the primary display without a
//    mode change (or 1024x768 with --window), black, titled "squarefield"
//  - the screen's device context: a persistent framebuffer the size of the
//    screen (there is no root window to paint on under a compositor or on
//    Wayland); fills land in it at once, and the shell's DoEvents has the
//    damaged rectangles copied to the window's surface and sent
//  - ShowCursor keeps the display counter and hides the cursor while it is negative
//  - Escape reads as down while held, or once pressed since the last poll; a
//    window close or SDL_QUIT is a stop request, which the shell reads as Escape
//  - a display it cannot draw on (8-bit colour) is refused at the start; a lost
//    display connection ends the program through the fatal path (Xlib's
//    handler may not return)
//  - or it draws into a window it does not own (--window-id, --root, a screensaver
//    daemon's): the field follows that window's size, the cursor and the keyboard
//    stay its owner's, and the window going away ends the run cleanly
//  - full screen, a window per monitor (X11: Xinerama's heads; Wayland: SDL's
//    displays), each showing its part of one framebuffer that spans them all;
//    the monitors are looked at twice a second and a change is followed
// Not here: painting over other programs' windows.
#pragma once

#include "hosts/sdl/sdl_library.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "hosts/framebuffer/fill_batches.h"
#include "hosts/framebuffer/framebuffer_host.h"
#include "hosts/sdl/x11_link.h"

namespace squarefield {

// The SDL window: what the framebuffer host shows its frames in, and where
// its keys and closes come from.
class SdlPresenter final : public Presenter {
 public:
  // Starts SDL video and creates the (hidden) windows, or takes the window the
  // config names; `error` says why not.
  bool Open(const HostConfig& config, std::string& error);
  // Open failed because the window to draw in is not there.
  bool NoSuchWindow() const { return no_such_window_; }
  ~SdlPresenter() override;

  int Width() const { return width_; }
  int Height() const { return height_; }

  std::optional<Failure> Pump(PresenterEvents& events) override;
  std::optional<Failure> Present(const Framebuffer& fb) override;
  double RefreshRate() const override { return refresh_hz_; }
  bool EscapeDown() const override;
  bool Unseen() override;
  void CursorCountChanged(int count) override;
  void Placed(bool topmost, bool show) override;
  void Show() override;
  void Sleep(double seconds) override;
  void Unloaded() override { Close(); }
  void Finish() override { Close(); }
  PictureHolder* Holder() override { return nullptr; }  // an X window keeps no picture of ours

 private:
  // One window and the part of the framebuffer it shows.
  struct MonitorWindow {
    SDL_Window* window = nullptr;
    SDL_Rect area{};  // in framebuffer pixels
    // Where the window has no surface of its own to send rectangles from (not
    // X11: Wayland, other systems), a streaming texture its renderer draws:
    // only the damaged rectangles are uploaded to it.
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int texture_w = 0, texture_h = 0;
    std::uint64_t x_window = 0;  // on X11: where fills are replayed
    bool covered = false;        // X11: fully covered by other windows
    bool hidden = false;         // unmapped or minimised
  };
  // X11: asks to be told when each window is covered, and learns their ids.
  void WatchVisibility();
  // A screensaver's pointer moved further than the jitter from where it rested.
  bool PointerMoved(Uint32 window_id, int x, int y);
  // On X11 the frame's fills themselves, replayed by the X server in batches
  // of one colour; false when they cannot be (then the damage is sent).
  bool PresentFills(const Framebuffer& fb);
  void* Gc(std::uint32_t pixel, std::uint64_t drawable);
  // Shows the damage through the output's texture; false when it has none.
  bool PresentTexture(MonitorWindow& output, const Framebuffer& fb, std::span<const RECT> damage);

  bool StartVideo(const HostConfig& config, std::string& error);
  void Handle(const SDL_Event& event, PresenterEvents& events, bool& resized);
  void WindowEvent(const SDL_WindowEvent& window, PresenterEvents& events, bool& resized);
  void SystemEvent(const SDL_SysWMmsg& message);
  bool FollowSize(PresenterEvents& events, bool resized, std::string& error);
  bool OpenWindows(const HostConfig& config, std::string& error);
  bool LinkWindows(const HostConfig& config, std::string& error);
  bool OpenInto(const HostConfig& config, std::string& error);
  // Full screen: a window per monitor over one framebuffer spanning them all.
  bool OpenMonitors(std::string& error);
  std::vector<MonitorArea> Monitors();
  // The foreign window's size, as much of it as the screen can show.
  bool WindowSize(int& width, int& height);
  // Each window's part of the framebuffer, from where its monitor is and the
  // pixels its window really has; the framebuffer's size follows.
  void Lay();
  void Close();

  static constexpr std::uint64_t kMonitorCheckMs = 500;

  const SdlLibrary* sdl_ = nullptr;
  X11Link x11_;
  std::uint64_t target_ = 0;
  std::uint64_t child_ = 0;  // ours, inside target_: what SDL draws in
  // What the windows are for.
  enum class Role {
    Window,      // one framed window (--window)
    FullScreen,  // a window per monitor, following the monitors
    Saver,       // full screen, and any key, button or real move of the mouse ends it
    Wallpaper,   // full screen, the desktop's background: below all, no keys, the cursor left alone
    Guest,       // inside a window someone else owns (--window-id, --root, a daemon's)
  };
  Role role_ = Role::FullScreen;
  bool SpansMonitors() const { return role_ == Role::FullScreen || role_ == Role::Saver || role_ == Role::Wallpaper; }
  // The keys and the cursor are ours: not a guest's (its owner's), not the desktop's.
  bool OwnsInput() const { return role_ != Role::Guest && role_ != Role::Wallpaper; }
  bool on_x11_ = false;  // SDL's video driver is X11's (asked once, when video started)
  bool no_such_window_ = false;
  std::vector<MonitorWindow> windows_;
  std::vector<MonitorArea> monitors_;
  std::uint64_t next_monitor_check_ = 0;  // SDL ticks
  std::uint64_t next_power_check_ = 0;    // SDL ticks
  bool powered_down_ = false;             // every monitor asleep (DPMS), when last asked
  bool shown_ = false, topmost_ = false;
  std::vector<SDL_Rect> rects_;
  std::vector<std::uint32_t> staging_;  // damaged pixels on their way to a texture
  SdlX11 sdl_x11_;  // SDL's own X connection, which a wait watches
  bool video_ = false;
  int pointer_x_ = 0, pointer_y_ = 0;  // where the pointer rested at the start, on the desktop
  bool fills_ok_ = false;     // X11 with the framebuffer's own pixel format: fills can be replayed
  std::vector<std::pair<std::uint32_t, void*>> gcs_;  // a graphics context per colour
  FillBatcher batcher_;
  int refresh_hz_ = 60;
  int width_ = 0;
  int height_ = 0;
};

// The SDL host, or null with `error`.
Opened OpenSdlHost(const HostConfig& config);

}  // namespace squarefield
