// Fills grouped into as few batches of one colour as keep the picture exact:
// a fill joins the last batch of its colour unless a later batch of another
// colour touches where it lands (then it would be painted over out of order),
// in which case it starts a batch of its own. Played in order, batch by batch,
// the batches give the same pixels as the fills one by one. Where they touch
// is judged on a grid of cells, so a fill near another is kept in order too:
// exact, only a little less grouped.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "hosts/framebuffer/framebuffer.h"

namespace squarefield {

struct FillBatch {
  std::uint32_t pixel = 0;
  std::span<const RECT> rects;
};

class FillBatcher {
 public:
  // Batches `fills` over a screen of `width` x `height`, each rectangle
  // clipped to `area` and moved so that the area's top-left corner is 0, 0.
  // The batches' rectangles lie one batch after another.
  std::span<const FillBatch> Batch(std::span<const FillRecord> fills, int width, int height, RECT area) {
    batches_.clear();
    order_.clear();
    targets_.clear();
    columns_ = std::max(1, (width + kCell - 1) / kCell);
    rows_ = std::max(1, (height + kCell - 1) / kCell);
    // The cells are stamped with the call they were touched in: only those a
    // fill touches are read or written, none cleared (a frame touches a few
    // thousand of a full screen's tens of thousands).
    if (last_.size() != static_cast<std::size_t>(columns_) * rows_ || ++call_ == 0x10000) {
      last_.assign(static_cast<std::size_t>(columns_) * rows_, 0);
      call_ = 1;
    }
    const std::uint32_t now = call_ << 16;
    // First each fill's batch, then the rectangles placed batch by batch.
    for (const FillRecord& f : fills) {
      const RECT r{std::max(f.rect.left, area.left), std::max(f.rect.top, area.top), std::min(f.rect.right, area.right),
                   std::min(f.rect.bottom, area.bottom)};
      if (r.right <= r.left || r.bottom <= r.top) continue;
      // Fills lie on the screen: their cells are never negative.
      const int c0 = r.left / kCell, c1 = (r.right - 1) / kCell, r0 = r.top / kCell, r1 = (r.bottom - 1) / kCell;
      int latest = -1;  // the last batch that touched these cells
      for (int y = r0; y <= r1; ++y)
        for (int x = c0; x <= c1; ++x)
          if (const std::uint32_t cell = last_[static_cast<std::size_t>(y) * columns_ + x]; (cell & ~0xFFFFu) == now)
            latest = std::max(latest, static_cast<int>(cell & 0xFFFFu) - 1);
      int target = -1;
      for (int i = static_cast<int>(batches_.size()) - 1; i >= 0 && i >= latest; --i)
        if (batches_[static_cast<std::size_t>(i)].pixel == f.pixel) {
          target = i;
          break;
        }
      if (target < 0) {
        target = static_cast<int>(batches_.size());
        batches_.push_back({f.pixel, {}});
        counts_.resize(batches_.size());
        counts_[static_cast<std::size_t>(target)] = 0;
      }
      ++counts_[static_cast<std::size_t>(target)];
      order_.push_back({r.left - area.left, r.top - area.top, r.right - area.left, r.bottom - area.top});
      targets_.push_back(target);
      const std::uint32_t stamp = now | static_cast<std::uint32_t>(target + 1);
      for (int y = r0; y <= r1; ++y)
        for (int x = c0; x <= c1; ++x) {
          std::uint32_t& cell = last_[static_cast<std::size_t>(y) * columns_ + x];
          if ((cell & ~0xFFFFu) != now || cell < stamp) cell = stamp;
        }
    }
    rects_.resize(order_.size());
    std::size_t start = 0;
    for (std::size_t b = 0; b < batches_.size(); ++b) {
      const std::size_t count = counts_[b];
      batches_[b].rects = {rects_.data() + start, count};
      counts_[b] = start;  // from here on: where the batch's next rectangle goes
      start += count;
    }
    for (std::size_t i = 0; i < order_.size(); ++i) rects_[counts_[static_cast<std::size_t>(targets_[i])]++] = order_[i];
    return batches_;
  }

  static constexpr int kCell = 16;

 private:
  std::vector<FillBatch> batches_;
  std::vector<std::uint32_t> last_;  // each cell's last batch + 1, under the call's stamp
  std::uint32_t call_ = 0;
  // Kept between calls for their memory: the fills' rectangles in their order,
  // each one's batch, each batch's count, then all placed.
  std::vector<RECT> order_;
  std::vector<int> targets_;
  std::vector<std::size_t> counts_;
  std::vector<RECT> rects_;
  int columns_ = 1, rows_ = 1;
};

}  // namespace squarefield
