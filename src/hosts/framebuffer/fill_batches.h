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
  std::vector<RECT> rects;
};

class FillBatcher {
 public:
  // Batches `fills` over a screen of `width` x `height`, each rectangle
  // clipped to `area` and moved so that the area's top-left corner is 0, 0.
  std::span<const FillBatch> Batch(std::span<const FillRecord> fills, int width, int height, RECT area) {
    for (FillBatch& b : batches_) b.rects.clear();
    used_ = 0;
    columns_ = std::max(1, (width + kCell - 1) / kCell);
    rows_ = std::max(1, (height + kCell - 1) / kCell);
    last_.assign(static_cast<std::size_t>(columns_) * rows_, -1);
    for (const FillRecord& f : fills) {
      const RECT r{std::max(f.rect.left, area.left), std::max(f.rect.top, area.top), std::min(f.rect.right, area.right),
                   std::min(f.rect.bottom, area.bottom)};
      if (r.right <= r.left || r.bottom <= r.top) continue;
      const int c0 = r.left / kCell, c1 = (r.right - 1) / kCell, r0 = r.top / kCell, r1 = (r.bottom - 1) / kCell;
      int latest = -1;  // the last batch that touched these cells
      for (int y = r0; y <= r1; ++y)
        for (int x = c0; x <= c1; ++x) latest = std::max(latest, last_[static_cast<std::size_t>(y) * columns_ + x]);
      int target = -1;
      for (int i = used_ - 1; i >= 0 && i >= latest; --i)
        if (batches_[i].pixel == f.pixel) {
          target = i;
          break;
        }
      if (target < 0) {
        if (used_ == static_cast<int>(batches_.size())) batches_.emplace_back();
        target = used_++;
        batches_[target].pixel = f.pixel;
      }
      batches_[target].rects.push_back({r.left - area.left, r.top - area.top, r.right - area.left, r.bottom - area.top});
      for (int y = r0; y <= r1; ++y)
        for (int x = c0; x <= c1; ++x) {
          int& cell = last_[static_cast<std::size_t>(y) * columns_ + x];
          cell = std::max(cell, target);
        }
    }
    return {batches_.data(), static_cast<std::size_t>(used_)};
  }

  static constexpr int kCell = 32;

 private:
  std::vector<FillBatch> batches_;  // kept between calls for their memory
  std::vector<int> last_;
  int used_ = 0, columns_ = 1, rows_ = 1;
};

}  // namespace squarefield
