#include "platform/headless/headless_host.h"

#include <algorithm>

#include "platform/stop_signal.h"

namespace squarefield {

void Framebuffer::Fill(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                       std::uint32_t pixel) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  if (right <= left || bottom <= top) return;
  const auto span = static_cast<std::size_t>(right - left);
  std::uint32_t* row = pixels_.data() + static_cast<std::size_t>(top) * width_ + left;
  for (std::int32_t y = top; y < bottom; ++y, row += width_) std::fill_n(row, span, pixel);
}

HDC HeadlessScreen::GetWindowDC(HWND hwnd) {
  if (script_.fail_get_window_dc || hwnd != kDesktopWindow) return 0;
  return kScreenDC;
}

int HeadlessScreen::ShowCursor(bool show) {
  cursor_count_ += show ? 1 : -1;
  return cursor_count_;
}

HBRUSH HeadlessScreen::CreateSolidBrush(COLORREF color) {
  if (script_.fail_create_brush) return 0;
  // COLORREF is 0x00BBGGRR; the framebuffer holds 0x00RRGGBB.
  const std::uint32_t pixel = ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
  brushes_.push_back({next_brush_, pixel, true});
  return next_brush_++;
}

int HeadlessScreen::FillRect(HDC hdc, const RECT& rect, HBRUSH brush) {
  if (hdc != kScreenDC) return 0;
  for (const Brush& b : brushes_) {
    if (b.handle == brush && b.alive) {
      fb_.Fill(rect.left, rect.top, rect.right, rect.bottom, b.pixel);
      return 1;
    }
  }
  return 0;
}

bool HeadlessScreen::DeleteObject(HBRUSH object) {
  for (Brush& b : brushes_) {
    if (b.handle == object && b.alive) {
      b.alive = false;
      return true;
    }
  }
  return false;
}

std::int16_t HeadlessScreen::GetAsyncKeyState(int vKey) {
  ++polls_;
  if (vKey != VK_ESCAPE) return 0;
  const bool down = StopRequested() || (script_.escape_from_poll && polls_ >= *script_.escape_from_poll);
  if (!down) return 0;
  // Down now (0x8000), and on the first poll that sees it, pressed since the last one too.
  const bool newly = !escape_was_down_;
  escape_was_down_ = true;
  return static_cast<std::int16_t>(newly ? 0x8001 : 0x8000);
}

bool HeadlessScreen::SetWindowPos(HWND hwnd, HWND insertAfter, int, int, int, int, std::uint32_t flags) {
  if (hwnd != kFormWindow) return false;
  topmost_ = insertAfter == HWND_TOPMOST;
  if (flags & SWP_SHOWWINDOW) visible_ = true;
  return true;
}

void HeadlessScreen::Restore(WindowsApi& via) {
  while (cursor_count_ < 0) via.ShowCursor(true);
  for (const Brush& b : std::vector<Brush>(brushes_))
    if (b.alive) via.DeleteObject(b.handle);
}

int HeadlessScreen::LiveBrushes() const {
  return static_cast<int>(std::count_if(brushes_.begin(), brushes_.end(), [](const Brush& b) { return b.alive; }));
}

void HeadlessWindow::Load(FormEvents& form) {
  form_ = &form;
  form.Form_Load();
}

void HeadlessWindow::Unload() {
  if (form_ == nullptr) return;
  std::int16_t cancel = 0;
  form_->Form_Unload(cancel);
  if (cancel == 0) {
    form_ = nullptr;
    shown_ = false;
  }
}

}  // namespace squarefield
