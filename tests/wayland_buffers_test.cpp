// A surface's buffers, drawn as the Wayland presenter draws them: whatever
// the sequence of presents (fills that replay, more than are kept, the whole
// field damaged, a new framebuffer from black, the buffers dropped), which
// buffers the compositor holds, and however long a change waits for a buffer, every buffer when
// drawn is the framebuffer's part exactly; and the framebuffer, which keeps
// no pixels while the buffers hold the picture, ends the same as one that
// painted every fill.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "hosts/wayland/wayland_buffers.h"

namespace squarefield {
namespace {

TEST(BufferSet, EveryBufferDrawnIsTheFramebuffer) {
  constexpr int kW = 90, kH = 200;
  std::mt19937 random(11);
  int drawn = 0, read_back = 0;
  for (int run = 0; run < 6; ++run) {
    // The whole field, where the framebuffer lets the buffers hold the
    // picture; or a part of it, where fills fall outside too.
    const MonitorPlace area = run % 2 ? MonitorPlace{20, 10, 70, 150} : MonitorPlace{0, 0, kW, kH};
    Framebuffer fb(kW, kH), truth(kW, kH);
    BufferSet set;
    set.Resize(area.width, area.height);
    fb.TrackDamage();
    fb.KeepPictureOnScreen([&](std::span<std::uint32_t> pixels, int w, int h) {
      ++read_back;
      set.ReadPicture(pixels, w, h);
    });
    std::vector<std::vector<std::uint32_t>> memory(2, std::vector<std::uint32_t>(area.width * area.height));
    bool busy[2] = {false, false};
    std::vector<RECT> damage;
    for (int present = 0; present < 60; ++present) {
      // Mostly a frame's worth of small squares; now and then more than are
      // kept, all damaged, a new framebuffer (black), or the buffers dropped.
      const int kind = static_cast<int>(random() % 12);
      if (kind == 2) {
        fb.Resize(kW, kH);
        truth = Framebuffer(kW, kH);
      }
      if (kind == 3) {
        fb.CatchUpNow();  // as the presenter does before its buffers go
        set.Drop();
        for (auto& m : memory) m.assign(m.size(), 0);
        busy[0] = busy[1] = false;
      }
      const int fills = kind == 0 ? 5000 : 1 + static_cast<int>(random() % 300);
      for (int i = 0; i < fills; ++i) {
        const int x = static_cast<int>(random() % (kW + 10)) - 5, y = static_cast<int>(random() % (kH + 10)) - 5;
        const int side = 1 + static_cast<int>(random() % 9);
        const std::uint32_t pixel = random() % 2 ? 0xFFFFFFu : 0u;
        fb.Fill(x, y, x + side, y + side, pixel);
        truth.Fill(x, y, x + side, y + side, pixel);
      }
      if (kind == 1) fb.DamageAll();
      if (fb.FillsFromBlack()) set.AddBlack(area);
      if (fb.FillsReplay() || fb.FillsFromBlack())
        set.AddFills(fb.Fills(), area);
      else
        set.AddRects(fb.Damage(), area);
      // The compositor gives buffers back when it likes; a change waits for a free one.
      for (bool& b : busy) b = b && random() % 2;
      int free_buffer = -1;
      for (int i = 0; i < 2 && free_buffer < 0; ++i)
        if (i < set.Count() && !busy[i]) free_buffer = i;
      if (free_buffer < 0 && set.Count() < 2) free_buffer = set.Add(memory[set.Count()].data());
      if (free_buffer >= 0 && random() % 4) {
        set.Draw(free_buffer, fb, area, damage);
        busy[free_buffer] = true;
        ++drawn;
        for (int y = 0; y < area.height; ++y)
          for (int x = 0; x < area.width; ++x)
            ASSERT_EQ(memory[free_buffer][y * area.width + x] & 0xFFFFFF, truth.At(x + area.x, y + area.y))
                << "run " << run << ", present " << present << ", at " << x << "," << y;
      }
      fb.ClearDamage(set.HoldsPicture(area) && area == MonitorPlace{0, 0, kW, kH});
    }
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) ASSERT_EQ(fb.At(x, y), truth.At(x, y)) << "run " << run << ", at " << x << "," << y;
  }
  EXPECT_GE(drawn, 200);
  EXPECT_GE(read_back, 3);
}

}  // namespace
}  // namespace squarefield
