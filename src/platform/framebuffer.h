// A 32-bit screen in memory, and which parts of it changed since they were
// last presented. The headless host is only this; desktop hosts show it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace squarefield {

// Pixels are 0xXXRRGGBB, row by row from the top-left corner; the top byte is
// not part of the colour.
class Framebuffer {
 public:
  static constexpr int kTileShift = 3;  // changes are tracked in 8x8 tiles

  Framebuffer(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // The colour at x, y as 0x00RRGGBB.
  std::uint32_t At(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x] & 0xFFFFFFu; }
  const std::vector<std::uint32_t>& Pixels() const { return pixels_; }
  std::uint32_t* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }

  // Fills the part of [left, right) x [top, bottom) that lies on the screen.
  void Fill(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::uint32_t pixel);

  // Change tracking, off until asked for (the headless host never presents).
  void TrackChanges() { dirty_.assign(static_cast<std::size_t>(tiles_x_) * tiles_y_, 1); }
  int TilesX() const { return tiles_x_; }
  int TilesY() const { return tiles_y_; }
  bool Dirty(int tx, int ty) const { return dirty_[static_cast<std::size_t>(ty) * tiles_x_ + tx] != 0; }
  void MarkAllDirty() { std::fill(dirty_.begin(), dirty_.end(), 1); }
  void ClearDirty() { std::fill(dirty_.begin(), dirty_.end(), 0); }

 private:
  int width_;
  int height_;
  int tiles_x_;
  int tiles_y_;
  std::vector<std::uint32_t> pixels_;
  std::vector<std::uint8_t> dirty_;
};

}  // namespace squarefield
