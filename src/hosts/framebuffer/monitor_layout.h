// Where each monitor's part of one framebuffer lies, when the monitors are
// placed in the desktop's own units (points) but shown in their own pixels.
// At one scale everywhere the two agree; at mixed scales a monitor twice as
// dense takes twice the field, so its place is worked out anew: each monitor
// starts where the monitors wholly to its left (above) end, in pixels, so
// neighbours stay neighbours and none overlaps or leaves a gap.
#pragma once

#include <algorithm>
#include <vector>

namespace squarefield {

struct MonitorPlace {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const MonitorPlace&) const = default;
};

// `logical`: each monitor's place on the desktop; `pixels`: its size in pixels
// (only width and height are read). The result, in the same order, is in pixels
// from the field's top-left corner; the field is their bounding box.
inline std::vector<MonitorPlace> LayMonitors(const std::vector<MonitorPlace>& logical,
                                             const std::vector<MonitorPlace>& pixels) {
  const std::size_t n = std::min(logical.size(), pixels.size());
  std::vector<MonitorPlace> placed(n);
  for (std::size_t i = 0; i < n; ++i) {
    placed[i].width = pixels[i].width;
    placed[i].height = pixels[i].height;
  }
  // Per axis, in order of the logical start, so a monitor's neighbours are placed before it.
  auto lay = [&](int MonitorPlace::*start, int MonitorPlace::*size) {
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return logical[a].*start < logical[b].*start; });
    for (std::size_t i : order) {
      int at = 0;
      for (std::size_t j = 0; j < n; ++j)
        if (j != i && logical[j].*start + logical[j].*size <= logical[i].*start)
          at = std::max(at, placed[j].*start + placed[j].*size);
      placed[i].*start = at;
    }
  };
  lay(&MonitorPlace::x, &MonitorPlace::width);
  lay(&MonitorPlace::y, &MonitorPlace::height);
  return placed;
}

}  // namespace squarefield
