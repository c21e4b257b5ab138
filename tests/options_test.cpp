// The command line: what is accepted, and what is refused before anything runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "cli/options.h"

namespace squarefield {
namespace {

// Nothing when accepted; the message of the refusal otherwise (always a usage error).
std::optional<std::string> Parse(std::vector<const char*> args, Options& options) {
  args.insert(args.begin(), "squarefield");
  const auto failure = ParseOptions(static_cast<int>(args.size()), args.data(), options);
  if (!failure) return std::nullopt;
  EXPECT_EQ(failure->kind, Failure::Kind::BadOptions);
  EXPECT_EQ(failure->lines.size(), 1u);
  return failure->lines.empty() ? std::string() : failure->lines.front();
}

// Refused, and by the rule whose message holds `rule`.
void ExpectRefused(std::vector<const char*> args, const std::string& rule) {
  Options o;
  std::string joined;
  for (const char* a : args) joined += std::string(" ") + a;
  const auto message = Parse(args, o);
  ASSERT_TRUE(message) << "accepted:" << joined;
  EXPECT_NE(message->find(rule), std::string::npos) << joined << " refused as '" << *message << "', not for '" << rule << "'";
}

TEST(Options, DefaultsAndValues) {
  Options o;
  EXPECT_FALSE(Parse({}, o));
  EXPECT_FALSE(o.headless);
  EXPECT_EQ(o.width, 1024);
  EXPECT_EQ(o.height, 768);
  Options p;
  EXPECT_FALSE(Parse({"--headless", "--size", "1920x1080", "--frames", "3", "--seed", "7"}, p));
  EXPECT_EQ(p.width, 1920);
  EXPECT_EQ(p.height, 1080);
  EXPECT_EQ(p.frames, 3);
  EXPECT_EQ(p.seed, 7u);
}

TEST(Options, BadValuesAreRefusedByTheirRule) {
  const std::vector<std::pair<std::vector<const char*>, const char*>> bad = {
      {{"--headless", "--size", "0x768"}, "is not a size WxH"},
      {{"--headless", "--size", "1024"}, "is not a size WxH"},
      {{"--headless", "--size", "x"}, "is not a size WxH"},
      {{"--headless", "--size", "10x-5"}, "is not a size WxH"},
      {{"--headless", "--size", "99999x99999"}, "is not a size WxH"},
      // Within the side limit, past the pixel count.
      {{"--headless", "--size", "8193x8192"}, "larger than the 67108864 pixels"},
      {{"--headless", "--frames", "0"}, "--frames: '0' is not a whole number"},
      {{"--headless", "--frames", "many"}, "--frames: 'many'"},
      {{"--headless", "--seed", "-1"}, "--seed: '-1'"},
      {{"--headless", "--seed", "18446744073709551616"}, "--seed: '18446744073709551616'"},
      {{"--bogus"}, "--bogus"},
      {{"--png", "x.png"}, "--png: only with --headless"},
      {{"--headless", "--trace", "/nonexistent-dir/t.txt"}, "--trace: cannot write"},
      {{"--headless", "--png", "/"}, "--png: cannot write '/': it is a directory"},
      // Odd values: not a number, empty (not the same as not given), an option taken for a file.
      {{"--headless", "--fps", "nan"}, "--fps: 'nan'"},
      {{"--headless", "--fps", "inf"}, "--fps: 'inf'"},
      {{"--headless", "--fps", "0.05"}, "--fps: '0.05'"},
      {{"--headless", "--fps", "5x"}, "--fps: '5x'"},
      {{"--headless", "--frames", ""}, "--frames: needs a value"},
      {{"--headless", "--seed", ""}, "--seed: needs a value"},
      {{"--headless", "--png", ""}, "--png: needs a value"},
      {{"--headless", "--trace", ""}, "--trace: needs a value"},
      {{"--headless", "--png", "--"}, "--png: '--' is not a file name"},
      {{"--headless", "--trace", "-x"}, "--trace: '-x' is not a file name"},
      // One file for two outputs, however it is spelt.
      {{"--headless", "--trace", "-", "--png", "-"}, "--png: '-' is also the --trace output"},
      {{"--window", "--headless"}, "--window: not with --headless"},
      // Said in the user's words, not the parser's.
      {{"--headless", "--fps", "10", "--fps", "20"}, "--fps is given twice"},
      {{"--headless", "--headless"}, "--headless is given twice"},
      {{"--headless", "--", "foo"}, "'foo' is not an option"},
      // A screensaver is every output, shown: nothing that says otherwise.
      {{"--saver", "--headless"}, "--saver: not with --headless"},
      {{"--saver", "--window"}, "--saver: not with --window"},
      {{"--saver", "--window-id", "5"}, "--saver: not with --window-id"},
      {{"--saver", "--root"}, "--saver: not with --root"},
      {{"--wallpaper", "--headless"}, "--wallpaper: not with --headless"},
      {{"--wallpaper", "--window"}, "--wallpaper: not with --window"},
      {{"--wallpaper", "--saver"}, "--wallpaper: not with --saver"},
      {{"--saver", "--wallpaper"}, "--wallpaper: not with --saver"},
  };
  int ran = 0;
  for (const auto& [args, rule] : bad) {
    ExpectRefused(args, rule);
    ++ran;
  }
  EXPECT_EQ(ran, 37);
}

TEST(Options, AnotherProgramsWindow) {
  std::uint64_t id = 0;
  EXPECT_TRUE(ParseWindowId("0x3a00007", id));
  EXPECT_EQ(id, 0x3a00007u);
  EXPECT_TRUE(ParseWindowId("60817415", id));
  EXPECT_EQ(id, 60817415u);
  for (const char* bad : {"0", "0x", "0x0", "-5", "12ab", "0xfffffffff", "", "0x3g"})
    EXPECT_FALSE(ParseWindowId(bad, id)) << bad;

#ifdef SQUAREFIELD_LINUX_DESKTOP_OPTIONS
  Options o;
  EXPECT_FALSE(Parse({"--window-id", "0x3a00007", "--fps", "0"}, o));
  EXPECT_EQ(o.window_id, 0x3a00007u);
  EXPECT_EQ(o.fps, 0.0);  // 0: unpaced, not "not given"
#else
  // Another program's window is X11's: other builds refuse it, after the conflicts below.
  ExpectRefused({"--window-id", "0x3a00007"}, "--window-id: on Linux only");
#endif
  ExpectRefused({"--window-id", "5", "--root"}, "--root: not with --window-id");
  ExpectRefused({"--root", "--headless"}, "--root: not with --headless");
  ExpectRefused({"--window-id", "5", "--window"}, "--window-id: not with --window");
  ExpectRefused({"--window-id", "nope"}, "--window-id: 'nope' is not a window id");
}

// A name of this test's own in the temporary folder: tests run side by side under ctest -j.
std::filesystem::path TestPath(const std::string& leaf) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::filesystem::temp_directory_path() /
         ("squarefield-" + std::string(info->name()) + "-" + std::to_string(std::random_device{}()) + "-" + leaf);
}

TEST(Options, TheSameFileForTwoOutputsIsRefused) {
  const auto folder = TestPath("dir");
  std::filesystem::create_directories(folder);
  const std::string z = (folder / "squarefield-z").string(), dot_z = (folder / "." / "squarefield-z").string();
  ExpectRefused({"--headless", "--trace", z.c_str(), "--png", dot_z.c_str()}, "is also the --trace output");
  ExpectRefused({"--headless", "--png", z.c_str(), "--trace", z.c_str()}, "is also the --trace output");
#ifdef SQUAREFIELD_HAS_GIF
  ExpectRefused({"--headless", "--gif", z.c_str(), "--trace", dot_z.c_str()}, "is also the --trace output");
#else
  ExpectRefused({"--headless", "--gif", z.c_str()}, "--gif");  // this build has no GIF export
#endif
  Options q;
  EXPECT_FALSE(Parse({"--headless", "--png", z.c_str(), "--trace", "-"}, q));
  EXPECT_EQ(q.outputs[OutputKind::Trace], "-");
  std::filesystem::remove_all(folder);
}

TEST(Options, CheckingAnOutputLeavesNoFileBehind) {
  const auto path = TestPath("out.png");
  std::filesystem::remove(path);
  Options o;
  const std::string p = path.string();
  EXPECT_FALSE(Parse({"--headless", "--png", p.c_str()}, o));
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace squarefield
