// The fills of a seeded headless run's trace, a frame at a time, for the
// replay clients: the effect's own change, with nothing of the program's way
// of showing it. The text is read once into a scratch file of binary fills
// (parsing text while measuring would be the client's cost, not the floor's)
// and streamed from there, so the client holds one frame in memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace replay {

struct Fill {
  std::int32_t left, top, right, bottom;
  std::uint32_t pixel;  // 0x00RRGGBB
};

class Trace {
 public:
  // False when the trace cannot be read or names no size.
  bool Open(const char* path) {
    std::FILE* text = std::fopen(path, "r");
    if (text == nullptr || (frames_ = std::tmpfile()) == nullptr) return false;
    std::map<long, std::uint32_t> brushes;  // handle -> pixel
    std::vector<Fill> frame;
    char line[256];
    while (std::fgets(line, sizeof line, text)) {
      unsigned long colour = 0;
      long handle = 0, hdc = 0;
      Fill f{};
      if (std::sscanf(line, "# squarefield %*s %dx%d", &width_, &height_) == 2) continue;
      if (std::sscanf(line, "CreateSolidBrush 0x%lx -> %ld", &colour, &handle) == 2) {
        // A COLORREF is 0x00BBGGRR.
        brushes[handle] = static_cast<std::uint32_t>((colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF));
      } else if (std::strncmp(line, "FillRect ", 9) == 0 &&
                 std::sscanf(line + 9, "%ld %d %d %d %d %ld", &hdc, &f.left, &f.top, &f.right, &f.bottom, &handle) == 6) {
        f.left = std::max(f.left, 0), f.top = std::max(f.top, 0);
        f.right = std::min(f.right, width_), f.bottom = std::min(f.bottom, height_);
        if (f.right > f.left && f.bottom > f.top) frame.push_back({f.left, f.top, f.right, f.bottom, brushes[handle]});
      } else if (std::strncmp(line, "DoEvents", 8) == 0) {
        const auto n = static_cast<std::uint32_t>(frame.size());
        std::fwrite(&n, sizeof n, 1, frames_);
        std::fwrite(frame.data(), sizeof(Fill), frame.size(), frames_);
        frame.clear();
      }
    }
    std::fclose(text);
    std::rewind(frames_);
    return width_ > 0 && height_ > 0;
  }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // The next frame's fills into `fills`; false once the trace has no more.
  bool Next(std::vector<Fill>& fills) {
    std::uint32_t n = 0;
    if (std::fread(&n, sizeof n, 1, frames_) != 1) return false;
    fills.resize(n);
    return std::fread(fills.data(), sizeof(Fill), n, frames_) == n;
  }

 private:
  std::FILE* frames_ = nullptr;
  int width_ = 0, height_ = 0;
};

// A fill's pixels in a 32-bit picture `stride` pixels wide.
inline void Paint(std::uint32_t* picture, int stride, const Fill& f) {
  for (int y = f.top; y < f.bottom; ++y) {
    std::uint32_t* row = picture + static_cast<std::size_t>(y) * stride;
    for (int x = f.left; x < f.right; ++x) row[x] = f.pixel;
  }
}

}  // namespace replay
