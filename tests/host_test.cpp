// What the hosts share: change tracking on the framebuffer, the scripted
// Escape key, stop requests, and output files that appear whole or not at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/output_file.h"
#include "platform/framebuffer.h"
#include "platform/headless/headless_host.h"
#include "platform/stop_signal.h"
#ifdef SQUAREFIELD_HAS_GIF
#include "platform/headless/gif_export.h"
#endif

namespace squarefield {
namespace {

TEST(Framebuffer, TracksWhichTilesChanged) {
  Framebuffer fb(100, 20);  // 8x8 tiles: 13 across, 3 down
  fb.TrackChanges();
  EXPECT_TRUE(fb.Dirty(12, 2));  // everything starts out to be shown
  fb.ClearDirty();
  fb.Fill(7, 7, 9, 9, 0xFFFFFF);  // the corner of four tiles
  fb.Fill(97, 17, 200, 200, 0xFFFFFF);  // clipped to the last tile
  fb.Fill(50, 0, 50, 20, 0xFFFFFF);  // empty: nothing changes
  int dirty = 0;
  for (int ty = 0; ty < fb.TilesY(); ++ty)
    for (int tx = 0; tx < fb.TilesX(); ++tx) dirty += fb.Dirty(tx, ty);
  EXPECT_EQ(dirty, 5);
  EXPECT_TRUE(fb.Dirty(0, 0) && fb.Dirty(1, 0) && fb.Dirty(0, 1) && fb.Dirty(1, 1) && fb.Dirty(12, 2));
  EXPECT_FALSE(fb.Dirty(11, 2));
}

TEST(HeadlessScreen, EscapeIsPressedOnceThenHeld) {
  Framebuffer fb(4, 4);
  HeadlessScript script;
  script.escape_from_poll = 2;
  HeadlessScreen screen(fb, script);
  EXPECT_EQ(screen.GetAsyncKeyState(VK_ESCAPE), 0);
  EXPECT_EQ(screen.GetAsyncKeyState(VK_ESCAPE), -32767);  // 0x8001: down, and pressed since the last poll
  EXPECT_EQ(screen.GetAsyncKeyState(VK_ESCAPE), -32768);  // 0x8000: still down
  EXPECT_EQ(screen.GetAsyncKeyState('A'), 0);
}

TEST(HeadlessScreen, AStopRequestReadsAsEscape) {
  Framebuffer fb(4, 4);
  HeadlessScreen screen(fb, {});
  EXPECT_EQ(screen.GetAsyncKeyState(VK_ESCAPE), 0);
  RequestStop();
  EXPECT_NE(screen.GetAsyncKeyState(VK_ESCAPE), 0);
  ClearStopRequest();
}

TEST(HeadlessScreen, BrushesAndCursorAreRestoredThroughTheGivenCalls) {
  Framebuffer fb(4, 4);
  HeadlessScreen screen(fb, {});
  const HBRUSH white = screen.CreateSolidBrush(0xFFFFFF);
  screen.CreateSolidBrush(0x0000FF);  // red, as 0x00BBGGRR
  screen.ShowCursor(false);
  screen.ShowCursor(false);
  screen.FillRect(FramebufferScreen::kScreenDC, {0, 0, 1, 1}, white + 1);
  EXPECT_EQ(fb.At(0, 0), 0xFF0000u);
  EXPECT_EQ(screen.DeleteObject(white), true);
  EXPECT_EQ(screen.DeleteObject(white), false);  // already gone
  screen.Restore(screen);
  EXPECT_EQ(screen.CursorCount(), 0);
  EXPECT_EQ(screen.LiveBrushes(), 0);
}

class OutputFileTest : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove(path_); }
  std::string Read() {
    std::ifstream in(path_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string path_ = (std::filesystem::temp_directory_path() / "squarefield-output-test.txt").string();
};

TEST_F(OutputFileTest, AppearsOnlyWhenCommitted) {
  std::string problem;
  {
    OutputFile file(path_);
    ASSERT_NE(file.Open(problem), nullptr);
    std::fputs("half", file.Stream());
  }  // abandoned: neither the file nor its temporary remains
  EXPECT_FALSE(std::filesystem::exists(path_));
  EXPECT_FALSE(std::filesystem::exists(path_ + ".part"));
  OutputFile file(path_);
  ASSERT_NE(file.Open(problem), nullptr);
  std::fputs("whole", file.Stream());
  EXPECT_FALSE(std::filesystem::exists(path_));
  ASSERT_TRUE(file.Commit(problem)) << problem;
  EXPECT_EQ(Read(), "whole");
}

TEST_F(OutputFileTest, CheckingAnExistingFileKeepsItsContents) {
  { std::ofstream(path_) << "keep"; }
  std::string problem;
  EXPECT_TRUE(CanWrite(path_, problem));
  EXPECT_EQ(Read(), "keep");
}

#ifdef SQUAREFIELD_HAS_GIF
TEST(Gif, DelayFollowsTheFrameRateButNotBelowTwoHundredths) {
  EXPECT_EQ(GifDelay(50), 2);
  EXPECT_EQ(GifDelay(25), 4);
  EXPECT_EQ(GifDelay(30), 3);
  EXPECT_EQ(GifDelay(1000), 2);
  EXPECT_EQ(GifDelay(0.5), 200);
}
#endif

}  // namespace
}  // namespace squarefield
