// One frame: every particle in index order is erased, sped up, moved, respawned
// if it left the field, and painted again, straight onto the screen.
#pragma once

#include "platform/conversions.h"
#include "platform/trig.h"
#include "platform/windows_api.h"

namespace squarefield::field {

// The rectangle of a particle's square: about Speed pixels on a side.
template <class Particle>
RECT SquareOf(const Particle& p) {
  RECT r;
  r.left = CLng(p.X);
  r.top = CLng(p.Y);
  r.right = CLng(p.Speed + p.X);
  r.bottom = CLng(p.Speed + p.Y);
  return r;
}

template <class Form>
void Draw(Form& form) {
  InProcedure("Draw", [&] {
    WindowsApi& api = form.Api();
    for (form.Counter = 0; form.Counter <= Form::kLastParticle; form.Counter = Increment(form.Counter)) {
      auto& p = form.Particles(form.Counter);
      // The square painted last frame: X, Y and Speed have not changed since.
      form.DrawRect = SquareOf(p);
      api.FillRect(form.ScreenDC, form.DrawRect, form.Brushes(0));

      p.Speed = Checked(p.Acceleration + p.Speed);
      // Direction is kept only as an angle and converted anew each step.
      p.X = Checked(p.X - Sin(form.Degree(p.Angle)) * p.Speed);
      p.Y = Checked(p.Y - Cos(form.Degree(p.Angle)) * p.Speed);

      const float scaleWidth = form.Me().ScaleWidth();
      const float scaleHeight = form.Me().ScaleHeight();
      // All four tests run every time (non-short-circuit): the size tests are in
      // single precision and strict, so a particle exactly on the edge stays.
      const bool outside = (p.X < 0) | (CSng(p.X) > scaleWidth) | (p.Y < 0) | (CSng(p.Y) > scaleHeight);
      if (outside) form.ReDimVar(form.Counter);

      form.DrawRect = SquareOf(form.Particles(form.Counter));
      api.FillRect(form.ScreenDC, form.DrawRect, form.Brushes(1));
    }
  });
}

}  // namespace squarefield::field
