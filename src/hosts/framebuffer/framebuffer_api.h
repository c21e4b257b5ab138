// The eight windowing and drawing calls over a framebuffer, for hosts that do
// not paint on a real desktop: handles, brushes, the cursor's display counter,
// the form window's placement. Hosts add the keyboard and what the user sees.
#pragma once

#include <cstdint>
#include <vector>

#include "hosts/framebuffer/framebuffer.h"
#include "runtime/hosted_window.h"
#include "runtime/windows_api.h"

namespace squarefield {

// Calls a host can be told to fail, as a real system might.
struct FailureScript {
  bool fail_get_window_dc = false;
  bool fail_create_brush = false;
};

class FramebufferApi : public WindowsApi {
 public:
  // Handles are small distinct integers, the same on every run and every host.
  static constexpr HWND kFormWindow = 1;
  static constexpr HWND kDesktopWindow = 2;
  static constexpr HDC kScreenDC = 3;

  FramebufferApi(Framebuffer& framebuffer, FailureScript failures) : fb_(framebuffer), failures_(failures) {}

  HWND GetDesktopWindow() override { return kDesktopWindow; }
  HDC GetWindowDC(HWND hwnd) override;
  int ShowCursor(bool show) override;
  HBRUSH CreateSolidBrush(COLORREF color) override;
  int FillRect(HDC hdc, const RECT& rect, HBRUSH brush) override { return Paint(hdc, rect, brush); }
  FillShortcut Shortcut() override { return {&PaintThunk, this}; }
  bool DeleteObject(HBRUSH object) override;
  bool SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) override;

  int CursorCount() const { return cursor_count_; }
  int LiveBrushes() const;
  bool Topmost() const { return topmost_; }
  bool Visible() const { return visible_; }

 protected:
  // What a host shows of the cursor and the window's placement.
  virtual void CursorCountChanged(int /*count*/) {}
  virtual void Placed(bool /*topmost*/, bool /*show*/) {}

  Framebuffer& fb_;

 private:
  struct Brush {
    HBRUSH handle;
    std::uint32_t pixel;
    bool alive;
  };
  // Brush handles are handed out in sequence, so a handle is its own index.
  Brush* Find(HBRUSH brush) {
    const HBRUSH index = brush - kFirstBrush;
    if (index < 0 || index >= static_cast<HBRUSH>(brushes_.size())) return nullptr;
    Brush& b = brushes_[static_cast<std::size_t>(index)];
    return b.alive ? &b : nullptr;
  }
  // FillRect itself, inline so the shortcut has it in one call.
  int Paint(HDC hdc, const RECT& rect, HBRUSH brush) {
    if (hdc != kScreenDC) return 0;
    const Brush* b = Find(brush);
    if (b == nullptr) return 0;
    fb_.Fill(rect.left, rect.top, rect.right, rect.bottom, b->pixel);
    return 1;
  }
  static int PaintThunk(void* self, HDC hdc, const RECT& rect, HBRUSH brush) {
    return static_cast<FramebufferApi*>(self)->Paint(hdc, rect, brush);
  }

  static constexpr HBRUSH kFirstBrush = 4;
  FailureScript failures_;
  std::vector<Brush> brushes_;
  HBRUSH next_brush_ = kFirstBrush;
  int cursor_count_ = 0;
  bool topmost_ = false;
  bool visible_ = false;
};

// Form1's window on a framebuffer host: it covers the whole framebuffer at 0,0,
// at 15 twips per pixel, and measures its inner size in pixels.
class FramebufferWindow : public HostedWindow {
 public:
  static constexpr float kTwipsPerPixel = 15;

  explicit FramebufferWindow(const Framebuffer& framebuffer) : fb_(framebuffer) {}

  HWND hWnd() override { return FramebufferApi::kFormWindow; }
  float Left() override { return 0; }
  float Top() override { return 0; }
  float Width() override { return static_cast<float>(fb_.Width()) * kTwipsPerPixel; }
  float Height() override { return static_cast<float>(fb_.Height()) * kTwipsPerPixel; }
  float ScaleWidth() override { return static_cast<float>(fb_.Width()); }
  float ScaleHeight() override { return static_cast<float>(fb_.Height()); }

 private:
  const Framebuffer& fb_;
};

// The screen a framebuffer host shows: the framebuffer, in twips.
inline ScreenObject ScreenOf(const Framebuffer& fb) {
  constexpr float tpp = FramebufferWindow::kTwipsPerPixel;
  return {static_cast<float>(fb.Width()) * tpp, static_cast<float>(fb.Height()) * tpp, tpp, tpp};
}

}  // namespace squarefield
