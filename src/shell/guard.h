// The layer every run puts over a host's windowing and drawing calls: every
// request to stop read as Escape, and a ledger of what must be given back (the
// cursor, the brushes) if the run ends early.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "runtime/windows_api.h"

namespace squarefield {

// Passes every call on unchanged; decorators override what they watch.
class ForwardingApi : public WindowsApi {
 public:
  explicit ForwardingApi(WindowsApi& inner) : inner_(inner) {}
  // Fills pass through unwatched, so the host's shortcut holds.
  FillShortcut Shortcut() override { return inner_.Shortcut(); }
  HWND GetDesktopWindow() override { return inner_.GetDesktopWindow(); }
  HDC GetWindowDC(HWND hwnd) override { return inner_.GetWindowDC(hwnd); }
  int ShowCursor(bool show) override { return inner_.ShowCursor(show); }
  HBRUSH CreateSolidBrush(COLORREF color) override { return inner_.CreateSolidBrush(color); }
  int FillRect(HDC hdc, const RECT& rect, HBRUSH brush) override { return inner_.FillRect(hdc, rect, brush); }
  bool DeleteObject(HBRUSH object) override { return inner_.DeleteObject(object); }
  std::int16_t GetAsyncKeyState(int vKey) override { return inner_.GetAsyncKeyState(vKey); }
  bool SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) override {
    return inner_.SetWindowPos(hwnd, insertAfter, x, y, cx, cy, flags);
  }

 protected:
  WindowsApi& inner_;
};

// What every run puts between Form1 and a host, in one layer (one call more
// per fill, not two):
//  - a stop request (a signal, a closed window, the last of --frames) reads as
//    Escape pressed and held from then on: down (0x8000), and on the first
//    poll that sees it, pressed since the last poll (0x0001) too. So every way
//    out takes the effect's own shut-down path.
//  - a ledger of the cursor's display changes and the brushes alive, so a run
//    that ends early can give them back.
class RunGuard final : public ForwardingApi {
 public:
  RunGuard(WindowsApi& inner, std::function<bool()> stop_requested, std::optional<std::int64_t> frames)
      : ForwardingApi(inner), stop_requested_(std::move(stop_requested)), frames_(frames) {}
  // Called when the program is told Escape is down or was pressed: its loop
  // ends after this frame, so nothing should wait for the next one.
  void OnEscapeSeen(std::function<void()> seen) { escape_seen_ = std::move(seen); }

  std::int16_t GetAsyncKeyState(int vKey) override;
  int ShowCursor(bool show) override;
  HBRUSH CreateSolidBrush(COLORREF color) override;
  bool DeleteObject(HBRUSH object) override;

  // Shows the cursor as often as it was hidden and deletes every live brush,
  // through `via` (the traced calls, so a trace records it too).
  void Restore(WindowsApi& via);

 private:
  std::function<bool()> stop_requested_;
  std::function<void()> escape_seen_;
  std::optional<std::int64_t> frames_;
  std::int64_t polls_ = 0;
  bool stopping_ = false;
  int hidden_ = 0;
  std::vector<HBRUSH> brushes_;
};

}  // namespace squarefield
