#include "hosts/win32/saver.h"

#include "hosts/win32/lean_windows.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "hosts/win32/saver_resources.h"

namespace squarefield {

namespace {

constexpr wchar_t kKey[] = L"Software\\squarefield";
constexpr wchar_t kValue[] = L"FramesPerSecond";

INT_PTR CALLBACK SettingsProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      const std::uint32_t fps = ReadSaverFps();
      SetDlgItemInt(dialog, IDC_FPS, fps == 0 ? kSaverDefaultFps : fps, FALSE);
      CheckDlgButton(dialog, IDC_UNPACED, fps == 0 ? BST_CHECKED : BST_UNCHECKED);
      EnableWindow(GetDlgItem(dialog, IDC_FPS), fps != 0);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_UNPACED:
          EnableWindow(GetDlgItem(dialog, IDC_FPS), IsDlgButtonChecked(dialog, IDC_UNPACED) != BST_CHECKED);
          return TRUE;
        case IDOK: {
          std::uint32_t fps = 0;
          if (IsDlgButtonChecked(dialog, IDC_UNPACED) != BST_CHECKED) {
            // The box takes any text, so "0.5" reaches us whole and is refused,
            // never read as 5.
            wchar_t text[16] = {};
            const UINT length = GetDlgItemTextW(dialog, IDC_FPS, text, 16);
            bool whole = length > 0 && length < 16;
            for (UINT i = 0; whole && i < length; ++i) {
              whole = text[i] >= L'0' && text[i] <= L'9';
              if (whole) fps = std::min<std::uint32_t>(fps * 10 + static_cast<std::uint32_t>(text[i] - L'0'), kSaverMaxFps + 1);
            }
            if (!whole || fps < 1 || fps > kSaverMaxFps) {
              MessageBoxW(dialog, L"The frame rate is a whole number from 1 to 10000.", L"squarefield",
                          MB_OK | MB_ICONWARNING);
              SetFocus(GetDlgItem(dialog, IDC_FPS));
              return TRUE;
            }
          }
          EndDialog(dialog, WriteSaverFps(fps) ? IDOK : IDCANCEL);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

std::uint32_t ReadSaverFps() {
  DWORD value = 0, type = 0, size = sizeof value;
  const LSTATUS status =
      RegGetValueW(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_ANY, &type, &value, &size);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value || value > kSaverMaxFps)
    return kSaverDefaultFps;
  return value;
}

bool WriteSaverFps(std::uint32_t fps) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const DWORD value = fps;
  const bool ok = RegSetValueExW(key, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
                  ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool ShowSaverSettings(std::optional<std::uint64_t> owner) {
  HWND parent = owner ? reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*owner)) : nullptr;
  if (parent != nullptr && !IsWindow(parent)) parent = nullptr;
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), parent, SettingsProc, 0) == IDOK;
}

bool RunningAsScr() {
  // Paths may be longer than MAX_PATH: grow until the name fits.
  std::vector<wchar_t> path(MAX_PATH);
  DWORD n = 0;
  while ((n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size() &&
         path.size() < 32768)
    path.resize(path.size() * 2);
  return n > 4 && n < path.size() && CompareStringOrdinal(path.data() + n - 4, 4, L".scr", 4, TRUE) == CSTR_EQUAL;
}

bool ClaimSaverInstance() {
  // Held until the process ends; Windows closes it then.
  CreateMutexW(nullptr, TRUE, L"Local\\squarefield-screensaver");
  return GetLastError() != ERROR_ALREADY_EXISTS;
}

}  // namespace squarefield
