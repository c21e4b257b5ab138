// Spawning: where a particle starts, how fast, and in which order it draws its
// random numbers.
#include <gtest/gtest.h>

#include "rig.h"

namespace squarefield::testing {
namespace {

class Spawn : public ::testing::Test {
 protected:
  void SetUp() override { rig.form.Particles.Allocate(Form1::kLastParticle); }
  const Particle& SpawnWith(float r1, float r2, float r3, std::int16_t index = 0) {
    rig.runtime.rnd = {r1, r2, r3};
    rig.form.ReDimVar(index);
    return rig.form.Particles(index);
  }
  Rig rig;
};

TEST_F(Spawn, AngleZeroStartsStraightAboveTheCentre) {
  const Particle& p = SpawnWith(100.0f / 1024, 0.0f, 0.0f);
  EXPECT_EQ(rig.form.Radius, 100);
  EXPECT_EQ(p.Angle, 0.0);
  EXPECT_EQ(p.X, 512.0);
  EXPECT_EQ(p.Y, 284.0);
  EXPECT_EQ(p.Speed, 1.0);
  EXPECT_EQ(p.Acceleration, 1.0 / 80);
}

TEST_F(Spawn, AngleNinetyFallsJustShortOfARightAngle) {
  const Particle& p = SpawnWith(100.0f / 1024, 0.25f, 0.5f);
  EXPECT_EQ(p.Angle, 90.0);
  EXPECT_EQ(p.X, 412.0);
  // 90 x F is a little under pi/2, so the cosine is a little above zero.
  EXPECT_LT(p.Y, 384.0);
  EXPECT_NEAR(384.0 - p.Y, 1.79e-7, 0.01e-7);
  EXPECT_EQ(p.Acceleration, 1.0 / 50);
}

TEST_F(Spawn, RadiusRoundsHalvesToEvenAndReachesTheFullWidth) {
  SpawnWith(2.5f / 1024, 0, 0);
  EXPECT_EQ(rig.form.Radius, 2);
  SpawnWith(3.5f / 1024, 0, 0);
  EXPECT_EQ(rig.form.Radius, 4);
  SpawnWith(1.0f - 1.0f / 16777216, 0, 0);
  EXPECT_EQ(rig.form.Radius, 1024);
  const Particle& centre = SpawnWith(0, 0.3f, 0);
  EXPECT_EQ(rig.form.Radius, 0);
  EXPECT_EQ(centre.X, 512.0);
  EXPECT_EQ(centre.Y, 384.0);
}

TEST_F(Spawn, AccelerationSpansOneEightiethToOneTwentieth) {
  EXPECT_EQ(SpawnWith(0, 0, 0).Acceleration, 1.0 / 80);
  const float top = 1.0f - 1.0f / 16777216;
  const double a = SpawnWith(0, 0, top).Acceleration;
  EXPECT_LT(a, 1.0 / 20);
  EXPECT_GT(a, 1.0 / 20.001);
}

TEST_F(Spawn, DrawsThreeNumbersAndReseedsFromTheClockAfterTheFirst) {
  rig.runtime.timer = 43200.5f;
  SpawnWith(0.1f, 0.2f, 0.3f);
  const std::vector<std::string> expected = {"Rnd -> 0.100000001", "Timer -> 43200.5", "Randomize 43200.5",
                                             "Rnd -> 0.200000003", "Rnd -> 0.300000012"};
  EXPECT_EQ(rig.Lines(), expected);
}

TEST_F(Spawn, ScreenAndIndexErrorsAreRaisedFromReDimVar) {
  // S above 32767: the distance no longer fits in 16 bits.
  rig.runtime.screen.Width = 40000 * 15.0f;
  try {
    SpawnWith(0.9f, 0, 0);
    FAIL() << "no overflow";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Report(), "Run-time error 6: Overflow (in ReDimVar)");
  }
  EXPECT_THROW(rig.form.ReDimVar(401), RuntimeError);
  rig.form.ReDimVar(400);
}

TEST_F(Spawn, DistanceScalesWithWidthOverVerticalTwips) {
  // Unequal twips per pixel: W = 12000/15 = 800, S = 12000/12 = 1000.
  rig.runtime.screen = {12000, 9000, 15, 12};
  SpawnWith(0.5f, 0.0f, 0);
  EXPECT_EQ(rig.form.Radius, 500);
  EXPECT_EQ(rig.form.Particles(0).X, 400.0);
  EXPECT_EQ(rig.form.Particles(0).Y, 750.0 / 2 - 500);
}

}  // namespace
}  // namespace squarefield::testing
