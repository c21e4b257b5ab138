// One frame: every particle in index order is erased, sped up, moved, respawned
// if it left the field, and painted again, straight onto the screen.
#pragma once

#include "platform/bit_cast.h"
#include <cstdint>

#include "platform/conversions.h"
#include "platform/trig.h"
#include "platform/windows_api.h"

namespace squarefield::field {

// The rectangle of a particle's square: about Speed pixels on a side.
template <class Particle>
[[gnu::always_inline]] inline RECT SquareOf(const Particle& p) {
  RECT r;
  r.left = CLng(p.X);
  r.top = CLng(p.Y);
  r.right = CLng(p.Speed + p.X);
  r.bottom = CLng(p.Speed + p.Y);
  return r;
}

// Sin(Degree(Angle)) and Cos(Degree(Angle)) of one particle. The direction is
// kept only as an angle, and the step moves along its sine and cosine; those
// change only when the angle does (at a spawn), so they are remembered beside
// the particle under the angle's exact bits. A step computes them anew whenever
// the bits differ, so every result is the bit pattern a fresh computation gives.
struct Direction {
  std::uint64_t angle_bits = 0;
  bool known = false;
  double sin = 0;
  double cos = 0;
};

template <class Form>
const Direction& DirectionOf(Form& form, Direction& d, double Angle) {
  const auto bits = BitCast<std::uint64_t>(Angle);
  if (!d.known || d.angle_bits != bits) {
    d.sin = Sin(form.Degree(Angle));
    d.cos = Cos(form.Degree(Angle));
    d.angle_bits = bits;
    d.known = true;
  }
  return d;
}

template <class Form>
void Draw(Form& form) {
  InProcedure("Draw", [&] {
    WindowsApi& api = form.Api();
    // The host's FillRect without the layers in between, when it offers it.
    const FillShortcut shortcut = api.Shortcut();
    auto fill = [&](HBRUSH brush) {
      if (shortcut)
        shortcut.fill(shortcut.self, form.ScreenDC, form.DrawRect, brush);
      else
        api.FillRect(form.ScreenDC, form.DrawRect, brush);
    };
    for (form.Counter = 0; form.Counter <= Form::kLastParticle; form.Counter = Increment(form.Counter)) {
      auto& p = form.Particles(form.Counter);
      // The square painted last frame: X, Y and Speed have not changed since.
      form.DrawRect = SquareOf(p);
      fill(form.Brushes(0));

      p.Speed = Checked(p.Acceleration + p.Speed);
      const Direction& d = DirectionOf(form, form.DirectionCache(form.Counter), p.Angle);
      p.X = Checked(p.X - d.sin * p.Speed);
      p.Y = Checked(p.Y - d.cos * p.Speed);

      const float scaleWidth = form.Me().ScaleWidth();
      const float scaleHeight = form.Me().ScaleHeight();
      // All four tests run every time (non-short-circuit): the size tests are in
      // single precision and strict, so a particle exactly on the edge stays.
      const bool outside = (int{p.X < 0} | int{CSng(p.X) > scaleWidth} | int{p.Y < 0} | int{CSng(p.Y) > scaleHeight}) != 0;
      if (outside) form.ReDimVar(form.Counter);

      form.DrawRect = SquareOf(form.Particles(form.Counter));
      fill(form.Brushes(1));
    }
  });
}

}  // namespace squarefield::field
