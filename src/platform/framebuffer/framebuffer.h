// A 32-bit screen in memory, and which parts of it changed since they were
// last presented. The headless host is only this; desktop hosts show it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <vector>

namespace squarefield {

// Memory for a large framebuffer in 2 MiB pages where the system offers them
// (Linux's transparent huge pages): squares touch a new row, and so a new 4 KiB
// page, every few pixels, and one large page spares the address lookups.
// `bytes` of memory, in large pages where that pays and the system has them; free() frees it.
void* AllocateLarge(std::size_t bytes);

template <class T>
struct LargePageAllocator {
  using value_type = T;
  LargePageAllocator() = default;
  template <class U>
  LargePageAllocator(const LargePageAllocator<U>&) {}
  T* allocate(std::size_t n);
  void deallocate(T* p, std::size_t) { std::free(p); }
  template <class U>
  bool operator==(const LargePageAllocator<U>&) const { return true; }
};

// Pixels are 0xXXRRGGBB, row by row from the top-left corner; the top byte is
// not part of the colour.
class Framebuffer {
 public:
  static constexpr int kTileShift = 3;  // changes are tracked in 8x8 tiles

  Framebuffer(int width, int height);
  // A new size, all black (and all to be shown again, if changes are tracked).
  void Resize(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // The colour at x, y as 0x00RRGGBB.
  std::uint32_t At(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x] & 0xFFFFFFu; }
  std::span<const std::uint32_t> Pixels() const { return pixels_; }
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
  std::vector<std::uint32_t, LargePageAllocator<std::uint32_t>> pixels_;
  std::vector<std::uint8_t> dirty_;
};

template <class T>
T* LargePageAllocator<T>::allocate(std::size_t n) {
  const std::size_t bytes = n * sizeof(T);
  void* p = AllocateLarge(bytes);
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<T*>(p);
}

// Inline: it is the innermost step of every square drawn.
[[gnu::always_inline]] inline void Framebuffer::Fill(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
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
  // A local stride: the stores below could otherwise alias width_ and reload it every row.
  const std::size_t stride = static_cast<std::size_t>(width_);
  std::uint32_t* row = pixels_.data() + static_cast<std::size_t>(top) * stride + left;
  // A square is a few pixels wide: up to 8 pixels, one or two overlapping
  // fixed-size stores per row instead of a call to memset.
  const std::uint64_t pair = (std::uint64_t{pixel} << 32) | pixel;
  const std::uint64_t quad[2] = {pair, pair};
  if (span <= 2) {
    for (std::int32_t y = top; y < bottom; ++y, row += stride) {
      if (span == 2)
        std::memcpy(row, &pair, 8);
      else
        *row = pixel;
    }
  } else if (span <= 4) {
    for (std::int32_t y = top; y < bottom; ++y, row += stride) {
      std::memcpy(row, &pair, 8);
      std::memcpy(row + span - 2, &pair, 8);
    }
  } else if (span <= 8) {
    for (std::int32_t y = top; y < bottom; ++y, row += stride) {
      std::memcpy(row, quad, 16);
      std::memcpy(row + span - 4, quad, 16);
    }
  } else {
    const auto byte = static_cast<unsigned char>(pixel);
    if (pixel == byte * 0x01010101u) {
      // Black and white (every fill the effect makes) are one repeated byte, which memset stores widest.
      for (std::int32_t y = top; y < bottom; ++y, row += stride) std::memset(row, byte, sizeof(*row) * span);
    } else {
      for (std::int32_t y = top; y < bottom; ++y, row += stride) {
        std::int32_t x = 0;
        for (; x + 1 < span; x += 2) std::memcpy(row + x, &pair, sizeof pair);
        if (x < span) row[x] = pixel;
      }
    }
  }
}

}  // namespace squarefield
