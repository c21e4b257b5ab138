#include "hosts/framebuffer/framebuffer.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace squarefield {

void* AllocateLarge(std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::size_t kLarge = std::size_t{2} << 20;
  if (bytes >= kLarge) {
    const std::size_t rounded = (bytes + kLarge - 1) / kLarge * kLarge;
    void* p = std::aligned_alloc(kLarge, rounded);
    if (p != nullptr) madvise(p, rounded, MADV_HUGEPAGE);
    return p;
  }
#endif
  return std::malloc(bytes == 0 ? 1 : bytes);
}

Framebuffer::Framebuffer(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, 0) {
  damage_.reserve(1024);
  fills_.reserve(1024);
}

void Framebuffer::Resize(int width, int height) {
  const bool tracking = tracking_;
  ReadBack read_back = std::move(read_back_);
  *this = Framebuffer(width, height);
  read_back_ = std::move(read_back);
  if (tracking) TrackDamage();
}

void Framebuffer::CatchUpFromScreen() const {
  pixels_behind_ = false;
  read_back_(pixels_, width_, height_);
  for (const FillRecord& f : fills_) Paint(f.rect.left, f.rect.top, f.rect.right, f.rect.bottom, f.pixel);
}

}  // namespace squarefield
