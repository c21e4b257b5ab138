// The command line: what is accepted, and what is refused before anything runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/options.h"

namespace squarefield {
namespace {

// Nothing when accepted; 2 (a usage error) when refused.
std::optional<int> Parse(std::vector<const char*> args, Options& options) {
  args.insert(args.begin(), "squarefield");
  if (ParseOptions(static_cast<int>(args.size()), args.data(), options)) return 2;
  return std::nullopt;
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

TEST(Options, BadValuesAreUsageErrors) {
  const std::vector<std::vector<const char*>> bad = {
      {"--headless", "--size", "0x768"},      {"--headless", "--size", "1024"},
      {"--headless", "--size", "x"},          {"--headless", "--size", "10x-5"},
      {"--headless", "--size", "99999x99999"}, {"--headless", "--frames", "0"},
      {"--headless", "--frames", "many"},     {"--headless", "--seed", "-1"},
      {"--bogus"},                            {"--png", "x.png"},
      {"--headless", "--trace", "/nonexistent-dir/t.txt"},
      {"--headless", "--png", "/"},
      // Odd values: not a number, empty (not the same as not given), an option taken for a file.
      {"--headless", "--fps", "nan"},         {"--headless", "--fps", "inf"},
      {"--headless", "--fps", "0.05"},        {"--headless", "--fps", "5x"},
      {"--headless", "--frames", ""},         {"--headless", "--seed", ""},
      {"--headless", "--png", ""},            {"--headless", "--trace", ""},
      {"--headless", "--png", "--"},          {"--headless", "--trace", "-x"},
      // One file for two outputs, however it is spelt.
      {"--headless", "--trace", "-", "--png", "-"},
  };
  for (const auto& args : bad) {
    Options o;
    EXPECT_EQ(Parse(args, o), 2) << args.back();
  }
}

TEST(Options, AnotherProgramsWindow) {
  std::uint64_t id = 0;
  EXPECT_TRUE(ParseWindowId("0x3a00007", id));
  EXPECT_EQ(id, 0x3a00007u);
  EXPECT_TRUE(ParseWindowId("60817415", id));
  EXPECT_EQ(id, 60817415u);
  for (const char* bad : {"0", "0x", "0x0", "-5", "12ab", "0xfffffffff", "", "0x3g"})
    EXPECT_FALSE(ParseWindowId(bad, id)) << bad;

  Options o;
  EXPECT_FALSE(Parse({"--window-id", "0x3a00007", "--fps", "0"}, o));
  EXPECT_EQ(o.window_id, 0x3a00007u);
  EXPECT_EQ(o.fps, 0.0);  // 0: unpaced, not "not given"
  for (const auto& args : std::vector<std::vector<const char*>>{{"--window-id", "5", "--root"},
                                                                {"--root", "--headless"},
                                                                {"--window-id", "5", "--window"},
                                                                {"--window-id", "nope"}}) {
    Options p;
    EXPECT_EQ(Parse(args, p), 2) << args[0] << " " << args[1];
  }
}

TEST(Options, TheSameFileForTwoOutputsIsRefused) {
  const auto folder = std::filesystem::temp_directory_path();
  const std::string z = (folder / "squarefield-z").string(), dot_z = (folder / "." / "squarefield-z").string();
  Options o;
  EXPECT_EQ(Parse({"--headless", "--gif", z.c_str(), "--trace", dot_z.c_str()}, o), 2);
  Options p;
  EXPECT_EQ(Parse({"--headless", "--png", z.c_str(), "--trace", z.c_str()}, p), 2);
  Options q;
  EXPECT_FALSE(Parse({"--headless", "--png", z.c_str(), "--trace", "-"}, q));
  EXPECT_EQ(q.trace, "-");
}

TEST(Options, CheckingAnOutputLeavesNoFileBehind) {
  const auto path = std::filesystem::temp_directory_path() / "squarefield-options-test.png";
  std::filesystem::remove(path);
  Options o;
  const std::string p = path.string();
  EXPECT_FALSE(Parse({"--headless", "--png", p.c_str()}, o));
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace squarefield
