// Native Windows host: the eight windowing and drawing calls go straight to
// user32 and gdi32.
//  - Form1's window: a borderless popup covering the primary monitor (or
//    1024x768 with --window), black, no taskbar button, titled "squarefield"
//  - the screen's device context is the real GetWindowDC(GetDesktopWindow())
//  - twips per pixel from the display's logical DPI (1440 / dpi)
//  - the shell's DoEvents pumps its messages; WM_CLOSE and the session ending
//    are stop requests, which the shell reads as Escape
//  - on the way out the whole screen is repainted and the device context released
// Linker needs: user32, gdi32.
#pragma once

#include <optional>
#include <vector>

// Ours first: <windows.h> defines HWND_TOPMOST, SWP_* and VK_ESCAPE as macros,
// which would rewrite our own constants of the same names.
#include <memory>
#include <string>

#include "hosts/host.h"
#include "runtime/hosted_window.h"
#include "runtime/windows_api.h"

#include "hosts/win32/lean_windows.h"

namespace squarefield {

// The form's window and what its message pump has seen.
class Win32Session {
 public:
  // Registers the class and creates the (hidden) window, or the preview's child
  // window; false with `error` if Windows refused.
  bool Open(const HostConfig& config, std::string& error);
  bool no_such_window = false;  // Open failed: the preview's parent is not a window
  ~Win32Session();

  ::HWND Handle() const { return hwnd_; }
  float TwipsPerPixelX() const { return tpp_x_; }
  float TwipsPerPixelY() const { return tpp_y_; }
  // The screen's and the window's inner size in pixels, read again only when
  // Windows says they changed (each read is a round trip to the window system).
  int ScreenWidth() { Refresh(); return screen_w_; }
  int ScreenHeight() { Refresh(); return screen_h_; }
  int ClientWidth() const { return client_w_; }
  int ClientHeight() const { return client_h_; }
  // Handles pending messages; a close, the session ending or a preview's
  // parent going away is a stop request.
  void Pump();
  int RefreshRate() const { return refresh_hz_; }
  void Close();

  // The screen's top-left corner on the desktop's device context: the virtual
  // screen's (left of or above the primary monitor) for a screensaver.
  int OriginX() const { return origin_x_; }
  int OriginY() const { return origin_y_; }
  bool Saver() const { return saver_; }
  bool Preview() const { return preview_; }

  bool escape_seen = false;  // Escape went down since the program last polled it

  // Nothing of the field can be seen: every display off, the session locked or
  // disconnected, or a preview whose window is not shown.
  bool Unseen() const;
  // Waits up to `seconds`, less when a message arrives.
  void Sleep(double seconds) const;

 private:
  bool TakePreviewParent(std::uint64_t handle, std::string& error);
  void CreateOurWindow(const HostConfig& config, HINSTANCE instance);
  void UserInput(UINT message, WPARAM wparam);
  void SeenChange(UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK WindowProc(::HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  void Refresh();
  void ReadClientSize();
  // A preview: end when the parent is gone, keep its size when it is resized.
  void FollowParent();

  ::HWND hwnd_ = nullptr;
  void* power_notify_ = nullptr;
  bool displays_off_ = false, session_away_ = false;
  bool saver_ = false;
  bool preview_ = false;
  ::HWND parent_ = nullptr;
  POINT start_cursor_{};
  int origin_x_ = 0, origin_y_ = 0;
  bool metrics_stale_ = true;
  int screen_w_ = 0, screen_h_ = 0, client_w_ = 0, client_h_ = 0;
  int refresh_hz_ = 60;
  float tpp_x_ = 15;
  float tpp_y_ = 15;
};

class Win32Api final : public WindowsApi {
 public:
  explicit Win32Api(Win32Session& session) : session_(session) {}

  squarefield::HWND GetDesktopWindow() override;
  HDC GetWindowDC(squarefield::HWND hwnd) override;
  int ShowCursor(bool show) override;
  HBRUSH CreateSolidBrush(COLORREF color) override;
  int FillRect(HDC hdc, const squarefield::RECT& rect, HBRUSH brush) override;
  bool DeleteObject(HBRUSH object) override;
  std::int16_t GetAsyncKeyState(int vKey) override;
  bool SetWindowPos(squarefield::HWND hwnd, squarefield::HWND insertAfter, int x, int y, int cx, int cy,
                    std::uint32_t flags) override;

  // On the way out: repaint the whole screen so no square stays on the desktop,
  // and give back the screen's device context.
  void RepaintAndRelease();

 private:
  Win32Session& session_;
  int preview_cursor_ = 0;  // a preview leaves the real cursor alone
  std::vector<std::pair<::HWND, ::HDC>> dcs_;
};

class Win32Window final : public HostedWindow {
 public:
  explicit Win32Window(Win32Session& session) : session_(session) {}

  void Show() override;
  squarefield::HWND hWnd() override { return reinterpret_cast<squarefield::HWND>(session_.Handle()); }
  float Left() override { return static_cast<float>(Rect().left) * session_.TwipsPerPixelX(); }
  float Top() override { return static_cast<float>(Rect().top) * session_.TwipsPerPixelY(); }
  float Width() override { return static_cast<float>(Rect().right - Rect().left) * session_.TwipsPerPixelX(); }
  float Height() override { return static_cast<float>(Rect().bottom - Rect().top) * session_.TwipsPerPixelY(); }
  float ScaleWidth() override { return static_cast<float>(session_.ClientWidth()); }
  float ScaleHeight() override { return static_cast<float>(session_.ClientHeight()); }

 protected:
  void Unloaded() override { session_.Close(); }

 private:
  ::RECT Rect() const;
  Win32Session& session_;
};

class Win32Host final : public Host {
 public:
  explicit Win32Host(std::unique_ptr<Win32Session> session)
      : session_(std::move(session)), api_(*session_), window_(*session_) {}

  WindowsApi& Api() override { return api_; }
  Window& FormWindow() override { return window_; }
  ScreenObject Screen() override;
  // Windows keeps the screen's pixels: there is no --png on the desktop.
  const Framebuffer* Pixels() const override { return nullptr; }
  std::optional<Failure> Pump() override {
    session_->Pump();
    return std::nullopt;
  }
  // Fills are on the screen already: nothing is left to present, and the rate paces the pump.
  std::optional<Failure> Present() override { return std::nullopt; }
  double RefreshRate() const override { return session_->RefreshRate(); }
  bool InputPending() const override { return session_->escape_seen; }
  bool Unseen() override { return session_->Unseen(); }
  void Sleep(double seconds) override { session_->Sleep(seconds); }
  void Finish() override {
    session_->Close();
    api_.RepaintAndRelease();
  }
  // Told only once the cursor is back and the screen clean.
  void Tell(const std::string& message) override {
    MessageBoxA(nullptr, message.c_str(), "squarefield", MB_OK | MB_ICONERROR);
  }

 private:
  std::unique_ptr<Win32Session> session_;
  Win32Api api_;
  Win32Window window_;
};

// The Windows host: the full screen, a window, or a preview in the window given.
Opened OpenWin32Host(const HostConfig& config);

}  // namespace squarefield
