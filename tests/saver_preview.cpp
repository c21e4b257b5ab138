// Test helper (Windows): the screensaver's preview as the Screen Saver settings
// run it. Makes a 152x112 window and, in this process, checks what the preview
// host reports for it and that it draws a field there; then starts `SCR /p <hwnd>` and checks that its child
// window covers the client area and belongs to the saver's process, and that
// destroying the window ends the saver with status 0 within 2 s.
// Usage: saver_preview path\to\squarefield.scr
//        saver_preview --monitors   (prints how many monitors there are)
// Ours first: <windows.h> defines names of ours (HWND_TOPMOST, VK_ESCAPE) as macros.
#include "hosts/host.h"

#include "hosts/win32/lean_windows.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "shell/run.h"

namespace {

int failures = 0;
void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what);
    ++failures;
  }
}

void PumpFor(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (GetTickCount() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
}

// The preview host as a run sees it, counting the white pixels of the preview
// window after the 20th frame: the pixels drawn in this process, as Wine shows them.
class PeekingHost final : public squarefield::Host {
 public:
  explicit PeekingHost(squarefield::Host& inner) : inner_(inner) {}
  squarefield::WindowsApi& Api() override { return inner_.Api(); }
  squarefield::Window& FormWindow() override { return inner_.FormWindow(); }
  squarefield::ScreenObject Screen() override { return inner_.Screen(); }
  const squarefield::Framebuffer* Pixels() const override { return inner_.Pixels(); }
  void Finish() override { inner_.Finish(); }
  std::optional<squarefield::Failure> Pump() override { return inner_.Pump(); }
  double RefreshRate() const override { return inner_.RefreshRate(); }
  bool InputPending() const override { return inner_.InputPending(); }
  std::optional<squarefield::Failure> Present() override { return inner_.Present(); }
  bool Unseen() override { return inner_.Unseen(); }
  void Sleep(double seconds) override { inner_.Sleep(seconds); }
  // Every frame starts here (the presents are at most one a refresh); the
  // preview paints its window as it draws, so what the 20th frame finds is shown.
  void CountFrame() override {
    inner_.CountFrame();
    if (++frames_ != 20) return;
    HWND preview = reinterpret_cast<HWND>(inner_.Api().GetDesktopWindow());
    HDC dc = GetWindowDC(preview);
    for (int y = 0; y < 112; ++y)
      for (int x = 0; x < 152; ++x) {
        const COLORREF c = GetPixel(dc, x, y);
        white += c == RGB(255, 255, 255);
        black += c == RGB(0, 0, 0);
      }
    ReleaseDC(preview, dc);
  }
  int white = 0, black = 0;

 private:
  squarefield::Host& inner_;
  int frames_ = 0;
};

HWND MakeParent() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"preview-parent";
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  RegisterClassW(&wc);
  RECT r{0, 0, 152, 112};
  AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
  HWND parent = CreateWindowW(L"preview-parent", L"preview", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
  PumpFor(200);
  return parent;
}

}  // namespace

int main(int argc, char** argv) {
  // --orphan SCR: start the preview, then end without destroying its parent.
  const bool orphan = argc == 3 && std::string(argv[1]) == "--orphan";
  if (orphan) ++argv, --argc;
  if (argc != 2) return 2;
  if (std::string(argv[1]) == "--desktop") {
    std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(GetDesktopWindow())));
    return 0;
  }
  if (std::string(argv[1]) == "--notepad") {
    // Another program's main window, for the test that a preview refuses it.
    std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(FindWindowW(L"Notepad", nullptr))));
    return 0;
  }
  if (std::string(argv[1]) == "--console") {
    // A console's window (one of our own, made here), for the test that a preview refuses it.
    AllocConsole();
    std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(GetConsoleWindow())));
    std::fflush(stdout);
    Sleep(15000);  // long enough for the saver to be given it
    return 0;
  }
  if (std::string(argv[1]) == "--monitors") {
    // How many monitors Windows sees, for the two-monitor test.
    int count = 0;
    EnumDisplayMonitors(
        nullptr, nullptr, [](HMONITOR, HDC, LPRECT, LPARAM data) { return ++*reinterpret_cast<int*>(data), TRUE; },
        reinterpret_cast<LPARAM>(&count));
    std::printf("%d\n", count);
    return 0;
  }

  // In this process: the preview host sees the parent's client area as its screen and window.
  if (!orphan) {
    HWND parent = MakeParent();
    squarefield::HostConfig config;
    config.into_window = reinterpret_cast<std::uintptr_t>(parent);
    auto host = std::move(squarefield::OpenDesktopHost(config).host);
    Check(host != nullptr, "the preview host did not open");
    if (host) {
      const auto screen = host->Screen();
      Check(screen.Width / screen.TwipsPerPixelX == 152 && screen.Height / screen.TwipsPerPixelY == 112,
            "Screen is not the preview's 152x112");
      Check(host->FormWindow().ScaleWidth() == 152 && host->FormWindow().ScaleHeight() == 112,
            "the form's inner size is not 152x112");
      Check(host->Api().GetDesktopWindow() != reinterpret_cast<std::intptr_t>(GetDesktopWindow()),
            "the preview paints on the real desktop");
      PeekingHost peeking(*host);
      squarefield::RunConfig run;
      run.frames = 30;
      run.fps = 200;
      Check(!squarefield::RunEffect(peeking, run), "the preview's run failed");
      std::printf("preview after 20 frames: %d white and %d black pixels of 152x112\n", peeking.white, peeking.black);
      Check(peeking.white > 0 && peeking.black > 152 * 112 / 2, "the preview does not show a field of squares");
    }
    DestroyWindow(parent);
  }

  // The real saver, as the settings start it.
  HWND parent = MakeParent();
  std::wstring command = L"\"";
  for (const char* c = argv[1]; *c; ++c) command += static_cast<wchar_t>(*c);
  command += L"\" /p " + std::to_wstring(reinterpret_cast<std::uintptr_t>(parent));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("FAIL: could not start %s\n", argv[1]);
    return 1;
  }
  HWND child = nullptr;
  for (int i = 0; i < 100 && child == nullptr; ++i) {
    PumpFor(100);
    child = GetWindow(parent, GW_CHILD);
  }
  Check(child != nullptr, "no preview window appeared in the parent within 10 s");
  if (child) {
    RECT client{}, shown{};
    GetClientRect(parent, &client);
    MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&client), 2);
    GetWindowRect(child, &shown);
    Check(EqualRect(&client, &shown), "the preview does not cover the parent's client area");
    DWORD owner = 0;
    GetWindowThreadProcessId(child, &owner);
    Check(owner == pi.dwProcessId, "the preview window is not the saver's own");
    // The settings' window resized: the preview follows.
    RECT bigger{0, 0, 200, 150};
    AdjustWindowRect(&bigger, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(parent, nullptr, 0, 0, bigger.right - bigger.left, bigger.bottom - bigger.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    RECT inner{};
    for (int i = 0; i < 30; ++i) {
      PumpFor(100);
      GetClientRect(child, &inner);
      if (inner.right == 200 && inner.bottom == 150) break;
    }
    Check(inner.right == 200 && inner.bottom == 150, "the preview did not follow its parent to 200x150");
  }
  if (orphan) {
    // The settings' process ends without taking its window down first.
    std::printf("leaving the preview behind\n");
    std::fflush(stdout);
    ExitProcess(0);
  }
  PumpFor(1000);
  DestroyWindow(parent);
  DWORD status = 99;
  const DWORD waited = WaitForSingleObject(pi.hProcess, 2000);
  Check(waited == WAIT_OBJECT_0, "the saver did not end within 2 s of its window going away");
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  GetExitCodeProcess(pi.hProcess, &status);
  Check(status == 0, "the saver did not end with status 0");
  std::printf("saver_preview: %d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
