// Test helper (Windows): posts the window titled ARGV[1] the message a session
// change brings (WM_WTSSESSION_CHANGE), as Windows does when the session is
// locked ("lock") or unlocked ("unlock"). Waits up to 10 s for the window.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <wtsapi32.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[2], "lock") != 0 && std::strcmp(argv[2], "unlock") != 0)) {
    std::fprintf(stderr, "usage: win_message TITLE lock|unlock\n");
    return 2;
  }
  const WPARAM change = std::strcmp(argv[2], "lock") == 0 ? WTS_SESSION_LOCK : WTS_SESSION_UNLOCK;
  for (int i = 0; i < 100; ++i) {
    if (HWND hwnd = FindWindowA(nullptr, argv[1])) {
      PostMessageA(hwnd, WM_WTSSESSION_CHANGE, change, 1);
      return 0;
    }
    Sleep(100);
  }
  std::fprintf(stderr, "win_message: no window titled %s\n", argv[1]);
  return 1;
}
