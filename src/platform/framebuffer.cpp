#include "platform/framebuffer.h"

#include <cstring>

namespace squarefield {

Framebuffer::Framebuffer(int width, int height)
    : width_(width),
      height_(height),
      tiles_x_((width + (1 << kTileShift) - 1) >> kTileShift),
      tiles_y_((height + (1 << kTileShift) - 1) >> kTileShift),
      pixels_(static_cast<std::size_t>(width) * height, 0) {}

void Framebuffer::Fill(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                       std::uint32_t pixel) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  if (right <= left || bottom <= top) return;
  if (!dirty_.empty()) {
    for (int ty = top >> kTileShift; ty <= (bottom - 1) >> kTileShift; ++ty)
      for (int tx = left >> kTileShift; tx <= (right - 1) >> kTileShift; ++tx)
        dirty_[static_cast<std::size_t>(ty) * tiles_x_ + tx] = 1;
  }
  const std::int32_t span = right - left;
  std::uint32_t* row = pixels_.data() + static_cast<std::size_t>(top) * width_ + left;
  // Black and white (every fill the effect makes) are one repeated byte, which
  // memset stores widest.
  const auto byte = static_cast<unsigned char>(pixel);
  if (pixel == byte * 0x01010101u) {
    for (std::int32_t y = top; y < bottom; ++y, row += width_) std::memset(row, byte, sizeof(*row) * span);
    return;
  }
  // Other colours: two pixels per store.
  const std::uint64_t pair = (std::uint64_t{pixel} << 32) | pixel;
  for (std::int32_t y = top; y < bottom; ++y, row += width_) {
    std::int32_t x = 0;
    for (; x + 1 < span; x += 2) std::memcpy(row + x, &pair, sizeof pair);
    if (x < span) row[x] = pixel;
  }
}

}  // namespace squarefield
