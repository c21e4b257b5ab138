// What the hosts share and what every run puts around them: change tracking on
// the framebuffer, stop requests read as Escape, the ledger that gives back the
// cursor and brushes, and output files that appear whole or not at all and
// never replace what is not theirs to replace.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "hosts/framebuffer/framebuffer.h"
#include "hosts/framebuffer/monitor_layout.h"
#include "hosts/framebuffer/fill_batches.h"
#include "hosts/headless/headless_host.h"
#include "shell/guard.h"
#include "shell/output_file.h"
#include "shell/stop.h"
#ifdef SQUAREFIELD_HAS_GIF
#include "shell/gif_export.h"
#endif
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace squarefield {
namespace {

namespace fs = std::filesystem;

TEST(Framebuffer, DamageIsTheRectanglesFillsTouchedMergedWhereThatIsCheaper) {
  Framebuffer fb(100, 20);
  fb.TrackDamage();
  ASSERT_EQ(fb.Damage().size(), 1u);  // everything starts out to be shown
  EXPECT_EQ(fb.Damage()[0].right, 100);
  fb.ClearDamage();
  fb.Fill(10, 10, 14, 14, 0);         // a square's erase...
  fb.Fill(11, 11, 16, 16, 0xFFFFFF);  // ...and its repaint a pixel on: one rectangle
  fb.Fill(80, 2, 84, 6, 0xFFFFFF);    // across the screen: one more
  fb.Fill(97, 17, 200, 200, 0xFFFFFF);  // clipped to the screen
  fb.Fill(50, 0, 50, 20, 0xFFFFFF);   // empty: no damage
  const auto d = fb.Damage();
  ASSERT_EQ(d.size(), 3u);
  EXPECT_TRUE(d[0].left == 10 && d[0].top == 10 && d[0].right == 16 && d[0].bottom == 16);
  EXPECT_TRUE(d[1].left == 80 && d[1].top == 2 && d[1].right == 84 && d[1].bottom == 6);
  EXPECT_TRUE(d[2].left == 97 && d[2].top == 17 && d[2].right == 100 && d[2].bottom == 20);
  // Every changed pixel lies in some rectangle.
  int outside = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 100; ++x) {
      bool covered = false;
      for (const RECT& r : d) covered = covered || (x >= r.left && x < r.right && y >= r.top && y < r.bottom);
      outside += fb.At(x, y) != 0 && !covered;
    }
  EXPECT_EQ(outside, 0);
}

TEST(Framebuffer, AResizedScreenIsBlackAndAllToBeShownAgain) {
  Framebuffer fb(16, 8);
  fb.TrackDamage();
  fb.Fill(0, 0, 16, 8, 0xFFFFFF);
  fb.ClearDamage();
  fb.Resize(24, 16);  // a window someone else owns grew
  EXPECT_EQ(fb.Width(), 24);
  EXPECT_EQ(fb.At(23, 15), 0u);
  EXPECT_EQ(fb.At(0, 0), 0u);
  ASSERT_EQ(fb.Damage().size(), 1u);
  EXPECT_TRUE(fb.Damage()[0].right == 24 && fb.Damage()[0].bottom == 16);
  fb.Fill(1, 1, 2, 2, 0xFFFFFF);  // the whole screen is to be shown already
  EXPECT_EQ(fb.Damage().size(), 1u);
}

TEST(Framebuffer, EverySpanWidthFillsExactlyItsPixels) {
  // Narrow spans take fixed-size, overlapping stores: each width must still
  // cover its pixels and not one beyond, for a grey and for any other colour.
  for (const std::uint32_t colour : {0xFFFFFFFFu, 0x00123456u})
    for (int span = 1; span <= 12; ++span) {
      Framebuffer fb(20, 4);
      fb.Fill(3, 1, 3 + span, 3, colour);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 20; ++x) {
          const bool inside = x >= 3 && x < 3 + span && y >= 1 && y < 3;
          ASSERT_EQ(fb.At(x, y), inside ? colour & 0xFFFFFFu : 0u) << "span " << span << " at " << x << "," << y;
        }
    }
}

// The fills since a present, replayed in batches of one colour on what that
// present showed, give exactly the framebuffer's pixels: every order that
// matters is kept, however the squares overlap, and most fills share a batch.
TEST(FillBatcher, ReplayingTheBatchesGivesTheFramebufferExactly) {
  std::mt19937 random(3);
  for (int round = 0; round < 40; ++round) {
    Framebuffer fb(200, 120);
    fb.TrackDamage();
    for (int i = 0; i < 300; ++i) {  // what was shown: some squares already
      const int x = static_cast<int>(random() % 200), y = static_cast<int>(random() % 120);
      fb.Fill(x, y, x + 5, y + 5, 0xFFFFFF);
    }
    Framebuffer shown = fb;
    fb.ClearDamage();
    ASSERT_TRUE(fb.FillsReplay());
    // A frame: each square erased black, then painted white a little further
    // on; crowded (a small area: many overlap) in odd rounds.
    const int spread = round % 2 ? 40 : 200;
    for (int i = 0; i < 400; ++i) {
      const int x = static_cast<int>(random() % spread), y = static_cast<int>(random() % (spread * 3 / 5));
      const int size = 1 + static_cast<int>(random() % 8);
      fb.Fill(x, y, x + size, y + size, 0);
      fb.Fill(x + 1, y - 1, x + 1 + size, y - 1 + size, 0xFFFFFF);
    }
    ASSERT_TRUE(fb.FillsReplay());
    FillBatcher batcher;
    // The right half of the screen, as one monitor of two would show it.
    const RECT area{100, 0, 200, 120};
    const auto batches = batcher.Batch(fb.Fills(), fb.Width(), fb.Height(), area);
    for (const FillBatch& b : batches)
      for (const RECT& r : b.rects) {
        ASSERT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= 100 && r.bottom <= 120);
        shown.Fill(r.left + area.left, r.top + area.top, r.right + area.left, r.bottom + area.top, b.pixel);
      }
    int differ = 0;
    for (int y = 0; y < 120; ++y)
      for (int x = 100; x < 200; ++x) differ += shown.At(x, y) != fb.At(x, y);
    ASSERT_EQ(differ, 0) << "round " << round << ", " << batches.size() << " batches";
    if (spread == 200) {
      EXPECT_LT(batches.size(), 200u) << "round " << round;  // spread out, most share a batch
    }
  }
  // Past its bound, or after everything was damaged, the fills are no replay.
  Framebuffer fb(64, 64);
  fb.TrackDamage();
  EXPECT_FALSE(fb.FillsReplay());  // a new screen: its pixels must be sent
  fb.ClearDamage();
  for (std::size_t i = 0; i <= Framebuffer::kMaxFills; ++i) fb.Fill(0, 0, 2, 2, 0xFFFFFF);
  EXPECT_FALSE(fb.FillsReplay());
  fb.ClearDamage();
  fb.Fill(0, 0, 2, 2, 0);
  fb.DamageAll();  // an expose
  EXPECT_FALSE(fb.FillsReplay());
}

// Monitors placed in points, shown in pixels: at one scale the places stay;
// at mixed scales neighbours stay neighbours, with no overlap and no gap.
TEST(MonitorLayout, NeighboursStayNeighboursAtAnyScale) {
  using P = MonitorPlace;
  // One scale: the desktop's own places.
  EXPECT_EQ(LayMonitors({{0, 0, 1280, 720}, {1280, 0, 640, 480}}, {{0, 0, 1280, 720}, {0, 0, 640, 480}}),
            (std::vector<P>{{0, 0, 1280, 720}, {1280, 0, 640, 480}}));
  // The second at scale 2: 320x240 points of 640x480 pixels, right of the first in pixels too.
  EXPECT_EQ(LayMonitors({{0, 0, 1280, 720}, {1280, 0, 320, 240}}, {{0, 0, 1280, 720}, {0, 0, 640, 480}}),
            (std::vector<P>{{0, 0, 1280, 720}, {1280, 0, 640, 480}}));
  // The first at scale 2, listed last: the other starts where its pixels end, not its points.
  EXPECT_EQ(LayMonitors({{640, 0, 1280, 720}, {0, 0, 640, 360}}, {{0, 0, 1280, 720}, {0, 0, 1280, 720}}),
            (std::vector<P>{{1280, 0, 1280, 720}, {0, 0, 1280, 720}}));
  // Stacked, and a gap on the desktop closed up.
  EXPECT_EQ(LayMonitors({{0, 0, 800, 600}, {0, 600, 400, 300}, {3000, 0, 100, 100}},
                        {{0, 0, 800, 600}, {0, 0, 800, 600}, {0, 0, 100, 100}}),
            (std::vector<P>{{0, 0, 800, 600}, {0, 600, 800, 600}, {800, 0, 100, 100}}));
  EXPECT_TRUE(LayMonitors({}, {}).empty());
}

TEST(RunGuard, TheLastFrameReadsAsEscapePressedOnceThenHeld) {
  auto headless = MakeHeadlessHost(4, 4);
  FramebufferHost& host = *headless;
  RunGuard guard(host.Api(), [] { return false; }, 2);
  EXPECT_EQ(guard.GetAsyncKeyState(VK_ESCAPE), 0);
  EXPECT_EQ(guard.GetAsyncKeyState(VK_ESCAPE), -32767);  // 0x8001: down, and pressed since the last poll
  EXPECT_EQ(guard.GetAsyncKeyState(VK_ESCAPE), -32768);  // 0x8000: still down
  EXPECT_EQ(guard.GetAsyncKeyState('A'), 0);
}

TEST(RunGuard, AStopRequestReadsAsEscape) {
  auto headless = MakeHeadlessHost(4, 4);
  FramebufferHost& host = *headless;
  RunGuard guard(host.Api(), StopRequested, std::nullopt);
  EXPECT_EQ(guard.GetAsyncKeyState(VK_ESCAPE), 0);
  RequestStop();
  EXPECT_EQ(guard.GetAsyncKeyState(VK_ESCAPE), -32767);
  ClearStopRequest();
  EXPECT_EQ(guard.GetAsyncKeyState(VK_ESCAPE), -32768);  // once stopping, it stays so
}

TEST(RunGuard, GivesBackTheCursorAndEveryLiveBrush) {
  auto headless = MakeHeadlessHost(4, 4);
  FramebufferHost& host = *headless;
  RunGuard guard(host.Api(), [] { return false; }, std::nullopt);
  const HBRUSH white = guard.CreateSolidBrush(0xFFFFFF);
  guard.CreateSolidBrush(0x0000FF);  // red, as 0x00BBGGRR
  guard.ShowCursor(false);
  guard.ShowCursor(false);
  guard.FillRect(FramebufferApi::kScreenDC, {0, 0, 1, 1}, white + 1);
  EXPECT_EQ(host.Pixels()->At(0, 0), 0xFF0000u);
  EXPECT_EQ(guard.DeleteObject(white), true);
  EXPECT_EQ(guard.DeleteObject(white), false);  // already gone
  guard.Restore(guard);
  EXPECT_EQ(host.drawing().CursorCount(), 0);
  EXPECT_EQ(host.drawing().LiveBrushes(), 0);
}

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("squarefield-output-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    path_ = (folder_ / "out.txt").string();
  }
  void TearDown() override { fs::remove_all(folder_); }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static bool Write(const std::string& path, const char* text, std::string& problem) {
    OutputFile file(path);
    if (!file.Open(problem)) return false;
    std::fputs(text, file.Stream());
    return file.Commit(problem);
  }
  int Entries() const { return static_cast<int>(std::distance(fs::directory_iterator(folder_), {})); }

  fs::path folder_;
  std::string path_;
};

TEST_F(OutputFileTest, AppearsOnlyWhenCommittedAndLeavesNoTemporary) {
  std::string problem;
  {
    OutputFile file(path_);
    ASSERT_NE(file.Open(problem), nullptr);
    std::fputs("half", file.Stream());
    EXPECT_FALSE(fs::exists(path_));
  }  // abandoned: neither the file nor its temporary remains
  EXPECT_EQ(Entries(), 0);
  ASSERT_TRUE(Write(path_, "whole", problem)) << problem;
  EXPECT_EQ(Read(path_), "whole");
  EXPECT_EQ(Entries(), 1);
}

TEST_F(OutputFileTest, CheckingKeepsAnExistingFileAndAFileNamedLikeATemporary) {
  { std::ofstream(path_) << "keep"; }
  // Shaped like the temporaries (.squarefield.XXXXXX) that writing makes beside the target.
  const fs::path planted = folder_ / ".squarefield.AAAAAA";
  { std::ofstream(planted) << "mine"; }
  std::string problem;
  EXPECT_TRUE(CanWrite(path_, problem));
  ASSERT_TRUE(Write(path_, "new", problem)) << problem;
  EXPECT_EQ(Read(path_), "new");
  EXPECT_EQ(Read(planted), "mine");
  EXPECT_EQ(Entries(), 2);
}

// Every temporary is listed for the signal path to remove; one that could not
// be listed is refused before a byte is written, not left to a signal.
TEST_F(OutputFileTest, AnOutputThatCouldNotBeCleanedUpIsNotWritten) {
  std::vector<std::unique_ptr<OutputFile>> open;
  std::string problem;
  int opened = 0;
  for (; opened < 64; ++opened) {
    std::string name = "out";
    name += std::to_string(opened);
    auto file = std::make_unique<OutputFile>((folder_ / name).string());
    if (file->Open(problem) == nullptr) break;
    open.push_back(std::move(file));
  }
  EXPECT_EQ(opened, 8);
  EXPECT_NE(problem.find("clean up after a signal"), std::string::npos) << problem;
  EXPECT_EQ(Entries(), 8);  // the refused one left no temporary
  open.clear();
  EXPECT_EQ(Entries(), 0);
  // Slots come back once their files are done with.
  EXPECT_TRUE(Write(path_, "again", problem)) << problem;
}

TEST_F(OutputFileTest, SameOutputSeesThroughSpellings) {
  EXPECT_TRUE(SameOutput("-", "-"));
  EXPECT_FALSE(SameOutput("-", path_));
  EXPECT_TRUE(SameOutput(path_, (folder_ / "." / "out.txt").string()));  // not there yet
  EXPECT_FALSE(SameOutput(path_, (folder_ / "other.txt").string()));
}

#ifndef _WIN32
TEST_F(OutputFileTest, ASymlinkKeepsPointingAtTheFileItNames) {
  const fs::path real = folder_ / "real.txt";
  { std::ofstream(real) << "old"; }
  fs::create_symlink(real, path_);
  EXPECT_TRUE(SameOutput(path_, real.string()));
  std::string problem;
  ASSERT_TRUE(Write(path_, "new", problem)) << problem;
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(Read(real), "new");
  EXPECT_EQ(Entries(), 2);
}

TEST_F(OutputFileTest, AReplacedFileKeepsItsPermissions) {
  { std::ofstream(path_) << "old"; }
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  std::string problem;
  ASSERT_TRUE(Write(path_, "new", problem)) << problem;
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(OutputFileTest, DevicesAndPipesAreWrittenNotReplaced) {
  std::string problem;
  ASSERT_TRUE(Write("/dev/null", "nothing", problem)) << problem;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  const std::string fifo = (folder_ / "pipe").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = Read(fifo); });
  EXPECT_TRUE(Write(fifo, "through", problem)) << problem;
  reader.join();
  EXPECT_EQ(received, "through");
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(OutputFileTest, AWriteErrorIsReportedWithItsReason) {
  std::string problem;
  OutputFile file("/dev/full");
  ASSERT_NE(file.Open(problem), nullptr);
  std::fputs("more than fits", file.Stream());
  EXPECT_FALSE(file.Commit(problem));
  EXPECT_EQ(problem, std::strerror(ENOSPC));
}
#else
TEST_F(OutputFileTest, TheNullDeviceIsWrittenDirectly) {
  std::string problem;
  EXPECT_TRUE(CanWrite("NUL", problem)) << problem;
  EXPECT_TRUE(Write("NUL", "nothing", problem)) << problem;
}

TEST(Stop, ConsoleEventsAreStopRequests) {
  ForgetStopSignals();
  InstallStopHandlers();
  EXPECT_TRUE(OnConsoleEvent(0));  // CTRL_C_EVENT
  EXPECT_TRUE(StopRequested());
  ForgetStopSignals();
}
#endif

#ifdef SQUAREFIELD_HAS_GIF
TEST(Gif, DelayFollowsTheFrameRateButNotBelowTwoHundredths) {
  EXPECT_EQ(GifDelay(50), 2);
  EXPECT_EQ(GifDelay(25), 4);
  EXPECT_EQ(GifDelay(30), 3);
  EXPECT_EQ(GifDelay(1000), 2);
  EXPECT_EQ(GifDelay(0.5), 200);
}

// The GIF's size is its header's: a screen that changed size under the
// recorder fails the file instead of writing past the recorder's buffer.
TEST(Gif, AFrameOfAnotherSizeFailsTheFile) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    GifRecorder gif(out, 16, 8, 4);
    Framebuffer fb(16, 8);
    EXPECT_TRUE(gif.AddFrame(fb));
    fb.Resize(64, 64);
    EXPECT_FALSE(gif.AddFrame(fb));
    fb.Resize(16, 8);
    EXPECT_FALSE(gif.AddFrame(fb));  // failed stays failed
    EXPECT_FALSE(gif.Finish());
  }
  std::fclose(out);
}
#endif

}  // namespace
}  // namespace squarefield
