// Headless host: the screen is a 32-bit framebuffer in memory.
//  - the desktop window's device context paints into it, clipped to the screen
//  - Form1's window covers the whole screen at 0,0; 15 twips per pixel
//  - ShowCursor keeps a display counter; nothing is shown
//  - Escape is scripted: down from the N-th poll on, or once SIGINT/SIGTERM arrive
//  - any call can be told to fail, so failure paths can be tested
// Tests, benchmarks and image export run on it; it is always built.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/basic_runtime.h"
#include "platform/runtime.h"
#include "platform/windows_api.h"

namespace squarefield {

// Pixels are 0xXXRRGGBB, row by row from the top-left corner; the top byte is
// not part of the colour.
class Framebuffer {
 public:
  Framebuffer(int width, int height)
      : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, 0) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  // The colour at x, y as 0x00RRGGBB.
  std::uint32_t At(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x] & 0xFFFFFFu; }
  const std::vector<std::uint32_t>& Pixels() const { return pixels_; }
  // Fills the part of [left, right) x [top, bottom) that lies on the screen.
  void Fill(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::uint32_t pixel);

 private:
  int width_;
  int height_;
  std::vector<std::uint32_t> pixels_;
};

// What the headless screen does on its own initiative.
struct HeadlessScript {
  // Escape reads as down from this poll on (1 = the first); none: only on a signal.
  std::optional<std::int64_t> escape_from_poll;
  // Calls told to fail, as a real system might.
  bool fail_get_window_dc = false;
  bool fail_create_brush = false;
};

class HeadlessScreen final : public WindowsApi {
 public:
  // Handles are small distinct integers, the same on every run.
  static constexpr HWND kFormWindow = 1;
  static constexpr HWND kDesktopWindow = 2;
  static constexpr HDC kScreenDC = 3;

  HeadlessScreen(Framebuffer& framebuffer, HeadlessScript script) : fb_(framebuffer), script_(script) {}

  HWND GetDesktopWindow() override { return kDesktopWindow; }
  HDC GetWindowDC(HWND hwnd) override;
  int ShowCursor(bool show) override;
  HBRUSH CreateSolidBrush(COLORREF color) override;
  int FillRect(HDC hdc, const RECT& rect, HBRUSH brush) override;
  bool DeleteObject(HBRUSH object) override;
  std::int16_t GetAsyncKeyState(int vKey) override;
  bool SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) override;

  // The host's own clean-up after a runtime error: show the cursor again and
  // free the brushes still alive, through `via` so a trace records it too.
  void Restore(WindowsApi& via);

  int CursorCount() const { return cursor_count_; }
  int LiveBrushes() const;
  std::int64_t Polls() const { return polls_; }
  bool Topmost() const { return topmost_; }
  bool Visible() const { return visible_; }

 private:
  struct Brush {
    HBRUSH handle;
    std::uint32_t pixel;
    bool alive;
  };

  Framebuffer& fb_;
  HeadlessScript script_;
  std::vector<Brush> brushes_;
  Brush* Find(HBRUSH brush);

  static constexpr HBRUSH kFirstBrush = 4;
  HBRUSH next_brush_ = kFirstBrush;
  int cursor_count_ = 0;
  std::int64_t polls_ = 0;
  bool escape_was_down_ = false;
  bool topmost_ = false;
  bool visible_ = false;
};

class HeadlessWindow final : public Window {
 public:
  explicit HeadlessWindow(const Framebuffer& framebuffer) : fb_(framebuffer) {}

  void Load(FormEvents& form) override;
  void Show() override { shown_ = true; }
  void Unload() override;
  HWND hWnd() override { return HeadlessScreen::kFormWindow; }
  float Left() override { return 0; }
  float Top() override { return 0; }
  float Width() override { return static_cast<float>(fb_.Width()) * 15; }
  float Height() override { return static_cast<float>(fb_.Height()) * 15; }
  float ScaleWidth() override { return static_cast<float>(fb_.Width()); }
  float ScaleHeight() override { return static_cast<float>(fb_.Height()); }

  bool Loaded() const { return form_ != nullptr; }
  bool Shown() const { return shown_; }

 private:
  const Framebuffer& fb_;
  FormEvents* form_ = nullptr;
  bool shown_ = false;
};

class HeadlessRuntime final : public BasicRuntime {
 public:
  HeadlessRuntime(const Framebuffer& framebuffer, Clock& clock, std::optional<std::uint64_t> seed)
      : BasicRuntime(clock, seed), fb_(framebuffer) {}

  void DoEvents() override {}
  ScreenObject Screen() override {
    return {static_cast<float>(fb_.Width()) * 15, static_cast<float>(fb_.Height()) * 15, 15, 15};
  }

 private:
  const Framebuffer& fb_;
};

}  // namespace squarefield
