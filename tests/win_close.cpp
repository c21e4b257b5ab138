// Test helper (Windows): asks the window titled ARGV[1] to close, as Alt+F4
// would, by posting it WM_CLOSE. Waits up to 10 s for the window to appear.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: win_close TITLE\n");
    return 2;
  }
  for (int i = 0; i < 100; ++i) {
    if (HWND hwnd = FindWindowA(nullptr, argv[1])) {
      PostMessageA(hwnd, WM_CLOSE, 0, 0);
      return 0;
    }
    Sleep(100);
  }
  std::fprintf(stderr, "win_close: no window titled %s\n", argv[1]);
  return 1;
}
