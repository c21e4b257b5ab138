// A presenter of the tests' own, the whole of what a new one implements: a
// screen of its own that takes each present as a display would, the frame's
// fills replayed where they replay (batched by colour, as the X11 and page
// presenters send them) and the damaged pixels copied where they do not.
// After every present its screen must be the framebuffer exactly. A screen
// that keeps its picture (as a page's canvas does) spares the framebuffer its
// pixels while the fills replay: it must show the same, and the framebuffer,
// caught up from it, end the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "hosts/framebuffer/fill_batches.h"
#include "hosts/framebuffer/framebuffer_host.h"
#include "shell/run.h"

namespace squarefield {
namespace {

struct Shown {
  int replayed = 0, copied = 0, differing = 0;  // presents of each kind; presents that left the screen wrong
  int read_back = 0;                             // times the framebuffer caught up from the screen
  std::vector<std::uint32_t> screen;
};

bool SameColours(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](std::uint32_t x, std::uint32_t y) { return (x & 0xFFFFFFu) == (y & 0xFFFFFFu); });
}

class ScreenPresenter final : public Presenter, public PictureHolder {
 public:
  ScreenPresenter(double refresh_rate, Shown& shown, bool keeps_picture)
      : refresh_rate_(refresh_rate), shown_(shown), keeps_picture_(keeps_picture) {}

  std::optional<Failure> Pump(PresenterEvents& /*events*/) override { return std::nullopt; }
  std::optional<Failure> Present(const Framebuffer& fb) override {
    screen_.resize(static_cast<std::size_t>(fb.Width()) * fb.Height());
    if (fb.FillsReplay()) {
      ++shown_.replayed;
      for (const FillBatch& batch : batcher_.Batch(fb.Fills(), fb.Width(), fb.Height(), {0, 0, fb.Width(), fb.Height()}))
        for (const RECT& r : batch.rects) Paint(fb.Width(), r, [&](int, int) { return batch.pixel; });
    } else {
      ++shown_.copied;
      for (const RECT& r : fb.Damage()) Paint(fb.Width(), r, [&](int x, int y) { return fb.At(x, y); });
    }
    shown_.screen = screen_;
    // Reading the pixels here would catch them up every present: a screen
    // that keeps its picture is judged against one that does not instead.
    if (!keeps_picture_ && !SameColours(screen_, fb.Picture())) ++shown_.differing;
    return std::nullopt;
  }
  PictureHolder* Holder() override { return keeps_picture_ ? this : nullptr; }
  bool HoldsPicture() const override { return true; }
  void ReadPicture(std::span<std::uint32_t> pixels, int /*width*/, int /*height*/) override {
    ++shown_.read_back;
    std::copy(screen_.begin(), screen_.end(), pixels.begin());
  }
  double RefreshRate() const override { return refresh_rate_; }
  bool Unseen() override { return false; }
  bool EscapeDown() const override { return false; }
  void Finish() override {}
  void CursorCountChanged(int /*count*/) override {}

 private:
  template <class Colour>
  void Paint(int width, const RECT& r, Colour colour) {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) screen_[static_cast<std::size_t>(y) * width + x] = colour(x, y);
  }

  double refresh_rate_;
  Shown& shown_;
  bool keeps_picture_;
  FillBatcher batcher_;
  std::vector<std::uint32_t> screen_;
};

// A seeded run; `pixels`: the framebuffer's at the end.
Shown RunOn(double refresh_rate, double fps, std::int64_t frames, bool keeps_picture,
            std::vector<std::uint32_t>& pixels) {
  Shown shown;
  FramebufferHost host(std::make_unique<ScreenPresenter>(refresh_rate, shown, keeps_picture), 320, 240);
  RunConfig config;
  config.frames = frames;
  config.seed = 3;
  config.fps = fps;
  EXPECT_FALSE(RunEffect(host, config));
  pixels = host.framebuffer().Picture();
  return shown;
}

// A present a frame: the fills replay, from the first whole picture on; on a
// screen that keeps its picture the framebuffer writes no pixels meanwhile,
// and reads them back once, when they are asked for at the end.
TEST(Presenter, EveryFrameItsFillsReplayedMakeTheFramebuffer) {
  std::vector<std::uint32_t> pixels, kept_pixels;
  const Shown shown = RunOn(1000, 1000, 120, false, pixels);
  EXPECT_GE(shown.replayed, 60);
  EXPECT_GE(shown.copied, 1);  // the first present shows everything
  EXPECT_EQ(shown.differing, 0);
  const Shown kept = RunOn(1000, 1000, 120, true, kept_pixels);
  EXPECT_EQ(kept.replayed, shown.replayed);
  EXPECT_EQ(kept.read_back, 1);
  EXPECT_TRUE(SameColours(kept.screen, shown.screen));
  EXPECT_TRUE(SameColours(kept_pixels, pixels));
}

// More fills a present than are kept: the damage is copied. Fills of both
// colours, overlapping and partly off the screen, in presents of 5,000 (the
// first, all of it damaged), 700 (replayed), 18,500 (past the 16,384 kept, and
// few enough after them that the damage is not one rectangle around it all),
// 700 twice, 50,000 (a few in each present land off the screen, and are not
// kept) and 20,000. Beside it, the same on a screen that keeps its picture:
// there the framebuffer catches up from the screen when the 18,500 and the
// 50,000 pass what is kept, after presents that replayed; after a copy its
// pixels are current, and the 20,000 needs no catching up.
TEST(Presenter, MoreFillsThanAreKeptCopyTheDamage) {
  Shown shown, kept;
  FramebufferHost host(std::make_unique<ScreenPresenter>(60, shown, false), 320, 240);
  FramebufferHost keeping(std::make_unique<ScreenPresenter>(60, kept, true), 320, 240);
  struct Drawing {
    FramebufferApi& api;
    HDC dc;
    HBRUSH brushes[2];
  };
  std::vector<Drawing> drawings;
  for (FramebufferHost* h : {&host, &keeping}) {
    FramebufferApi& api = h->drawing();
    drawings.push_back({api, api.GetWindowDC(api.GetDesktopWindow()),
                        {api.CreateSolidBrush(0x000000), api.CreateSolidBrush(0xFFFFFF)}});
  }
  std::mt19937 random(7);
  std::uniform_int_distribution<int> across(-20, 330), down(-20, 250), side(1, 30);
  int presents = 0;
  for (int fills : {5000, 700, 18500, 700, 700, 50000, 20000}) {
    for (int i = 0; i < fills; ++i) {
      const int x = across(random), y = down(random);
      const RECT r{x, y, x + side(random), y + side(random)};
      for (Drawing& d : drawings) d.api.FillRect(d.dc, r, d.brushes[i % 2]);
    }
    ASSERT_FALSE(host.Present());
    ASSERT_FALSE(keeping.Present());
    ++presents;
    EXPECT_TRUE(SameColours(kept.screen, shown.screen)) << "present " << presents;
  }
  EXPECT_EQ(shown.replayed, 3);
  EXPECT_EQ(shown.copied, 4);
  EXPECT_EQ(shown.differing, 0);
  EXPECT_EQ(kept.read_back, 2);
  EXPECT_TRUE(SameColours(keeping.framebuffer().Picture(), host.framebuffer().Picture()));
}

}  // namespace
}  // namespace squarefield
