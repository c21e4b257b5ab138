// The runtime services the window class relies on: window hosting, random
// numbers, the clock, trigonometry, the event pump and the screen metrics.
// Hosts implement the parts that differ (see basic_runtime.h for the shared ones).
#pragma once

#include <cstdint>

#include "runtime/windows_api.h"

namespace squarefield {

// The load and unload handlers the runtime raises on a hosted window class.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  virtual void Form_Load() = 0;
  // Cancel left at 0 lets the unload proceed.
  virtual void Form_Unload(std::int16_t& Cancel) = 0;
};

// The screen in twips (1/1440 of a logical inch); all four are single precision.
struct ScreenObject {
  float Width = 0;
  float Height = 0;
  float TwipsPerPixelX = 15;
  float TwipsPerPixelY = 15;
};

// The window the runtime hosts for a window class.
class Window {
 public:
  virtual ~Window() = default;

  // Creates the window for `form` and raises its load event; returns when the
  // load handler has returned.
  virtual void Load(FormEvents& form) = 0;
  virtual void Show() = 0;
  // Raises the unload event, then returns to the caller.
  virtual void Unload() = 0;

  virtual HWND hWnd() = 0;
  // Position and size in twips.
  virtual float Left() = 0;
  virtual float Top() = 0;
  virtual float Width() = 0;
  virtual float Height() = 0;
  // Inner size in the window's scale units (pixels on every host here).
  virtual float ScaleWidth() = 0;
  virtual float ScaleHeight() = 0;
};

class Runtime {
 public:
  virtual ~Runtime() = default;

  // The generator's next number, 0 <= r < 1.
  virtual float Rnd() = 0;
  // Seeds the generator from the clock.
  virtual void Randomize() = 0;
  // Folds Number into the generator; the same number twice does not restart the sequence.
  virtual void Randomize(float Number) = 0;
  // Seconds since local midnight. (Sin and Cos are shared by every host: runtime/trig.h.)
  virtual float Timer() = 0;
  virtual void DoEvents() = 0;
  virtual ScreenObject Screen() = 0;
};

}  // namespace squarefield
