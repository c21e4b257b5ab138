// The generator and clocks behind Rnd, Randomize and Timer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <set>

#include "runtime/basic_runtime.h"
#include "runtime/clock.h"
#include "runtime/random.h"

namespace squarefield {
namespace {

TEST(RandomGenerator, NumbersLieInTheHalfOpenUnitInterval) {
  RandomGenerator g;
  g.Seed(7);
  double sum = 0;
  for (int i = 0; i < 100000; ++i) {
    const float r = g.Next();
    ASSERT_GE(r, 0.0f);
    ASSERT_LT(r, 1.0f);
    sum += r;
  }
  EXPECT_NEAR(sum / 100000, 0.5, 0.01);
}

TEST(RandomGenerator, SameSeedSameSequenceOtherSeedOther) {
  RandomGenerator a, b, c;
  a.Seed(42);
  b.Seed(42);
  c.Seed(43);
  for (int i = 0; i < 10; ++i) {
    const float x = a.Next();
    EXPECT_EQ(x, b.Next());
    EXPECT_NE(x, c.Next());
  }
}

TEST(RandomGenerator, FoldingTheSameNumberAgainDoesNotRestartTheSequence) {
  RandomGenerator g;
  g.Seed(1);
  // Spawns within one clock tick fold the same time over and over.
  std::set<float> seen;
  for (int i = 0; i < 401; ++i) {
    g.Fold(43200.0f);
    seen.insert(g.Next());
  }
  EXPECT_GT(seen.size(), 395u);
}

TEST(VirtualClock, StartsAtNoonAndStepsPerRead) {
  VirtualClock clock(0);
  EXPECT_EQ(clock.SecondsSinceMidnight(), 43200.0);
  EXPECT_EQ(clock.SecondsSinceMidnight(), 43200.001);
}

// The wall clock's local time of day, read the C way, agrees to within a second or two.
TEST(SystemClock, ReadsTheLocalTimeOfDay) {
  SystemClock clock;
  const std::time_t now = std::time(nullptr);
  char text[16];
  ASSERT_GT(std::strftime(text, sizeof text, "%H %M %S", std::localtime(&now)), 0u);
  int h = 0, m = 0, s = 0;
  ASSERT_EQ(std::sscanf(text, "%d %d %d", &h, &m, &s), 3);
  const double expected = h * 3600.0 + m * 60.0 + s;
  const double got = clock.SecondsSinceMidnight();
  const double apart = std::fabs(got - expected);
  EXPECT_LT(std::fmin(apart, 86400.0 - apart), 2.0) << "clock " << got << ", wall clock " << text;
  // The fraction of a second is there too: two reads a few milliseconds apart differ.
  const double first = clock.SecondsSinceMidnight();
  double later = first;
  for (int i = 0; i < 1000 && later == first; ++i) later = clock.SecondsSinceMidnight();
  EXPECT_NE(later, first);
}

TEST(BasicRuntime, SeededRunsRepeatAndTimerIsSinglePrecision) {
  struct Headless final : BasicRuntime {
    using BasicRuntime::BasicRuntime;
    void DoEvents() override {}
    ScreenObject Screen() override { return {}; }
  };
  VirtualClock c1(5), c2(5);
  Headless a(c1, 5), b(c2, 5);
  a.Randomize();
  b.Randomize();
  for (int i = 0; i < 5; ++i) {
    a.Randomize(a.Timer());
    b.Randomize(b.Timer());
    EXPECT_EQ(a.Rnd(), b.Rnd());
  }
  EXPECT_EQ(a.Timer(), static_cast<float>(43200.005));
}

}  // namespace
}  // namespace squarefield

