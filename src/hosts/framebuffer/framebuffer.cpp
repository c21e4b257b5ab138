#include "hosts/framebuffer/framebuffer.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace squarefield {

PixelStore::PixelStore(std::size_t bytes) : size_(bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Anonymous pages read as zero until written; aligned to a large page.
  constexpr std::size_t kLarge = std::size_t{2} << 20;
  if (bytes >= kLarge) {
    mapped_ = bytes + kLarge;
    void* p = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    base_ = p;
    const auto aligned = (reinterpret_cast<std::uintptr_t>(p) + kLarge - 1) / kLarge * kLarge;
    data_ = reinterpret_cast<std::uint8_t*>(aligned);
    madvise(data_, bytes, MADV_HUGEPAGE);
    return;
  }
#endif
  // calloc leaves a large block to the system's zeroed pages too.
  base_ = std::calloc(std::max<std::size_t>(bytes, 1), 1);
  if (base_ == nullptr) throw std::bad_alloc();
  data_ = static_cast<std::uint8_t*>(base_);
}

PixelStore::~PixelStore() {
  if (base_ == nullptr) return;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (mapped_ > 0) {
    munmap(base_, mapped_);
    return;
  }
#endif
  std::free(base_);
}

Framebuffer::Framebuffer(int width, int height)
    : width_(width), height_(height), indices_(static_cast<std::size_t>(width) * height) {
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

void Framebuffer::CatchUpDeferred() const {
  if (base_screen_) {
    base_screen_ = false;
    std::vector<std::uint32_t> picture(static_cast<std::size_t>(width_) * height_);
    read_back_(picture, width_, height_);
    std::uint8_t* index = indices_.data();
    std::uint32_t last = palette_[0];
    std::uint8_t last_index = 0;
    for (const std::uint32_t pixel : picture) {
      if (((pixel ^ last) & 0xFFFFFFu) != 0) last = pixel, last_index = IndexOf(pixel);
      *index++ = last_index;
    }
  }
  for (const FillRecord& f : deferred_) Paint(f.rect.left, f.rect.top, f.rect.right, f.rect.bottom, f.pixel);
  deferred_.clear();
}

std::uint8_t Framebuffer::AddColour(std::uint32_t pixel) const {
  if (colours_ < 256) {
    palette_[colours_] = pixel;
    return static_cast<std::uint8_t>(colours_++);
  }
  // Full: the colours no pixel has any more make room (the pixels are current
  // here: every fill that lands is painted or kept to be).
  bool used[256] = {};
  const std::uint8_t* const end = indices_.data() + indices_.size();
  for (const std::uint8_t* p = indices_.data(); p != end; ++p) used[*p] = true;
  for (const FillRecord& f : fills_)
    for (int i = 0; i < 256; ++i)
      if (((palette_[i] ^ f.pixel) & 0xFFFFFFu) == 0) used[i] = true;
  for (int i = 0; i < 256; ++i)
    if (!used[i]) {
      palette_[i] = pixel;
      return static_cast<std::uint8_t>(i);
    }
  // 256 colours on the screen at once: the nearest of them.
  int best = 0;
  long best_distance = -1;
  for (int i = 0; i < 256; ++i) {
    long d = 0;
    for (int shift = 0; shift < 24; shift += 8)
      d += std::abs(static_cast<long>((palette_[i] >> shift) & 0xFF) - static_cast<long>((pixel >> shift) & 0xFF));
    if (best_distance < 0 || d < best_distance) best = i, best_distance = d;
  }
  return static_cast<std::uint8_t>(best);
}

}  // namespace squarefield
