#include "shell/trace.h"

#include <cinttypes>
#include <cstdarg>

namespace squarefield {

// Singles are printed with %.9g, which reads back to the same float.
TraceWriter::TraceWriter(std::FILE* out) : out_(out) {}

void TraceWriter::Line(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vfprintf(out_, format, args);
  va_end(args);
  std::fputc('\n', out_);
}

HWND TracingWindowsApi::GetDesktopWindow() {
  const HWND result = inner_.GetDesktopWindow();
  trace_.Line("GetDesktopWindow -> %" PRIdPTR, result);
  return result;
}

HDC TracingWindowsApi::GetWindowDC(HWND hwnd) {
  const HDC result = inner_.GetWindowDC(hwnd);
  trace_.Line("GetWindowDC %" PRIdPTR " -> %" PRIdPTR, hwnd, result);
  return result;
}

int TracingWindowsApi::ShowCursor(bool show) {
  const int result = inner_.ShowCursor(show);
  trace_.Line("ShowCursor %d -> %d", show ? 1 : 0, result);
  return result;
}

HBRUSH TracingWindowsApi::CreateSolidBrush(COLORREF color) {
  const HBRUSH result = inner_.CreateSolidBrush(color);
  trace_.Line("CreateSolidBrush 0x%06" PRIX32 " -> %" PRIdPTR, color, result);
  return result;
}

int TracingWindowsApi::FillRect(HDC hdc, const RECT& rect, HBRUSH brush) {
  trace_.Line("FillRect %" PRIdPTR " %" PRId32 " %" PRId32 " %" PRId32 " %" PRId32 " %" PRIdPTR, hdc,
              rect.left, rect.top, rect.right, rect.bottom, brush);
  return inner_.FillRect(hdc, rect, brush);
}

bool TracingWindowsApi::DeleteObject(HBRUSH object) {
  trace_.Line("DeleteObject %" PRIdPTR, object);
  return inner_.DeleteObject(object);
}

std::int16_t TracingWindowsApi::GetAsyncKeyState(int vKey) {
  const std::int16_t result = inner_.GetAsyncKeyState(vKey);
  trace_.Line("GetAsyncKeyState %d -> %d", vKey, static_cast<int>(result));
  return result;
}

bool TracingWindowsApi::SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy,
                                     std::uint32_t flags) {
  trace_.Line("SetWindowPos %" PRIdPTR " %" PRIdPTR " %d %d %d %d 0x%04" PRIX32, hwnd, insertAfter, x, y,
              cx, cy, flags);
  return inner_.SetWindowPos(hwnd, insertAfter, x, y, cx, cy, flags);
}

float TracingRuntime::Rnd() {
  const float result = inner_.Rnd();
  trace_.Line("Rnd -> %.9g", static_cast<double>(result));
  return result;
}

void TracingRuntime::Randomize() {
  trace_.Line("Randomize");
  inner_.Randomize();
}

void TracingRuntime::Randomize(float Number) {
  trace_.Line("Randomize %.9g", static_cast<double>(Number));
  inner_.Randomize(Number);
}

float TracingRuntime::Timer() {
  const float result = inner_.Timer();
  trace_.Line("Timer -> %.9g", static_cast<double>(result));
  return result;
}

void TracingRuntime::DoEvents() {
  trace_.Line("DoEvents");
  if (width_ < 0) {
    const ScreenObject before = inner_.Screen();
    width_ = before.Width;
    height_ = before.Height;
  }
  inner_.DoEvents();
  // A screen that changed size (a window resized, a monitor added) is worth a
  // comment: the field is laid out anew from the next frame.
  const ScreenObject after = inner_.Screen();
  if (after.Width != width_ || after.Height != height_) {
    width_ = after.Width;
    height_ = after.Height;
    trace_.Line("# screen %.0fx%.0f", after.Width / after.TwipsPerPixelX, after.Height / after.TwipsPerPixelY);
  }
}

void TracingWindow::Show() {
  trace_.Line("Show");
  inner_.Show();
}

void TracingWindow::Unload() {
  trace_.Line("Unload");
  inner_.Unload();
}

}  // namespace squarefield

namespace squarefield {

ServiceSet::ServiceSet(Runtime& runtime, WindowsApi& api, Window& window, std::FILE* trace)
    : runtime_(&runtime), api_(&api), window_(&window) {
  if (trace == nullptr) return;
  writer_.emplace(trace);
  runtime_ = &traced_runtime_.emplace(runtime, *writer_);
  api_ = &traced_api_.emplace(api, *writer_);
  window_ = &traced_window_.emplace(window, *writer_);
}

}  // namespace squarefield
