#include "hosts/wayland/wayland_buffers.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace squarefield {

namespace {

void Paint(std::uint32_t* pixels, int width, const FillRecord& f) {
  for (std::int32_t y = f.rect.top; y < f.rect.bottom; ++y)
    std::fill(pixels + static_cast<std::size_t>(y) * width + f.rect.left,
              pixels + static_cast<std::size_t>(y) * width + f.rect.right, f.pixel);
}

// `r` clipped to `area`, in its own pixels; false when nothing is left.
bool Within(const RECT& r, const MonitorPlace& area, RECT& out) {
  out = RECT{std::max<std::int32_t>(r.left, area.x) - area.x, std::max<std::int32_t>(r.top, area.y) - area.y,
             std::min<std::int32_t>(r.right, area.x + area.width) - area.x,
             std::min<std::int32_t>(r.bottom, area.y + area.height) - area.y};
  return out.right > out.left && out.bottom > out.top;
}

}  // namespace

void BufferSet::Resize(int width, int height) {
  width_ = width;
  height_ = height;
  Drop();
  AddAll();
}

void BufferSet::Drop() {
  buffers_.clear();
  newest_ = -1;
  // A change from black needs nothing the buffers had.
  if (!black_) AddAll();
}

int BufferSet::Add(std::uint32_t* pixels) {
  Buffer b;
  b.pixels = pixels;
  // Black, so lacking a change from black only its fills; otherwise a copy of
  // the newest buffer or of the framebuffer (Draw).
  b.all = !black_;
  buffers_.push_back(std::move(b));
  return Count() - 1;
}

void BufferSet::AddBlack(const MonitorPlace& area) {
  black_ = true;
  drawn_ = area;
  all_ = false;
  fills_.clear();
  rects_.clear();
}

void BufferSet::AddFills(std::span<const FillRecord> fills, const MonitorPlace& area) {
  if (all_) return;
  RECT r;
  for (const FillRecord& f : fills) {
    if (!Within(f.rect, area, r)) continue;
    // Beyond this the buffers are drawn whole; the fills kept so far stay, as
    // the picture (ReadPicture) until then, and the framebuffer adds the rest.
    if (fills_.size() >= kMaxChanges) return AddAll();
    fills_.push_back({r, f.pixel});
  }
}

void BufferSet::AddRects(std::span<const RECT> rects, const MonitorPlace& area) {
  if (all_) return;
  RECT r;
  for (const RECT& d : rects) {
    if (!Within(d, area, r)) continue;
    if (rects_.size() >= kMaxChanges) return AddAll();
    rects_.push_back(r);
  }
}

void BufferSet::Copy(Buffer& b, const Framebuffer& fb, const MonitorPlace& area, RECT r) const {
  // Clipped to the framebuffer too: a new size may not be taken yet.
  r.right = std::min<std::int32_t>(r.right, std::min(width_, fb.Width() - area.x));
  r.bottom = std::min<std::int32_t>(r.bottom, std::min(height_, fb.Height() - area.y));
  for (std::int32_t y = r.top; y < r.bottom && r.right > r.left; ++y)
    fb.ReadRow(y + area.y, area.x + r.left, area.x + r.right, b.pixels + static_cast<std::size_t>(y) * width_ + r.left);
}

void BufferSet::Draw(int i, const Framebuffer& fb, const MonitorPlace& area, std::vector<RECT>& damage) {
  // A buffer lacking everything starts as a copy of the newest, where that
  // shows the same part: then it lacks only this change (and the framebuffer's
  // pixels, which may be waiting, are not read whole).
  Buffer& drawn = buffers_[static_cast<std::size_t>(i)];
  if (drawn.all && !all_ && newest_ >= 0 && newest_ != i && drawn_ == area) {
    std::memcpy(drawn.pixels, buffers_[static_cast<std::size_t>(newest_)].pixels, static_cast<std::size_t>(width_) * height_ * 4);
    drawn.all = false;
  }
  // Every buffer lacks this change until it is drawn.
  for (Buffer& b : buffers_) {
    if (black_ && !all_) {
      b = Buffer{b.pixels, fills_, rects_, false, !b.fresh, b.fresh};
    } else if (all_ || b.fills.size() + fills_.size() + b.rects.size() + rects_.size() > kMaxChanges) {
      b.all = true;
      b.black = false;
      b.fills.clear();
      b.rects.clear();
    } else if (!b.all) {
      b.fills.insert(b.fills.end(), fills_.begin(), fills_.end());
      b.rects.insert(b.rects.end(), rects_.begin(), rects_.end());
    }
  }
  // Drawn: the fills in order, then what they cannot say from the framebuffer,
  // which is current (read as the picture, if it waited, from the newest
  // buffer and the change not yet sent).
  Buffer& b = drawn;
  if (b.all) {
    Copy(b, fb, area, RECT{0, 0, width_, height_});
  } else {
    if (b.black) std::memset(b.pixels, 0, static_cast<std::size_t>(width_) * height_ * 4);
    for (const FillRecord& f : b.fills) Paint(b.pixels, width_, f);
    for (const RECT& r : b.rects) Copy(b, fb, area, r);
  }
  b.all = b.black = b.fresh = false;
  b.fills.clear();
  b.rects.clear();

  damage.clear();
  if (all_ || black_) {
    damage.push_back(RECT{0, 0, width_, height_});
  } else {
    // A box per band of rows around what changed in it.
    const std::size_t bands = static_cast<std::size_t>((height_ + kBand - 1) / kBand);
    std::vector<RECT> box(bands, RECT{width_, height_, 0, 0});
    auto add = [&](const RECT& r) {
      for (std::int32_t band = r.top / kBand; band * kBand < r.bottom; ++band) {
        RECT& x = box[static_cast<std::size_t>(band)];
        x = RECT{std::min(x.left, r.left), std::min(x.top, std::max(r.top, band * kBand)), std::max(x.right, r.right),
                 std::max(x.bottom, std::min(r.bottom, (band + 1) * kBand))};
      }
    };
    for (const FillRecord& f : fills_) add(f.rect);
    for (const RECT& r : rects_) add(r);
    for (const RECT& x : box)
      if (x.right > x.left) {
        // Neighbouring bands as wide as each other are one box.
        if (!damage.empty() && damage.back().left == x.left && damage.back().right == x.right && damage.back().bottom == x.top)
          damage.back().bottom = x.bottom;
        else
          damage.push_back(x);
      }
  }
  fills_.clear();
  rects_.clear();
  all_ = black_ = false;
  newest_ = i;
  drawn_ = area;
}

bool BufferSet::HoldsPicture(const MonitorPlace& area) const {
  return (black_ || newest_ >= 0) && !all_ && rects_.empty() && drawn_ == area;
}

void BufferSet::ReadPicture(std::span<std::uint32_t> pixels, int width, int height) const {
  if (newest_ < 0 && !black_) return;
  const int w = std::min(width_, width - drawn_.x), h = std::min(height_, height - drawn_.y);
  for (int y = 0; y < h && w > 0; ++y) {
    std::uint32_t* row = pixels.data() + static_cast<std::size_t>(y + drawn_.y) * width + drawn_.x;
    if (black_)
      std::fill_n(row, w, 0u);
    else
      std::memcpy(row, buffers_[static_cast<std::size_t>(newest_)].pixels + static_cast<std::size_t>(y) * width_,
                  static_cast<std::size_t>(w) * 4);
  }
  for (const FillRecord& f : fills_) {
    const RECT r{f.rect.left + drawn_.x, f.rect.top + drawn_.y, std::min(f.rect.right + drawn_.x, width),
                 std::min(f.rect.bottom + drawn_.y, height)};
    if (r.right > r.left && r.bottom > r.top) Paint(pixels.data(), width, {r, f.pixel});
  }
}

}  // namespace squarefield
