// A presenter of the tests' own, the whole of what a new one implements: a
// screen of its own that takes each present as a display would, the frame's
// fills replayed where they replay (batched by colour, as the X11 and page
// presenters send them) and the damaged pixels copied where they do not.
// After every present its screen must be the framebuffer exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "hosts/framebuffer/fill_batches.h"
#include "hosts/framebuffer/framebuffer_host.h"
#include "shell/run.h"

namespace squarefield {
namespace {

struct Shown {
  int replayed = 0, copied = 0, differing = 0;  // presents of each kind; presents that left the screen wrong
};

class ScreenPresenter final : public Presenter {
 public:
  ScreenPresenter(double refresh_rate, Shown& shown) : refresh_rate_(refresh_rate), shown_(shown) {}

  std::optional<Failure> Pump(PresenterEvents& /*events*/) override { return std::nullopt; }
  std::optional<Failure> Present(const Framebuffer& fb) override {
    screen_.resize(fb.Pixels().size());
    if (fb.FillsReplay()) {
      ++shown_.replayed;
      for (const FillBatch& batch : batcher_.Batch(fb.Fills(), fb.Width(), fb.Height(), {0, 0, fb.Width(), fb.Height()}))
        for (const RECT& r : batch.rects) Paint(fb.Width(), r, [&](int, int) { return batch.pixel; });
    } else {
      ++shown_.copied;
      for (const RECT& r : fb.Damage()) Paint(fb.Width(), r, [&](int x, int y) { return fb.Row(y)[x]; });
    }
    for (std::size_t i = 0; i < screen_.size(); ++i)
      if ((screen_[i] & 0xFFFFFFu) != (fb.Pixels()[i] & 0xFFFFFFu)) {
        ++shown_.differing;
        break;
      }
    return std::nullopt;
  }
  double RefreshRate() const override { return refresh_rate_; }
  bool Unseen() override { return false; }
  bool EscapeDown() const override { return false; }
  void Finish() override {}

 private:
  template <class Colour>
  void Paint(int width, const RECT& r, Colour colour) {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) screen_[static_cast<std::size_t>(y) * width + x] = colour(x, y);
  }

  double refresh_rate_;
  Shown& shown_;
  FillBatcher batcher_;
  std::vector<std::uint32_t> screen_;
};

Shown RunOn(double refresh_rate, double fps, std::int64_t frames) {
  Shown shown;
  FramebufferHost host(std::make_unique<ScreenPresenter>(refresh_rate, shown), 320, 240);
  RunConfig config;
  config.frames = frames;
  config.seed = 3;
  config.fps = fps;
  EXPECT_FALSE(RunEffect(host, config));
  return shown;
}

// A present a frame: the fills replay, from the first whole picture on.
TEST(Presenter, EveryFrameItsFillsReplayedMakeTheFramebuffer) {
  const Shown shown = RunOn(1000, 1000, 120);
  EXPECT_GE(shown.replayed, 60);
  EXPECT_GE(shown.copied, 1);  // the first present shows everything
  EXPECT_EQ(shown.differing, 0);
}

// More fills a present than are kept: the damage is copied. Fills of both
// colours, overlapping and partly off the screen, in presents of 5,000 (the
// first, all of it damaged), 700 (replayed), 4,800 (past the 4,096 kept, and
// few enough after them that the damage is not one rectangle around it all)
// and 12,000 (a few in each present land off the screen, and are not kept).
TEST(Presenter, MoreFillsThanAreKeptCopyTheDamage) {
  Shown shown;
  FramebufferHost host(std::make_unique<ScreenPresenter>(60, shown), 320, 240);
  FramebufferApi& api = host.drawing();
  const HDC dc = api.GetWindowDC(api.GetDesktopWindow());
  const HBRUSH brushes[2] = {api.CreateSolidBrush(0x000000), api.CreateSolidBrush(0xFFFFFF)};
  std::mt19937 random(7);
  std::uniform_int_distribution<int> across(-20, 330), down(-20, 250), side(1, 30);
  for (int fills : {5000, 700, 4800, 12000}) {
    for (int i = 0; i < fills; ++i) {
      const int x = across(random), y = down(random);
      api.FillRect(dc, RECT{x, y, x + side(random), y + side(random)}, brushes[i % 2]);
    }
    ASSERT_FALSE(host.Present());
  }
  EXPECT_EQ(shown.replayed, 1);
  EXPECT_EQ(shown.copied, 3);
  EXPECT_EQ(shown.differing, 0);
}

}  // namespace
}  // namespace squarefield
