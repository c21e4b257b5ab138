// One square of the field: where it is, which way it flies, how fast, and how
// much faster it gets each frame.
#pragma once

namespace squarefield {

struct Particle {
  double X = 0;             // screen pixels from the left edge
  double Y = 0;             // screen pixels from the top edge, down is positive
  double Angle = 0;         // direction of travel in degrees; 0 is straight up
  double Speed = 0;         // pixels per frame, and the side of its square
  double Acceleration = 0;  // added to Speed once per frame
};

}  // namespace squarefield
