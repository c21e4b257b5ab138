// One surface's buffers and what each lacks: the bookkeeping behind showing
// a part of the framebuffer through buffers the compositor reads while we
// draw the next, with nothing of Wayland in it.
//  - a present's change is kept as the fills it made (replayed into each
//    buffer as the effect drew them) or, where fills do not replay, as the
//    rectangles to copy from the framebuffer;
//  - each buffer lacks the changes since it was last drawn; drawing one
//    replays its fills, then copies its rectangles (the framebuffer is current
//    for those), so a buffer, when shown, is the framebuffer's part exactly;
//  - the compositor is told the change since the last commit in a few boxes,
//    one per band of rows: a software compositor pays per rectangle, a GL one
//    per pixel, and a band's box is cheap for both;
//  - the newest buffer and the fills not sent yet are the picture, so the
//    framebuffer need not keep its pixels (ReadPicture).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "hosts/framebuffer/framebuffer.h"
#include "hosts/framebuffer/monitor_layout.h"

namespace squarefield {

class BufferSet {
 public:
  // Rows per damage box.
  static constexpr int kBand = 64;
  // Past this many changes waiting for one buffer, it is drawn whole: the list
  // would cost more than the copy.
  static constexpr std::size_t kMaxChanges = 65536;

  // A new size: the buffers are forgotten (the caller drops them), and all is to be drawn.
  void Resize(int width, int height);
  // The buffers forgotten; what they showed is to be drawn again.
  void Drop();
  // A new buffer of this size at `pixels`, black (fresh shared memory); its index.
  int Add(std::uint32_t* pixels);
  int Count() const { return static_cast<int>(buffers_.size()); }

  // A present's change, where the surface shows `area` of the framebuffer.
  void AddFills(std::span<const FillRecord> fills, const MonitorPlace& area);
  void AddRects(std::span<const RECT> rects, const MonitorPlace& area);
  void AddAll() { all_ = true; }
  // The picture starts again from black (a new framebuffer's first present).
  void AddBlack(const MonitorPlace& area);
  bool Pending() const { return all_ || black_ || !fills_.empty() || !rects_.empty(); }

  // Brings buffer `i` up to the framebuffer's `area` and takes the change as
  // sent with it; `damage` gets the change's boxes (the whole buffer after AddAll).
  void Draw(int i, const Framebuffer& fb, const MonitorPlace& area, std::vector<RECT>& damage);

  // Whether the newest buffer and the fills not yet sent are the picture of `area`.
  bool HoldsPicture(const MonitorPlace& area) const;
  // Writes that picture into `pixels`, the framebuffer's (width x height), where
  // the newest buffer was drawn.
  void ReadPicture(std::span<std::uint32_t> pixels, int width, int height) const;

 private:
  struct Buffer {
    std::uint32_t* pixels = nullptr;
    std::vector<FillRecord> fills;  // lacked, in order
    std::vector<RECT> rects;        // lacked, to copy from the framebuffer
    bool all = false;               // lacks everything: copied whole from the framebuffer
    bool black = false;             // lacks a clear to black before its fills
    bool fresh = true;              // black since made
  };
  void Copy(Buffer& b, const Framebuffer& fb, const MonitorPlace& area, RECT r) const;

  int width_ = 0, height_ = 0;
  std::vector<Buffer> buffers_;
  // The change since the last commit, in the surface's pixels.
  std::vector<FillRecord> fills_;
  std::vector<RECT> rects_;
  bool all_ = true;
  bool black_ = false;  // the change starts from black
  int newest_ = -1;
  MonitorPlace drawn_;  // the newest buffer's part of the framebuffer (or the black change's)
};

}  // namespace squarefield
