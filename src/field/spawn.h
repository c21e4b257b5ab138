// Spawning one particle at a random distance and direction from the screen centre.
//
// The field is written against any window class that owns one (see Form1):
// `form.Particles`, `form.Radius`, `form.Degree(...)`, and its services
// `form.Rt()` (the runtime) and, for the frame step, `form.Api()` and `form.Me()`.
#pragma once

#include <cstdint>

#include "platform/conversions.h"
#include "platform/runtime.h"
#include "platform/trig.h"

namespace squarefield::field {

template <class Form>
void ReDimVar(Form& form, std::int16_t Index) {
  InProcedure("ReDimVar", [&] {
    auto& p = form.Particles(Index);
    Runtime& rt = form.Rt();
    const ScreenObject screen = rt.Screen();
    const double W = Divide(screen.Width, screen.TwipsPerPixelX);
    const double H = Divide(screen.Height, screen.TwipsPerPixelY);
    // The distance scales with the width over the vertical twips: a particle can
    // start up to a whole screen width out, beyond the edges.
    const double S = Divide(screen.Width, screen.TwipsPerPixelY);

    const float r1 = rt.Rnd();
    form.Radius = CInt(r1 * S);
    // Re-seeding between draws is part of the effect's behaviour; a re-seed
    // with the same clock value continues the sequence rather than restarting it.
    rt.Randomize(rt.Timer());
    const float r2 = rt.Rnd();
    p.Angle = r2 * 360.0;
    p.X = Checked(W / 2 - form.Radius * Sin(form.Degree(p.Angle)));
    p.Y = Checked(H / 2 - form.Radius * Cos(form.Degree(p.Angle)));
    p.Speed = 1;
    const float r3 = rt.Rnd();
    p.Acceleration = Divide(1, 80 - r3 * 60.0);
  });
}

}  // namespace squarefield::field
