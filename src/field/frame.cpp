// One frame: every particle in index order is erased, sped up, moved, respawned
// if it left the field, and painted again, straight onto the screen.
#include "app/form1.h"
#include "platform/conversions.h"
#include "platform/trig.h"

namespace squarefield {

RECT Form1::SquareOf(const Particle& p) const {
  RECT r;
  r.left = CLng(p.X);
  r.top = CLng(p.Y);
  r.right = CLng(p.Speed + p.X);
  r.bottom = CLng(p.Speed + p.Y);
  return r;
}

void Form1::Draw() {
  InProcedure("Draw", [&] {
    for (Counter = 0; Counter <= kLastParticle; Counter = Increment(Counter)) {
      Particle& p = Particles(Counter);
      // The square painted last frame: X, Y and Speed have not changed since.
      DrawRect = SquareOf(p);
      api_.FillRect(ScreenDC, DrawRect, Brushes(0));

      p.Speed = Checked(p.Acceleration + p.Speed);
      // Direction is kept only as an angle and converted anew each step.
      p.X = Checked(p.X - Sin(Degree(p.Angle)) * p.Speed);
      p.Y = Checked(p.Y - Cos(Degree(p.Angle)) * p.Speed);

      const float scaleWidth = Me_.ScaleWidth();
      const float scaleHeight = Me_.ScaleHeight();
      // All four tests run every time (non-short-circuit): the size tests are in
      // single precision and strict, so a particle exactly on the edge stays.
      const bool outside = (p.X < 0) | (CSng(p.X) > scaleWidth) | (p.Y < 0) | (CSng(p.Y) > scaleHeight);
      if (outside) ReDimVar(Counter);

      DrawRect = SquareOf(Particles(Counter));
      api_.FillRect(ScreenDC, DrawRect, Brushes(1));
    }
  });
}

}  // namespace squarefield
