// The program's one window class: it owns the particle field, the screen's
// device context, the two brushes and the main loop. Its load handler is the
// whole program, from start-up to unload.
#pragma once

#include <array>
#include <cstdint>

#include "app/direction.h"
#include "app/particle.h"
#include "runtime/bounded_array.h"
#include "runtime/runtime.h"
#include "runtime/windows_api.h"

namespace squarefield {

class Form1 final : public FormEvents {
 public:
  static constexpr int kLastParticle = 400;  // indices 0 to 400: 401 particles
  // Degrees to radians with pi taken as 3.14159265, folded into one constant.
  static constexpr double F = 3.14159265 / 180;

  // `Me` is the window the runtime hosts for this class.
  Form1(Runtime& runtime, WindowsApi& api, Window& Me) : rt_(runtime), api_(api), Me_(Me) {}

  // Event handlers.
  void Form_Load() override;
  void Form_Unload(std::int16_t& Cancel) override;

  // Procedures of the window class.
  void AlwaysOnTop(Window& myfrm);
  void StartDoLoop();
  double Degree(double Number) const { return Number * F; }
  void ReDimVar(std::int16_t Index);
  void Draw();

  // State, in declaration order.
  BoundedArray<Particle> Particles;
  bool Running = false;
  std::int16_t Radius = 0;
  HDC ScreenDC = 0;
  BoundedArray<HBRUSH> Brushes{1};  // 0: black, to erase; 1: white, to paint
  std::int16_t Counter = 0;
  RECT DrawRect;

  // The services the procedures call: the runtime, the windowing and drawing
  // calls, and the window the runtime hosts for this class.
 private:
  const Direction& DirectionOf(Direction& d, double Angle) const;

  // The frame step's memory of each particle's sine and cosine (app/direction.h).
  std::array<Direction, kLastParticle + 1> directions_{};
  Runtime& rt_;
  WindowsApi& api_;
  Window& Me_;
};

}  // namespace squarefield
