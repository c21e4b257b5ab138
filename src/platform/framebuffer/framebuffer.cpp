#include "platform/framebuffer/framebuffer.h"

namespace squarefield {

Framebuffer::Framebuffer(int width, int height)
    : width_(width),
      height_(height),
      tiles_x_((width + (1 << kTileShift) - 1) >> kTileShift),
      tiles_y_((height + (1 << kTileShift) - 1) >> kTileShift),
      pixels_(static_cast<std::size_t>(width) * height, 0) {}

void Framebuffer::Resize(int width, int height) {
  const bool tracked = !dirty_.empty();
  *this = Framebuffer(width, height);
  if (tracked) TrackChanges();
}

}  // namespace squarefield
