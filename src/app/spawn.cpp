// Spawning one particle at a random distance and direction from the screen centre.
#include <cstdint>

#include "app/form1.h"
#include "runtime/conversions.h"
#include "runtime/trig.h"

namespace squarefield {

void Form1::ReDimVar(std::int16_t Index) {
  InProcedure("ReDimVar", [&] {
    auto& p = Particles(Index);
    Runtime& rt = rt_;
    const ScreenObject screen = rt.Screen();
    const double W = Divide(screen.Width, screen.TwipsPerPixelX);
    const double H = Divide(screen.Height, screen.TwipsPerPixelY);
    // The distance scales with the width over the vertical twips: a particle can
    // start up to a whole screen width out, beyond the edges.
    const double S = Divide(screen.Width, screen.TwipsPerPixelY);

    const float r1 = rt.Rnd();
    Radius = CInt(r1 * S);
    // Re-seeding between draws is part of the effect's behaviour; a re-seed
    // with the same clock value continues the sequence rather than restarting it.
    rt.Randomize(rt.Timer());
    const float r2 = rt.Rnd();
    p.Angle = r2 * 360.0;
    p.X = Checked(W / 2 - Radius * Sin(Degree(p.Angle)));
    p.Y = Checked(H / 2 - Radius * Cos(Degree(p.Angle)));
    p.Speed = 1;
    const float r3 = rt.Rnd();
    p.Acceleration = Divide(1, 80 - r3 * 60.0);
  });
}

}  // namespace squarefield
