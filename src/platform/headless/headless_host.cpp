#include "platform/headless/headless_host.h"

#include <algorithm>
#include <cstring>

#include "platform/stop_signal.h"

namespace squarefield {

void Framebuffer::Fill(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                       std::uint32_t pixel) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  if (right <= left || bottom <= top) return;
  const std::int32_t span = right - left;
  std::uint32_t* row = pixels_.data() + static_cast<std::size_t>(top) * width_ + left;
  // Black and white (every fill the effect makes) are one repeated byte, which
  // memset stores widest.
  const auto byte = static_cast<unsigned char>(pixel);
  if (pixel == byte * 0x01010101u) {
    for (std::int32_t y = top; y < bottom; ++y, row += width_) std::memset(row, byte, sizeof(*row) * span);
    return;
  }
  // Other colours: two pixels per store.
  const std::uint64_t pair = (std::uint64_t{pixel} << 32) | pixel;
  for (std::int32_t y = top; y < bottom; ++y, row += width_) {
    std::int32_t x = 0;
    for (; x + 1 < span; x += 2) std::memcpy(row + x, &pair, sizeof pair);
    if (x < span) row[x] = pixel;
  }
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
  // COLORREF is 0x00BBGGRR; the framebuffer holds 0xXXRRGGBB. The unused top
  // byte repeats blue, so that greys (black and white among them) are one repeated byte.
  const std::uint32_t pixel =
      ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu) | ((color >> 16) & 0xFFu) << 24;
  brushes_.push_back({next_brush_, pixel, true});
  return next_brush_++;
}

int HeadlessScreen::FillRect(HDC hdc, const RECT& rect, HBRUSH brush) {
  if (hdc != kScreenDC) return 0;
  const Brush* b = Find(brush);
  if (b == nullptr) return 0;
  fb_.Fill(rect.left, rect.top, rect.right, rect.bottom, b->pixel);
  return 1;
}

// Brush handles are handed out in sequence, so a handle is its own index.
HeadlessScreen::Brush* HeadlessScreen::Find(HBRUSH brush) {
  const HBRUSH index = brush - kFirstBrush;
  if (index < 0 || index >= static_cast<HBRUSH>(brushes_.size())) return nullptr;
  Brush& b = brushes_[static_cast<std::size_t>(index)];
  return b.alive ? &b : nullptr;
}

bool HeadlessScreen::DeleteObject(HBRUSH object) {
  Brush* b = Find(object);
  if (b == nullptr) return false;
  b->alive = false;
  return true;
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
