// Spawning one particle at a random distance and direction from the screen centre.
#include "app/form1.h"
#include "platform/conversions.h"
#include "platform/trig.h"

namespace squarefield {

void Form1::ReDimVar(std::int16_t Index) {
  InProcedure("ReDimVar", [&] {
    Particle& p = Particles(Index);
    const ScreenObject screen = rt_.Screen();
    const double W = Divide(screen.Width, screen.TwipsPerPixelX);
    const double H = Divide(screen.Height, screen.TwipsPerPixelY);
    // The distance scales with the width over the vertical twips: a particle can
    // start up to a whole screen width out, beyond the edges.
    const double S = Divide(screen.Width, screen.TwipsPerPixelY);

    const float r1 = rt_.Rnd();
    Radius = CInt(r1 * S);
    // Re-seeding between draws is part of the effect's behaviour; a re-seed
    // with the same clock value continues the sequence rather than restarting it.
    rt_.Randomize(rt_.Timer());
    const float r2 = rt_.Rnd();
    p.Angle = r2 * 360.0;
    p.X = Checked(W / 2 - Radius * Sin(Degree(p.Angle)));
    p.Y = Checked(H / 2 - Radius * Cos(Degree(p.Angle)));
    p.Speed = 1;
    const float r3 = rt_.Rnd();
    p.Acceleration = Divide(1, 80 - r3 * 60.0);
  });
}

}  // namespace squarefield
