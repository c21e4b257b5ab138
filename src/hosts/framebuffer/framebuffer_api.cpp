#include "hosts/framebuffer/framebuffer_api.h"

#include <algorithm>

namespace squarefield {

HDC FramebufferApi::GetWindowDC(HWND hwnd) {
  if (failures_.fail_get_window_dc || hwnd != kDesktopWindow) return 0;
  return kScreenDC;
}

int FramebufferApi::ShowCursor(bool show) {
  cursor_count_ += show ? 1 : -1;
  CursorCountChanged(cursor_count_);
  return cursor_count_;
}

HBRUSH FramebufferApi::CreateSolidBrush(COLORREF color) {
  if (failures_.fail_create_brush) return 0;
  // COLORREF is 0x00BBGGRR; the framebuffer holds 0xXXRRGGBB. The unused top
  // byte repeats blue, so that greys (black and white among them) are one repeated byte.
  const std::uint32_t blue = (color >> 16) & 0xFFu;
  const std::uint32_t pixel = ((color & 0xFFu) << 16) | (color & 0xFF00u) | blue | blue << 24;
  brushes_.push_back({next_brush_, pixel, true});
  return next_brush_++;
}

bool FramebufferApi::DeleteObject(HBRUSH object) {
  Brush* b = Find(object);
  if (b == nullptr) return false;
  b->alive = false;
  return true;
}

bool FramebufferApi::SetWindowPos(HWND hwnd, HWND insertAfter, int, int, int, int, std::uint32_t flags) {
  if (hwnd != kFormWindow) return false;
  topmost_ = insertAfter == HWND_TOPMOST;
  if (flags & SWP_SHOWWINDOW) visible_ = true;
  Placed(topmost_, (flags & SWP_SHOWWINDOW) != 0);
  return true;
}

int FramebufferApi::LiveBrushes() const {
  return static_cast<int>(std::count_if(brushes_.begin(), brushes_.end(), [](const Brush& b) { return b.alive; }));
}

}  // namespace squarefield
