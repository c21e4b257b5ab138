// Start-up, the main loop and shut-down of the window class (spawning in
// spawn.cpp, the frame step in frame.cpp).
#include "app/form1.h"

#include "runtime/conversions.h"

namespace squarefield {

void Form1::Form_Load() {
  InProcedure("Form_Load", [&] {
    Particles.Allocate(kLastParticle);
    AlwaysOnTop(Me_);
    ScreenDC = api_.GetWindowDC(api_.GetDesktopWindow());
    api_.ShowCursor(false);
    Brushes(0) = api_.CreateSolidBrush(0x000000);
    Brushes(1) = api_.CreateSolidBrush(0xFFFFFF);
    rt_.Randomize();
    for (std::int16_t i = 0; i <= kLastParticle; i = Increment(i)) ReDimVar(i);
    Me_.Show();
    StartDoLoop();
  });
}

void Form1::AlwaysOnTop(Window& myfrm) {
  InProcedure("AlwaysOnTop", [&] {
    const HWND hwnd = myfrm.hWnd();
    const ScreenObject screen = rt_.Screen();
    const std::int32_t x = CLng(Divide(myfrm.Left(), screen.TwipsPerPixelX));
    const std::int32_t y = CLng(Divide(myfrm.Top(), screen.TwipsPerPixelY));
    const std::int32_t cx = CLng(Divide(myfrm.Width(), screen.TwipsPerPixelX));
    const std::int32_t cy = CLng(Divide(myfrm.Height(), screen.TwipsPerPixelY));
    // The placement also shows the window, without taking the focus.
    api_.SetWindowPos(hwnd, HWND_TOPMOST, x, y, cx, cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  });
}

void Form1::StartDoLoop() {
  InProcedure("StartDoLoop", [&] {
    Running = true;
    while (Running) {
      // A press seen now still lets this frame finish before the loop ends.
      if (api_.GetAsyncKeyState(VK_ESCAPE) != 0) Running = false;
      Draw();
      rt_.DoEvents();
    }
    Me_.Unload();
  });
}

void Form1::Form_Unload(std::int16_t& /*Cancel*/) {
  InProcedure("Form_Unload", [&] {
    api_.ShowCursor(true);
    api_.DeleteObject(Brushes(0));
    api_.DeleteObject(Brushes(1));
  });
}

}  // namespace squarefield
