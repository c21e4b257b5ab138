// A screen in memory, and which parts of it changed since they were last
// presented (its damage). The headless host is only this; the others show it,
// replaying its fills or sending the damaged pixels.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <new>
#include <span>
#include <vector>

#include "runtime/windows_api.h"

namespace squarefield {

// Zeroed memory for pixels, whose pages cost nothing until first written (a
// framebuffer whose screen keeps the picture may never write most of them),
// in 2 MiB pages where the system offers them (Linux's transparent huge
// pages): squares touch a new row, and so a new 4 KiB page, every few pixels,
// and one large page spares the address lookups.
class PixelStore {
 public:
  explicit PixelStore(std::size_t bytes);
  PixelStore(const PixelStore& other) : PixelStore(other.size_) { std::memcpy(data_, other.data_, size_); }
  PixelStore(PixelStore&& other) noexcept { *this = std::move(other); }
  PixelStore& operator=(PixelStore&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(base_, other.base_);
    std::swap(mapped_, other.mapped_);
    return *this;
  }
  ~PixelStore();
  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  void* base_ = nullptr;    // what was allocated
  std::size_t mapped_ = 0;  // and how much, where it was mapped
};

// One fill as it landed: its rectangle, clipped to the screen, and its pixel.
struct FillRecord {
  RECT rect;
  std::uint32_t pixel;
};

// Pixels are 0xXXRRGGBB, row by row from the top-left corner; the top byte is
// not part of the colour. They are kept a byte each, as the index of their
// colour in a palette: the effect paints two colours, and a quarter of the
// memory is a quarter of the cache misses. A picture with more than 256
// colours at once shows the nearest of those it has.
class Framebuffer {
 public:
  Framebuffer(int width, int height);
  // A new size, all black (and all damaged, if damage is tracked).
  void Resize(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // The colour at x, y as 0x00RRGGBB.
  std::uint32_t At(int x, int y) const {
    CatchUp();
    return palette_[indices_.data()[static_cast<std::size_t>(y) * width_ + x]] & 0xFFFFFFu;
  }
  // Pixels [left, right) of row y into `out`.
  void ReadRow(int y, int left, int right, std::uint32_t* out) const {
    CatchUp();
    const std::uint8_t* row = indices_.data() + static_cast<std::size_t>(y) * width_;
    for (int x = left; x < right; ++x) *out++ = palette_[row[x]];
  }
  // Row y whole, valid until the next call.
  const std::uint32_t* Row(int y) const {
    row_.resize(static_cast<std::size_t>(width_));
    ReadRow(y, 0, width_, row_.data());
    return row_.data();
  }
  // Every pixel, row by row.
  std::vector<std::uint32_t> Picture() const {
    std::vector<std::uint32_t> all(static_cast<std::size_t>(width_) * height_);
    for (int y = 0; y < height_; ++y) ReadRow(y, 0, width_, all.data() + static_cast<std::size_t>(y) * width_);
    return all;
  }
  // Makes the pixels current (see KeepPictureOnScreen): before what holds the picture goes.
  void CatchUpNow() const { CatchUp(); }

  // Fills the part of [left, right) x [top, bottom) that lies on the screen.
  void Fill(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::uint32_t pixel);

  // Damage: the rectangles fills touched since ClearDamage, off until asked
  // for (the headless host never presents). A fill is merged into the
  // rectangle before it when their union is not much larger than the two
  // apart (kMergeSlack): a square's erase and its repaint a few pixels on
  // become one rectangle, a square across the screen another.
  // A new framebuffer is black and not yet shown: its first present is the
  // black screen and the fills since (FillsFromBlack).
  // While damage is tracked the pixels are written only when read, or when
  // kMaxDeferred fills wait: a presenter that replays the fills never reads
  // them, and a square's fills of many frames land on rows still in the cache.
  void TrackDamage() {
    tracking_ = true;
    if (fresh_)
      fills_whole_ = true;
    else
      DamageAll();
  }
  // While the fills are kept whole the damage is worked out only when asked
  // for: a presenter that replays the fills never needs it.
  std::span<const RECT> Damage() const {
    if (fresh_ && fills_whole_) damage_.assign(1, RECT{0, 0, width_, height_});
    DamageFromFills();
    return damage_;
  }
  // Anything to show since the damage was last cleared.
  bool Changed() const { return fills_whole_ ? fresh_ || !fills_.empty() : !damage_.empty(); }
  // `screen_keeps`: the screen now holds everything presented (see
  // KeepPictureOnScreen), so that the pixels can wait for the next fills too;
  // otherwise they catch up now, while the fills are there.
  void ClearDamage(bool screen_keeps = false) {
    const bool keep = read_back_ && screen_keeps && fills_whole_;
    if (base_screen_ && !keep) CatchUp();
    if (keep) {
      // What the pixels lack is now the screen's picture and the fills from here on.
      base_screen_ = true;
      deferred_.clear();
    }
    fresh_ = false;
    damage_.clear();
    coarse_ = false;
    fills_.clear();
    fills_damaged_ = 0;
    fills_whole_ = true;
  }
  void DamageAll() {
    if (fresh_ && fills_whole_) return;  // all of it is to be shown anyway, from black
    DamageWhole();
  }

  // The fills since the damage was last cleared, in order, where replaying
  // them on what was last shown gives the screen exactly: none were dropped
  // (past kMaxFills) and nothing else changed (a new size, all damaged).
  // Where it is false, a presenter sends the damaged pixels instead.
  bool FillsReplay() const { return fills_whole_ && !fresh_; }
  // The first present of a new framebuffer: the screen is black, then the
  // fills (a presenter may clear and replay them, or send the damage: all of it).
  bool FillsFromBlack() const { return fills_whole_ && fresh_; }
  std::span<const FillRecord> Fills() const { return fills_; }
#ifdef __EMSCRIPTEN__
  // A page replays each fill as a call of its own: past a few thousand, one
  // picture of the damage is cheaper.
  static constexpr std::size_t kMaxFills = 4096;
#else
  static constexpr std::size_t kMaxFills = 16384;
#endif
  // Past this many rectangles (many frames between two presents: unpaced, a
  // present a refresh) the damage becomes the one rectangle around it all.
  static constexpr std::size_t kMaxRects = 1024;

  // Merged when the union covers at most this many pixels more than the two
  // rectangles do. Measured with bench/cpu_share.sh (SDL under Xvfb, --fps 60,
  // 1920x1080, program + X server, share of one core): 256: 2.9 % + 2.5 %;
  // 4096: 3.2 % + 2.7 %; 65536: 30 % + 32 % (unions chain across the screen).
  // Regrouping into 64-row bands before sending was worse still (6.4 % + 4.4 %).
  static constexpr std::int64_t kMergeSlack = 256;

  // Where the screen keeps its own picture (a page's canvas), writing each
  // fill's pixels here too is work thrown away while the fills replay there:
  // after a present that replayed them, fills are only kept, and the pixels
  // are caught up when first needed: `read_back` writes the screen's picture
  // (this framebuffer's size, row by row) into them, and the kept fills are
  // applied over it. Only for a screen that shows every replayed fill and
  // loses its picture only with a new size; it says at each present whether
  // it holds the picture then (ClearDamage).
  using ReadBack = std::function<void(std::span<std::uint32_t> pixels, int width, int height)>;
  void KeepPictureOnScreen(ReadBack read_back) { read_back_ = std::move(read_back); }

 private:
  // The pixels of a fill already clipped to the screen.
  void Paint(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::uint32_t pixel) const;
  // The palette's index of `pixel`'s colour, added if new.
  std::uint8_t IndexOf(std::uint32_t pixel) const {
    for (int i = 0; i < colours_; ++i)
      if (((palette_[i] ^ pixel) & 0xFFFFFFu) == 0) return static_cast<std::uint8_t>(i);
    return AddColour(pixel);
  }
  std::uint8_t AddColour(std::uint32_t pixel) const;
  void DamageWhole() {
    damage_.assign(1, RECT{0, 0, width_, height_});
    coarse_ = true;
    fills_.clear();
    fills_damaged_ = 0;
    fills_whole_ = false;
    fresh_ = false;
  }
  // The pixels as the fills so far make them.
  void CatchUp() const {
    if (base_screen_ || !deferred_.empty()) CatchUpDeferred();
  }
  void CatchUpDeferred() const;
  void AddDamage(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) const;
  // The kept fills not yet in the damage, added in order: the same damage as
  // had each been added as it landed.
  void DamageFromFills() const {
    for (; fills_damaged_ < fills_.size(); ++fills_damaged_) {
      const RECT& r = fills_[fills_damaged_].rect;
      AddDamage(r.left, r.top, r.right, r.bottom);
    }
  }

  int width_;
  int height_;
  // Written through const too: the pixels may be caught up when read (see KeepPictureOnScreen).
  PixelStore indices_;
  mutable std::uint32_t palette_[256] = {};  // black first
  mutable int colours_ = 1;
  mutable std::vector<std::uint32_t> row_;
  ReadBack read_back_;
  // The fills not yet written to the pixels, in order, over the pixels or,
  // where the screen holds the picture, over that.
  mutable std::vector<FillRecord> deferred_;
  mutable bool base_screen_ = false;
  static constexpr std::size_t kMaxDeferred = std::size_t{1} << 15;
  bool fresh_ = true;  // not presented since made: what the screen shows is nothing yet, the pixels are black
  bool tracking_ = false;
  // The damage is a cache of what the fills touched, filled in when asked for.
  mutable bool coarse_ = false;  // one rectangle around everything, grown by every fill
  mutable std::vector<RECT> damage_;
  std::vector<FillRecord> fills_;
  mutable std::size_t fills_damaged_ = 0;  // how many of fills_ the damage holds
  bool fills_whole_ = false;
};

// Inline: it is the innermost step of every square drawn.
[[gnu::always_inline]] inline void Framebuffer::Fill(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                       std::uint32_t pixel) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  if (right <= left || bottom <= top) return;
  if (!tracking_) return Paint(left, top, right, bottom, pixel);
  if (fills_whole_ && fills_.size() < kMaxFills) {
    fills_.push_back({RECT{left, top, right, bottom}, pixel});
  } else {
    if (fresh_)
      DamageWhole();
    else
      DamageFromFills();
    fills_whole_ = false;
    AddDamage(left, top, right, bottom);
  }
  if (deferred_.size() >= kMaxDeferred) CatchUp();
  deferred_.push_back({RECT{left, top, right, bottom}, pixel});
}

[[gnu::always_inline]] inline void Framebuffer::Paint(std::int32_t left, std::int32_t top, std::int32_t right,
                                                      std::int32_t bottom, std::uint32_t pixel) const {
  const std::int32_t span = right - left;
  // A local stride: the stores below could otherwise alias width_ and reload it every row.
  const std::size_t stride = static_cast<std::size_t>(width_);
  std::uint8_t* row = indices_.data() + static_cast<std::size_t>(top) * stride + left;
  const std::uint8_t index = IndexOf(pixel);
  // A square is a few pixels wide: up to 8, two overlapping fixed-size stores
  // per row instead of a call to memset.
  const std::uint64_t eight = index * 0x0101010101010101u;
  if (span > 8) {
    for (std::int32_t y = top; y < bottom; ++y, row += stride) std::memset(row, index, static_cast<std::size_t>(span));
  } else if (span >= 4) {
    for (std::int32_t y = top; y < bottom; ++y, row += stride) {
      std::memcpy(row, &eight, 4);
      std::memcpy(row + span - 4, &eight, 4);
    }
  } else if (span >= 2) {
    for (std::int32_t y = top; y < bottom; ++y, row += stride) {
      std::memcpy(row, &eight, 2);
      std::memcpy(row + span - 2, &eight, 2);
    }
  } else if (span == 1) {
    for (std::int32_t y = top; y < bottom; ++y, row += stride) *row = index;
  }
}

inline void Framebuffer::AddDamage(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) const {
  if (coarse_) {
    RECT& all = damage_.front();
    all = RECT{std::min(left, all.left), std::min(top, all.top), std::max(right, all.right), std::max(bottom, all.bottom)};
    return;
  }
  if (!damage_.empty()) {
    RECT& last = damage_.back();
    const std::int32_t l = std::min(left, last.left), t = std::min(top, last.top);
    const std::int32_t r = std::max(right, last.right), b = std::max(bottom, last.bottom);
    const auto area = [](std::int64_t w, std::int64_t h) { return w * h; };
    if (area(r - l, b - t) <=
        area(right - left, bottom - top) + area(last.right - last.left, last.bottom - last.top) + kMergeSlack) {
      last = RECT{l, t, r, b};
      return;
    }
  }
  damage_.push_back(RECT{left, top, right, bottom});
  if (damage_.size() > kMaxRects) {
    RECT all = damage_.front();
    for (const RECT& d : damage_)
      all = RECT{std::min(d.left, all.left), std::min(d.top, all.top), std::max(d.right, all.right), std::max(d.bottom, all.bottom)};
    damage_.assign(1, all);
    coarse_ = true;
  }
}

}  // namespace squarefield
