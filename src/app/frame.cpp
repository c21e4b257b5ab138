// One frame: every particle in index order is erased, sped up, moved, respawned
// if it left the field, and painted again, straight onto the screen.
#include <cstdint>

#include "app/form1.h"
#include "runtime/bit_cast.h"
#include "runtime/conversions.h"
#include "runtime/trig.h"

namespace squarefield {
namespace {

// The rectangle of a particle's square: about Speed pixels on a side.
[[gnu::always_inline]] inline RECT SquareOf(const Particle& p) {
  RECT r;
  r.left = CLng(p.X);
  r.top = CLng(p.Y);
  r.right = CLng(p.Speed + p.X);
  r.bottom = CLng(p.Speed + p.Y);
  return r;
}

}  // namespace

// The direction's sine and cosine, computed anew whenever the angle's bits changed.
const Direction& Form1::DirectionOf(Direction& d, double Angle) const {
  const auto bits = BitCast<std::uint64_t>(Angle);
  if (!d.known || d.angle_bits != bits) {
    d.sin = Sin(Degree(Angle));
    d.cos = Cos(Degree(Angle));
    d.angle_bits = bits;
    d.known = true;
  }
  return d;
}

void Form1::Draw() {
  InProcedure("Draw", [&] {
    // The host's FillRect without the layers in between, when it offers it.
    const FillShortcut shortcut = api_.Shortcut();
    auto fill = [&](HBRUSH brush) {
      if (shortcut)
        shortcut.fill(shortcut.self, ScreenDC, DrawRect, brush);
      else
        api_.FillRect(ScreenDC, DrawRect, brush);
    };
    for (Counter = 0; Counter <= kLastParticle; Counter = Increment(Counter)) {
      auto& p = Particles(Counter);
      // The square painted last frame: X, Y and Speed have not changed since.
      DrawRect = SquareOf(p);
      fill(Brushes(0));

      p.Speed = Checked(p.Acceleration + p.Speed);
      const Direction& d = DirectionOf(directions_[static_cast<std::size_t>(Counter)], p.Angle);
      p.X = Checked(p.X - d.sin * p.Speed);
      p.Y = Checked(p.Y - d.cos * p.Speed);

      const float scaleWidth = Me_.ScaleWidth();
      const float scaleHeight = Me_.ScaleHeight();
      // All four tests run every time (non-short-circuit): the size tests are in
      // single precision and strict, so a particle exactly on the edge stays.
      const bool outside = (int{p.X < 0} | int{CSng(p.X) > scaleWidth} | int{p.Y < 0} | int{CSng(p.Y) > scaleHeight}) != 0;
      if (outside) ReDimVar(Counter);

      DrawRect = SquareOf(Particles(Counter));
      fill(Brushes(1));
    }
  });
}

}  // namespace squarefield
