// The call log behind --trace: decorators that write one line per platform call,
// in call order, then pass the call on. Reads of the screen, of window
// properties, Sin and Cos are not logged.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "runtime/runtime.h"
#include "runtime/windows_api.h"

namespace squarefield {

class TraceWriter {
 public:
  explicit TraceWriter(std::FILE* out);
  // Writes a formatted line followed by a newline.
  void Line(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

 private:
  std::FILE* out_;
};

class TracingWindowsApi final : public WindowsApi {
 public:
  TracingWindowsApi(WindowsApi& inner, TraceWriter& trace) : inner_(inner), trace_(trace) {}

  HWND GetDesktopWindow() override;
  HDC GetWindowDC(HWND hwnd) override;
  int ShowCursor(bool show) override;
  HBRUSH CreateSolidBrush(COLORREF color) override;
  int FillRect(HDC hdc, const RECT& rect, HBRUSH brush) override;
  bool DeleteObject(HBRUSH object) override;
  std::int16_t GetAsyncKeyState(int vKey) override;
  bool SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy,
                    std::uint32_t flags) override;

 private:
  WindowsApi& inner_;
  TraceWriter& trace_;
};

class TracingRuntime final : public Runtime {
 public:
  TracingRuntime(Runtime& inner, TraceWriter& trace) : inner_(inner), trace_(trace) {}

  float Rnd() override;
  void Randomize() override;
  void Randomize(float Number) override;
  float Timer() override;
  void DoEvents() override;
  ScreenObject Screen() override { return inner_.Screen(); }

 private:
  Runtime& inner_;
  TraceWriter& trace_;
  float width_ = -1, height_ = -1;  // the screen as last seen, in twips
};

class TracingWindow final : public Window {
 public:
  TracingWindow(Window& inner, TraceWriter& trace) : inner_(inner), trace_(trace) {}

  void Load(FormEvents& form) override { inner_.Load(form); }
  void Show() override;
  void Unload() override;
  HWND hWnd() override { return inner_.hWnd(); }
  float Left() override { return inner_.Left(); }
  float Top() override { return inner_.Top(); }
  float Width() override { return inner_.Width(); }
  float Height() override { return inner_.Height(); }
  float ScaleWidth() override { return inner_.ScaleWidth(); }
  float ScaleHeight() override { return inner_.ScaleHeight(); }

 private:
  Window& inner_;
  TraceWriter& trace_;
};

}  // namespace squarefield

namespace squarefield {

// The services a run uses: the host's own, or the same behind the call log.
class ServiceSet {
 public:
  // With a null `trace`, calls go straight to the host.
  ServiceSet(Runtime& runtime, WindowsApi& api, Window& window, std::FILE* trace);

  Runtime& runtime() { return *runtime_; }
  WindowsApi& api() { return *api_; }
  Window& window() { return *window_; }

 private:
  std::optional<TraceWriter> writer_;
  std::optional<TracingRuntime> traced_runtime_;
  std::optional<TracingWindowsApi> traced_api_;
  std::optional<TracingWindow> traced_window_;
  Runtime* runtime_;
  WindowsApi* api_;
  Window* window_;
};

}  // namespace squarefield
