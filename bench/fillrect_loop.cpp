// The least a frame costs on Windows: 802 FillRect calls on the screen's device
// context (401 black, 401 white, squares a few pixels wide), with nothing else.
// Beside the program's own frames per second it shows what the drawing call
// itself allows. Usage: fillrect_loop [FRAMES]
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const long frames = argc > 1 ? std::atol(argv[1]) : 2000;
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  HDC dc = GetWindowDC(GetDesktopWindow());
  HBRUSH black = CreateSolidBrush(0x000000), white = CreateSolidBrush(0xFFFFFF);
  unsigned state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u, (state >> 8) & 0xFFFF; };
  const auto t0 = std::chrono::steady_clock::now();
  for (long f = 0; f < frames; ++f)
    for (int i = 0; i < 401; ++i) {
      const int x = static_cast<int>(next() % static_cast<unsigned>(w)), y = static_cast<int>(next() % static_cast<unsigned>(h));
      RECT r{x, y, x + 3, y + 3};
      FillRect(dc, &r, black);
      FillRect(dc, &r, white);
    }
  const double dt = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%ld frames in %.3f s: %.0f frames/s\n", frames, dt, frames / dt);
  DeleteObject(black);
  DeleteObject(white);
  ReleaseDC(GetDesktopWindow(), dc);
  RedrawWindow(nullptr, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  return 0;
}
