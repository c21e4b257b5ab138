// Replays a seeded headless run's trace against a plain, independent model of
// the effect: every spawn from the logged random numbers, every square, every
// frame and the shut-down, line by line. Any departure in the core shows here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <tuple>
#include <string>
#include <vector>

#include "hosts/headless/headless_host.h"
#include "shell/run.h"

namespace squarefield {
namespace {

// The trace of a seeded run, as the program writes it, without its comment lines.
std::vector<std::string> SeededTrace(int width, int height, std::int64_t frames, std::uint64_t seed) {
  auto headless = MakeHeadlessHost(width, height);
  FramebufferHost& host = *headless;
  RunConfig config;
  config.frames = frames;
  config.seed = seed;
  // A name of this test's own: tests run side by side under ctest -j.
  config.outputs[OutputKind::Trace] = (std::filesystem::temp_directory_path() /
                  ("squarefield-replay-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                   std::to_string(std::random_device{}()) + ".txt"))
                     .string();
  EXPECT_FALSE(RunEffect(host, config));
  std::FILE* log = std::fopen(config.outputs[OutputKind::Trace].c_str(), "r");
  std::vector<std::string> lines;
  char buffer[256];
  while (log && std::fgets(buffer, sizeof buffer, log))
    if (buffer[0] != '#') lines.emplace_back(buffer, std::strlen(buffer) - 1);
  if (log) std::fclose(log);
  std::filesystem::remove(config.outputs[OutputKind::Trace]);
  return lines;
}

class Replay {
 public:
  Replay(const std::vector<std::string>& lines, double width, double height)
      : lines_(lines), w_(width), h_(height) {}

  void Run() {
    Expect("SetWindowPos 1 -1 0 0 " + Int(w_) + " " + Int(h_) + " 0x0050");
    Expect("GetDesktopWindow -> 2");
    Expect("GetWindowDC 2 -> 3");
    Expect("ShowCursor 0 -> -1");
    Expect("CreateSolidBrush 0x000000 -> 4");
    Expect("CreateSolidBrush 0xFFFFFF -> 5");
    Expect("Randomize");
    for (int i = 0; i <= 400; ++i) Spawn(particles_[i]);
    Expect("Show");
    for (bool running = true; running;) {
      running = Value(Next("GetAsyncKeyState 27 -> ")) == 0;
      for (Particle& p : particles_) {
        Expect("FillRect 3 " + Square(p) + " 4");
        p.v = p.acc + p.v;
        p.x = p.x - std::sin(p.a * kF) * p.v;
        p.y = p.y - std::cos(p.a * kF) * p.v;
        if (p.x < 0 || static_cast<float>(p.x) > static_cast<float>(w_) || p.y < 0 ||
            static_cast<float>(p.y) > static_cast<float>(h_))
          Spawn(p);
        Expect("FillRect 3 " + Square(p) + " 5");
      }
      Expect("DoEvents");
      ++frames;
    }
    Expect("Unload");
    Expect("ShowCursor 1 -> 0");
    Expect("DeleteObject 4");
    Expect("DeleteObject 5");
    EXPECT_EQ(at_, lines_.size()) << "lines left over";
  }

  int frames = 0;

 private:
  struct Particle {
    double x = 0, y = 0, a = 0, v = 0, acc = 0;
  };
  static constexpr double kF = 0.017453292500000002;

  void Spawn(Particle& p) {
    const double r1 = Value(Next("Rnd -> "));
    const std::string t = Next("Timer -> ");
    Expect("Randomize " + t);
    const double r2 = Value(Next("Rnd -> "));
    const double r3 = Value(Next("Rnd -> "));
    const double radius = std::nearbyint(r1 * w_);
    p.a = r2 * 360;
    p.x = w_ / 2 - radius * std::sin(p.a * kF);
    p.y = h_ / 2 - radius * std::cos(p.a * kF);
    p.v = 1;
    p.acc = 1 / (80 - r3 * 60);
  }
  std::string Square(const Particle& p) const {
    return Int(p.x) + " " + Int(p.y) + " " + Int(p.v + p.x) + " " + Int(p.v + p.y);
  }
  static std::string Int(double v) { return std::to_string(static_cast<long long>(std::nearbyint(v))); }
  static double Value(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

  // The rest of the next line after `prefix`, which it must start with.
  std::string Next(const std::string& prefix) {
    const std::string& line = Line();
    if (line.rfind(prefix, 0) != 0) Fail(prefix + "...");
    return line.substr(prefix.size());
  }
  void Expect(const std::string& expected) {
    if (Line() != expected) Fail(expected);
  }
  // The next line that is not a comment; keeps it (and its number, from 1) for Fail.
  const std::string& Line() {
    while (at_ < lines_.size() && !lines_[at_].empty() && lines_[at_][0] == '#') ++at_;
    static const std::string end = "(end of trace)";
    got_ = at_ < lines_.size() ? &lines_[at_] : &end;
    got_number_ = at_ + 1;
    if (at_ < lines_.size()) ++at_;
    return *got_;
  }
  [[noreturn]] void Fail(const std::string& expected) {
    std::ostringstream out;
    out << "line " << got_number_ << ": expected '" << expected << "', got '" << *got_ << "'";
    throw std::runtime_error(out.str());
  }

  const std::vector<std::string>& lines_;
  double w_, h_;
  std::vector<Particle> particles_ = std::vector<Particle>(401);
  std::size_t at_ = 0;
  const std::string* got_ = nullptr;
  std::size_t got_number_ = 0;
};

TEST(Replay, SeededRunMatchesAnIndependentModelLineByLine) {
  for (const auto& [w, h, seed] : {std::tuple{320, 240, 7}, {1024, 768, 11}}) {
    const auto lines = SeededTrace(w, h, 120, seed);
    Replay replay(lines, w, h);
    try {
      replay.Run();
    } catch (const std::runtime_error& e) {
      FAIL() << w << "x" << h << ": " << e.what();
    }
    EXPECT_EQ(replay.frames, 120);
  }
}

// The model's own report: it names the line that departs, and an empty trace is
// a failure, not a read past the end.
TEST(Replay, ReportsTheLineThatDeparts) {
  auto failure = [](const std::vector<std::string>& lines) {
    Replay replay(lines, 320, 240);
    try {
      replay.Run();
    } catch (const std::runtime_error& e) {
      return std::string(e.what());
    }
    return std::string("(passed)");
  };
  EXPECT_EQ(failure({}), "line 1: expected 'SetWindowPos 1 -1 0 0 320 240 0x0050', got '(end of trace)'");
  auto lines = SeededTrace(320, 240, 3, 7);
  ASSERT_GT(lines.size(), 3u);
  lines[2] = "GetWindowDC 2 -> 99";
  EXPECT_EQ(failure(lines), "line 3: expected 'GetWindowDC 2 -> 3', got 'GetWindowDC 2 -> 99'");
  lines.resize(2);
  EXPECT_EQ(failure(lines), "line 3: expected 'GetWindowDC 2 -> 3', got '(end of trace)'");
}

}  // namespace
}  // namespace squarefield
