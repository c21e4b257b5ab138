#include "hosts/win32/win32_host.h"

#include <cwchar>

#include "runtime/stop_request.h"

#include <wtsapi32.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>

namespace squarefield {

namespace {
constexpr wchar_t kClassName[] = L"squarefield";
// GUID_CONSOLE_DISPLAY_STATE: the console's displays on, off or dimmed.
constexpr GUID kConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};

::HWND ToHwnd(squarefield::HWND h) { return reinterpret_cast<::HWND>(h); }
::HDC ToHdc(HDC h) { return reinterpret_cast<::HDC>(h); }
::HBRUSH ToHbrush(HBRUSH h) { return reinterpret_cast<::HBRUSH>(h); }
}  // namespace

// A preview's parent: a window, and one made to hold a preview; `error` says why not.
bool Win32Session::TakePreviewParent(std::uint64_t handle, std::string& error) {
  // A preview: the parent must be a window, or nothing is shown at all.
  parent_ = reinterpret_cast<::HWND>(static_cast<std::uintptr_t>(handle));
  if (!IsWindow(parent_)) {
    error = "there is no window " + std::to_string(handle) + " to draw the preview in";
    no_such_window = true;
    return false;
  }
  // The desktop is no preview's frame: a full-screen field there would have
  // no key, click or close to end it.
  if (parent_ == ::GetDesktopWindow() || parent_ == GetShellWindow()) {
    error = "window " + std::to_string(handle) + " is the desktop, not a preview's frame";
    return false;
  }
  // Nor is a console's window (the console host's, with a prompt in it): a
  // preview there would draw over the text and end only with the console.
  wchar_t kind[64] = {};
  GetClassNameW(parent_, kind, 64);
  for (const wchar_t* console : {L"ConsoleWindowClass", L"PseudoConsoleWindow", L"WineConsoleClass"})
    if (std::wcscmp(kind, console) == 0) {
      error = "window " + std::to_string(handle) + " is a console's window, not a preview's frame";
      return false;
    }
  // Nor is another program's main window: the settings' preview is a child
  // window, and a frame made to hold a preview has no windows of its own.
  DWORD owner = 0;
  GetWindowThreadProcessId(parent_, &owner);
  if (!(GetWindowLongW(parent_, GWL_STYLE) & WS_CHILD) && owner != GetCurrentProcessId() &&
      GetWindow(parent_, GW_CHILD) != nullptr) {
    error = "window " + std::to_string(handle) + " is another program's window, not a preview's frame";
    return false;
  }
  preview_ = true;
  return true;
}

// Ours: a child covering a preview's parent, or a popup on the screen, the
// virtual screen (a screensaver over every monitor) or a window's worth of it.
void Win32Session::CreateOurWindow(const HostConfig& config, HINSTANCE instance) {
  if (preview_) {
    ::RECT r{};
    GetClientRect(parent_, &r);
    hwnd_ = CreateWindowExW(0, kClassName, L"squarefield", WS_CHILD | WS_VISIBLE, 0, 0, r.right - r.left,
                            r.bottom - r.top, parent_, nullptr, instance, this);
  } else {
    const int screen_w = GetSystemMetrics(SM_CXSCREEN), screen_h = GetSystemMetrics(SM_CYSCREEN);
    int x = 0, y = 0, w = screen_w, h = screen_h;
    if (saver_) {
      // Every monitor: one field spanning the virtual screen.
      x = origin_x_ = GetSystemMetrics(SM_XVIRTUALSCREEN);
      y = origin_y_ = GetSystemMetrics(SM_YVIRTUALSCREEN);
      w = GetSystemMetrics(SM_CXVIRTUALSCREEN);
      h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
      GetCursorPos(&start_cursor_);
    } else if (config.windowed) {
      w = std::min(kWindowWidth, screen_w);
      h = std::min(kWindowHeight, screen_h);
      x = (screen_w - w) / 2;
      y = (screen_h - h) / 2;
    }
    // A tool window gets no taskbar button; the placement call shows it.
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"squarefield", WS_POPUP, x, y, w, h, nullptr, nullptr,
                            instance, this);
  }
}

bool Win32Session::Open(const HostConfig& config, std::string& error) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  saver_ = config.saver;
  if (config.into_window && !TakePreviewParent(*config.into_window, error)) return false;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = static_cast<::HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    error = "the window class could not be registered";
    return false;
  }

  CreateOurWindow(config, instance);
  if (hwnd_ == nullptr) {
    error = "the window could not be created";
    return false;
  }
  ReadClientSize();
  if (!preview_) {
    // Told when every display goes off or on, and when the session is locked
    // or disconnected: nothing is seen then.
    power_notify_ = RegisterPowerSettingNotification(hwnd_, &kConsoleDisplayState, DEVICE_NOTIFY_WINDOW_HANDLE);
    WTSRegisterSessionNotification(hwnd_, NOTIFY_FOR_THIS_SESSION);
  }

  const ::HDC screen = ::GetDC(nullptr);
  const int dpi_x = GetDeviceCaps(screen, LOGPIXELSX), dpi_y = GetDeviceCaps(screen, LOGPIXELSY);
  const int hz = GetDeviceCaps(screen, VREFRESH);
  if (hz > 1) refresh_hz_ = hz;
  ::ReleaseDC(nullptr, screen);
  if (dpi_x > 0) tpp_x_ = 1440.0f / static_cast<float>(dpi_x);
  if (dpi_y > 0) tpp_y_ = 1440.0f / static_cast<float>(dpi_y);
  return true;
}

Win32Session::~Win32Session() { Close(); }

bool Win32Session::Unseen() const {
  if (hwnd_ == nullptr) return false;
  if (preview_) return !IsWindowVisible(hwnd_);
  return displays_off_ || session_away_;
}

void Win32Session::Sleep(double seconds) const {
  // Any message (a key, the session unlocked, the displays back on) ends it.
  MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(seconds * 1000), QS_ALLINPUT);
}

void Win32Session::Close() {
  if (hwnd_ == nullptr) return;
  const ::HWND hwnd = hwnd_;
  hwnd_ = nullptr;
  if (power_notify_) UnregisterPowerSettingNotification(static_cast<HPOWERNOTIFY>(power_notify_));
  power_notify_ = nullptr;
  if (!preview_) WTSUnRegisterSessionNotification(hwnd);
  DestroyWindow(hwnd);
}

void Win32Session::Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) RequestStop();
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (preview_) FollowParent();
}

void Win32Session::FollowParent() {
  // The parent may belong to a process that ended, taking the window with it
  // but sending our child nothing: ask every time.
  if (!IsWindow(parent_)) {
    RequestStop();
    return;
  }
  ::RECT r{};
  if (!GetClientRect(parent_, &r) || hwnd_ == nullptr) return;
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w != client_w_ || h != client_h_) MoveWindow(hwnd_, 0, 0, w, h, TRUE);
}

void Win32Session::Refresh() {
  if (preview_) {
    // The preview's screen is its own small window.
    screen_w_ = client_w_;
    screen_h_ = client_h_;
    return;
  }
  if (!metrics_stale_) return;
  metrics_stale_ = false;
  screen_w_ = GetSystemMetrics(saver_ ? SM_CXVIRTUALSCREEN : SM_CXSCREEN);
  screen_h_ = GetSystemMetrics(saver_ ? SM_CYVIRTUALSCREEN : SM_CYSCREEN);
}

void Win32Session::ReadClientSize() {
  ::RECT r{};
  if (hwnd_ && GetClientRect(hwnd_, &r)) {
    client_w_ = r.right - r.left;
    client_h_ = r.bottom - r.top;
  }
}

// A key, a button, the wheel or the mouse: a screensaver ends when the user
// comes back; the program polls Escape itself, and this only ends a paced wait for it.
void Win32Session::UserInput(UINT message, WPARAM wparam) {
  if (message == WM_KEYDOWN && wparam == VK_ESCAPE) escape_seen = true;
  if (!saver_) return;
  if (message == WM_MOUSEMOVE) {
    POINT now{};
    GetCursorPos(&now);
    if (std::abs(now.x - start_cursor_.x) <= kPointerJitter && std::abs(now.y - start_cursor_.y) <= kPointerJitter) return;
  }
  RequestStop();
}

// Every display off or on, the session locked, unlocked, disconnected or back.
void Win32Session::SeenChange(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_POWERBROADCAST && wparam == PBT_POWERSETTINGCHANGE && lparam != 0) {
    const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lparam);
    // 0: off, 1: on, 2: dimmed (still seen).
    if (IsEqualGUID(setting->PowerSetting, kConsoleDisplayState) && setting->DataLength >= sizeof(DWORD))
      displays_off_ = *reinterpret_cast<const DWORD*>(setting->Data) == 0;
  }
  if (message != WM_WTSSESSION_CHANGE) return;
  if (wparam == WTS_SESSION_LOCK || wparam == WTS_CONSOLE_DISCONNECT || wparam == WTS_REMOTE_DISCONNECT)
    session_away_ = true;
  if (wparam == WTS_SESSION_UNLOCK || wparam == WTS_CONSOLE_CONNECT || wparam == WTS_REMOTE_CONNECT)
    session_away_ = false;
}

LRESULT CALLBACK Win32Session::WindowProc(::HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* session = reinterpret_cast<Win32Session*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_CLOSE:
      // Alt+F4 and the like end the loop as Escape does; the window goes when
      // the program unloads it, not before.
      if (session) RequestStop();
      return 0;
    case WM_SIZE:
      if (session) {
        session->client_w_ = LOWORD(lparam);
        session->client_h_ = HIWORD(lparam);
      }
      return 0;
    case WM_DISPLAYCHANGE:
    case WM_SETTINGCHANGE:
    case 0x02E0:  // WM_DPICHANGED
      if (session) session->metrics_stale_ = true;
      return DefWindowProcW(hwnd, message, wparam, lparam);
    case WM_ACTIVATEAPP:
      // Another program took the screen (a message box over the saver): a
      // screensaver ends rather than paint over it and take its keys.
      if (session && session->saver_ && wparam == FALSE) RequestStop();
      return DefWindowProcW(hwnd, message, wparam, lparam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case 0x020E:  // WM_MOUSEHWHEEL
    case WM_MOUSEMOVE:
      if (session) session->UserInput(message, wparam);
      return DefWindowProcW(hwnd, message, wparam, lparam);
    case WM_DESTROY:
      // A preview's parent went away, taking its child with it.
      if (session && session->preview_) RequestStop();
      return 0;
    case WM_POWERBROADCAST:
    case WM_WTSSESSION_CHANGE:
      if (session) session->SeenChange(message, wparam, lparam);
      return message == WM_POWERBROADCAST ? TRUE : 0;
    case WM_QUERYENDSESSION:
    case WM_ENDSESSION:
      if (session) RequestStop();
      return TRUE;
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

squarefield::HWND Win32Api::GetDesktopWindow() {
  // A preview's whole screen is its child window.
  if (session_.Preview()) return reinterpret_cast<squarefield::HWND>(session_.Handle());
  return reinterpret_cast<squarefield::HWND>(::GetDesktopWindow());
}

HDC Win32Api::GetWindowDC(squarefield::HWND hwnd) {
  const ::HDC dc = ::GetWindowDC(ToHwnd(hwnd));
  if (dc) {
    dcs_.emplace_back(ToHwnd(hwnd), dc);
    // The field's 0,0 is the virtual screen's corner, which may lie left of or
    // above the primary monitor's.
    if (session_.Saver()) SetViewportOrgEx(dc, session_.OriginX(), session_.OriginY(), nullptr);
  }
  return reinterpret_cast<HDC>(dc);
}

int Win32Api::ShowCursor(bool show) {
  if (session_.Preview()) return preview_cursor_ += show ? 1 : -1;
  return ::ShowCursor(show ? TRUE : FALSE);
}

HBRUSH Win32Api::CreateSolidBrush(COLORREF color) {
  return reinterpret_cast<HBRUSH>(::CreateSolidBrush(color));
}

int Win32Api::FillRect(HDC hdc, const squarefield::RECT& rect, HBRUSH brush) {
  const ::RECT r{rect.left, rect.top, rect.right, rect.bottom};
  return ::FillRect(ToHdc(hdc), &r, ToHbrush(brush));
}

bool Win32Api::DeleteObject(HBRUSH object) {
  return ::DeleteObject(reinterpret_cast<HGDIOBJ>(object)) != 0;
}

std::int16_t Win32Api::GetAsyncKeyState(int vKey) {
  if (vKey == VK_ESCAPE) session_.escape_seen = false;
  // Keys pressed in the settings dialog are not the preview's.
  if (session_.Preview()) return 0;
  return ::GetAsyncKeyState(vKey);
}

bool Win32Api::SetWindowPos(squarefield::HWND hwnd, squarefield::HWND insertAfter, int x, int y, int cx, int cy,
                               std::uint32_t flags) {
  // A preview stays where the settings put it, inside their window.
  if (session_.Preview()) return true;
  return ::SetWindowPos(ToHwnd(hwnd), ToHwnd(insertAfter), x, y, cx, cy, flags) != 0;
}

void Win32Api::RepaintAndRelease() {
  for (const auto& [hwnd, dc] : dcs_) ::ReleaseDC(hwnd, dc);
  dcs_.clear();
  RedrawWindow(nullptr, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32Window::Show() {
  // A preview is shown inside the settings' window and must not take their focus.
  if (session_.Handle() == nullptr || session_.Preview()) return;
  ShowWindow(session_.Handle(), SW_SHOW);
  // Escape is read from the keyboard state, so focus is not needed; still,
  // bring the window forward as a shown form would be.
  SetForegroundWindow(session_.Handle());
}

::RECT Win32Window::Rect() const {
  ::RECT r{};
  if (session_.Handle()) GetWindowRect(session_.Handle(), &r);
  return r;
}

ScreenObject Win32Host::Screen() {
  return {static_cast<float>(session_->ScreenWidth()) * session_->TwipsPerPixelX(),
          static_cast<float>(session_->ScreenHeight()) * session_->TwipsPerPixelY(), session_->TwipsPerPixelX(),
          session_->TwipsPerPixelY()};
}

Opened OpenWin32Host(const HostConfig& config) {
  if (config.into_root) return Opened::Failed(OpenFailure::Kind::Refused, "--root is for X11 displays");
  auto session = std::make_unique<Win32Session>();
  std::string error;
  if (!session->Open(config, error))
    return Opened::Failed(session->no_such_window ? OpenFailure::Kind::NoSuchWindow : OpenFailure::Kind::Refused, error);
  // Windows remembers a press of Escape since anyone last asked, however long
  // ago (say, the one that closed the settings dialog): ask once now, so that
  // only a press after the start ends the run. A key held down still does.
  ::GetAsyncKeyState(VK_ESCAPE);
  return {std::make_unique<Win32Host>(std::move(session)), {}};
}

}  // namespace squarefield
