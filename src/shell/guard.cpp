#include "shell/guard.h"

#include <algorithm>

namespace squarefield {

std::int16_t RunGuard::GetAsyncKeyState(int vKey) {
  std::int16_t result = inner_.GetAsyncKeyState(vKey);
  if (vKey != VK_ESCAPE) return result;
  ++polls_;
  if (!stopping_ && !(stop_requested_() || (frames_ && polls_ >= *frames_))) {
    if (result != 0 && escape_seen_) escape_seen_();
    return result;
  }
  if (escape_seen_) escape_seen_();
  const bool first = !stopping_;
  stopping_ = true;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(result) | 0x8000u | (first ? 1u : 0u));
}

int RunGuard::ShowCursor(bool show) {
  hidden_ += show ? -1 : 1;
  return inner_.ShowCursor(show);
}

HBRUSH RunGuard::CreateSolidBrush(COLORREF color) {
  const HBRUSH brush = inner_.CreateSolidBrush(color);
  if (brush != 0) brushes_.push_back(brush);
  return brush;
}

bool RunGuard::DeleteObject(HBRUSH object) {
  brushes_.erase(std::remove(brushes_.begin(), brushes_.end(), object), brushes_.end());
  return inner_.DeleteObject(object);
}

void RunGuard::Restore(WindowsApi& via) {
  for (int n = hidden_; n > 0; --n) via.ShowCursor(true);
  for (const HBRUSH brush : std::vector<HBRUSH>(brushes_)) via.DeleteObject(brush);
}

}  // namespace squarefield
