// The eight windowing and drawing calls the program makes, with their own names
// and argument meanings. Each host implements them: the native Windows host by
// calling user32/gdi32, the others over a framebuffer of their own.
#pragma once

#include <cstdint>

namespace squarefield {

// Handles are plain integers here so the core stays free of any OS header.
using HWND = std::intptr_t;
using HDC = std::intptr_t;
using HBRUSH = std::intptr_t;
using COLORREF = std::uint32_t;  // 0x00BBGGRR

// Right and bottom edges are exclusive.
struct RECT {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

inline constexpr HWND HWND_TOPMOST = -1;
inline constexpr std::uint32_t SWP_NOACTIVATE = 0x0010;
inline constexpr std::uint32_t SWP_SHOWWINDOW = 0x0040;
inline constexpr int VK_ESCAPE = 0x1B;

// A way to a host's FillRect without the calls through every layer in
// between: the same function with the same arguments, so the same pixels. The
// frame step makes 802 fills a frame and takes it when it is offered.
struct FillShortcut {
  int (*fill)(void* self, HDC hdc, const RECT& rect, HBRUSH brush) = nullptr;
  void* self = nullptr;
  explicit operator bool() const { return fill != nullptr; }
};

class WindowsApi {
 public:
  virtual ~WindowsApi() = default;

  // Offered by a host whose FillRect may be called directly; a layer that must
  // see every fill (the trace) offers none, and neither does the default.
  virtual FillShortcut Shortcut() { return {}; }

  virtual HWND GetDesktopWindow() = 0;
  // A device context for the whole window, origin at its top-left corner.
  virtual HDC GetWindowDC(HWND hwnd) = 0;
  // Lowers (false) or raises (true) the cursor's display counter; returns the new count.
  virtual int ShowCursor(bool show) = 0;
  virtual HBRUSH CreateSolidBrush(COLORREF color) = 0;
  // Fills left <= x < right, top <= y < bottom; an empty rectangle paints nothing.
  virtual int FillRect(HDC hdc, const RECT& rect, HBRUSH brush) = 0;
  virtual bool DeleteObject(HBRUSH object) = 0;
  // Nonzero when the key is down now or was pressed since the previous call.
  virtual std::int16_t GetAsyncKeyState(int vKey) = 0;
  virtual bool SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy,
                            std::uint32_t flags) = 0;
};

}  // namespace squarefield
