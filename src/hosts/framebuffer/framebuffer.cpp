#include "hosts/framebuffer/framebuffer.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace squarefield {

PixelStore::PixelStore(std::size_t count) : count_(count) {
  bytes_ = std::max<std::size_t>(count * sizeof(std::uint32_t), 1);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Anonymous pages read as zero until written; aligned to a large page.
  constexpr std::size_t kLarge = std::size_t{2} << 20;
  if (bytes_ >= kLarge) {
    bytes_ += kLarge;
    void* p = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    base_ = p;
    const auto aligned = (reinterpret_cast<std::uintptr_t>(p) + kLarge - 1) / kLarge * kLarge;
    pixels_ = reinterpret_cast<std::uint32_t*>(aligned);
    madvise(pixels_, bytes_ - kLarge, MADV_HUGEPAGE);
    return;
  }
#endif
  // calloc leaves a large block to the system's zeroed pages too.
  base_ = std::calloc(bytes_, 1);
  if (base_ == nullptr) throw std::bad_alloc();
  pixels_ = static_cast<std::uint32_t*>(base_);
  bytes_ = 0;
}

PixelStore::~PixelStore() {
  if (base_ == nullptr) return;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (bytes_ > 0) {
    munmap(base_, bytes_);
    return;
  }
#endif
  std::free(base_);
}

Framebuffer::Framebuffer(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height) {
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
  // Not yet shown, the pixels are still the black they were made.
  if (!fresh_) read_back_(pixels_, width_, height_);
  for (const FillRecord& f : fills_) Paint(f.rect.left, f.rect.top, f.rect.right, f.rect.bottom, f.pixel);
}

}  // namespace squarefield
