// One frame: erase, accelerate, move, bounds test, respawn, paint.
#include <gtest/gtest.h>

#include <algorithm>

#include "rig.h"

namespace squarefield::testing {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    Form1& f = rig.form;
    f.Particles.Allocate(Form1::kLastParticle);
    f.ScreenDC = rig.screen.GetWindowDC(rig.screen.GetDesktopWindow());
    f.Brushes(0) = rig.screen.CreateSolidBrush(0x000000);
    f.Brushes(1) = rig.screen.CreateSolidBrush(0xFFFFFF);
    // Resting particles: at the origin, not moving, never leaving the field.
    for (int i = 0; i <= Form1::kLastParticle; ++i) f.Particles(i) = {};
  }
  Particle& P(int i) { return rig.form.Particles(i); }
  Rig rig;
};

TEST_F(Frame, MakesEightHundredTwoFillsAlternatingBlackAndWhite) {
  rig.form.Draw();
  const auto fills = rig.Calls("FillRect");
  ASSERT_EQ(fills.size(), 802u);
  const std::string black = std::to_string(rig.form.Brushes(0)), white = std::to_string(rig.form.Brushes(1));
  ASSERT_NE(black, white);
  for (std::size_t i = 0; i < fills.size(); ++i) {
    const std::string brush = fills[i].substr(fills[i].rfind(' ') + 1);  // the last field, however long
    ASSERT_EQ(brush, i % 2 == 0 ? black : white) << fills[i];
  }
  EXPECT_EQ(rig.form.Counter, 401);
}

TEST_F(Frame, SquareCornersRoundHalvesToEven) {
  P(0) = {1.5, 100, 0, 1, 0};  // left = CLng(1.5) = 2 = right = CLng(2.5): empty
  P(1) = {2.5, 100, 0, 1, 0};  // spans 2 to 4 once the speed is 2
  P(1).Acceleration = 1;
  rig.form.Draw();
  const auto fills = rig.Calls("FillRect");
  EXPECT_EQ(fills[0], "FillRect 3 2 100 2 101 4");
  EXPECT_EQ(fills[2], "FillRect 3 2 100 4 101 4");
  // Particle 1 moved straight up by its new speed 2: Y = 98, square 2..4 x 98..100.
  EXPECT_EQ(fills[3], "FillRect 3 2 98 4 100 5");
  EXPECT_EQ(rig.fb.At(2, 98), kWhite);
  EXPECT_EQ(rig.fb.At(3, 99), kWhite);
  EXPECT_EQ(rig.fb.At(4, 99), 0u);
  EXPECT_EQ(rig.fb.At(2, 100), 0u);
}

TEST_F(Frame, SpeedAndDistanceAfterNFrames) {
  const double a = 1.0 / 64;
  P(7) = {512, 700, 0, 1, a};
  const int n = 10;
  for (int i = 0; i < n; ++i) rig.form.Draw();
  EXPECT_EQ(P(7).Speed, 1 + n * a);
  EXPECT_EQ(P(7).X, 512.0);
  EXPECT_EQ(700 - P(7).Y, n + a * n * (n + 1) / 2);
}

TEST_F(Frame, ParticlesOnTheEdgesStay) {
  P(0) = {0, 50, 0, 0, 0};
  P(1) = {50, 0, 0, 0, 0};
  P(2) = {1024, 50, 0, 0, 0};
  P(3) = {50, 768, 0, 0, 0};
  P(4) = {1024 + 1.0 / 16384, 50, 0, 0, 0};  // above the width, but not once in single precision
  rig.form.Draw();
  EXPECT_TRUE(rig.Calls("Rnd").empty());
  EXPECT_EQ(P(4).X, 1024 + 1.0 / 16384);
}

TEST_F(Frame, ParticlesJustOutsideRespawnAndArePaintedAtOnce) {
  const std::vector<Particle> outside = {
      {-1e-300, 50, 0, 0, 0}, {50, -1e-300, 0, 0, 0}, {1024 + 1.0 / 4096, 50, 0, 0, 0}, {50, 768.0001, 0, 0, 0}};
  for (const Particle& start : outside) {
    P(9) = start;
    rig.runtime.rnd = {0.0f, 0.0f, 0.0f};  // respawn at the centre, angle 0
    rig.form.Draw();
    EXPECT_EQ(P(9).X, 512.0);
    EXPECT_EQ(P(9).Speed, 1.0);
  }
  EXPECT_EQ(rig.Calls("Rnd").size(), 12u);
  EXPECT_EQ(rig.Calls("FillRect")[19], "FillRect 3 512 384 513 385 5");
  EXPECT_EQ(rig.fb.At(512, 384), kWhite);
}

TEST_F(Frame, LaterEraseCanBlankAnEarlierSquare) {
  P(0) = {10, 10, 0, 3, 0};    // moves up by 3: painted over 10..13 x 7..10
  P(1) = {11, 8, 180, 1, 0};    // its erase blanks 11,8 inside that square,
  rig.form.Draw();              // then it moves down and paints 11,9
  EXPECT_EQ(rig.fb.At(10, 8), kWhite);
  EXPECT_EQ(rig.fb.At(11, 8), 0u);
  EXPECT_EQ(rig.fb.At(11, 9), kWhite);
}

TEST_F(Frame, NullDeviceContextOrDeletedBrushPaintsNothing) {
  P(0) = {10, 10, 0, 4, 0};
  rig.form.ScreenDC = 0;
  rig.form.Draw();
  EXPECT_EQ(rig.fb.At(11, 11), 0u);
  rig.form.ScreenDC = FramebufferApi::kScreenDC;
  rig.screen.DeleteObject(rig.form.Brushes(1));
  rig.form.Draw();
  EXPECT_EQ(rig.fb.At(11, 11), 0u);
}

TEST_F(Frame, PositionBeyondTheIntegerRangeOverflows) {
  P(0) = {5e9, 10, 0, 1, 0};
  try {
    rig.form.Draw();
    FAIL() << "no overflow";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Report(), "Run-time error 6: Overflow (in Draw)");
  }
}

TEST(Fill, ClipsToTheScreenAndSkipsEmptyRectangles) {
  Framebuffer fb(4, 3);
  fb.Fill(-5, -5, 1, 1, 7);
  fb.Fill(3, 2, 100, 100, 8);
  fb.Fill(2, 0, 2, 3, 9);  // empty: right == left
  fb.Fill(1, 2, 3, 1, 9);  // empty: bottom < top
  const std::vector<std::uint32_t> expected = {7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8};
  EXPECT_TRUE(std::ranges::equal(fb.Picture(), expected));
}

}  // namespace
}  // namespace squarefield::testing
